#include "restructure/record_copy.h"

#include <array>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "platform/ascii_text.h"
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
    if (!ok()) {
      openError_ = code4errorCode(c, 0);
      openText_ = error4text(c, openError_);
    }
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
  // The engine's code and text for a failed open.
  int openError() const { return openError_; }
  const std::string& openText() const { return openText_; }

 private:
  C4Context context_;
  int openError_ = 0;
  std::string openText_;
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

// Field bytes fit for a message: control bytes shown as \xNN.
std::string Printable(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    const auto u = static_cast<unsigned char>(*p);
    if (u < 32 || u == 127) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    } else {
      out += *p;
    }
  }
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

bool AllAsterisks(const std::string& text) {
  return !text.empty() && text.find_first_not_of('*') == std::string::npos;
}

std::string Layout(C4Field f) {
  std::string text(1, static_cast<char>(f4type(f)));
  text += "(" + std::to_string(f4len(f));
  if (f4decimals(f) > 0) text += "," + std::to_string(f4decimals(f));
  return text + ")";
}

// One copy's source and what to say about it when it fails.
class Copy {
 public:
  Copy(C4Context c, std::string table, C4Table source, CopyFailure* failure)
      : context_(c), table_(std::move(table)), source_(source), failure_(failure) {}

  // Once the record loop has begun, the detail names the source record.
  void InLoop(bool on) { inLoop_ = on; }

  bool Fail(CopyFault fault, const std::string& what) {
    std::string detail = "Common field copy of " + table_;
    if (inLoop_) detail += ", record " + std::to_string(d4recNoLow(source_));
    detail += ": " + what;
    NoteFailureDetail(detail);
    if (failure_ != nullptr) *failure_ = CopyFailure{fault, detail};
    return false;
  }

  bool FailWithEngineText(CopyFault fault, const std::string& what, int code) {
    return Fail(fault, what + ": " + error4text(context_, code));
  }

  bool Record(C4Table target, const PairLists& pairs) {
    // The new record is built in the buffer and appended once: one record
    // write and one key change instead of a blank append and its rewrite.
    if (d4appendStart(target, 0) != 0 || d4blank(target) != 0) {
      return FailWithEngineText(CopyFault::Engine, "the new record could not be started",
                                code4errorCode(context_, 0));
    }
    if (!pairs.targets.empty() &&
        f4assignFields(pairs.targets.data(), pairs.sources.data(),
                       static_cast<int>(pairs.targets.size())) != 0 &&
        !Explain(pairs)) {
      return false;
    }
    if (d4append(target) != 0) {
      return FailWithEngineText(CopyFault::Engine, "the new record could not be written",
                                code4errorCode(context_, 0));
    }
    return true;
  }

 private:
  // The list call failed: pair by pair, which field lost what. Only a record
  // that failed pays for this.
  bool Explain(const PairLists& pairs) {
    for (size_t k = 0; k < pairs.targets.size(); ++k) {
      const C4Field to = pairs.targets[k], from = pairs.sources[k];
      const int rc = f4assignField(to, from);
      if (rc == 0) continue;
      const std::string field = std::string("field ") + f4name(from);
      if (rc == e4memo) return FailWithEngineText(CopyFault::DamagedMemo, field, rc);
      if (rc != e4field) return FailWithEngineText(CopyFault::Engine, field, rc);
      const std::string value = Printable(f4str(from));
      if (AllAsterisks(Printable(f4str(to))) && !value.empty() && !AllAsterisks(value)) {
        return FailWithEngineText(CopyFault::ValueDoesNotFit,
                                  field + ", value " + value + ": does not fit the new field " +
                                      Layout(to),
                                  rc);
      }
      code4errorCode(context_, 0);  // no value to keep: blank, as always
    }
    return true;
  }

  C4Context context_;
  std::string table_;
  C4Table source_;
  CopyFailure* failure_;
  bool inLoop_ = false;
};

using talvex::ascii::upper;

CopyFault OpenFault(int code) {
  if (code == e4memo) return CopyFault::DamagedMemo;
  if (code == e4index) return CopyFault::DamagedIndex;
  return CopyFault::Engine;
}

}  // namespace

bool CopyCommonFields(const std::string& sourceFolder, const std::string& targetFolder,
                      const std::string& base, CopyFailure* failure, bool checkIndex) {
  const C4Context c = RunContext();
  if (failure != nullptr) *failure = CopyFailure{};
  const std::string sourcePath = WithBackslash(sourceFolder) + base;
  OpenTable source(c, sourcePath);
  Copy copy(c, ascii::upper(base) + " (" + sourcePath + ".dbf)", source.get(), failure);
  if (!source.ok()) {
    return copy.Fail(OpenFault(source.openError()), "cannot open it: " + source.openText());
  }
  if (checkIndex) {
    // Read through a damaged tag, a conversion after the copy would miss
    // records without a word; the copy itself reads in physical order.
    if (const int rc = d4check(source.get()); rc != 0) {
      return copy.FailWithEngineText(rc == e4index ? CopyFault::DamagedIndex : CopyFault::Engine,
                                     "index check of " + sourcePath + ".mdx", rc);
    }
  }
  const int first = d4top(source.get());
  if (first != 0 && first != r4eof) {
    return copy.FailWithEngineText(CopyFault::Engine, "cannot read it", code4errorCode(c, 0));
  }

  OpenTable target(c, WithBackslash(targetFolder) + base);
  if (!target.ok()) {
    return copy.Fail(CopyFault::Engine, "cannot open the new table in " + targetFolder + ": " +
                                            target.openText());
  }
  const int targetTop = d4top(target.get());
  if (targetTop != 0 && targetTop != r4eof) {
    return copy.FailWithEngineText(CopyFault::Engine, "cannot read the new table",
                                   code4errorCode(c, 0));
  }

  FieldPairMap map;
  const PairLists pairs = ListPairs(map, BuildFieldPairMap(c, source.get(), target.get(), &map));

  if (first == 0) {
    const int32_t total = d4recCount(source.get());
    int32_t seen = 0;
    copy.InLoop(true);
    for (;;) {
      if (d4deleted(source.get()) == 0 && !copy.Record(target.get(), pairs)) return false;
      if (++seen % kRecordStep == 0) ReportRecords(base, sourceFolder, seen, total);
      const int rc = d4skip(source.get(), 1);
      if (rc == r4eof) break;
      if (rc != 0) {
        return copy.FailWithEngineText(CopyFault::Engine, "cannot move to the next record",
                                       code4errorCode(c, 0));
      }
    }
    ReportRecords(base, sourceFolder, seen, total);
    copy.InLoop(false);
  }
  if (d4reindex(target.get()) != 0) {
    return copy.FailWithEngineText(CopyFault::Engine, "the new table's index rebuild failed",
                                   code4errorCode(c, 0));
  }
  if (!target.close()) return copy.Fail(CopyFault::Engine, "the new table could not be closed");
  return true;
}

}  // namespace talvex::tabmend
