// The raw history rows behind layouts.h: every field and tag a table has ever
// had, in table order, each with the update that added it and the update that
// removed it, plus the width changes. One row set per table is the single
// source of every layout: the oldest, each step's, the newest and the changes.
//
// Internal to talvex_releases; constant data with static storage.
#pragma once

#include <span>

#include "releases/table_layout.h"

namespace talvex::releases::history {

// since: the update that adds it (0 = already in the table when the table
// first exists); until: the update that removes it (0 = never removed).
struct FieldRow {
  const char* name;
  char type;
  int len;
  int dec;
  int since = 0;
  int until = 0;
  constexpr FieldRow from(int update) const {
    FieldRow r = *this;
    r.since = update;
    return r;
  }
  constexpr FieldRow to(int update) const {
    FieldRow r = *this;
    r.until = update;
    return r;
  }
};

// A change of type, width or decimals of an existing field by one update.
struct AlterRow {
  const char* field;
  int update;
  char type;
  int len;
  int dec;
};

struct TagRow {
  const char* name;
  const char* expression;
  const char* filter = "";
  bool unique = false;
  bool descending = false;
  int since = 0;
  int until = 0;
  constexpr TagRow from(int update) const {
    TagRow r = *this;
    r.since = update;
    return r;
  }
};

struct TableRow {
  const char* base;
  int since;  // 0: part of the oldest release; else the update that creates it
  ClaimFamily family;
  std::span<const FieldRow> fields;
  std::span<const AlterRow> alters;  // in ascending update order per field
  std::span<const TagRow> tags;
};

std::span<const TableRow> Tables();

}  // namespace talvex::releases::history
