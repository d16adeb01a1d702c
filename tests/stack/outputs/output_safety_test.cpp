// What bperp-stack says and writes when names, options or files are
// awkward: messages that name the problem as a person would, file names
// shown one escaped way in every output, CSV cells no spreadsheet runs, a
// plot file written whole or not at all, and secondaries from a list.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "bperp/stack/outputs/output_file.h"
#include "stack_test_support.h"

namespace {

using stack_test::lines_of;
using stack_test::read_csv;
using stack_test::RunResult;
using stack_test::run_stack;
using stack_test::TempDir;

const std::string stack_dir = std::string(BPERP_SOURCE_DIR) + "/examples/stack";
const std::string reference = stack_dir + "/reference.txt";
const std::string good = stack_dir + "/20080730.txt";
const std::string orbit = stack_dir + "/20080429.orbit";

bool has(const std::string& text, const std::string& words) {
  return text.find(words) != std::string::npos;
}

// Each message names the problem in the user's terms.
TEST(Messages, SayWhatIsWrongAsPeopleWriteIt) {
  TempDir dir;
  // Seven lines of six numbers: 42 numbers, which would make six rows of seven.
  std::string six_per_line = "2008-09-14 rows without times\n";
  for (int k = 0; k < 7; ++k) six_per_line += "-3992.2 4155.9 4095.4 -1.72 4.28 -6.02\n";
  // The example orbit with its third and fourth rows swapped (lines 4 and 5).
  std::vector<std::string> lines = lines_of(stack_test::read_file(orbit));
  std::swap(lines[3], lines[4]);
  std::string swapped;
  for (const std::string& l : lines) swapped += l + "\n";
  const std::string safe = dir.file("S1\x1b[31m.SAFE");
  std::filesystem::create_directory(safe);
  struct Case {
    std::vector<std::string> args;
    std::string words;
  };
  const std::vector<Case> cases = {
      {{reference, dir.write("six.orbit", six_per_line)},
       "the file has 6 numbers per line, an orbit row needs 7 (t X Y Z VX VY VZ)"},
      {{reference, dir.write("swapped.orbit", swapped)}, "line 5 does not come after line 4"},
      {{"--pairs", "--max-days", "-1", reference, good}, "--max-days must be a whole number of days >= 0, not -1"},
      {{"--pairs", "--max-days", "2.5", reference, good}, "not 2.5 (a fraction)"},
      {{"--pairs", "--max-days", "0x10", reference, good}, "not 0x10"},
      {{"--pairs", "--max-perp", "0x10", reference, good}, "--max-perp must be a decimal number of metres >= 0, not 0x10"},
      {{"--pairs", "--max-perp", "nan", reference, good}, "not nan"},
      {{"--pairs", "--max-neighbours", "0", reference, good}, "--max-neighbours must be a whole number >= 1, not 0"},
      {{"--max-length", "1e400", reference, good}, "not 1e400"},
      // An empty text is no value: not the default taken without a word.
      {{"--max-length", "", reference, good}, "--max-length needs a value, not an empty text"},
      {{reference, dir.file("missing.txt")}, "can't open " + dir.file("missing.txt") + ": No such file or directory"},
      {{reference, "-x.txt"}, "-x.txt is no option; use -- before names that begin with -"},
      // Read as -h and more short flags, it would print the help and succeed.
      {{reference, "-h.txt"}, "-h.txt is no option; use -- before names that begin with -"},
      // A name in a message is escaped once: one backslash shows as two.
      {{"--plot", "p\\q.txt", reference, good}, "not 'p\\\\q.txt'"},
      {{"--orbit-dir", dir.file("no\\dir"), reference, good}, "orbit folder " + dir.file("no\\\\dir") + ":"},
      // A folder read as a Sentinel-1 product: its name escaped, no raw ESC.
      {{safe, good}, dir.file("S1\\x1b[31m.SAFE") + "/annotation: cannot list it"},
  };
  for (const Case& c : cases) {
    const RunResult r = run_stack(c.args);
    EXPECT_EQ(r.status, 1) << c.words;
    EXPECT_TRUE(has(r.err, c.words)) << c.words << "\n" << r.err;
    EXPECT_LT(r.err.size(), 1000u) << r.err;  // no 309-digit bound
  }
  // With -- the dashed name is a file name.
  const std::string dashed = dir.write("-x.txt", stack_test::read_file(good));
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const RunResult r = run_stack({"--format", "csv", "--", reference, "-x.txt"});
  std::filesystem::current_path(here);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_csv(r.out).at(1).at(0), "'-x.txt");  // and defused in the CSV
}

