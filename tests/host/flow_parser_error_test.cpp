// Tests of the flow-filter language's errors: each kind with its exact message and position.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <unordered_map>

#include "host/src/flow_parser_constants.h"
#include "kv/flow.h"
#include "kv/flow_parser.h"

namespace {

class FlowParserErrorTest : public ::testing::Test {
 protected:
  // The text Parse throws for `expr`, or "no error" when it throws nothing.
  std::string ErrorOf(const std::string& expr) {
    try {
      parser.Parse(flow, vars, expr);
    } catch (const std::string& error) {
      return error;
    }
    return "no error";
  }

  static std::string Expected(const std::string& expr, size_t position,
                              const std::string& message) {
    return "filter \"" + expr + "\": position " + std::to_string(position) + ": " + message;
  }

  void ExpectError(const std::string& expr, size_t position, const std::string& message) {
    EXPECT_EQ(ErrorOf(expr), Expected(expr, position, message));
  }

  std::shared_ptr<kvFlow> flow = std::make_shared<kvFlow>();
  std::unordered_map<std::string, json> vars;
  kvFlowParser parser;
};

const char* const kOperand = "expected a field, \"true\", \"false\", \"!\" or \"(\"";

TEST_F(FlowParserErrorTest, LiteralOfTheWrongShape) {
  EXPECT_EQ(ErrorOf("ip_protocol == x"),
            "filter \"ip_protocol == x\": position 15: expected a number or a quoted string");
  ExpectError("ip_version ==", 13, "expected a number or a quoted string");
  ExpectError("ip_version == (4)", 14, "expected a number or a quoted string");
  ExpectError("ip_version == == 4", 14, "expected a number or a quoted string");
}

TEST_F(FlowParserErrorTest, UnknownField) {
  ExpectError("port == 80", 0, "unknown field \"port\"");
  ExpectError("ip_version == 4 && Local_ip == 'x'", 19, "unknown field \"Local_ip\"");
  ExpectError("TRUE", 0, "unknown field \"TRUE\"");
  ExpectError("iface == 'eth0'", 0, "unknown field \"iface\"");
}

TEST_F(FlowParserErrorTest, BadCharacters) {
  ExpectError("ip_version = 4", 11, "unexpected character '='");
  ExpectError("true & false", 5, "unexpected character '&'");
  ExpectError("true | false", 5, "unexpected character '|'");
  ExpectError("ip_version == 4 #", 16, "unexpected character '#'");
  ExpectError("ip_version == -4", 14, "unexpected character '-'");
  ExpectError("ip_version =< 4", 11, "unexpected character '='");
  ExpectError(std::string("true \x01"), 5, "unexpected byte 0x01");
  ExpectError("true\xc3\xa9", 4, "unexpected byte 0xc3");
}

TEST_F(FlowParserErrorTest, LiteralTypeMustSuitTheField) {
  ExpectError("ip_version == '4'", 14, "field ip_version takes a number");
  ExpectError("local_port != \"443\"", 14, "field local_port takes a number");
  ExpectError("local_ip == 1", 12, "field local_ip takes a quoted string");
  ExpectError("interface != 0", 13, "field interface takes a quoted string");
}

TEST_F(FlowParserErrorTest, TextFieldsTakeOnlyEquality) {
  ExpectError("host_server_name < 'a'", 17, "field host_server_name takes only \"==\" and \"!=\"");
  ExpectError("local_mac <= 'a'", 10, "field local_mac takes only \"==\" and \"!=\"");
  ExpectError("dns_host_name > 'a'", 14, "field dns_host_name takes only \"==\" and \"!=\"");
  ExpectError("other_ip >= 'a'", 9, "field other_ip takes only \"==\" and \"!=\"");
}

TEST_F(FlowParserErrorTest, MissingOperator) {
  ExpectError("ip_version 4", 11, "expected a comparison operator");
  ExpectError("ip_version", 10, "expected a comparison operator");
  ExpectError("ip_version && true", 11, "expected a comparison operator");
}

TEST_F(FlowParserErrorTest, TrailingInput) {
  const char* const end = "expected \"&&\", \"||\" or the end of the expression";
  ExpectError("true false", 5, end);
  ExpectError("true )", 5, end);
  ExpectError("ip_version == 4 4", 16, end);
  ExpectError("ip_version == 4abc", 15, end);
  ExpectError("(true) (false)", 7, end);
  ExpectError("true !", 5, end);
}

TEST_F(FlowParserErrorTest, UnclosedParenthesis) {
  const char* const close = "expected \"&&\", \"||\" or \")\"";
  ExpectError("(true", 5, close);
  ExpectError("((true) || false", 16, close);
  ExpectError("(true false)", 6, close);
}

TEST_F(FlowParserErrorTest, UnterminatedString) {
  ExpectError("dns_host_name == 'abc", 17, "unterminated string");
  ExpectError("dns_host_name == \"abc'", 17, "unterminated string");
  ExpectError("dns_host_name == '", 17, "unterminated string");
}

TEST_F(FlowParserErrorTest, EmptyExpression) {
  ExpectError("", 0, "empty expression");
  ExpectError(" \t\n", 3, "empty expression");
}

TEST_F(FlowParserErrorTest, MissingOperand) {
  ExpectError("true &&", 7, kOperand);
  ExpectError("|| true", 0, kOperand);
  ExpectError("true || && false", 8, kOperand);
  ExpectError("()", 1, kOperand);
  ExpectError("!", 1, kOperand);
  ExpectError("== 4", 0, kOperand);
  ExpectError("'eth0' == interface", 0, kOperand);
  ExpectError("4 == ip_version", 0, kOperand);
  ExpectError(")", 0, kOperand);
}

TEST_F(FlowParserErrorTest, NumberAboveSixtyFourBits) {
  ExpectError("vlan_id == 18446744073709551616", 11, "number out of range");
  ExpectError("vlan_id == 99999999999999999999999", 11, "number out of range");
  EXPECT_EQ(ErrorOf("vlan_id == 18446744073709551615"), "no error");
}

TEST_F(FlowParserErrorTest, NestingDeeperThanTheLimit) {
  const size_t limit = kvFilter::kMaxNesting;
  const std::string message = "nesting deeper than " + std::to_string(limit) + " levels";
  const std::string parens = std::string(limit + 1, '(') + "true" + std::string(limit + 1, ')');
  ExpectError(parens, limit, message);
  const std::string nots = std::string(limit + 1, '!') + "true";
  ExpectError(nots, limit, message);
  // "(" and "!" count together.
  std::string mixed;
  for (size_t i = 0; i <= limit / 2; i++) mixed += "!(";
  mixed += "true";
  ExpectError(mixed, limit, message);
}

TEST_F(FlowParserErrorTest, HostileNestingFailsWithoutExhaustingTheStack) {
  const size_t limit = kvFilter::kMaxNesting;
  const std::string message = "nesting deeper than " + std::to_string(limit) + " levels";
  const std::string parens(1000000, '(');
  ExpectError(parens, limit, message);
  const std::string nots(1000000, '!');
  ExpectError(nots, limit, message);
}

TEST_F(FlowParserErrorTest, ErrorsAnywhereFailTheWholeExpression) {
  // The flow would match before the bad part is reached; the text is still refused.
  ExpectError("true || bogus == 1", 8, "unknown field \"bogus\"");
  ExpectError("false && ip_version == 'x'", 23, "field ip_version takes a number");
}

TEST_F(FlowParserErrorTest, NullFlowGetsTheSameErrors) {
  flow.reset();
  ExpectError("ip_version == x", 14, "expected a number or a quoted string");
}

TEST_F(FlowParserErrorTest, BadTextsAreCachedWithTheirMessage) {
  const std::string expr = "ip_version ==";
  const std::string expected = Expected(expr, 13, "expected a number or a quoted string");
  EXPECT_EQ(ErrorOf(expr), expected);
  EXPECT_EQ(ErrorOf(expr), expected);
  EXPECT_EQ(parser.CachedCount(), 1u);
  // A good text after a bad one works as before.
  EXPECT_EQ(ErrorOf("true"), "no error");
  EXPECT_TRUE(parser.Parse(flow, vars, "true"));
  EXPECT_EQ(parser.CachedCount(), 2u);
}

}  // namespace
