// JSON written as it is made: a document of any size (the two million pairs
// of a 2,000-acquisition stack) goes out through a small buffer and is never
// held. The layout is the one the stack's JSON has always had: members and
// elements one per line, indented by two blanks a level, `"key": value`,
// `{}` and `[]` for empty containers.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace bperp::stack {

// text as a JSON string, quotes included: `"` and `\` escaped, \b \f \n \r
// \t short, the other bytes below 0x20 as \u00xx (lower-case hex); DEL and
// valid UTF-8 as they are; each invalid piece of UTF-8 (a stray byte, a
// sequence cut short, an overlong form, a surrogate, past U+10FFFF) one
// U+FFFD: the lead byte and the continuation bytes it accepted before the
// first it could not take.
void append_json_string(std::string& out, std::string_view text);

// How a double's digits are found. Both read back as exactly the same
// double, and both are laid out alike: fixed notation for decimal
// exponents from -4 to 15 ("0.0001", "55.0" for whole values), else
// d.ddde+XX ("1e+16", "2.5e-05"), "-0.0" for negative zero.
enum class Digits {
  // Grisu2 (Loitsch 2010) as the JSON library the stack document was first
  // written with finds them: the shortest in most cases, one or two digits
  // more in about one in a thousand ("0.18183559999999999").
  grisu2,
  // Always the fewest digits that read back exactly (std::to_chars): the
  // pairs, which were written this way from the start.
  shortest,
};

// A number in JSON; null when it is not finite.
void append_json_number(std::string& out, double value, Digits digits);
// The same written from at, which has room for json_number_room chars;
// returns its end.
inline constexpr std::size_t json_number_room = 32;
char* append_json_number(char* at, double value, Digits digits);

// A member's name escaped once, for the many objects that have it: as it
// is written (the comma, the newline and the indentation before it, the
// ": " after it) for the depth it was last written at.
class JsonName {
 public:
  explicit JsonName(std::string_view name) { append_json_string(name_, name); }

 private:
  friend class JsonWriter;
  std::string name_;
  std::string line_;                     // ",\n", blanks, name, ": "
  std::size_t depth_ = std::string::npos;  // what line_ is indented for
};

// Writes one JSON document to a stream, in order: containers opened and
// closed, each member's key before its value. Text is gathered and written
// out every 64 KiB and at finish(); write errors are the stream's (ferror).
class JsonWriter {
 public:
  explicit JsonWriter(std::FILE* out);
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;
  // Writes out what is gathered.
  ~JsonWriter();

  void begin_object();
  void end_object();
  void begin_array();
  void end_array();
  // The next member's name (inside an object).
  void key(std::string_view name);

  void string(std::string_view text);
  void whole(long long value);
  void number(double value, Digits digits = Digits::grisu2);  // null when not finite
  void null();
  void boolean(bool value);
  // A value already written as JSON (a string escaped once for many uses).
  void raw(std::string_view json);
  // For objects laid out outside the writer and then given to raw(): what
  // comes before a member of an object opened in the present container
  // (its comma, newline and indentation), and before that object's closing
  // brace (a newline and the indentation).
  std::string member_start() const;
  std::string closing_start() const;
  // A member whose name is escaped once (JsonName) and whose value is
  // already JSON: the fast way for the many objects of the same members.
  void member(JsonName& name, std::string_view json_value) {
    if (name.depth_ != counts_.size()) lay_out(name);
    text_.append(name.line_, counts_.back()++ == 0 ? 1 : 0);  // a comma after the first
    text_ += json_value;
    written();
  }

  // The newline that ends the document; writes out what is gathered.
  void finish();

 private:
  // The separator and indentation before a value, unless it follows a key.
  void start_value() {
    if (after_key_) after_key_ = false;
    else if (!counts_.empty()) text_.append(line_start_, counts_.back()++ == 0 ? 1 : 0);  // a comma after the first
  }
  void begin_container(char open);
  // name as it is written at the present depth.
  void lay_out(JsonName& name) const;
  void end_container(char close);
  // Writes the text out once it has grown past the buffer's size.
  void written() {
    if (text_.size() >= flush_bytes) write_out();
  }
  void write_out();

  static constexpr std::size_t flush_bytes = 1 << 16;

  std::FILE* out_;
  std::string text_;
  std::vector<std::size_t> counts_;  // per open container: its values so far
  std::string line_start_ = ",\n";  // a comma, a newline and the open containers' indentation
  bool after_key_ = false;
};

}  // namespace bperp::stack
