// Tests of the flow-filter language: fields, endpoint orientation, operators, precedence, errors
// with their positions, the expression cache and the flow lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host/src/flow_parser_constants.h"
#include "kv/flow.h"
#include "kv/flow_parser.h"
#include "kv/interface.h"

namespace korvel_test {
// How many times the calling thread has called the global operator new (allocation_count.cpp).
size_t AllocationCount();
}  // namespace korvel_test

namespace {

using korvel_test::AllocationCount;

kvAddr Parsed(const std::string& text) {
  kvAddr addr;
  EXPECT_TRUE(kvAddr::FromString(text, addr)) << text;
  return addr;
}

class FlowParserTest : public ::testing::Test {
 protected:
  // A TCP flow from 192.0.2.1:51000 (lower, local) to 198.51.100.7:443 on eth0, detected as TLS.
  static std::shared_ptr<kvFlow> SampleFlow() {
    auto flow = std::make_shared<kvFlow>();
    flow->lower_map = kvFlow::LOWER_MAP_LOCAL;
    flow->ip_version = 4;
    flow->ip_protocol = 6;
    flow->ip_dscp = 46;
    flow->vlan_id = 100;
    flow->lower_addr = Parsed("192.0.2.1:51000");
    flow->upper_addr = Parsed("198.51.100.7:443");
    flow->lower_mac = Parsed("00:11:22:aa:bb:cc");
    flow->upper_mac = Parsed("02:00:00:00:00:01");
    flow->detected_protocol = kvProto::PROTO_TLS;
    flow->detected_protocol_name = "TLS";
    flow->detected_application = 1234;
    flow->detected_application_name = "netflix";
    flow->host_server_name = "www.example.com";
    flow->dns_host_name = "example.com";
    flow->iface = std::make_shared<kvInterface>("eth0");
    return flow;
  }

  bool Match(const std::string& expr) { return parser.Parse(flow, vars, expr); }

  // The text Parse throws for `expr`, or "no error" when it throws nothing.
  std::string ErrorOf(const std::string& expr) {
    try {
      parser.Parse(flow, vars, expr);
    } catch (const std::string& error) {
      return error;
    }
    return "no error";
  }

  static std::string Error(const std::string& expr, size_t position, const std::string& message) {
    return "filter \"" + expr + "\": position " + std::to_string(position) + ": " + message;
  }

