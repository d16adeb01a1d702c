// The pairs of the network in the three output formats, written as they are
// enumerated: no output holds the pairs in memory, so that a stack of
// thousands of acquisitions and millions of pairs is written in constant
// memory and at some millions of pairs a second.
#pragma once

#include <cstdio>

#include <nlohmann/json.hpp>

#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/network/pairs.h"

namespace bperp::stack {

// The pairs after the stack table: their count, then first and second
// acquisition (first the earlier), their dates, days apart and the pair's
// perpendicular baseline (m, to the mm). Two enumerations: the column
// widths, then the lines.
void write_pairs_table(std::FILE* out, const std::vector<NetworkPoint>& points,
                       const PairNetwork& network);

// The pairs as CSV: a header row (first, second, first_date, second_date,
// days, perpendicular_m) and one row per pair at full precision.
void write_pairs_csv(std::FILE* out, const std::vector<NetworkPoint>& points,
                     const PairNetwork& network);

// The document (as write_json writes it) with a "pairs" member after its
// others: a list of objects (first, second, first_date, second_date, days,
// perpendicular_m), missing values null.
// after: members written after the pairs (the network report).
void write_json_with_pairs(std::FILE* out, const nlohmann::ordered_json& document,
                           const std::vector<NetworkPoint>& points, const PairNetwork& network,
                           const nlohmann::ordered_json& after = nlohmann::ordered_json::object());

// The network report as a JSON object: "components" (the count),
// "members" (each part's names, in the network's order) and "bridges" (the
// suggested pairs: first, second, their dates, days, perpendicular_m and
// their network distance).
nlohmann::ordered_json network_json(const std::vector<NetworkPoint>& points, const PairNetwork& network,
                                    const Connectivity& connectivity);

// The network report after the table of pairs: connected, or its parts and
// the pairs that would join them.
void write_network_summary(std::FILE* out, const std::vector<NetworkPoint>& points,
                           const Connectivity& connectivity);

}  // namespace bperp::stack
