// functions.h - the dBASE function library of expressions: names (with the
// dBASE 4-letter abbreviations), argument checks and static result widths at
// compile time, results at evaluation time.
#ifndef TALVEX_ENGINE_EXPR_FUNCTIONS_H
#define TALVEX_ENGINE_EXPR_FUNCTIONS_H

#include <string>
#include <string_view>

#include "expr_node.h"

namespace talvex::engine::expr {

struct FunctionSignature {
  const char *name;
  Fn fn;
  int min_args;
  int max_args;
};

// The function a name calls: the full name, or an abbreviation of at least
// four letters, in any case. nullptr when there is none.
const FunctionSignature *FindFunction(std::string_view name);

// Checks the arguments already in node.args and sets node.type, width, dec
// and the constant arguments. Returns an error text, empty when fine.
std::string TypeCall(Node &node, const FunctionSignature &sig);

void EvalCall(const Node &node, const EvalContext &ctx, Value &out);

// Longest character result the compiler accepts.
constexpr int kMaxWidth = 65535;

}  // namespace talvex::engine::expr

#endif
