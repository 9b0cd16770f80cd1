// Recursive-descent compiler: text -> typed Node tree. Precedence, lowest
// first: .OR.; .AND.; .NOT.; comparisons; + -; * /; ^ **; unary + -.
#include <cmath>
#include <new>

#include "dbase_values.h"
#include "expr_functions.h"
#include "expr_lexer.h"
#include "expr_node.h"
#include "platform/exception_text.h"

namespace talvex::engine::expr {
namespace {

constexpr size_t kMaxText = 1024;
constexpr int kMaxNesting = 64;
constexpr int kMaxTreeDepth = 256;

struct CompileError {
  std::string message;
};

using NodePtr = std::unique_ptr<Node>;

const char *TypeName(ValueType t) {
  switch (t) {
    case ValueType::Character: return "character";
    case ValueType::Numeric: return "numeric";
    case ValueType::Date: return "date";
    case ValueType::Logical: return "logical";
  }
  return "?";
}

class Parser {
 public:
  Parser(std::string_view text, const FieldResolver &resolve) : lexer_(text), resolve_(resolve) {
    Advance();
  }

  NodePtr Parse() {
    NodePtr root = ParseOr();
    if (cur_.kind != Tok::End) Fail("unexpected " + Describe(cur_));
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string &message) { FailAt(message, cur_.pos); }
  [[noreturn]] void FailAt(const std::string &message, size_t pos) {
    throw CompileError{message + " at position " + std::to_string(pos)};
  }

  static std::string Describe(const Token &t) {
    switch (t.kind) {
      case Tok::End: return "end of expression";
      case Tok::Ident: return "name " + t.text;
      case Tok::Number: return "number " + t.text;
      case Tok::String: return "string";
      case Tok::RParen: return "')'";
      case Tok::LParen: return "'('";
      case Tok::Comma: return "','";
      default: return "operator";
    }
  }

  void Advance() {
    cur_ = lexer_.Next();
    if (cur_.kind == Tok::Error) Fail(cur_.text);
  }

  void Expect(Tok kind, const char *what) {
    if (cur_.kind != kind) Fail(std::string("expected ") + what + ", found " + Describe(cur_));
    Advance();
  }

  // Guards recursion for parentheses, arguments and prefix operators.
  struct Nest {
    explicit Nest(Parser &p) : p_(p) {
      if (++p_.nesting_ > kMaxNesting) p_.Fail("expression nested too deeply");
    }
    ~Nest() { --p_.nesting_; }
    Parser &p_;
  };

  NodePtr Make(Op op, ValueType type, size_t pos, NodePtr a, NodePtr b = nullptr) {
    auto n = std::make_unique<Node>();
    n->op = op;
    n->type = type;
    n->constant = a->constant && (!b || b->constant);
    n->depth = 1 + std::max(a->depth, b ? b->depth : 0);
    if (n->depth > kMaxTreeDepth) FailAt("expression too complex", pos);
    n->args.push_back(std::move(a));
    if (b) n->args.push_back(std::move(b));
    return n;
  }

  NodePtr ParseOr() {
    Nest nest(*this);
    NodePtr left = ParseAnd();
    while (cur_.kind == Tok::Or) {
      size_t pos = cur_.pos;
      Advance();
      NodePtr right = ParseAnd();
      CheckLogical(*left, *right, ".OR.", pos);
      left = Make(Op::Or, ValueType::Logical, pos, std::move(left), std::move(right));
      left->width = 1;
    }
    return left;
  }

  NodePtr ParseAnd() {
    NodePtr left = ParseNot();
    while (cur_.kind == Tok::And) {
      size_t pos = cur_.pos;
      Advance();
      NodePtr right = ParseNot();
      CheckLogical(*left, *right, ".AND.", pos);
      left = Make(Op::And, ValueType::Logical, pos, std::move(left), std::move(right));
      left->width = 1;
    }
    return left;
  }

  void CheckLogical(const Node &a, const Node &b, const char *op, size_t pos) {
    if (a.type != ValueType::Logical || b.type != ValueType::Logical)
      FailAt(std::string(op) + " needs logical operands", pos);
  }

  NodePtr ParseNot() {
    if (cur_.kind != Tok::Not) return ParseComparison();
    Nest nest(*this);
    size_t pos = cur_.pos;
    Advance();
    NodePtr operand = ParseNot();
    if (operand->type != ValueType::Logical) FailAt(".NOT. needs a logical operand", pos);
    NodePtr n = Make(Op::Not, ValueType::Logical, pos, std::move(operand));
    n->width = 1;
    return n;
  }

  static bool ComparisonToken(Tok k, Cmp &cmp) {
    switch (k) {
      case Tok::Eq: cmp = Cmp::Eq; return true;
      case Tok::ExactEq: cmp = Cmp::ExactEq; return true;
      case Tok::Ne: cmp = Cmp::Ne; return true;
      case Tok::Lt: cmp = Cmp::Lt; return true;
      case Tok::Gt: cmp = Cmp::Gt; return true;
      case Tok::Le: cmp = Cmp::Le; return true;
      case Tok::Ge: cmp = Cmp::Ge; return true;
      default: return false;
    }
  }

