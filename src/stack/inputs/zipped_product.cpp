#include "bperp/stack/inputs/zipped_product.h"

#include <algorithm>

#include "bperp/io/ascii_text.h"
#include "bperp/stack/inputs/xml_document.h"

namespace bperp::stack {

namespace {

// Members listed in a message about an archive, at most.
constexpr std::size_t listed_members = 8;

// The SAFE folder member lies in ("S1A_....SAFE", "download/S1A_....SAFE"):
// its first or second name part ending in .SAFE (any case); "" for none.
std::string safe_root(const std::string& member) {
  std::size_t start = 0;
  for (int depth = 0; depth < 2 && start < member.size(); ++depth) {
    const std::size_t slash = member.find('/', start);
    if (slash == std::string::npos) return {};  // a file, not a folder
    if (lower(member.substr(start, slash - start)).ends_with(".safe")) return member.substr(0, slash);
    start = slash + 1;
  }
  return {};
}

// "a, b, c and 5 more" of the archive's members (the debris left out), or
// "nothing".
std::string members_text(const ZipArchive& archive) {
  std::vector<std::string> names;
  for (const std::string& m : archive.members())
    if (!zip_debris(m)) names.push_back(m);
  if (names.empty()) return "nothing";
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < listed_members; ++i) text += (i == 0 ? "" : ", ") + names[i];
  if (names.size() > listed_members) text += " and " + std::to_string(names.size() - listed_members) + " more";
  return text;
}

// The refusal of an archive that holds no SAFE folder.
std::nullopt_t no_safe(const ZipArchive& archive, Refusal* problem) {
  const std::string said = zip_orbit_members(archive).empty()
                               ? "holds no SAFE product folder (a .SAFE folder at its top or one folder down): it holds "
                               : "is a zip of Sentinel-1 orbit files (give it with --orbit, or in an --orbit-dir "
                                 "folder), not a product: it holds ";
  refuse(problem, RefusalKind::unknown_format, archive.name() + ": " + said + members_text(archive));
  return std::nullopt;
}

}  // namespace

std::vector<std::size_t> zip_orbit_members(const ZipArchive& archive) {
  std::vector<std::size_t> found;
  for (std::size_t k = 0; k < archive.members().size(); ++k) {
    const std::string& m = archive.members()[k];
    if (!zip_debris(m) && upper(m).ends_with(".EOF")) found.push_back(k);
  }
  return found;
}

std::optional<ZippedProduct> zipped_product(ZipArchive& archive, const AnnotationWish& wish, Refusal* problem) {
  std::vector<std::string> roots;
  for (const std::string& m : archive.members())
    if (const std::string root = zip_debris(m) ? std::string() : safe_root(m);
        !root.empty() && std::find(roots.begin(), roots.end(), root) == roots.end())
      roots.push_back(root);
  if (roots.empty()) return no_safe(archive, problem);
  if (roots.size() > 1) {
    refuse(problem, RefusalKind::malformed,
           archive.name() + ": holds " + std::to_string(roots.size()) + " SAFE product folders (" + roots[0] + ", " +
               roots[1] + (roots.size() > 2 ? ", ..." : "") + "); one is read from a zip");
    return std::nullopt;
  }
  // The annotation folder's files, not those of its calibration/ and rfi/ folders.
  const std::string folder = roots.front() + "/annotation/";
  std::vector<std::string> names;
  std::vector<std::size_t> index;
  for (std::size_t k = 0; k < archive.members().size(); ++k) {
    const std::string& m = archive.members()[k];
    if (zip_debris(m) || !m.starts_with(folder) || m.find('/', folder.size()) != std::string::npos || m.size() == folder.size())
      continue;
    names.push_back(m.substr(folder.size()));
    index.push_back(k);
  }
  ZippedProduct product;
  Refusal none;
  const std::string file =
      choose_annotation(names, wish, zip_member_name(archive.name(), folder.substr(0, folder.size() - 1)), &none,
                        &product.warning);
  if (file.empty()) {
    refuse(problem, none.kind, archive.name() + ": " + none.text);
    return std::nullopt;
  }
  const std::size_t k = index[static_cast<std::size_t>(std::find(names.begin(), names.end(), file) - names.begin())];
  product.member = zip_member_name(archive.name(), archive.members()[k]);
  std::string bytes;
  if (!archive.read(k, bytes, problem, max_xml_bytes)) return std::nullopt;
  std::string why;
  std::optional<ProductInfo> info = parse_s1_annotation(bytes, product.member, &why);
  if (!info) {
    refuse(problem, RefusalKind::malformed, why);
    return std::nullopt;
  }
  product.info = std::move(*info);
  return product;
}

std::optional<ZippedProduct> read_zipped_product(const std::string& path, const AnnotationWish& wish,
                                                 Refusal* problem) {
  const std::unique_ptr<ZipArchive> archive = ZipArchive::open(path, problem);
  if (!archive) return std::nullopt;
  return zipped_product(*archive, wish, problem);
}

}  // namespace bperp::stack
