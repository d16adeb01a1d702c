#include "fuzz_support.h"

#include <cstdlib>
#include <cstring>

namespace bperp::fuzz {

void violated(const char* property, const char* file, int line) {
  std::fprintf(stderr, "\nproperty violated at %s:%d: %s\n", file, line, property);
  std::fflush(stderr);
  std::abort();
}

std::FILE* memory_stream(const std::uint8_t* data, std::size_t size) {
  // fmemopen wants a writable buffer even for reading, and a real one when
  // the input is empty.
  static std::uint8_t empty[1];
  void* buffer = size == 0 ? empty : const_cast<std::uint8_t*>(data);
  std::FILE* stream = fmemopen(buffer, size, "r");
  if (stream == nullptr) violated("fmemopen gives a stream", __FILE__, __LINE__);
  return stream;
}

Reading read_bytes(const std::uint8_t* data, std::size_t size) {
  Reading r;
  std::FILE* stream = memory_stream(data, size);
  r.status = read_state_vector(stream, r.vector, &r.problem);
  std::fclose(stream);
  return r;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool same_bits(const StateVector& a, const StateVector& b) {
  for (int i = 0; i < 3; ++i)
    if (!same_bits(a.position[i], b.position[i]) || !same_bits(a.velocity[i], b.velocity[i]))
      return false;
  return true;
}

std::string canonical_file(const StateVector& sv, const char* header, const char* gap) {
  std::string text = header;
  text += '\n';
  const double six[6] = {sv.position[0], sv.position[1], sv.position[2],
                         sv.velocity[0], sv.velocity[1], sv.velocity[2]};
  for (int i = 0; i < 6; ++i) {
    char number[40];
    std::snprintf(number, sizeof number, "%.17g", six[i]);
    text += number;
    text += (i == 5) ? "\n" : gap;
  }
  return text;
}

bool printable_line(const std::string& text) {
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7f) return false;
  }
  return true;
}

}  // namespace bperp::fuzz
