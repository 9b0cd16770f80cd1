#include "expr_lexer.h"
#include "platform/ascii_text.h"

namespace talvex::engine::expr {
namespace {

using ascii::isDigit;
bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

}  // namespace

Tok Lexer::DottedWord(size_t &length) const {
  size_t i = pos_ + 1;
  std::string word;
  while (i < text_.size() && IsAlpha(text_[i]) && word.size() < 4) word.push_back(ascii::upperChar(text_[i++]));
  if (i >= text_.size() || text_[i] != '.') return Tok::End;
  length = i + 1 - pos_;
  if (word == "AND") return Tok::And;
  if (word == "OR") return Tok::Or;
  if (word == "NOT") return Tok::Not;
  if (word == "T" || word == "Y") return Tok::True;
  if (word == "F" || word == "N") return Tok::False;
  return Tok::End;
}

Token Lexer::Next() {
  while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                 text_[pos_] == '\r' || text_[pos_] == '\n'))
    ++pos_;
  Token t;
  t.pos = pos_ + 1;
  bool was_ident = after_ident_;
  after_ident_ = false;
  if (pos_ >= text_.size()) return t;
  char c = text_[pos_];
  auto single = [&](Tok k, size_t n) {
    t.kind = k;
    pos_ += n;
    return t;
  };
  char n1 = pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0';

  if (IsAlpha(c)) {
    size_t start = pos_;
    while (pos_ < text_.size() && (IsAlpha(text_[pos_]) || isDigit(text_[pos_]))) ++pos_;
    t.kind = Tok::Ident;
    t.text = std::string(text_.substr(start, pos_ - start));
    after_ident_ = true;
    return t;
  }
  if (isDigit(c) || (c == '.' && isDigit(n1))) {
    size_t start = pos_;
    bool point = false;
    while (pos_ < text_.size() && (isDigit(text_[pos_]) || (text_[pos_] == '.' && !point))) {
      // "1.AND." : the point belongs to the operator, not the number.
      if (text_[pos_] == '.') {
        size_t len = 0;
        if (DottedWord(len) != Tok::End) break;
        point = true;
      }
      ++pos_;
    }
    t.kind = Tok::Number;
    t.text = std::string(text_.substr(start, pos_ - start));
    return t;
  }
  if (c == '.') {
    size_t len = 0;
    Tok k = DottedWord(len);
    if (k != Tok::End) return single(k, len);
    // ALIAS.FIELD: a dot right after a name that is followed by a name.
    if (was_ident && IsAlpha(n1)) return single(Tok::Arrow, 1);
    t.kind = Tok::Error;
    t.text = "unexpected '.'";
    return t;
  }
  if (c == '"' || c == '\'' || c == '[' || c == '{') {
    char close = c == '[' ? ']' : c == '{' ? '}' : c;
    size_t end = text_.find(close, pos_ + 1);
    if (end == std::string_view::npos) {
      t.kind = Tok::Error;
      t.text = c == '{' ? "unterminated date literal" : "unterminated string";
      return t;
    }
    t.kind = c == '{' ? Tok::Date : Tok::String;
    t.text = std::string(text_.substr(pos_ + 1, end - pos_ - 1));
    pos_ = end + 1;
    return t;
  }
  switch (c) {
    case '(': return single(Tok::LParen, 1);
    case ')': return single(Tok::RParen, 1);
    case ',': return single(Tok::Comma, 1);
    case '+': return single(Tok::Plus, 1);
    case '-': return n1 == '>' ? single(Tok::Arrow, 2) : single(Tok::Minus, 1);
    case '*': return n1 == '*' ? single(Tok::Power, 2) : single(Tok::Star, 1);
    case '/': return single(Tok::Slash, 1);
    case '^': return single(Tok::Power, 1);
    case '$': return single(Tok::Dollar, 1);
    case '#': return single(Tok::Ne, 1);
    case '=': return n1 == '=' ? single(Tok::ExactEq, 2) : single(Tok::Eq, 1);
    case '!': if (n1 == '=') return single(Tok::Ne, 2); break;
    case '<':
      if (n1 == '>') return single(Tok::Ne, 2);
      if (n1 == '=') return single(Tok::Le, 2);
      return single(Tok::Lt, 1);
    case '>': return n1 == '=' ? single(Tok::Ge, 2) : single(Tok::Gt, 1);
    default: break;
  }
  t.kind = Tok::Error;
  unsigned char uc = static_cast<unsigned char>(c);
  if (uc >= 0x20 && uc < 0x7f) {
    t.text = std::string("unexpected character '") + c + "'";
  } else {
    static const char kHex[] = "0123456789ABCDEF";
    t.text = std::string("unexpected byte 0x") + kHex[uc >> 4] + kHex[uc & 15];
  }
  return t;
}

}  // namespace talvex::engine::expr
