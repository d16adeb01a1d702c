// What the fuzz harnesses share: reading bytes as a file, and the report of a
// violated property (an abort, so that libFuzzer keeps the input that did it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "bperp/io/state_vector_file.h"

namespace bperp::fuzz {

// Prints what was expected and aborts.
[[noreturn]] void violated(const char* property, const char* file, int line);

#define FUZZ_CHECK(condition)                                             \
  do {                                                                   \
    if (!(condition)) ::bperp::fuzz::violated(#condition, __FILE__, __LINE__); \
  } while (0)

// A read-only stream over size bytes at data (NUL bytes included; an empty
// input is an empty stream). Never null: failing to make one aborts.
std::FILE* memory_stream(const std::uint8_t* data, std::size_t size);

// What the reader made of some bytes.
struct Reading {
  FileRead status = FileRead::cannot_open;
  StateVector vector;
  std::string problem;
};
Reading read_bytes(const std::uint8_t* data, std::size_t size);

// True when a and b hold the same bits (tells -0 from +0, compares NaNs).
bool same_bits(double a, double b);
bool same_bits(const StateVector& a, const StateVector& b);

// A state vector as a writer of such files would put it: a header line and
// the six numbers with all the digits a double needs ("%.17g"), separated
// by `gap`.
std::string canonical_file(const StateVector& sv, const char* header, const char* gap);

// True when text is one line of printable ASCII (as a message must be).
bool printable_line(const std::string& text);

}  // namespace bperp::fuzz
