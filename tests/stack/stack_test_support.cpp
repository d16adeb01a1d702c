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

}  // namespace stack_test
