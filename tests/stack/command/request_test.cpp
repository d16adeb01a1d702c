// The command line as one request: every option the table declares works
// in a run, every bad value and clash is refused before any file is read,
// and the request holds what the command line says, in its units.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bperp/stack/command/option_table.h"
#include "bperp/stack/command/request.h"
#include "bperp/stack/support/utc_time.h"
#include "stack_test_support.h"

namespace {

using namespace bperp::stack;
using stack_test::RunResult;
using stack_test::run_stack;
using stack_test::TempDir;

const std::string source = BPERP_SOURCE_DIR;
const std::string examples = source + "/examples/stack/";
const std::vector<std::string> example_stack = {examples + "reference.txt", examples + "20070612.txt",
                                                examples + "20080429.orbit", examples + "20090502.txt"};
const std::string s1 = source + "/tests/data/s1-track108-annotation/";
const std::vector<std::string> s1_pair = {s1 + "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml",
                                          s1 + "s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml"};
const std::string orbits = source + "/tests/data/s1-track108-orbit-layout/";
const std::string first_orbit =
    orbits + "S1A_OPER_AUX_POEORB_OPOD_20250426T022143_V20250406T021903_20250406T022143.EOF";
const std::string second_orbit =
    orbits + "S1A_OPER_AUX_POEORB_OPOD_20250508T022143_V20250418T021903_20250418T022143.EOF";

// Each option the table declares, given a valid value in a run on the
// example stack (or the Sentinel-1 pair, for what needs a product
// reference), with what it needs: accepted, the run complete.
TEST(OptionTable, EveryOptionWorksInARun) {
  TempDir dir;
  struct Use {
    std::vector<std::string> value;  // after the name (none for a flag), then any more arguments
    bool product = false;
  };
  const std::map<std::string, Use> uses = {
      {"--format", {{"json"}}}, {"--convention", {{"isce"}}}, {"--quiet", {}}, {"--pairs", {}}, {"--max-perp", {{"150"}}}, {"--max-days", {{"400"}}},
      {"--max-neighbours", {{"2"}}}, {"--sequential", {{"1"}}}, {"--annual", {}}, {"--mst", {}},
      {"--require-connected", {{"--mst"}}}, {"--min-coherence", {{"0.1"}, true}},
      {"--range-bandwidth", {{"28e6"}}}, {"--azimuth-bandwidth", {{"1500"}}}, {"--sensor", {{"alos"}}},
      {"--coherence-tau", {{"100"}}}, {"--coherence-floor", {{"0.1"}}}, {"--snr", {{"15"}}},
      {"--export", {{"baselines:" + dir.file("baselines.txt")}}}, {"--plot", {{dir.file("plot.svg")}}},
      {"--plot-size", {{"1200x800px"}}}, {"--html", {{dir.file("page.html")}}}, {"--html-paths", {}},
      {"--as-given", {}}, {"--max-length", {{"2000"}}}, {"--swath", {{"IW2"}, true}},
      {"--hdf5-orbit", {{"/metadata/orbit"}}}, {"--frequency", {{"a"}}}, {"--polarisation", {{"vv"}, true}},
      {"--burst", {{"t108_230136_iw2"}, true}}, {"--require-orbit-files", {{"--orbit-dir", orbits}, true}},
      {"--at-time", {{"2025-04-06T02:20:20"}, true}},
      {"--at-range", {{"880000"}, true}}, {"--at-point", {{"52.1,-128,30"}, true}}, {"--height", {{"120"}, true}},
      {"--grid", {{"2x2"}, true}}, {"--look", {{"right"}, true}}, {"--wavelength", {{"0.055"}}},
      {"--orbit", {{first_orbit, "--orbit", second_orbit}, true}}, {"--orbit-dir", {{orbits}, true}},
      {"--list", {{dir.write("list.txt", examples + "20080730.txt\n")}}}, {"--reference", {{"auto:distance"}}},
      {"--start", {{"2007-01-01"}}}, {"--end", {{"20100101"}}}, {"--exclude", {{"2007-06-12"}}},
      {"--months", {{"11-10"}}}, {"--star", {}}, {"--delaunay", {}},
      {"--pairs-from", {{dir.write("ifgs.txt", "20070612_20090502\n")}}}, {"--distance-scale", {{"50,50"}}}};
  for (const OptionDeclaration& o : option_table()) {
    const auto use = uses.find(o.name);
    ASSERT_NE(use, uses.end()) << o.name << ": no valid value to try";
    std::vector<std::string> args;
    if (!o.needs.empty()) {
      args.push_back(o.needs);  // with its own value, if it takes one
      const std::vector<std::string>& needed = uses.at(o.needs).value;
      args.insert(args.end(), needed.begin(), needed.end());
    }
    args.push_back(o.name);
    args.insert(args.end(), use->second.value.begin(), use->second.value.end());
    const std::vector<std::string>& files = use->second.product ? s1_pair : example_stack;
    args.insert(args.end(), files.begin(), files.end());
    const RunResult r = run_stack(args);
    EXPECT_EQ(r.status, 0) << o.name << "\n" << r.err;
    EXPECT_NE(r.out, "") << o.name;
  }
}

// The manual page's option section is the table's as it is now
// (scripts/update-manual.sh writes it): every option, each with its value
// and its help.
TEST(OptionTable, TheManualPageHoldsTheTablesOptions) {
  const std::string page = stack_test::read_file(source + "/docs/bperp-stack.1");
  EXPECT_EQ(manual_with_options(page), page) << "run scripts/update-manual.sh BUILD_DIR";
  const std::string options = manual_options();
  for (const OptionDeclaration& o : option_table()) {
    std::string roff_name;
    for (const char c : o.name) roff_name += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(page.find("\\fB" + roff_name + "\\fR"), std::string::npos) << o.name;
  }
  EXPECT_NE(options.find("Also spelt \\-\\-max\\-neighbors."), std::string::npos);
  EXPECT_NE(options.find("Needs \\-\\-pairs."), std::string::npos);
}

// A bad value or a clash ends the run with the option's message, before
// the reference (which can't be opened) or the --list file is read.
TEST(OptionTable, MisuseIsRefusedBeforeAnyFileIsRead) {
  TempDir dir;
  const std::vector<std::string> unreadable = {dir.file("missing.txt"), dir.file("missing-too.txt")};
  struct Case {
    std::vector<std::string> args;
    std::string message;  // the start of the message after "bperp-stack: "
  };
  std::vector<Case> cases = {
      {{"--pairs", "--max-perp", "-1"}, "--max-perp must be a decimal number of metres >= 0, not -1"},
      {{"--pairs", "--max-days", "2.5"}, "--max-days must be a whole number of days >= 0, not 2.5 (a fraction)"},
      {{"--pairs", "--sequential", "0"}, "--sequential must be a whole number >= 1, not 0"},
      {{"--pairs", "--min-coherence", "1.5"}, "--min-coherence must be a decimal number from 0 to 1, not 1.5"},
      {{"--snr", "0x10"}, "--snr must be a decimal number of dB, not 0x10"},
      {{"--sensor", "radarsat"}, "--sensor must be one of "},
      {{"--at-time", "2025-02-30T00:00:00"}, "--at-time: "},
      {{"--at-point", "91,0"}, "--at-point must be LAT,LON[,HEIGHT]"},
      {{"--grid", "3x0"}, "--grid must be LINESxRANGES"},
      {{"--export", "pair:x.csv"}, "--export must be KIND:PATH"},
      {{"--format", "xml"}, "--format: xml not in {table,csv,json}"},
      {{"--plot", dir.file("plot.txt")}, "--plot: the plot file's name must end in .svg, .pdf or .png"},
      {{"--plot", dir.file("plot.pdf"), "--plot-size", "88x66"}, "--plot-size must be WxHmm"},
      {{"--html", dir.file("page.svg")}, "--html: the page's name must end in .html or .htm"},
      {{"--polarization", "VX"}, "--polarisation: a polarisation is VV, HH, VH or HV, not 'VX'"},
      {{"--burst", "t108_230136"}, "--burst: a burst ID is t, the track's three digits"},
      {{"--max-perp", "100"}, "--max-perp requires --pairs"},
      // Clashes of options each well formed.
      {{"--at-point", "52,-128", "--height", "3"}, "--at-point gives the target itself"},
      {{"--coherence-floor", "0.995"}, "the coherence floor 0.995 (--coherence-floor) is above 0.993730"},
      {{"--export", "dates:" + dir.file("dates.txt")}, "--export dates needs --pairs"},
      {{"--burst", "t108_230136_iw2", "--grid", "2x2"}, "--burst places the target at that burst's middle"},
      {{"--burst", "T108_230136_IW2", "--swath", "iw1"}, "--burst t108_230136_iw2 is of swath IW2, --swath asks for iw1"},
      // The list is read last.
      {{"--list", dir.file("missing-list.txt"), "--grid", "3"}, "--grid must be LINESxRANGES"},
  };
  // Every option that takes a value, given none (refused as no value, or
  // as no choice, no .svg name), with what it needs (and its value).
  const std::map<std::string, std::string> needed_values = {{"--plot", dir.file("p.svg")},
                                                            {"--html", dir.file("p.html")}};
  for (const OptionDeclaration& o : option_table())
    if (o.type != ValueType::flag) {
      cases.push_back({{o.name, ""}, o.name});
      if (o.needs.empty()) continue;
      cases.back().args.push_back(o.needs);
      if (needed_values.count(o.needs)) cases.back().args.push_back(needed_values.at(o.needs));
    }
  for (Case& c : cases) {
    c.args.insert(c.args.end(), unreadable.begin(), unreadable.end());
    const RunResult r = run_stack(c.args);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("bperp-stack: " + c.message, 0), 0u) << c.message << "\n" << r.err;
    EXPECT_EQ(r.err.find("can't open"), std::string::npos) << r.err;
  }
  // Outputs are checked against every input, once the list is read: with
  // the list readable, the reference is still not.
  const std::string listed = dir.write("listed.svg", "");
  const std::string list = dir.write("list.txt", listed + "\n");
  const RunResult over = run_stack({"--plot", listed, "--list", list, dir.file("missing.txt")});
  EXPECT_NE(over.err.find("is one of the input files"), std::string::npos) << over.err;
  EXPECT_EQ(over.err.find("can't open"), std::string::npos) << over.err;
  const RunResult same = run_stack({"--plot", dir.file("p.svg"), "--export", "baselines:" + dir.file("p.svg"), "--list",
                                    list, dir.file("missing.txt")});
  EXPECT_NE(same.err.find("are one path"), std::string::npos) << same.err;
  EXPECT_EQ(same.err.find("can't open"), std::string::npos) << same.err;
}

