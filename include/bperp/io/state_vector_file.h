// Reading state-vector files: a header line, then decimal numbers in free
// format (any white space between them).
//
// The header is consumed without being held (only its first bytes are kept,
// for callers that look for a date there) and is bounded, as is the stretch
// after it, so that neither a huge nor an endless input (/dev/zero) can hang
// the reader or fill the memory. Every number must be a finite decimal
// number (decimal_number); anything else is refused. Parsing does not
// depend on the locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bperp/geometry/state_vector.h"
#include "bperp/io/decimal_number.h"

namespace bperp {

// The most a header line may hold.
constexpr std::size_t max_header_bytes = 65536;
// The most bytes read after the header while looking for a state vector.
constexpr std::size_t max_state_vector_bytes = 1 << 20;
// The first bytes of the header kept for the caller.
constexpr std::size_t header_prefix_bytes = 32;

enum class FileRead { ok, cannot_open, refused };

// What a number file held: the numbers read and the header's first bytes.
struct NumberFile {
  std::vector<double> numbers;
  std::string header_prefix;  // at most header_prefix_bytes, no newline
  // Set keep_lines before reading to have lines[k] receive the line of
  // numbers[k] (the header is line 1).
  bool keep_lines = false;
  std::vector<std::uint32_t> lines;
  // errno of a failed open (cannot_open), 0 otherwise.
  int open_error = 0;
  // A refusal for a failed read of the stream, not for its content.
  bool read_failed = false;
};

// Reads the header and then numbers from stream: exactly `count` of them
// when exact is true (anything after them is ignored; fewer is refused), or
// every number up to the end otherwise (at most `count`). At most max_bytes
// are read after the header. On refusal, *problem says why, in words.
// A stream with a file descriptor is read through it, in blocks (so it
// must not have been read from before; its position afterwards is
// unspecified); one in memory (fmemopen) through stdio.
FileRead read_numbers(std::FILE* stream, std::size_t count, bool exact, std::size_t max_bytes,
                      NumberFile& out, std::string* problem);

// The same from the file at path; cannot_open when it can't be opened.
FileRead read_number_file(const char* path, std::size_t count, bool exact, std::size_t max_bytes,
                          NumberFile& out, std::string* problem);

// The six numbers X Y Z VX VY VZ of a state-vector file (km, km/s).
FileRead read_state_vector(std::FILE* stream, StateVector& out, std::string* problem);
FileRead read_state_vector_file(const char* path, StateVector& out, std::string* problem);

}  // namespace bperp
