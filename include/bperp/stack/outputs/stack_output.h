// The stack's results in the three output formats: an aligned table for
// people, CSV for spreadsheets and pandas, JSON for programs.
//
// Units as printed: baselines, lengths and heights in m, slant range in km,
// angles in degrees, Doppler in Hz and Hz/s, times in s, days as whole days.
// No output depends on the locale.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bperp/stack/geometry/convention.h"
#include "bperp/stack/outputs/choice_output.h"
#include "bperp/stack/outputs/json_writer.h"
#include "bperp/stack/run/grid.h"
#include "bperp/stack/run/stack_run.h"

namespace bperp::stack {

// A grid whose rows are worked out as they are written (grid.h), gone over
// once: each result tallied into tally (when given), and rows_written
// called once the last row is written (before the notes that close a
// document).
struct GridStream {
  GridTally* tally = nullptr;
  std::function<void()> rows_written;
};

// The reference block and the secondaries' table. In the beam geometry
// parallel and perpendicular baselines carry bperp's digits (mm); in the
// zero-Doppler geometry the reference block names the product, the target
// and its time. Unusable secondaries have empty cells and their reason in
// the note column. With a grid (tallied before: grid.h), each secondary's
// spread (min, max) is over the points where it has a baseline; where
// that is not all of them, the note says over how many ("spread over 6 of
// 9 points"). Parallel and
// perpendicular baselines and heights of ambiguity in convention, which
// the reference block names when it is not this tool's own; where two
// passes share a date, their exact days are shown too.
void write_stack_table(std::FILE* out, const StackRun& run, Convention convention = Convention::bperp);

// One header row, one row per secondary, values at full precision (the
// shortest text that reads back exactly), empty fields where there is no
// value, the reason in the error field; baselines in convention. With a
// grid, one row per secondary and grid point, worked out as it is written
// (grid.h; see GridStream).
void write_stack_csv(std::FILE* out, const StackRun& run, Convention convention = Convention::bperp,
                     const GridStream* stream = nullptr);

// The stack's members of its JSON document, into the object json has open:
// "reference" (its geometry) and "secondaries" (one object per row of the
// CSV, with its columns as members, baselines in convention). Missing
// values are null; "error" is null or a reason. A grid's rows as
// write_stack_csv's.
void stack_json(JsonWriter& json, const StackRun& run, Convention convention = Convention::bperp,
                const GridStream* stream = nullptr);

// The members that close a document: "convention" (its name) and
// "warnings" (every warning of the run, as standard error has them).
void document_notes_json(JsonWriter& json, Convention convention, const std::vector<std::string>& warnings);

// The stack as a JSON document (an object of stack_json's members, the
// choices made before the run, then document_notes_json's), indented, at full precision (doubles read back
// exactly), with a final newline. Bytes of names that are not UTF-8 are
// replaced. warnings is read once the rows are written (after stream's
// rows_written, which may add to it).
void write_json(std::FILE* out, const StackRun& run, Convention convention = Convention::bperp,
                const std::vector<std::string>& warnings = {}, const RunChoices& choices = {},
                const GridStream* stream = nullptr);

// The CSV header fields, in order: the same in both geometries (the JSON
// members of each secondary are the same keys), empty where a geometry has
// no such value.
std::vector<std::string> stack_csv_header();

}  // namespace bperp::stack
