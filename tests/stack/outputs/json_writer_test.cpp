// The streaming JSON writer against nlohmann-json, which wrote the stack's
// documents before: random documents and random bytes must come out byte
// for byte as its dump(2, ' ', false, replace) writes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "bperp/stack/outputs/json_writer.h"

namespace bperp::stack {
namespace {

using Json = nlohmann::ordered_json;

std::string dumped(const Json& j) { return j.dump(2, ' ', false, Json::error_handler_t::replace); }

// Bytes that try every branch of the escaper: controls, quotes, ASCII,
// DEL, continuation bytes, lead bytes (valid and not) and whole valid
// sequences of two to four bytes.
std::string random_bytes(std::mt19937_64& random, std::size_t max_length) {
  static const char* const pieces[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x9B\xB0", "\xED\x9F\xBF",
                                       "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF", "\"", "\\", "/", "\x7F"};
  std::string s;
  const std::size_t length = random() % (max_length + 1);
  while (s.size() < length) {
    switch (random() % 4) {
      case 0: s += static_cast<char>(random() % 0x20); break;          // controls
      case 1: s += static_cast<char>(0x20 + random() % 0x60); break;   // ASCII
      case 2: s += static_cast<char>(0x80 + random() % 0x80); break;   // high bytes
      default: s += pieces[random() % std::size(pieces)];
    }
  }
  return s;
}

// A double from every part of the range: random bits, subnormals, short
// decimals, whole numbers, zeros.
double random_double(std::mt19937_64& random) {
  std::uint64_t bits = random();
  switch (random() % 5) {
    case 0: bits &= 0x800FFFFFFFFFFFFFu; break;  // subnormal or zero
    case 1: return static_cast<double>(static_cast<long long>(random() % 2000001) - 1000000) /
                   std::pow(10.0, static_cast<double>(random() % 12));
    case 2: return static_cast<double>(static_cast<long long>(random() >> (random() % 64)));
    default: break;
  }
  double x;
  std::memcpy(&x, &bits, sizeof x);
  return std::isfinite(x) ? x : -0.0;
}

Json random_value(std::mt19937_64& random, int depth) {
  switch (random() % (depth < 4 ? 8 : 6)) {
    case 0: return nullptr;
    case 1: return random() % 2 == 0;
    case 2: return static_cast<long long>(random()) >> (random() % 64);
    case 3: return random_double(random);
    case 4:
    case 5: return random_bytes(random, 12);
    case 6: {
      Json a = Json::array();
      for (std::size_t n = random() % 5; n > 0; --n) a.push_back(random_value(random, depth + 1));
      return a;
    }
    default: {
      Json o = Json::object();
      for (std::size_t n = random() % 5; n > 0; --n) o[random_bytes(random, 8)] = random_value(random, depth + 1);
      return o;
    }
  }
}

// The document written through the writer, walking it as a program would;
// scalar members of even places through member(), with their names kept
// across the document's depths.
void write(JsonWriter& w, const Json& j, std::map<std::string, JsonName>& names) {
  switch (j.type()) {
    case Json::value_t::null: w.null(); break;
    case Json::value_t::boolean: w.boolean(j.get<bool>()); break;
    case Json::value_t::number_integer: w.whole(j.get<long long>()); break;
    case Json::value_t::number_float: w.number(j.get<double>()); break;
    case Json::value_t::string: w.string(j.get<std::string>()); break;
    case Json::value_t::array:
      w.begin_array();
      for (const Json& e : j) write(w, e, names);
      w.end_array();
      break;
    default:
      w.begin_object();
      std::size_t place = 0;
      for (const auto& [k, v] : j.items()) {
        if (place++ % 2 == 0 && !v.is_structured()) {
          w.member(names.try_emplace(k, k).first->second, dumped(v));
          continue;
        }
        w.key(k);
        write(w, v, names);
      }
      w.end_object();
  }
}

std::string written(const Json& j) {
  std::FILE* f = std::tmpfile();
  {
    JsonWriter w(f);
    std::map<std::string, JsonName> names;
    write(w, j, names);
    w.finish();
  }
  std::string text;
  std::rewind(f);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  return text;
}

TEST(JsonWriter, RandomDocumentsAsNlohmannDumpsThem) {
  std::mt19937_64 random(20250406);
  for (int i = 0; i < 3000; ++i) {
    const Json document = random_value(random, 0);
    ASSERT_EQ(written(document), dumped(document) + "\n") << "document " << i;
  }
  // Past the 64 KiB the writer gathers before writing, with the
  // containers it leaves open across the writes.
  Json big = Json::object();
  for (int i = 0; i < 3000; ++i) big[std::to_string(i)] = {random_double(random), random_bytes(random, 40)};
  EXPECT_EQ(written(big), dumped(big) + "\n");
}

TEST(JsonWriter, RandomBytesEscapedAsNlohmannEscapesThem) {
  std::mt19937_64 random(58630);
  for (int i = 0; i < 200000; ++i) {
    const std::string bytes = random_bytes(random, 10);
    std::string mine;
    append_json_string(mine, bytes);
    ASSERT_EQ(mine, dumped(Json(bytes))) << testing::PrintToString(bytes);
  }
}

// Grisu2 gives nlohmann's digits; the shortest form reads back exactly with
// the fewest digits (printf's with one fewer do not), laid out as nlohmann
// lays out its own digits wherever it finds as few.
TEST(JsonWriter, DoublesInBothDigitForms) {
  std::mt19937_64 random(1074);
  for (int i = 0; i < 300000; ++i) {
    const double x = random_double(random);
    std::string grisu2, shortest;
    append_json_number(grisu2, x, Digits::grisu2);
    append_json_number(shortest, x, Digits::shortest);
    ASSERT_EQ(grisu2, dumped(Json(x))) << x;
    ASSERT_EQ(std::strtod(shortest.c_str(), nullptr), x) << shortest;
    const auto digits = [](const std::string& text) {  // significant digits
      std::string d;
      for (const char c : text.substr(0, text.find('e')))
        if (std::isdigit(static_cast<unsigned char>(c)) && (c != '0' || !d.empty())) d += c;
      while (d.size() > 1 && d.back() == '0') d.pop_back();
      return std::max<int>(1, static_cast<int>(d.size()));
    };
    // One digit fewer, rounded by printf, no longer reads back (nor then
    // any fewer).
    const int fewest = digits(shortest);
    char printed[64];
    std::snprintf(printed, sizeof printed, "%.*e", fewest - 2, x);
    if (fewest > 1) { ASSERT_NE(std::strtod(printed, nullptr), x) << shortest << " " << printed; }
    // Where Grisu2 finds as few digits (not always the same last one), the
    // same layout: point and exponent in the same places.
    const auto shape = [](std::string text) {
      for (char& c : text) {
        if (c == 'e') break;
        if (std::isdigit(static_cast<unsigned char>(c))) c = '#';
      }
      return text;
    };
    if (digits(grisu2) == fewest) { ASSERT_EQ(shape(shortest), shape(grisu2)); }
  }
  for (const double x : {NAN, INFINITY, -INFINITY}) {
    std::string text;
    append_json_number(text, x, Digits::shortest);
    EXPECT_EQ(text, "null");
  }
}

}  // namespace
}  // namespace bperp::stack