// A name with a byte that is no UTF-8 and one with a terminal escape: the
// same escaped text in the table, CSV, JSON, SVG and on standard error, no
// raw byte anywhere; and so for the names of orbit files.
TEST(Names, EscapedTheSameWayInEveryOutput) {
  TempDir dir;
  const std::string stray = dir.file("a\xFF" "b.txt");
  const std::string escape = dir.file("c\x1B[31m" "d.orbit");
  const std::string missing = dir.file("e\xFE.txt");
  std::filesystem::copy_file(good, stray);
  std::filesystem::copy_file(orbit, escape);
  const std::string shown_stray = dir.file("a\\xffb.txt");
  const std::string shown_escape = dir.file("c\\x1b[31md.orbit");
  const std::string shown_missing = dir.file("e\\xfe.txt");
  const std::string svg = dir.file("plot.svg");
  const std::vector<std::string> names = {stray, escape, missing};

  const auto check_clean = [](const std::string& text, const char* where) {
    EXPECT_EQ(text.find('\xFF'), std::string::npos) << where;
    EXPECT_EQ(text.find('\xFE'), std::string::npos) << where;
    EXPECT_EQ(text.find('\x1B'), std::string::npos) << where;
  };
  const std::string page = dir.file("page.html");
  const RunResult table = run_stack({"--pairs", "--plot", svg, "--html", page, reference, stray, escape, missing});
  EXPECT_EQ(table.status, 1);  // the missing file
  for (const std::string& shown : {shown_stray, shown_escape, shown_missing})
    EXPECT_TRUE(has(table.out, shown)) << shown;
  EXPECT_TRUE(has(table.err, "can't open " + shown_missing)) << table.err;
  check_clean(table.out, "table");
  check_clean(table.err, "standard error");

  const RunResult csv = run_stack({"--format", "csv", reference, stray, escape, missing});
  const auto records = read_csv(csv.out);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[1][0], shown_stray);
  EXPECT_EQ(records[2][0], shown_escape);
  EXPECT_EQ(records[3][0], shown_missing);
  check_clean(csv.out, "csv");

  const RunResult json = run_stack({"--format", "json", "--pairs", reference, stray, escape, missing});
  const nlohmann::json doc = nlohmann::json::parse(json.out);
  EXPECT_EQ(doc.at("secondaries")[0].at("name"), shown_stray);
  EXPECT_EQ(doc.at("secondaries")[1].at("name"), shown_escape);
  EXPECT_EQ(doc.at("secondaries")[2].at("name"), shown_missing);
  EXPECT_EQ(doc.at("pairs").size(), 3u);
  check_clean(json.out, "json");

  const std::string html = stack_test::read_file(page);
  check_clean(html, "page");
  EXPECT_TRUE(has(html, "\"a\\\\xffb.txt\"")) << "the file name of " << shown_stray;
  const RunResult lint = stack_test::run("/usr/bin/xmllint", {"--noout", svg});
  EXPECT_EQ(lint.status, 0) << lint.err;

  // An orbit file's name (from --orbit-dir) in the orbit line and column.
  const std::string data = std::string(BPERP_SOURCE_DIR) + "/tests/data/";
  const std::string s1 = data + "s1-track108-annotation/s1a-iw2-slc-vv-";
  const std::string layout = data + "s1-track108-orbit-layout/S1A_OPER_AUX_POEORB_OPOD_";
  const std::string orbits = dir.file("orbits");
  std::filesystem::create_directory(orbits);
  std::filesystem::copy_file(layout + "20250426T022143_V20250406T021903_20250406T022143.EOF",
                             orbits + "/ref\x1B[31m.EOF");
  std::filesystem::copy_file(layout + "20250508T022143_V20250418T021903_20250418T022143.EOF",
                             orbits + "/sec\x1B[31m.EOF");
  const std::vector<std::string> pair = {"--orbit-dir", orbits, s1 + "20250406t022010-20250406t022035-058630-07421f-005.xml",
                                         s1 + "20250418t022010-20250418t022035-058805-074946-005.xml"};
  std::vector<std::string> args = pair;
  const RunResult orbit_table = run_stack(args);
  EXPECT_EQ(orbit_table.status, 0) << orbit_table.err;
  EXPECT_TRUE(has(orbit_table.out, "orbit             ref\\x1b[31m.EOF\n")) << orbit_table.out;
  EXPECT_TRUE(has(orbit_table.out, "  sec\\x1b[31m.EOF")) << orbit_table.out;
  check_clean(orbit_table.out, "table with orbit files");
  args.insert(args.begin(), {"--format", "json"});
  const RunResult orbit_json = run_stack(args);
  check_clean(orbit_json.out, "json with orbit files");
  const nlohmann::json files = nlohmann::json::parse(orbit_json.out);
  EXPECT_EQ(files.at("reference").at("orbit_source"), "ref\\x1b[31m.EOF");
  EXPECT_EQ(files.at("secondaries")[0].at("orbit_source"), "sec\\x1b[31m.EOF");
}

