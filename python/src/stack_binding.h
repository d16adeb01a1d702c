// The parts of the compiled module bperp._bperp, each registered by its
// own file: the stack, the baseline of a pair, what a file holds.
#pragma once

#include <pybind11/pybind11.h>

namespace bperp::python {

namespace py = pybind11;

// run_stack(), its StackCall and the tables (options, columns, refusal and
// warning kinds) the package's docstrings and stubs are made from.
void register_stack(py::module_& m);

// Baseline, baseline() of two state vectors and of (N, 6) arrays.
void register_baseline(py::module_& m);

// read(): what an input file holds.
void register_read(py::module_& m);

}  // namespace bperp::python