// build_request in this process: the request, or the status and what it
// printed on standard error; in is what --list - reads.
struct Built {
  std::optional<StackRequest> request;
  int status = 0;
  std::string err;
};
Built build(std::vector<std::string> args, const std::string& in = "") {
  args.insert(args.begin(), "bperp-stack");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::FILE* input = std::tmpfile();
  std::fputs(in.c_str(), input);
  std::rewind(input);
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* err = open_memstream(&text, &size);
  std::FILE* out = std::fopen("/dev/null", "w");
  RequestOutcome outcome = build_request(static_cast<int>(argv.size()), argv.data(), input, out, err);
  std::fclose(out);
  std::fclose(err);
  std::fclose(input);
  Built built{std::move(outcome.request), outcome.status, std::string(text, size)};
  std::free(text);
  return built;
}

// What the command line says, in the request's units (km, rad), the
// secondaries of --list after the positional ones; the files named are
// never read.
TEST(StackRequest, HoldsWhatTheCommandLineSays) {
  TempDir dir;
  const std::string folder = dir.file("stack");
  const Built b = build({"--format", "csv", "--pairs", "--max-perp", "150", "--max-days", "2e1", "--sequential", "3",
                         "--annual", "--require-connected", "--max-length", "200", "--height", "-12.5", "--sensor",
                         "alos", "--coherence-tau", "100", "--coherence-floor", "0.1", "--snr", "15", "--export",
                         "stack-folder:" + folder, "--export", "dates:" + dir.file("d.txt"), "--orbit", "b.EOF",
                         "--orbit", "a.EOF", "--list", "-", "--at-time", "2025-04-06T02:20:12.5", "--at-range",
                         "880000", "--grid", "3X4", "ref.xml", "first.xml"},
                        "second.xml\r\n\nthird.xml");
  ASSERT_TRUE(b.request) << b.err;
  const StackRequest& r = *b.request;
  EXPECT_EQ(r.format, OutputFormat::csv);
  EXPECT_EQ(r.reference, "ref.xml");
  EXPECT_EQ(r.secondaries, (std::vector<std::string>{"first.xml", "second.xml", "third.xml"}));
  EXPECT_TRUE(r.pairs && r.limits.annual && r.require_connected && !r.limits.mst && !r.stack.as_given);
  EXPECT_EQ(r.limits.max_perpendicular, 150.0);
  EXPECT_EQ(r.limits.max_days, 20);
  EXPECT_EQ(r.limits.sequential, 3);
  EXPECT_FALSE(r.limits.max_neighbours);
  EXPECT_DOUBLE_EQ(r.stack.max_length, 0.2);
  EXPECT_DOUBLE_EQ(*r.stack.target.height, -0.0125);
  EXPECT_DOUBLE_EQ(*r.stack.target.at_range, 880.0);
  EXPECT_EQ(utc_text(*r.stack.target.at_time), "2025-04-06T02:20:12.500000000Z");
  ASSERT_TRUE(r.stack.grid);
  EXPECT_EQ(r.stack.grid->lines, 3);
  EXPECT_EQ(r.stack.grid->ranges, 4);
  // ALOS: 1.27 GHz, 28 MHz; the wavelength c / f in km.
  ASSERT_TRUE(r.bandwidth.sensor);
  EXPECT_DOUBLE_EQ(r.bandwidth.sensor->range_bandwidth_hz, 28e6);
  EXPECT_NEAR(*r.stack.target.sensor_wavelength, 0.236057e-3, 1e-9);
  EXPECT_EQ(r.coherence.tau_days, 100.0);
  EXPECT_EQ(r.coherence.gamma_inf, 0.1);
  EXPECT_EQ(r.coherence.snr_db, 15.0);
  ASSERT_EQ(r.exports.size(), 2u);
  EXPECT_EQ(r.exports[0].kind, ExportKind::stack_folder);
  EXPECT_EQ(r.exports[0].path, folder);
  EXPECT_EQ(r.exports[1].kind, ExportKind::dates);
  EXPECT_EQ(r.orbit_files, (std::vector<std::string>{"b.EOF", "a.EOF"}));

  // A point: degrees to radians, metres to km; none given, no height.
  const double deg = M_PI / 180.0;
  for (const auto& [text, height] : {std::pair{"52.1,-128,30", 0.03}, std::pair{"-33.5,151", 0.0}}) {
    const Built p = build({"--at-point", text, "ref.xml", "sec.xml"});
    ASSERT_TRUE(p.request) << p.err;
    const Geodetic& g = *p.request->stack.target.at_point;
    EXPECT_NEAR(g.latitude, (text[0] == '-' ? -33.5 : 52.1) * deg, 1e-15) << text;
    EXPECT_NEAR(g.longitude, (text[0] == '-' ? 151.0 : -128.0) * deg, 1e-15) << text;
    EXPECT_DOUBLE_EQ(g.height, height) << text;
  }
  // The defaults where nothing is given.
  const Built plain = build({"ref.txt", "sec.txt"});
  ASSERT_TRUE(plain.request);
  EXPECT_EQ(plain.request->format, OutputFormat::table);
  EXPECT_FALSE(plain.request->pairs);
  EXPECT_EQ(plain.request->stack.max_length, default_max_length);
  EXPECT_TRUE(plain.request->exports.empty() && plain.request->plot.empty());
  // --version is no request, and no failure.
  const Built version = build({"--version"});
  EXPECT_FALSE(version.request);
  EXPECT_EQ(version.status, 0);
}