// Every check of the plot file comes before anything is printed, and a
// refused or failed plot leaves no file behind.
TEST(PlotFile, RefusedBeforeAnythingIsPrintedAndLeavesNothing) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("existing.svg"));
  std::filesystem::create_symlink("/dev/null", dir.file("device.svg"));
  struct Case {
    std::string path;
    std::string words;
  };
  for (const Case& c : {Case{dir.file("existing.svg"), "is a directory"},
                        Case{dir.file("device.svg"), "is not a regular file"},
                        Case{dir.file("no/such/dir/plot.svg"), "No such file or directory"},
                        Case{dir.file("plot.txt"), "must end in .svg, .pdf or .png"},
                        // A file system that takes no new file: found by making the temporary file.
                        Case{"/proc/plot.svg", "can't write the plot file /proc/plot.svg"}}) {
    const std::size_t before = static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(dir.path()), {}));
    const RunResult r = run_stack({"--plot", c.path, reference, good});
    EXPECT_EQ(r.status, 1) << c.path;
    EXPECT_EQ(r.out, "") << c.path;
    EXPECT_TRUE(has(r.err, c.words)) << c.words << "\n" << r.err;
    EXPECT_EQ(static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.path()), {})),
              before)
        << c.path;
  }
  // A batch abandoned before its commit leaves nothing, the folders it made
  // neither; a committed one is there whole.
  {
    bperp::stack::OutputBatch batch;
    const auto folder = batch.add_folder(dir.file("made"), "made");
    ASSERT_TRUE(folder) << batch.problem();
    ASSERT_TRUE(batch.add_subfolder(*folder, "below", "below"));
    ASSERT_TRUE(batch.add_file(dir.file("abandoned.svg"), "abandoned", [](std::FILE* f, std::string*) { return std::fputs("<svg", f) >= 0; }));
    ASSERT_TRUE(batch.write()) << batch.problem();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("abandoned.svg")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("made")));
  bperp::stack::OutputBatch batch;
  ASSERT_TRUE(batch.add_file(dir.file("kept.svg"), "kept", [](std::FILE* f, std::string*) { return std::fputs("<svg/>\n", f) >= 0; }));
  ASSERT_TRUE(batch.write() && batch.commit()) << batch.problem();
  EXPECT_EQ(stack_test::read_file(dir.file("kept.svg")), "<svg/>\n");
  // A name of 250 bytes, which a file system takes but ".NAME.XXXXXX" would
  // not: the plot is still written, through a temporary name that fits.
  const std::string long_name = dir.file(std::string(246, 'p') + ".svg");
  const RunResult long_plot = run_stack({"--plot", long_name, reference, good});
  EXPECT_EQ(long_plot.status, 0) << long_plot.err;
  EXPECT_TRUE(std::filesystem::exists(long_name));
  std::filesystem::remove(long_name);
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();  // no temporary left
}

