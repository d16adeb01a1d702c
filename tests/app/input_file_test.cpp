// What a state-vector file may look like and still give the same result:
// any header line, the six numbers spread over lines in any way, CRLF line
// endings, and file names of any length.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "process.h"
#include "test_files.h"

namespace bperp_test {
namespace {

// The six numbers of the example master exactly as they are written there.
const char* const master_numbers[6] = {"4066.372472", "4163.441233", "4014.008003",
                                       "4.163992967", "1.803068918", "-6.088507505"};

// The printed result of the example pair, from the files as they stand.
const std::string& example_output() {
  static const std::string out = [] {
    const ProcessResult r = run_bperp({example_master_path(), example_slave_path()});
    return r.exited && r.status == 0 ? r.out : std::string("(the example pair failed)");
  }();
  return out;
}

std::string numbers_joined(const char* const (&n)[6], const char* sep, const char* end) {
  std::string s;
  for (int i = 0; i < 6; ++i) s += std::string(n[i]) + (i < 5 ? sep : end);
  return s;
}

// 199 characters of text, then numbers up to the 300th: a reader that took
// only the first 199 characters as the header would find six numbers there.
std::string header_of_300() {
  std::string h(199, 'x');
  while (h.size() < 300) h += " 1000";
  h.resize(300);
  return h;
}

TEST(InputFile, AHeaderOfAnyContentIsOnlyAHeader) {
  TempDir dir;
  const std::vector<std::pair<std::string, std::string>> headers = {
      {"empty", ""},
      {"a beam number", "7"},
      {"another beam number", "12"},
      {"text", "ALOS PALSAR FBS beam 7, ascending"},
      {"six numbers of another state vector", "7000 0 0 0 0 7.5"},
      {"199 characters", std::string(199, 'h')},
      {"200 characters", std::string(200, 'h')},
      // Numbers past the 199th character would be read as the state vector
      // if only 199 characters were taken as the header.
      {"300 characters, numbers after the 199th", header_of_300()},
      {"60000 characters", std::string(60000, '9')},
      {"tabs, blanks and a carriage return", "\t  header \t\r"},
      {"bytes beyond ASCII", "Gr\xc3\xbc\xc3\x9f" "e \xff\xfe"},
  };
  for (const auto& [what, header] : headers) {
    SCOPED_TRACE(what);
    const std::string m = dir.write("master.txt", header + "\n" + numbers_joined(master_numbers, " ", "\n"));
    const ProcessResult r = run_bperp({m, example_slave_path()});
    EXPECT_TRUE(r.exited && r.status == 0) << describe(r);
    EXPECT_EQ(r.out, example_output());
  }
}

TEST(InputFile, TheSixNumbersMaySpreadOverLinesInAnyWay) {
  TempDir dir;
  const std::vector<std::pair<std::string, std::string>> bodies = {
      {"one line", numbers_joined(master_numbers, " ", "\n")},
      {"six lines", numbers_joined(master_numbers, "\n", "\n")},
      {"tabs", numbers_joined(master_numbers, "\t", "\n")},
      {"blank lines between", numbers_joined(master_numbers, "\n\n \n", "\n\n")},
      {"blank lines before", "\n\n\n" + numbers_joined(master_numbers, " ", "\n")},
      {"vertical tab and form feed", numbers_joined(master_numbers, "\v \f", "\n")},
      {"no newline at the end", numbers_joined(master_numbers, " ", "")},
      {"two, three, one", std::string(master_numbers[0]) + " " + master_numbers[1] + "\n" +
                              master_numbers[2] + " " + master_numbers[3] + " " +
                              master_numbers[4] + "\n" + master_numbers[5] + "\n"},
      {"anything after the sixth number", numbers_joined(master_numbers, " ", " 99 trailing text nan\nmore\n")},
  };
  for (const auto& [what, body] : bodies) {
    SCOPED_TRACE(what);
    const std::string m = dir.write("master.txt", "header\n" + body);
    const ProcessResult r = run_bperp({m, example_slave_path()});
    EXPECT_TRUE(r.exited && r.status == 0) << describe(r);
    EXPECT_EQ(r.out, example_output());
  }
}

TEST(InputFile, CrlfLineEndingsGiveTheSameResult) {
  TempDir dir;
  auto crlf = [](const std::string& text) {
    std::string s;
    for (char c : text) s += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    return s;
  };
  const std::string m = dir.write("master.txt", crlf(read_bytes(example_master_path())));
  const std::string s = dir.write("slave.txt", crlf(read_bytes(example_slave_path())));
  ASSERT_NE(read_bytes(m).find("\r\n"), std::string::npos);
  for (const auto& [master, slave] :
       {std::pair{m, s}, std::pair{m, example_slave_path()}, std::pair{example_master_path(), s}}) {
    const ProcessResult r = run_bperp({master, slave});
    EXPECT_TRUE(r.exited && r.status == 0) << describe(r);
    EXPECT_EQ(r.out, example_output());
  }
  // Six numbers one per CRLF line.
  const std::string six = dir.write("six.txt", "h\r\n" + numbers_joined(master_numbers, "\r\n", "\r\n"));
  const ProcessResult r = run_bperp({six, example_slave_path()});
  EXPECT_TRUE(r.exited && r.status == 0) << describe(r);
  EXPECT_EQ(r.out, example_output());
}

TEST(InputFile, AFirstLineWithoutAnEndWithin64KiBIsRefused) {
  TempDir dir;
  // Far more than 64 KiB of header before its newline, then good numbers:
  // the file is refused rather than the header held whole or cut short.
  for (const std::size_t n : {std::size_t{70000}, std::size_t{1} << 20}) {
    SCOPED_TRACE(n);
    const std::string m =
        dir.write("master.txt", std::string(n, 'h') + "\n" + numbers_joined(master_numbers, " ", "\n"));
    const ProcessResult r = run_bperp({m, example_slave_path()});
    EXPECT_TRUE(r.exited && r.status == 1) << describe(r);
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 2u) << describe(r);
    EXPECT_EQ(lines[0], "can't read state vector from " + m);
    EXPECT_NE(lines[1].find("first line"), std::string::npos) << lines[1];
    EXPECT_LT(r.seconds, 5.0);
  }
}

// A path of about total_length characters below base, made of nested
// directories whose names are at most 200 characters; they are created.
std::string long_path(const std::filesystem::path& base, std::size_t total_length,
                      const std::string& leaf) {
  std::filesystem::create_directories(base);
  std::string path = base.string();
  char fill = 'a';
  for (;;) {
    const std::size_t still = total_length - std::min(total_length, path.size());
    const std::size_t for_leaf = 1 + leaf.size();
    if (still <= for_leaf + 1) break;
    const std::size_t n = std::min<std::size_t>(200, still - for_leaf - 1);
    path.push_back('/');
    path.append(n, fill);
    fill = fill == 'z' ? 'a' : static_cast<char>(fill + 1);
    std::filesystem::create_directory(path);
  }
  return path + "/" + leaf;
}

TEST(InputFile, FileNamesOfAnyLengthWork) {
  TempDir dir;
  const std::string m = long_path(dir.path(), 3000, "master.txt");
  const std::string s = long_path(dir.path() / "s", 3100, "slave.txt");
  ASSERT_GE(m.size(), 2998u);
  ASSERT_GE(s.size(), 3098u);
  write_bytes(m, read_bytes(example_master_path()));
  write_bytes(s, read_bytes(example_slave_path()));

  ProcessResult r = run_bperp({m, s});
  EXPECT_TRUE(r.exited && r.status == 0) << describe(r);
  EXPECT_EQ(r.out, example_output());

  const ProcessResult short_names = [] {
    ProcessOptions o;
    o.input = example_master_path() + " " + example_slave_path() + "\n";
    return run_bperp({}, o);
  }();
  ProcessOptions o;
  o.input = m + "\n" + s + "\n";
  r = run_bperp({}, o);
  EXPECT_TRUE(r.exited && r.status == 0) << describe(r);
  EXPECT_EQ(r.out, short_names.out);

  // Names that are odd but fit: blanks and a leading dash through the
  // arguments (no option parsing), bytes beyond ASCII through both forms.
  const std::string blank = dir.write("master file with blanks.txt", read_bytes(example_master_path()));
  const std::string dash = dir.write("-slave.txt", read_bytes(example_slave_path()));
  r = run_bperp({blank, dash});
  EXPECT_TRUE(r.exited && r.status == 0) << describe(r);
  EXPECT_EQ(r.out, example_output());
  const std::string umlaut = dir.write("m\xc3\xbcller.txt", read_bytes(example_master_path()));
  o.input = umlaut + " " + example_slave_path() + "\n";
  r = run_bperp({}, o);
  EXPECT_TRUE(r.exited && r.status == 0) << describe(r);
  EXPECT_EQ(r.out, short_names.out);
}

TEST(InputFile, DevZeroIsRefusedQuickly) {
  // An endless file is refused within the bound on the first line, as
  // master and as slave, well before the deadline.
  for (const auto& [m, s] : {std::pair{std::string("/dev/zero"), example_slave_path()},
                             std::pair{example_master_path(), std::string("/dev/zero")}}) {
    const ProcessResult r = run_bperp({m, s});
    EXPECT_TRUE(r.exited && r.status == 1) << describe(r);
    EXPECT_EQ(r.out.rfind("can't read state vector from /dev/zero\n", 0), 0u) << describe(r);
    EXPECT_LT(r.seconds, 2.0);
  }
}

// A named pipe that nobody writes to: a blocking open would wait for a
// writer for ever; the tool opens without blocking and finds it empty.
TEST(InputFile, ANamedPipeWithoutAWriterIsRefusedQuickly) {
  TempDir dir;
  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ProcessOptions o;
  o.timeout_seconds = 3.0;
  const ProcessResult r = run_bperp({fifo, example_slave_path()}, o);
  EXPECT_FALSE(r.timed_out) << describe(r);
  EXPECT_TRUE(r.exited && r.status == 1) << describe(r);
  EXPECT_NE(r.out.find(fifo), std::string::npos) << describe(r);
}

}  // namespace
}  // namespace bperp_test
