// Modules loaded with dlopen. A static program has no dynamic loader to
// load them with: it brings a load_module of its own instead (which hands
// the run over to a dynamic one).
#include <dlfcn.h>
#include <unistd.h>

#include "bperp/stack/support/module_loader.h"

// The folders, relative to the one of the program or shared object that
// holds this code, where the build and the installation put the modules:
// colon-separated, set by the build.
#ifndef BPERP_MODULE_PLACES
#define BPERP_MODULE_PLACES "."
#endif

namespace bperp::stack {

LoadedModule load_module(const ModuleDescription& module, unsigned abi) {
  LoadedModule loaded;
  const std::string wraps = std::string(" (") + module.library + ", Debian package " + module.package + ")";
  std::string looked, holder;
  const std::optional<std::string> path = find_beside_holder(module.file, BPERP_MODULE_PLACES, R_OK, &looked, &holder);
  if (!path) {
    loaded.problem = std::string(module.file) + wraps + " is not installed beside " +
                     (holder.empty() ? std::string("this program") : holder) + " (looked in " + looked + ")";
    return loaded;
  }
  // Never closed: its table is used until the process ends.
  void* handle = ::dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    loaded.problem = "can't load " + *path + wraps + ": " + (why != nullptr ? why : "unknown reason");
    return loaded;
  }
  using Entry = const void* (*)();
  const auto entry = reinterpret_cast<Entry>(::dlsym(handle, module.entry));
  const void* table = entry != nullptr ? entry() : nullptr;
  if (table == nullptr || *static_cast<const unsigned*>(table) != abi) {
    loaded.problem = *path + " is not the module this program was built with (another version of bperp's?)";
    return loaded;
  }
  loaded.table = table;
  return loaded;
}

}  // namespace bperp::stack
