#include "common/tableengine/table.h"

#include <utility>

namespace talvex::common {

int clearEngineError(C4Context c) { return c ? code4errorCode(c, 0) : 0; }

Table::Table(Table&& other) noexcept
    : context_(other.context_),
      table_(std::exchange(other.table_, 0)),
      index_(std::exchange(other.index_, 0)) {}

Table& Table::operator=(Table&& other) noexcept {
  if (this != &other) {
    (void)close();  // one who cares calls close() first
    context_ = other.context_;
    table_ = std::exchange(other.table_, 0);
    index_ = std::exchange(other.index_, 0);
  }
  return *this;
}

Table Table::open(C4Context c, std::string_view path) {
  std::string p(path);
  C4Table t = d4open(c, p.c_str());
  clearEngineError(c);
  return Table(c, t);
}

Table Table::openClone(C4Context c, C4Table source) {
  C4Table t = source ? d4openClone(source) : 0;
  clearEngineError(c);
  return Table(c, t);
}

C4Field Table::field(std::string_view name) const {
  if (!table_) return 0;
  std::string n(name);
  C4Field f = d4field(table_, n.c_str());
  if (!f) clearEngineError(context_);
  return f;
}

C4Tag Table::tag(std::string_view name) const {
  if (!table_) return 0;
  std::string n(name);
  C4Tag t = d4tag(table_, n.c_str());
  if (!t) clearEngineError(context_);
  return t;
}

bool Table::openIndex(std::string_view path) {
  if (!table_) return false;
  std::string p(path);
  C4Index i = i4open(table_, p.c_str());
  if (!i) return false;
  if (index_) i4close(index_);
  index_ = i;
  return true;
}

int Table::close() {
  int r = 0;
  if (index_) r = i4close(std::exchange(index_, 0));
  if (table_) {
    C4Table t = std::exchange(table_, 0);
    const int unlocked = d4unlock(t);
    const int closed = d4close(t);
    if (r == 0) r = unlocked != 0 ? unlocked : closed;
  }
  clearEngineError(context_);
  return r;
}

C4Table Table::release() {
  index_ = 0;  // the index goes with the table it was opened through
  return std::exchange(table_, 0);
}

ContextGuard::~ContextGuard() {
  if (context_) code4initUndo(context_);
}

std::string fieldText(C4Field f) {
  if (!f) return {};
  const char* s = f4str(f);
  if (!s) return {};
  std::string text(s);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace talvex::common
