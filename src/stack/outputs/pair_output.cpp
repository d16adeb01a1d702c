#include "bperp/stack/outputs/pair_output.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/outputs/json_text.h"
#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/outputs/text_table.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

// Decimals of a pair's perpendicular baseline in the table: mm.
constexpr int perpendicular_decimals = 3;
// Bytes gathered before they are written.
constexpr std::size_t flush_bytes = 1 << 16;

// Each point's date as text ("" for none), worked out once.
std::vector<std::string> date_texts(const std::vector<NetworkPoint>& points) {
  std::vector<std::string> dates;
  dates.reserve(points.size());
  for (const NetworkPoint& p : points) dates.push_back(day_text(p.day));
  return dates;
}

std::string days_text(const Pair& p) { return p.days ? std::to_string(*p.days) : std::string(); }

// The pair's days as a JSON value.
void append_days(std::string& text, const Pair& p) {
  if (!p.days) {
    text += "null";
    return;
  }
  char digits[24];
  text.append(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, *p.days).ptr - digits));
}

// Writes text when it has grown past flush_bytes (always when final).
void flush(std::FILE* out, std::string& text, bool final = false) {
  if (!final && text.size() < flush_bytes) return;
  std::fwrite(text.data(), 1, text.size(), out);
  text.clear();
}

}  // namespace

