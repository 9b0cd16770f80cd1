// expression.h - dBASE key and filter expressions: compile once, evaluate per record.
//
// Contract:
//  - Compile() parses a dBASE expression (index key or FOR filter) against the
//    fields of one table and returns either a compiled Expression or an error
//    text. It never throws and never crashes, whatever the input (nesting is
//    capped, text length is capped).
//  - The compiled Expression owns everything it needs; it holds no pointer to
//    the resolver or to the text it came from. It is immutable after Compile:
//    Evaluate() is const and may run from several threads at once.
//  - Types and widths are static: a character result has the same width for
//    every record (TRIM, LTRIM etc. pad back to the declared width), which is
//    what fixed-length index keys need.
//  - Evaluate() never fails: a record buffer shorter than a field reads the
//    missing bytes as blanks, unreadable numbers read as 0, unreadable dates
//    as blank, division by zero gives 0.
//
// Field lookup: a field reference may carry an alias prefix ("ALIAS->NAME" or
// "ALIAS.NAME"); the compiler hands alias (empty when none) and name to the
// resolver unchanged. MakeFieldResolver() gives the resolver the engine wants:
// names compared case-insensitively on their first 10 characters (dBASE keeps
// over-long names such as "code_client" for field CODE_CLIEN in key texts).
#ifndef TALVEX_ENGINE_EXPR_EXPRESSION_H
#define TALVEX_ENGINE_EXPR_EXPRESSION_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex::engine::expr {

// Result types. 'L' results are for filters only; keys are C, N or D.
enum class ValueType : char { Character = 'C', Numeric = 'N', Date = 'D', Logical = 'L' };

// One field of the table's record layout.
struct FieldInfo {
  std::string name;  // as in the descriptor (upper case)
  char type = 'C';   // C N F D L M (B, G treated as M)
  int len = 0;       // width in bytes
  int dec = 0;       // decimals (N, F)
  int offset = 0;    // offset in the record buffer; byte 0 is the deletion flag
};

// alias is empty when the reference had no prefix. Returns nothing when the
// table has no such field (or the alias is not the table's).
using FieldResolver =
    std::function<std::optional<FieldInfo>(std::string_view alias, std::string_view name)>;

// Resolver over a table's field list. table_alias empty: any alias prefix is
// accepted; otherwise the prefix must equal it (case-insensitive).
FieldResolver MakeFieldResolver(std::vector<FieldInfo> fields, std::string table_alias);

struct Value {
  ValueType type = ValueType::Character;
  // C: exactly width() bytes, blank-padded.
  // D: "yyyymmdd", or 8 blanks for a blank date.
  // N: the number as plain decimal text ("-3.5", "125.00", "0"): a numeric
  //    field gives its stored digits exactly (blank field -> "0"); computed
  //    values are formatted from `number` with up to 15 significant digits.
  //    Index keys are built from this text, not from the binary double.
  // L: "T" or "F".
  std::string text;
  double number = 0;     // N: the value; D: Julian day number, 0 when blank
  bool logical = false;  // L
};

class Expression {
 public:
  virtual ~Expression() = default;
  Expression(const Expression &) = delete;
  Expression &operator=(const Expression &) = delete;

  virtual ValueType type() const = 0;
  // Static width: C = result width in bytes; N = display width (10 unless known
  // from a field or STR); D = 8; L = 1.
  [[nodiscard]] virtual int width() const = 0;
  // Decimals of a numeric result as dBASE would show them (field decimals,
  // else 0); 0 for other types.
  [[nodiscard]] virtual int decimals() const = 0;
  // Index key length: C = width() (the caller rejects more than 100),
  // N = 12, D = 8, L = 0 (not a valid key).
  [[nodiscard]] int keyLength() const;
  // The expression text as given to Compile.
  virtual const std::string &source() const = 0;

  // record: the whole record buffer including the deletion flag at byte 0.
  // recno: the record number RECNO() gives (1-based).
  virtual Value Evaluate(std::string_view record, std::int32_t recno) const noexcept = 0;

 protected:
  Expression() = default;
};

struct CompileResult {
  std::unique_ptr<Expression> expression;  // set on success
  std::string error;                       // set on failure, e.g. "unknown field NAMEX at 1"
  [[nodiscard]] bool ok() const { return expression != nullptr; }
};

// Never throws. Texts longer than 1024 bytes or nested deeper than 64 levels
// are refused with an error.
CompileResult Compile(std::string_view text, const FieldResolver &resolve) noexcept;

}  // namespace talvex::engine::expr

#endif
