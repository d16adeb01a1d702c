// Aligned text tables and CSV records for the stack's outputs.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace bperp::stack {

enum class Align { left, right };

struct TableColumn {
  std::string heading;
  Align align = Align::right;
};

// The width of text on a terminal: one column per UTF-8 character.
std::size_t display_width(std::string_view text);

// One cell of a line: its text and that text's display width.
struct TableCell {
  std::string_view text;
  std::size_t width = 0;
};

// One line of a table: the cells (cell_count of them; missing ones empty)
// padded to the column widths, two blanks between columns, no blanks at the
// end, a newline; appended to line.
void append_table_line(std::string& line, const std::vector<TableColumn>& columns,
                       const std::vector<std::size_t>& width, const TableCell* cells,
                       std::size_t cell_count);

// A table's head: the columns' headings, then a rule of dashes, each line
// as append_table_line lays it out; appended to text.
void append_table_head(std::string& text, const std::vector<TableColumn>& columns,
                       const std::vector<std::size_t>& width);

// Writes heading, a rule of dashes and the rows, each column as wide as its
// widest cell, two blanks between columns, no blanks at the ends of lines.
// Rows shorter than the columns are padded with empty cells.
void write_text_table(std::FILE* out, const std::vector<TableColumn>& columns,
                      const std::vector<std::vector<std::string>>& rows);

// One CSV field: as it is, or in double quotes (quotes doubled) when it
// holds a comma, a quote, a line break or blanks at its ends.
std::string csv_field(const std::string& text);

// A text cell (a name, a date, a message; never a number) as a spreadsheet
// will not run it as a formula: one that begins with =, +, -, @, a tab or a
// carriage return gets a single quote (') put before it.
std::string spreadsheet_text(const std::string& text);

// The fields joined by commas, with a newline.
void write_csv_record(std::FILE* out, const std::vector<std::string>& fields);

}  // namespace bperp::stack
