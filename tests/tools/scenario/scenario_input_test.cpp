// Tests of reading a scenario: its lines, the typed members of an op, the counter and status
// records, and the exact message of each refusal.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "replay_support.h"
#include "tools/scenario/member_reader.h"
#include "tools/scenario/record_readers.h"
#include "tools/scenario/scenario_error.h"
#include "tools/scenario/scenario_reader.h"

namespace {

using korvel_test::Join;
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

TEST(ScenarioReader, SkipsBlankAndCommentLinesAndCountsEveryLine) {
  std::istringstream in(
      "# a comment\n\n   \t\r\n{\"op\":\"sync\"}\n  # indented comment\n"
      "{\"op\":\"sleep\",\"ms\":5}\r\n{\"op\":\"walk\"}");  // no final newline
  replay::ScenarioReader reader(in);
  std::vector<std::string> ops;
  for (replay::ScenarioOp op; reader.Next(op);) ops.push_back(Join(op.line, op.name, op.object));
  EXPECT_EQ(ops,
            (std::vector<std::string>{R"(4 sync {"op":"sync"})", R"(6 sleep {"ms":5,"op":"sleep"})",
                                      R"(7 walk {"op":"walk"})"}));
  EXPECT_EQ(reader.LineNumber(), 7u);

  // Deep nesting is read without recursion.
  std::istringstream deep("{\"op\":\"config\",\"json\":" + std::string(100000, '[') +
                          std::string(100000, ']') + "}");
  replay::ScenarioReader deep_reader(deep);
  replay::ScenarioOp op;
  ASSERT_TRUE(deep_reader.Next(op));
  EXPECT_EQ(op.name, "config");
}

TEST(ScenarioReader, LineErrorsNameTheLine) {
  const std::string parse_error = korvel_test::ParseError("{\"op\":");
  const std::pair<std::string, std::string> cases[] = {
      {"{\"op\":", "invalid JSON: " + parse_error},     {"[1,2]", "an op must be a JSON object"},
      {"\"sync\"", "an op must be a JSON object"},      {"{\"ms\":1}", "missing member \"op\""},
      {"{\"op\":7}", "member \"op\" must be a string"},
  };
  for (const auto& [line, message] : cases) {
    std::istringstream in("# first\n" + line + "\n{\"op\":\"sync\"}\n");
    replay::ScenarioReader reader(in);
    replay::ScenarioOp op;
    EXPECT_EQ(ErrorOf([&] { reader.Next(op); }), message) << line;
    EXPECT_EQ(reader.LineNumber(), 2u);
  }
}

TEST(MemberReader, ReadsEachTypeAtItsLimitsAndLeavesAbsentOnesAlone) {
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
  EXPECT_EQ(
      Join(reader.ReadUnsigned("u8", u8), reader.ReadUnsigned("u16", u16),
           reader.ReadUnsigned("u32", u32), reader.ReadUnsigned("u64", u64),
           reader.ReadBool("b", b), reader.ReadDouble("d", d), reader.ReadFloat("f", f),
           reader.ReadString("s", s), reader.ReadStrings("l", l), reader.ReadUnsignedList("n", n)),
      "1 1 1 1 1 1 1 1 1 1");
  EXPECT_EQ(Join(u8, u16, u32, u64, b, d, s, l, n),
            "255 65535 4294967295 18446744073709551615 0 -1.5 x [a,b] [1,2]");
  EXPECT_EQ(f, 0.1f);
  b = true;
  EXPECT_EQ(Join(reader.ReadString("none", s), reader.ReadUnsigned("none", u8),
                 reader.ReadBool("none", b), reader.ReadObject("none") == nullptr, s, u8, b),
            "0 0 0 1 x 255 1");
}

TEST(MemberReader, Refusals) {
  const json object = json::parse(
      R"({"a":256,"b":65536,"c":4294967296,"f":1e39,"n":[1,70000],"neg":-1,"frac":1.5,)"
      R"("big":18446744073709551616,"str":"1","num":1,"arr":[1,"x"],"obj":[],"sarr":["a",2],)"
      R"("a\"b\n":1})");
  MemberReader tls(object, "tls.");
  MemberReader reader(object, "");
  uint8_t u8;
  uint16_t u16;
  uint32_t u32;
  uint64_t u64;
  float f;
  double d;
  bool b;
  std::string s;
  std::vector<uint16_t> n16;
  std::vector<uint64_t> n64;
  std::vector<std::string> l;
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { tls.ReadUnsigned("a", u8); }, "member \"tls.a\" is out of range (0 to 255): 256"},
      {[&] { tls.ReadUnsigned("b", u16); }, "member \"tls.b\" is out of range (0 to 65535): 65536"},
      {[&] { tls.ReadUnsigned("c", u32); },
       "member \"tls.c\" is out of range (0 to 4294967295): 4294967296"},
      {[&] { tls.ReadFloat("f", f); }, "member \"tls.f\" is out of range of a 32-bit float: 1e+39"},
      {[&] { tls.ReadUnsignedList("n", n16); },
       "member \"tls.n[1]\" is out of range (0 to 65535): 70000"},
      {[&] { reader.ReadUnsigned("neg", u64); }, "member \"neg\" must be an unsigned integer"},
      {[&] { reader.ReadUnsigned("frac", u64); }, "member \"frac\" must be an unsigned integer"},
      {[&] { reader.ReadUnsigned("big", u64); }, "member \"big\" must be an unsigned integer"},
      {[&] { reader.ReadUnsigned("str", u64); }, "member \"str\" must be an unsigned integer"},
      {[&] { reader.ReadString("num", s); }, "member \"num\" must be a string"},
      {[&] { reader.ReadBool("num", b); }, "member \"num\" must be a boolean"},
      {[&] { reader.ReadDouble("str", d); }, "member \"str\" must be a number"},
      {[&] { reader.ReadObject("obj"); }, "member \"obj\" must be an object"},
      {[&] { reader.ReadStrings("num", l); }, "member \"num\" must be an array of strings"},
      {[&] { reader.ReadStrings("sarr", l); }, "member \"sarr[1]\" must be a string"},
      {[&] { reader.ReadUnsignedList("str", n64); },
       "member \"str\" must be an array of unsigned integers"},
      {[&] { reader.ReadUnsignedList("arr", n64); },
       "member \"arr[1]\" must be an unsigned integer"},
      // The first unknown member in key order, its name quoted safely.
      {[&] {
         reader.RequireKnown({"a", "b", "c", "f", "n", "neg", "frac", "big", "str", "num"});
       },
       "unknown member \"a\\\"b\\n\""},
      {[&] {
         tls.RequireKnown(std::vector<std::string>{"a\"b\n", "a", "arr", "b", "big"});
       },
       "unknown member \"tls.c\""},
      {[&] {
         tls.RequireKnown({"a\"b\n", "a", "arr", "b", "big", "c", "f", "frac", "n", "neg", "num",
                           "obj", "sarr", "str"});
       },
       ""},
  };
  for (const auto& [call, message] : cases) EXPECT_EQ(ErrorOf(call), message);
  EXPECT_EQ(replay::Quote(std::string("\xff") + "x"), "\"\xEF\xBF\xBDx\"");
}

