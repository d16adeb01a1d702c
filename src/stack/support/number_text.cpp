#include "bperp/stack/support/number_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace bperp::stack {

namespace {

// Room for any double in fixed form with up to 20 decimals.
constexpr int text_room = 400;

}  // namespace

std::string fixed_text(double value, int decimals) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char text[text_room];
  const auto result =
      std::to_chars(text, text + text_room, value, std::chars_format::fixed, decimals);
  return std::string(text, result.ptr);
}

char* append_fixed_unsigned_zero(char* first, char* last, double value, int decimals) {
  char* end = std::to_chars(first, last, value, std::chars_format::fixed, decimals).ptr;
  const auto zero = [](char c) { return c == '0' || c == '.'; };
  if (*first == '-' && std::all_of(first + 1, end, zero)) {  // "-0.000": no sign below its digits
    std::memmove(first, first + 1, static_cast<std::size_t>(end - first - 1));
    --end;
  }
  return end;
}

std::string fixed_text_unsigned_zero(double value, int decimals) {
  if (!std::isfinite(value)) return fixed_text(value, decimals);
  char text[text_room];
  return std::string(text, append_fixed_unsigned_zero(text, text + text_room, value, decimals));
}

std::string round_trip_text(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char text[text_room];
  const auto result = std::to_chars(text, text + text_room, value);
  return std::string(text, result.ptr);
}

