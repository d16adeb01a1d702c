#include "bperp/stack/support/module_loader.h"

#include <climits>
#include <cstdlib>

#include <dlfcn.h>
#include <sys/auxv.h>
#include <unistd.h>

namespace bperp::stack {

std::string holder_path() {
  Dl_info own{}, program{};
  const auto* phdr = reinterpret_cast<const void*>(::getauxval(AT_PHDR));
  const bool found = ::dladdr(reinterpret_cast<const void*>(&holder_path), &own) != 0;
  // The program itself: dladdr names it as it was started (argv[0]), not
  // where it is; /proc/self/exe tells. So too for a static program, of which
  // dladdr knows nothing.
  const bool in_program = !found || own.dli_fname == nullptr ||
                          (phdr != nullptr && ::dladdr(phdr, &program) != 0 && program.dli_fbase == own.dli_fbase);
  char resolved[PATH_MAX];
  if (in_program) {
    const ssize_t n = ::readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (n <= 0) return {};
    return std::string(resolved, static_cast<std::size_t>(n));
  }
  if (::realpath(own.dli_fname, resolved) == nullptr) return {};
  return resolved;
}

std::optional<std::string> find_beside_holder(std::string_view name, std::string_view places, int mode,
                                              std::string* looked, std::string* holder) {
  const std::string own = holder_path();
  const std::string folder = own.substr(0, own.rfind('/'));
  std::string folders;
  for (std::size_t at = 0; at <= places.size();) {
    const std::size_t colon = std::min(places.find(':', at), places.size());
    const std::string place = folder + "/" + std::string(places.substr(at, colon - at));
    const std::string candidate = place + "/" + std::string(name);
    if (!own.empty() && ::access(candidate.c_str(), mode) == 0) return candidate;
    folders += (folders.empty() ? "" : ", ") + place;
    at = colon + 1;
  }
  if (looked != nullptr) *looked = folders;
  if (holder != nullptr) *holder = own;
  return std::nullopt;
}

}  // namespace bperp::stack
