// Doubles as JSON numbers: their decimal digits (Grisu2, or the shortest
// that read back) and the layout of those digits.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "bperp/stack/outputs/json_writer.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

// A binary number f x 2^e with a 64-bit significand.
struct Binary {
  std::uint64_t f;
  int e;
};

// x y to 64 bits: the upper half of the 128-bit product, rounded half up.
Binary multiply(Binary x, Binary y) {
  const std::uint64_t mask = 0xFFFFFFFFu;
  const std::uint64_t a = x.f >> 32, b = x.f & mask, c = y.f >> 32, d = y.f & mask;
  const std::uint64_t ad = a * d, bc = b * c;
  const std::uint64_t middle = ((b * d) >> 32) + (ad & mask) + (bc & mask) + (std::uint64_t{1} << 31);
  return {a * c + (ad >> 32) + (bc >> 32) + (middle >> 32), x.e + y.e + 64};
}

// x with the top bit of its significand set (x.f > 0).
Binary normalized(Binary x) {
  const int shift = std::countl_zero(x.f);
  return {x.f << shift, x.e - shift};
}

// 10^k for k = -300, -292, ..., 324 as f x 2^e, f the nearest integer in
// [2^63, 2^64) to 10^k / 2^e (worked out with exact rational arithmetic).
constexpr int first_power = -300;
constexpr int power_step = 8;
constexpr Binary powers_of_ten[] = {
    {0xAB70FE17C79AC6CA, -1060}, {0xFF77B1FCBEBCDC4F, -1034}, {0xBE5691EF416BD60C, -1007},
    {0x8DD01FAD907FFC3C, -980}, {0xD3515C2831559A83, -954}, {0x9D71AC8FADA6C9B5, -927},
    {0xEA9C227723EE8BCB, -901}, {0xAECC49914078536D, -874}, {0x823C12795DB6CE57, -847},
    {0xC21094364DFB5637, -821}, {0x9096EA6F3848984F, -794}, {0xD77485CB25823AC7, -768},
    {0xA086CFCD97BF97F4, -741}, {0xEF340A98172AACE5, -715}, {0xB23867FB2A35B28E, -688},
    {0x84C8D4DFD2C63F3B, -661}, {0xC5DD44271AD3CDBA, -635}, {0x936B9FCEBB25C996, -608},
    {0xDBAC6C247D62A584, -582}, {0xA3AB66580D5FDAF6, -555}, {0xF3E2F893DEC3F126, -529},
    {0xB5B5ADA8AAFF80B8, -502}, {0x87625F056C7C4A8B, -475}, {0xC9BCFF6034C13053, -449},
    {0x964E858C91BA2655, -422}, {0xDFF9772470297EBD, -396}, {0xA6DFBD9FB8E5B88F, -369},
    {0xF8A95FCF88747D94, -343}, {0xB94470938FA89BCF, -316}, {0x8A08F0F8BF0F156B, -289},
    {0xCDB02555653131B6, -263}, {0x993FE2C6D07B7FAC, -236}, {0xE45C10C42A2B3B06, -210},
    {0xAA242499697392D3, -183}, {0xFD87B5F28300CA0E, -157}, {0xBCE5086492111AEB, -130},
    {0x8CBCCC096F5088CC, -103}, {0xD1B71758E219652C, -77}, {0x9C40000000000000, -50},
    {0xE8D4A51000000000, -24}, {0xAD78EBC5AC620000, 3}, {0x813F3978F8940984, 30},
    {0xC097CE7BC90715B3, 56}, {0x8F7E32CE7BEA5C70, 83}, {0xD5D238A4ABE98068, 109},
    {0x9F4F2726179A2245, 136}, {0xED63A231D4C4FB27, 162}, {0xB0DE65388CC8ADA8, 189},
    {0x83C7088E1AAB65DB, 216}, {0xC45D1DF942711D9A, 242}, {0x924D692CA61BE758, 269},
    {0xDA01EE641A708DEA, 295}, {0xA26DA3999AEF774A, 322}, {0xF209787BB47D6B85, 348},
    {0xB454E4A179DD1877, 375}, {0x865B86925B9BC5C2, 402}, {0xC83553C5C8965D3D, 428},
    {0x952AB45CFA97A0B3, 455}, {0xDE469FBD99A05FE3, 481}, {0xA59BC234DB398C25, 508},
    {0xF6C69A72A3989F5C, 534}, {0xB7DCBF5354E9BECE, 561}, {0x88FCF317F22241E2, 588},
    {0xCC20CE9BD35C78A5, 614}, {0x98165AF37B2153DF, 641}, {0xE2A0B5DC971F303A, 667},
    {0xA8D9D1535CE3B396, 694}, {0xFB9B7CD9A4A7443C, 720}, {0xBB764C4CA7A44410, 747},
    {0x8BAB8EEFB6409C1A, 774}, {0xD01FEF10A657842C, 800}, {0x9B10A4E5E9913129, 827},
    {0xE7109BFBA19C0C9D, 853}, {0xAC2820D9623BF429, 880}, {0x80444B5E7AA7CF85, 907},
    {0xBF21E44003ACDD2D, 933}, {0x8E679C2F5E44FF8F, 960}, {0xD433179D9C8CB841, 986},
    {0x9E19DB92B4E31BA9, 1013},
};

