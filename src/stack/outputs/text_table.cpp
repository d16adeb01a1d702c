#include "bperp/stack/outputs/text_table.h"

#include <algorithm>

namespace bperp::stack {

namespace {

// The width of text on a terminal: one column per UTF-8 character.
std::size_t display_width(const std::string& text) {
  std::size_t w = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++w;
  return w;
}

// Length of the valid UTF-8 sequence of a multi-byte character starting at
// text[i], or 0 when the bytes there are not one.
std::size_t utf8_sequence(const std::string& text, std::size_t i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  std::size_t n = 0;
  unsigned int code = 0;
  if (c >= 0xC2 && c <= 0xDF) n = 2, code = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF) n = 3, code = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4) n = 4, code = c & 0x07;
  else return 0;
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    const unsigned char d = static_cast<unsigned char>(text[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    code = (code << 6) | (d & 0x3F);
  }
  // Overlong forms, surrogates and values beyond U+10FFFF.
  const unsigned int least[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[n] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return n;
}

}  // namespace

void write_text_table(std::FILE* out, const std::vector<TableColumn>& columns,
                      const std::vector<std::vector<std::string>>& rows) {
  const std::size_t n = columns.size();
  std::vector<std::size_t> width(n);
  for (std::size_t c = 0; c < n; ++c) width[c] = display_width(columns[c].heading);
  for (const auto& row : rows)
    for (std::size_t c = 0; c < n && c < row.size(); ++c)
      width[c] = std::max(width[c], display_width(row[c]));

  const auto write_line = [&](const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t c = 0; c < n; ++c) {
      const std::string cell = c < cells.size() ? cells[c] : std::string();
      const std::string pad(width[c] - display_width(cell), ' ');
      if (c > 0) line += "  ";
      line += (columns[c].align == Align::right) ? pad + cell : cell + pad;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    line += '\n';
    std::fputs(line.c_str(), out);
  };

  std::vector<std::string> headings, rule;
  for (std::size_t c = 0; c < n; ++c) {
    headings.push_back(columns[c].heading);
    rule.push_back(std::string(width[c], '-'));
  }
  write_line(headings);
  write_line(rule);
  for (const auto& row : rows) write_line(row);
}

std::string csv_field(const std::string& text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return text;
  std::string s = "\"";
  for (const char c : text) {
    if (c == '"') s += '"';
    s += c;
  }
  return s + "\"";
}

void write_csv_record(std::FILE* out, const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ',';
    line += csv_field(fields[i]);
  }
  line += '\n';
  std::fputs(line.c_str(), out);
}

std::string printable(const std::string& text) {
  std::string s;
  s.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      s += static_cast<char>(c);
      ++i;
      continue;
    }
    const std::size_t n = (c >= 0x80) ? utf8_sequence(text, i) : 0;
    if (n > 0) {
      s.append(text, i, n);
      i += n;
    } else {
      s += '?';
      ++i;
    }
  }
  return s;
}

}  // namespace bperp::stack
