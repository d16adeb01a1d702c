// A run of bperp.stack() as numpy arrays, filled straight from the
// library's column tables (outputs/record_columns.h): the acquisitions (the
// reference as row 0), the grid, the pairs as indices into the
// acquisitions, the network and the reference.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>

#include "bperp/stack/command/request_run.h"
#include "python_support.h"

namespace bperp::python {

namespace py = pybind11;

// The columns of the records (for the docstrings and the stubs): dicts of
// key, heading, type ("text", "date", "utc_time", "whole", "number") and
// unit; the pairs' with part ("first", "second", "network", "pair").
py::list secondary_column_descriptions();
py::list pair_column_descriptions();

// The acquisitions: the reference as row 0, then each secondary of the run
// in the order given (a file named twice once), every column of
// secondary_columns() but the grid's: names as os.fsdecode gives the paths
// back, texts str ("" for none), dates datetime64[D] and times
// datetime64[ns] (NaT for none), whole numbers int32 (0 for none), numbers
// float64 (NaN for none); and "reference" (bool) and "has_date" (bool).
py::dict acquisition_arrays(const stack::RequestRun& r);

// With a grid, every column of secondary_columns() shaped (acquisitions,
// lines, ranges), the reference's row its values at each target. Made
// (the arrays allocated, with the GIL) once the run is done, filled as the
// grid is gone over (without the GIL), then taken as a dict.
class GridArrays {
 public:
  explicit GridArrays(const stack::RequestRun& r);
  ~GridArrays();
  GridArrays(const GridArrays&) = delete;
  GridArrays& operator=(const GridArrays&) = delete;

  // Goes over r's grid once, each result into its cells and, when given,
  // into tally; check is asked before each target. false when check
  // stopped it (the arrays are then incomplete).
  bool fill(const stack::RequestRun& r, stack::GridTally* tally, SignalCheck& check);
  // The arrays by column key (with the GIL); the same dict each time.
  py::dict dict();

 private:
  struct Cells;
  std::unique_ptr<Cells> cells_;
  py::object made_;
};

// The pairs: "first" and "second" (int32 rows of the acquisitions, first
// the earlier), "has_date", and every column of pair_columns() that is the
// pair's own. Counted, then filled without the GIL; check is asked between
// blocks of pairs (raised: the arrays are dropped, and the caller rethrows).
py::dict pair_arrays(const stack::RequestRun& r, SignalCheck& check);

// The network: "components" (the count), "component" (int32 per
// acquisition, -1 for one not in the network), "critical_baseline_m" and
// the other network-wide pair columns, and "bridges" (a dict of arrays:
// first, second, has_date, days, perpendicular_m, distance).
py::dict network_dict(const stack::RequestRun& r);

// What the run chose before it ran: "reference_choice" (None, or a dict of
// "criterion" used, "asked", "geometry" and "scores", (name, date, score)
// tuples, the best first) and "filtered" (None without date filters, else
// (name, date, filter) tuples); names as the outputs show them.
py::dict choices_dict(const stack::RequestRun& r);

// The reference's geometry with the same keys in both geometries (NaN, NaT
// or None where one has no such value), in m, deg, s and Hz.
py::dict reference_dict(const stack::StackRequest& request, const stack::RequestRun& r);

}  // namespace bperp::python
