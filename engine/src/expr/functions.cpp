#include "expr_functions.h"

#include <algorithm>
#include <cmath>

#include "dbase_values.h"
#include "platform/ascii_text.h"

namespace talvex::engine::expr {
namespace {

const FunctionSignature kFunctions[] = {
    {"STR", Fn::Str, 1, 3},       {"DTOS", Fn::Dtos, 1, 1},       {"DTOC", Fn::Dtoc, 1, 1},
    {"UPPER", Fn::Upper, 1, 1},   {"LOWER", Fn::Lower, 1, 1},     {"LEFT", Fn::Left, 2, 2},
    {"RIGHT", Fn::Right, 2, 2},   {"SUBSTR", Fn::Substr, 2, 3},   {"TRIM", Fn::Trim, 1, 1},
    {"RTRIM", Fn::Trim, 1, 1},    {"LTRIM", Fn::Ltrim, 1, 1},     {"VAL", Fn::Val, 1, 1},
    {"IIF", Fn::Iif, 3, 3},       {"DESCEND", Fn::Descend, 1, 1}, {"DELETED", Fn::Deleted, 0, 0},
    {"RECNO", Fn::Recno, 0, 0},   {"CTOD", Fn::Ctod, 1, 1},       {"YEAR", Fn::Year, 1, 1},
    {"MONTH", Fn::Month, 1, 1},   {"DAY", Fn::Day, 1, 1},         {"LEN", Fn::Len, 1, 1},
    {"AT", Fn::At, 2, 2},         {"SPACE", Fn::Space, 1, 1},     {"INT", Fn::Int, 1, 1},
    {"ABS", Fn::Abs, 1, 1},       {"ROUND", Fn::Round, 2, 2},     {"MOD", Fn::Mod, 2, 2},
    {"MAX", Fn::Max, 2, 2},       {"MIN", Fn::Min, 2, 2},         {"CHR", Fn::Chr, 1, 1},
    {"ASC", Fn::Asc, 1, 1},       {"STOD", Fn::Stod, 1, 1},
};

using ascii::lowerChar;
using ascii::upperChar;

const char *TypeName(ValueType t) {
  switch (t) {
    case ValueType::Character: return "character";
    case ValueType::Numeric: return "numeric";
    case ValueType::Date: return "date";
    case ValueType::Logical: return "logical";
  }
  return "?";
}

std::string ArgError(const FunctionSignature &sig, size_t i, const char *want) {
  return std::string(sig.name) + "() argument " + std::to_string(i + 1) + " must be " + want;
}

// Reads a numeric argument that must be known at compile time, because it
// fixes the width of the result.
bool ConstInt(const Node &node, size_t i, int &out) {
  const Node &a = *node.args[i];
  if (a.type != ValueType::Numeric || !a.constant) return false;
  Value v;
  Eval(a, EvalContext{}, v);
  double n = std::trunc(v.number);
  if (n > kMaxWidth) n = kMaxWidth + 1;
  if (n < -kMaxWidth) n = -kMaxWidth - 1;
  out = int(n);
  return true;
}

void PadTo(std::string &s, int width) { s.resize(size_t(width), ' '); }

using ascii::trimRightBlanks;

}  // namespace

const FunctionSignature *FindFunction(std::string_view name) {
  std::string up;
  for (char c : name) up.push_back(upperChar(c));
  for (const auto &f : kFunctions)
    if (up == f.name) return &f;
  if (up.size() < 4) return nullptr;
  for (const auto &f : kFunctions)
    if (std::string_view(f.name).substr(0, up.size()) == up) return &f;
  return nullptr;
}

namespace {

bool ArgIs(const Node &node, size_t i, ValueType t) { return node.args[i]->type == t; }
int FirstWidth(const Node &node) { return node.args.empty() ? 0 : node.args[0]->width; }

std::string CheckArgCount(const FunctionSignature &sig, size_t n) {
  if (int(n) >= sig.min_args && int(n) <= sig.max_args) return {};
  std::string want = sig.min_args == sig.max_args
                         ? std::to_string(sig.min_args)
                         : std::to_string(sig.min_args) + " to " + std::to_string(sig.max_args);
  return std::string(sig.name) + "() takes " + want + " argument" +
         (sig.max_args == 1 ? "" : "s") + ", not " + std::to_string(n);
}

std::string TypeStr(Node &node, const FunctionSignature &sig) {
  const size_t n = node.args.size();
  if (!ArgIs(node, 0, ValueType::Numeric)) return ArgError(sig, 0, "numeric");
  int len = 10, dec = 0;
  if (n > 1 && !ConstInt(node, 1, len)) return ArgError(sig, 1, "a constant number");
  if (n > 2 && !ConstInt(node, 2, dec)) return ArgError(sig, 2, "a constant number");
  if (len < 1 || len > 255) return "STR() length must be 1 to 255";
  if (dec < 0 || dec > 255) return "STR() decimals must be 0 to 255";
  node.type = ValueType::Character;
  node.width = len;
  node.ints[0] = len;
  node.ints[1] = dec;
  return {};
}

std::string TypeLeftRight(Node &node, const FunctionSignature &sig) {
  if (!ArgIs(node, 0, ValueType::Character)) return ArgError(sig, 0, "character");
  int count = 0;
  if (!ConstInt(node, 1, count)) return ArgError(sig, 1, "a constant number");
  node.type = ValueType::Character;
  node.width = std::clamp(count, 0, FirstWidth(node));
  node.ints[0] = node.width;
  return {};
}

// The width must be known when the expression is compiled: a key has one
// length. So the count, or the start when the count is left out, is constant.
std::string TypeSubstr(Node &node, const FunctionSignature &sig) {
  if (!ArgIs(node, 0, ValueType::Character)) return ArgError(sig, 0, "character");
  if (!ArgIs(node, 1, ValueType::Numeric)) return ArgError(sig, 1, "numeric");
  const int w0 = FirstWidth(node);
  int start = 0, count = 0;
  bool start_known = ConstInt(node, 1, start);
  if (start_known) start = std::max(start, 1);
  if (node.args.size() > 2) {
    if (!ConstInt(node, 2, count)) return ArgError(sig, 2, "a constant number");
    count = std::clamp(count, 0, w0);
    if (start_known) count = std::min(count, std::max(0, w0 - start + 1));
  } else {
    if (!start_known) return "SUBSTR() needs a constant start when the length is not given";
    count = std::max(0, w0 - start + 1);
  }
  node.type = ValueType::Character;
  node.width = count;
  node.ints[0] = count;
  return {};
}

std::string TypeSpace(Node &node, const FunctionSignature &sig) {
  int count = 0;
  if (!ConstInt(node, 0, count)) return ArgError(sig, 0, "a constant number");
  if (count < 0 || count > kMaxWidth) return "SPACE() length out of range";
  node.type = ValueType::Character;
  node.width = count;
  return {};
}

std::string TypeIif(Node &node, const FunctionSignature &sig) {
  const auto &args = node.args;
  if (!ArgIs(node, 0, ValueType::Logical)) return ArgError(sig, 0, "logical");
  if (args[1]->type != args[2]->type)
    return std::string("IIF() branches differ in type: ") + TypeName(args[1]->type) + " and " +
           TypeName(args[2]->type);
  node.type = args[1]->type;
  // The wider branch fixes the width; the other is blank-padded.
  node.width = std::max(args[1]->width, args[2]->width);
  node.dec = std::max(args[1]->dec, args[2]->dec);
  return {};
}

std::string TypeMaxMin(Node &node, const FunctionSignature &sig) {
  const auto &args = node.args;
  if (!(ArgIs(node, 0, ValueType::Numeric) || ArgIs(node, 0, ValueType::Date)) ||
      args[1]->type != args[0]->type)
    return std::string(sig.name) + "() needs two numbers or two dates";
  node.type = args[0]->type;
  node.width = std::max(args[0]->width, args[1]->width);
  node.dec = std::max(args[0]->dec, args[1]->dec);
  return {};
}

// The functions whose arguments each have one fixed type and whose result
// needs no constant argument.
std::string TypeFixedArgs(Node &node, const FunctionSignature &sig) {
  const auto &args = node.args;
  auto is = [&](size_t i, ValueType t) { return ArgIs(node, i, t); };
  switch (sig.fn) {
    case Fn::Dtos:
    case Fn::Dtoc:
      if (!is(0, ValueType::Date)) return ArgError(sig, 0, "a date");
      node.type = ValueType::Character;
      node.width = 8;
      return {};
    case Fn::Upper:
    case Fn::Lower:
    case Fn::Trim:
    case Fn::Ltrim:
      if (!is(0, ValueType::Character)) return ArgError(sig, 0, "character");
      node.type = ValueType::Character;
      node.width = FirstWidth(node);
      return {};
    case Fn::Val:
    case Fn::Len:
    case Fn::Asc:
      if (!is(0, ValueType::Character)) return ArgError(sig, 0, "character");
      node.type = ValueType::Numeric;
      return {};
    case Fn::Descend:
      node.type = args[0]->type;
      node.width = FirstWidth(node);
      node.dec = args[0]->dec;
      return {};
    case Fn::Deleted:
      node.type = ValueType::Logical;
      node.width = 1;
      node.constant = false;
      return {};
    case Fn::Recno:
      node.type = ValueType::Numeric;
      node.constant = false;
      return {};
    case Fn::Ctod:
    case Fn::Stod:
      if (!is(0, ValueType::Character)) return ArgError(sig, 0, "character");
      node.type = ValueType::Date;
      node.width = 8;
      return {};
    case Fn::Year:
    case Fn::Month:
    case Fn::Day:
      if (!is(0, ValueType::Date)) return ArgError(sig, 0, "a date");
      node.type = ValueType::Numeric;
      return {};
    case Fn::At:
      if (!is(0, ValueType::Character)) return ArgError(sig, 0, "character");
      if (!is(1, ValueType::Character)) return ArgError(sig, 1, "character");
      node.type = ValueType::Numeric;
      return {};
    case Fn::Int:
    case Fn::Abs:
      if (!is(0, ValueType::Numeric)) return ArgError(sig, 0, "numeric");
      node.type = ValueType::Numeric;
      node.dec = sig.fn == Fn::Abs ? args[0]->dec : 0;
      return {};
    case Fn::Round:
    case Fn::Mod:
      if (!is(0, ValueType::Numeric)) return ArgError(sig, 0, "numeric");
      if (!is(1, ValueType::Numeric)) return ArgError(sig, 1, "numeric");
      node.type = ValueType::Numeric;
      node.dec = args[0]->dec;
      return {};
    case Fn::Chr:
      if (!is(0, ValueType::Numeric)) return ArgError(sig, 0, "numeric");
      node.type = ValueType::Character;
      node.width = 1;
      return {};
    default:
      return "unknown function";
  }
}

}  // namespace

std::string TypeCall(Node &node, const FunctionSignature &sig) {
  if (std::string e = CheckArgCount(sig, node.args.size()); !e.empty()) return e;
  node.fn = sig.fn;
  node.dec = 0;
  node.width = 10;
  node.constant =
      std::all_of(node.args.begin(), node.args.end(), [](auto &a) { return a->constant; });
  switch (sig.fn) {
    case Fn::Str: return TypeStr(node, sig);
    case Fn::Left:
    case Fn::Right: return TypeLeftRight(node, sig);
    case Fn::Substr: return TypeSubstr(node, sig);
    case Fn::Space: return TypeSpace(node, sig);
    case Fn::Iif: return TypeIif(node, sig);
    case Fn::Max:
    case Fn::Min: return TypeMaxMin(node, sig);
    default: return TypeFixedArgs(node, sig);
  }
}

namespace {

// The functions whose result is text; out holds the first argument's value
// and b the second's.
void EvalTextCall(const Node &node, const Value &b, Value &out) {
  switch (node.fn) {
    case Fn::Str:
      return SetText(out, FormatStr(out.number, node.ints[0], node.ints[1]), node.width);
    case Fn::Dtos:
      return SetText(out, std::move(out.text), 8);
    case Fn::Dtoc:
      return SetText(out, DtocFromDays(long(out.number)), 8);
    case Fn::Upper:
      for (char &c : out.text) c = upperChar(c);
      return;
    case Fn::Lower:
      for (char &c : out.text) c = lowerChar(c);
      return;
    case Fn::Left:
      return SetText(out, out.text.substr(0, size_t(node.ints[0])), node.width);
    case Fn::Right: {
      size_t count = std::min(out.text.size(), size_t(node.ints[0]));
      return SetText(out, out.text.substr(out.text.size() - count), node.width);
    }
    case Fn::Substr: {
      double s = std::trunc(b.number);
      size_t start = s < 1 ? 0 : s > double(out.text.size()) ? out.text.size() : size_t(s) - 1;
      return SetText(out, out.text.substr(start, size_t(node.ints[0])), node.width);
    }
    case Fn::Trim:
      return SetText(out, std::string(trimRightBlanks(out.text)), node.width);
    case Fn::Ltrim: {
      size_t i = out.text.find_first_not_of(' ');
      return SetText(out, i == std::string::npos ? std::string() : out.text.substr(i), node.width);
    }
    default:
      return;
  }
}

// DESCEND: the value mapped so that its keys sort in reverse order.
void EvalDescend(const Node &node, Value &out) {
  switch (out.type) {
    case ValueType::Character:
      // Padded first so that the blanks added later do not break the order.
      PadTo(out.text, node.width);
      for (char &c : out.text) c = char(255 - static_cast<unsigned char>(c));
      return;
    case ValueType::Numeric:
      return SetNumber(out, -out.number);
    case ValueType::Date:
      // Mirrors years 1-9999 onto themselves; blank stays blank.
      return SetDate(out, out.number == 0 ? 0 : long(1721426 + 5373484 - out.number));
    case ValueType::Logical:
      return SetLogical(out, !out.logical);
  }
}

}  // namespace

void EvalCall(const Node &node, const EvalContext &ctx, Value &out) {
  const auto &args = node.args;
  if (node.fn == Fn::Iif) {
    Eval(*args[0], ctx, out);
    Eval(*args[out.logical ? 1 : 2], ctx, out);
    return;
  }
  if (node.fn == Fn::Deleted) {
    return SetLogical(out, !ctx.record.empty() && ctx.record[0] == '*');
  }
  if (node.fn == Fn::Recno) return SetNumber(out, double(ctx.recno));
  if (node.fn == Fn::Space) return SetText(out, std::string(size_t(node.width), ' '), node.width);

  Value b;
  if (!args.empty()) Eval(*args[0], ctx, out);
  if (args.size() > 1) Eval(*args[1], ctx, b);

  switch (node.fn) {
    case Fn::Str:
    case Fn::Dtos:
    case Fn::Dtoc:
    case Fn::Upper:
    case Fn::Lower:
    case Fn::Left:
    case Fn::Right:
    case Fn::Substr:
    case Fn::Trim:
    case Fn::Ltrim:
      return EvalTextCall(node, b, out);
    case Fn::Val:
      return SetNumber(out, ParseLeadingNumber(out.text));
    case Fn::Descend:
      return EvalDescend(node, out);
    case Fn::Ctod:
      return SetDate(out, DaysFromCtod(out.text));
    case Fn::Stod:
      return SetDate(out, DaysFromDtos(std::string_view(out.text).substr(0, 8)));
    case Fn::Year:
    case Fn::Month:
    case Fn::Day: {
      int y, m, d;
      SplitDays(long(out.number), y, m, d);
      return SetNumber(out, node.fn == Fn::Year ? y : node.fn == Fn::Month ? m : d);
    }
    case Fn::Len:
      return SetNumber(out, double(out.text.size()));
    case Fn::Asc:
      return SetNumber(out, out.text.empty() ? 0 : static_cast<unsigned char>(out.text[0]));
    case Fn::At: {
      size_t p = out.text.empty() ? std::string::npos : b.text.find(out.text);
      return SetNumber(out, p == std::string::npos ? 0 : double(p + 1));
    }
    case Fn::Int:
      return SetNumber(out, std::trunc(out.number));
    case Fn::Abs:
      return SetNumber(out, std::fabs(out.number));
    case Fn::Round: {
      double d = std::clamp(std::trunc(b.number), -30.0, 30.0);
      return SetNumber(out, RoundDecimal(out.number, int(d)));
    }
    case Fn::Mod:
      // dBASE MOD takes the sign of the divisor; MOD(x, 0) is x.
      if (b.number == 0) return;
      return SetNumber(out, out.number - std::floor(out.number / b.number) * b.number);
    case Fn::Max:
    case Fn::Min: {
      bool take_b = node.fn == Fn::Max ? b.number > out.number : b.number < out.number;
      if (take_b) out = std::move(b);
      return;
    }
    case Fn::Chr: {
      double c = std::trunc(out.number);
      char ch = c >= 0 && c <= 255 ? char(int(c)) : ' ';
      return SetText(out, std::string(1, ch), 1);
    }
    default:
      return;
  }
}

}  // namespace talvex::engine::expr
