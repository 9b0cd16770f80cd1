// The layout of every host table at every release step, as data: the oldest
// layout the version gate admits (before update 0092), the changes each
// numbered update makes, and the newest layout.
//
// Steps are update numbers: LayoutAfter(t, n) is table t once every update
// numbered n or lower has run (n = kOldestStep: nothing has run yet; a data
// set last used with a release whose first missing update is F is in the
// layout after F - 1). A clone folder holds a table in the layout after the
// last update of that folder (CloneLayout), since several updates of one
// release share one folder and one copy of each table.
//
// Contract: pure functions over constant data; results are fresh values owned
// by the caller; safe from any thread; no file or engine access.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "releases/table_layout.h"
#include "catalogue/catalogue_row.h"

namespace talvex::releases {

inline constexpr int kOldestStep = 0;
inline constexpr int kNewestStep = 9999;

// Base names of every table that exists at some step, in a fixed order.
std::vector<std::string> AllTableNames();

// The table after every update numbered `step` or lower; nullopt when the table
// does not exist yet at that step (it is created by a later update) or is unknown.
std::optional<TableLayout> LayoutAfter(std::string_view base, int step);
std::optional<TableLayout> OldestLayout(std::string_view base);
std::optional<TableLayout> NewestLayout(std::string_view base);

// Every table that exists after `step`, in AllTableNames() order.
std::vector<TableLayout> TableSetAfter(int step);

// The tables of a data set whose release maps to first update `firstUpdate`
// (the version gate's number): TableSetAfter(firstUpdate - 1).
std::vector<TableLayout> ReleaseTableSet(int firstUpdate);

// The last update number sharing the clone folder of `row`.
[[nodiscard]] int CloneFolderLastUpdate(const talvex::tabmend::RestructureSpec& row);
// The layout of `base` in the clone folder of `row`: LayoutAfter the last
// update of that folder. nullopt when the table is unknown.
std::optional<TableLayout> CloneLayout(const talvex::tabmend::RestructureSpec& row,
                                       std::string_view base);

// ---- changes -------------------------------------------------------------

enum class ChangeKind {
  AddTable,     // `table` appears, in layout `created`
  AddField,     // `field` inserted after field `after` ("" = first)
  RemoveField,  // `field.name` dropped
  AlterField,   // `field` takes the new type/width/decimals (old in `oldField`)
  AddTag,       // `tag` added to the production index
  RemoveTag,    // `tag.name` dropped
};

struct LayoutChange {
  int update = 0;
  std::string table;
  ChangeKind kind = ChangeKind::AddField;
  FieldLayout field;
  FieldLayout oldField;  // AlterField: the field before the change
  std::string after;     // AddField: the preceding field in the new layout
  TagLayout tag;
  std::optional<TableLayout> created;  // AddTable
};

// The changes update `number` makes, in table order; empty for a number that
// changes nothing (or belongs to no update).
std::vector<LayoutChange> ChangesOf(int number);

// Applies one change to `layout` (ignored for AddTable). False, with a reason
// in *error, when the layout does not fit the change: an added field or tag
// that exists already or whose `after` field is missing, a removed or altered
// field or tag that is missing, an altered field whose old form differs.
[[nodiscard]] bool ApplyChange(TableLayout& layout, const LayoutChange& change, std::string* error);

}  // namespace talvex::releases