// --list: the secondaries' paths one per line, from a file or standard input.
TEST(List, ReadsPathsFromAFileAndFromStandardInput) {
  TempDir dir;
  const std::string list = dir.write("list.txt", good + "\r\n\n" + orbit + "\n");
  const RunResult from_file = run_stack({"--format", "csv", "--list", list, reference});
  EXPECT_EQ(from_file.status, 0) << from_file.err;
  const auto records = read_csv(from_file.out);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1][0], good);
  EXPECT_EQ(records[2][0], orbit);

  test_support::ProcessOptions options;
  options.input = orbit + "\n";
  const RunResult from_stdin =
      test_support::run_process(BPERP_STACK_EXE, {"--format", "csv", "--list", "-", reference, good}, options);
  EXPECT_EQ(from_stdin.status, 0) << from_stdin.err;
  const auto both = read_csv(from_stdin.out);
  ASSERT_EQ(both.size(), 3u);
  EXPECT_EQ(both[1][0], good);  // the positional ones first
  EXPECT_EQ(both[2][0], orbit);

  EXPECT_TRUE(has(run_stack({"--list", dir.file("none.txt"), reference}).err, "can't open the list"));
  EXPECT_TRUE(has(run_stack({"--list", dir.write("empty.txt", "\n"), reference}).err, "no secondaries"));
  EXPECT_TRUE(has(run_stack({"--list", dir.write("nul.txt", std::string("a\0b\n", 4)), reference}).err,
                  "NUL byte"));
  // A named pipe that nobody writes: an empty list at once, not an open
  // that waits for ever.
  const std::string fifo = dir.file("list.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  test_support::ProcessOptions quick;
  quick.timeout_seconds = 5.0;
  const RunResult unwritten = test_support::run_process(BPERP_STACK_EXE, {"--list", fifo, reference}, quick);
  EXPECT_TRUE(unwritten.exited) << "killed after 5 s";
  EXPECT_EQ(unwritten.status, 1);
  EXPECT_TRUE(has(unwritten.err, "no secondaries")) << unwritten.err;
}

