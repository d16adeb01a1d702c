#include "bperp/io/state_vector_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>

#include <unistd.h>

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

// Reads the decimal digits at p onto *digits (each one makes it ten times
// larger plus the digit), up to the first byte that is not a digit, which
// must come before the buffer ends; returns that byte's place.
const char* read_digits(const char* p, std::uint64_t* digits) {
  std::uint64_t d = *digits;
  for (; *p >= '0' && *p <= '9'; ++p) d = 10 * d + static_cast<unsigned>(*p - '0');
  *digits = d;
  return p;
}

// The value of the unsigned decimal digits[.digits] at p (no exponent)
// when it has at most 15 digits and at most 22 after the point, and where
// it ends; nullptr otherwise. *end must be a byte that is none of digit,
// '.', 'e' and 'E' (a block's end mark). Such a value is an integer below
// 2^53 divided by a power of ten below 10^23, both exact doubles, so that
// one division rounds it correctly: the value std::from_chars gives.
const char* short_decimal(const char* p, double* value) {
  static constexpr double powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  constexpr std::ptrdiff_t max_digits = 15;  // 10^15 - 1 < 2^53
  std::uint64_t digits = 0;
  const char* const first = p;
  p = read_digits(p, &digits);
  std::ptrdiff_t count = p - first, after_point = 0;
  if (*p == '.') {
    const char* const point = p;
    p = read_digits(p + 1, &digits);
    after_point = p - point - 1;
    count += after_point;
  }
  if (count == 0 || count > max_digits || *p == 'e' || *p == 'E') return nullptr;
  *value = static_cast<double>(digits) / powers_of_ten[after_point];
  return p;
}

// The bytes of a stream, a block at a time: straight from its descriptor
// when it has one (one read(2) each, which returns what a pipe holds
// without waiting for a whole block), else through stdio (a stream in
// memory). A failed read ends the bytes as the end of the file would, and
// is remembered. A NUL byte follows each block (at end), so that a scan
// for bytes of some kind stops there without counting. The block's memory
// is the thread's, kept from one file to the next.
class Blocks {
 public:
  static constexpr std::size_t block_bytes = std::size_t{64} << 10;

  explicit Blocks(std::FILE* stream) : stream_(stream), fd_(::fileno(stream)) {}
  Blocks(const Blocks&) = delete;
  Blocks& operator=(const Blocks&) = delete;

  // The bytes not looked at yet in the current block.
  const char* next = nullptr;
  const char* end = nullptr;

  // Reads the next block into [next, end); false at the end of the file or
  // on a failed read.
  bool refill() {
    if (finished_) return false;
    if (block_ == nullptr) block_ = thread_block();
    std::size_t n = 0;
    if (fd_ >= 0) {
      const ssize_t got = ::read(fd_, block_, block_bytes);
      if (got < 0) failed_ = true;
      n = got > 0 ? static_cast<std::size_t>(got) : 0;
    } else {
      n = std::fread(block_, 1, block_bytes, stream_);
      if (n == 0 && std::ferror(stream_)) failed_ = true;
    }
    if (n == 0) {
      finished_ = true;
      return false;
    }
    read_ += n;
    next = block_;
    end = next + n;
    block_[n] = '\0';
    return true;
  }
  // Whether a read failed (errno says why).
  bool failed() const { return failed_; }
  // The count of bytes of the file before next.
  std::size_t offset() const { return read_ - static_cast<std::size_t>(end - next); }

 private:
  std::FILE* stream_;
  int fd_;
  // The thread's block (block_bytes and its end mark): one reading at a
  // time uses it.
  static char* thread_block() {
    thread_local const std::unique_ptr<char[]> block(new char[block_bytes + 1]);
    return block.get();
  }

  char* block_ = nullptr;
  std::size_t read_ = 0;
  bool failed_ = false;
  bool finished_ = false;
};

// The numbers after the header, read in place from blocks. Positions count
// the bytes after the header's newline; the byte bound is the one the
// reader always had: white space (or a token's first byte) at position
// max_bytes or later, and any token byte at max_bytes - 1 or later, end
// the read; the byte that ends a token is not held to it.
class NumberScan {
 public:
  NumberScan(Blocks& blocks, std::size_t start, std::size_t count, bool exact, std::size_t max_bytes,
             NumberFile& out, std::string* problem)
      : blocks_(blocks), start_(start), count_(count), exact_(exact), max_bytes_(max_bytes), out_(out),
        problem_(problem) {
    // Room for as many numbers as the first block holds at 8 bytes each,
    // so that the lists of a short file are not moved as they grow.
    const std::size_t guess = std::min(count, static_cast<std::size_t>(blocks.end - blocks.next) / 8 + 1);
    out.numbers.reserve(guess);
    if (out.keep_lines) out.lines.reserve(guess);
  }