// A line of names alone is read without the parser, and gives what the
// parser gives for the same names after "--": the reference first, the
// secondaries in order, empty names kept. No names at all is the parser's
// to refuse.
TEST(StackRequest, NamesAloneReadAsTheParserReadsThem) {
  for (const std::vector<std::string>& names :
       {std::vector<std::string>{"ref.txt"}, {"ref.txt", "b", "a", "b"}, {"r e f", "", "x=y", "@list"}}) {
    const Built alone = build(names);
    std::vector<std::string> dashed{"--"};
    dashed.insert(dashed.end(), names.begin(), names.end());
    const Built parsed = build(dashed);
    ASSERT_TRUE(alone.request && parsed.request) << alone.err << parsed.err;
    EXPECT_EQ(alone.request->reference, names.front());
    EXPECT_EQ(alone.request->reference, parsed.request->reference);
    EXPECT_EQ(alone.request->secondaries, parsed.request->secondaries);
    EXPECT_EQ(alone.request->format, parsed.request->format);
  }
  const Built none = build({});
  EXPECT_FALSE(none.request);
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("REFERENCE is required"), std::string::npos) << none.err;
}

// A --list line is as long as a path can be at most: one of 4096 bytes (and
// its CR) is read, one byte more is refused naming its line, and a line of
// 100 MB is refused after its first 4 KB, the rest never read.
TEST(List, LinesAreBoundedAsPathsAre) {
  struct Case {
    std::string text;
    const char* problem;  // "" for read
  };
  const std::string longest(max_list_line_bytes, 'a');
  const Case cases[] = {
      {"a\n" + longest + "\n", ""},
      {"a\n" + longest + "\r\n", ""},
      {longest, ""},
      {"a\n" + longest + "b\n", "line 2 is longer than 4096 bytes, which no path is"},
      {"a\n\n" + longest + "bc", "line 3 is longer than 4096 bytes"},
      {longest + "\r\r\n", "line 1 is longer than 4096 bytes"},
  };
  for (const Case& c : cases) {
    std::FILE* stream = ::fmemopen(const_cast<char*>(c.text.data()), c.text.size(), "rb");
    ASSERT_NE(stream, nullptr);
    std::vector<std::string> paths;
    std::string problem;
    const bool read = read_path_list(stream, paths, &problem);
    std::fclose(stream);
    EXPECT_EQ(read, std::string(c.problem).empty()) << problem;
    EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    if (read) {
      EXPECT_EQ(paths.back(), longest);
    }
  }
  std::FILE* endless = ::popen("head -c 100000000 /dev/zero | tr '\\0' a", "r");
  ASSERT_NE(endless, nullptr);
  std::vector<std::string> paths;
  std::string problem;
  EXPECT_FALSE(read_path_list(endless, paths, &problem));
  EXPECT_EQ(problem, "line 1 is longer than 4096 bytes, which no path is");
  ::pclose(endless);
}

}  // namespace
