#include "bperp/stack/outputs/text_table.h"

#include <algorithm>
#include <string_view>

namespace bperp::stack {

std::size_t display_width(std::string_view text) {
  std::size_t w = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++w;
  return w;
}

void append_table_line(std::string& line, const std::vector<TableColumn>& columns,
                       const std::vector<std::size_t>& width, const TableCell* cells,
                       std::size_t cell_count) {
  const std::size_t start = line.size();
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const TableCell cell = c < cell_count ? cells[c] : TableCell{};
    const std::size_t pad = width[c] - cell.width;
    if (c > 0) line += "  ";
    if (columns[c].align == Align::right) line.append(pad, ' ');
    line += cell.text;
    if (columns[c].align == Align::left) line.append(pad, ' ');
  }
  while (line.size() > start && line.back() == ' ') line.pop_back();
  line += '\n';
}

void append_table_head(std::string& text, const std::vector<TableColumn>& columns,
                       const std::vector<std::size_t>& width) {
  const std::size_t n = columns.size();
  std::vector<TableCell> cells(n);
  for (std::size_t c = 0; c < n; ++c) cells[c] = {columns[c].heading, display_width(columns[c].heading)};
  append_table_line(text, columns, width, cells.data(), n);
  std::vector<std::string> rule(n);
  for (std::size_t c = 0; c < n; ++c) {
    rule[c].assign(width[c], '-');
    cells[c] = {rule[c], width[c]};
  }
  append_table_line(text, columns, width, cells.data(), n);
}

void write_text_table(std::FILE* out, const std::vector<TableColumn>& columns,
                      const std::vector<std::vector<std::string>>& rows) {
  const std::size_t n = columns.size();
  // The headings, then every row's cells, each measured once.
  std::vector<TableCell> cells;
  for (const TableColumn& c : columns) cells.push_back({c.heading, display_width(c.heading)});
  for (const auto& row : rows)
    for (const std::string& text : row) cells.push_back({text, display_width(text)});
  std::vector<std::size_t> width(n);
  for (std::size_t c = 0; c < n; ++c) width[c] = cells[c].width;
  for (std::size_t k = n; const auto& row : rows) {
    for (std::size_t c = 0; c < n && c < row.size(); ++c) width[c] = std::max(width[c], cells[k + c].width);
    k += row.size();
  }

  std::string line;  // one buffer for every line
  append_table_head(line, columns, width);
  std::fputs(line.c_str(), out);
  const auto write_line = [&](const TableCell* first, std::size_t count) {
    line.clear();
    append_table_line(line, columns, width, first, count);
    std::fputs(line.c_str(), out);
  };
  for (std::size_t k = n; const auto& row : rows) {
    write_line(cells.data() + k, row.size());
    k += row.size();
  }
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

std::string spreadsheet_text(const std::string& text) {
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
    return std::string(1, '\'') + text;
  return text;
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

}  // namespace bperp::stack
