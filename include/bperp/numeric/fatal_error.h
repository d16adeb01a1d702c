// The one error that ends a run: it carries the exact text the user sees and
// what kind of failure it reports, so that the program's entry can print it
// where that kind belongs and exit with status 1, while an embedding host (a
// benchmark, the stack tool, a script) survives.
#pragma once

#include <stdexcept>
#include <string>

namespace bperp {

// What a fatal error reports.
enum class FatalKind {
  refusal,         // the run cannot go on with its input or settings (rtoi, a file, the geometry)
  heap_exhausted,  // an allocation failed (nrerror's three-line report)
};

class FatalError : public std::runtime_error {
 public:
  // text: the complete message, trailing newline(s) included.
  FatalError(std::string text, FatalKind kind) : std::runtime_error(text), kind_(kind) {}

  // The complete message exactly as it is to be printed.
  const char* text() const noexcept { return what(); }
  FatalKind kind() const noexcept { return kind_; }

 private:
  FatalKind kind_;
};

}  // namespace bperp
