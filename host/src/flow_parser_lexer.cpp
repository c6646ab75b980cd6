// FilterLexer: tokens of the filter language.
#include "flow_parser_lexer.h"

#include <cstdio>
#include <limits>

#include "flow_parser_error.h"

namespace kvFilter {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsIdentifierStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsIdentifierPart(char c) {
  return IsIdentifierStart(c) || IsDigit(c);
}

}  // namespace

void FilterLexer::SkipSpace() {
  while (offset < expr.size() && IsSpace(expr[offset])) offset++;
}

bool FilterLexer::AtEnd() {
  SkipSpace();
  return offset >= expr.size();
}

Token FilterLexer::Peek() {
  const size_t saved = offset;
  Token token = Next();
  offset = saved;
  return token;
}

Token FilterLexer::Next() {
  SkipSpace();
  if (offset >= expr.size()) {
    Token token;
    token.position = offset;
    return token;
  }
  const char c = expr[offset];
  if (IsDigit(c)) return ReadNumber();
  if (c == '\'' || c == '"') return ReadString();
  if (IsIdentifierStart(c)) return ReadIdentifier();
  return ReadOperator();
}

Token FilterLexer::ReadNumber() {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  Token token;
  token.kind = TokenKind::NUMBER;
  token.position = offset;
  uint64_t value = 0;
  bool overflow = false;
  while (offset < expr.size() && IsDigit(expr[offset])) {
    const auto digit = static_cast<uint64_t>(expr[offset] - '0');
    if (value > (kMax - digit) / 10) overflow = true;
    if (!overflow) value = value * 10 + digit;
    offset++;
  }
  if (overflow) ThrowError(expr, token.position, "number out of range");
  token.number = value;
  token.text = expr.substr(token.position, offset - token.position);
  return token;
}

Token FilterLexer::ReadString() {
  Token token;
  token.kind = TokenKind::STRING;
  token.position = offset;
  const char quote = expr[offset];
  const size_t close = expr.find(quote, offset + 1);
  if (close == std::string_view::npos) ThrowError(expr, token.position, "unterminated string");
  token.text = expr.substr(offset + 1, close - offset - 1);
  offset = close + 1;
  return token;
}

Token FilterLexer::ReadIdentifier() {
  Token token;
  token.kind = TokenKind::IDENTIFIER;
  token.position = offset;
  while (offset < expr.size() && IsIdentifierPart(expr[offset])) offset++;
  token.text = expr.substr(token.position, offset - token.position);
  return token;
}

Token FilterLexer::ReadOperator() {
  Token token;
  token.position = offset;
  const char c = expr[offset];
  const char next = offset + 1 < expr.size() ? expr[offset + 1] : '\0';
  size_t length = 1;
  switch (c) {
    case '(':
      token.kind = TokenKind::LEFT_PAREN;
      break;
    case ')':
      token.kind = TokenKind::RIGHT_PAREN;
      break;
    case '!':
      token.kind = next == '=' ? TokenKind::NOT_EQUAL : TokenKind::NOT;
      length = next == '=' ? 2 : 1;
      break;
    case '<':
      token.kind = next == '=' ? TokenKind::LESS_EQUAL : TokenKind::LESS;
      length = next == '=' ? 2 : 1;
      break;
    case '>':
      token.kind = next == '=' ? TokenKind::GREATER_EQUAL : TokenKind::GREATER;
      length = next == '=' ? 2 : 1;
      break;
    case '=':
      if (next != '=') ThrowError(expr, offset, "unexpected character '='");
      token.kind = TokenKind::EQUAL;
      length = 2;
      break;
    case '&':
      if (next != '&') ThrowError(expr, offset, "unexpected character '&'");
      token.kind = TokenKind::AND;
      length = 2;
      break;
    case '|':
      if (next != '|') ThrowError(expr, offset, "unexpected character '|'");
      token.kind = TokenKind::OR;
      length = 2;
      break;
    default: {
      // Printable characters are quoted as they are; any other byte is shown in hexadecimal.
      char message[40];
      const auto byte = static_cast<unsigned char>(c);
      if (byte > 0x20 && byte < 0x7f) {
        std::snprintf(message, sizeof(message), "unexpected character '%c'", c);
      } else {
        std::snprintf(message, sizeof(message), "unexpected byte 0x%02x", byte);
      }
      ThrowError(expr, offset, message);
    }
  }
  offset += length;
  return token;
}

}  // namespace kvFilter
