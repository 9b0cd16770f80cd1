// Layouts at any step, built from the history rows of layout_data.cpp; the
// per-update changes are the difference between two neighbouring steps.
#include "releases/layouts.h"

#include <algorithm>
#include <cstring>

#include "platform/ascii_text.h"
#include "releases/layout_history.h"
#include "catalogue/catalogue.h"

namespace talvex::releases {
namespace {

using history::TableRow;

using talvex::ascii::sameNoCase;

bool AliveAt(int since, int until, int step) {
  return since <= step && (until == 0 || until > step);
}

const TableRow* FindRow(std::string_view base) {
  for (const TableRow& row : history::Tables())
    if (ascii::sameNoCase(row.base, base)) return &row;
  return nullptr;
}

TableLayout Build(const TableRow& row, int step) {
  TableLayout table;
  table.base = row.base;
  table.family = row.family;
  for (const history::FieldRow& f : row.fields) {
    if (!AliveAt(f.since, f.until, step)) continue;
    FieldLayout field{f.name, f.type, f.len, f.dec};
    for (const history::AlterRow& a : row.alters) {
      if (a.update <= step && ascii::sameNoCase(a.field, f.name)) {
        field.type = a.type;
        field.len = a.len;
        field.dec = a.dec;
      }
    }
    table.fields.push_back(std::move(field));
  }
  for (const history::TagRow& t : row.tags) {
    if (!AliveAt(t.since, t.until, step)) continue;
    table.tags.push_back({t.name, t.expression, t.filter, t.unique, t.descending});
  }
  return table;
}

template <typename Item>
const Item* FindNamed(const std::vector<Item>& items, std::string_view name) {
  for (const Item& item : items)
    if (ascii::sameNoCase(item.name, name)) return &item;
  return nullptr;
}

template <typename Item>
typename std::vector<Item>::iterator FindNamedIt(std::vector<Item>& items, std::string_view name) {
  return std::find_if(items.begin(), items.end(),
                      [&](const Item& item) { return ascii::sameNoCase(item.name, name); });
}

// Inserts `item` after the entry named `after` ("" = at the front).
template <typename Item>
bool InsertAfter(std::vector<Item>& items, const Item& item, const std::string& after,
                 std::string* error, const std::string& what) {
  if (FindNamed(items, item.name) != nullptr) {
    if (error) *error = what + " " + item.name + " exists already";
    return false;
  }
  auto at = items.begin();
  if (!after.empty()) {
    at = FindNamedIt(items, after);
    if (at == items.end()) {
      if (error) *error = what + " " + item.name + ": no " + after + " to follow";
      return false;
    }
    ++at;
  }
  items.insert(at, item);
  return true;
}

template <typename Item>
bool EraseNamed(std::vector<Item>& items, const std::string& name, std::string* error,
                const std::string& what) {
  auto it = FindNamedIt(items, name);
  if (it == items.end()) {
    if (error) *error = what + " " + name + " is missing";
    return false;
  }
  items.erase(it);
  return true;
}

void DiffTables(int update, const TableLayout& before, const TableLayout& after,
                std::vector<LayoutChange>& out) {
  auto base = [&](ChangeKind kind) {
    LayoutChange c;
    c.update = update;
    c.table = after.base;
    c.kind = kind;
    return c;
  };
  for (const TagLayout& t : before.tags) {
    const TagLayout* now = FindNamed(after.tags, t.name);
    if (now == nullptr || !(*now == t)) {
      LayoutChange c = base(ChangeKind::RemoveTag);
      c.tag = t;
      out.push_back(std::move(c));
    }
  }
  for (const FieldLayout& f : before.fields) {
    if (FindNamed(after.fields, f.name) == nullptr) {
      LayoutChange c = base(ChangeKind::RemoveField);
      c.field = f;
      out.push_back(std::move(c));
    }
  }
  for (const FieldLayout& f : after.fields) {
    const FieldLayout* old = FindNamed(before.fields, f.name);
    if (old != nullptr && !(*old == f)) {
      LayoutChange c = base(ChangeKind::AlterField);
      c.field = f;
      c.oldField = *old;
      out.push_back(std::move(c));
    }
  }
  for (std::size_t i = 0; i < after.fields.size(); ++i) {
    const FieldLayout& f = after.fields[i];
    if (FindNamed(before.fields, f.name) != nullptr) continue;
    LayoutChange c = base(ChangeKind::AddField);
    c.field = f;
    c.after = i == 0 ? "" : after.fields[i - 1].name;
    out.push_back(std::move(c));
  }
  for (std::size_t i = 0; i < after.tags.size(); ++i) {
    const TagLayout& t = after.tags[i];
    const TagLayout* old = FindNamed(before.tags, t.name);
    if (old != nullptr && *old == t) continue;
    LayoutChange c = base(ChangeKind::AddTag);
    c.tag = t;
    c.after = i == 0 ? "" : after.tags[i - 1].name;
    out.push_back(std::move(c));
  }
}

}  // namespace

std::vector<std::string> AllTableNames() {
  std::vector<std::string> names;
  for (const TableRow& row : history::Tables()) names.emplace_back(row.base);
  return names;
}

std::optional<TableLayout> LayoutAfter(std::string_view base, int step) {
  const TableRow* row = FindRow(base);
  if (row == nullptr || row->since > step) return std::nullopt;
  return Build(*row, step);
}

std::optional<TableLayout> OldestLayout(std::string_view base) {
  return LayoutAfter(base, kOldestStep);
}

std::optional<TableLayout> NewestLayout(std::string_view base) {
  return LayoutAfter(base, kNewestStep);
}

std::vector<TableLayout> TableSetAfter(int step) {
  std::vector<TableLayout> tables;
  for (const TableRow& row : history::Tables())
    if (row.since <= step) tables.push_back(Build(row, step));
  return tables;
}

std::vector<TableLayout> ReleaseTableSet(int firstUpdate) {
  return TableSetAfter(firstUpdate - 1);
}

int CloneFolderLastUpdate(const tabmend::RestructureSpec& row) {
  int last = row.number;
  for (const tabmend::RestructureSpec& other : tabmend::Catalogue())
    if (std::strcmp(other.cloneFolder, row.cloneFolder) == 0) last = std::max(last, other.number);
  return last;
}

std::optional<TableLayout> CloneLayout(const tabmend::RestructureSpec& row,
                                       std::string_view base) {
  return LayoutAfter(base, CloneFolderLastUpdate(row));
}

std::vector<LayoutChange> ChangesOf(int number) {
  std::vector<LayoutChange> changes;
  for (const TableRow& row : history::Tables()) {
    if (row.since == number && number > kOldestStep) {
      LayoutChange c;
      c.update = number;
      c.table = row.base;
      c.kind = ChangeKind::AddTable;
      c.created = Build(row, number);
      changes.push_back(std::move(c));
    } else if (row.since < number) {
      DiffTables(number, Build(row, number - 1), Build(row, number), changes);
    }
  }
  return changes;
}

bool ApplyChange(TableLayout& layout, const LayoutChange& change, std::string* error) {
  switch (change.kind) {
    case ChangeKind::AddTable:
      return true;
    case ChangeKind::AddField:
      return InsertAfter(layout.fields, change.field, change.after, error, "field");
    case ChangeKind::RemoveField:
      return EraseNamed(layout.fields, change.field.name, error, "field");
    case ChangeKind::AlterField: {
      auto it = FindNamedIt(layout.fields, change.field.name);
      if (it == layout.fields.end()) {
        if (error) *error = "field " + change.field.name + " is missing";
        return false;
      }
      if (!(*it == change.oldField)) {
        if (error) *error = "field " + change.field.name + " is not in its expected old form";
        return false;
      }
      *it = change.field;
      return true;
    }
    case ChangeKind::AddTag:
      return InsertAfter(layout.tags, change.tag, change.after, error, "tag");
    case ChangeKind::RemoveTag:
      return EraseNamed(layout.tags, change.tag.name, error, "tag");
  }
  return false;
}

}  // namespace talvex::releases
