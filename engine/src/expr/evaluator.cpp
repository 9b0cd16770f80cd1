// Evaluation of operators and field references, and the compiled Expression
// object the compiler hands out. Functions are evaluated in functions.cpp.
#include <cmath>

#include "dbase_values.h"
#include "expr_functions.h"
#include "expr_node.h"
#include "platform/ascii_text.h"

namespace talvex::engine::expr {
namespace {

std::string_view FieldBytes(const FieldInfo &f, std::string_view record, std::string &scratch) {
  size_t off = size_t(f.offset), len = size_t(f.len);
  if (off + len <= record.size()) return record.substr(off, len);
  // A short buffer reads as blanks past its end.
  scratch.assign(len, ' ');
  if (off < record.size()) scratch.replace(0, record.size() - off, record.substr(off));
  return scratch;
}

void EvalField(const FieldInfo &f, const EvalContext &ctx, Value &out) {
  std::string scratch;
  std::string_view raw = FieldBytes(f, ctx.record, scratch);
  switch (f.type) {
    case 'N':
    case 'F': {
      auto parsed = ParseStoredNumber(raw);
      out.type = ValueType::Numeric;
      out.number = parsed ? parsed->value : 0;
      out.text = parsed ? std::move(parsed->text) : "0";
      break;
    }
    case 'D':
      SetDate(out, DaysFromDtos(raw));
      break;
    case 'L':
      SetLogical(out, !raw.empty() && (raw[0] == 'T' || raw[0] == 't' || raw[0] == 'Y' || raw[0] == 'y'));
      break;
    default:
      out.type = ValueType::Character;
      out.text.assign(raw);
      break;
  }
}

bool NumbersEqual(double a, double b) {
  double scale = std::fmax(1.0, std::fmax(std::fabs(a), std::fabs(b)));
  return std::fabs(a - b) <= 1e-12 * scale;
}

// dBASE with SET EXACT OFF: the left operand is looked at only as far as the
// right one reaches, a shorter left one reading as blank-padded.
int CompareText(const std::string &a, const std::string &b) {
  for (size_t i = 0; i < b.size(); ++i) {
    unsigned char ca = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

using ascii::trimRightBlanks;

bool EvalCompare(Cmp cmp, const Value &a, const Value &b) {
  int order = 0;
  switch (a.type) {
    case ValueType::Character:
      if (cmp == Cmp::ExactEq) return trimRightBlanks(a.text) == trimRightBlanks(b.text);
      order = CompareText(a.text, b.text);
      break;
    case ValueType::Numeric:
      order = NumbersEqual(a.number, b.number) ? 0 : a.number < b.number ? -1 : 1;
      break;
    case ValueType::Date:
      order = a.number == b.number ? 0 : a.number < b.number ? -1 : 1;
      break;
    case ValueType::Logical:
      order = a.logical == b.logical ? 0 : a.logical ? 1 : -1;
      break;
  }
  switch (cmp) {
    case Cmp::Eq:
    case Cmp::ExactEq: return order == 0;
    case Cmp::Ne: return order != 0;
    case Cmp::Lt: return order < 0;
    case Cmp::Gt: return order > 0;
    case Cmp::Le: return order <= 0;
    case Cmp::Ge: return order >= 0;
  }
  return false;
}

long ShiftDate(double jdn, double days) {
  if (jdn == 0 || !std::isfinite(days) || std::fabs(days) > 1e7) return 0;
  long r = long(jdn) + long(std::trunc(days));
  return r;
}

class CompiledExpression final : public Expression {
 public:
  CompiledExpression(std::unique_ptr<Node> root, std::string source)
      : root_(std::move(root)), source_(std::move(source)) {}

  ValueType type() const override { return root_->type; }
  int width() const override { return root_->width; }
  int decimals() const override { return root_->type == ValueType::Numeric ? root_->dec : 0; }
  const std::string &source() const override { return source_; }

  Value Evaluate(std::string_view record, std::int32_t recno) const noexcept override {
    EvalContext ctx{record, recno};
    Value v;
    Eval(*root_, ctx, v);
    switch (v.type) {
      case ValueType::Character:
        v.text.resize(size_t(root_->width), ' ');
        break;
      case ValueType::Numeric:
        if (root_->op != Op::Field) v.text = FormatNumber(v.number);
        break;
      case ValueType::Logical:
        v.text = v.logical ? "T" : "F";
        break;
      case ValueType::Date:
        break;
    }
    return v;
  }

 private:
  std::unique_ptr<Node> root_;
  std::string source_;
};

}  // namespace

int Expression::keyLength() const {
  switch (type()) {
    case ValueType::Character: return width();
    case ValueType::Numeric: return 12;
    case ValueType::Date: return 8;
    case ValueType::Logical: return 0;
  }
  return 0;
}

std::unique_ptr<Expression> MakeExpression(std::unique_ptr<Node> root, std::string source) {
  return std::make_unique<CompiledExpression>(std::move(root), std::move(source));
}

void SetDate(Value &v, long jdn) {
  v.type = ValueType::Date;
  v.text = DtosFromDays(jdn);
  // Days outside years 1-9999 have no text form, so they count as blank.
  v.number = v.text[0] == ' ' ? 0 : double(jdn);
  v.logical = false;
}

void SetNumber(Value &v, double n) {
  v.type = ValueType::Numeric;
  v.number = std::isfinite(n) ? n : 0;
  v.text.clear();
  v.logical = false;
}

void SetLogical(Value &v, bool b) {
  v.type = ValueType::Logical;
  v.logical = b;
  v.number = 0;
  v.text.clear();
}

void SetText(Value &v, std::string text, int width) {
  v.type = ValueType::Character;
  if (text.size() > size_t(width)) text.resize(size_t(width));
  v.text = std::move(text);
  v.number = 0;
  v.logical = false;
}

void Eval(const Node &node, const EvalContext &ctx, Value &out) {
  switch (node.op) {
    case Op::Literal:
      out = node.literal;
      return;
    case Op::Field:
      EvalField(node.field, ctx, out);
      return;
    case Op::Call:
      EvalCall(node, ctx, out);
      return;
    case Op::Not:
      Eval(*node.args[0], ctx, out);
      SetLogical(out, !out.logical);
      return;
    case Op::Negate:
      Eval(*node.args[0], ctx, out);
      SetNumber(out, -out.number);
      return;
    case Op::And:
    case Op::Or: {
      Eval(*node.args[0], ctx, out);
      bool left = out.logical;
      if (node.op == Op::And ? !left : left) return SetLogical(out, left);
      Eval(*node.args[1], ctx, out);
      return SetLogical(out, out.logical);
    }
    default:
      break;
  }
  Value b;
  Eval(*node.args[0], ctx, out);
  Eval(*node.args[1], ctx, b);
  switch (node.op) {
    case Op::Concat:
      out.text += b.text;
      return SetText(out, std::move(out.text), node.width);
    case Op::ConcatMove: {
      std::string_view kept = trimRightBlanks(out.text);
      size_t blanks = out.text.size() - kept.size();
      std::string r(kept);
      r += b.text;
      r.append(blanks, ' ');
      return SetText(out, std::move(r), node.width);
    }
    case Op::Add: return SetNumber(out, out.number + b.number);
    case Op::Sub: return SetNumber(out, out.number - b.number);
    case Op::Mul: return SetNumber(out, out.number * b.number);
    case Op::Div: return SetNumber(out, b.number == 0 ? 0 : out.number / b.number);
    case Op::Pow: return SetNumber(out, std::pow(out.number, b.number));
    case Op::DatePlus: return SetDate(out, ShiftDate(out.number, b.number));
    case Op::DateMinus: return SetDate(out, ShiftDate(out.number, -b.number));
    case Op::DateDiff:
      return SetNumber(out, out.number == 0 || b.number == 0 ? 0 : out.number - b.number);
    case Op::Compare: return SetLogical(out, EvalCompare(node.cmp, out, b));
    case Op::Contains:
      return SetLogical(out, !out.text.empty() && b.text.find(out.text) != std::string::npos);
    default:
      return SetLogical(out, false);
  }
}

}  // namespace talvex::engine::expr
