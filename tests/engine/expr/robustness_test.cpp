// Hostile and random inputs: compile must give a result or an error text,
// never crash, and compiled expressions must keep their static width.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "expr_fuzz_layout.h"

#include "test_table.h"

namespace talvex::engine::expr::testing {
namespace {

TEST(Robustness, DeepNestingIsRefused) {
  std::string deep(10000, '(');
  deep += "1";
  deep += std::string(10000, ')');
  CompileResult r = Compile(deep, Resolver());
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.error.find("longer than"), std::string::npos);

  std::string parens = std::string(200, '(') + "1" + std::string(200, ')');
  EXPECT_EQ(Compile(parens, Resolver()).error, "expression nested too deeply at position 65");
  EXPECT_FALSE(Compile(std::string(500, '-') + "1", Resolver()).ok());
  std::string nots;
  for (int i = 0; i < 100; ++i) nots += ".NOT. ";
  EXPECT_FALSE(Compile(nots + ".T.", Resolver()).ok());
  std::string calls;
  for (int i = 0; i < 100; ++i) calls += "UPPER(";
  calls += "TYPE" + std::string(100, ')');
  EXPECT_FALSE(Compile(calls, Resolver()).ok());
  // Reasonable nesting still works.
  EXPECT_TRUE(Compile(std::string(30, '(') + "ID" + std::string(30, ')'), Resolver()).ok());
}

TEST(Robustness, LongFlatExpressionsAreBoundedAndCorrect) {
  std::string sum = "1";
  for (int i = 0; i < 200; ++i) sum += "+1";
  auto e = MustCompile(sum);
  EXPECT_EQ(e->Evaluate(Record({}), 1).number, 201);
  std::string chain = "ID";
  for (int i = 0; i < 300; ++i) chain += "+1";
  EXPECT_EQ(Compile(chain, Resolver()).error, "expression too complex at position 513");
}

TEST(Robustness, HugeWidthsAreRefused) {
  EXPECT_FALSE(Compile("SPACE(60000)+SPACE(60000)", Resolver()).ok());
  EXPECT_TRUE(Compile("LEFT(TYPE, 2000000000)", Resolver()).ok());
  EXPECT_FALSE(Compile("STR(1, 2, 1e300)", Resolver()).ok());
}

// Random token soup and random bytes: whatever compiles must evaluate to a
// value of its declared type and width on random records.
TEST(Robustness, RandomInputsNeverCrash) {
  const char *atoms[] = {"ID", "TYPE", "CLASS", "DATE_FACT", "LASTNAME", "PAID", "PRICE",
                         "NOTES", "'ab'", "\"x y \"", "[z]", "12", "0", "-3.5", ".5", "{07/11/97}",
                         "{}", ".T.", ".F.", "+", "-", "*", "/", "^", "**", "=", "==", "<>", "#",
                         "<", ">", "<=", ">=", "$", ".AND.", ".OR.", ".NOT.", "(", ")", ",",
                         "STR(", "DTOS(", "DTOC(", "UPPER(", "LEFT(", "RIGHT(", "SUBSTR(", "SUBS(",
                         "TRIM(", "LTRIM(", "RTRIM(", "VAL(", "IIF(", "DESCEND(", "DELETED()",
                         "RECNO()", "CTOD(", "YEAR(", "MONTH(", "DAY(", "LEN(", "AT(", "SPACE(",
                         "ROUND(", "MOD(", "MAX(", "MIN(", "CHR(", "ASC(", "INT(", "ABS(", "->",
                         "CLAIMS->", "claims.", "."};
  std::mt19937 rng(20261209);
  std::uniform_int_distribution<size_t> pick(0, std::size(atoms) - 1);
  std::uniform_int_distribution<int> len(1, 14), byte(0, 255);
  int compiled = 0;
  for (int iter = 0; iter < 40000; ++iter) {
    std::string text;
    if (iter % 4 == 3) {
      for (int i = len(rng) * 3; i > 0; --i) text.push_back(char(byte(rng)));
    } else {
      for (int i = len(rng); i > 0; --i) text += std::string(atoms[pick(rng)]) + (i % 3 ? "" : " ");
    }
    CompileResult r = Compile(text, Resolver());
    if (!r.ok()) {
      ASSERT_FALSE(r.error.empty()) << text;
      continue;
    }
    ++compiled;
    std::string rec(Record({}).size(), ' ');
    for (int k = 0; k < 3; ++k) {
      for (char &c : rec) c = char(byte(rng) % 3 == 0 ? byte(rng) : "0123456789 .-TAb*"[byte(rng) % 17]);
      Value v = r.expression->Evaluate(rec, iter);
      ASSERT_EQ(v.type, r.expression->type()) << text;
      if (v.type == ValueType::Character) {
        ASSERT_EQ(int(v.text.size()), r.expression->width()) << text;
      } else if (v.type == ValueType::Date) {
        ASSERT_EQ(v.text.size(), 8u) << text;
      } else if (v.type == ValueType::Numeric) {
        ASSERT_FALSE(v.text.empty()) << text;
      }
      // A truncated buffer must be survivable too.
      r.expression->Evaluate(std::string_view(rec).substr(0, size_t(iter % 40)), -1);
    }
  }
  EXPECT_GT(compiled, 300);  // the soup must exercise evaluation, not only errors
}

// Inputs kept from the expression fuzzer: expression, NUL, record bytes.
TEST(Robustness, ExpressionFuzzCorpusReplays) {
  int count = 0;
  for (const auto &e : std::filesystem::directory_iterator(TALVEX_EXPR_FUZZ_CORPUS)) {
    std::ifstream in(e.path(), std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(talvex::fuzz::CheckExpressionInput(bytes), "") << e.path().filename();
    ++count;
  }
  EXPECT_GE(count, 10);
}

}  // namespace
}  // namespace talvex::engine::expr::testing
