// The records of bperp-stack's outputs, read back from the three formats of
// the same runs: the secondaries and the pairs each carry in the table, the
// CSV and the JSON the columns of their one declaration, and the same value
// of each row in all three.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <span>
#include <string>
#include <vector>

#include "bperp/stack/outputs/record_columns.h"
#include "stack_test_support.h"

namespace bperp::stack {
namespace {

using stack_test::read_csv;
using stack_test::read_table;
using stack_test::run_stack;

const std::string source = BPERP_SOURCE_DIR;

// Checks one record kind of a run: the JSON objects, the CSV records
// (header first) and the table's rows (heading -> cell; every heading but
// the note a column's) against the columns.
template <typename Column>
void check_records(const nlohmann::ordered_json& objects, const std::vector<std::vector<std::string>>& csv,
                   const std::vector<std::map<std::string, std::string>>& table, std::span<const Column> columns) {
  std::vector<std::string> keys, csv_keys;
  for (const Column& c : columns) {
    keys.push_back(c.key);
    if (c.in_csv) csv_keys.push_back(c.key);
  }
  ASSERT_FALSE(csv.empty());
  EXPECT_EQ(csv[0], csv_keys);
  ASSERT_EQ(csv.size(), objects.size() + 1);
  ASSERT_EQ(table.size(), objects.size());
  for (const auto& entry : table.at(0)) {
    const std::string& heading = entry.first;  // a plain name: clang 14 lets no lambda capture a structured binding
    const auto named = [&](const Column& c) { return heading == c.heading; };
    EXPECT_TRUE(heading == "note" || std::any_of(columns.begin(), columns.end(), named)) << heading;
  }
  const std::regex date("\\d{4}-\\d{2}-\\d{2}"), time("\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d+Z");
  for (std::size_t r = 0; r < objects.size(); ++r) {
    const nlohmann::ordered_json& object = objects[r];
    std::vector<std::string> members;
    for (const auto& item : object.items()) members.push_back(item.key());
    EXPECT_EQ(members, keys) << "row " << r;
    ASSERT_EQ(csv[r + 1].size(), csv_keys.size());
    std::size_t field_index = 0;
    for (std::size_t k = 0; k < keys.size(); ++k) {
      const Column& c = columns[k];
      const nlohmann::ordered_json& value = object.at(c.key);
      // A column of the JSON alone is checked against the table only.
      const std::string field = c.in_csv ? csv[r + 1][field_index++] : value.is_string() ? value.get<std::string>()
                                : value.is_null()                     ? std::string()
                                                                      : value.dump();
      const auto cell = table[r].find(c.heading);
      const bool shown = cell != table[r].end();
      SCOPED_TRACE(std::string(c.key) + " of row " + std::to_string(r) + ": " + value.dump());
      if (value.is_null()) {
        EXPECT_EQ(field, "");
        if (shown) { EXPECT_EQ(cell->second, ""); }
        continue;
      }
      switch (c.type) {
        case ValueType::text:
        case ValueType::date:
        case ValueType::utc_time:
          ASSERT_TRUE(value.is_string());
          EXPECT_EQ(field, value.get<std::string>());
          if (shown) { EXPECT_EQ(cell->second, value.get<std::string>()); }
          if (c.type == ValueType::date) { EXPECT_TRUE(std::regex_match(field, date)); }
          if (c.type == ValueType::utc_time) { EXPECT_TRUE(std::regex_match(field, time)); }
          break;
        case ValueType::whole:
          ASSERT_TRUE(value.is_number_integer());
          EXPECT_EQ(field, std::to_string(value.get<long long>()));
          if (shown) { EXPECT_EQ(cell->second, field); }
          break;
        case ValueType::boolean:
          ASSERT_TRUE(value.is_boolean());
          EXPECT_EQ(field, value.dump());  // true, false
          break;
        case ValueType::number:
          ASSERT_TRUE(value.is_number_float());
          EXPECT_EQ(std::strtod(field.c_str(), nullptr), value.get<double>());
          if (shown) {
            EXPECT_LE(std::fabs(std::strtod(cell->second.c_str(), nullptr) - value.get<double>()),
                      0.5 * std::pow(10.0, -c.decimals) * (1 + 1e-9));
          }
          break;
      }
    }
  }
}

TEST(Records, TableCsvAndJsonCarryTheSameColumnsAndValues) {
  const std::string ex = source + "/examples/stack/";
  const std::string s1 = source + "/tests/data/s1-track108-annotation/";
  const std::string par = source + "/tests/data/gamma-slc-par/";
  struct Case {
    const char* what;
    std::vector<std::string> inputs;
    bool coherence;  // whether the model has a critical baseline (and the pairs' table the coherence)
  };
  const Case cases[] = {
      {"state vectors and orbits, one missing (beam geometry, no coherence model)",
       {ex + "reference.txt", ex + "20070612.txt", ex + "20070728.orbit", ex + "20081030.txt", ex + "missing.txt"},
       false},
      {"GAMMA image parameters (zero-Doppler geometry)",
       {par + "r20180106_VV_slc.par", par + "r20180130_VV_slc.par", par + "r20180319_VV_slc.par"},
       true},
      {"Sentinel-1 annotations",
       {s1 + "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml",
        s1 + "s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto run = [&](std::vector<std::string> format) {
      format.insert(format.end(), c.inputs.begin(), c.inputs.end());
      return run_stack(format).out;
    };
    const std::string table = run({"--pairs"});
    const nlohmann::ordered_json json = nlohmann::ordered_json::parse(run({"--format", "json", "--pairs"}));
    check_records(json.at("secondaries"), read_csv(run({"--format", "csv"})), read_table(table, "secondary"),
                  secondary_columns());
    // Each pair's points are the acquisitions it names: their dates, and
    // the second's perpendicular baseline minus the first's.
    std::map<std::string, std::pair<nlohmann::ordered_json, double>> point = {
        {json.at("reference").at("name"), {json.at("reference").at("date"), 0.0}}};
    for (const auto& s : json.at("secondaries"))
      if (s.at("error").is_null()) point[s.at("name")] = {s.at("date"), s.at("perpendicular_m").get<double>()};
    for (const auto& p : json.at("pairs")) {
      const auto& first = point.at(p.at("first")), second = point.at(p.at("second"));
      EXPECT_EQ(p.at("first_date"), first.first);
      EXPECT_EQ(p.at("second_date"), second.first);
      EXPECT_EQ(p.at("perpendicular_m").get<double>(), second.second - first.second);
    }
    const auto pairs_table = read_table(table, "first");
    EXPECT_EQ(json.at("pairs").at(0).at("critical_baseline_m").is_number(), c.coherence);
    EXPECT_EQ(pairs_table.at(0).count("coherence"), c.coherence ? 1u : 0u);
    check_records(json.at("pairs"), read_csv(run({"--format", "csv", "--pairs"})), pairs_table, pair_columns());
  }
}

}  // namespace
}  // namespace bperp::stack
