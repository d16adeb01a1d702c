#include "stack_test_support.h"

#include <cstddef>
#include <limits>
#include <sstream>

namespace stack_test {

RunResult run(const std::string& exe, const std::vector<std::string>& args) {
  test_support::ProcessOptions unlimited;
  unlimited.timeout_seconds = 1e6;  // no deadline a test run could reach
  unlimited.max_output = std::numeric_limits<std::size_t>::max();
  return test_support::run_process(exe, args, unlimited);
}

RunResult run_stack(const std::vector<std::string>& args) { return run(BPERP_STACK_EXE, args); }
RunResult run_bperp(const std::vector<std::string>& args) { return run(BPERP_EXE, args); }

RunResult run_stack_within(std::size_t kilobytes, const std::vector<std::string>& args) {
  std::vector<std::string> shell = {"-c", "ulimit -v " + std::to_string(kilobytes) + " && exec \"$0\" \"$@\"",
                                    BPERP_STACK_EXE};
  shell.insert(shell.end(), args.begin(), args.end());
  return run("/bin/sh", shell);
}

bool address_sanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#endif
#endif
  return false;
}

std::size_t break_hdf5_group_addresses(const std::string& path) {
  std::string bytes = read_file(path);
  std::size_t broken = 0;
  for (std::size_t tree = bytes.find("TREE", bytes.find("TREE") + 1); tree != std::string::npos;
       tree = bytes.find("TREE", tree + 1)) {
    std::string address(8, '\0');
    for (std::size_t i = 0; i < 8; ++i) address[i] = static_cast<char>((tree >> (8 * i)) & 0xFF);
    for (std::size_t at = bytes.find(address); at != std::string::npos; at = bytes.find(address, at + 8), ++broken)
      bytes.replace(at, 8, std::string(8, '\xFF'));
  }
  test_support::write_bytes(path, bytes);
  return broken;
}

std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream s(line);
  for (std::string w; s >> w;) words.push_back(w);
  return words;
}

std::vector<std::vector<std::string>> read_csv(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += '"', ++i;
      else if (c == '"') quoted = false;
      else field += c;
      continue;
    }
    if (c == '"') {
      quoted = any = true;
    } else if (c == ',') {
      record.push_back(field);
      field.clear();
      any = true;
    } else if (c == '\n') {
      record.push_back(field);
      records.push_back(record);
      record.clear();
      field.clear();
      any = false;
    } else if (c != '\r') {
      field += c;
      any = true;
    }
  }
  if (any) {
    record.push_back(field);
    records.push_back(record);
  }
  return records;
}

namespace {

std::string trim(const std::string& s) {
  const std::size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

}  // namespace

std::vector<std::map<std::string, std::string>> read_table(const std::string& out,
                                                           const std::string& first_heading) {
  const std::vector<std::string> lines = lines_of(out);
  std::size_t head = 0;
  while (head < lines.size() && lines[head].rfind(first_heading, 0) != 0) ++head;
  std::vector<std::map<std::string, std::string>> rows;
  if (head + 1 >= lines.size()) return rows;
  const std::string& rule = lines[head + 1];
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  for (std::size_t i = 0; i < rule.size();) {
    if (rule[i] != '-') {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < rule.size() && rule[i] == '-') ++i;
    spans.emplace_back(start, i - start);
  }
  const auto cell = [&](const std::string& line, std::size_t k) {
    const std::size_t width = (k + 1 < spans.size()) ? spans[k].second : std::string::npos;
    return spans[k].first < line.size() ? trim(line.substr(spans[k].first, width)) : std::string();
  };
  for (std::size_t r = head + 2; r < lines.size() && !lines[r].empty(); ++r) {
    std::map<std::string, std::string> row;
    for (std::size_t k = 0; k < spans.size(); ++k) row[cell(lines[head], k)] = cell(lines[r], k);
    rows.push_back(row);
  }
  return rows;
}

}  // namespace stack_test
