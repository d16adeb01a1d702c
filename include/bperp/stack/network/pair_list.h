// A pair list read back into a network: the pairs CSV this tool writes
// (--export pairs) and the forms people keep: YYYYMMDD_YYYYMMDD lines (the
// dates export, MintPy's and LiCSBAS's), YYYYMMDD-YYYYMMDD, and two dates a
// line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "bperp/stack/network/pairs.h"

namespace bperp::stack {

// One member of a listed pair: its date (day number) and, where the form
// gives one (the pairs CSV), its name as the outputs show it.
struct ListedAcquisition {
  long day = 0;
  std::string name;
};

// One pair of the list and the line it is on (1-based).
struct ListedPair {
  std::size_t line = 0;
  ListedAcquisition first, second;
};

// The pairs of a list's text. Blank lines and lines starting with # are
// skipped, a CRLF line end is taken as LF. A text whose first line is the
// pairs CSV's header (first,second,first_date,second_date,...) is read as
// that CSV: its quoting and its spreadsheet guard (a ' before = + - @) undone,
// the names and dates taken. Any other line is a pair of dates (YYYYMMDD or
// YYYY-MM-DD): D_D or D-D (YYYYMMDD only) as the first word, or the first
// two words separated by blanks or a comma; what follows on the line is
// left alone. A line of four words that start with two dates and go on with
// two numbers is the baselines export (REFDATE DATE BPERP DT), and is
// refused as no pair list. false and *problem, naming the line, for a line
// of none of these forms.
bool pair_list_of(std::string_view text, std::vector<ListedPair>& pairs, std::string* problem);

// The listed pairs as pairs of the points: each member the point of its date
// or, where several points share that date, the one of its name. false and
// *problem (naming the line) for a member that names no point, a date that
// names several without a name to tell them apart, or a pair of one
// acquisition. Every point needs its date (the caller checks).
bool match_listed_pairs(const std::vector<ListedPair>& pairs, const std::vector<NetworkPoint>& points,
                        IndexPairs& matched, std::string* problem);

}  // namespace bperp::stack
