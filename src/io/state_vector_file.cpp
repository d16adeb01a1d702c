#include "bperp/io/state_vector_file.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "bperp/io/ascii_text.h"
#include "bperp/io/file_descriptor.h"

namespace bperp {

namespace {

// The token as it can be shown in a message: printable, at most 40 bytes.
std::string shown(std::string_view token) {
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

FileRead refuse(std::string* problem, std::string why) {
  if (problem != nullptr) *problem = std::move(why);
  return FileRead::refused;
}

// The refusal of a read that failed (errno says why), marked so in out.
FileRead refuse_read(NumberFile& out, std::string* problem) {
  out.read_failed = true;
  return refuse(problem, std::string("read error: ") + std::strerror(errno));
}

// path as a stdio stream for blocking reads (the open itself does not
// wait: a named pipe without a writer reads as empty), or nullptr with
// errno set.
std::FILE* open_stream(const char* path) {
  return open_without_waiting(path, Reads::blocking).into_stream("rb");
}

// read_numbers with the stream locked by the caller.
FileRead read_numbers_locked(std::FILE* stream, std::size_t count, bool exact, std::size_t max_bytes,
                             NumberFile& out, std::string* problem) {
  out.numbers.clear();
  out.header_prefix.clear();
  out.read_failed = false;
  out.lines.clear();
  std::uint32_t line = 2;  // the first line after the header

  // The header: everything up to the first newline, bounded.
  errno = 0;
  std::size_t header = 0;
  int c;
  for (;;) {
    c = getc_unlocked(stream);
    if (c == EOF || c == '\n') break;
    if (++header > max_header_bytes)
      return refuse(problem, "the first line has no end within " +
                                 std::to_string(max_header_bytes) + " bytes");
    if (out.header_prefix.size() < header_prefix_bytes) out.header_prefix += static_cast<char>(c);
  }
  if (c == EOF && ferror_unlocked(stream)) return refuse_read(out, problem);
  if (!out.header_prefix.empty() && out.header_prefix.back() == '\r' && header <= header_prefix_bytes)
    out.header_prefix.pop_back();

  std::size_t consumed = 0;
  char token[max_number_token_bytes];
  std::size_t token_size = 0;
  while (c != EOF && out.numbers.size() < count) {
    // White space before the next token.
    do {
      c = getc_unlocked(stream);
      if (c == '\n') ++line;
      if (c != EOF && ++consumed > max_bytes)
        return refuse(problem, "no end of the numbers within " + std::to_string(max_bytes) +
                                   " bytes after the first line");
    } while (c != EOF && is_white_space(c));
    if (c == EOF) break;

    token_size = 0;
    while (c != EOF && !is_white_space(c)) {
      if (token_size < max_number_token_bytes) token[token_size++] = static_cast<char>(c);
      if (++consumed > max_bytes)
        return refuse(problem, "no end of the numbers within " + std::to_string(max_bytes) +
                                   " bytes after the first line");
      c = getc_unlocked(stream);
    }
    const std::optional<double> value = decimal_number(std::string_view(token, token_size));
    if (!value)
      return refuse(problem, "the " + ordinal(out.numbers.size() + 1) + " number is not a finite decimal number: \"" +
                                 shown(std::string_view(token, token_size)) + "\"");
    out.numbers.push_back(*value);
    if (out.keep_lines) out.lines.push_back(line);
    if (c == '\n') ++line;
  }
  if (ferror_unlocked(stream)) return refuse_read(out, problem);
  if (exact && out.numbers.size() < count)
    return refuse(problem, "the file ends after " + std::to_string(out.numbers.size()) + " of " +
                               std::to_string(count) + " numbers");
  if (!exact && out.numbers.size() >= count && c != EOF) {
    // More than the caller can take: look for anything but white space.
    while ((c = getc_unlocked(stream)) != EOF && is_white_space(c)) {
      if (++consumed > max_bytes) break;
    }
    if (c != EOF)
      return refuse(problem, "more than " + std::to_string(count) + " numbers");
  }
  return FileRead::ok;
}

}  // namespace

FileRead read_numbers(std::FILE* stream, std::size_t count, bool exact, std::size_t max_bytes,
                      NumberFile& out, std::string* problem) {
  // The stream's lock held once for the whole read, so that each byte costs
  // a look into its buffer and not a lock and an unlock.
  flockfile(stream);
  const FileRead result = read_numbers_locked(stream, count, exact, max_bytes, out, problem);
  funlockfile(stream);
  return result;
}

FileRead read_number_file(const char* path, std::size_t count, bool exact, std::size_t max_bytes,
                          NumberFile& out, std::string* problem) {
  out.open_error = 0;
  std::FILE* stream = open_stream(path);
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
  std::FILE* stream = open_stream(path);
  if (stream == nullptr) return FileRead::cannot_open;
  const FileRead result = read_state_vector(stream, out, problem);
  std::fclose(stream);
  return result;
}

}  // namespace bperp
