// The request of bperp.stack(): the keyword arguments, as texts of the
// command's option syntax, turned into a StackRequest by the declarations
// of the option table, with messages that name the keywords.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "bperp/stack/command/request.h"

namespace bperp::python {

namespace py = pybind11;

// The options of stack(), in the table's order, as dicts: keyword, name (the
// command's), type ("flag", "decimal", "whole", "text", "choice", "path"),
// repeatable, type_name, unit, help, choices, needs (a keyword).
py::list option_descriptions();

// Puts the options into request: options maps keywords to lists of texts
// (bytes; "" for a flag given), each converted and checked by its
// declaration as the command converts it, then the options' needs and
// clashes checked. false and *problem (naming the keywords) for a value or
// a combination refused; TypeError for a keyword that is no option.
bool apply_keywords(const py::dict& options, stack::StackRequest& request, std::string* problem);

// text with the command's option names (--max-perp) written as the
// keywords (max_perp), for the messages Python shows.
std::string keyword_text(std::string text);

}  // namespace bperp::python
