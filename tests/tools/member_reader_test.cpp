// Tests of MemberReader: types, ranges, unknown members and the exact messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/member_reader.h"
#include "tools/scenario_error.h"

namespace {

using replay::MemberReader;
using replay::ScenarioError;

// The message of the ScenarioError that `call` throws ("" when it throws none).
template <typename Call>
std::string ErrorOf(Call call) {
  try {
    call();
  } catch (const ScenarioError& e) {
    return e.what();
  }
  return "";
}

TEST(MemberReader, AbsentMembersLeaveTheOutputAlone) {
  const json object = json::object();
  MemberReader reader(object, "");
  std::string text = "kept";
  uint8_t number = 7;
  bool flag = true;
  EXPECT_FALSE(reader.ReadString("s", text));
  EXPECT_FALSE(reader.ReadUnsigned("n", number));
  EXPECT_FALSE(reader.ReadBool("b", flag));
  EXPECT_EQ(reader.ReadObject("o"), nullptr);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(number, 7);
  EXPECT_TRUE(flag);
}

TEST(MemberReader, ReadsEachTypeAtItsLimits) {
  const json object =
      json::parse(R"({"u8":255,"u16":65535,"u32":4294967295,"u64":18446744073709551615,"b":false,)"
                  R"("d":-1.5,"f":0.1,"s":"x","l":["a","b"],"n":[1,2]})");
  MemberReader reader(object, "");
  uint8_t u8 = 0;
  uint16_t u16 = 0;
  uint32_t u32 = 0;
  uint64_t u64 = 0;
  bool b = true;
  double d = 0;
  float f = 0;
  std::string s;
  std::vector<std::string> l;
  std::vector<uint16_t> n;
  ASSERT_TRUE(reader.ReadUnsigned("u8", u8));
  ASSERT_TRUE(reader.ReadUnsigned("u16", u16));
  ASSERT_TRUE(reader.ReadUnsigned("u32", u32));
  ASSERT_TRUE(reader.ReadUnsigned("u64", u64));
  ASSERT_TRUE(reader.ReadBool("b", b));
  ASSERT_TRUE(reader.ReadDouble("d", d));
  ASSERT_TRUE(reader.ReadFloat("f", f));
  ASSERT_TRUE(reader.ReadString("s", s));
  ASSERT_TRUE(reader.ReadStrings("l", l));
  ASSERT_TRUE(reader.ReadUnsignedList("n", n));
  EXPECT_EQ(u8, 255);
  EXPECT_EQ(u16, 65535);
  EXPECT_EQ(u32, 4294967295u);
  EXPECT_EQ(u64, 18446744073709551615ull);
  EXPECT_FALSE(b);
  EXPECT_EQ(d, -1.5);
  EXPECT_EQ(f, 0.1f);
  EXPECT_EQ(s, "x");
  EXPECT_EQ(l, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(n, (std::vector<uint16_t>{1, 2}));
}

TEST(MemberReader, RefusesValuesOutOfTheFieldsRange) {
  const json object = json::parse(R"({"a":256,"b":65536,"c":4294967296,"f":1e39,"n":[1,70000]})");
  MemberReader reader(object, "tls.");
  uint8_t u8;
  uint16_t u16;
  uint32_t u32;
  float f;
  std::vector<uint16_t> n;
  EXPECT_EQ(ErrorOf([&] { reader.ReadUnsigned("a", u8); }),
            "member \"tls.a\" is out of range (0 to 255): 256");
  EXPECT_EQ(ErrorOf([&] { reader.ReadUnsigned("b", u16); }),
            "member \"tls.b\" is out of range (0 to 65535): 65536");
  EXPECT_EQ(ErrorOf([&] { reader.ReadUnsigned("c", u32); }),
            "member \"tls.c\" is out of range (0 to 4294967295): 4294967296");
  EXPECT_EQ(ErrorOf([&] { reader.ReadFloat("f", f); }),
            "member \"tls.f\" is out of range of a 32-bit float: 1e+39");
  EXPECT_EQ(ErrorOf([&] { reader.ReadUnsignedList("n", n); }),
            "member \"tls.n[1]\" is out of range (0 to 65535): 70000");
}

TEST(MemberReader, RefusesWrongTypes) {
  const json object = json::parse(
      R"({"neg":-1,"frac":1.5,"big":18446744073709551616,"str":"1","num":1,"arr":[1,"x"],)"
      R"("obj":[],"sarr":["a",2]})");
  MemberReader reader(object, "");
  uint64_t u;
  std::string s;
  bool b;
  double d;
  std::vector<std::string> l;
  std::vector<uint64_t> n;
  EXPECT_EQ(ErrorOf([&] { reader.ReadUnsigned("neg", u); }),
            "member \"neg\" must be an unsigned integer");
  EXPECT_EQ(ErrorOf([&] { reader.ReadUnsigned("frac", u); }),
            "member \"frac\" must be an unsigned integer");
  EXPECT_EQ(ErrorOf([&] { reader.ReadUnsigned("big", u); }),
            "member \"big\" must be an unsigned integer");
  EXPECT_EQ(ErrorOf([&] { reader.ReadUnsigned("str", u); }),
            "member \"str\" must be an unsigned integer");
  EXPECT_EQ(ErrorOf([&] { reader.ReadString("num", s); }), "member \"num\" must be a string");
  EXPECT_EQ(ErrorOf([&] { reader.ReadBool("num", b); }), "member \"num\" must be a boolean");
  EXPECT_EQ(ErrorOf([&] { reader.ReadDouble("str", d); }), "member \"str\" must be a number");
  EXPECT_EQ(ErrorOf([&] { reader.ReadObject("obj"); }), "member \"obj\" must be an object");
  EXPECT_EQ(ErrorOf([&] { reader.ReadStrings("num", l); }),
            "member \"num\" must be an array of strings");
  EXPECT_EQ(ErrorOf([&] { reader.ReadStrings("sarr", l); }), "member \"sarr[1]\" must be a string");
  EXPECT_EQ(ErrorOf([&] { reader.ReadUnsignedList("str", n); }),
            "member \"str\" must be an array of unsigned integers");
  EXPECT_EQ(ErrorOf([&] { reader.ReadUnsignedList("arr", n); }),
            "member \"arr[1]\" must be an unsigned integer");
}

TEST(MemberReader, NamesTheFirstUnknownMemberInKeyOrder) {
  const json object = json::parse(R"({"op":"x","zeta":1,"beta":2,"ok":3})");
  MemberReader reader(object, "stats.");
  EXPECT_EQ(ErrorOf([&] { reader.RequireKnown({"op", "ok"}); }), "unknown member \"stats.beta\"");
  EXPECT_EQ(ErrorOf([&] { reader.RequireKnown({"op", "ok", "beta", "zeta"}); }), "");
  EXPECT_EQ(ErrorOf([&] {
              reader.RequireKnown(std::vector<std::string>{"op", "ok", "beta"});
            }),
            "unknown member \"stats.zeta\"");
}

TEST(MemberReader, QuotesNamesSafely) {
  const json object = json::parse(R"({"a\"b\n":1})");
  MemberReader reader(object, "");
  EXPECT_EQ(ErrorOf([&] { reader.RequireKnown({"op"}); }), "unknown member \"a\\\"b\\n\"");
  EXPECT_EQ(replay::Quote(std::string("\xff") + "x"), "\"\xEF\xBF\xBDx\"");
}

}  // namespace
