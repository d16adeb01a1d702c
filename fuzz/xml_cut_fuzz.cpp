// Fuzz target: the cutting of what the Sentinel-1 annotation reader never
// reads. On the same arbitrary bytes, the reader with the cut and without
// it must give the same product, bit for bit, or both refuse with the same
// words; and whenever the cutter cuts, what it leaves parses exactly when
// the whole document does (the whole within the parser's cost bound).
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/s1_annotation.h"
#include "bperp/stack/inputs/xml_cut.h"
#include "bperp/stack/inputs/xml_document.h"
#include "bperp/stack/support/utc_time.h"
#include "fuzz_support.h"

namespace {

using namespace bperp::stack;

void add(std::string& s, double v) {
  char text[32];
  std::snprintf(text, sizeof text, " %a", v);
  s += text;
}
void add(std::string& s, const std::optional<double>& v) { v ? add(s, *v) : void(s += " -"); }
void add(std::string& s, const std::optional<long>& v) { s += v ? " " + std::to_string(*v) : " -"; }
void add(std::string& s, const std::optional<UtcTime>& t) {
  s += t ? " " + std::to_string(t->time_since_epoch().count()) : " -";
}

// Every field of a product, each number with all its bits.
std::string fields(const ProductInfo& p) {
  std::string s = p.format + "|" + p.mission + "|" + p.swath + "|" + p.polarisation + "|" + p.pass + "|";
  add(s, p.absolute_orbit);
  for (const auto& v : {p.radar_frequency_hz, p.range_sampling_rate_hz, p.range_bandwidth_hz,
                        p.azimuth_bandwidth_hz, p.image.line_interval_s, p.image.near_range_m, p.image.far_range_m,
                        p.image.centre_range_m, p.image.range_pixel_spacing_m})
    add(s, v);
  for (const auto& t : {p.image.first_line, p.image.last_line, p.image.centre_line}) add(s, t);
  for (const auto& n : {p.image.lines, p.image.samples, p.lines_per_burst, p.samples_per_burst}) add(s, n);
  for (const UtcTime t : p.burst_times) add(s, std::optional<UtcTime>(t));
  for (const std::string& id : p.burst_ids) s += " " + id;
  add(s, std::optional<UtcTime>(p.orbit.epoch));
  s += "|" + p.orbit.source;
  for (const auto& row : p.orbit.rows) {
    add(s, row.t);
    for (int k = 0; k < 3; ++k) add(s, row.state.position[k]), add(s, row.state.velocity[k]);
  }
  return s;
}

constexpr std::string_view kept[] = {"generalAnnotation/orbitList", "adsHeader", "a/b/c"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const std::string name = "fuzz-annotation.xml";

  std::string cut_problem, whole_problem;
  const std::optional<ProductInfo> cut = parse_s1_annotation(bytes, name, &cut_problem);
  const std::optional<ProductInfo> whole = parse_s1_annotation(bytes, name, &whole_problem, false);
  FUZZ_CHECK(cut.has_value() == whole.has_value());
  if (cut) FUZZ_CHECK(fields(*cut) == fields(*whole));
  else FUZZ_CHECK(cut_problem == whole_problem);

  // The cutter alone, with paths of several depths: a cut document parses
  // exactly when the whole one does.
  std::string left;
  if (cut_unread_elements(bytes, kept, left)) {
    FUZZ_CHECK(left.size() < bytes.size());
    XmlDocument a, b;
    std::string problem;
    const bool whole_parses = load_xml_bytes(bytes, name, a, &problem);
    const bool cost_refused = !whole_parses && problem.find("markup denser") != std::string::npos;
    const bool left_parses = load_xml_bytes(left, name, b, &problem);
    if (left_parses) FUZZ_CHECK(whole_parses || cost_refused);
    if (whole_parses && !left_parses) FUZZ_CHECK(problem.find("markup denser") != std::string::npos);
  }
  return 0;
}
