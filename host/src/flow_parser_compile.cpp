// CompileFilter: recursive-descent compiler of the filter grammar, with bounded nesting.
//
//   expr := or
//   or   := and ("||" and)*
//   and  := not ("&&" not)*
//   not  := "!" not | "(" expr ")" | "true" | "false" | field op literal
//
// Chains of "&&" and "||" become one node with a list of operands, so only "(" and "!" deepen the
// tree, and both count against kMaxNesting.
#include "flow_parser_compile.h"

#include <string>
#include <utility>
#include <vector>

#include "flow_parser_constants.h"
#include "flow_parser_error.h"
#include "flow_parser_lexer.h"

namespace kvFilter {

namespace {

constexpr const char* kExpectedOperand = "expected a field, \"true\", \"false\", \"!\" or \"(\"";
constexpr const char* kExpectedOperator = "expected a comparison operator";
constexpr const char* kExpectedLiteral = "expected a number or a quoted string";
constexpr const char* kExpectedClose = "expected \"&&\", \"||\" or \")\"";
constexpr const char* kExpectedEnd = "expected \"&&\", \"||\" or the end of the expression";

bool ToOp(TokenKind kind, Op& op) {
  switch (kind) {
    case TokenKind::EQUAL:
      op = Op::EQUAL;
      return true;
    case TokenKind::NOT_EQUAL:
      op = Op::NOT_EQUAL;
      return true;
    case TokenKind::LESS:
      op = Op::LESS;
      return true;
    case TokenKind::LESS_EQUAL:
      op = Op::LESS_EQUAL;
      return true;
    case TokenKind::GREATER:
      op = Op::GREATER;
      return true;
    case TokenKind::GREATER_EQUAL:
      op = Op::GREATER_EQUAL;
      return true;
    default:
      return false;
  }
}

class FilterCompiler {
 public:
  FilterCompiler(std::string_view expr_, kvFlowParser::Compiled& program_)
      : expr(expr_), lexer(expr_), program(program_) {}

  void Compile() {
    if (lexer.AtEnd()) Fail(lexer.Position(), "empty expression");
    program.root = CompileOr(0);
    const Token token = lexer.Next();
    if (token.kind != TokenKind::END) Fail(token.position, kExpectedEnd);
  }

 private:
  [[noreturn]] void Fail(size_t position, std::string_view message) {
    ThrowError(expr, position, message);
  }

  size_t AddNode(Node node) {
    program.nodes.push_back(std::move(node));
    return program.nodes.size() - 1;
  }

  // One node over `operands`, or the single operand itself.
  size_t AddList(Node::Kind kind, const std::vector<size_t>& operands) {
    if (operands.size() == 1) return operands.front();
    Node node;
    node.kind = kind;
    node.first = program.children.size();
    node.count = operands.size();
    program.children.insert(program.children.end(), operands.begin(), operands.end());
    return AddNode(std::move(node));
  }

  size_t CompileOr(size_t depth) {
    std::vector<size_t> operands{CompileAnd(depth)};
    while (lexer.Peek().kind == TokenKind::OR) {
      lexer.Next();
      operands.push_back(CompileAnd(depth));
    }
    return AddList(Node::KIND_OR, operands);
  }

  size_t CompileAnd(size_t depth) {
    std::vector<size_t> operands{CompileNot(depth)};
    while (lexer.Peek().kind == TokenKind::AND) {
      lexer.Next();
      operands.push_back(CompileNot(depth));
    }
    return AddList(Node::KIND_AND, operands);
  }

  size_t CompileNot(size_t depth) {
    const Token token = lexer.Next();
    switch (token.kind) {
      case TokenKind::NOT: {
        Enter(token, depth);
        Node node;
        node.kind = Node::KIND_NOT;
        node.first = CompileNot(depth + 1);
        return AddNode(std::move(node));
      }
      case TokenKind::LEFT_PAREN: {
        Enter(token, depth);
        const size_t inner = CompileOr(depth + 1);
        const Token close = lexer.Next();
        if (close.kind != TokenKind::RIGHT_PAREN) Fail(close.position, kExpectedClose);
        return inner;
      }
      case TokenKind::IDENTIFIER:
        return CompileOperand(token);
      default:
        Fail(token.position, kExpectedOperand);
    }
  }

  void Enter(const Token& token, size_t depth) {
    if (depth >= kMaxNesting) {
      Fail(token.position, "nesting deeper than " + std::to_string(kMaxNesting) + " levels");
    }
  }

  size_t CompileOperand(const Token& name) {
    Node node;
    if (name.text == "true" || name.text == "false") {
      node.kind = name.text == "true" ? Node::KIND_TRUE : Node::KIND_FALSE;
      return AddNode(std::move(node));
    }
    const FieldInfo* info = FindField(name.text);
    if (info == nullptr) Fail(name.position, "unknown field \"" + std::string(name.text) + "\"");
    node.kind = Node::KIND_COMPARE;
    node.field = info->field;
    node.field_kind = info->kind;

    const Token op = lexer.Next();
    if (!ToOp(op.kind, node.op)) Fail(op.position, kExpectedOperator);
    if (info->kind == FieldKind::TEXT && node.op != Op::EQUAL && node.op != Op::NOT_EQUAL) {
      Fail(op.position, "field " + std::string(info->name) + " takes only \"==\" and \"!=\"");
    }

    const Token literal = lexer.Next();
    if (literal.kind == TokenKind::NUMBER) {
      if (info->kind != FieldKind::NUMBER) {
        Fail(literal.position, "field " + std::string(info->name) + " takes a quoted string");
      }
      node.number = literal.number;
    } else if (literal.kind == TokenKind::STRING) {
      if (info->kind != FieldKind::TEXT) {
        Fail(literal.position, "field " + std::string(info->name) + " takes a number");
      }
      node.text = std::string(literal.text);
    } else {
      Fail(literal.position, kExpectedLiteral);
    }
    return AddNode(std::move(node));
  }

  std::string_view expr;
  FilterLexer lexer;
  kvFlowParser::Compiled& program;
};

}  // namespace

std::shared_ptr<const kvFlowParser::Compiled> CompileFilter(std::string_view expr) {
  auto program = std::make_shared<kvFlowParser::Compiled>();
  try {
    FilterCompiler(expr, *program).Compile();
  } catch (std::string& error) {
    program->nodes.clear();
    program->children.clear();
    program->error = std::move(error);
  }
  return program;
}

}  // namespace kvFilter
