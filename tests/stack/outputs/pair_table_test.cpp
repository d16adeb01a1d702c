// The pairs' table sizes its columns without formatting every number
// twice: each column must still be exactly as wide as its widest cell,
// found here by formatting every value of the network independently. The
// CSV's rows and the JSON's objects are written straight from each pair:
// every cell must still be the text of its column's value, every object
// as the JSON writer lays out its members.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bperp/stack/outputs/pair_output.h"
#include "bperp/stack/outputs/record_columns.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {
namespace {

template <typename Write>
std::string written(Write write) {
  std::FILE* f = std::tmpfile();
  write(f);
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  std::fclose(f);
  return text;
}

std::string table_of(const std::vector<NetworkPoint>& points, const CoherenceModel& model) {
  return written(
      [&](std::FILE* f) { write_pairs_table(f, points, PairNetwork(points, PairLimits{}, model)); });
}

// The dashes under each heading, one run per column.
std::vector<std::size_t> rule_widths(const std::string& table) {
  const std::size_t start = table.find("\n--") + 1;
  const std::string rule = table.substr(start, table.find('\n', start) - start);
  std::vector<std::size_t> widths;
  for (std::size_t i = 0; i < rule.size();) {
    const std::size_t end = std::min(rule.find(' ', i), rule.size());
    widths.push_back(end - i);
    i = rule.find_first_not_of(' ', end);
    if (i == std::string::npos) break;
  }
  return widths;
}

// A C-band stack's model with a critical baseline.
CoherenceModel c_band_model() {
  CoherenceModel model;
  model.wavelength_m = 0.0555;
  model.slant_range_m = 850000.0;
  model.incidence_rad = 0.6;
  model.range_bandwidth_hz = 56.5e6;
  return model;
}

TEST(PairTable, ColumnsAsWideAsTheirWidestCell) {
  // Perpendicular baselines whose widest text is a negative one, one that
  // rounds up a digit (9.9996 -> 10.000), and heights of ambiguity from the
  // smallest |B_perp| (the largest height) of either sign.
  const CoherenceModel model = c_band_model();
  const std::vector<std::vector<double>> cases = {
      {0.0, 9.9996, -0.0004, 3.0}, {0.0, -1234.5678, 5.0, 0.0021}, {0.0, 0.00049, -0.00051, 99999.9995}};
  for (const std::vector<double>& perpendiculars : cases) {
    std::vector<NetworkPoint> points;
    for (std::size_t i = 0; i < perpendiculars.size(); ++i)
      points.push_back({std::string(1, static_cast<char>('a' + i)), static_cast<long>(20000 + 12 * i),
                        perpendiculars[i], i == 0});
    const PairModel shared(model);
    std::size_t perpendicular = std::string("perpendicular (m)").size();
    std::size_t height = std::string("height of ambiguity (m)").size();
    std::size_t coherence = std::string("coherence").size();
    for (std::size_t i = 0; i < points.size(); ++i)
      for (std::size_t j = i + 1; j < points.size(); ++j) {
        const double b = points[j].perpendicular - points[i].perpendicular;
        perpendicular = std::max(perpendicular, fixed_text_unsigned_zero(b, 3).size());
        const double h = shared.height_of_ambiguity(b);
        if (std::isfinite(h)) height = std::max(height, fixed_text(h, 1).size());
        coherence = std::max(coherence, fixed_text(pair_coherence(points, i, j, shared), 3).size());
      }
    const std::vector<std::size_t> widths = rule_widths(table_of(points, model));
    ASSERT_EQ(widths.size(), 8u);
    EXPECT_EQ(widths[5], perpendicular) << perpendiculars[1];
    EXPECT_EQ(widths[6], height) << perpendiculars[1];
    EXPECT_EQ(widths[7], coherence) << perpendiculars[1];
  }
}

TEST(PairTable, NamesAsWideAsThePairsShowThem) {
  // The last acquisition in time is never a pair's first, the first never
  // its second: their names widen only the column they appear in.
  const std::vector<NetworkPoint> points = {
      {"a-long-first-name", 100, 0.0, true}, {"b", 112, 1.0}, {"the-longest-last-name", 124, 2.0}};
  const std::vector<std::size_t> widths = rule_widths(table_of(points, CoherenceModel{}));
  ASSERT_GE(widths.size(), 2u);
  EXPECT_EQ(widths[0], std::string("a-long-first-name").size());
  EXPECT_EQ(widths[1], std::string("the-longest-last-name").size());
}

TEST(PairRows, EveryCellIsItsColumnsValue) {
  // Names a spreadsheet would run or that need quotes, a pair of equal
  // baselines (no height of ambiguity), dated and undated points, with and
  // without a critical baseline: the expected rows made from every column
  // of pair_columns() through its value, as the records are defined.
  const CoherenceModel with_bandwidth = c_band_model();
  const CoherenceModel without_bandwidth = [&] {
    CoherenceModel model = with_bandwidth;
    model.range_bandwidth_hz = NAN;
    return model;
  }();
  const std::vector<NetworkPoint> dated = {{"ref", 14000, 0.0, true, 12.5},
                                           {"=SUM(A1)", 14012, -85.39450712874529, false, -3.0},
                                           {"a,\"b\"", 13988, 1e-7, false, NAN},
                                           {"same", 14024, -85.39450712874529, false, 0.0}};
  const std::vector<NetworkPoint> undated = [&] {
    std::vector<NetworkPoint> points = dated;
    for (NetworkPoint& point : points) point.day.reset();
    return points;
  }();
  for (const std::vector<NetworkPoint>* points : {&dated, &undated})
    for (const CoherenceModel* model : {&with_bandwidth, &without_bandwidth}) {
      const PairNetwork network(*points, PairLimits{}, *model);
      std::string expected;
      for (const PairColumn& c : pair_columns()) {
        if (!expected.empty()) expected += ',';
        expected += c.key;
      }
      network.for_each([&](const Pair& p) {
        expected += '\n';
        for (const PairColumn& c : pair_columns()) {
          if (&c != pair_columns().data()) expected += ',';
          append_csv_field(expected, c.value(PairRow{network, p}));
        }
      });
      expected += '\n';
      EXPECT_EQ(written([&](std::FILE* f) { write_pairs_csv(f, *points, network); }), expected);

      const std::string json = written([&](std::FILE* f) {
        JsonWriter writer(f);
        writer.begin_object();
        pairs_json(writer, network);
        writer.end_object();
        writer.finish();
      });
      EXPECT_EQ(json, written([&](std::FILE* f) {
                  JsonWriter writer(f);
                  writer.begin_object();
                  writer.key("pairs");
                  writer.begin_array();
                  network.for_each([&](const Pair& p) {
                    writer.begin_object();
                    for (const PairColumn& c : pair_columns()) {
                      writer.key(c.key);
                      json_value(writer, c.value(PairRow{network, p}), Digits::shortest);
                    }
                    writer.end_object();
                  });
                  writer.end_array();
                  writer.end_object();
                  writer.finish();
                }));
    }
}

}  // namespace
}  // namespace bperp::stack