TEST(RecordReaders, EveryKeyReachesItsFieldAndOthersAreRefused) {
  const kvPacketStats p = replay::ReadPacketStats(json::parse(
      R"({"raw":1,"ethernet":2,"mpls":3,"pppoe":4,"vlan":5,"fragmented":6,"discarded":7,
          "largest_bytes":4294967295,"ip":9,"icmp":10,"igmp":11,"tcp":12,"tcp_seq_errors":13,
          "tcp_resets":14,"udp":15,"ip_bytes":16,"wire_bytes":17,"discarded_bytes":18,
          "queue_dropped":19,"capture_dropped":20,"capture_filtered":21,"flow_dropped":22,
          "flow_evicted":18446744073709551615})"));
  EXPECT_EQ(
      Join(p.pkt_raw, p.pkt_eth, p.pkt_mpls, p.pkt_pppoe, p.pkt_vlan, p.pkt_frags, p.pkt_discard,
           p.pkt_maxlen, p.pkt_ip, p.pkt_ip4, p.pkt_ip6, p.pkt_icmp, p.pkt_igmp, p.pkt_tcp,
           p.pkt_tcp_seq_error, p.pkt_tcp_resets, p.pkt_udp, p.pkt_ip_bytes, p.pkt_ip4_bytes,
           p.pkt_ip6_bytes, p.pkt_wire_bytes, p.pkt_discard_bytes, p.pkt_queue_dropped,
           p.pkt_capture_dropped, p.pkt_capture_filtered, p.flow_dropped, p.flow_evicted),
      "1 2 3 4 5 6 7 4294967295 9 0 0 10 11 12 13 14 15 16 0 0 17 18 19 20 21 22 "
      "18446744073709551615");
  EXPECT_EQ(replay::ReadPacketStats(json::object()).pkt_maxlen, 0u);
  const kvInstanceStatus s = replay::ReadInstanceStatus(json::parse(
      R"({"cpu_cores":4,"uptime":5,"flow_count":6,"flow_count_prev":7,"flows_purged":8,
          "flows_expiring":9,"flows_expired":10,"flows_active":11,"flows_in_use":12,
          "flows_probation_expired":13,"flows_evicted":14,"cpu_user":1.5,"cpu_user_prev":2,
          "cpu_system":0.25,"cpu_system_prev":3,"maxrss_kb":15,"maxrss_kb_prev":16,
          "memrss_kb":17,"memrss_kb_prev":18,"dhc_status":true,"fhc_status":true})"));
  EXPECT_EQ(Join(s.cpu_cores, s.ts_epoch, s.uptime, s.ts_now, s.flow_count, s.flow_count_prev,
                 s.flows_purged, s.flows_expiring, s.flows_expired, s.flows_active, s.flows_in_use,
                 s.flows_probation_expired, s.flows_evicted, s.cpu_user, s.cpu_user_prev,
                 s.cpu_system, s.cpu_system_prev, s.maxrss_kb, s.maxrss_kb_prev, s.memrss_kb,
                 s.memrss_kb_prev, s.dhc_status, s.fhc_status),
            "4 0 5 0 6 7 8 9 10 11 12 13 14 1.5 2 0.25 3 15 16 17 18 1 1");

  // The settings of the daemon's global configuration are no status fields.
  const std::pair<const char*, std::string> refusals[] = {
      {R"({"ip4":1})", "unknown member \"stats.ip4\""},
      {R"({"largest_bytes":4294967296})",
       "member \"stats.largest_bytes\" is out of range (0 to 4294967295): 4294967296"},
      {R"({"timestamp":1})", "unknown member \"status.timestamp\""},
      {R"({"update_interval":1})", "unknown member \"status.update_interval\""},
      {R"({"update_imf":1})", "unknown member \"status.update_imf\""},
      {R"({"cpu_cores":4294967296})",
       "member \"status.cpu_cores\" is out of range (0 to 4294967295): 4294967296"},
  };
  for (const auto& [text, message] : refusals) {
    const json object = json::parse(text);
    const bool stats = message.find("stats.") != std::string::npos;
    EXPECT_EQ(ErrorOf([&object, stats] {
                if (stats) replay::ReadPacketStats(object);
                if (!stats) replay::ReadInstanceStatus(object);
              }),
              message);
  }
}

}  // namespace