  FileRead run() {
    bool more = true;  // false once the end of the file was reached
    while (more && out_.numbers.size() < count_) {
      read_short_decimals();
      if (out_.numbers.size() == count_) break;
      if (!skip_white_space(&more)) return no_end();
      if (!more) break;
      std::optional<double> value = plain_number();
      if (!value) {
        std::string_view token;
        if (!take_token(&token, &more)) return no_end();
        value = decimal_number(token);
        if (!value)
          return refuse(problem_, "the " + ordinal(out_.numbers.size() + 1) +
                                      " number is not a finite decimal number: \"" + shown(token) + "\"");
      }
      out_.numbers.push_back(*value);
      if (out_.keep_lines) out_.lines.push_back(line_);
      // The byte that ended the token (white space), unbounded.
      if (more) {
        if (*blocks_.next == '\n') ++line_;
        ++blocks_.next;
      }
    }
    if (blocks_.failed()) return refuse_read(out_, problem_);
    if (exact_ && out_.numbers.size() < count_)
      return refuse(problem_, "the file ends after " + std::to_string(out_.numbers.size()) + " of " +
                                  std::to_string(count_) + " numbers");
    if (!exact_ && more && has_more_text())
      return refuse(problem_, "more than " + std::to_string(count_) + " numbers");
    return FileRead::ok;
  }

 private:
  std::size_t position() const { return blocks_.offset() - start_; }
  // Makes [next, end) hold a byte; false at the end of the file.
  bool have_byte() { return blocks_.next != blocks_.end || blocks_.refill(); }

  FileRead no_end() {
    return refuse(problem_, "no end of the numbers within " + std::to_string(max_bytes_) +
                                " bytes after the first line");
  }

  // The common case read in one pass: a token at next that starts with a
  // digit or '.' (after a sign), that std::from_chars reads whole up to the
  // white space that ends it within the block, within the bound, shorter
  // than max_number_token_bytes and finite. Such a token is a decimal
  // number and from_chars gives decimal_number's value; next then points
  // at that white space. nullopt (nothing consumed) for any other token.
  std::optional<double> plain_number() {
    const char* const first = blocks_.next;
    const char* const end = blocks_.end;
    const char* digits = first;
    if (*digits == '+' || *digits == '-') ++digits;
    if (digits == end || !((*digits >= '0' && *digits <= '9') || *digits == '.')) return std::nullopt;
    double value = 0.0;
    const char* stop = short_decimal(digits, &value);
    std::errc ec = std::errc();
    if (stop == nullptr) {
      const std::from_chars_result r = std::from_chars(*first == '+' ? first + 1 : first, end, value);
      stop = r.ptr;
      ec = r.ec;
    } else if (*first == '-') {
      value = -value;
    }
    const std::size_t size = static_cast<std::size_t>(stop - first);
    const std::size_t token_room = max_bytes_ == 0 ? 0 : max_bytes_ - 1;
    if (ec != std::errc() || stop == end || !is_white_space(static_cast<unsigned char>(*stop)) ||
        size >= max_number_token_bytes || position() + size > token_room || !std::isfinite(value))
      return std::nullopt;
    blocks_.next = stop;
    return value;
  }

  // The common case of plain_number and the loop around it, without their
  // checks of each byte against the block's end and the bound: white space
  // and short decimals (short_decimal) ended by white space, as many as
  // the block holds before the bound and the count allows. Stops after the
  // white space that ends the last one read.
  void read_short_decimals() {
    const std::size_t token_room = max_bytes_ == 0 ? 0 : max_bytes_ - 1;
    const std::size_t room = token_room - std::min(token_room, position());
    // Every byte before safe lies within the bound for white space and tokens.
    const char* const safe = blocks_.next + std::min(room, static_cast<std::size_t>(blocks_.end - blocks_.next));
    const char* p = blocks_.next;
    std::uint32_t line = line_;
    while (out_.numbers.size() < count_) {
      for (; p != safe && is_white_space(static_cast<unsigned char>(*p)); ++p) line += *p == '\n';
      if (p == safe) break;
      const char* const first = p;
      if (*p == '+' || *p == '-') ++p;
      double value = 0.0;
      const char* const stop = short_decimal(p, &value);
      if (stop == nullptr || stop >= safe || !is_white_space(static_cast<unsigned char>(*stop))) break;
      out_.numbers.push_back(*first == '-' ? -value : value);
      if (out_.keep_lines) out_.lines.push_back(line);
      line += *stop == '\n';
      p = stop + 1;
      blocks_.next = p;
      line_ = line;
    }
  }

  // Skips white space up to the next token; false when the bound is
  // passed; *more false at the end of the file.
  bool skip_white_space(bool* more) {
    for (;;) {
      if (!have_byte()) {
        *more = false;
        return true;
      }
      const std::size_t room = max_bytes_ - std::min(max_bytes_, position());
      const char* const stop = blocks_.next + std::min(room, static_cast<std::size_t>(blocks_.end - blocks_.next));
      const char* p = blocks_.next;
      while (p != stop && is_white_space(static_cast<unsigned char>(*p))) {
        if (*p == '\n') ++line_;
        ++p;
      }
      blocks_.next = p;
      // A byte left in the block: a token's first, or one past the bound.
      if (p != blocks_.end) return p != stop;
    }
  }

