// The plot's layout with the fonts it is drawn with: no two texts overlap
// and every one stays in the picture for stacks of 10, 60 and 500
// acquisitions; the axes' ticks stand where the calendar says; the parts'
// colours, the legend and the title; the sizes the user gives.
#include "bperp/stack/outputs/plot_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "bperp/stack/outputs/baseline_plot.h"
#include "bperp/stack/support/iso_date.h"

namespace bperp::stack {
namespace {

// A Sentinel-1-like stack of n acquisitions 12 days apart from 2016-01-03,
// baselines spread over +-150 m by a fixed sequence, the reference in the
// middle at 0 m.
std::vector<NetworkPoint> generated_stack(std::size_t n, const std::string& prefix = "S1_") {
  std::vector<NetworkPoint> points;
  const long start = days_from_civil(CivilDate{2016, 1, 3});
  std::uint32_t state = 12345;
  for (std::size_t k = 0; k < n; ++k) {
    state = state * 1664525u + 1013904223u;
    const double b = (static_cast<double>(state >> 8) / (1u << 24) - 0.5) * 300.0;
    const long day = start + 12 * static_cast<long>(k);
    points.push_back({"/data/" + prefix + date_label(day) + ".SAFE", day, b, false});
  }
  points[n / 2].reference = true;
  points[n / 2].perpendicular = 0.0;
  return points;
}

struct Size {
  const char* name;
  double width, height;  // pt
};
const Size sizes[] = {{"88x66mm", 249.449, 187.087}, {"1200x800px", 900.0, 600.0}, {"the page's", 720.0, 450.0}};

TEST(PlotLayout, NoTwoTextsOverlapAndAllStayInThePicture) {
  const MeasureText measure = plot_text_measure();
  for (const std::size_t n : {10u, 60u, 500u})
    for (const Size& size : sizes)
      for (const bool split : {false, true}) {
        const std::vector<NetworkPoint> points = generated_stack(n);
        PairLimits limits;
        limits.max_days = split ? 11 : 40;  // 11 days: every acquisition alone
        const PairNetwork network(points, limits, CoherenceModel{});
        const Connectivity parts = connectivity(network);
        ASSERT_EQ(parts.connected(), !split);
        PlotContent content{&points, network.count(), !split, &parts, "ISCE's"};
        const PlotLayout l = lay_out_plot(content, size.width, size.height, measure);
        const std::string where = std::to_string(n) + " acquisitions, " + size.name + (split ? ", split" : "");

        const Box picture{0.0, 0.0, size.width, size.height};
        std::set<std::string> dates;
        for (const NetworkPoint& p : points) dates.insert(date_label(*p.day));
        std::size_t labelled = 0;
        bool reference_labelled = false;
        for (std::size_t a = 0; a < l.texts.size(); ++a) {
          const PlacedText& t = l.texts[a];
          EXPECT_TRUE(t.box().inside(picture)) << where << ": " << t.text;
          EXPECT_GT(t.metrics.width, 0.0) << where << ": " << t.text;
          for (std::size_t b = a + 1; b < l.texts.size(); ++b)
            EXPECT_FALSE(t.box().overlaps(l.texts[b].box())) << where << ": " << t.text << " / " << l.texts[b].text;
          if (t.role != TextRole::point_label) continue;
          ++labelled;
          EXPECT_TRUE(t.box().inside(l.area)) << where << ": " << t.text;
          EXPECT_EQ(dates.count(t.text), 1u) << where << ": " << t.text;  // a date, never a file name
          reference_labelled |= t.bold && t.text == date_label(*points[n / 2].day);
        }
        EXPECT_TRUE(reference_labelled) << where;
        EXPECT_GE(labelled, n == 10 ? 5u : n == 60 ? 8u : 1u) << where;  // 500: points cover the area
        EXPECT_EQ(l.points.size(), n) << where;
        for (const LegendMark& m : l.legend) {
          EXPECT_GT(m.x, 0.0) << where;
          EXPECT_LT(m.x, size.width) << where;
          EXPECT_LT(m.y, size.height) << where;
        }
        EXPECT_TRUE(l.area.inside(picture) && l.area.right - l.area.left > 0.5 * size.width) << where;
      }
}

// Years at their New Years, months at their firsts, labels every step
// years; later dates further right, larger baselines higher up.
TEST(PlotLayout, AxesFollowTheCalendarAndTheValues) {
  const std::vector<NetworkPoint> points = generated_stack(500);  // 2016 to 2032
  const PairNetwork network = PairNetwork::without_pairs(points, CoherenceModel{});
  PlotContent content{&points, 0, false, nullptr, "bperp's"};
  const PlotLayout l = lay_out_plot(content, 249.449, 187.087, plot_text_measure());
  ASSERT_GE(l.year_ticks.size(), 15u);
  for (const Tick& t : l.year_ticks) {
    const CivilDate d = civil_from_days(static_cast<long>(t.value));
    EXPECT_EQ(d.month * 100 + d.day, 101);
    EXPECT_NEAR(t.at, l.x(t.value), 1e-9);
  }
  for (const Tick& t : l.month_ticks) EXPECT_EQ(civil_from_days(static_cast<long>(t.value)).day, 1);
  std::vector<int> years;
  for (const PlacedText& t : l.texts)
    if (t.role == TextRole::tick_label && t.box().top > l.area.bottom) years.push_back(std::stoi(t.text));
  ASSERT_GE(years.size(), 2u);
  const int step = years[1] - years[0];
  EXPECT_TRUE(step == 2 || step == 5) << step;  // 16 years on 88 mm: not every year
  for (std::size_t k = 0; k < years.size(); ++k) EXPECT_EQ(years[k] % step, 0) << years[k];
  for (const Tick& t : l.baseline_ticks) EXPECT_NEAR(t.at, l.y(t.value), 1e-9);
  for (std::size_t k = 1; k < l.points.size(); ++k) {
    const NetworkPoint& a = points[l.points[k - 1].index];
    const NetworkPoint& b = points[l.points[k].index];
    EXPECT_LT(l.points[k - 1].x, l.points[k].x);
    if (a.perpendicular < b.perpendicular) {
      EXPECT_GT(l.points[k - 1].y, l.points[k].y);
    }
  }
  // A short stack: months labelled YYYY-MM.
  const std::vector<NetworkPoint> short_stack = generated_stack(10);
  content.points = &short_stack;
  const PlotLayout s = lay_out_plot(content, 249.449, 187.087, plot_text_measure());
  std::size_t months = 0;
  for (const PlacedText& t : s.texts)
    if (t.role == TextRole::tick_label && t.box().top > s.area.bottom) {
      CivilDate d;
      EXPECT_EQ(parse_iso_date_prefix((t.text + "-01").c_str(), &d), DateParse::ok) << t.text;
      ++months;
    }
  EXPECT_GE(months, 2u);
}

// A split network's parts: the reference's first in colour and legend,
// whatever the order of the dates; the legend only of what is drawn.
TEST(PlotLayout, TheReferencesPartFirstAndALegendOfWhatIsDrawn) {
  // A and B early and paired, R (the reference) and C a year later.
  const std::vector<NetworkPoint> points = {
      {"R", 400, 0.0, true}, {"A", 0, 50.0, false}, {"B", 12, 60.0, false}, {"C", 412, -20.0, false}};
  PairLimits limits;
  limits.max_days = 20;
  const PairNetwork network(points, limits, CoherenceModel{});
  const Connectivity parts = connectivity(network);
  ASSERT_EQ(parts.components.size(), 2u);
  const auto legend_texts = [](const PlotLayout& l) {
    std::vector<std::string> texts;
    for (const PlacedText& t : l.texts)
      if (t.role == TextRole::legend) texts.push_back(t.text);
    return texts;
  };
  for (const bool shaded : {false, true}) {
    PlotContent content{&points, network.count(), shaded, &parts, "bperp's"};
    const PlotLayout l = lay_out_plot(content, 249.449, 187.087, plot_text_measure());
    for (const PlacedPoint& p : l.points)
      EXPECT_EQ(p.colour, part_colour(points[p.index].name == "R" || points[p.index].name == "C" ? 0 : 1))
          << points[p.index].name;
    std::vector<std::string> expected = {"reference", "reference's part (2)", "part 2 (2)"};
    if (!shaded) expected.push_back("pair");
    else expected.insert(expected.begin(), "modelled coherence");  // the colour bar's title
    EXPECT_EQ(legend_texts(l), expected);
    EXPECT_EQ(l.colour_bar.has_value(), shaded);
  }
  // Connected, without pairs: no pair, no parts.
  PlotContent alone{&points, 0, false, nullptr, "bperp's"};
  EXPECT_EQ(legend_texts(lay_out_plot(alone, 249.449, 187.087, plot_text_measure())),
            (std::vector<std::string>{"reference", "acquisition"}));
}

// A Sentinel-1 product's name is shortened in the middle to fit the title;
// the axis names the convention.
TEST(PlotLayout, TheTitleFitsAndTheAxisNamesTheConvention) {
  std::vector<NetworkPoint> points = generated_stack(10);
  points[5].name = "/data/S1A_IW_SLC__1SDV_20160302T022010_20160302T022035_010230_00F221_5B1D.SAFE";
  const MeasureText measure = plot_text_measure();
  for (const Size& size : sizes) {
    PlotContent content{&points, 0, false, nullptr, "GAMMA's"};
    const PlotLayout l = lay_out_plot(content, size.width, size.height, measure);
    const PlacedText& title = l.texts.front();
    ASSERT_EQ(title.role, TextRole::title);
    EXPECT_EQ(title.text.rfind("reference S1A_", 0), 0u) << title.text;
    EXPECT_TRUE(title.text.ends_with(", " + date_label(*points[5].day))) << title.text;
    EXPECT_LE(title.metrics.width, size.width) << title.text;
    bool named = false;
    for (const PlacedText& t : l.texts) named |= t.vertical && t.text.find("GAMMA's sign") != std::string::npos;
    EXPECT_TRUE(named) << size.name;
  }
  // On a journal column the name is too long: shortened.
  PlotContent content{&points, 0, false, nullptr, "GAMMA's"};
  EXPECT_NE(lay_out_plot(content, 249.449, 187.087, measure).texts.front().text.find("\xE2\x80\xA6"),
            std::string::npos);
  // Cuts fall between UTF-8 characters: "é" is two bytes.
  const std::string cut = shortened("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", [](const std::string& t) { return t.size() <= 7; });
  EXPECT_EQ(cut, "\xC3\xA9\xE2\x80\xA6\xC3\xA9");
}

TEST(PlotSizes, TextUnitsAndPixels) {
  struct Case {
    const char* text;
    bool ok;
    double width_pt = 0.0, height_pt = 0.0;
    int pixels_across = 0, pixels_down = 0;
  };
  // 88 mm = 249.449 pt, and 1039.4 dots at 300 per inch; 1200 px = 900 pt.
  for (const Case& c : {Case{"88x66mm", true, 249.4488, 187.0866, 1039, 780},
                        Case{"1200x800px", true, 900.0, 600.0, 1200, 800},
                        Case{"25.4x1e2mm", true, 72.0, 283.4646, 300, 1181},
                        Case{"88x66", false}, Case{"88x66cm", false}, Case{"88*66mm", false},
                        Case{"10x66mm", false}, Case{"88x66x1mm", false}, Case{"99x20000px", false},
                        Case{"nanx66mm", false}, Case{"x66mm", false}}) {
    const std::optional<PlotSize> size = plot_size_of(c.text);
    ASSERT_EQ(size.has_value(), c.ok) << c.text;
    if (!size) continue;
    EXPECT_NEAR(width_points(*size), c.width_pt, 1e-4) << c.text;
    EXPECT_NEAR(height_points(*size), c.height_pt, 1e-4) << c.text;
    EXPECT_EQ(raster_width(*size), c.pixels_across) << c.text;
    EXPECT_EQ(raster_height(*size), c.pixels_down) << c.text;
  }
}

TEST(PlotColours, TheCoherenceScaleByHand) {
  EXPECT_EQ(coherence_colour(0.0), coherence_scale().front().colour);
  EXPECT_EQ(coherence_colour(1.0), coherence_scale().back().colour);
  EXPECT_EQ(coherence_colour(2.0), coherence_scale().back().colour);
  // Half way between #f8a07e (1/3) and #ce6693 (2/3).
  EXPECT_EQ(coherence_colour(0.5), "#e38389");
}

}  // namespace
}  // namespace bperp::stack
