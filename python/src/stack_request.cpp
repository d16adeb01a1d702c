#include "stack_request.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <vector>

#include "bperp/stack/command/option_table.h"
#include "bperp/stack/support/escape.h"

namespace bperp::python {

using stack::OptionDeclaration;
using stack::ValueType;

namespace {

const char* type_word(ValueType type) {
  switch (type) {
    case ValueType::flag: return "flag";
    case ValueType::decimal: return "decimal";
    case ValueType::whole: return "whole";
    case ValueType::text: return "text";
    case ValueType::choice: return "choice";
    case ValueType::path: return "path";
  }
  return "text";
}

// The declaration of the command's option name ("--pairs"), or null.
const OptionDeclaration* declaration_named(const std::string& name) {
  for (const OptionDeclaration& o : stack::option_table())
    if (o.name == name) return &o;
  return nullptr;
}

// The declarations offered in Python, longest command name first (so that
// --orbit-dir is written as its keyword before --orbit is).
std::vector<const OptionDeclaration*> by_name_length() {
  std::vector<const OptionDeclaration*> offered;
  for (const OptionDeclaration& o : stack::option_table())
    if (!o.keyword.empty()) offered.push_back(&o);
  std::stable_sort(offered.begin(), offered.end(),
                   [](const auto* a, const auto* b) { return a->name.size() > b->name.size(); });
  return offered;
}

bool option_name_char(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; }

// How a message asks for the option o: "pairs=True" for a flag, else its
// keyword.
std::string asked_as(const OptionDeclaration& o) {
  return o.type == ValueType::flag ? o.keyword + "=True" : o.keyword;
}

// Why one text of option o (named by its keyword) is refused, before its
// conversion: an empty value, a word that is no choice, a text of another
// form. "" when none of these.
std::string text_problem(const OptionDeclaration& o, const std::string& text) {
  if (o.type == ValueType::flag) return {};
  if (text.empty()) return o.name + " needs a value, not an empty text";
  if (!o.choices.empty() && std::find(o.choices.begin(), o.choices.end(), text) == o.choices.end()) {
    std::string words;
    for (const std::string& c : o.choices) words += (words.empty() ? "" : ", ") + c;
    return o.name + " must be one of " + words + ", not " + stack::escaped(text);
  }
  if (o.form != nullptr)
    if (std::string problem = o.form(text); !problem.empty()) return o.name + ": " + problem;
  return {};
}

}  // namespace

std::string keyword_text(std::string text) {
  static const std::vector<const OptionDeclaration*> offered = by_name_length();
  for (const OptionDeclaration* o : offered) {
    std::size_t at = 0;
    while ((at = text.find(o->name, at)) != std::string::npos) {
      const std::size_t end = at + o->name.size();
      if (end < text.size() && option_name_char(text[end])) {
        at = end;
        continue;
      }
      text.replace(at, o->name.size(), o->keyword);
      at += o->keyword.size();
    }
  }
  return text;
}

py::list option_descriptions() {
  py::list list;
  for (const OptionDeclaration& o : stack::option_table()) {
    if (o.keyword.empty()) continue;
    py::dict d;
    d["keyword"] = o.keyword;
    d["name"] = o.name;
    d["aliases"] = o.aliases;
    d["type"] = type_word(o.type);
    d["repeatable"] = o.repeatable;
    d["type_name"] = o.type_name;
    d["unit"] = o.unit;
    d["help"] = keyword_text(o.help);
    d["choices"] = o.choices;
    const OptionDeclaration* needed = o.needs.empty() ? nullptr : declaration_named(o.needs);
    d["needs"] = needed != nullptr ? needed->keyword : std::string();
    list.append(d);
  }
  return list;
}

bool apply_keywords(const py::dict& options, stack::StackRequest& request, std::string* problem) {
  for (const auto& item : options) {
    const std::string keyword = py::str(item.first).cast<std::string>();
    const auto& table = stack::option_table();
    if (std::none_of(table.begin(), table.end(), [&](const OptionDeclaration& o) { return o.keyword == keyword; }))
      throw py::type_error("stack() got an unexpected keyword argument '" + keyword + "'");
  }
  // What each option needs first, as the command line's parser checks it.
  const auto given = [&](const OptionDeclaration& o) { return !o.keyword.empty() && options.contains(o.keyword); };
  for (const OptionDeclaration& o : stack::option_table()) {
    if (o.keyword.empty() || !options.contains(o.keyword)) continue;
    const OptionDeclaration* needed = o.needs.empty() ? nullptr : declaration_named(o.needs);
    if (needed != nullptr && !stack::need_met(o, given)) {
      *problem = o.keyword + " needs " + asked_as(*needed);
      return false;
    }
  }
  // Then each value, in the table's order, by its declaration named by its
  // keyword (so that its messages name the keyword).
  for (const OptionDeclaration& declared : stack::option_table()) {
    if (declared.keyword.empty() || !options.contains(declared.keyword)) continue;
    OptionDeclaration o = declared;
    o.name = o.keyword;
    for (const py::handle value : py::reinterpret_borrow<py::iterable>(options[py::str(o.keyword)])) {
      const std::string text = value.cast<std::string>();
      *problem = text_problem(o, text);
      if (!problem->empty() || !o.apply(o, text, request, problem)) {
        *problem = keyword_text(*problem);
        return false;
      }
    }
  }
  *problem = keyword_text(stack::clash_problem(request));
  return problem->empty();
}

}  // namespace bperp::python
