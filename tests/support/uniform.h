// A reproducible uniform random sample in [0, 1): the splitmix64 sequence,
// the same on every platform and independent of the standard library's
// distributions.
#pragma once

#include <cstdint>

namespace test_support {

class Uniform {
 public:
  explicit Uniform(std::uint64_t seed) : state_(seed) {}
  double operator()() {
    state_ += 0x9e3779b97f4a7c15ull;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1p-53;
  }
  // A uniform sample in [low, high).
  double operator()(double low, double high) { return low + (high - low) * (*this)(); }

 private:
  std::uint64_t state_;
};

}  // namespace test_support
