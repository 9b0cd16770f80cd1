// node.h - the compiled form of an expression: a typed tree whose every node
// knows its static result type and width. Built by the compiler, read by the
// evaluator; immutable once built.
#ifndef TALVEX_ENGINE_EXPR_NODE_H
#define TALVEX_ENGINE_EXPR_NODE_H

#include <memory>
#include <vector>

#include "expression.h"

namespace talvex::engine::expr {

enum class Op {
  Literal,
  Field,
  Concat,       // C + C
  ConcatMove,   // C - C: left's trailing blanks go to the end
  Add,          // N + N
  Sub,          // N - N
  Mul,
  Div,
  Pow,
  Negate,       // unary minus on N
  DatePlus,     // D + N, N + D (the date is args[0])
  DateMinus,    // D - N
  DateDiff,     // D - D -> N
  Compare,
  Contains,     // C $ C
  And,
  Or,
  Not,
  Call,
};

enum class Cmp { Eq, ExactEq, Ne, Lt, Gt, Le, Ge };

enum class Fn {
  Str, Dtos, Dtoc, Upper, Lower, Left, Right, Substr, Trim, Ltrim, Val, Iif,
  Descend, Deleted, Recno, Ctod, Year, Month, Day, Len, At, Space, Int, Abs,
  Round, Mod, Max, Min, Chr, Asc, Stod,
};

struct Node {
  Op op = Op::Literal;
  Cmp cmp = Cmp::Eq;
  Fn fn = Fn::Str;
  ValueType type = ValueType::Character;
  int width = 0;  // C: exact result width
  int dec = 0;
  bool constant = false;  // depends on no field, record number or deletion flag
  int depth = 1;          // height of the subtree, bounded by the compiler
  std::vector<std::unique_ptr<Node>> args;
  Value literal;    // Literal
  FieldInfo field;  // Field
  int ints[3] = {0, 0, 0};  // constant arguments resolved at compile time
};

// Evaluates node against a record; out is overwritten. Depth is bounded by
// the compiler's nesting cap.
struct EvalContext {
  std::string_view record;
  std::int32_t recno = 0;
};
void Eval(const Node &node, const EvalContext &ctx, Value &out);

// Wraps a finished tree as the public Expression.
std::unique_ptr<Expression> MakeExpression(std::unique_ptr<Node> root, std::string source);

// Helpers shared by the compiler (constant folding) and the evaluator.
void SetDate(Value &v, long jdn);
void SetNumber(Value &v, double n);
void SetLogical(Value &v, bool b);
void SetText(Value &v, std::string text, int width);

}  // namespace talvex::engine::expr

#endif
