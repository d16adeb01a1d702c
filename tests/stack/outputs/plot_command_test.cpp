// bperp-stack --pairs, --plot and --html end to end: the pair lists in the
// three formats; the plot as SVG (parsed by xmllint, rendered by
// rsvg-convert), PDF (read by pdfinfo and pdftotext) and PNG.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bperp/stack/support/iso_date.h"
#include "stack_test_support.h"

namespace {

using stack_test::read_csv;
using stack_test::read_file;
using stack_test::RunResult;
using stack_test::run;
using stack_test::run_stack;
using stack_test::TempDir;
using bperp::stack::CivilDate;
using bperp::stack::civil_from_days;
using bperp::stack::days_from_civil;
using bperp::stack::iso_date_text;

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

// The arguments the README gives for the committed plot, without --plot.
std::vector<std::string> example_arguments() {
  std::vector<std::string> args = {"--pairs", "--max-perp", "200", "--max-days", "200", stack_dir + "/reference.txt"};
  for (const std::string& f : example_files()) args.push_back(f);
  return args;
}

// The README's command for the committed plot, drawn to path.
std::vector<std::string> plot_arguments(const std::string& path) {
  std::vector<std::string> args = {"--plot", path};
  for (const std::string& a : example_arguments()) args.push_back(a);
  return args;
}

double number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// A tool's output for args (status 0 expected).
std::string tool_output(const std::string& exe, const std::vector<std::string>& args) {
  const RunResult r = run(exe, args);
  EXPECT_EQ(r.status, 0) << exe << ": " << r.err;
  return r.out;
}

// The value of a "Key: value" line of pdfinfo's, blanks trimmed.
std::string info_value(const std::string& info, const std::string& key) {
  for (const std::string& line : stack_test::lines_of(info))
    if (line.rfind(key, 0) == 0) {
      const std::size_t start = line.find_first_not_of(' ', key.size());
      return start == std::string::npos ? std::string() : line.substr(start);
    }
  return {};
}

// The width and height a PNG's header states.
std::pair<unsigned, unsigned> png_size(const std::string& png) {
  const auto word = [&](std::size_t at) {
    unsigned v = 0;
    for (std::size_t k = 0; k < 4; ++k) v = v * 256 + static_cast<unsigned char>(png.at(at + k));
    return v;
  };
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  return {word(16), word(20)};
}

// The example's plot in the three formats from one drawing: the SVG parses
// and renders, the PDF has one page of the size asked for and its text the
// dates (never the secondaries' file names) and the convention; the PNG the
// pixels asked for; the same input gives the same bytes.
TEST(StackPlot, SvgPdfAndPngOfTheSizeAskedFor) {
  TempDir dir;
  std::vector<std::string> json_args = plot_arguments(dir.file("plot.svg"));
  json_args.insert(json_args.begin(), {"--format", "json", "--convention", "gamma"});
  const RunResult json = run_stack(json_args);
  ASSERT_EQ(json.status, 0) << json.err;
  const nlohmann::json doc = nlohmann::json::parse(json.out);
  const std::string svg = dir.file("plot.svg");
  EXPECT_EQ(run("/usr/bin/xmllint", {"--noout", svg}).status, 0);
  const RunResult rendered = run("/usr/bin/rsvg-convert", {"-o", dir.file("svg.png"), svg});
  EXPECT_EQ(rendered.status, 0) << rendered.err;

  struct Case {
    const char* size;
    const char* page_size;
    std::pair<unsigned, unsigned> pixels;
  };
  for (const Case& c : {Case{nullptr, "249.449 x 187.087 pts", {1039, 780}},
                        Case{"1200x800px", "900 x 600 pts", {1200, 800}}}) {
    std::vector<std::string> args = {"--convention", "gamma", "--plot", dir.file("plot.pdf")};
    if (c.size) args.insert(args.end(), {"--plot-size", c.size});
    for (const std::string& a : example_arguments()) args.push_back(a);
    ASSERT_EQ(run_stack(args).status, 0);
    const std::string info = tool_output("/usr/bin/pdfinfo", {dir.file("plot.pdf")});
    EXPECT_EQ(info_value(info, "Pages:"), "1") << info;
    EXPECT_EQ(info_value(info, "Page size:"), c.page_size) << info;
    const std::string text = tool_output("/usr/bin/pdftotext", {dir.file("plot.pdf"), "-"});
    EXPECT_NE(text.find("GAMMA's sign"), std::string::npos) << text;
    EXPECT_NE(text.find("reference reference.txt, 2008-06-14"), std::string::npos) << text;
    for (const nlohmann::json& s : doc.at("secondaries")) {
      const std::string date = s.at("date");
      EXPECT_NE(text.find(date), std::string::npos) << date;
      const std::string stem = std::filesystem::path(s.at("name").get<std::string>()).stem().string();
      EXPECT_EQ(text.find(stem), std::string::npos) << stem;
    }
    // The same bytes again.
    const std::string first = read_file(dir.file("plot.pdf"));
    ASSERT_EQ(run_stack(args).status, 0);
    EXPECT_EQ(read_file(dir.file("plot.pdf")), first);

    std::replace(args.begin(), args.end(), dir.file("plot.pdf"), dir.file("plot.png"));
    ASSERT_EQ(run_stack(args).status, 0);
    EXPECT_EQ(png_size(read_file(dir.file("plot.png"))), c.pixels);
  }
}

// The pictures in docs/ are what the documented command makes today.
TEST(StackPlot, TheCommittedPicturesAreCurrent) {
  TempDir dir;
  for (const char* name : {"baseline-time.svg", "baseline-time.png"}) {
    ASSERT_EQ(run_stack(plot_arguments(dir.file(name))).status, 0);
    EXPECT_TRUE(read_file(dir.file(name)) == read_file(source_dir + "/docs/" + name))
        << "regenerate docs/" << name << " with the command in the README";
  }
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
        {"--plot", dir.file("plot.txt"), reference, dated},
        {"--plot-size", "88x66mm", reference, dated},
        {"--plot", dir.file("plot.pdf"), "--plot-size", "88x66", reference, dated},
        {"--plot", dir.file("plot.pdf"), "--plot-size", "5x5mm", reference, dated},
        {"--html-paths", reference, dated},
        {"--html", dir.file("page.txt"), reference, dated}}) {
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

// The page's data: the JSON between its script element's tags.
nlohmann::json page_data(const std::string& html) {
  const std::string open = "<script type=\"application/json\" id=\"stack-data\">";
  const std::size_t from = html.find(open) + open.size();
  return nlohmann::json::parse(html.substr(from, html.find("</script>", from) - from));
}

// 640 acquisitions, 6 days apart: 204,480 pairs of 641 points, more
// candidates than a page takes without limits (a warning, the network
// alone), all of them within 600 days (about 100 an acquisition), each
// marked whether the network chose it.
TEST(StackPage, CandidatesUpToTheLimitThenTheNetworkAlone) {
  TempDir dir;
  const std::string text = read_file(stack_dir + "/20080730.txt");
  const std::string body = text.substr(text.find('\n') + 1);
  std::vector<std::string> args = {"--format", "json", "--pairs", "--max-neighbours", "2",
                                   "--html", dir.file("page.html"), stack_dir + "/reference.txt"};
  for (long k = 0; k < 640; ++k) {
    const std::string date = iso_date_text(civil_from_days(days_from_civil(CivilDate{2000, 1, 1}) + 6 * k));
    args.push_back(dir.write(date + ".txt", date + " pass\n" + body));
  }
  for (const bool limited : {false, true}) {
    if (limited) args.insert(args.begin() + 2, {"--max-days", "600"});
    const RunResult r = run_stack(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(r.out);
    const nlohmann::json data = page_data(read_file(dir.file("page.html")));
    const bool warned = r.err.find("the page embeds at most 200000 candidate pairs, not 205120") != std::string::npos;
    EXPECT_EQ(warned, !limited) << r.err;
    EXPECT_EQ(data.at("candidates"), limited);
    std::size_t chosen = 0;
    for (const nlohmann::json& row : data.at("pairs")) chosen += row.at(2).get<int>();
    EXPECT_EQ(chosen, doc.at("pairs").size());
    if (!limited) {
      EXPECT_EQ(data.at("pairs").size(), doc.at("pairs").size());
      continue;
    }
    // Every pair within 600 days: 100 partners after each of the first 540
    // acquisitions, 99 down to 0 after the last 100 (58,950), and the
    // reference (2008-06-14, day 3087, off the grid) with the 200 from day
    // 2490 to 3684.
    std::size_t within = 0;
    for (const nlohmann::json& row : data.at("pairs")) within += row.at(3).get<long>() <= 600;
    EXPECT_EQ(within, data.at("pairs").size());
    EXPECT_EQ(data.at("pairs").size(), 58950u + 200u);
    EXPECT_EQ(data.at("limits").at("max_days"), 600);
  }
}

// Names that XML must escape or cannot hold still give a well-formed SVG,
// and a path that holds "</script>" stays inside the page's data, read
// back whole.
TEST(StackPlot, AwkwardNamesStayInsideTheirFiles) {
  TempDir dir;
  const std::string text = read_file(stack_dir + "/20080730.txt");
  const std::string awkward = dir.write("a&b<c>\"d\x01\xff.txt", text);
  std::filesystem::create_directories(dir.file("x</script>"));
  const std::string scripted = dir.write("x</script>/f.txt", read_file(stack_dir + "/20071028.txt"));
  const std::string svg = dir.file("plot.svg"), page = dir.file("page.html");
  const RunResult r = run_stack(
      {"--pairs", "--plot", svg, "--html", page, "--html-paths", stack_dir + "/reference.txt", awkward, scripted});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(run("/usr/bin/xmllint", {"--noout", svg}).status, 0);
  const std::string html = read_file(page);
  EXPECT_EQ(html.find("</script>/f.txt"), std::string::npos);
  const nlohmann::json data = page_data(html);
  std::vector<std::string> names;
  for (const nlohmann::json& a : data.at("acquisitions")) names.push_back(a.at("name"));
  EXPECT_NE(std::find(names.begin(), names.end(), scripted), names.end());
  EXPECT_EQ(data.at("pairs").size(), 3u);
}

}  // namespace
