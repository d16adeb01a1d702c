// The pairs of the network in the three output formats, written as they are
// enumerated: no output holds the pairs in memory, so that a stack of
// thousands of acquisitions and millions of pairs is written in constant
// memory and at some millions of pairs a second.
#pragma once

#include <cstdio>

#include "bperp/stack/geometry/convention.h"
#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/network/pairs.h"
#include "bperp/stack/outputs/choice_output.h"
#include "bperp/stack/outputs/json_writer.h"
#include "bperp/stack/outputs/stack_output.h"

namespace bperp::stack {

// The pairs after the stack table: their count, then the columns of
// pair_columns() that the table shows (record_columns.h): first and second
// acquisition (first the earlier), their dates, days apart, the pair's
// perpendicular baseline (m, to the mm), its height of ambiguity and,
// when the model has a critical baseline, its coherence. Two enumerations:
// the column widths, then the lines.
void write_pairs_table(std::FILE* out, const std::vector<NetworkPoint>& points,
                       const PairNetwork& network);

// The pairs as CSV: a header row (the keys of pair_columns()) and one row
// per pair at full precision.
void write_pairs_csv(std::FILE* out, const std::vector<NetworkPoint>& points,
                     const PairNetwork& network);

// The "pairs" member, into the object json has open: a list of objects,
// each with the members of pair_columns() (missing values null), numbers in
// their shortest digits.
void pairs_json(JsonWriter& json, const PairNetwork& network);

// The network report as a JSON object (a value for json to write):
// "components" (the count), "members" (each part's names, in the network's
// order), "bridges" (the suggested pairs: first, second, their dates,
// days, perpendicular_m and their network distance under scale), then the
// summary: "acquisitions", "pairs", "parts", "pairs_per_acquisition_min",
// "pairs_per_acquisition_mean", "max_abs_perpendicular_m", "max_abs_days"
// and "mean_coherence" (null where the summary has none).
void network_json(JsonWriter& json, const std::vector<NetworkPoint>& points, const Connectivity& connectivity,
                  const DistanceScale& scale);

// The stack's document (as write_json writes it, a grid's rows as stream
// says) with the members "pairs" and "network" (then the choices made
// before the run) before its closing notes (the convention of the
// baselines, which the points and so the pairs are in, and the warnings).
void write_json_with_pairs(std::FILE* out, const StackRun& run, const std::vector<NetworkPoint>& points,
                           const PairNetwork& network, const Connectivity& connectivity,
                           Convention convention = Convention::bperp, const std::vector<std::string>& warnings = {},
                           const RunChoices& choices = {}, const GridStream* stream = nullptr);

// The network report after the table of pairs: connected, or its parts and
// the pairs that would join them (by network_distance under scale); and
// its summary in one line (network_summary_text).
void write_network_summary(std::FILE* out, const std::vector<NetworkPoint>& points,
                           const Connectivity& connectivity, const DistanceScale& scale);

// "14 pairs; per acquisition at least 2, on average 4.67; largest
// |perpendicular| 412.345 m and |days| 690; mean modelled coherence 0.51":
// what the summary has.
std::string network_summary_text(const NetworkSummary& summary);

}  // namespace bperp::stack
