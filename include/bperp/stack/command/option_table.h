// The options of bperp-stack, each declared once: its name on the command
// line and in Python, the kind of value it takes, how the help and the
// manual page show it, and how its text becomes part of the request. The
// command line's parser, its help, the manual page's option section and
// the Python module's keywords are all made from this table.
#pragma once

#include <string>
#include <vector>

#include "bperp/stack/command/request.h"

namespace bperp::stack {

enum class ValueType {
  flag,     // no value: given or not
  decimal,  // a decimal number (no 0x10, no nan, no inf)
  whole,    // a whole number, written as a decimal (2, 2.0 and 2e1 are whole)
  text,     // a text of the option's own form
  choice,   // one of a few words
  path,     // a file or a folder
};

struct OptionDeclaration;

// Puts one value of option into request: the text as given (never empty;
// "" for a flag). false and *problem, naming the option, when the text is
// no such value.
using ApplyOption = bool (*)(const OptionDeclaration& option, const std::string& text, StackRequest& request,
                             std::string* problem);

struct OptionDeclaration {
  std::string name{};                  // on the command line: "--max-perp"
  std::vector<std::string> aliases{};  // other spellings it takes ("--max-neighbors")
  std::string keyword{};               // in Python: "max_perp"; empty: not offered there
  ValueType type = ValueType::flag;
  bool repeatable = false;           // each use one more value (--orbit A --orbit B)
  std::string type_name{};             // how the help shows the value ("METRES"); empty: flags, choices
  std::string unit{};                  // of a number, as messages name it ("metres"); empty: none
  std::string help{};                  // its line of --help (one short line), and its Python docstring's first
  std::string details{};               // what the manual page says more of it (and the docstring)
  std::vector<std::string> choices{};  // the words of a choice
  std::string needs{};                 // an option it is refused without ("--pairs"); empty: none
  std::string implies{};               // an option it stands for as well ("--pairs"), which meets needs
  // The form a value must have, checked while the command line is parsed:
  // "" when it has it, else why not (a usage error). Null: any text.
  std::string (*form)(const std::string& text) = nullptr;
  ApplyOption apply = nullptr;
};

// Every option, in the order --help lists them (without --help and
// --version, and without the REFERENCE and SECONDARY names).
const std::vector<OptionDeclaration>& option_table();

// Whether what option needs is given, as given(declaration) tells: the
// option it needs, or one that implies that one (--star implies --pairs).
// True when it needs nothing.
template <typename Given>
bool need_met(const OptionDeclaration& option, Given given) {
  if (option.needs.empty()) return true;
  for (const OptionDeclaration& o : option_table())
    if ((o.name == option.needs || o.implies == option.needs) && given(o)) return true;
  return false;
}

// The help's first line and the text after the options.
extern const char* const help_description;
extern const char* const help_footer;

// How --help and the manual show an option's value: its type name, or its
// choices joined by "|"; "" for a flag.
std::string value_text(const OptionDeclaration& option);

// The whole --help: the usage, the names, one line per option (the table's
// and --help, --version), examples and where the full reference is; at most
// 80 lines of at most 80 columns.
std::string help_text();

// The manual page's option section (roff): each option of the table with
// its value, help and details, its other spellings and what it needs.
std::string manual_options();

// The manual page text with its option section (the lines between the
// markers `.\" options: begin` and `.\" options: end`) replaced by
// manual_options(); the text unchanged without the markers.
std::string manual_with_options(const std::string& manual);

}  // namespace bperp::stack