  // The token at next, in place when it lies in one block, else gathered
  // (its first max_number_token_bytes bytes, which tell it from a number);
  // false when the bound is passed; *more false when the file ends it.
  bool take_token(std::string_view* token, bool* more) {
    const std::size_t token_room = max_bytes_ == 0 ? 0 : max_bytes_ - 1;
    gathered_size_ = 0;
    std::size_t size = 0;
    bool in_place = true;
    const char* first = blocks_.next;
    for (;;) {
      const std::size_t room = token_room - std::min(token_room, position());
      const char* const stop = blocks_.next + std::min(room, static_cast<std::size_t>(blocks_.end - blocks_.next));
      const char* p = blocks_.next;
      while (p != stop && !is_white_space(static_cast<unsigned char>(*p))) ++p;
      size += static_cast<std::size_t>(p - blocks_.next);
      if (p != blocks_.end && !is_white_space(static_cast<unsigned char>(*p))) return false;
      if (p != blocks_.end) {  // ended by white space
        if (!in_place) gather(blocks_.next, p);
        blocks_.next = p;
        break;
      }
      gather(blocks_.next, p);
      in_place = false;
      blocks_.next = p;
      if (!blocks_.refill()) {
        *more = false;
        break;
      }
    }
    *token = in_place ? std::string_view(first, size) : std::string_view(gathered_, gathered_size_);
    return true;
  }

  // Keeps what still fits of [from, to) among the gathered bytes.
  void gather(const char* from, const char* to) {
    const std::size_t n = std::min(static_cast<std::size_t>(to - from), max_number_token_bytes - gathered_size_);
    std::memcpy(gathered_ + gathered_size_, from, n);
    gathered_size_ += n;
  }

  // After the last number the caller can take: whether anything but white
  // space follows, or the bound is passed before the end.
  bool has_more_text() {
    while (have_byte()) {
      const std::size_t room = max_bytes_ - std::min(max_bytes_, position());
      const char* const stop = blocks_.next + std::min(room, static_cast<std::size_t>(blocks_.end - blocks_.next));
      const char* p = blocks_.next;
      while (p != stop && is_white_space(static_cast<unsigned char>(*p))) ++p;
      blocks_.next = p;
      if (p != blocks_.end) return true;
    }
    return false;
  }

  Blocks& blocks_;
  std::size_t start_;
  std::size_t count_;
  bool exact_;
  std::size_t max_bytes_;
  NumberFile& out_;
  std::string* problem_;
  std::uint32_t line_ = 2;  // the first line after the header
  char gathered_[max_number_token_bytes];
  std::size_t gathered_size_ = 0;
};

// Reads the header line from blocks into out (its first bytes); false when
// it has no end within max_header_bytes. *ended_by_newline tells a header
// ended by its newline from one ended by the file.
bool read_header(Blocks& blocks, NumberFile& out, bool* ended_by_newline) {
  std::size_t header = 0;
  *ended_by_newline = false;
  while (blocks.next != blocks.end || blocks.refill()) {
    const std::size_t available = static_cast<std::size_t>(blocks.end - blocks.next);
    const char* newline = static_cast<const char*>(std::memchr(blocks.next, '\n', available));
    const std::size_t n = newline != nullptr ? static_cast<std::size_t>(newline - blocks.next) : available;
    if (header + n > max_header_bytes) return false;
    if (out.header_prefix.size() < header_prefix_bytes)
      out.header_prefix.append(blocks.next, std::min(n, header_prefix_bytes - out.header_prefix.size()));
    header += n;
    blocks.next += n;
    if (newline != nullptr) {
      ++blocks.next;
      *ended_by_newline = true;
      break;
    }
  }
  if (!out.header_prefix.empty() && out.header_prefix.back() == '\r' && header <= header_prefix_bytes)
    out.header_prefix.pop_back();
  return true;
}

}  // namespace

FileRead read_numbers(std::FILE* stream, std::size_t count, bool exact, std::size_t max_bytes,
                      NumberFile& out, std::string* problem) {
  out.numbers.clear();
  out.header_prefix.clear();
  out.read_failed = false;
  out.lines.clear();
  errno = 0;
  Blocks blocks(stream);
  bool ended_by_newline = false;
  if (!read_header(blocks, out, &ended_by_newline))
    return refuse(problem, "the first line has no end within " + std::to_string(max_header_bytes) + " bytes");
  if (!ended_by_newline && blocks.failed()) return refuse_read(out, problem);
  if (!ended_by_newline) {
    if (exact && count > 0)
      return refuse(problem, "the file ends after 0 of " + std::to_string(count) + " numbers");
    return FileRead::ok;
  }
  return NumberScan(blocks, blocks.offset(), count, exact, max_bytes, out, problem).run();
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
