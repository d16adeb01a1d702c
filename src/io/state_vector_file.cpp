#include "bperp/app/state_vector_file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "bperp/app/white_space.h"

namespace bperp {

namespace {

// The longest token that can still be a number worth reading.
constexpr std::size_t kMaxToken = 128;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// True when token is [+-](digits[.digits*] | .digits)[(e|E)[+-]digits].
bool is_decimal(const std::string& token) {
  std::size_t i = 0;
  const std::size_t n = token.size();
  if (i < n && (token[i] == '+' || token[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && is_digit(token[i])) ++i, ++digits;
  if (i < n && token[i] == '.') {
    ++i;
    while (i < n && is_digit(token[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    if (i < n && (token[i] == '+' || token[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < n && is_digit(token[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  return i == n;
}

// A decimal token as a double; false when it overflows to an infinity.
// A value below the smallest subnormal reads as a zero of its sign.
bool decimal_value(const std::string& token, double* value) {
  const char* first = token.data();
  const char* last = first + token.size();
  if (*first == '+') ++first;
  double v = 0.0;
  const auto [end, ec] = std::from_chars(first, last, v, std::chars_format::general);
  if (ec == std::errc() && end == last) {
    *value = v;
    return std::isfinite(v);
  }
  if (ec != std::errc::result_out_of_range) return false;
  // Out of range: tell overflow from underflow by the exponent's sign.
  const std::size_t e = token.find_first_of("eE");
  if (e == std::string::npos || token[e + 1] != '-') return false;
  *value = (token[0] == '-') ? -0.0 : 0.0;
  return true;
}

// The token as it can be shown in a message: printable, at most 40 bytes.
std::string shown(const std::string& token) {
  std::string s;
  for (std::size_t i = 0; i < token.size() && i < 40; ++i) {
    const unsigned char c = static_cast<unsigned char>(token[i]);
    if (c >= 0x20 && c < 0x7f) {
      s += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      s += hex;
    }
  }
  if (token.size() > 40) s += "...";
  return s;
}

// "first" .. "seventh", then "8th", "11th", "21st", "22nd", "103rd" ...
std::string ordinal(std::size_t n) {
  static const char* const names[] = {"first", "second", "third", "fourth", "fifth", "sixth",
                                      "seventh"};
  if (n >= 1 && n <= 7) return names[n - 1];
  const std::size_t tens = n % 100, units = n % 10;
  const char* suffix = (tens >= 11 && tens <= 13) ? "th"
                       : units == 1               ? "st"
                       : units == 2               ? "nd"
                       : units == 3               ? "rd"
                                                  : "th";
  return std::to_string(n) + suffix;
}

std::string read_error(std::FILE* stream) {
  (void)stream;
  return std::string("read error: ") + std::strerror(errno);
}

FileRead refuse(std::string* problem, std::string why) {
  if (problem != nullptr) *problem = std::move(why);
  return FileRead::refused;
}

// Opens path for reading as a stdio stream, or nullptr. The open itself does
// not block: a named pipe without a writer reads as empty instead of
// waiting for one.
std::FILE* open_for_reading(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* stream = ::fdopen(fd, "rb");
  if (stream == nullptr) ::close(fd);
  return stream;
}

}  // namespace

std::optional<double> decimal_number(std::string_view token) {
  const std::string text(token);
  double value = 0.0;
  if (text.empty() || text.size() >= kMaxToken || !is_decimal(text) || !decimal_value(text, &value))
    return std::nullopt;
  return value;
}

FileRead read_numbers(std::FILE* stream, std::size_t count, bool exact, std::size_t max_bytes,
                      NumberFile& out, std::string* problem) {
  out.numbers.clear();
  out.header_prefix.clear();
  out.lines.clear();
  std::uint32_t line = 2;  // the first line after the header

  // The header: everything up to the first newline, bounded.
  errno = 0;
  std::size_t header = 0;
  int c;
  for (;;) {
    c = std::getc(stream);
    if (c == EOF || c == '\n') break;
    if (++header > max_header_bytes)
      return refuse(problem, "the first line has no end within " +
                                 std::to_string(max_header_bytes) + " bytes");
    if (out.header_prefix.size() < header_prefix_bytes) out.header_prefix += static_cast<char>(c);
  }
  if (c == EOF && std::ferror(stream)) return refuse(problem, read_error(stream));
  if (!out.header_prefix.empty() && out.header_prefix.back() == '\r' && header <= header_prefix_bytes)
    out.header_prefix.pop_back();

  std::size_t consumed = 0;
  std::string token;
  while (c != EOF && out.numbers.size() < count) {
    // White space before the next token.
    do {
      c = std::getc(stream);
      if (c == '\n') ++line;
      if (c != EOF && ++consumed > max_bytes)
        return refuse(problem, "no end of the numbers within " + std::to_string(max_bytes) +
                                   " bytes after the first line");
    } while (c != EOF && is_white_space(c));
    if (c == EOF) break;

    token.clear();
    while (c != EOF && !is_white_space(c)) {
      if (token.size() < kMaxToken) token += static_cast<char>(c);
      if (++consumed > max_bytes)
        return refuse(problem, "no end of the numbers within " + std::to_string(max_bytes) +
                                   " bytes after the first line");
      c = std::getc(stream);
    }
    double value = 0.0;
    if (token.size() >= kMaxToken || !is_decimal(token) || !decimal_value(token, &value))
      return refuse(problem, "the " + ordinal(out.numbers.size() + 1) +
                                 " number is not a finite decimal number: \"" + shown(token) +
                                 "\"");
    out.numbers.push_back(value);
    if (out.keep_lines) out.lines.push_back(line);
    if (c == '\n') ++line;
  }
  if (std::ferror(stream)) return refuse(problem, read_error(stream));
  if (exact && out.numbers.size() < count)
    return refuse(problem, "the file ends after " + std::to_string(out.numbers.size()) + " of " +
                               std::to_string(count) + " numbers");
  if (!exact && out.numbers.size() >= count && c != EOF) {
    // More than the caller can take: look for anything but white space.
    while ((c = std::getc(stream)) != EOF && is_white_space(c)) {
      if (++consumed > max_bytes) break;
    }
    if (c != EOF)
      return refuse(problem, "more than " + std::to_string(count) + " numbers");
  }
  return FileRead::ok;
}

FileRead read_number_file(const char* path, std::size_t count, bool exact, std::size_t max_bytes,
                          NumberFile& out, std::string* problem) {
  out.open_error = 0;
  std::FILE* stream = open_for_reading(path);
  if (stream == nullptr) {
    out.open_error = errno;
    return FileRead::cannot_open;
  }
  const FileRead result = read_numbers(stream, count, exact, max_bytes, out, problem);
  std::fclose(stream);
  return result;
}

FileRead read_state_vector(std::FILE* stream, StateVector& out, std::string* problem) {
  NumberFile file;
  const FileRead result =
      read_numbers(stream, state_vector_numbers, true, max_state_vector_bytes, file, problem);
  if (result == FileRead::ok) out = state_vector_from(file.numbers.data());
  return result;
}

FileRead read_state_vector_file(const char* path, StateVector& out, std::string* problem) {
  std::FILE* stream = open_for_reading(path);
  if (stream == nullptr) return FileRead::cannot_open;
  const FileRead result = read_state_vector(stream, out, problem);
  std::fclose(stream);
  return result;
}

}  // namespace bperp
