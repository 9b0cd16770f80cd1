#include "restructure/record_copy.h"

#include <array>
#include <stdexcept>
#include <vector>

#include "driver/progress.h"
#include "driver/run_state.h"
#include "restructure/table_files.h"

namespace talvex::tabmend {
namespace {

struct FieldPair {
  C4Field source = 0;
  C4Field target = 0;
  int type = 0;  // dBASE type letter of the source field
};

using FieldPairMap = std::array<FieldPair, kFieldPairMapSize>;

// One open table with its production index, closed in the order the engine
// wants (index, unlock, table) and with the error state cleared.
class OpenTable {
 public:
  OpenTable(C4Context c, const std::string& base) : context_(c) {
    table_ = d4open(c, (base + ".dbf").c_str());
    if (table_ != 0) index_ = i4open(table_, (base + ".mdx").c_str());
  }
  ~OpenTable() { close(); }

  // False when the index or the table could not be written out: keys and
  // buffered records held by the engine reach the files here.
  bool close() {
    bool ok = true;
    if (index_ != 0 && i4close(index_) != 0) ok = false;
    index_ = 0;
    if (table_ != 0) {
      if (d4unlock(table_) != 0) ok = false;
      if (d4close(table_) != 0) ok = false;
    }
    table_ = 0;
    code4errorCode(context_, 0);
    return ok;
  }
  OpenTable(const OpenTable&) = delete;
  OpenTable& operator=(const OpenTable&) = delete;

  bool ok() const { return table_ != 0 && index_ != 0; }
  C4Table get() const { return table_; }

 private:
  C4Context context_;
  C4Table table_ = 0;
  C4Index index_ = 0;
};

int BuildFieldPairMap(C4Context c, C4Table source, C4Table target, FieldPairMap* map) {
  map->fill(FieldPair{});
  int used = 0;
  const int count = d4numFields(source);
  for (int j = 1; j <= count; ++j) {
    C4Field from = d4fieldJ(source, j);
    C4Field to = from != 0 ? d4field(target, f4name(from)) : 0;
    if (to == 0) {
      code4errorCode(c, 0);
      continue;
    }
    if (used == kFieldPairMapSize) throw std::length_error("more common fields than the map holds");
    (*map)[used++] = FieldPair{from, to, f4type(from)};
  }
  return used;
}

// The map as the two handle lists of f4assignFields, which works out the
// conversions once for the whole copy instead of once per field and record.
struct PairLists {
  std::vector<C4Field> targets, sources;
};

PairLists ListPairs(const FieldPairMap& map, int used) {
  PairLists lists;
  for (int k = 0; k < used; ++k) {
    lists.targets.push_back(map[k].target);
    lists.sources.push_back(map[k].source);
  }
  return lists;
}

bool CopyRecord(C4Table target, const PairLists& pairs) {
  // The new record is built in the buffer and appended once: one record
  // write and one key change instead of a blank append and its rewrite.
  if (d4appendStart(target, 0) != 0 || d4blank(target) != 0) return false;
  // An assignment keeps what the engine makes of the value (memo texts go
  // whole, by length); only the write decides the record's fate.
  if (!pairs.targets.empty())
    f4assignFields(pairs.targets.data(), pairs.sources.data(), static_cast<int>(pairs.targets.size()));
  return d4append(target) == 0;
}

}  // namespace

bool CopyCommonFields(const std::string& sourceFolder, const std::string& targetFolder,
                      const std::string& base) {
  const C4Context c = RunContext();
  OpenTable source(c, WithBackslash(sourceFolder) + base);
  if (!source.ok()) return false;
  const int first = d4top(source.get());
  if (first != 0 && first != r4eof) return false;

  OpenTable target(c, WithBackslash(targetFolder) + base);
  if (!target.ok()) return false;
  const int targetTop = d4top(target.get());
  if (targetTop != 0 && targetTop != r4eof) return false;

  FieldPairMap map;
  const PairLists pairs = ListPairs(map, BuildFieldPairMap(c, source.get(), target.get(), &map));

  if (first == 0) {
    const int32_t total = d4recCount(source.get());
    int32_t seen = 0;
    for (;;) {
      if (d4deleted(source.get()) == 0 && !CopyRecord(target.get(), pairs)) return false;
      if (++seen % kRecordStep == 0) ReportRecords(base, sourceFolder, seen, total);
      const int rc = d4skip(source.get(), 1);
      if (rc == r4eof) break;
      if (rc != 0) return false;
    }
    ReportRecords(base, sourceFolder, seen, total);
  }
  if (d4reindex(target.get()) != 0) return false;
  return target.close();
}

}  // namespace talvex::tabmend
