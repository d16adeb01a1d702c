// The stack's results in the three output formats: an aligned table for
// people, CSV for spreadsheets and pandas, JSON for programs.
//
// Units as printed: baselines, lengths and heights in m, slant range in km,
// angles in degrees, Doppler in Hz and Hz/s, times in s, days as whole days.
// No output depends on the locale.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "bperp/stack/outputs/json_writer.h"
#include "bperp/stack/run/grid.h"
#include "bperp/stack/run/stack_run.h"

namespace bperp::stack {

// The reference block and the secondaries' table. In the beam geometry
// parallel and perpendicular baselines carry bperp's digits (mm); in the
// zero-Doppler geometry the reference block names the product, the target
// and its time. Unusable secondaries have empty cells and their reason in
// the note column. With a grid (tallied before: grid.h), each secondary's
// spread (min, max) is over the points where it has a baseline; where that
// is not all of them, the note says over how many ("spread over 6 of 9
// points").
void write_stack_table(std::FILE* out, const StackRun& run);

// One header row, one row per secondary, values at full precision (the
// shortest text that reads back exactly), empty fields where there is no
// value, the reason in the error field. With a grid, one row per secondary
// and grid point, worked out as it is written (grid.h) and tallied into
// tally when given. The table needs the grid tallied before.
void write_stack_csv(std::FILE* out, const StackRun& run, GridTally* tally = nullptr);

// The stack's members of its JSON document, into the object json has open:
// "reference" (its geometry) and "secondaries" (one object per row of the
// CSV, with its columns as members). Missing values are null; "error" is
// null or a reason.
void stack_json(JsonWriter& json, const StackRun& run, GridTally* tally = nullptr);

// The stack as a JSON document (an object of stack_json's members),
// indented, at full precision (doubles read back exactly), with a final
// newline. Bytes of names that are not UTF-8 are replaced.
void write_json(std::FILE* out, const StackRun& run, GridTally* tally = nullptr);

// The CSV header fields, in order: the same in both geometries (the JSON
// members of each secondary are the same keys), empty where a geometry has
// no such value.
std::vector<std::string> stack_csv_header();

}  // namespace bperp::stack