// Moves the last digit down while that brings the digits nearer the value
// and keeps them inside its interval: rest is the distance of the digits
// below the upper boundary, dist that of the value, delta the interval's
// width, unit the last digit's weight (all in the same binary unit).
void round_toward_value(char* digits, int count, std::uint64_t dist, std::uint64_t delta, std::uint64_t rest,
                        std::uint64_t unit) {
  while (rest < dist && delta - rest >= unit && (rest + unit < dist || dist - rest > rest + unit - dist)) {
    --digits[count - 1];
    rest += unit;
  }
}

// The digits of a number in (low, high) near w, all three with the same
// binary exponent in [-60, -32]: the digits of high cut at the first that
// leaves the interval's width, then rounded toward w. Adds to *exponent
// the decimal places cut; returns the count of digits.
int interval_digits(char* digits, int* exponent, Binary low, Binary w, Binary high) {
  std::uint64_t delta = high.f - low.f;
  std::uint64_t dist = high.f - w.f;
  const int shift = -high.e;
  const std::uint64_t one = std::uint64_t{1} << shift;
  auto whole = static_cast<std::uint32_t>(high.f >> shift);  // fits: shift >= 32
  std::uint64_t fraction = high.f & (one - 1);
  std::uint32_t power = 1;
  int places = 1;
  while (places < 10 && whole >= power * 10) {
    power *= 10;
    ++places;
  }
  int count = 0;
  // The whole part, from its highest power of ten.
  while (places > 0) {
    digits[count++] = static_cast<char>('0' + whole / power);
    whole %= power;
    --places;
    const std::uint64_t rest = (std::uint64_t{whole} << shift) + fraction;
    if (rest <= delta) {
      *exponent += places;
      round_toward_value(digits, count, dist, delta, rest, std::uint64_t{power} << shift);
      return count;
    }
    power /= 10;
  }
  // The fraction, one decimal place at a time.
  int decimals = 0;
  do {
    fraction *= 10;
    digits[count++] = static_cast<char>('0' + (fraction >> shift));
    fraction &= one - 1;
    ++decimals;
    delta *= 10;
    dist *= 10;
  } while (fraction > delta);
  *exponent -= decimals;
  round_toward_value(digits, count, dist, delta, fraction, one);
  return count;
}

