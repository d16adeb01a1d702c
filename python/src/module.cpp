// The compiled part of the package bperp: bperp._bperp. The package's
// pure-Python modules give the API; this gives them the library.
#include <pybind11/pybind11.h>

#include "bperp/version.h"
#include "stack_binding.h"

PYBIND11_MODULE(_bperp, m) {
  m.doc() = "The library of the bperp package (bperp-stack's run, bperp's baseline, the file readers).";
  m.attr("__version__") = BPERP_VERSION;
  bperp::python::register_baseline(m);
  bperp::python::register_stack(m);
  bperp::python::register_read(m);
}
