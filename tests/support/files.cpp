#include "support/files.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace test_support {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "bperp-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("can't make a temporary directory from " + pattern);
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& name) const { return (path_ / name).string(); }

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
  const std::string p = file(name);
  write_bytes(p, bytes);
  return p;
}

void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("can't write " + path);
}

std::string read_bytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("can't read " + path);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string state_vector_text(const std::string& header, const double* position,
                              const double* velocity) {
  char numbers[256];  // six %.17g numbers take at most 6 * 24 + 7 characters
  std::snprintf(numbers, sizeof numbers, "\n%.17g %.17g %.17g\n%.17g %.17g %.17g\n", position[0],
                position[1], position[2], velocity[0], velocity[1], velocity[2]);
  return header + numbers;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

}  // namespace test_support
