// RAII binding over the engine's C API (engine/include/c4dll.h).
//
// The libraries' table work follows one pattern: open, work, close on every
// path, then clear the context's error state, failed or not, so the host's
// context carries no error out. Table closes its handle in its destructor (or
// close()) and clears the error state after the open, after a field or tag
// probe that finds nothing, and after the close. A Table may also own an index
// file opened through it (openIndex); close() closes that index first, then
// unlocks and closes the table. ContextGuard releases a
// context the guard created (code4initUndo) on every path.
//
// A Table belongs to one context; like the context it must not be used from
// two threads at once. Moving transfers the handle; a moved-from Table is
// empty. Text pointers from the engine stay valid only until the next call on
// the same field or table (see c4dll.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "c4dll.h"

namespace talvex::common {

class Table {
 public:
  Table() = default;
  // Takes over an open handle of context c (0 gives an empty Table).
  Table(C4Context c, C4Table t) : context_(c), table_(t) {}
  ~Table() { (void)close(); }  // one who cares calls close() first
  Table(Table&& other) noexcept;
  Table& operator=(Table&& other) noexcept;
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // d4open; an empty Table when it fails (the error state is cleared).
  static Table open(C4Context c, std::string_view path);
  // d4openClone of a handle someone else owns (the host's open table).
  static Table openClone(C4Context c, C4Table source);

  explicit operator bool() const { return table_ != 0; }
  C4Table handle() const { return table_; }
  C4Context context() const { return context_; }

  // d4field; 0 when the table has no such field (the usual probe of a
  // table's layout), with the error state cleared.
  C4Field field(std::string_view name) const;
  bool hasField(std::string_view name) const { return field(name) != 0; }
  // d4tag; 0 when missing, error state cleared.
  C4Tag tag(std::string_view name) const;

  // i4open of an index file through this table, owned from now on. False
  // when it fails; the error state is left for the caller to read.
  [[nodiscard]] bool openIndex(std::string_view path);
  C4Index index() const { return index_; }

  // Closes now: the owned index (i4close), then d4unlock and d4close. The
  // first failing result, 0 when every step worked or the Table was empty.
  // The error state is cleared either way.
  [[nodiscard]] int close();
  // Gives up ownership without closing.
  C4Table release();

 private:
  C4Context context_ = 0;
  C4Table table_ = 0;
  C4Index index_ = 0;
};

// Clears the context's error state and returns the code it held.
int clearEngineError(C4Context c);

// Owns a context: code4initUndo on destruction, which also closes every table
// still open in it. Tables of the context should be destroyed first (declare
// them after the guard).
class ContextGuard {
 public:
  explicit ContextGuard(C4Context c) : context_(c) {}
  ~ContextGuard();
  ContextGuard(const ContextGuard&) = delete;
  ContextGuard& operator=(const ContextGuard&) = delete;
  C4Context get() const { return context_; }
  explicit operator bool() const { return context_ != 0; }

 private:
  C4Context context_;
};

// The text of a field with the blanks at its right end removed ("" for 0).
std::string fieldText(C4Field f);

}  // namespace talvex::common
