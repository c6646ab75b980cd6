// FilterLexer: splits a filter expression into tokens, one at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kvFilter {

enum class TokenKind : uint8_t {
  END,
  IDENTIFIER,  // a field name, "true" or "false"
  NUMBER,      // unsigned decimal, in `number`
  STRING,      // the text between the quotes, in `text`
  LEFT_PAREN,
  RIGHT_PAREN,
  NOT,
  AND,
  OR,
  EQUAL,
  NOT_EQUAL,
  LESS,
  LESS_EQUAL,
  GREATER,
  GREATER_EQUAL,
};

struct Token {
  TokenKind kind = TokenKind::END;
  size_t position = 0;    // byte offset of the token's first character
  std::string_view text;  // identifier or string contents; views the expression
  uint64_t number = 0;
};

// Reads tokens from an expression that outlives it. Throws a std::string filter error on an
// unexpected character, an unterminated string or a number above 2^64-1.
class FilterLexer {
 public:
  explicit FilterLexer(std::string_view expr_) : expr(expr_) {}

  Token Next();
  Token Peek();

  // True when only whitespace is left.
  bool AtEnd();
  size_t Position() const { return offset; }

 private:
  void SkipSpace();
  Token ReadNumber();
  Token ReadString();
  Token ReadIdentifier();
  Token ReadOperator();

  std::string_view expr;
  size_t offset = 0;
};

}  // namespace kvFilter
