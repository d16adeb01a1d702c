// Why an input file, a secondary or the reference cannot be used: one kind
// of a closed list, which programs (the JSON's "error_kind", the Python
// module, the tests) tell apart, and one line of text for people, naming the
// file.
#pragma once

#include <string>
#include <string_view>

namespace bperp::stack {

enum class RefusalKind {
  unreadable,      // the file can't be opened or read
  unknown_format,  // no input kind matches its content
  malformed,       // a kind matched, but a field is missing or wrong
  implausible,     // the values can't be a SAR's pass (units, heights, speeds)
  other_track,     // another track, direction or satellite than the reference's
  outside_orbit,   // a time outside the orbit's vectors
  uncertain,       // an interpolation or a move whose error exceeds its bound
  too_long,        // a baseline longer than --max-length
  same_pass,       // the same pass as another acquisition
  outside_image,   // a target the reference's image does not see
  option,          // a bad option, or one that clashes with the input
};

// Each kind's name (as JSON and Python show it) and what it means, in the
// order of the enumeration.
struct RefusalKindName {
  RefusalKind kind;
  const char* name;
  const char* meaning;
};
inline constexpr RefusalKindName refusal_kind_names[] = {
    {RefusalKind::unreadable, "unreadable", "the file can't be opened or read"},
    {RefusalKind::unknown_format, "unknown_format", "no input kind matches its content"},
    {RefusalKind::malformed, "malformed", "an input kind matched, but a field is missing or wrong"},
    {RefusalKind::implausible, "implausible", "the values can't be a SAR's pass (units, heights, speeds)"},
    {RefusalKind::other_track, "other_track", "another track, direction or satellite than the reference's"},
    {RefusalKind::outside_orbit, "outside_orbit", "a time outside the orbit's vectors"},
    {RefusalKind::uncertain, "uncertain", "an interpolation or a move whose error exceeds its bound"},
    {RefusalKind::too_long, "too_long", "a baseline longer than --max-length"},
    {RefusalKind::same_pass, "same_pass", "the same pass as another acquisition"},
    {RefusalKind::outside_image, "outside_image", "a target the reference's image does not see"},
    {RefusalKind::option, "option", "a bad option, or one that clashes with the input"},
};

// The kind's name ("unreadable", ...).
constexpr std::string_view refusal_kind_name(RefusalKind kind) {
  return refusal_kind_names[static_cast<int>(kind)].name;
}

// One refusal: its kind and its one line of text, naming the file.
struct Refusal {
  RefusalKind kind = RefusalKind::malformed;
  std::string text;
};

// Sets *refusal (when refusal is not null) to kind and text; always false,
// so that a reader can `return refuse(refusal, ...)`.
inline bool refuse(Refusal* refusal, RefusalKind kind, std::string text) {
  if (refusal != nullptr) *refusal = Refusal{kind, std::move(text)};
  return false;
}

}  // namespace bperp::stack
