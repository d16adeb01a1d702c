// The pieces the product readers build their refusals from: a reason handed
// back through an optional string, and an excerpt of the offending text that
// is safe to print whatever bytes the file held.
#pragma once

#include <string>
#include <string_view>

namespace bperp::stack {

// Sets *problem (when problem is not null) to text; always false, so that a
// reader can `return fail(problem, ...)`.
inline bool fail(std::string* problem, std::string text) {
  if (problem != nullptr) *problem = std::move(text);
  return false;
}

// text between two marks (mark on both sides) for a message: its first 40
// bytes, each one that is not printable ASCII shown as '?', "..." after a
// cut. An empty text gives the two marks alone.
std::string quoted_excerpt(std::string_view text, char mark);

}  // namespace bperp::stack
