// Cutting what a reader never reads out of an XML document: hand-made
// documents where the scanner must see through comments, CDATA and quoted
// attributes or give up, and the real track-108 annotations read with and
// without the cut.
#include "bperp/stack/inputs/xml_cut.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "bperp/stack/inputs/s1_annotation.h"

namespace bperp::stack {
namespace {

constexpr std::string_view kept[] = {"a", "b/c"};

// What is left of document, or "(none)" when nothing is cut.
std::string left_of(std::string_view document) {
  std::string cut;
  return cut_unread_elements(document, kept, cut) ? cut : "(none)";
}

TEST(XmlCut, CutsWhatNoPathReachesAndSeesThroughMarkup) {
  using namespace std::literals;
  struct Case {
    std::string_view document;
    const char* left;
  };
  const Case cases[] = {
      // a kept whole, b entered, x and b's d cut; text between stays.
      {"<r><a><x/></a> <x>1</x> <b><c>2</c><d>3</d></b></r>"sv, "<r><a><x/></a>  <b><c>2</c></b></r>"},
      {"<?xml version=\"1.0\"?>\n<!-- <x> --><r>\n<x k=\"<\"/></r>"sv, "(none)"},  // '<' in a value: given up
      {"<?xml version=\"1.0\"?>\n<!-- <x> --><r>\n<x k='>'/></r>"sv, "<?xml version=\"1.0\"?>\n<!-- <x> --><r>\n</r>"},
      {"<r><x><!-- </x> --><![CDATA[</x>]]></x><a/></r>"sv, "<r><a/></r>"},
      {"<r><a><!-- <x> --></a><x a = \"1\"\tb='2' ></x ></r>"sv, "<r><a><!-- <x> --></a></r>"},
      {"<r><a/><b/></r>"sv, "(none)"},                              // nothing to cut
      {"<!DOCTYPE r [<!ENTITY e \"x\">]><r><x/></r>"sv, "(none)"},  // a document type
      {"<r><x><?pi ?></x></r>"sv, "(none)"},                        // a processing instruction
      {"<r><x><y></x></y></r>"sv, "(none)"},                        // tags that do not match
      {"<r><x><!-- never closed </x></r>"sv, "(none)"},
      {"<r><x>a\0b</x></r>"sv, "(none)"},                           // NUL in what would go
      {"<r><x a=\"1\"b=\"2\"/></r>"sv, "(none)"},                   // attributes without a space
      {"<r><x></x>"sv, "(none)"},                                   // the root never closed
      {"<r/>"sv, "(none)"},
      {"text<r><x/></r>"sv, "(none)"},
  };
  for (const Case& c : cases) EXPECT_EQ(left_of(c.document), c.left) << c.document;
}

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The real annotations lose their antenna pattern, geolocation grid, noise
// and the rest (most of their bytes), and read the same with or without.
TEST(XmlCut, RealAnnotationsReadTheSameWithoutWhatIsCut) {
  constexpr std::string_view s1_kept[] = {"adsHeader", "generalAnnotation/orbitList", "swathTiming/burstList/burst/azimuthTime"};
  const std::string dir = BPERP_SOURCE_DIR "/tests/data/s1-track108-annotation/";
  for (const char* file : {"s1a-iw1-slc-vv-20250406t022009-20250406t022034-058630-07421f-004.xml",
                           "s1a-iw3-slc-vv-20250418t022008-20250418t022033-058805-074946-006.xml"}) {
    const std::string bytes = file_bytes(dir + file);
    std::string cut;
    ASSERT_TRUE(cut_unread_elements(bytes, s1_kept, cut)) << file;
    EXPECT_LT(cut.size(), bytes.size() / 10) << file;
    for (const char* gone : {"<antennaPattern>", "<geolocationGrid>", "<noiseList", "<imageAnnotation>"})
      EXPECT_EQ(cut.find(gone), std::string::npos) << gone;
    for (const char* stays : {"<adsHeader>", "<orbitList count=\"17\">", "<azimuthTime>", "<burstList count=\"9\">"})
      EXPECT_NE(cut.find(stays), std::string::npos) << stays;

    std::string p1, p2;
    const std::optional<ProductInfo> with = parse_s1_annotation(bytes, file, &p1);
    const std::optional<ProductInfo> without = parse_s1_annotation(bytes, file, &p2, false);
    ASSERT_TRUE(with && without) << p1 << p2;
    ASSERT_EQ(with->orbit.rows.size(), without->orbit.rows.size());
    for (std::size_t k = 0; k < with->orbit.rows.size(); ++k) {
      EXPECT_EQ(with->orbit.rows[k].t, without->orbit.rows[k].t);
      for (int i = 0; i < 3; ++i) EXPECT_EQ(with->orbit.rows[k].state.velocity[i], without->orbit.rows[k].state.velocity[i]);
    }
    EXPECT_EQ(with->burst_times, without->burst_times);
    EXPECT_EQ(with->burst_ids, without->burst_ids);
    EXPECT_EQ(with->image.far_range_m, without->image.far_range_m);
    EXPECT_EQ(with->azimuth_bandwidth_hz, without->azimuth_bandwidth_hz);
  }
}

}  // namespace
}  // namespace bperp::stack
