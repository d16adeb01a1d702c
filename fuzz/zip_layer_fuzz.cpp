// Fuzz target: the zip layer on arbitrary bytes as an archive: opened,
// every member read, the SAFE product in it and its orbit files looked for.
//
// Besides surviving (libzip included), opening must refuse with a message
// that starts with the archive's name, or list at most max_zip_entries
// members none of which is named with an absolute path or a ".." part;
// reading a member gives at most the bytes asked for, or a refusal naming
// the archive; the SAFE product read gives an annotation's orbit, or a
// refusal naming the archive.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/s1_orbit_file.h"
#include "bperp/stack/inputs/zip_archive.h"
#include "bperp/stack/inputs/zipped_product.h"
#include "fuzz_support.h"
#include "product_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace bperp::stack;
  using namespace bperp::fuzz;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const std::string name = "fuzz.zip";
  // A member read so far at most: what a small input can expand to.
  constexpr std::size_t limit = std::size_t{1} << 20;
  Refusal problem;
  std::unique_ptr<ZipArchive> archive = ZipArchive::open_bytes(bytes, name, &problem);
  if (!archive) {
    FUZZ_CHECK(problem.text.starts_with(name + ": "));
    return 0;
  }
  FUZZ_CHECK(archive->members().size() <= max_zip_entries);
  for (const std::string& m : archive->members()) {
    FUZZ_CHECK(!m.starts_with('/') && !m.starts_with('\\'));
    FUZZ_CHECK(m != ".." && !m.starts_with("../") && m.find("/../") == std::string::npos && !m.ends_with("/.."));
  }
  for (std::size_t k = 0; k < archive->members().size(); ++k) {
    std::string out;
    if (archive->read(k, out, &problem, limit)) FUZZ_CHECK(out.size() <= limit);
    else FUZZ_CHECK(problem.text.starts_with(name));
  }
  if (const std::optional<ZippedProduct> p = zipped_product(*archive, {}, &problem)) {
    check_orbit(p->info.orbit);
    FUZZ_CHECK(p->member.starts_with(name + "!"));
  } else {
    FUZZ_CHECK(problem.text.starts_with(name));
  }
  for (const std::size_t k : zip_orbit_members(*archive)) {
    std::string head, why;
    if (archive->read_head(k, orbit_header_bytes, head, &problem)) {
      FUZZ_CHECK(head.size() <= orbit_header_bytes);
      (void)parse_s1_orbit_file_header(head, zip_member_name(name, archive->members()[k]), &why);
    }
  }
  return 0;
}
