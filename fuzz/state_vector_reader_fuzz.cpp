// Fuzz target: the state-vector file reader on arbitrary bytes.
//
// Besides surviving, every input is judged a second time by a reading of the
// file written here from scratch (a regular expression for the number
// grammar, strtod for the value), and the reader must agree with it:
// - refused: a problem in words, on one printable line, and the caller's
//   state vector left as it was;
// - accepted: six finite numbers, bit for bit the values strtod gives for the
//   first six words after the header, and the same six numbers written back
//   out with all their digits read in again bit for bit.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "bperp/io/state_vector_file.h"
#include "fuzz_support.h"

namespace {

using bperp::FileRead;
using bperp::StateVector;
using namespace bperp::fuzz;

enum class Verdict { accept, refuse, unknown };

struct Judgement {
  Verdict verdict = Verdict::unknown;
  double six[6] = {0, 0, 0, 0, 0, 0};
};

bool white(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// An independent reading: header line, then the first six white-space
// separated words, each a finite decimal number. Words long enough to meet
// the reader's limit on a word are not judged.
Judgement judge(const std::uint8_t* data, std::size_t size) {
  static const std::regex decimal(R"([+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?)");
  Judgement j;
  const void* newline = std::memchr(data, '\n', size);
  if (newline == nullptr) {
    j.verdict = Verdict::refuse;  // header without end, or no numbers at all
    return j;
  }
  const std::size_t header = static_cast<std::size_t>(static_cast<const std::uint8_t*>(newline) - data);
  if (header > bperp::max_header_bytes) {
    j.verdict = Verdict::refuse;
    return j;
  }
  if (size - header > bperp::max_state_vector_bytes / 2) return j;  // not judged

  std::size_t i = header + 1;
  for (int n = 0; n < 6; ++n) {
    while (i < size && white(data[i])) ++i;
    if (i == size) {
      j.verdict = Verdict::refuse;  // fewer than six numbers
      return j;
    }
    const std::size_t start = i;
    while (i < size && !white(data[i])) ++i;
    const std::string word(reinterpret_cast<const char*>(data) + start, i - start);
    if (word.size() >= 100) return j;  // not judged
    if (!std::regex_match(word, decimal)) {
      j.verdict = Verdict::refuse;
      return j;
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(word.c_str(), &end);
    FUZZ_CHECK(end == word.c_str() + word.size());  // the grammar is a subset of strtod's
    if (!std::isfinite(v)) {
      j.verdict = Verdict::refuse;  // beyond the largest double
      return j;
    }
    j.six[n] = v;
  }
  j.verdict = Verdict::accept;
  return j;
}

StateVector sentinel() {
  StateVector sv;
  for (int i = 0; i < 3; ++i) {
    sv.position[i] = -1234.5678 - i;
    sv.velocity[i] = 8765.4321 + i;
  }
  return sv;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const StateVector before = sentinel();
  StateVector sv = before;
  std::string problem;
  std::FILE* stream = memory_stream(data, size);
  const FileRead status = bperp::read_state_vector(stream, sv, &problem);
  std::fclose(stream);
  FUZZ_CHECK(status == FileRead::ok || status == FileRead::refused);

  const Judgement j = judge(data, size);
  if (status == FileRead::refused) {
    FUZZ_CHECK(j.verdict != Verdict::accept);
    FUZZ_CHECK(!problem.empty());
    FUZZ_CHECK(printable_line(problem));
    FUZZ_CHECK(same_bits(sv, before));  // nothing of a refused file is used
    return 0;
  }

  FUZZ_CHECK(j.verdict != Verdict::refuse);
  const double six[6] = {sv.position[0], sv.position[1], sv.position[2],
                         sv.velocity[0], sv.velocity[1], sv.velocity[2]};
  for (int i = 0; i < 6; ++i) {
    FUZZ_CHECK(std::isfinite(six[i]));
    if (j.verdict == Verdict::accept) FUZZ_CHECK(same_bits(six[i], j.six[i]));
  }

  // Written out with all its digits, the state vector reads back unchanged,
  // whatever white space stands between the numbers.
  for (const char* gap : {" ", "\r\n", "\t\t"}) {
    const std::string text = canonical_file(sv, "canonical header, 6 numbers", gap);
    const Reading again =
        read_bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    FUZZ_CHECK(again.status == FileRead::ok);
    FUZZ_CHECK(same_bits(again.vector, sv));
  }
  return 0;
}
