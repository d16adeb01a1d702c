// Files for the end-to-end tests: a fresh temporary directory per test, the
// example pair, state-vector files written at full precision, and what the
// printed results look like.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "support/files.h"

namespace bperp_test {

// Six numbers of a state vector: X Y Z (km), VX VY VZ (km/s), earth-fixed.
using Six = std::array<double, 6>;

// The temporary directory and whole-file helpers are the shared ones.
using test_support::lines_of;
using test_support::read_bytes;
using test_support::TempDir;
using test_support::write_bytes;

// The example pair in the source tree, and its six numbers as they stand there.
std::string example_master_path();
std::string example_slave_path();
Six example_master();
Six example_slave();

// A state-vector file's text: the header line, then the six numbers with
// %.17g (which reads back to the same doubles), one line for the position,
// one for the velocity.
std::string state_vector_text(const Six& v, const std::string& header = "state vector");

// printf-style formatting into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// True when the line reads as a number as a whole (strtod, blanks around
// allowed; "nan" and "inf" count) or is a labelled result (starts "para").
bool looks_like_result(const std::string& line);

// True when s is a "%f" rendering: optional '-', digits, '.', six digits.
bool is_fixed6(const std::string& s);

// The two values of an argument-form result "%f\n%f\n"; false if the text
// is not exactly two such lines.
bool parse_fixed_pair(const std::string& out, double* parallel, double* perpendicular);

// The two values of an interactive result: the prompt line, then
// "para%e perp%e\n"; false if the text is not exactly that.
bool parse_labelled(const std::string& out, double* parallel, double* perpendicular);

// The prompt of an interactive run.
inline const std::string prompt = "input file names, master and slave\t\n";

}  // namespace bperp_test
