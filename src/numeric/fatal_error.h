// The one error that ends a run: it carries the exact text the user sees and
// the stream it belongs on, so that the program's entry can print it and exit
// with status 1 while an embedding host (a benchmark, the stack tool) survives.
#pragma once

#include <stdexcept>
#include <string>

namespace bperp {

// Where the text of a fatal error is printed.
enum class Stream { standard_output, standard_error };

class FatalError : public std::runtime_error {
 public:
  // text: the complete message, trailing newline(s) included.
  FatalError(std::string text, Stream stream)
      : std::runtime_error(text), stream_(stream) {}

  // The complete message exactly as it is to be printed.
  const char* text() const noexcept { return what(); }
  Stream stream() const noexcept { return stream_; }

 private:
  Stream stream_;
};

}  // namespace bperp