  std::shared_ptr<kvFlow> flow = SampleFlow();
  std::unordered_map<std::string, json> vars;
  kvFlowParser parser;
};

TEST_F(FlowParserTest, ExpressionsThatMatchAndFail) {
  const struct {
    const char* what;
    std::function<void(std::shared_ptr<kvFlow>&)> change;
    std::vector<std::string> matching, failing;
  } cases[] = {
      {"number fields",
       {},
       {"ip_version == 4", "ip_protocol == 6", "ip_dscp == 46", "vlan_id == 100",
        "local_port == 51000", "other_port == 443", "detected_protocol == 91",
        "detected_application == 1234"},
       {"ip_version == 6", "ip_protocol == 17", "ip_dscp == 0", "vlan_id == 101",
        "local_port == 443", "other_port == 51000", "detected_protocol == 0",
        "detected_application == 1235"}},
      {"text fields, whole texts, addresses without port, macs in lower case",
       {},
       {"local_ip == '192.0.2.1'", "other_ip == '198.51.100.7'", "local_mac == '00:11:22:aa:bb:cc'",
        "other_mac == '02:00:00:00:00:01'", "detected_protocol_name == 'TLS'",
        "detected_application_name == 'netflix'", "host_server_name == 'www.example.com'",
        "dns_host_name == 'example.com'", "interface == 'eth0'",
        "host_server_name != 'www.example'", "dns_host_name != 'example.com '",
        "local_mac != '00:11:22:AA:BB:CC'"},
       {"local_ip == '198.51.100.7'", "other_ip == '192.0.2.1'", "local_mac == '02:00:00:00:00:01'",
        "other_mac == '00:11:22:aa:bb:cc'", "detected_protocol_name == 'tls'",
        "detected_application_name == 'Netflix'", "host_server_name == 'example.com'",
        "dns_host_name == 'www.example.com'", "interface == 'eth1'",
        "host_server_name != 'www.example.com'", "dns_host_name == 'example.co'",
        "dns_host_name == 'example.comm'", "local_ip == '192.0.2.1:51000'",
        "other_ip == '198.51.100.7:443'", "local_mac == '00:11:22:AA:BB:CC'"}},
      // A literal cut to the field's width would wrongly match: 260 is 4 in 8 bits, 65636 is 100
      // in 16 bits, 4294967387 is 91 in 32 bits. Leading zeros are decimal.
      {"number operators and literals",
       {},
       {"ip_dscp != 45", "ip_dscp < 47", "ip_dscp <= 46", "ip_dscp > 45", "ip_dscp >= 46",
        "ip_version != 260", "ip_version < 260", "vlan_id < 65636",
        "detected_protocol < 4294967387", "vlan_id <= 18446744073709551615", "ip_dscp == 046",
        "ip_version == 0004"},
       {"ip_dscp != 46", "ip_dscp < 46", "ip_dscp <= 45", "ip_dscp > 46", "ip_dscp >= 47",
        "ip_version == 260", "vlan_id == 65636", "detected_protocol == 4294967387",
        "vlan_id == 18446744073709551615", "vlan_id > 65636", "ip_dscp == 056"}},
      // As (true || false) && false the first would not match; as true || (false && false) it
      // does. "!" binds tighter than "&&" and "||".
      {"constants, negation, precedence, parentheses and chains",
       {},
       {"true", "!false", "!!true", "!(ip_version == 6)", "!ip_version == 6",
        "true || false && false", "false && false || true", "!true || true", "!false && true",
        "!(false && true)", "(false || true) && (true || false)", "((((true))))",
        "(ip_version == 4 || ip_version == 6) && ip_protocol == 6",
        "false || false || false || true", "true && true && true && true"},
       {"false", "!true", "!!false", "!(ip_version == 4)", "!ip_version == 4",
        "false && true || false", "(true || false) && false", "!false && false", "!true && true",
        "!(true || false)", "(false || false) && true",
        "(ip_version == 6 || ip_protocol == 17) && vlan_id == 100", "false || false || false",
        "true && true && true && false"}},
      {"quotes and whitespace",
       {},
       {"host_server_name == \"www.example.com\"", "host_server_name == 'www.example.com'",
        "ip_version==4&&ip_protocol==6", "(ip_dscp>=46)||false", " \t\r\n ip_version \t==\n4 \f\v",
        "!(ip_version!=4)", "local_ip=='192.0.2.1'"},
       {"host_server_name == \"www.example.org\"", "host_server_name == 'www.example.org'",
        "ip_version<=3", "!true||!true"}},
      {"each kind of quote holds the other",
       [](auto& f) { f->dns_host_name = "say \"hi\""; },
       {"dns_host_name == 'say \"hi\"'"},
       {}},
      {"double quotes hold a single one",
       [](auto& f) { f->dns_host_name = "it's"; },
       {"dns_host_name == \"it's\""},
       {"dns_host_name == \"it\""}},
      {"strings keep spaces and operator characters",
       [](auto& f) { f->host_server_name = " a && b || (c) "; },
       {"host_server_name == ' a && b || (c) '"},
       {"host_server_name == 'a && b'"}},
      {"largest identifiers compare unsigned",
       [](auto& f) {
         f->detected_protocol = kvProto::PROTO_TODO;
         f->detected_application = 0xffffffffu;
       },
       {"detected_protocol == 4294967295", "detected_application > 4294967294"},
       {"detected_protocol < 1", "detected_application == 0"}},
      {"lower-map 2 makes the upper endpoint local",
       [](auto& f) { f->lower_map = kvFlow::LOWER_MAP_OTHER; },
       {"local_ip == '198.51.100.7'", "other_ip == '192.0.2.1'", "local_mac == '02:00:00:00:00:01'",
        "other_mac == '00:11:22:aa:bb:cc'", "local_port == 443", "other_port == 51000"},
       {"local_ip == '192.0.2.1'", "other_ip == '198.51.100.7'", "local_mac == '00:11:22:aa:bb:cc'",
        "other_mac == '02:00:00:00:00:01'", "local_port == 51000", "other_port == 443"}},
      {"IPv6 addresses compare as their short texts without port",
       [](auto& f) {
         f->ip_version = 6;
         f->lower_addr = Parsed("[2001:db8:0:0::1]:5353");
         f->upper_addr = Parsed("ff02::fb");
       },
       {"local_ip == '2001:db8::1'", "other_ip == 'ff02::fb'", "local_port == 5353"},
       {"local_ip == '2001:db8:0:0::1'", "local_ip == '[2001:db8::1]:5353'",
        "local_ip == '2001:DB8::1'"}},
      {"the privacy mask hides no address",
       [](auto& f) { f->privacy_mask = 0x0f; },
       {"local_ip == '192.0.2.1'", "other_ip == '198.51.100.7'", "local_mac == '00:11:22:aa:bb:cc'",
        "other_mac == '02:00:00:00:00:01'"},
       {"local_ip == '127.255.0.253'", "local_mac == '00:52:14:00:00:00'"}},
      {"empty records read as empty texts",
       [](auto& f) {
         f->upper_addr.Clear();
         f->lower_mac.Clear();
         f->iface.reset();
       },
       {"other_ip == ''", "local_mac == \"\"", "interface == ''", "other_port == 0"},
       {"other_ip != ''", "interface == 'eth0'"}},
      {"a null flow reads zero and empty",
       [](auto& f) { f.reset(); },
       {"ip_version == 0", "ip_protocol == 0", "ip_dscp == 0", "vlan_id == 0", "local_port == 0",
        "other_port == 0", "detected_protocol == 0", "detected_application == 0", "local_ip == ''",
        "other_ip == ''", "local_mac == ''", "other_mac == ''", "detected_protocol_name == ''",
        "detected_application_name == ''", "host_server_name == ''", "dns_host_name == ''",
        "interface == ''"},
       {"ip_version != 0", "local_ip != ''", "interface == 'eth0'"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    flow = SampleFlow();
    if (c.change) c.change(flow);
    for (const std::string& expr : c.matching) EXPECT_TRUE(Match(expr)) << expr;
    for (const std::string& expr : c.failing) EXPECT_FALSE(Match(expr)) << expr;
  }
  flow = SampleFlow();
  for (uint8_t lower_map : {0, 1, 3, 255}) {
    flow->lower_map = lower_map;
    EXPECT_TRUE(
        Match("local_ip == '192.0.2.1' && other_ip == '198.51.100.7' && "
              "local_mac == '00:11:22:aa:bb:cc' && other_mac == '02:00:00:00:00:01' && "
              "local_port == 51000 && other_port == 443"))
        << "lower-map " << int(lower_map);
  }
}

TEST_F(FlowParserTest, LongChainsAndNestingUpToTheLimit) {
  std::string any, all;
  for (int i = 0; i < 200000; i++) any += "false || ", all += "true && ";
  EXPECT_TRUE(Match(any + "true"));
  EXPECT_FALSE(Match(all + "false"));
  const size_t limit = kvFilter::kMaxNesting;
  EXPECT_TRUE(Match(std::string(limit, '(') + "true" + std::string(limit, ')')));
  EXPECT_FALSE(Match(std::string(limit, '!') + "false"));
  EXPECT_TRUE(Match(std::string(limit - 1, '!') + "false"));
}

TEST_F(FlowParserTest, ErrorsWithTheirPositions) {
  const char* const literal = "expected a number or a quoted string";
  const char* const operand = "expected a field, \"true\", \"false\", \"!\" or \"(\"";
  const char* const end = "expected \"&&\", \"||\" or the end of the expression";
  const char* const close = "expected \"&&\", \"||\" or \")\"";
  const char* const comparison = "expected a comparison operator";
  const char* const unterminated = "unterminated string";
  const struct {
    std::string expr;
    size_t position;
    std::string message;
  } cases[] = {
      {"ip_protocol == x", 15, literal},
      {"ip_version ==", 13, literal},
      {"ip_version == (4)", 14, literal},
      {"ip_version == == 4", 14, literal},
      {"port == 80", 0, "unknown field \"port\""},
      {"ip_version == 4 && Local_ip == 'x'", 19, "unknown field \"Local_ip\""},
      {"TRUE", 0, "unknown field \"TRUE\""},
      {"iface == 'eth0'", 0, "unknown field \"iface\""},
      {"ip_version = 4", 11, "unexpected character '='"},
      {"true & false", 5, "unexpected character '&'"},
      {"true | false", 5, "unexpected character '|'"},
      {"ip_version == 4 #", 16, "unexpected character '#'"},
      {"ip_version == -4", 14, "unexpected character '-'"},
      {"ip_version =< 4", 11, "unexpected character '='"},
      {"true \x01", 5, "unexpected byte 0x01"},
      {"true\xc3\xa9", 4, "unexpected byte 0xc3"},
      {"ip_version == '4'", 14, "field ip_version takes a number"},
      {"local_port != \"443\"", 14, "field local_port takes a number"},
      {"local_ip == 1", 12, "field local_ip takes a quoted string"},
      {"interface != 0", 13, "field interface takes a quoted string"},
      {"host_server_name < 'a'", 17, "field host_server_name takes only \"==\" and \"!=\""},
      {"local_mac <= 'a'", 10, "field local_mac takes only \"==\" and \"!=\""},
      {"dns_host_name > 'a'", 14, "field dns_host_name takes only \"==\" and \"!=\""},
      {"other_ip >= 'a'", 9, "field other_ip takes only \"==\" and \"!=\""},
      {"ip_version 4", 11, comparison},
      {"ip_version", 10, comparison},
      {"ip_version && true", 11, comparison},
      {"true false", 5, end},
      {"true )", 5, end},
      {"ip_version == 4 4", 16, end},
      {"ip_version == 4abc", 15, end},
      {"(true) (false)", 7, end},
      {"true !", 5, end},
      {"(true", 5, close},
      {"((true) || false", 16, close},
      {"(true false)", 6, close},
      {"dns_host_name == 'abc", 17, unterminated},
      {"dns_host_name == \"abc'", 17, unterminated},
      {"dns_host_name == '", 17, unterminated},
      {"", 0, "empty expression"},
      {" \t\n", 3, "empty expression"},
      {"true &&", 7, operand},
      {"|| true", 0, operand},
      {"true || && false", 8, operand},
      {"()", 1, operand},
      {"!", 1, operand},
      {"== 4", 0, operand},
      {"'eth0' == interface", 0, operand},
      {"4 == ip_version", 0, operand},
      {")", 0, operand},
      {"vlan_id == 18446744073709551616", 11, "number out of range"},
      {"vlan_id == 99999999999999999999999", 11, "number out of range"},
      // The flow would match before the bad part is reached; the text is still refused.
      {"true || bogus == 1", 8, "unknown field \"bogus\""},
      {"false && ip_version == 'x'", 23, "field ip_version takes a number"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf(c.expr), Error(c.expr, c.position, c.message));
  }
  // "(" and "!" count together; a hostile depth fails without exhausting the stack.
  const size_t limit = kvFilter::kMaxNesting;
  const std::string deep = "nesting deeper than " + std::to_string(limit) + " levels";
  std::string mixed;
  for (size_t i = 0; i <= limit / 2; i++) mixed += "!(";
  for (const std::string& expr :
       {std::string(limit + 1, '(') + "true" + std::string(limit + 1, ')'),
        std::string(limit + 1, '!') + "true", mixed + "true", std::string(1000000, '('),
        std::string(1000000, '!')}) {
    EXPECT_EQ(ErrorOf(expr), Error(expr, limit, deep));
  }
  flow.reset();  // a null flow gets the same errors
  EXPECT_EQ(ErrorOf("ip_version == x"), Error("ip_version == x", 14, literal));
}

TEST_F(FlowParserTest, CacheKeepsOneProgramPerTextNotResults) {
  vars["ip_version"] = 6;  // vars are neither read nor changed
  EXPECT_TRUE(Match("ip_version == 4"));
  EXPECT_TRUE(Match("ip_version == 4"));
  EXPECT_EQ(vars, (std::unordered_map<std::string, json>{{"ip_version", 6}}));
  EXPECT_EQ(parser.CachedCount(), 1u);
  EXPECT_FALSE(Match("ip_version == 6"));
  EXPECT_TRUE(Match("ip_version==4"));  // texts differing in spacing are different texts
  EXPECT_EQ(parser.CachedCount(), 3u);

  // Bad texts are cached with their message; a good text after a bad one works as before.
  const std::string expected = Error("ip_version ==", 13, "expected a number or a quoted string");
  EXPECT_EQ(ErrorOf("ip_version =="), expected);
  EXPECT_EQ(ErrorOf("ip_version =="), expected);
  EXPECT_EQ(parser.CachedCount(), 4u);
  EXPECT_EQ(ErrorOf("vlan_id == 18446744073709551615"), "no error");

  // Each evaluation of a cached text reads the flow as it is then, orientation and address
  // texts included.
  const std::string expr =
      "ip_protocol == 6 && local_ip == '192.0.2.1' && local_mac == '00:11:22:aa:bb:cc' && "
      "host_server_name == 'www.example.com'";
  for (const auto& change : std::vector<std::function<void(kvFlow&)>>{
           [](kvFlow& f) { f.ip_protocol = 17; },
           [](kvFlow& f) { f.host_server_name = "other.example.com"; },
           [](kvFlow& f) { f.lower_map = kvFlow::LOWER_MAP_OTHER; },
           [](kvFlow& f) { f.lower_addr = Parsed("192.0.2.2"); },
           [](kvFlow& f) { f.lower_mac = Parsed("00:11:22:aa:bb:cd"); }}) {
    flow = SampleFlow();
    EXPECT_TRUE(Match(expr));
    change(*flow);
    EXPECT_FALSE(Match(expr));
  }
  flow->lower_mac = Parsed("00:11:22:aa:bb:cc");
  EXPECT_TRUE(Match(expr));
  EXPECT_EQ(parser.CachedCount(), 6u);

  // Parsers keep separate caches.
  kvFlowParser other;
  EXPECT_EQ(other.CachedCount(), 0u);
  EXPECT_TRUE(other.Parse(flow, vars, "true"));
  EXPECT_EQ(other.CachedCount(), 1u);
  EXPECT_EQ(parser.CachedCount(), 6u);
}

TEST_F(FlowParserTest, CacheIsEmptiedWhenFull) {
  for (size_t i = 0; i < kvFilter::kMaxCachedExpressions; i++) {
    EXPECT_FALSE(Match("vlan_id == " + std::to_string(1000 + i)));
  }
  EXPECT_EQ(parser.CachedCount(), kvFilter::kMaxCachedExpressions);
  // A text already cached is served from the full cache; a new one empties it first.
  EXPECT_FALSE(Match("vlan_id == 1000"));
  EXPECT_EQ(parser.CachedCount(), kvFilter::kMaxCachedExpressions);
  EXPECT_TRUE(Match("vlan_id == 100"));
  EXPECT_EQ(parser.CachedCount(), 1u);
  EXPECT_FALSE(Match("vlan_id == 1000"));
  EXPECT_EQ(parser.CachedCount(), 2u);
}

TEST_F(FlowParserTest, CachedEvaluationAllocatesNothing) {
  flow->lower_addr = Parsed("[2001:db8:1234:5678:9abc:def0:1234:5678]:5353");
  flow->upper_addr = Parsed("[2001:db8::fb]:5353");
  const std::string expr =
      "ip_version == 4 && ip_protocol == 6 && ip_dscp == 46 && vlan_id == 100 && "
      "local_port == 5353 && other_port == 5353 && detected_protocol == 91 && "
      "detected_application == 1234 && local_ip == '2001:db8:1234:5678:9abc:def0:1234:5678' && "
      "other_ip == '2001:db8::fb' && local_mac == '00:11:22:aa:bb:cc' && "
      "other_mac == '02:00:00:00:00:01' && detected_protocol_name == 'TLS' && "
      "detected_application_name == 'netflix' && host_server_name == 'www.example.com' && "
      "dns_host_name == 'example.com' && interface == 'eth0'";
  // Compiling allocates; a count that does not see it (a memory checker took over the
  // allocation functions) cannot judge the evaluation either.
  const size_t start = AllocationCount();
  ASSERT_TRUE(Match(expr));  // also sizes this thread's address buffers
  if (AllocationCount() == start) GTEST_SKIP() << "allocations are not counted";
  const size_t before = AllocationCount();
  bool all = true;
  for (int i = 0; i < 100; i++) all = all && Match(expr);
  EXPECT_EQ(AllocationCount() - before, 0u);
  EXPECT_TRUE(all);
}

TEST_F(FlowParserTest, ParseTakesTheFlowLock) {
  {
    std::lock_guard<std::recursive_mutex> held(flow->lock);  // already held by this thread
    EXPECT_TRUE(Match("ip_version == 4"));
  }
  // The main thread holds the lock while the evaluating thread starts, then changes the flow; an
  // evaluation that did not wait for the lock would see the old value.
  std::atomic<bool> started{false};
  std::atomic<bool> result{false};
  std::unique_lock<std::recursive_mutex> guard(flow->lock);
  std::thread evaluator([&] {
    kvFlowParser own;
    std::unordered_map<std::string, json> own_vars;
    started.store(true);
    result.store(own.Parse(flow, own_vars, "ip_version == 6"));
  });
  while (!started.load()) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  flow->ip_version = 6;
  guard.unlock();
  evaluator.join();
  EXPECT_TRUE(result.load());
}

}  // namespace