// Grisu2's digits of a finite value > 0: value ~ digits x 10^*exponent,
// within half a unit in the last place of the double. Returns the count of
// digits (at most 17).
int grisu2_digits(double value, char* digits, int* exponent) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const std::uint64_t hidden = std::uint64_t{1} << 52;
  const std::uint64_t biased = bits >> 52, fraction = bits & (hidden - 1);
  const Binary v = biased == 0 ? Binary{fraction, -1074} : Binary{fraction + hidden, static_cast<int>(biased) - 1075};
  // The boundaries halfway to the neighbouring doubles; the lower one is
  // nearer at a power of two (but the smallest normal).
  const Binary upper = normalized({2 * v.f + 1, v.e - 1});
  const Binary lower_raw = fraction == 0 && biased > 1 ? Binary{4 * v.f - 1, v.e - 2} : Binary{2 * v.f - 1, v.e - 1};
  const Binary lower{lower_raw.f << (lower_raw.e - upper.e), upper.e};
  // The cached 10^-k that brings the products' exponent into [-60, -32].
  const int f = -61 - upper.e;
  const int k = f * 78913 / (1 << 18) + (f > 0 ? 1 : 0);
  const int index = (-first_power + k + power_step - 1) / power_step;
  const Binary ten = powers_of_ten[index];
  *exponent = -(first_power + power_step * index);
  const Binary w = multiply(normalized(v), ten);
  Binary high = multiply(upper, ten), low = multiply(lower, ten);
  --high.f;
  ++low.f;
  return interval_digits(digits, exponent, low, w, high);
}

// The shortest digits that read back as value (finite, > 0), and the
// decimal exponent of the last: value = digits x 10^*exponent.
int shortest_digits(double value, char* digits, int* exponent) {
  if (const std::optional<ShortestDecimal> d = shortest_decimal(value)) {
    *exponent = d->exponent;
    return static_cast<int>(std::to_chars(digits, digits + 20, d->digits).ptr - digits);
  }
  char text[64];
  const char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific).ptr;
  const char* p = text;
  int count = 0;
  for (; p < end && *p != 'e'; ++p)
    if (*p != '.') digits[count++] = *p;
  int e = 0;
  std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, e);
  *exponent = e - (count - 1);
  return count;
}

// count digits with the decimal point after the first n of them (n may be
// outside them), as the JSON library lays out a double: fixed notation for
// n from -3 to 15, else scientific. Writes from at; returns the end.
char* lay_out(char* at, const char* digits, int count, int n) {
  constexpr int min_exp = -4, max_exp = 15;
  const auto put_digits = [&](int from, int to) { at = std::copy(digits + from, digits + to, at); };
  if (count <= n && n <= max_exp) {  // digits[000].0
    put_digits(0, count);
    at = std::fill_n(at, n - count, '0');
    *at++ = '.';
    *at++ = '0';
  } else if (0 < n && n <= max_exp) {  // dig.its
    put_digits(0, n);
    *at++ = '.';
    put_digits(n, count);
  } else if (min_exp < n && n <= 0) {  // 0.[000]digits
    *at++ = '0';
    *at++ = '.';
    at = std::fill_n(at, -n, '0');
    put_digits(0, count);
  } else {  // d.igitse+XX
    *at++ = digits[0];
    if (count > 1) {
      *at++ = '.';
      put_digits(1, count);
    }
    const int e = n - 1;
    *at++ = 'e';
    *at++ = e < 0 ? '-' : '+';
    const int magnitude = std::abs(e);
    if (magnitude < 10) *at++ = '0';
    at = std::to_chars(at, at + 3, magnitude).ptr;
  }
  return at;
}

}  // namespace

char* append_json_number(char* at, double value, Digits digits) {
  if (!std::isfinite(value)) return std::copy_n("null", 4, at);
  if (std::signbit(value)) {
    *at++ = '-';
    value = -value;
  }
  if (value == 0) return std::copy_n("0.0", 3, at);
  char text[32];
  int exponent = 0;
  const int count =
      digits == Digits::grisu2 ? grisu2_digits(value, text, &exponent) : shortest_digits(value, text, &exponent);
  return lay_out(at, text, count, count + exponent);
}

void append_json_number(std::string& out, double value, Digits digits) {
  char text[json_number_room];
  out.append(text, static_cast<std::size_t>(append_json_number(text, value, digits) - text));
}

}  // namespace bperp::stack
