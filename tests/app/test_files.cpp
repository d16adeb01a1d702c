#include "test_files.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace bperp_test {

std::string example_master_path() { return std::string(BPERP_SOURCE_DIR) + "/examples/master.txt"; }
std::string example_slave_path() { return std::string(BPERP_SOURCE_DIR) + "/examples/slave.txt"; }

namespace {

// The six numbers after the header line of a state-vector file.
Six six_after_header(const std::string& path) {
  std::istringstream in(read_bytes(path));
  std::string header;
  std::getline(in, header);
  Six v{};
  for (double& x : v)
    if (!(in >> x)) throw std::runtime_error("no six numbers in " + path);
  return v;
}

}  // namespace

Six example_master() { return six_after_header(example_master_path()); }
Six example_slave() { return six_after_header(example_slave_path()); }

std::string state_vector_text(const Six& v, const std::string& header) {
  return test_support::state_vector_text(header, v.data(), v.data() + 3);
}

std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, args);
  va_end(args);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 0) + 1, '\0');
  std::vsnprintf(s.data(), s.size(), fmt, again);
  va_end(again);
  s.resize(s.size() - 1);
  return s;
}

bool looks_like_result(const std::string& line) {
  if (line.rfind("para", 0) == 0) return true;
  const std::size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return false;
  const std::size_t last = line.find_last_not_of(" \t\r");
  const std::string core = line.substr(first, last - first + 1);
  char* end = nullptr;
  errno = 0;
  std::strtod(core.c_str(), &end);
  return end == core.c_str() + core.size();
}

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

// Skips n_min or more digits from s[i] on (exactly n_min when exact).
bool digits(const std::string& s, std::size_t& i, std::size_t n_min, bool exact) {
  std::size_t n = 0;
  while (i < s.size() && digit(s[i])) ++i, ++n;
  return exact ? n == n_min : n >= n_min;
}

// "%e" of a double: optional '-', a digit, '.', six digits, 'e', a sign and
// two or three digits, from s[i] on; i is left after it.
bool exponent6(const std::string& s, std::size_t& i) {
  if (i < s.size() && s[i] == '-') ++i;
  if (!(i < s.size() && digit(s[i]))) return false;
  ++i;
  if (!(i < s.size() && s[i] == '.')) return false;
  ++i;
  if (!digits(s, i, 6, true)) return false;
  if (!(i < s.size() && s[i] == 'e')) return false;
  ++i;
  if (!(i < s.size() && (s[i] == '+' || s[i] == '-'))) return false;
  ++i;
  const std::size_t start = i;
  return digits(s, i, 2, false) && i - start <= 3;
}

}  // namespace

bool is_fixed6(const std::string& s) {
  std::size_t i = 0;
  if (i < s.size() && s[i] == '-') ++i;
  if (!digits(s, i, 1, false)) return false;
  if (!(i < s.size() && s[i] == '.')) return false;
  ++i;
  return digits(s, i, 6, true) && i == s.size();
}

bool parse_fixed_pair(const std::string& out, double* parallel, double* perpendicular) {
  const std::vector<std::string> lines = lines_of(out);
  if (out.empty() || out.back() != '\n' || lines.size() != 2) return false;
  if (!is_fixed6(lines[0]) || !is_fixed6(lines[1])) return false;
  *parallel = std::strtod(lines[0].c_str(), nullptr);
  *perpendicular = std::strtod(lines[1].c_str(), nullptr);
  return true;
}

bool parse_labelled(const std::string& out, double* parallel, double* perpendicular) {
  if (out.rfind(prompt, 0) != 0) return false;
  const std::string s = out.substr(prompt.size());
  std::size_t i = 0;
  if (s.compare(i, 4, "para") != 0) return false;
  i += 4;
  const std::size_t p = i;
  if (!exponent6(s, i)) return false;
  const std::string par = s.substr(p, i - p);
  if (s.compare(i, 5, " perp") != 0) return false;
  i += 5;
  const std::size_t q = i;
  if (!exponent6(s, i)) return false;
  const std::string perp = s.substr(q, i - q);
  if (s.substr(i) != "\n") return false;
  *parallel = std::strtod(par.c_str(), nullptr);
  *perpendicular = std::strtod(perp.c_str(), nullptr);
  return true;
}

}  // namespace bperp_test
