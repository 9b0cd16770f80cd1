// The record layout the expression fuzzer and its corpus replay compile
// against: input up to the first NUL is the expression, the rest the record.
#ifndef TALVEX_TESTS_FUZZ_EXPR_FUZZ_LAYOUT_H
#define TALVEX_TESTS_FUZZ_EXPR_FUZZ_LAYOUT_H

#include <cstring>
#include <string>
#include <string_view>

#include "expr/expression.h"

namespace talvex::fuzz {

inline const engine::expr::FieldResolver &ExprFuzzResolver() {
  using engine::expr::FieldInfo;
  static const engine::expr::FieldResolver r = [] {
    std::vector<FieldInfo> f = {{"ID", 'N', 6, 0, 1},      {"TYPE", 'C', 2, 0, 7},
                                {"CLASS", 'N', 4, 1, 9},   {"DATE_FACT", 'D', 8, 0, 13},
                                {"NAME", 'C', 20, 0, 21},  {"PAID", 'L', 1, 0, 41},
                                {"NOTES", 'M', 10, 0, 42}, {"PRICE", 'F', 12, 2, 52}};
    return engine::expr::MakeFieldResolver(f, "T");
  }();
  return r;
}

// Compiles and evaluates one input; returns a problem text, empty when the
// compiler and evaluator behaved.
inline std::string CheckExpressionInput(std::string_view input) {
  using namespace engine::expr;
  size_t nul = input.find('\0');
  std::string_view text = input.substr(0, nul);
  std::string_view record = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
  CompileResult r = Compile(text, ExprFuzzResolver());
  if (!r.ok()) return r.error.empty() ? "compile failed without a message" : "";
  const Expression &e = *r.expression;
  Value v = e.Evaluate(record, 1);
  bool sound = v.type == e.type() &&
               (v.type != ValueType::Character || v.text.size() == size_t(e.width())) &&
               (v.type != ValueType::Date || v.text.size() == 8) &&
               (v.type != ValueType::Numeric || !v.text.empty());
  return sound ? "" : "value does not match the static type or width";
}

}  // namespace talvex::fuzz

#endif
