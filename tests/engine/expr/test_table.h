// A small record layout and record builder shared by the expression tests.
#ifndef TALVEX_TESTS_ENGINE_EXPR_TEST_TABLE_H
#define TALVEX_TESTS_ENGINE_EXPR_TEST_TABLE_H

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "expr/expression.h"

namespace talvex::engine::expr::testing {

// ID N6, TYPE C2, CLASS N4, DATE_FACT D8, CODE_CLIEN N5, LASTNAME C15,
// FIRSTNAME C10, PAID L1, NOTES M10, PRICE N8,2
inline std::vector<FieldInfo> Fields() {
  std::vector<FieldInfo> f = {
      {"ID", 'N', 6, 0, 0},        {"TYPE", 'C', 2, 0, 0},     {"CLASS", 'N', 4, 0, 0},
      {"DATE_FACT", 'D', 8, 0, 0}, {"CODE_CLIEN", 'N', 5, 0, 0}, {"LASTNAME", 'C', 15, 0, 0},
      {"FIRSTNAME", 'C', 10, 0, 0}, {"PAID", 'L', 1, 0, 0},     {"NOTES", 'M', 10, 0, 0},
      {"PRICE", 'N', 8, 2, 0},
  };
  int off = 1;
  for (auto &x : f) {
    x.offset = off;
    off += x.len;
  }
  return f;
}

// Builds a record: values are the stored field texts, padded the way dBASE
// stores them (C left-aligned, N right-aligned).
inline std::string Record(const std::map<std::string, std::string> &values, bool deleted = false) {
  std::string rec(1, deleted ? '*' : ' ');
  for (const auto &f : Fields()) {
    auto it = values.find(f.name);
    std::string v = it == values.end() ? "" : it->second;
    if (f.type == 'N' && v.size() < size_t(f.len)) v.insert(0, size_t(f.len) - v.size(), ' ');
    v.resize(size_t(f.len), ' ');
    rec += v;
  }
  return rec;
}

inline FieldResolver Resolver() { return MakeFieldResolver(Fields(), "CLAIMS"); }

// Compiles or fails the test with the compiler's message.
inline std::unique_ptr<Expression> MustCompile(const std::string &text) {
  CompileResult r = Compile(text, Resolver());
  EXPECT_TRUE(r.ok()) << text << ": " << r.error;
  return std::move(r.expression);
}

// Result text of text evaluated against rec (record number 1 unless given).
inline std::string EvalText(const std::string &text, const std::string &rec, int recno = 1) {
  auto e = MustCompile(text);
  if (!e) return "<error>";
  return e->Evaluate(rec, recno).text;
}

inline std::string CompileError(const std::string &text) {
  CompileResult r = Compile(text, Resolver());
  EXPECT_FALSE(r.ok()) << text << " compiled";
  return r.error;
}

}  // namespace talvex::engine::expr::testing

#endif
