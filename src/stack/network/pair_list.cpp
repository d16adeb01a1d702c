#include "bperp/stack/network/pair_list.h"

#include <algorithm>
#include <optional>

#include "bperp/stack/network/date_filter.h"
#include "bperp/stack/support/iso_date.h"

namespace bperp::stack {

namespace {

// The fields of one CSV line: quoted fields with "" for a quote undone.
std::vector<std::string> csv_fields(std::string_view line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// A text field as it was before the spreadsheet guard put ' before it.
std::string unguarded(std::string text) {
  if (text.size() > 1 && text.front() == '\'' && std::string_view("=+-@\t\r").find(text[1]) != std::string_view::npos)
    text.erase(0, 1);
  return text;
}

// The words of a line, split at blanks and commas.
std::vector<std::string_view> words_of(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  const auto separator = [](char c) { return c == ' ' || c == '\t' || c == ','; };
  while (i < line.size()) {
    while (i < line.size() && separator(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !separator(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool is_number(std::string_view word) {
  if (word.empty()) return false;
  bool digit = false;
  for (const char c : word) {
    if (c >= '0' && c <= '9') digit = true;
    else if (std::string_view("+-.eE").find(c) == std::string_view::npos) return false;
  }
  return digit;
}

// Two dates joined by _ or - in one word (YYYYMMDD_YYYYMMDD, YYYYMMDD-YYYYMMDD).
std::optional<std::pair<long, long>> joined_dates(std::string_view word) {
  constexpr std::size_t compact = 8;
  if (word.size() != 2 * compact + 1 || (word[compact] != '_' && word[compact] != '-')) return std::nullopt;
  const std::optional<long> a = day_of_date_text(word.substr(0, compact));
  const std::optional<long> b = day_of_date_text(word.substr(compact + 1));
  if (!a || !b) return std::nullopt;
  return std::pair{*a, *b};
}

// The pairs CSV's lines after its header; false at a line that is no pair.
bool csv_pairs(const std::vector<std::string_view>& lines, std::vector<ListedPair>& pairs, std::string* problem) {
  const std::vector<std::string> header = csv_fields(lines.front());
  const auto column = [&](const char* key) {
    return static_cast<std::size_t>(std::find(header.begin(), header.end(), key) - header.begin());
  };
  const std::size_t first = column("first"), second = column("second");
  const std::size_t first_date = column("first_date"), second_date = column("second_date");
  for (std::size_t k = 1; k < lines.size(); ++k) {
    if (lines[k].empty()) continue;
    const std::vector<std::string> f = csv_fields(lines[k]);
    const std::size_t most = std::max({first, second, first_date, second_date});
    const std::optional<long> a = most < f.size() ? day_of_date_text(f[first_date]) : std::nullopt;
    const std::optional<long> b = most < f.size() ? day_of_date_text(f[second_date]) : std::nullopt;
    if (!a || !b) {
      *problem = "line " + std::to_string(k + 1) + " is no pair of the pairs CSV (two names and two dates)";
      return false;
    }
    pairs.push_back({k + 1, {*a, unguarded(f[first])}, {*b, unguarded(f[second])}});
  }
  return true;
}

std::string date_text(long day) { return iso_date_text(civil_from_days(day)); }

}  // namespace

bool pair_list_of(std::string_view text, std::vector<ListedPair>& pairs, std::string* problem) {
  std::vector<std::string_view> lines;
  for (;;) {
    const std::size_t at = text.find('\n');
    std::string_view line = text.substr(0, at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (at == std::string_view::npos) break;
    text.remove_prefix(at + 1);
  }
  if (lines.front().starts_with("first,second,first_date,second_date")) return csv_pairs(lines, pairs, problem);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::vector<std::string_view> words = words_of(lines[k]);
    if (words.empty() || words.front().starts_with("#")) continue;
    const std::string line = "line " + std::to_string(k + 1);
    if (const auto joined = joined_dates(words.front())) {
      pairs.push_back({k + 1, {joined->first, {}}, {joined->second, {}}});
      continue;
    }
    const std::optional<long> a = day_of_date_text(words.front());
    const std::optional<long> b = words.size() > 1 ? day_of_date_text(words[1]) : std::nullopt;
    if (a && b && words.size() == 4 && is_number(words[2]) && is_number(words[3])) {
      *problem = line + " is a line of baselines (REFDATE DATE BPERP DT, the baselines export), not a pair: "
                 "give a list of pairs";
      return false;
    }
    if (!a || !b) {
      *problem = line + " is no pair: YYYYMMDD_YYYYMMDD, YYYYMMDD-YYYYMMDD or two dates (YYYYMMDD or "
                 "YYYY-MM-DD) expected";
      return false;
    }
    pairs.push_back({k + 1, {*a, {}}, {*b, {}}});
  }
  return true;
}

bool match_listed_pairs(const std::vector<ListedPair>& pairs, const std::vector<NetworkPoint>& points,
                        IndexPairs& matched, std::string* problem) {
  // The point of one member, or points.size() after a problem.
  const auto point_of = [&](const ListedPair& pair, const ListedAcquisition& a) {
    std::vector<std::size_t> dated;
    for (std::size_t i = 0; i < points.size(); ++i)
      if (points[i].day == a.day) dated.push_back(i);
    const std::string line = "line " + std::to_string(pair.line) + ": ";
    if (dated.empty()) {
      *problem = line + "no acquisition of the stack is of " + date_text(a.day);
      return points.size();
    }
    if (dated.size() == 1) return dated.front();
    for (const std::size_t i : dated)
      if (points[i].name == a.name) return i;
    *problem = line + std::to_string(dated.size()) + " acquisitions are of " + date_text(a.day) + " (" +
               points[dated[0]].name + ", " + points[dated[1]].name +
               (dated.size() > 2 ? ", ..." : "") + "): name them as the pairs CSV does";
    return points.size();
  };
  for (const ListedPair& pair : pairs) {
    const std::size_t i = point_of(pair, pair.first);
    if (i == points.size()) return false;
    const std::size_t j = point_of(pair, pair.second);
    if (j == points.size()) return false;
    if (i == j) {
      *problem = "line " + std::to_string(pair.line) + ": pairs " + points[i].name + " with itself";
      return false;
    }
    matched.emplace_back(std::min(i, j), std::max(i, j));
  }
  return true;
}

}  // namespace bperp::stack