namespace {

__extension__ typedef unsigned __int128 Wide;  // the exact products below need 125 bits

// 10^k for k = 0 .. 21, exact.
constexpr std::array<Wide, 22> powers_of_ten = [] {
  std::array<Wide, 22> p{};
  p[0] = 1;
  for (std::size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 10;
  return p;
}();

// "00" to "99".
constexpr std::array<char, 200> two_digits = [] {
  std::array<char, 200> t{};
  for (int k = 0; k < 100; ++k) {
    t[static_cast<std::size_t>(2 * k)] = static_cast<char>('0' + k / 10);
    t[static_cast<std::size_t>(2 * k + 1)] = static_cast<char>('0' + k % 10);
  }
  return t;
}();

// Writes the decimal digits of n so that they end at end; returns where
// they begin. Eight at a time in 32 bits, two by two.
char* digits_ending_at(char* end, std::uint64_t n) {
  const auto two = [&end](std::uint32_t k) {
    end -= 2;
    std::copy_n(&two_digits[2 * k], 2, end);
  };
  while (n >= 100000000) {
    std::uint32_t eight = static_cast<std::uint32_t>(n % 100000000);
    n /= 100000000;
    for (int i = 0; i < 4; ++i, eight /= 100) two(eight % 100);
  }
  std::uint32_t rest = static_cast<std::uint32_t>(n);
  for (; rest >= 100; rest /= 100) two(rest % 100);
  if (rest >= 10) two(rest);
  else *--end = static_cast<char>('0' + rest);
  return end;
}

}  // namespace

std::optional<ShortestDecimal> shortest_decimal(double x) {
  // x = m 2^e, m of 53 bits; the doubles next to it are 2^e apart (half
  // that below a power of two), so the decimals that read back as x are
  // those within half of it: [4m - 2, 4m + 2] (or [4m - 1, ...]) units of
  // 2^(e - 2), the ends included when m is even (a tie reads back as the
  // even one).
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  const int biased = static_cast<int>(bits >> 52);
  constexpr std::uint64_t hidden = std::uint64_t{1} << 52;
  const std::uint64_t m = (bits & (hidden - 1)) | hidden;
  const int e = biased - 1075;
  if (bits >> 63 || biased == 0 || e < -66 || e > -1) return std::nullopt;  // outside 2^-14 <= x < 2^52
  const int s = 2 - e;                                                     // the units: 2^-s
  const Wide mask = (Wide{1} << s) - 1;
  const std::uint64_t low = 4 * m - (m == hidden ? 1 : 2), high = 4 * m + 2, mid = 4 * m;
  const bool ends = m % 2 == 0;
  // 10^q <= 2^e < 10^(q + 1): the interval holds at least one decimal
  // k 10^q (but below a power of two, where it is narrower) and at most
  // one multiple of 10^(q + 1), which is then the shortest.
  const int q = (e * 78913) >> 18;  // floor(e log10(2)) for |e| < 1650
  for (int level = q; level >= std::max(q - 2, -21); --level) {
    const Wide scale = powers_of_ten[static_cast<std::size_t>(-level)];
    const Wide v = static_cast<Wide>(mid) * scale;
    const Wide lo = v - static_cast<Wide>(mid - low) * scale, hi = v + static_cast<Wide>(high - mid) * scale;
    const std::uint64_t first = static_cast<std::uint64_t>(ends ? (lo + mask) >> s : (lo >> s) + 1);
    const std::uint64_t last = static_cast<std::uint64_t>(ends ? hi >> s : (hi - 1) >> s);
    if (first > last) continue;
    ShortestDecimal d{last / 10 * 10, level};
    if (d.digits >= first) {  // a multiple of 10 inside: the shortest, without its zeros
      do {
        d.digits /= 10;
        ++d.exponent;
      } while (d.digits % 10 == 0);
      return d;
    }
    // The one nearest x: x rounded to this level (a tie to even), kept inside.
    std::uint64_t k = static_cast<std::uint64_t>(v >> s);
    const Wide rest = v & mask, half = Wide{1} << (s - 1);
    if (rest > half || (rest == half && k % 2 != 0)) ++k;
    d.digits = std::clamp(k, first, last);
    return d;
  }
  return std::nullopt;
}

char* append_shortest(char* first, double value) {
  const std::optional<ShortestDecimal> d =
      std::isfinite(value) && value != 0.0 ? shortest_decimal(std::fabs(value)) : std::nullopt;
  if (!d) return std::to_chars(first, first + shortest_room, value).ptr;
  char* p = first;
  if (value < 0) *p++ = '-';
  // The digits end at the middle of text, so that a copy of a fixed 24
  // bytes from any of them stays inside (the bytes after the last digit
  // are overwritten or left beyond the end returned).
  char text[48] = {};
  const char* digits = digits_ending_at(text + 24, d->digits);
  const int n = static_cast<int>(text + 24 - digits);
  const auto put = [&p](const char* from, int count) {
    std::memcpy(p, from, 24);
    p += count;
  };
  const int point = n + d->exponent;  // digits before the decimal point (may be <= 0 or > n)
  const int x = point - 1;            // the scientific exponent
  const int scientific = n + (n > 1 ? 1 : 0) + 2 + (std::abs(x) >= 100 ? 3 : 2);
  const int fixed = d->exponent >= 0 ? point : point > 0 ? n + 1 : n + 2 - point;
  if (fixed <= scientific) {  // fixed wins a tie, as in std::to_chars
    if (d->exponent >= 0) {
      put(digits, n);
      p = std::fill_n(p, d->exponent, '0');
    } else if (point > 0) {
      put(digits, point);
      *p++ = '.';
      put(digits + point, n - point);
    } else {
      *p++ = '0';
      *p++ = '.';
      p = std::fill_n(p, -point, '0');
      put(digits, n);
    }
    return p;
  }
  *p++ = digits[0];
  if (n > 1) {
    *p++ = '.';
    put(digits + 1, n - 1);
  }
  *p++ = 'e';
  *p++ = x < 0 ? '-' : '+';
  if (std::abs(x) < 10) *p++ = '0';
  return std::to_chars(p, p + 4, std::abs(x)).ptr;
}

std::string metres_text_from_km(double km) {
  // Decimals of bperp's "%f" and the places the point moves from km to m.
  constexpr int km_decimals = 6;
  constexpr int km_to_m_places = 3;
  const std::string k = fixed_text(km, km_decimals);
  const std::size_t point = k.find('.');
  if (!std::isfinite(km) || point == std::string::npos) return k;
  const bool negative = (k[0] == '-');
  const std::string whole = k.substr(negative ? 1 : 0, point - (negative ? 1 : 0));
  std::string digits = whole + k.substr(point + 1, km_to_m_places);
  const std::size_t first = digits.find_first_not_of('0');
  digits = (first == std::string::npos) ? "0" : digits.substr(first);
  return (negative ? "-" : "") + digits + "." + k.substr(point + 1 + km_to_m_places);
}

std::string count_text(std::size_t count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace bperp::stack
