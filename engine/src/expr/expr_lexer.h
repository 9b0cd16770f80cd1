// lexer.h - splits a dBASE expression into tokens. Holds views into the text
// it was given, which must outlive the Lexer and its tokens.
#ifndef TALVEX_ENGINE_EXPR_LEXER_H
#define TALVEX_ENGINE_EXPR_LEXER_H

#include <string>
#include <string_view>

namespace talvex::engine::expr {

enum class Tok {
  End,
  Error,      // text holds the message
  Ident,      // field, alias or function name
  Number,
  String,     // text holds the contents without delimiters
  Date,       // {mm/dd/yy}: text holds the contents
  True,
  False,
  And,
  Or,
  Not,
  LParen,
  RParen,
  Comma,
  Arrow,      // -> or the alias dot
  Plus,
  Minus,
  Star,
  Slash,
  Power,      // ^ or **
  Eq,         // =
  ExactEq,    // ==
  Ne,         // <> # !=
  Lt,
  Gt,
  Le,
  Ge,
  Dollar,
};

struct Token {
  Tok kind = Tok::End;
  std::string text;
  size_t pos = 0;  // 1-based column, for messages
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}
  Token Next();

 private:
  // A dotted word (.AND. .T. ...) at pos_, or End when the dot starts none.
  Tok DottedWord(size_t &length) const;

  std::string_view text_;
  size_t pos_ = 0;
  bool after_ident_ = false;
};

}  // namespace talvex::engine::expr

#endif