void write_pairs_table(std::FILE* out, const std::vector<NetworkPoint>& points,
                       const PairNetwork& network) {
  // The coherence column when the model has what it needs.
  const bool coherence = std::isfinite(network.model().critical_baseline());
  std::vector<TableColumn> columns = {
      {"first", Align::left},       {"second", Align::left}, {"first date", Align::left},
      {"second date", Align::left}, {"days", Align::right},  {"perpendicular (m)", Align::right},
      {"height of ambiguity (m)", Align::right}};
  if (coherence) columns.push_back({"coherence", Align::right});
  const auto ambiguity_text = [](const Pair& p) {
    return std::isfinite(p.height_of_ambiguity) ? fixed_text(p.height_of_ambiguity, 1) : std::string();
  };
  const auto coherence_text = [](const Pair& p) {
    return std::isfinite(p.coherence) ? fixed_text(p.coherence, 3) : std::string();
  };
  const std::vector<std::string> dates = date_texts(points);
  std::vector<std::size_t> name_width(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) name_width[i] = display_width(points[i].name);

  std::vector<std::size_t> width(columns.size());
  for (std::size_t c = 0; c < columns.size(); ++c) width[c] = display_width(columns[c].heading);
  std::size_t count = 0;
  network.for_each([&](const Pair& p) {
    ++count;
    width[0] = std::max(width[0], name_width[p.first]);
    width[1] = std::max(width[1], name_width[p.second]);
    width[2] = std::max(width[2], dates[p.first].size());
    width[3] = std::max(width[3], dates[p.second].size());
    width[4] = std::max(width[4], days_text(p).size());
    width[5] = std::max(width[5], fixed_text_unsigned_zero(p.perpendicular, perpendicular_decimals).size());
    width[6] = std::max(width[6], ambiguity_text(p).size());
    if (coherence) width[7] = std::max(width[7], coherence_text(p).size());
  });

  std::string text(1, '\n');
  text += count_text(count, "pair", "pairs") +
          " (a pair's perpendicular baseline: the second's minus the first's, both "
          "against the reference geometry)\n\n";
  std::vector<std::string> cells(columns.size());
  for (std::size_t c = 0; c < columns.size(); ++c) cells[c] = columns[c].heading;
  append_table_line(text, columns, width, cells.data(), cells.size());
  for (std::size_t c = 0; c < columns.size(); ++c) cells[c].assign(width[c], '-');
  append_table_line(text, columns, width, cells.data(), cells.size());
  // The lines, laid out as append_table_line lays them out (names and dates
  // left, days and baselines right), without measuring each cell again.
  const auto pad = [&](std::size_t n) { text.append(n, ' '); };
  network.for_each([&](const Pair& p) {
    text += points[p.first].name;
    pad(width[0] - name_width[p.first] + 2);
    text += points[p.second].name;
    pad(width[1] - name_width[p.second] + 2);
    text += dates[p.first];
    pad(width[2] - dates[p.first].size() + 2);
    text += dates[p.second];
    const std::string days = days_text(p);
    pad(width[3] - dates[p.second].size() + 2 + width[4] - days.size());
    text += days;
    const std::string perpendicular = fixed_text_unsigned_zero(p.perpendicular, perpendicular_decimals);
    pad(2 + width[5] - perpendicular.size());
    text += perpendicular;
    const std::string ambiguity = ambiguity_text(p);
    pad(2 + width[6] - ambiguity.size());
    text += ambiguity;
    if (coherence) {
      const std::string c = coherence_text(p);
      pad(2 + width[7] - c.size());
      text += c;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    text += '\n';
    flush(out, text);
  });
  flush(out, text, true);
}

void write_pairs_csv(std::FILE* out, const std::vector<NetworkPoint>& points,
                     const PairNetwork& network) {
  const std::vector<std::string> dates = date_texts(points);
  std::vector<std::string> names;
  names.reserve(points.size());
  for (const NetworkPoint& p : points) names.push_back(csv_field(spreadsheet_text(p.name)));
  std::string text =
      "first,second,first_date,second_date,days,perpendicular_m,critical_baseline_m,"
      "height_of_ambiguity_m,coherence_model\n";
  const double critical = network.model().critical_baseline();
  const std::string critical_text = std::isfinite(critical) ? round_trip_text(critical) : std::string();
  network.for_each([&](const Pair& p) {
    text += names[p.first];
    text += ',';
    text += names[p.second];
    text += ',';
    text += dates[p.first];
    text += ',';
    text += dates[p.second];
    text += ',';
    text += days_text(p);
    text += ',';
    if (std::isfinite(p.perpendicular)) text += round_trip_text(p.perpendicular);
    text += ',';
    text += critical_text;
    text += ',';
    if (std::isfinite(p.height_of_ambiguity)) text += round_trip_text(p.height_of_ambiguity);
    text += ',';
    if (std::isfinite(p.coherence)) text += round_trip_text(p.coherence);
    text += '\n';
    flush(out, text);
  });
  flush(out, text, true);
}

void write_json_with_pairs(std::FILE* out, const nlohmann::ordered_json& document,
                           const std::vector<NetworkPoint>& points, const PairNetwork& network,
                           const nlohmann::ordered_json& after) {
  // The document without its closing brace, then the pairs member.
  std::string text =
      document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  text.pop_back();  // "}"
  while (!text.empty() && text.back() == '\n') text.pop_back();
  text += ",\n  \"pairs\": [";
  std::vector<std::string> names, dates;
  for (const NetworkPoint& p : points) {
    names.emplace_back();
    append_json_string(names.back(), p.name);
    dates.emplace_back();
    if (p.day) append_json_string(dates.back(), day_text(p.day));
    else dates.back() = "null";
  }
  bool first = true;
  network.for_each([&](const Pair& p) {
    text += first ? "\n    {\n      \"first\": " : ",\n    {\n      \"first\": ";
    first = false;
    text += names[p.first];
    text += ",\n      \"second\": ";
    text += names[p.second];
    text += ",\n      \"first_date\": ";
    text += dates[p.first];
    text += ",\n      \"second_date\": ";
    text += dates[p.second];
    text += ",\n      \"days\": ";
    append_days(text, p);
    text += ",\n      \"perpendicular_m\": ";
    append_json_number(text, p.perpendicular);
    text += ",\n      \"critical_baseline_m\": ";
    append_json_number(text, network.model().critical_baseline());
    text += ",\n      \"height_of_ambiguity_m\": ";
    append_json_number(text, p.height_of_ambiguity);
    text += ",\n      \"coherence_model\": ";
    append_json_number(text, p.coherence);
    text += "\n    }";
    flush(out, text);
  });
  text += first ? "]" : "\n  ]";
  // The members after the pairs, indented as the rest of the document.
  for (const auto& [key, value] : after.items()) {
    text += ",\n  ";
    append_json_string(text, key);
    text += ": ";
    const std::string dumped = value.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    for (const char c : dumped) {
      text += c;
      if (c == '\n') text += "  ";
    }
  }
  text += "\n}\n";
  flush(out, text, true);
}

nlohmann::ordered_json network_json(const std::vector<NetworkPoint>& points, const PairNetwork& network,
                                    const Connectivity& c) {
  nlohmann::ordered_json members = nlohmann::ordered_json::array();
  for (const std::vector<std::size_t>& part : c.components) {
    nlohmann::ordered_json names = nlohmann::ordered_json::array();
    for (const std::size_t i : part) names.push_back(points[i].name);
    members.push_back(std::move(names));
  }
  nlohmann::ordered_json bridges = nlohmann::ordered_json::array();
  for (const Pair& p : c.bridges) {
    const NetworkPoint& a = points[p.first];
    const NetworkPoint& b = points[p.second];
    bridges.push_back({{"first", a.name},
                       {"second", b.name},
                       {"first_date", a.day ? nlohmann::ordered_json(day_text(a.day)) : nullptr},
                       {"second_date", b.day ? nlohmann::ordered_json(day_text(b.day)) : nullptr},
                       {"days", p.days ? nlohmann::ordered_json(*p.days) : nullptr},
                       {"perpendicular_m", p.perpendicular},
                       {"distance", network_distance(points, p.first, p.second)}});
  }
  (void)network;
  return {{"components", c.components.size()}, {"members", std::move(members)}, {"bridges", std::move(bridges)}};
}

void write_network_summary(std::FILE* out, const std::vector<NetworkPoint>& points, const Connectivity& c) {
  std::string text = "\n";
  if (c.connected()) {
    text += "network: connected (" + count_text(points.size(), "acquisition", "acquisitions") + " in one part)\n";
    std::fputs(text.c_str(), out);
    return;
  }
  text += "network: split into " + std::to_string(c.components.size()) + " parts\n";
  for (std::size_t k = 0; k < c.components.size(); ++k) {
    text += "  part " + std::to_string(k + 1) + ":";
    for (const std::size_t i : c.components[k]) text += " " + points[i].name;
    text += "\n";
  }
  text += "\n" + count_text(c.bridges.size(), "pair", "pairs") +
          " would join them (the closest by sqrt((days / " + fixed_text(distance_days, 0) +
          ")^2 + (perpendicular / " + fixed_text(distance_metres, 0) + " m)^2)):\n\n";
  const std::vector<TableColumn> columns = {{"first", Align::left},       {"second", Align::left},
                                            {"days", Align::right},       {"perpendicular (m)", Align::right},
                                            {"distance", Align::right}};
  std::vector<std::vector<std::string>> rows;
  for (const Pair& p : c.bridges)
    rows.push_back({points[p.first].name, points[p.second].name, days_text(p),
                    fixed_text_unsigned_zero(p.perpendicular, perpendicular_decimals),
                    fixed_text(network_distance(points, p.first, p.second), 3)});
  std::fputs(text.c_str(), out);
  write_text_table(out, columns, rows);
}

}  // namespace bperp::stack