// No output replaces a file the run reads, whichever way it was named: a
// positional file, the reference, the list and its entries, an --orbit
// file (also under another name: a hard link), a file of --orbit-dir, the
// annotation a .SAFE folder was read from, a stack folder's entry. Each is
// refused before anything is printed, and the file is left as it was.
TEST(Outputs, NoOutputReplacesAFileTheRunReads) {
  const TempDir dir;
  const std::string s1 = std::string(BPERP_SOURCE_DIR) + "/tests/data/s1-track108-annotation/";
  const std::string orbits = std::string(BPERP_SOURCE_DIR) + "/tests/data/s1-track108-orbit-layout/";
  const std::string reference_xml = dir.write(
      "ref.xml", stack_test::read_file(s1 + "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml"));
  const std::string secondary_name = "s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml";
  const std::string secondary_xml = dir.write("sec.xml", stack_test::read_file(s1 + secondary_name));
  std::filesystem::create_directories(dir.path() / "S1A_IW_SLC.SAFE" / "annotation");
  const std::string safe = dir.file("S1A_IW_SLC.SAFE");
  const std::string safe_annotation = dir.write("S1A_IW_SLC.SAFE/annotation/" + secondary_name,
                                                stack_test::read_file(secondary_xml));
  std::filesystem::create_directory(dir.path() / "orbits");
  std::vector<std::string> orbit_files;
  for (const auto& entry : std::filesystem::directory_iterator(orbits))
    orbit_files.push_back(dir.write("orbits/" + entry.path().filename().string(), stack_test::read_file(entry.path())));
  std::sort(orbit_files.begin(), orbit_files.end());
  const std::string orbit_link = dir.file("link.EOF");
  std::filesystem::create_hard_link(orbit_files[0], orbit_link);
  const std::string plot_link = dir.file("plot.svg");
  std::filesystem::create_hard_link(orbit_files[1], plot_link);
  const std::string list = dir.write("list.txt", secondary_xml + "\n");
  const std::string orbit_dir = dir.file("orbits");
  // A stack folder of this reference whose entry for the secondary is the
  // secondary's own file.
  const std::string entry = "20250406_20250418";
  std::filesystem::create_directories(dir.path() / "stack" / entry);
  dir.write("stack/bperp-stack.json", "{\"reference_file\": \"ref.xml\", \"reference_date\": \"2025-04-06\"}\n");
  const std::string entry_file = dir.file("stack/" + entry + "/" + entry + ".txt");
  std::filesystem::create_hard_link(secondary_xml, entry_file);

  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string target;
  };
  const std::vector<Case> cases = {
      {"a secondary", {"--export", "baselines:" + secondary_xml, reference_xml, secondary_xml}, secondary_xml},
      {"the reference", {"--export", "baselines:" + reference_xml, reference_xml, secondary_xml}, reference_xml},
      {"the list", {"--export", "baselines:" + list, "--list", list, reference_xml}, list},
      {"a list entry", {"--export", "baselines:" + secondary_xml, "--list", list, reference_xml}, secondary_xml},
      {"an --orbit file",
       {"--orbit", orbit_files[0], "--orbit", orbit_files[1], "--export", "baselines:" + orbit_files[0],
        reference_xml, secondary_xml},
       orbit_files[0]},
      {"an --orbit file by another name",
       {"--orbit", orbit_files[0], "--orbit", orbit_files[1], "--export", "pairs:" + orbit_link, "--pairs",
        reference_xml, secondary_xml},
       orbit_files[0]},
      {"a file of --orbit-dir",
       {"--orbit-dir", orbit_dir, "--export", "dates:" + orbit_files[1], "--pairs", reference_xml, secondary_xml},
       orbit_files[1]},
      {"the plot over a file of --orbit-dir (a hard link named .svg)",
       {"--orbit-dir", orbit_dir, "--plot", plot_link, reference_xml, secondary_xml}, orbit_files[1]},
      {"a .SAFE folder's annotation",
       {"--export", "baselines:" + safe_annotation, reference_xml, safe}, safe_annotation},
      {"a stack folder's entry", {"--export", "stack-folder:" + dir.file("stack"), reference_xml, secondary_xml},
       secondary_xml},
  };
  for (const Case& c : cases) {
    const std::string before = stack_test::read_file(c.target);
    const RunResult r = run_stack(c.args);
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_EQ(r.out, "") << c.what;
    EXPECT_TRUE(has(r.err, "is one of the input files")) << c.what << ": " << r.err;
    EXPECT_EQ(stack_test::read_file(c.target), before) << c.what;
  }
  // The same exports elsewhere are written.
  const RunResult fine = run_stack({"--orbit-dir", orbit_dir, "--export", "baselines:" + dir.file("out.txt"),
                                    reference_xml, safe});
  EXPECT_EQ(fine.status, 0) << fine.err;
  EXPECT_TRUE(std::filesystem::exists(dir.file("out.txt")));
}

}  // namespace
