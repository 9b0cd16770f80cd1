// The release layouts against the catalogue: every probe tells old from new
// exactly at its update, the changes rebuild every step, and every layout is
// one the dBASE formats and the engine accept.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "releases/layouts.h"
#include "catalogue/catalogue.h"

namespace talvex::releases {
namespace {

using tabmend::Catalogue;
using tabmend::FindRestructureSpec;
using tabmend::ProbeFindings;
using tabmend::ProbeKind;
using tabmend::RestructureSpec;

// What the probe would find in the table of this layout (nullopt: no table).
ProbeFindings Findings(const tabmend::Probe& probe, const std::optional<TableLayout>& t) {
  ProbeFindings f;
  if (!t) return f;
  f.tableOpened = true;
  if (const FieldLayout* field = t->field(probe.name)) {
    f.fieldExists = true;
    f.fieldWidth = field->len;
    f.fieldDecimals = field->dec;
  }
  f.indexHasTag = t->tag(probe.name) != nullptr;
  return f;
}

bool NeededAt(const RestructureSpec& s, int step) {
  return tabmend::ProbeNeedsUpdate(s.probe, Findings(s.probe, LayoutAfter(s.probedTable().base, step)));
}

// Every step that matters: before the first update, each update, the newest.
std::vector<int> Steps() {
  std::vector<int> steps{kOldestStep};
  for (const RestructureSpec& s : Catalogue()) steps.push_back(s.number);
  steps.push_back(kNewestStep);
  return steps;
}

TEST(ReleaseLayouts, EveryProbeFlipsExactlyAtItsUpdate) {
  for (const RestructureSpec& s : Catalogue()) {
    if (s.probe.kind == ProbeKind::None) continue;
    SCOPED_TRACE(s.numberText());
    for (int step : Steps()) {
      const bool before = step < s.number;
      EXPECT_EQ(NeededAt(s, step), before) << "probe at step " << step;
    }
  }
}

TEST(ReleaseLayouts, CloneFoldersHoldTheNewLayoutOfEveryUpdate) {
  for (const RestructureSpec& s : Catalogue()) {
    SCOPED_TRACE(s.numberText());
    for (const tabmend::UpdatedTable& t : s.tables())
      ASSERT_TRUE(CloneLayout(s, t.base).has_value()) << t.base;
    if (s.probe.kind == ProbeKind::None) continue;
    // The data of the release before this folder's step still needs it; the
    // clone this update copies no longer does.
    int folderStart = s.number;
    for (const RestructureSpec& o : Catalogue())
      if (std::string(o.cloneFolder) == s.cloneFolder) folderStart = std::min(folderStart, o.number);
    EXPECT_TRUE(NeededAt(s, folderStart - 1));
    const auto clone = CloneLayout(s, s.probedTable().base);
    EXPECT_FALSE(tabmend::ProbeNeedsUpdate(s.probe, Findings(s.probe, clone)));
  }
}

TEST(ReleaseLayouts, ChangesRebuildEveryStepFromTheOldest) {
  std::map<std::string, TableLayout> tables;
  for (const TableLayout& t : TableSetAfter(kOldestStep)) tables[t.base] = t;
  for (int step = 1; step <= 260; ++step) {
    for (const LayoutChange& c : ChangesOf(step)) {
      SCOPED_TRACE("update " + std::to_string(step) + " table " + c.table);
      if (c.kind == ChangeKind::AddTable) {
        ASSERT_TRUE(c.created.has_value());
        ASSERT_EQ(tables.count(c.table), 0u) << "table created twice";
        tables[c.table] = *c.created;
        continue;
      }
      ASSERT_EQ(tables.count(c.table), 1u) << "change to a table that does not exist yet";
      std::string error;
      ASSERT_TRUE(ApplyChange(tables[c.table], c, &error)) << error;
    }
    std::vector<TableLayout> expected = TableSetAfter(step);
    ASSERT_EQ(expected.size(), tables.size()) << "step " << step;
    for (const TableLayout& t : expected) ASSERT_EQ(tables[t.base], t) << "step " << step << " " << t.base;
  }
  for (const TableLayout& t : TableSetAfter(kNewestStep)) EXPECT_EQ(tables[t.base], t) << t.base;
}

// A change made by an update that does not copy that table would never reach
// the data: the update's table list must hold every table it changes.
TEST(ReleaseLayouts, ChangesOnlyAtUpdatesThatCopyTheTable) {
  for (int step = 1; step <= 260; ++step) {
    std::vector<LayoutChange> changes = ChangesOf(step);
    const RestructureSpec* s = FindRestructureSpec(step);
    if (s == nullptr) {
      EXPECT_TRUE(changes.empty()) << "changes at " << step << ", which is no update";
      continue;
    }
    std::set<std::string> listed;
    for (const tabmend::UpdatedTable& t : s->tables()) listed.insert(t.base);
    for (const LayoutChange& c : changes) {
      EXPECT_TRUE(listed.count(c.table)) << s->numberText() << " changes " << c.table;
      if (c.kind == ChangeKind::AddTable) {
        EXPECT_EQ(s->form, tabmend::RestructureForm::AddMissing) << s->numberText();
      }
    }
  }
}

TEST(ReleaseLayouts, ApplyChangeRefusesChangesThatDoNotFit) {
  TableLayout t = *NewestLayout("submit");
  std::string error;
  LayoutChange add;
  add.kind = ChangeKind::AddField;
  add.field = {"S_TYPE", 'C', 1, 0};
  EXPECT_FALSE(ApplyChange(t, add, &error));
  add.field = {"S_NEWONE", 'C', 1, 0};
  add.after = "S_NOSUCH";
  EXPECT_FALSE(ApplyChange(t, add, &error));
  LayoutChange alter;
  alter.kind = ChangeKind::AlterField;
  alter.field = {"S_NAME", 'C', 60, 0};
  alter.oldField = {"S_NAME", 'C', 20, 0};
  EXPECT_FALSE(ApplyChange(t, alter, &error)) << "old width must match";
  LayoutChange remove;
  remove.kind = ChangeKind::RemoveTag;
  remove.tag.name = "NO_TAG";
  EXPECT_FALSE(ApplyChange(t, remove, &error));
  EXPECT_EQ(t, *NewestLayout("submit"));
}

// ---- what the formats and the engine accept ---------------------------------

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 10 || !(name[0] >= 'A' && name[0] <= 'Z')) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

// Key length of the expression forms the layouts use: fields joined by "+",
// STR(f,n), DTOS(f), UPPER(...). -1 when a name is not a character field of
// the table or the form is not understood.
int KeyLength(const TableLayout& t, const std::string& expr) {
  int total = 0;
  std::size_t i = 0;
  while (i < expr.size()) {
    std::size_t end = i;
    int depth = 0;
    while (end < expr.size() && !(depth == 0 && expr[end] == '+')) {
      if (expr[end] == '(') ++depth;
      if (expr[end] == ')') --depth;
      ++end;
    }
    std::string term = expr.substr(i, end - i);
    i = end + 1;
    if (term.rfind("STR(", 0) == 0) {
      std::size_t comma = term.find(',');
      const FieldLayout* f = t.field(term.substr(4, comma - 4));
      if (f == nullptr || f->type != 'N' || comma == std::string::npos) return -1;
      total += std::stoi(term.substr(comma + 1));
    } else if (term.rfind("DTOS(", 0) == 0) {
      const FieldLayout* f = t.field(term.substr(5, term.size() - 6));
      if (f == nullptr || f->type != 'D') return -1;
      total += 8;
    } else if (term.rfind("UPPER(", 0) == 0) {
      int inner = KeyLength(t, term.substr(6, term.size() - 7));
      if (inner < 0) return -1;
      total += inner;
    } else {
      const FieldLayout* f = t.field(term);
      if (f == nullptr || f->type != 'C') return -1;
      total += f->len;
    }
  }
  return total;
}

TEST(ReleaseLayouts, EveryLayoutIsAValidDbaseTable) {
  for (int step : Steps()) {
    for (const TableLayout& t : TableSetAfter(step)) {
      SCOPED_TRACE(t.base + " at step " + std::to_string(step));
      EXPECT_LE(t.fields.size(), 255u);
      EXPECT_LE(t.recordLength(), 4000);
      std::set<std::string> names;
      for (const FieldLayout& f : t.fields) {
        EXPECT_TRUE(ValidName(f.name)) << f.name;
        EXPECT_TRUE(names.insert(f.name).second) << "duplicate " << f.name;
        switch (f.type) {
          case 'C': EXPECT_TRUE(f.len >= 1 && f.len <= 254 && f.dec == 0) << f.name; break;
          case 'N': EXPECT_TRUE(f.len >= 1 && f.len <= 20 && f.dec >= 0 &&
                                (f.dec == 0 || f.dec <= f.len - 2)) << f.name; break;
          case 'D': EXPECT_TRUE(f.len == 8 && f.dec == 0) << f.name; break;
          case 'L': EXPECT_TRUE(f.len == 1 && f.dec == 0) << f.name; break;
          case 'M': EXPECT_TRUE(f.len == 10 && f.dec == 0) << f.name; break;
          default: ADD_FAILURE() << "type " << f.type << " of " << f.name;
        }
      }
      EXPECT_LE(t.tags.size(), 47u);
      std::set<std::string> tagNames;
      for (const TagLayout& tag : t.tags) {
        EXPECT_TRUE(ValidName(tag.name)) << tag.name;
        EXPECT_TRUE(tagNames.insert(tag.name).second) << "duplicate tag " << tag.name;
        int len = KeyLength(t, tag.expression);
        EXPECT_TRUE(len >= 1 && len <= 100) << tag.name << " = " << tag.expression << ": " << len;
      }
    }
  }
}

// The claim field of each claim family table, and the claim key every tag of
// it starts with.
TEST(ReleaseLayouts, ClaimTablesAreKeyedByClaimKey) {
  const std::map<std::string, std::string> claimField = {
      {"bcclaim", "CLAIM"},    {"bclines", "CLAIM"},   {"bccpayer", "CP_CLAIM"},
      {"bcccodes", "CD_CLAIM"}, {"bclinesc", "CLAIM"}, {"bcrspns", "CR_CLAIM"},
      {"bcrecid", "ID_CLAIM"}, {"bcrecnm", "NM_CLAIM"}, {"bsclaim", "CLAIM"},
      {"bslines", "CLAIM"},    {"bslinesa", "CLAIM"},  {"bscpayer", "CP_CLAIM"},
      {"bsattach", "CLAIM"},   {"bsattchd", "CLAIM"},  {"bscpymnt", "CY_CLAIM"},
      {"bslinesc", "CLAIM"},   {"bsrspns", "CR_CLAIM"}, {"bsrecrn", "RE_CLAIM"},
      {"bscob", "CO_CLAIM"},   {"bsrecid", "ID_CLAIM"}, {"bsrecnm", "NM_CLAIM"}};
  for (const std::string& base : AllTableNames()) {
    const TableLayout t = *NewestLayout(base);
    auto it = claimField.find(base);
    EXPECT_EQ(it != claimField.end(), t.family != ClaimFamily::None) << base;
    if (it == claimField.end()) continue;
    for (int step : Steps()) {
      auto layout = LayoutAfter(base, step);
      if (!layout) continue;
      const FieldLayout* claim = layout->field(it->second);
      ASSERT_NE(claim, nullptr) << base;
      EXPECT_EQ(*claim, (FieldLayout{it->second, 'N', 10, 0})) << base;
    }
    const std::string key = "STR(" + it->second + ",10)";
    for (const TagLayout& tag : t.tags) {
      if (tag.expression.find(it->second) == std::string::npos) continue;
      EXPECT_EQ(tag.expression.rfind(key, 0), 0u) << base << " " << tag.name;
    }
  }
}

// Single-form updates copy ".dbt" only for tables marked memo, so the mark and
// the layouts must agree on both sides of the update; location forms copy a
// ".dbt" wherever the source has one. Every table an update copies has a
// production index.
TEST(ReleaseLayouts, MemoMarksAndIndexesMatchTheFileSets) {
  for (const RestructureSpec& s : Catalogue()) {
    for (const tabmend::UpdatedTable& t : s.tables()) {
      SCOPED_TRACE(s.numberText() + " " + t.base);
      for (int step : {s.number - 1, CloneFolderLastUpdate(s)}) {
        auto layout = LayoutAfter(t.base, step);
        if (!layout) {
          EXPECT_EQ(s.form, tabmend::RestructureForm::AddMissing);
          continue;
        }
        if (s.form == tabmend::RestructureForm::Single) {
          EXPECT_EQ(layout->hasMemo(), t.memo);
        }
        // The add-missing form copies ".dbf" and ".mdx" only.
        if (s.form == tabmend::RestructureForm::AddMissing) {
          EXPECT_FALSE(layout->hasMemo());
        }
        EXPECT_TRUE(layout->hasIndex());
      }
    }
  }
  EXPECT_FALSE(NewestLayout("utilmast")->hasIndex());
}

}  // namespace
}  // namespace talvex::releases
