// TableLayout: the structure of one host table at one release step - its
// fields in order, the tags of its production index and the archive family
// it belongs to.
//
// Contract: plain values, copied freely; no engine or file access. Names are
// compared without regard to case, as the engine matches them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talvex::releases {

struct FieldLayout {
  std::string name;  // upper case, at most 10 characters
  char type = 'C';   // 'C', 'N', 'D', 'L', 'M'
  int len = 0;
  int dec = 0;
  bool operator==(const FieldLayout&) const = default;
};

struct TagLayout {
  std::string name;  // upper case, at most 10 characters
  std::string expression;
  std::string filter;  // empty for none
  bool unique = false;
  bool descending = false;
  bool operator==(const TagLayout&) const = default;
};

// Which claim archive folders also hold the table: UB claims live below
// "archub92\<name>\", 1500 claims below "arch1500\<name>\".
enum class ClaimFamily { None, Ub, Professional };

struct TableLayout {
  std::string base;  // lower case base name, e.g. "bcclaim"
  ClaimFamily family = ClaimFamily::None;
  std::vector<FieldLayout> fields;
  std::vector<TagLayout> tags;  // empty: the table has no production index

  bool hasMemo() const;      // some field of type 'M': the file set has ".dbt"
  bool hasIndex() const { return !tags.empty(); }
  [[nodiscard]] int recordLength() const;  // 1 (deletion flag) + the field widths
  const FieldLayout* field(std::string_view name) const;  // nullptr when absent
  const TagLayout* tag(std::string_view name) const;      // nullptr when absent
  bool operator==(const TableLayout&) const = default;
};

}  // namespace talvex::releases