  NodePtr ParseComparison() {
    NodePtr left = ParseAdditive();
    Cmp cmp;
    while (true) {
      size_t pos = cur_.pos;
      if (cur_.kind == Tok::Dollar) {
        Advance();
        NodePtr right = ParseAdditive();
        if (left->type != ValueType::Character || right->type != ValueType::Character)
          FailAt("$ needs character operands", pos);
        left = Make(Op::Contains, ValueType::Logical, pos, std::move(left), std::move(right));
      } else if (ComparisonToken(cur_.kind, cmp)) {
        Advance();
        NodePtr right = ParseAdditive();
        if (left->type != right->type)
          FailAt(std::string("cannot compare ") + TypeName(left->type) + " with " +
                     TypeName(right->type), pos);
        left = Make(Op::Compare, ValueType::Logical, pos, std::move(left), std::move(right));
        left->cmp = cmp;
      } else {
        return left;
      }
      left->width = 1;
    }
  }

  NodePtr ParseAdditive() {
    NodePtr left = ParseMultiplicative();
    while (cur_.kind == Tok::Plus || cur_.kind == Tok::Minus) {
      bool plus = cur_.kind == Tok::Plus;
      size_t pos = cur_.pos;
      Advance();
      NodePtr right = ParseMultiplicative();
      left = Additive(plus, std::move(left), std::move(right), pos);
    }
    return left;
  }

  NodePtr Additive(bool plus, NodePtr a, NodePtr b, size_t pos) {
    ValueType ta = a->type, tb = b->type;
    using VT = ValueType;
    if (ta == VT::Character && tb == VT::Character) {
      long width = long(a->width) + b->width;
      if (width > kMaxWidth) FailAt("character result too long", pos);
      NodePtr n = Make(plus ? Op::Concat : Op::ConcatMove, VT::Character, pos, std::move(a),
                       std::move(b));
      n->width = int(width);
      return n;
    }
    if (ta == VT::Numeric && tb == VT::Numeric) {
      int dec = std::max(a->dec, b->dec);
      NodePtr n = Make(plus ? Op::Add : Op::Sub, VT::Numeric, pos, std::move(a), std::move(b));
      n->width = 10;
      n->dec = dec;
      return n;
    }
    NodePtr n;
    if (ta == VT::Date && tb == VT::Numeric) {
      n = Make(plus ? Op::DatePlus : Op::DateMinus, VT::Date, pos, std::move(a), std::move(b));
    } else if (plus && ta == VT::Numeric && tb == VT::Date) {
      n = Make(Op::DatePlus, VT::Date, pos, std::move(b), std::move(a));
    } else if (!plus && ta == VT::Date && tb == VT::Date) {
      n = Make(Op::DateDiff, VT::Numeric, pos, std::move(a), std::move(b));
      n->width = 10;
      return n;
    } else {
      FailAt(std::string("cannot ") + (plus ? "add " : "subtract ") + TypeName(tb) +
                 (plus ? " to " : " from ") + TypeName(ta), pos);
    }
    n->width = 8;
    return n;
  }

  NodePtr ParseMultiplicative() {
    NodePtr left = ParsePower();
    while (cur_.kind == Tok::Star || cur_.kind == Tok::Slash) {
      Op op = cur_.kind == Tok::Star ? Op::Mul : Op::Div;
      size_t pos = cur_.pos;
      Advance();
      NodePtr right = ParsePower();
      left = Arithmetic(op, std::move(left), std::move(right), pos, op == Op::Mul ? "*" : "/");
    }
    return left;
  }

  NodePtr ParsePower() {
    NodePtr left = ParseUnary();
    while (cur_.kind == Tok::Power) {
      size_t pos = cur_.pos;
      Advance();
      NodePtr right = ParseUnary();
      left = Arithmetic(Op::Pow, std::move(left), std::move(right), pos, "^");
    }
    return left;
  }

  NodePtr Arithmetic(Op op, NodePtr a, NodePtr b, size_t pos, const char *name) {
    if (a->type != ValueType::Numeric || b->type != ValueType::Numeric)
      FailAt(std::string(name) + " needs numeric operands", pos);
    int dec = std::max(a->dec, b->dec);
    NodePtr n = Make(op, ValueType::Numeric, pos, std::move(a), std::move(b));
    n->width = 10;
    n->dec = dec;
    return n;
  }

  NodePtr ParseUnary() {
    if (cur_.kind != Tok::Plus && cur_.kind != Tok::Minus) return ParsePrimary();
    Nest nest(*this);
    bool minus = cur_.kind == Tok::Minus;
    size_t pos = cur_.pos;
    Advance();
    NodePtr operand = ParseUnary();
    if (operand->type != ValueType::Numeric)
      FailAt(std::string("unary ") + (minus ? "-" : "+") + " needs a numeric operand", pos);
    if (!minus) return operand;
    int width = operand->width, dec = operand->dec;
    NodePtr n = Make(Op::Negate, ValueType::Numeric, pos, std::move(operand));
    n->width = width;
    n->dec = dec;
    return n;
  }

