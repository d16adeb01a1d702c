// What the HDF5 reader process (bperp-hdf5-reader) is asked for and what it
// answers. HDF5 files are opened by that separate process alone, so that a
// file that crashes the HDF5 library or makes it allocate without bound
// costs the reader process, not the run; it is asked for a list of items
// (datasets of numbers, one integer, texts, an attribute, a group's
// presence) on its command line and answers with a small binary record on
// its standard output, which is decoded and checked whole before any of it
// is used.
//
// The reply, all numbers little-endian:
//   "BPH5" and the format's version (one byte, 1);
//   per item found, in the request's order: 'v', the item's index (u16),
//   then its value by its form: nothing for a group; a count n (u32) and n
//   doubles for a list; a count of rows n (u32) and 3n doubles for rows of
//   three; one double for a number; one int64 for an integer; a length
//   (u32) and that many bytes for a text;
//   or instead of every item, the reader's refusal: 'r', a length (u32) and
//   that many bytes of text (one line, without the file's name);
//   'e', the end, as the last byte.
// The values are the file's own as read; no check of what they mean (finite,
// in order, within bounds) is made by the reader: the caller makes them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bperp::stack {

// What the reader reads an item as.
enum class Hdf5Form {
  group,           // whether the group is there; no value
  list,            // a dataset of numbers of one dimension, at least one
  rows_of_three,   // a dataset of numbers of N x 3, N >= 1 (x, y, z of N vectors)
  number,          // one number: a scalar or a list of one
  integer,         // one integer (of an integer type), read exactly
  text,            // one text: a scalar or a list of one
  attribute_text,  // one text attribute of the dataset at path
};

// One item asked for: its form, its absolute path in the file ("/a/b"),
// the attribute's name (attribute_text alone), and the most numbers it may
// hold (list and rows of three: all of them, 3N for rows).
struct Hdf5Item {
  Hdf5Form form = Hdf5Form::list;
  std::string path;
  std::string attribute;
  std::size_t max_values = 1;
};
using Hdf5Request = std::vector<Hdf5Item>;

// The most items one request asks for, the most numbers one item may hold,
// the longest text read and the longest path asked for.
constexpr std::size_t max_hdf5_items = 32;
constexpr std::size_t max_hdf5_values = std::size_t{1} << 20;
constexpr std::size_t max_hdf5_text_bytes = 4096;
constexpr std::size_t max_hdf5_path_bytes = 1024;

// The bounds the reader process sets on itself before it opens a file: its
// address space and its processor time.
constexpr std::size_t hdf5_reader_memory_bytes = std::size_t{1} << 30;
constexpr int hdf5_reader_cpu_seconds = 10;

// The reader's exit status when its arguments are no request, and when an
// allocation failed (its memory bound reached); 0 after a reply.
constexpr int hdf5_reader_usage = 2;
constexpr int hdf5_reader_out_of_memory = 3;

// An item's value as read: the numbers (list: n, rows of three: 3n row by
// row, number: 1), the integer or the text.
struct Hdf5Value {
  std::vector<double> numbers;
  long long integer = 0;
  std::string text;
};

// The whole reply: the reader's refusal of the file, or one value per item
// of the request (nullopt for an item that is not in the file).
struct Hdf5Reply {
  std::optional<std::string> refusal;
  std::vector<std::optional<Hdf5Value>> values;
};

// The text that names item in messages: its path, or for an attribute
// "PATH attribute NAME".
std::string item_name(const Hdf5Item& item);

// The reader's command-line arguments for request (after the program's
// name): per item its form ("list:N", "rows:N", "number", "integer",
// "text", "group", "attribute") and its path, and for an attribute its
// name.
std::vector<std::string> request_arguments(const Hdf5Request& request);

// The request of the reader's arguments (after the program's name); nullopt
// and *problem set for arguments that are no request: an unknown form,
// a path that is not absolute or too long, a missing path or name, more
// than max_hdf5_items items or none, a bound beyond max_hdf5_values.
std::optional<Hdf5Request> request_from_arguments(const std::vector<std::string>& arguments,
                                                  std::string* problem);

// The most bytes a reply to request may take.
std::size_t max_reply_bytes(const Hdf5Request& request);

// The reply's bytes. reply.values has one entry per item of request, each
// value of its item's form within its bounds (the reader's own checks; a
// value that breaks them is written as it is, for decode_reply to refuse).
std::string encode_reply(const Hdf5Request& request, const Hdf5Reply& reply);

// Decodes bytes as the reply to request into reply (values one per item).
// false and *problem set (what is wrong, for a message) for bytes that are no
// such reply: another signature or version, a record of an unknown kind,
// an item's index beyond the request or not after the one before, a count
// beyond the item's bound or zero, a text that is empty (a refusal), too
// long or holds a NUL or a line break, bytes cut short or after the end, a
// refusal together with values.
bool decode_reply(std::string_view bytes, const Hdf5Request& request, Hdf5Reply& reply,
                  std::string* problem);

}  // namespace bperp::stack
