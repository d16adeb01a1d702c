// The HDF5 reader's request and reply: every form round trips bit for bit,
// and replies that are cut, padded, out of order or beyond their bounds are
// refused rather than read.
#include "bperp/stack/hdf5/hdf5_reply.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace bperp::stack {
namespace {

const Hdf5Request request = {
    {Hdf5Form::group, "/g", "", 1},
    {Hdf5Form::list, "/g/time", "", 4},
    {Hdf5Form::rows_of_three, "/g/position", "", 6},
    {Hdf5Form::number, "/w", "", 1},
    {Hdf5Form::integer, "/p", "", 1},
    {Hdf5Form::text, "/e", "", 1},
    {Hdf5Form::attribute_text, "/g/time", "units", 1},
};

Hdf5Value numbers(std::vector<double> v) { return Hdf5Value{std::move(v), 0, {}}; }

// A reply of every form, with values whose bits a lossy coding would change:
// a NaN with a payload, -0, the smallest subnormal, the extremes of int64.
Hdf5Reply full_reply() {
  Hdf5Reply r;
  r.values.resize(request.size());
  r.values[0] = Hdf5Value{};
  r.values[1] = numbers({1.5, -0.0, std::bit_cast<double>(std::uint64_t{0x7ff8000000000123}), 4.9e-324});
  r.values[2] = numbers({1, 2, 3, 4, 5, 6});
  r.values[3] = numbers({0.05546576});
  r.values[4] = Hdf5Value{{}, std::numeric_limits<long long>::min(), {}};
  r.values[5] = Hdf5Value{{}, 0, "2023-10-19 14:07:57.529716"};
  r.values[6] = Hdf5Value{{}, 0, ""};
  return r;
}

TEST(Hdf5Reply, EveryFormRoundTripsBitForBit) {
  const Hdf5Reply sent = full_reply();
  Hdf5Reply got;
  std::string problem;
  ASSERT_TRUE(decode_reply(encode_reply(request, sent), request, got, &problem)) << problem;
  ASSERT_FALSE(got.refusal);
  ASSERT_EQ(got.values.size(), request.size());
  for (std::size_t k = 0; k < request.size(); ++k) {
    ASSERT_TRUE(got.values[k]) << k;
    ASSERT_EQ(got.values[k]->numbers.size(), sent.values[k]->numbers.size()) << k;
    for (std::size_t i = 0; i < sent.values[k]->numbers.size(); ++i)
      EXPECT_EQ(std::bit_cast<std::uint64_t>(got.values[k]->numbers[i]),
                std::bit_cast<std::uint64_t>(sent.values[k]->numbers[i]))
          << k << " " << i;
    EXPECT_EQ(got.values[k]->integer, sent.values[k]->integer) << k;
    EXPECT_EQ(got.values[k]->text, sent.values[k]->text) << k;
  }
  // Items not in the file stay absent; a refusal comes alone.
  Hdf5Reply sparse;
  sparse.values.resize(request.size());
  sparse.values[3] = numbers({2.0});
  ASSERT_TRUE(decode_reply(encode_reply(request, sparse), request, got, &problem)) << problem;
  EXPECT_FALSE(got.values[0] || got.values[2] || got.values[4]);
  EXPECT_EQ(got.values[3]->numbers, std::vector<double>{2.0});
  ASSERT_TRUE(decode_reply(encode_reply(request, Hdf5Reply{"/g/time is empty", {}}), request, got, &problem));
  EXPECT_EQ(got.refusal, "/g/time is empty");
}

TEST(Hdf5Reply, DamagedRepliesAreRefused) {
  const std::string good = encode_reply(request, full_reply());
  // The rows item (index 2): 'v', index, count, then 3n doubles.
  const std::size_t rows_at = good.find(std::string("v\x02\x00", 3));
  ASSERT_NE(rows_at, std::string::npos);
  std::string too_many_rows = good;
  too_many_rows[rows_at + 3] = 3;  // 3 rows where 2 may be
  std::string repeated = good;     // index 2 said again where 3 stands
  repeated[good.find(std::string("v\x03\x00", 3)) + 1] = 2;
  std::string unknown_index = good;
  unknown_index[good.find(std::string("v\x06\x00", 3)) + 1] = 7;
  std::string nul_in_text = good;
  nul_in_text[good.find("2023")] = '\0';
  const std::string refusal = encode_reply(request, Hdf5Reply{"no", {}});
  struct Case {
    const char* what;
    std::string bytes;
    const char* words;
  };
  const Case cases[] = {
      {"empty", "", "it is empty"},
      {"other signature", "XPH5" + good.substr(4), "signature"},
      {"other version", good.substr(0, 4) + '\x02' + good.substr(5), "version 2"},
      {"cut short", good.substr(0, good.size() - 9), "cut short"},
      {"no end", good.substr(0, good.size() - 1), "no end"},
      {"bytes after the end", good + "e", "after its end"},
      {"count beyond the bound", too_many_rows, "count of 3, not 1 to 2"},
      {"index repeated", repeated, "out of order"},
      {"index beyond the request", unknown_index, "item 7, of 7 asked for"},
      {"NUL in a text", nul_in_text, "NUL"},
      {"unknown record", good.substr(0, 5) + "x" + good.substr(5), "unknown kind"},
      {"refusal and values", good.substr(0, good.size() - 1) + refusal.substr(5), "together with values"},
      {"refusal of two lines", encode_reply(request, Hdf5Reply{"a\nb", {}}), "more than one line"},
  };
  for (const Case& c : cases) {
    Hdf5Reply got;
    std::string problem;
    EXPECT_FALSE(decode_reply(c.bytes, request, got, &problem)) << c.what;
    EXPECT_NE(problem.find(c.words), std::string::npos) << c.what << ": " << problem;
  }
}

// The request goes through the reader's command line and comes back the
// same; arguments that are no request are refused.
TEST(Hdf5Reply, RequestsRoundTripThroughArguments) {
  std::string problem;
  const std::optional<Hdf5Request> back = request_from_arguments(request_arguments(request), &problem);
  ASSERT_TRUE(back) << problem;
  ASSERT_EQ(back->size(), request.size());
  for (std::size_t k = 0; k < request.size(); ++k) {
    EXPECT_EQ((*back)[k].form, request[k].form) << k;
    EXPECT_EQ((*back)[k].path, request[k].path) << k;
    EXPECT_EQ((*back)[k].attribute, request[k].attribute) << k;
    EXPECT_EQ((*back)[k].max_values, request[k].max_values) << k;
  }
  using Args = std::vector<std::string>;
  for (const Args& bad : {Args{}, Args{"list", "/a"}, Args{"list:0", "/a"}, Args{"list:1048577", "/a"},
                          Args{"text:3", "/a"}, Args{"text", "a"}, Args{"attribute", "/a"}, Args{"shape", "/a"},
                          Args{"text", std::string(1025, '/')}})
    EXPECT_FALSE(request_from_arguments(bad, &problem)) << testing::PrintToString(bad);
  EXPECT_GE(max_reply_bytes(request), encode_reply(request, full_reply()).size());
}

}  // namespace
}  // namespace bperp::stack