  NodePtr Literal(Value v, int width, int dec) {
    auto n = std::make_unique<Node>();
    n->op = Op::Literal;
    n->type = v.type;
    n->width = width;
    n->dec = dec;
    n->constant = true;
    n->literal = std::move(v);
    return n;
  }

  NodePtr ParsePrimary() {
    Token t = cur_;
    Value v;
    switch (t.kind) {
      case Tok::Number: {
        Advance();
        SetNumber(v, ParseLeadingNumber(t.text));
        size_t dot = t.text.find('.');
        int dec = dot == std::string::npos ? 0 : int(t.text.size() - dot - 1);
        return Literal(std::move(v), std::max(10, int(t.text.size())), dec);
      }
      case Tok::String: {
        Advance();
        if (t.text.size() > size_t(kMaxWidth)) FailAt("string too long", t.pos);
        int width = int(t.text.size());
        SetText(v, t.text, width);
        return Literal(std::move(v), width, 0);
      }
      case Tok::Date: {
        Advance();
        long jdn = DaysFromCtod(t.text);
        if (jdn == 0 && t.text.find_first_not_of(" /") != std::string::npos)
          FailAt("invalid date {" + t.text + "}", t.pos);
        SetDate(v, jdn);
        return Literal(std::move(v), 8, 0);
      }
      case Tok::True:
      case Tok::False:
        Advance();
        SetLogical(v, t.kind == Tok::True);
        return Literal(std::move(v), 1, 0);
      case Tok::LParen: {
        Advance();
        NodePtr inner = ParseOr();
        Expect(Tok::RParen, "')'");
        return inner;
      }
      case Tok::Ident:
        Advance();
        if (cur_.kind == Tok::LParen) return ParseCall(t);
        if (cur_.kind == Tok::Arrow) {
          Advance();
          Token name = cur_;
          if (name.kind != Tok::Ident) Fail("expected a field name after the alias");
          Advance();
          return FieldRef(t.text, name);
        }
        return FieldRef("", t);
      case Tok::End:
        Fail("unexpected end of expression");
      default:
        Fail("unexpected " + Describe(t));
    }
  }

  NodePtr FieldRef(const std::string &alias, const Token &name) {
    std::optional<FieldInfo> f = resolve_ ? resolve_(alias, name.text) : std::nullopt;
    std::string full = alias.empty() ? name.text : alias + "->" + name.text;
    if (!f) FailAt("unknown field " + full, name.pos);
    auto n = std::make_unique<Node>();
    n->op = Op::Field;
    switch (f->type) {
      case 'C': n->type = ValueType::Character; break;
      case 'N':
      case 'F': n->type = ValueType::Numeric; break;
      case 'D': n->type = ValueType::Date; break;
      case 'L': n->type = ValueType::Logical; break;
      case 'M':
      case 'B':
      case 'G': FailAt("memo field " + full + " cannot be used in an expression", name.pos);
      default: FailAt("field " + full + " has an unsupported type", name.pos);
    }
    if (f->len <= 0 || f->len > kMaxWidth || f->offset < 1 || f->dec < 0)
      FailAt("field " + full + " has an invalid layout", name.pos);
    n->width = n->type == ValueType::Date ? 8 : f->len;
    n->dec = n->type == ValueType::Numeric ? f->dec : 0;
    n->field = std::move(*f);
    return n;
  }

  NodePtr ParseCall(const Token &name) {
    Nest nest(*this);
    const FunctionSignature *sig = FindFunction(name.text);
    if (!sig) FailAt("unknown function " + name.text + "()", name.pos);
    Advance();  // '('
    auto n = std::make_unique<Node>();
    n->op = Op::Call;
    if (cur_.kind != Tok::RParen) {
      while (true) {
        NodePtr arg = ParseOr();
        n->depth = std::max(n->depth, arg->depth + 1);
        n->args.push_back(std::move(arg));
        if (cur_.kind != Tok::Comma) break;
        Advance();
      }
    }
    Expect(Tok::RParen, "',' or ')'");
    if (n->depth > kMaxTreeDepth) FailAt("expression too complex", name.pos);
    std::string error = TypeCall(*n, *sig);
    if (!error.empty()) FailAt(error, name.pos);
    return n;
  }

  Lexer lexer_;
  const FieldResolver &resolve_;
  Token cur_;
  int nesting_ = 0;
};

}  // namespace

CompileResult Compile(std::string_view text, const FieldResolver &resolve) noexcept {
  CompileResult result;
  try {
    if (text.size() > kMaxText) {
      result.error = "expression longer than " + std::to_string(kMaxText) + " characters";
      return result;
    }
    Parser parser(text, resolve);
    NodePtr root = parser.Parse();
    result.expression = MakeExpression(std::move(root), std::string(text));
  } catch (const CompileError &e) {
    result.error = e.message;
  } catch (const std::bad_alloc &) {
    result.error = "out of memory compiling expression";
  } catch (...) {
    // A resolver supplied by the caller may throw; the caller still gets a text.
    result.error = "expression could not be compiled: " + platform::CurrentExceptionText();
  }
  return result;
}

}  // namespace talvex::engine::expr
