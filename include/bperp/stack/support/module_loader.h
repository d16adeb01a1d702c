// The modules of this program's own: small shared objects, each wrapping
// one system library that only some runs need (libzip for zipped products,
// cairo for the plot), loaded with dlopen at their first use, so that every
// other run starts without those libraries and the dozens they bring in.
// A module lies beside the file (program or shared object) that holds this
// library: in the build tree, in an installation and in the Python package
// alike; the folders looked in are relative to that file's.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bperp::stack {

// The file (program or shared object) that holds this library, by its real
// path; "" when it cannot be told.
std::string holder_path();

// The first of places (folders relative to the holder's, colon-separated)
// that holds a file called name which access(mode) allows, as a path;
// nullopt when none does, *looked then naming the folders looked in
// (comma-separated) and *holder the holder ("" when unknown).
std::optional<std::string> find_beside_holder(std::string_view name, std::string_view places, int mode,
                                              std::string* looked, std::string* holder);

// A module: its file, the one function it exports (taking nothing and
// returning its table, whose first member is the unsigned version of the
// table it was built for), and the library it wraps with its Debian package,
// for messages.
struct ModuleDescription {
  const char* file;     // "bperp-zip.so"
  const char* entry;    // "bperp_zip_module"
  const char* library;  // "libzip"
  const char* package;  // "libzip4"
};

// What loading a module gave: its table, or null and why not.
struct LoadedModule {
  const void* table = nullptr;
  std::string problem;  // a clause: "bperp-zip.so is not installed beside ... (looked in ...)"
};

// The module loaded (it stays loaded for the life of the process) and its
// table, when its file is found, loads with the library it wraps, and was
// built for the table version abi. Callers keep the result (loading again
// looks again). Safe to call from several threads.
LoadedModule load_module(const ModuleDescription& module, unsigned abi);

}  // namespace bperp::stack
