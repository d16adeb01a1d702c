// Aligned text tables and CSV records for the stack's outputs.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace bperp::stack {

enum class Align { left, right };

struct TableColumn {
  std::string heading;
  Align align = Align::right;
};

// Writes heading, a rule of dashes and the rows, each column as wide as its
// widest cell, two blanks between columns, no blanks at the ends of lines.
// Rows shorter than the columns are padded with empty cells.
void write_text_table(std::FILE* out, const std::vector<TableColumn>& columns,
                      const std::vector<std::vector<std::string>>& rows);

// One CSV field: as it is, or in double quotes (quotes doubled) when it
// holds a comma, a quote, a line break or blanks at its ends.
std::string csv_field(const std::string& text);

// The fields joined by commas, with a newline.
void write_csv_record(std::FILE* out, const std::vector<std::string>& fields);

// text with every byte that is not printable ASCII and not part of a valid
// UTF-8 sequence (control characters, stray bytes) shown as '?', so that a
// name can stand in a table, an XML text or a message.
std::string printable(const std::string& text);

}  // namespace bperp::stack
