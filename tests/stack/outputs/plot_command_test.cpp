// bperp-stack --pairs and --plot end to end: the pair lists in the three
// formats, and the SVG parsed by xmllint, rendered by rsvg-convert and read
// back for its points and lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "stack_test_support.h"

namespace {

using stack_test::read_csv;
using stack_test::read_file;
using stack_test::RunResult;
using stack_test::run;
using stack_test::run_stack;
using stack_test::TempDir;

const std::string source_dir = BPERP_SOURCE_DIR;
const std::string stack_dir = source_dir + "/examples/stack";

// The example stack in date order (its files are named by date).
std::vector<std::string> example_files() {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(stack_dir)) {
    const std::string name = entry.path().filename().string();
    if (name[0] == '2') files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The arguments the README gives for the committed plot.
std::vector<std::string> plot_arguments(const std::string& svg) {
  std::vector<std::string> args = {"--pairs", "--max-perp", "200", "--max-days", "200",
                                   "--plot", svg, stack_dir + "/reference.txt"};
  for (const std::string& f : example_files()) args.push_back(f);
  return args;
}

// The value of attribute name in one element's text ("" when absent).
std::string attribute(const std::string& element, const std::string& name) {
  const std::string key = " " + name + "=\"";
  const std::size_t at = element.find(key);
  if (at == std::string::npos) return "";
  const std::size_t start = at + key.size();
  return element.substr(start, element.find('"', start) - start);
}

// Every element <tag ...> whose class attribute is exactly cls, with its
// content up to the closing tag (or the element alone when it closes itself).
std::vector<std::string> elements(const std::string& svg, const std::string& tag,
                                  const std::string& cls) {
  std::vector<std::string> found;
  for (std::size_t at = svg.find("<" + tag + " "); at != std::string::npos;
       at = svg.find("<" + tag + " ", at + 1)) {
    const std::size_t open_end = svg.find('>', at);
    std::size_t end = open_end + 1;
    if (svg[open_end - 1] != '/') end = svg.find("</" + tag + ">", at) + tag.size() + 3;
    const std::string e = svg.substr(at, end - at);
    if (attribute(e.substr(0, open_end - at + 1), "class") == cls) found.push_back(e);
  }
  return found;
}

double number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// One plotted acquisition: its coordinates and what its tooltip says.
struct PlottedPoint {
  double x, y;
  std::string name, date;
  double perpendicular;
};

std::vector<PlottedPoint> plotted_points(const std::string& svg) {
  std::vector<PlottedPoint> points;
  std::vector<std::string> all = elements(svg, "circle", "acquisition");
  for (const std::string& e : elements(svg, "circle", "acquisition reference")) all.push_back(e);
  for (const std::string& e : all) {
    const std::size_t t = e.find("<title>") + 7;
    const std::vector<std::string> words =
        stack_test::words_of(e.substr(t, e.find("</title>") - t));
    points.push_back({number(attribute(e, "cx")), number(attribute(e, "cy")), words.at(0),
                      words.at(1), number(words.at(2))});
  }
  return points;
}

TEST(StackPlot, WellFormedOnePointPerAcquisitionOneLinePerPairMonotonic) {
  TempDir dir;
  const std::string svg_path = dir.file("plot.svg");
  std::vector<std::string> args = plot_arguments(svg_path);
  const RunResult table = run_stack(args);
  ASSERT_EQ(table.status, 0) << table.err;
  args.insert(args.begin(), {"--format", "json"});
  const RunResult json = run_stack(args);
  ASSERT_EQ(json.status, 0) << json.err;
  const nlohmann::json doc = nlohmann::json::parse(json.out);

  EXPECT_EQ(run("/usr/bin/xmllint", {"--noout", svg_path}).status, 0);
  const RunResult png = run("/usr/bin/rsvg-convert", {"-o", dir.file("plot.png"), svg_path});
  EXPECT_EQ(png.status, 0) << png.err;
  EXPECT_EQ(read_file(dir.file("plot.png")).substr(0, 8), "\x89PNG\r\n\x1a\n");

  const std::string svg = read_file(svg_path);
  const std::vector<PlottedPoint> points = plotted_points(svg);
  ASSERT_EQ(points.size(), doc.at("secondaries").size() + 1);
  EXPECT_EQ(elements(svg, "circle", "acquisition reference").size(), 1u);
  EXPECT_EQ(elements(svg, "circle", "reference-mark").size(), 1u);
  const std::vector<std::string> lines = elements(svg, "line", "pair");
  ASSERT_EQ(lines.size(), doc.at("pairs").size());
  ASSERT_GT(lines.size(), 3u);
  EXPECT_NE(svg.find("reference.txt (2008-06-14)"), std::string::npos);

  // Later dates further right, larger baselines higher up (smaller y).
  for (const PlottedPoint& a : points)
    for (const PlottedPoint& b : points) {
      if (a.date < b.date) {
        EXPECT_LT(a.x, b.x) << a.name << " " << b.name;
      }
      if (a.perpendicular < b.perpendicular) {
        EXPECT_GT(a.y, b.y) << a.name << " " << b.name;
      }
    }
  // The labels say what the JSON says.
  std::map<std::string, const PlottedPoint*> by_name;
  for (const PlottedPoint& p : points) by_name[p.name] = &p;
  for (const nlohmann::json& s : doc.at("secondaries")) {
    const std::string name = std::filesystem::path(s.at("name").get<std::string>()).stem().string();
    ASSERT_TRUE(by_name.count(name)) << name;
    EXPECT_EQ(by_name[name]->date, s.at("date"));
    EXPECT_NEAR(by_name[name]->perpendicular, s.at("perpendicular_m").get<double>(), 0.0005);
  }
  // Each line joins the points of its pair.
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const nlohmann::json& p = doc.at("pairs")[k];
    const PlottedPoint* a = by_name.at(std::filesystem::path(p.at("first").get<std::string>()).stem().string());
    const PlottedPoint* b = by_name.at(std::filesystem::path(p.at("second").get<std::string>()).stem().string());
    EXPECT_NEAR(number(attribute(lines[k], "x1")), a->x, 0.051);
    EXPECT_NEAR(number(attribute(lines[k], "y1")), a->y, 0.051);
    EXPECT_NEAR(number(attribute(lines[k], "x2")), b->x, 0.051);
    EXPECT_NEAR(number(attribute(lines[k], "y2")), b->y, 0.051);
  }
  // The zero line stands at the reference's height.
  const std::vector<std::string> zero = elements(svg, "line", "zero-line");
  ASSERT_EQ(zero.size(), 1u);
  EXPECT_NEAR(number(attribute(zero[0], "y1")), by_name.at("reference")->y, 0.051);
}

// Twelve parts (--max-days 0: every acquisition alone), the pairs shaded or
// not: the legend wraps within the picture, clear of the shading note, the
// first eight parts a colour each that no other mark means, the rest named
// together in a colour of their own.
TEST(StackPlot, TheLegendOfManyPartsStaysInThePicture) {
  // Text widths, px, bounded by the widest glyph of the legend's texts:
  // DejaVu Sans digits and "p", 1303 / 2048 em, at 12 px. The shading note
  // (11 px) measures 308.7 px by the font's advances, summed by hand.
  constexpr double widest_glyph = 1303.0 / 2048.0 * 12.0;
  constexpr double note_width = 308.7;
  for (const bool shaded : {false, true}) {
    TempDir dir;
    const std::string svg_path = dir.file("parts.svg");
    std::vector<std::string> args = {"--pairs", "--max-days", "0", "--plot", svg_path, stack_dir + "/reference.txt"};
    if (shaded) args.insert(args.begin(), {"--sensor", "alos"});
    for (const std::string& f : example_files()) args.push_back(f);
    ASSERT_EQ(run_stack(args).status, 0);
    const std::string svg = read_file(svg_path);
    const double width = number(attribute(svg.substr(svg.find("<svg ")), "width"));
    const double height = number(attribute(svg.substr(svg.find("<svg ")), "height"));
    const std::vector<std::string> first_row = elements(svg, "circle", "legend");
    ASSERT_EQ(first_row.size(), 2u);  // the reference and a secondary
    const std::string secondary = attribute(first_row[1], "fill"), reference = attribute(first_row[0], "fill");
    const std::vector<std::string> notes = elements(svg, "text", "legend");
    const double note_y = number(attribute(notes.back(), "y")), note_x = number(attribute(notes.back(), "x"));

    std::vector<std::string> fills, words;
    for (std::size_t at = svg.find("class=\"legend part\""); at != std::string::npos;
         at = svg.find("class=\"legend part\"", at + 1)) {
      const std::size_t open = svg.rfind("<circle", at);
      const std::string mark = svg.substr(open, svg.find('>', at) - open + 1);
      const std::size_t t = svg.find("<text ", at);
      const std::string label = svg.substr(t, svg.find("</text>", t) - t);
      const std::string said = label.substr(label.find('>') + 1);
      const double x = number(attribute(label, "x")), y = number(attribute(label, "y"));
      const double end = x + widest_glyph * static_cast<double>(said.size());
      EXPECT_LE(end, width) << said;
      if (shaded && y == note_y) {
        EXPECT_LE(end, note_x - note_width) << said;
      }
      EXPECT_LT(y, height) << said;
      fills.push_back(attribute(mark, "fill"));
      words.push_back(said);
    }
    ASSERT_EQ(words.size(), 9u);
    EXPECT_EQ(words[7], "part 8 (1)");
    EXPECT_EQ(words[8], "... and 4 more parts");
    std::vector<std::string> distinct = fills;
    std::sort(distinct.begin(), distinct.end());
    EXPECT_EQ(std::unique(distinct.begin(), distinct.end()), distinct.end()) << "a colour twice";
    EXPECT_EQ(std::count(fills.begin(), fills.end(), secondary), 0);
    EXPECT_EQ(std::count(fills.begin(), fills.end(), reference), 0);
    // Each secondary in the colour of a legend entry: the four parts
    // beyond the eighth (the reference, red, is the seventh) in the last.
    int in_last = 0;
    for (const std::string& point : elements(svg, "circle", "acquisition")) {
      const std::string fill = attribute(point, "fill");
      EXPECT_NE(std::find(fills.begin(), fills.end(), fill), fills.end()) << point;
      in_last += fill == fills.back();
    }
    EXPECT_EQ(in_last, 4);
  }
}

// The picture in docs/ is what the documented command makes today.
TEST(StackPlot, TheCommittedPictureIsCurrent) {
  TempDir dir;
  const std::string svg_path = dir.file("plot.svg");
  ASSERT_EQ(run_stack(plot_arguments(svg_path)).status, 0);
  EXPECT_EQ(read_file(svg_path), read_file(source_dir + "/docs/baseline-time.svg"))
      << "regenerate docs/baseline-time.svg with the command in the README";
}

TEST(StackPlot, PairsInTheThreeFormatsAgree) {
  std::vector<std::string> args = {"--pairs", "--max-perp", "200", "--max-neighbours", "2",
                                   stack_dir + "/reference.txt"};
  for (const std::string& f : example_files()) args.push_back(f);
  const RunResult table = run_stack(args);
  args.insert(args.begin(), {"--format", "csv"});
  const RunResult csv = run_stack(args);
  args[1] = "json";
  const RunResult json = run_stack(args);
  for (const RunResult* r : {&table, &csv, &json}) ASSERT_EQ(r->status, 0) << r->err;

  const nlohmann::json pairs = nlohmann::json::parse(json.out).at("pairs");
  const auto records = read_csv(csv.out);
  ASSERT_EQ(records.size(), pairs.size() + 1);
  EXPECT_EQ(records[0], (std::vector<std::string>{"first", "second", "first_date", "second_date",
                                                  "days", "perpendicular_m", "critical_baseline_m",
                                                  "height_of_ambiguity_m", "coherence_model"}));
  std::map<std::string, int> count;
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    const nlohmann::json& p = pairs[k];
    const auto& r = records[k + 1];
    EXPECT_EQ(r[0], p.at("first"));
    EXPECT_EQ(r[1], p.at("second"));
    EXPECT_EQ(r[2], p.at("first_date"));
    EXPECT_EQ(r[3], p.at("second_date"));
    EXPECT_EQ(r[4], std::to_string(p.at("days").get<long>()));
    EXPECT_EQ(number(r[5]), p.at("perpendicular_m").get<double>());
    EXPECT_LE(std::fabs(p.at("perpendicular_m").get<double>()), 200.0005);
    EXPECT_LE(p.at("first_date").get<std::string>(), p.at("second_date").get<std::string>());
    if (k > 0) {
      EXPECT_LE(pairs[k - 1].at("first_date").get<std::string>(), p.at("first_date").get<std::string>());
    }
    ++count[p.at("first")];
    ++count[p.at("second")];
    // The table holds the same pair on a line of its own.
    const std::string first_name = p.at("first"), second_name = p.at("second");
    bool listed = false;
    for (const std::string& line : stack_test::lines_of(table.out)) {
      const auto w = stack_test::words_of(line);
      if (w.size() == 7 && w[0] == first_name && w[1] == second_name) {
        listed = true;
        EXPECT_NEAR(number(w[5]), p.at("perpendicular_m").get<double>(), 0.0005);
      }
    }
    EXPECT_TRUE(listed) << first_name << " " << second_name;
  }
  for (const auto& [name, n] : count) EXPECT_LE(n, 2) << name;
  EXPECT_GT(count.size(), 4u);
}

