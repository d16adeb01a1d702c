#include "stack_test_support.h"

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <regex>
#include <sstream>
#include <stdexcept>

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

std::string shared_sample(const std::string& relative) {
  const std::filesystem::path shared = std::filesystem::path(BPERP_SOURCE_DIR) / ".." / "shared" / "data";
  if (!std::filesystem::is_directory(shared)) return {};
  return (shared / relative).string();
}

bool shared_data_required() { return std::getenv("CI") != nullptr; }

namespace {

// The civil date days after y-m-d, as YYYY-MM-DD.
std::string later_date(int y, unsigned m, unsigned d, int days) {
  using namespace std::chrono;
  const year_month_day later{sys_days{year{y} / month{m} / day{d}} + std::chrono::days{days}};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(later.year()),
                static_cast<unsigned>(later.month()), static_cast<unsigned>(later.day()));
  return text;
}

}  // namespace

std::string shift_dates(const std::string& text, int days) {
  static const std::regex date(R"((\d{4})-(\d{2})-(\d{2})T)");
  std::string out;
  std::size_t last = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), date); it != std::sregex_iterator(); ++it) {
    const std::smatch& m = *it;
    out.append(text, last, static_cast<std::size_t>(m.position(0)) - last);
    out += later_date(std::stoi(m[1]), static_cast<unsigned>(std::stoi(m[2])), static_cast<unsigned>(std::stoi(m[3])),
                      days) +
           "T";
    last = static_cast<std::size_t>(m.position(0) + m.length(0));
  }
  out.append(text, last);
  return out;
}

double utc_seconds(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  double s = 0.0;
  if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &s) != 6)
    throw std::runtime_error("no UTC time: " + text);
  using namespace std::chrono;
  const auto day = sys_days{year{y} / month{static_cast<unsigned>(mo)} / std::chrono::day{static_cast<unsigned>(d)}};
  const double whole_days = static_cast<double>(day.time_since_epoch().count());
  return whole_days * 86400.0 + h * 3600.0 + mi * 60.0 + s;
}

OrbitVector hermite_at(const std::vector<OrbitVector>& orbit, double t) {
  std::size_t k = 1;
  while (k + 1 < orbit.size() && orbit[k].t < t) ++k;
  const OrbitVector& a = orbit[k - 1];
  const OrbitVector& b = orbit[k];
  const double h = b.t - a.t, u = (t - a.t) / h;
  // The cubic Hermite basis and its derivatives (per unit of u).
  const double h00 = 2 * u * u * u - 3 * u * u + 1, h10 = u * u * u - 2 * u * u + u;
  const double h01 = -2 * u * u * u + 3 * u * u, h11 = u * u * u - u * u;
  const double d00 = 6 * u * u - 6 * u, d10 = 3 * u * u - 4 * u + 1, d01 = -6 * u * u + 6 * u, d11 = 3 * u * u - 2 * u;
  OrbitVector at;
  at.t = t;
  for (int i = 0; i < 3; ++i) {
    at.position[i] = h00 * a.position[i] + h10 * h * a.velocity[i] + h01 * b.position[i] + h11 * h * b.velocity[i];
    at.velocity[i] =
        (d00 * a.position[i] + d10 * h * a.velocity[i] + d01 * b.position[i] + d11 * h * b.velocity[i]) / h;
  }
  return at;
}

}  // namespace stack_test
