#include "bperp/stack/outputs/json_writer.h"

#include <charconv>

namespace bperp::stack {

namespace {

// One level of indentation.
constexpr std::string_view indent = "  ";

// The UTF-8 sequence that starts with the byte text[i] >= 0x80: its length
// when it is valid (*valid true); else the count of bytes one replacement
// character stands for: the lead byte and the continuation bytes it took
// before the first it could not (end of text included).
std::size_t utf8_sequence(std::string_view text, std::size_t i, bool* valid) {
  const auto lead = static_cast<unsigned char>(text[i]);
  // The continuation bytes it needs, and the range of the first of them
  // (narrower after E0, ED, F0 and F4: no overlong form, no surrogate, no
  // code point past U+10FFFF).
  int needed = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 2;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  *valid = false;
  if (needed == 0) return 1;  // a continuation byte alone, C0, C1, F5 to FF
  std::size_t length = 1;
  for (; needed > 0; --needed, ++length, low = 0x80, high = 0xBF) {
    if (i + length >= text.size()) return length;
    const auto next = static_cast<unsigned char>(text[i + length]);
    if (next < low || next > high) return length;
  }
  *valid = true;
  return length;
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
  static const char hex[] = "0123456789abcdef";
  out += '"';
  std::size_t plain = 0;  // where the bytes not yet appended start
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\' && c < 0x80) {
      ++i;
      continue;
    }
    out.append(text, plain, i - plain);
    if (c >= 0x80) {
      bool valid = false;
      const std::size_t length = utf8_sequence(text, i, &valid);
      if (valid) out.append(text, i, length);
      else out += "\xEF\xBF\xBD";  // U+FFFD
      i += length;
    } else {
      out += '\\';
      switch (c) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '\b': out += 'b'; break;
        case '\f': out += 'f'; break;
        case '\n': out += 'n'; break;
        case '\r': out += 'r'; break;
        case '\t': out += 't'; break;
        default:
          out += "u00";
          out += hex[c >> 4];
          out += hex[c & 0x0F];
      }
      ++i;
    }
    plain = i;
  }
  out.append(text, plain);
  out += '"';
}

JsonWriter::JsonWriter(std::FILE* out) : out_(out) { text_.reserve(flush_bytes + 4096); }

JsonWriter::~JsonWriter() {
  if (!text_.empty()) write_out();
}

void JsonWriter::write_out() {
  std::fwrite(text_.data(), 1, text_.size(), out_);
  text_.clear();
}

void JsonWriter::begin_container(char open) {
  start_value();
  text_ += open;
  counts_.push_back(0);
  line_start_ += indent;
}

void JsonWriter::end_container(char close) {
  const bool empty = counts_.back() == 0;
  counts_.pop_back();
  line_start_.resize(line_start_.size() - indent.size());
  if (!empty) text_.append(line_start_, 1);  // no comma
  text_ += close;
  written();
}

void JsonWriter::begin_object() { begin_container('{'); }

void JsonWriter::begin_array() { begin_container('['); }

void JsonWriter::end_object() { end_container('}'); }

void JsonWriter::end_array() { end_container(']'); }

void JsonWriter::lay_out(JsonName& name) const {
  name.line_ = line_start_ + name.name_ + ": ";
  name.depth_ = counts_.size();
}

void JsonWriter::key(std::string_view name) {
  start_value();
  append_json_string(text_, name);
  text_ += ": ";
  after_key_ = true;
}

void JsonWriter::string(std::string_view text) {
  start_value();
  append_json_string(text_, text);
  written();
}

void JsonWriter::whole(long long value) {
  start_value();
  char digits[24];
  text_.append(digits, static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
  written();
}

void JsonWriter::number(double value, Digits digits) {
  start_value();
  append_json_number(text_, value, digits);
  written();
}

void JsonWriter::null() { raw("null"); }

void JsonWriter::boolean(bool value) { raw(value ? "true" : "false"); }

void JsonWriter::raw(std::string_view json) {
  start_value();
  text_ += json;
  written();
}

std::string JsonWriter::member_start() const { return line_start_ + std::string(indent); }

std::string JsonWriter::closing_start() const { return line_start_.substr(1); }

void JsonWriter::finish() {
  text_ += '\n';
  write_out();
}

}  // namespace bperp::stack