TEST(StackPlot, NeedsDatesAndAWritableFile) {
  TempDir dir;
  const std::string undated = dir.write("undated.txt", "no date\n-3992.0 4156.1 4095.5 -1.72 4.29 -6.03\n");
  const std::string reference = stack_dir + "/reference.txt";
  const std::string dated = stack_dir + "/20080730.txt";
  struct Case {
    std::vector<std::string> args;
    const char* words;
  };
  const std::string svg = dir.file("plot.svg");
  for (const Case& c : {Case{{"--plot", svg, reference, dated, undated}, "--plot needs the date"},
                        Case{{"--pairs", "--max-days", "100", reference, undated}, "--max-days needs"},
                        Case{{"--pairs", "--max-neighbours", "1", undated, dated}, "--max-neighbours needs"}}) {
    const RunResult r = run_stack(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("undated.txt"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(svg));
  }
  // The perpendicular limit alone needs no dates.
  const RunResult perp = run_stack({"--pairs", "--max-perp", "100", reference, undated});
  EXPECT_EQ(perp.status, 0) << perp.err;

  const RunResult unwritable = run_stack({"--plot", dir.file("no/such/dir/plot.svg"), reference, dated});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("can't write the plot"), std::string::npos) << unwritable.err;
  EXPECT_EQ(unwritable.out, "");  // refused before any result is printed

  // Limits without --pairs, a zero neighbour count, a negative limit: misuse.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--max-perp", "100", reference, dated},
        {"--pairs", "--max-neighbours", "0", reference, dated},
        {"--pairs", "--max-days", "-5", reference, dated},
        {"--pairs", "--max-perp", "nan", reference, dated},
        {"--pairs", "--max-perp", "inf", reference, dated},
        {"--pairs", "--max-perp", "-1", reference, dated},
        {"--plot", "", reference, dated},
        {"--plot=", reference, dated, stack_dir + "/20080914.orbit"},
        {"--plot", dir.file("plot.png"), reference, dated}}) {
    const RunResult r = run_stack(args);
    EXPECT_EQ(r.status, 1) << args[0] << " " << args[1];
    EXPECT_EQ(r.out, "");
  }
}

// A plot file that is one of the inputs would be overwritten: refused, the
// input left as it was, nothing printed.
TEST(StackPlot, NeverOverwritesAnInput) {
  TempDir dir;
  const std::string example = read_file(stack_dir + "/20080730.txt");
  const std::string victim = dir.write("victim.svg", example);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--plot", victim, victim, stack_dir + "/20071028.txt"},
        {"--plot", victim, stack_dir + "/reference.txt", victim}}) {
    const RunResult r = run_stack(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("is one of the input files"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(victim), example);
  }
}

// Names that XML must escape or cannot hold still give a well-formed file.
TEST(StackPlot, AwkwardNamesStayWellFormed) {
  TempDir dir;
  const std::string text = read_file(stack_dir + "/20080730.txt");
  const std::string awkward = dir.write("a&b<c>\"d\x01\xff.txt", text);
  const std::string svg = dir.file("plot.svg");
  const RunResult r = run_stack({"--pairs", "--plot", svg, stack_dir + "/reference.txt", awkward});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(run("/usr/bin/xmllint", {"--noout", svg}).status, 0);
  EXPECT_EQ(plotted_points(read_file(svg)).size(), 2u);
}

}  // namespace
