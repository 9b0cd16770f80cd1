#include "index_binding.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/native_path.h"
#include "handles.h"
#include "table.h"

#if TALVEX_HAVE_INDEX
#include "expr/expression.h"
#include "mdx/key_codec.h"
#include "mdx/mdx_file.h"
#include "mdx/mdx_tag.h"
#include "platform/ascii_text.h"
#endif

namespace talvex::engine {

#if TALVEX_HAVE_INDEX

namespace {

int statusError(const mdx::Status& s, const std::string& where, EngineError* error) {
  error->code = s.code() == mdx::StatusCode::Locked ? r4locked : e4index;
  error->detail = where + ": " + s.message();
  return error->code;
}

using ascii::upper;

std::string trimmed(std::string_view s) { return std::string(ascii::trimBlanks(s)); }

expr::FieldResolver resolverFor(const DbfHeader& h, const std::string& alias) {
  std::vector<expr::FieldInfo> fields;
  for (const FieldDesc& f : h.fields)
    fields.push_back(expr::FieldInfo{f.name, f.type, f.len, f.dec, static_cast<int>(f.offset)});
  return expr::MakeFieldResolver(std::move(fields), alias);
}

struct CompiledTag {
  std::unique_ptr<expr::Expression> key;
  std::unique_ptr<expr::Expression> filter;
};

int compileTag(const expr::FieldResolver& resolve, const std::string& name,
               const std::string& expression, const std::string& filter, CompiledTag* out,
               EngineError* error) {
  expr::CompileResult k = expr::Compile(expression, resolve);
  if (!k.ok()) {
    error->code = e4expr;
    error->detail = "tag " + name + ": key \"" + expression + "\": " + k.error;
    return e4expr;
  }
  if (k.expression->type() == expr::ValueType::Logical) {
    error->code = e4expr;
    error->detail = "tag " + name + ": a logical expression cannot be a key";
    return e4expr;
  }
  out->key = std::move(k.expression);
  out->filter.reset();
  if (!trimmed(filter).empty()) {
    expr::CompileResult f = expr::Compile(filter, resolve);
    if (!f.ok()) {
      error->code = e4expr;
      error->detail = "tag " + name + ": filter \"" + filter + "\": " + f.error;
      return e4expr;
    }
    if (f.expression->type() != expr::ValueType::Logical) {
      error->code = e4expr;
      error->detail = "tag " + name + ": the filter is not a logical expression";
      return e4expr;
    }
    out->filter = std::move(f.expression);
  }
  return 0;
}

mdx::KeyType keyTypeOf(const expr::Expression& e) {
  switch (e.type()) {
    case expr::ValueType::Numeric: return mdx::KeyType::Numeric;
    case expr::ValueType::Date: return mdx::KeyType::Date;
    default: return mdx::KeyType::Character;
  }
}

}  // namespace

class OpenIndex {
 public:
  struct TagInfo {
    mdx::Tag* tag = nullptr;
    CompiledTag compiled;
    TagRef ref;
    std::string name, expression, filter;
  };
  std::string path;
  std::unique_ptr<mdx::MdxFile> file;
  std::vector<std::unique_ptr<TagInfo>> tags;
  int refs = 0;
  size_t recordLen = 0;
  SharedTable* table = nullptr;
  // The table's own production index: the one a lone opener rebuilds after
  // a killed writer, so the only one whose key changes may wait in memory.
  bool production = false;

  // Key changes held back while the table is open deny-write or exclusive:
  // for each changed record, the keys its tags hold for it (one per tag; an
  // empty list for a record appended since). The keys it should have are
  // taken from the record itself when the changes are merged, so an append
  // and the writes that follow it cost one key change.
  struct KeyState {
    bool in = false;
    std::string key;
  };
  std::map<uint32_t, std::vector<KeyState>> pending;
  // The tags no longer match the records (pending dropped at the memory
  // bound, or a merge that failed): the next settle rebuilds them.
  bool stale = false;

  bool hasUnique() const {
    for (auto& t : tags)
      if (t->tag->def().unique) return true;
    return false;
  }

  ~OpenIndex() {
    for (auto& t : tags)
      if (t->ref.handle) HandleTable::instance().remove(t->ref.handle);
  }

  // Key of rec for tag t; false when the FOR filter excludes the record.
  bool key(const TagInfo& t, const char* rec, uint32_t recno, std::string* out) const {
    std::string_view r(rec, recordLen);
    if (t.compiled.filter) {
      expr::Value v = t.compiled.filter->Evaluate(r, static_cast<int32_t>(recno));
      if (!v.logical) return false;
    }
    expr::Value v = t.compiled.key->Evaluate(r, static_cast<int32_t>(recno));
    switch (t.tag->type()) {
      case mdx::KeyType::Numeric: *out = mdx::encodeNumericKeyText(v.text); break;
      case mdx::KeyType::Date: *out = mdx::encodeDateKeyText(v.text); break;
      default: *out = mdx::encodeCharKey(v.text, t.tag->keyLength()); break;
    }
    return true;
  }

  int bind(SharedTable& table, EngineError* error) {
    expr::FieldResolver resolve = resolverFor(table.header(), table.alias());
    std::vector<std::unique_ptr<TagInfo>> old = std::move(tags);
    tags.clear();
    for (size_t i = 0; i < file->tagCount(); ++i) {
      mdx::Tag& tag = file->tag(i);
      std::unique_ptr<TagInfo> info;
      for (auto& o : old)
        if (o && o->name == upper(tag.name())) info = std::move(o);
      if (!info) info = std::make_unique<TagInfo>();
      info->tag = &tag;
      info->name = upper(tag.name());
      info->expression = tag.def().expression;
      info->filter = tag.def().filter;
      if (compileTag(resolve, info->name, info->expression, info->filter, &info->compiled, error))
        return error->code;
      if (keyTypeOf(*info->compiled.key) != tag.type()) {
        error->code = e4index;
        error->detail = path + ": tag " + info->name + ": the key expression's type does not match the tag";
        return e4index;
      }
      info->ref.index = this;
      info->ref.tag = i;
      if (!info->ref.handle) info->ref.handle = HandleTable::instance().add(HandleKind::Tag, &info->ref);
      tags.push_back(std::move(info));
    }
    for (auto& o : old)
      if (o && o->ref.handle) HandleTable::instance().remove(o->ref.handle);
    return 0;
  }
};

class TagCursor {
 public:
  TagCursor(TagRef& r, OpenIndex::TagInfo& i) : ref(&r), info(&i), cursor(*i.tag) {}
  TagRef* ref;
  OpenIndex::TagInfo* info;
  mdx::Cursor cursor;
};

void OpenIndexDeleter::operator()(OpenIndex* index) const { delete index; }

namespace {
enum class Settle { InMemory, ToFile };
int settleIndex(OpenIndex& idx, EngineError* error, Settle to);
}  // namespace

bool indexSupportAvailable() { return true; }

// One name for one index file however a caller spells it: host texts use "\"
// and any case, and a second object on a file this process already has open
// would take every change of the other for a stranger's (its cached pages
// dropped and re-read at each update).
std::string indexFileKey(std::string_view path) { return upper(platform::nativePath(path)); }

int indexOpen(SharedTable& table, std::string_view path, OpenIndex** out, EngineError* error) {
  const std::string key = indexFileKey(path);
  for (auto& idx : table.indexes()) {
    if (indexFileKey(idx->path) == key) {
      ++idx->refs;
      *out = idx.get();
      return 0;
    }
  }
  mdx::OpenOptions options;
  options.readOnly = table.readOnly();
  mdx::Status status;
  std::unique_ptr<mdx::MdxFile> file = mdx::MdxFile::open(path, options, &status);
  if (!file) {
    error->code = status.code() == mdx::StatusCode::Locked ? r4locked
                  : status.code() == mdx::StatusCode::Io   ? e4open
                                                           : e4index;
    error->detail = std::string(path) + ": " + status.message();
    return error->code;
  }
  OpenIndexPtr idx(new OpenIndex());
  idx->path = file->path();
  idx->file = std::move(file);
  idx->recordLen = table.header().recordLen;
  idx->table = &table;
  // Host texts use "\" and any case: "X.DBF" may well have "x.mdx".
  idx->production = indexFileKey(idx->path) == indexFileKey(replaceExtension(table.path(), ".mdx"));
  if (idx->bind(table, error) != 0) return error->code;
  idx->file->setTrusted(table.trusted());
  idx->refs = 1;
  *out = idx.get();
  table.indexes().push_back(std::move(idx));
  return 0;
}

void indexRelease(SharedTable& table, OpenIndex* index) {
  auto& v = table.indexes();
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i].get() != index) continue;
    if (--index->refs > 0) return;
    // Callers that can report a failure settle first; here it can only
    // leave the writer's mark, so the next lone opener rebuilds the index.
    EngineError ignored;
    if (settleIndex(*index, &ignored, Settle::ToFile) != 0) table.keepWriterMark();
    for (Table* t : table.tables())
      if (t->selectedTag() && t->selectedTag()->index == index) t->dropCursor();
    v.erase(v.begin() + static_cast<long>(i));
    return;
  }
}

int indexValidateTags(const DbfHeader& header, const std::string& alias, const C4TagInfo* tags,
                      std::vector<uint8_t>* fieldFlags, EngineError* error) {
  expr::FieldResolver resolve = resolverFor(header, alias);
  fieldFlags->assign(header.fields.size(), 0);
  std::vector<std::string> names;
  size_t n = 0;
  for (const C4TagInfo* t = tags; t && t->name; ++t, ++n) {
    std::string name = upper(t->name);
    bool okName = !name.empty() && name.size() <= mdx::kMaxTagNameLength;
    for (char c : name)
      if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) okName = false;
    if (!okName) {
      error->code = e4tag;
      error->detail = std::string("invalid tag name \"") + t->name + "\"";
      return e4tag;
    }
    if (std::find(names.begin(), names.end(), name) != names.end()) {
      error->code = e4tag;
      error->detail = "tag " + name + " is given twice";
      return e4tag;
    }
    names.push_back(name);
    if (!t->expression || !*t->expression) {
      error->code = e4expr;
      error->detail = "tag " + name + " has no key expression";
      return e4expr;
    }
    CompiledTag c;
    if (compileTag(resolve, name, t->expression, t->filter ? t->filter : "", &c, error))
      return error->code;
    if (c.key->type() == expr::ValueType::Character &&
        (c.key->keyLength() < 1 || static_cast<size_t>(c.key->keyLength()) > mdx::kMaxCharKeyLength)) {
      error->code = e4expr;
      error->detail = "tag " + name + ": a character key must be 1 to 100 bytes long";
      return e4expr;
    }
    std::string e = upper(trimmed(t->expression));
    for (size_t i = 0; i < header.fields.size(); ++i)
      if (header.fields[i].name == e) (*fieldFlags)[i] = 1;
  }
  if (n > mdx::kMaxTags) {
    error->code = e4tag;
    error->detail = "more than 47 tags";
    return e4tag;
  }
  return 0;
}

int indexCreate(const std::string& mdxPath, const DbfHeader& header, const std::string& alias,
                const C4TagInfo* tags, std::vector<uint8_t>* fieldFlags, EngineError* error) {
  if (indexValidateTags(header, alias, tags, fieldFlags, error) != 0) return error->code;
  expr::FieldResolver resolve = resolverFor(header, alias);
  std::vector<mdx::TagDef> defs;
  for (const C4TagInfo* t = tags; t && t->name; ++t) {
    CompiledTag c;
    compileTag(resolve, t->name, t->expression, t->filter ? t->filter : "", &c, error);
    mdx::TagDef d;
    d.name = upper(t->name);
    d.expression = t->expression;
    d.filter = t->filter ? trimmed(t->filter) : "";
    d.type = keyTypeOf(*c.key);
    d.keyLength = static_cast<uint16_t>(c.key->keyLength());
    d.unique = t->unique != 0;
    d.descending = t->descending != 0;
    defs.push_back(std::move(d));
  }
  mdx::CreateOptions options;
  options.dataName = upper(alias);
  options.languageDriver = header.languageDriver;
  mdx::Status status;
  std::unique_ptr<mdx::MdxFile> f = mdx::MdxFile::create(mdxPath, options, defs, &status);
  if (!f) return statusError(status, mdxPath, error);
  return 0;
}

TagRef* indexFindTag(SharedTable& table, std::string_view name) {
  for (auto& idx : table.indexes())
    if (TagRef* r = indexTagByName(idx.get(), name)) return r;
  return nullptr;
}

TagRef* indexTagByName(OpenIndex* index, std::string_view name) {
  std::string n = upper(trimmed(name));
  for (auto& t : index->tags)
    if (t->name == n) return &t->ref;
  return nullptr;
}

const std::string& tagName(const TagRef& tag) { return tag.index->tags[tag.tag]->name; }
const std::string& tagExpression(const TagRef& tag) { return tag.index->tags[tag.tag]->expression; }
const std::string& tagFilter(const TagRef& tag) { return tag.index->tags[tag.tag]->filter; }

namespace {

int rebuildIndexes(SharedTable& table, const std::vector<OpenIndex*>& which, EngineError* error);

// Past this many changed index pages kept in memory they are written out.
constexpr size_t kMaxHeldPages = 8192;

// Merges the held key changes of one index into its tags in one update, in
// record order (a stale index is rebuilt instead). The changed pages stay in
// memory (Settle::InMemory: a move or seek only needs the tree right) or go
// to the file (Settle::ToFile: flush, unlock, close, check). When the merge or
// the write fails, the index is marked stale, so that the next settle (or
// d4reindex) rebuilds it, and the error is returned to the caller.
int settleIndex(OpenIndex& idx, EngineError* error, Settle to) {
  if (idx.stale) {
    if (int rc = rebuildIndexes(*idx.table, {&idx}, error)) return rc;
  }
  if (!idx.pending.empty()) {
    uint32_t count = 0;
    if (int rc = idx.table->recCount(&count, error)) return rc;
    mdx::Status s;
    bool begun = false;  // the .mdx lock only when a key really changes
    auto fail = [&](int rc) {
      if (begun) (void)idx.file->endUpdate();  // the index is marked stale below anyway
      idx.file->setHoldPages(false);
      idx.pending.clear();
      idx.stale = true;
      return rc;
    };
    std::vector<char> rec(idx.recordLen);
    std::string key;
    for (auto& [recno, was] : idx.pending) {
      // A record past the count was taken back after a failed append.
      bool exists = recno <= count;
      if (exists) {
        if (int rc = idx.table->readRecord(recno, rec.data(), error)) return fail(rc);
      }
      for (size_t k = 0; k < idx.tags.size(); ++k) {
        mdx::Tag& tag = *idx.tags[k]->tag;
        const bool had = !was.empty() && was[k].in;
        const bool has = exists && idx.key(*idx.tags[k], rec.data(), recno, &key);
        if (had == has && (!had || was[k].key == key)) continue;
        if (!begun) {
          idx.file->setHoldPages(true);
          s = idx.file->beginUpdate();
          if (!s) return fail(statusError(s, idx.path, error));
          begun = true;
        }
        if (had) s = tag.remove(was[k].key, recno);
        if (s && has) s = tag.insert(key, recno);
        if (!s) return fail(statusError(s, idx.path + " tag " + idx.tags[k]->name, error));
      }
    }
    idx.pending.clear();
    if (begun) {
      s = idx.file->endUpdate();
      idx.file->setHoldPages(false);
      if (!s) {
        idx.stale = true;
        return statusError(s, idx.path, error);
      }
    }
  }
  if (to == Settle::ToFile || idx.file->heldPageCount() > kMaxHeldPages) {
    mdx::Status s = idx.file->flushHeld();
    if (!s) {
      idx.stale = true;  // the held pages are gone with the failed write
      return statusError(s, idx.path, error);
    }
  }
  return 0;
}

// Puts the keys of one index back to what `want` gives for recno (no key when
// want is null), undoing a change that failed part-way. A failed flush may
// still have written some pages, so every tag the change touched is mended,
// not only the ones before the failure. False when a step failed too: then
// the index no longer matches the table, and the caller's message says so.
bool restoreKeys(OpenIndex& idx, uint32_t recno, const char* tried, const char* want) {
  if (!idx.file->beginUpdate()) return false;
  bool ok = true;
  for (auto& t : idx.tags) {
    std::string triedKey, wantKey;
    bool has = idx.key(*t, tried, recno, &triedKey);
    bool keep = want && idx.key(*t, want, recno, &wantKey);
    if (has == keep && (!has || triedKey == wantKey)) continue;
    if (has) ok = t->tag->remove(triedKey, recno).isOk() && ok;
    if (keep) {
      (void)t->tag->remove(wantKey, recno);  // the key may well be gone already
      ok = t->tag->insert(wantKey, recno).isOk() && ok;
    }
  }
  return idx.file->endUpdate().isOk() && ok;
}

int writeKeys(OpenIndex& idx, uint32_t recno, const char* oldRec, const char* newRec,
              EngineError* error) {
  bool begun = false;
  for (auto& t : idx.tags) {
    std::string oldKey, newKey;
    bool had = oldRec && idx.key(*t, oldRec, recno, &oldKey);
    bool has = idx.key(*t, newRec, recno, &newKey);
    if (had == has && (!had || oldKey == newKey)) continue;
    if (!begun) {
      mdx::Status s = idx.file->beginUpdate();
      if (!s) return statusError(s, idx.path, error);
      begun = true;
    }
    if (had) {
      mdx::Status s = t->tag->remove(oldKey, recno);
      if (!s) {
        (void)idx.file->endUpdate();  // the tag's own failure is the one to report
        return statusError(s, idx.path + " tag " + t->name, error);
      }
    }
    if (has) {
      mdx::Status s = t->tag->insert(newKey, recno);
      if (!s) {
        (void)idx.file->endUpdate();  // the tag's own failure is the one to report
        return statusError(s, idx.path + " tag " + t->name, error);
      }
    }
  }
  if (begun) {
    mdx::Status s = idx.file->endUpdate();
    if (!s) return statusError(s, idx.path, error);
  }
  return 0;
}

// Past this many records with held-back keys an index stops collecting and
// is rebuilt at its next settle instead (about 100 bytes a record and tag).
constexpr size_t kMaxPendingRecords = 200000;

// Key changes wait in memory only while no other process can write the
// table (open mode deny-write or exclusive) and only for the production
// index, which the next lone opener rebuilds should this process be killed
// with changes still held. Unique tags keep the first record of a key, which
// depends on the order of the changes: those indexes are written at once.
bool deferrable(const SharedTable& table, const OpenIndex& idx) {
  return idx.production && table.heldMode() >= 1 && !table.readOnly() && !idx.hasUnique();
}

void holdKeys(OpenIndex& idx, uint32_t recno, const char* oldRec, const char* newRec) {
  if (idx.stale) return;  // the rebuild will read the record as it is then
  if (idx.pending.count(recno)) return;  // the tags still hold what they held before
  std::vector<OpenIndex::KeyState> was;
  if (oldRec) {
    // A write that leaves every key as it was needs no note at all.
    was.resize(idx.tags.size());
    bool same = true;
    std::string key;
    for (size_t k = 0; k < idx.tags.size(); ++k) {
      OpenIndex::KeyState& w = was[k];
      w.in = idx.key(*idx.tags[k], oldRec, recno, &w.key);
      const bool in = idx.key(*idx.tags[k], newRec, recno, &key);
      if (in != w.in || (in && key != w.key)) same = false;
    }
    if (same) return;
  }
  idx.pending.emplace(recno, std::move(was));
  if (idx.pending.size() > kMaxPendingRecords) {
    idx.pending.clear();
    idx.stale = true;
  }
}

// All indexes or none: on a failure the indexes already changed, and the one
// that failed, get the keys of oldRec back (none for an append).
int changeKeys(SharedTable& table, uint32_t recno, const char* oldRec, const char* newRec,
               EngineError* error) {
  auto& indexes = table.indexes();
  for (size_t i = 0; i < indexes.size(); ++i) {
    OpenIndex& idx = *indexes[i];
    if (deferrable(table, idx)) {
      holdKeys(idx, recno, oldRec, newRec);
      continue;
    }
    // Held keys go in first (the open mode changed since they were held).
    int rc = settleIndex(idx, error, Settle::ToFile);
    if (rc == 0) rc = writeKeys(idx, recno, oldRec, newRec, error);
    if (rc) {
      // Held keys need no undo: the caller puts the record back (or takes
      // the append back), and the merge reads the record as it is then.
      for (size_t j = 0; j <= i; ++j)
        if (!deferrable(table, *indexes[j]) && !restoreKeys(*indexes[j], recno, newRec, oldRec))
          error->detail += " (" + indexes[j]->path + " could not be put back: reindex the table)";
      return rc;
    }
  }
  return 0;
}

}  // namespace

int indexRecordWritten(SharedTable& table, uint32_t recno, const char* oldRec, const char* newRec,
                       EngineError* error) {
  return changeKeys(table, recno, oldRec, newRec, error);
}

int indexRecordAppended(SharedTable& table, uint32_t recno, const char* rec, EngineError* error) {
  return changeKeys(table, recno, nullptr, rec, error);
}

namespace {

// Rewrites a damaged index from its own definitions.
int recreate(SharedTable& table, OpenIndex& idx, EngineError* error) {
  std::vector<mdx::TagDef> defs;
  mdx::CreateOptions options;
  mdx::Status s = mdx::MdxFile::readDefinitions(idx.path, &defs, &options);
  if (!s) return statusError(s, idx.path, error);
  for (Table* t : table.tables())
    if (t->selectedTag() && t->selectedTag()->index == &idx) t->dropCursor();
  idx.file.reset();
  mdx::OpenOptions open;
  open.readOnly = table.readOnly();
  idx.file = mdx::MdxFile::create(idx.path, options, defs, &s, open);
  if (!idx.file) return statusError(s, idx.path, error);
  return idx.bind(table, error);
}

}  // namespace

int indexRebuildAll(SharedTable& table, EngineError* error) {
  std::vector<OpenIndex*> all;
  for (auto& idx : table.indexes()) all.push_back(idx.get());
  return rebuildIndexes(table, all, error);
}

namespace {

int rebuildIndexes(SharedTable& table, const std::vector<OpenIndex*>& which, EngineError* error) {
  if (which.empty()) return 0;
  // Held changes are superseded by the rebuild; until it succeeds the tags
  // stay stale (a pack has renumbered the records meanwhile).
  for (OpenIndex* idx : which) {
    idx->pending.clear();
    idx->stale = true;
  }
  uint32_t count = 0;
  if (int rc = table.recCount(&count, error)) return rc;
  std::vector<std::vector<mdx::KeyBatch>> batches;
  for (OpenIndex* idx : which) {
    batches.emplace_back();
    for (auto& t : idx->tags) {
      batches.back().emplace_back(t->tag->keyLength());
      batches.back().back().reserve(count);
    }
  }
  std::vector<char> rec(table.header().recordLen);
  std::string key;
  for (uint32_t r = 1; r <= count; ++r) {
    if (int rc = table.readRecord(r, rec.data(), error)) return rc;
    for (size_t i = 0; i < which.size(); ++i) {
      OpenIndex& idx = *which[i];
      for (size_t k = 0; k < idx.tags.size(); ++k)
        if (idx.key(*idx.tags[k], rec.data(), r, &key)) batches[i][k].add(key, r);
    }
  }
  for (size_t i = 0; i < which.size(); ++i) {
    OpenIndex& idx = *which[i];
    bool recreated = false;
    for (size_t k = 0; k < idx.tags.size(); ++k) {
      mdx::Status s = idx.tags[k]->tag->bulkBuild(batches[i][k]);
      if (!s && s.code() == mdx::StatusCode::Corrupt && !recreated) {
        if (int rc = recreate(table, idx, error)) return rc;
        recreated = true;
        k = static_cast<size_t>(-1);  // every tag again, into the new file
        continue;
      }
      if (!s) return statusError(s, idx.path + " tag " + idx.tags[k]->name, error);
    }
  }
  for (OpenIndex* idx : which) idx->stale = false;
  return 0;
}

}  // namespace

int indexSettle(OpenIndex* index, EngineError* error) {
  return settleIndex(*index, error, Settle::ToFile);
}

int indexSettleAll(SharedTable& table, EngineError* error) {
  int rc = 0;
  for (auto& idx : table.indexes()) {
    EngineError e;
    if (settleIndex(*idx, &e, Settle::ToFile) != 0 && rc == 0) {
      rc = e.code;
      *error = e;
    }
  }
  return rc;
}

bool indexHasHeldKeys(const SharedTable& table) {
  for (auto& idx : const_cast<SharedTable&>(table).indexes())
    if (idx->stale || !idx->pending.empty()) return true;
  return false;
}

int indexRepair(SharedTable& table, const std::string& path, EngineError* error) {
  // A tree torn part-way may share pages with the free list or another tag,
  // so freeing it is not safe: the file is created again, then bulk built.
  std::vector<mdx::TagDef> defs;
  mdx::CreateOptions options;
  mdx::Status s = mdx::MdxFile::readDefinitions(path, &defs, &options);
  if (!s) return statusError(s, path, error);
  {
    std::unique_ptr<mdx::MdxFile> fresh = mdx::MdxFile::create(path, options, defs, &s);
    if (!fresh) return statusError(s, path, error);
  }
  OpenIndex* index = nullptr;
  if (int rc = indexOpen(table, path, &index, error)) return rc;
  index->file->setTrusted(true);
  int rc = indexRebuildAll(table, error);
  indexRelease(table, index);
  return rc;
}

int indexCheckAll(SharedTable& table, EngineError* error) {
  if (int rc = indexSettleAll(table, error)) return rc;
  uint32_t count = 0;
  if (int rc = table.recCount(&count, error)) return rc;
  std::vector<char> rec(table.header().recordLen);
  for (auto& idx : table.indexes()) {
    mdx::Status s = idx->file->checkStructure();
    if (!s) return statusError(s, idx->path, error);
    for (auto& t : idx->tags) {
      std::vector<mdx::TagEntry> found;
      s = t->tag->checkStructure(count, &found);
      if (!s) return statusError(s, idx->path + " tag " + t->name, error);
      std::vector<mdx::TagEntry> want;
      std::string key;
      for (uint32_t r = 1; r <= count; ++r) {
        if (int rc = table.readRecord(r, rec.data(), error)) return rc;
        if (idx->key(*t, rec.data(), r, &key)) want.push_back(mdx::TagEntry{key, r});
      }
      mdx::Tag* tag = t->tag;
      std::stable_sort(want.begin(), want.end(), [tag](const mdx::TagEntry& a, const mdx::TagEntry& b) {
        int c = tag->compare(a.key, b.key);
        return c != 0 ? c < 0 : a.recno < b.recno;
      });
      if (tag->def().unique) {
        std::vector<mdx::TagEntry> dedup;
        for (auto& e : want)
          if (dedup.empty() || tag->compare(dedup.back().key, e.key) != 0) dedup.push_back(e);
        want.swap(dedup);
      }
      size_t n = std::min(want.size(), found.size());
      for (size_t i = 0; i < n; ++i) {
        if (want[i].recno != found[i].recno || tag->compare(want[i].key, found[i].key) != 0) {
          error->code = e4index;
          error->detail = idx->path + " tag " + t->name + ": entry " + std::to_string(i + 1) +
                          " is record " + std::to_string(found[i].recno) + ", expected record " +
                          std::to_string(want[i].recno);
          return e4index;
        }
      }
      if (want.size() != found.size()) {
        error->code = e4index;
        error->detail = idx->path + " tag " + t->name + ": holds " + std::to_string(found.size()) +
                        " keys, the records give " + std::to_string(want.size());
        return e4index;
      }
    }
  }
  return 0;
}

void indexSetTrusted(SharedTable& table, bool trusted) {
  // Pages kept in memory go out first: the tags are checked against the
  // file again once trust changes.
  EngineError ignored;
  for (auto& idx : table.indexes()) {
    if (idx->file->hasHeldPages() && settleIndex(*idx, &ignored, Settle::ToFile) != 0)
      table.keepWriterMark();
    idx->file->setTrusted(trusted);
  }
}

void tagCursorDestroy(TagCursor* cursor) { delete cursor; }

TagCursorPtr makeTagCursor(TagRef& tag) {
  return TagCursorPtr(new TagCursor(tag, *tag.index->tags[tag.tag]));
}

TagRef* tagCursorTag(TagCursor& cursor) { return cursor.ref; }

namespace {

int cursorResult(TagCursor& c, uint32_t* recno) {
  if (c.cursor.valid()) {
    *recno = c.cursor.recno();
    return r4success;
  }
  *recno = 0;
  return c.cursor.bof() ? r4bof : r4eof;
}

std::string probeFor(TagCursor& c, SeekInput kind, std::string_view key, double number,
                     bool* ok) {
  *ok = true;
  mdx::Tag& tag = *c.info->tag;
  switch (tag.type()) {
    case mdx::KeyType::Numeric:
      if (kind == SeekInput::Double) return mdx::encodeNumericKey(number);
      if (kind == SeekInput::Bytes && key.size() == mdx::kNumericKeyLength) return std::string(key);
      return mdx::encodeNumericKeyText(key);
    case mdx::KeyType::Date:
      if (kind == SeekInput::Double) return mdx::encodeDateKey(number);
      if (kind == SeekInput::Bytes && key.size() == mdx::kDateKeyLength) return std::string(key);
      return mdx::encodeDateKeyText(trimmed(key));
    default:
      if (kind == SeekInput::Double) {
        *ok = false;
        return {};
      }
      return std::string(key.substr(0, tag.keyLength()));
  }
}

// Puts the cursor on the entry of the current record (or the one after it).
// When the cursor already stands on an entry of this record whose key no
// longer matches the record (a stale or damaged index), that entry is kept:
// stepping from it always moves on, so a walk over such a tag ends.
mdx::Status placeOn(TagCursor& c, uint32_t current, const char* rec, bool* exact) {
  OpenIndex& idx = *c.ref->index;
  expr::Value v = c.info->compiled.key->Evaluate(std::string_view(rec, idx.recordLen),
                                                 static_cast<int32_t>(current));
  std::string key;
  switch (c.info->tag->type()) {
    case mdx::KeyType::Numeric: key = mdx::encodeNumericKeyText(v.text); break;
    case mdx::KeyType::Date: key = mdx::encodeDateKeyText(v.text); break;
    default: key = mdx::encodeCharKey(v.text, c.info->tag->keyLength()); break;
  }
  *exact = false;
  bool onCurrent = c.cursor.valid() && c.cursor.recno() == current;
  if (onCurrent && c.cursor.key() == key) {
    *exact = true;
    return mdx::Status::ok();
  }
  mdx::SeekResult r;
  mdx::Status s;
  if (onCurrent) {
    // The entry the cursor stands on still exists for this record although
    // its key disagrees with the record: a stale or damaged index. Stepping
    // from the record's computed key instead could lead back to this same
    // entry when that key sorts before it, and the walk would never end.
    std::string oldKey(c.cursor.key());
    s = c.cursor.seekEntry(oldKey, current, &r);
    if (!s) return s;
    if (r == mdx::SeekResult::Found) {
      *exact = true;
      return s;
    }
  }
  s = c.cursor.seekEntry(key, current, &r);
  if (!s) return s;
  *exact = r == mdx::SeekResult::Found;
  return s;
}

}  // namespace

int tagFirst(TagCursor& c, bool last, uint32_t* recno, EngineError* error) {
  if (int rc = settleIndex(*c.ref->index, error, Settle::InMemory)) return rc;
  mdx::Status s = last ? c.cursor.last() : c.cursor.first();
  if (!s) return statusError(s, c.ref->index->path + " tag " + c.info->name, error);
  int rc = cursorResult(c, recno);
  return rc == r4bof ? r4eof : rc;
}

int tagSkip(TagCursor& c, uint32_t current, const char* rec, int32_t n, uint32_t* recno,
            EngineError* error) {
  if (int rc = settleIndex(*c.ref->index, error, Settle::InMemory)) return rc;
  const std::string where = c.ref->index->path + " tag " + c.info->name;
  mdx::Status s;
  int64_t steps = n;
  bool started = false;
  std::string startKey;
  if (current == 0) {
    if (n >= 0) {
      *recno = 0;
      return r4eof;
    }
    s = c.cursor.last();
    if (!s) return statusError(s, where, error);
    steps = n + 1;
  } else {
    started = c.cursor.valid() && c.cursor.recno() == current;
    if (started) startKey = std::string(c.cursor.key());
    bool exact = false;
    s = placeOn(c, current, rec, &exact);
    if (!s) return statusError(s, where, error);
    if (!exact && steps > 0) --steps;  // already on the entry after it
    if (n == 0) return cursorResult(c, recno);
  }
  auto step = [&](int64_t count) -> mdx::Status {
    mdx::Status st;
    while (count > 0 && c.cursor.valid()) {
      if (!(st = c.cursor.next())) return st;
      --count;
    }
    while (count < 0 && c.cursor.valid()) {
      if (!(st = c.cursor.prev())) return st;
      ++count;
    }
    return st;
  };
  s = step(steps);
  if (!s) return statusError(s, where, error);
  // In a damaged tag the re-placing can lead back to the very entry the walk
  // stood on; a skip must still move, or a walk over the tag never ends.
  if (started && c.cursor.valid() && c.cursor.recno() == current && c.cursor.key() == startKey) {
    s = step(n > 0 ? 1 : -1);
    if (!s) return statusError(s, where, error);
  }
  int rc = cursorResult(c, recno);
  if (rc == r4bof) {
    s = c.cursor.first();
    if (!s) return statusError(s, where, error);
    *recno = c.cursor.valid() ? c.cursor.recno() : 0;
    return r4bof;
  }
  return rc;
}

int tagSeek(TagCursor& c, SeekInput kind, std::string_view key, double number, uint32_t* recno,
            EngineError* error) {
  if (int rc = settleIndex(*c.ref->index, error, Settle::InMemory)) return rc;
  bool ok = true;
  std::string probe = probeFor(c, kind, key, number, &ok);
  if (!ok) {
    error->code = e4tag;
    error->detail = "tag " + c.info->name + ": a number cannot be sought in a character tag";
    return e4tag;
  }
  mdx::SeekResult r;
  mdx::Status s = c.cursor.seek(probe, &r);
  if (!s) return statusError(s, c.ref->index->path + " tag " + c.info->name, error);
  if (r == mdx::SeekResult::Eof || !c.cursor.valid()) {
    *recno = 0;
    return r4eof;
  }
  *recno = c.cursor.recno();
  return r == mdx::SeekResult::Found ? r4success : r4after;
}

int tagSeekNext(TagCursor& c, uint32_t current, const char* rec, std::string_view key,
                uint32_t* recno, EngineError* error) {
  if (int rc = settleIndex(*c.ref->index, error, Settle::InMemory)) return rc;
  bool ok = true;
  std::string probe = probeFor(c, SeekInput::Text, key, 0, &ok);
  if (current != 0) {
    std::string curKey;
    OpenIndex& idx = *c.ref->index;
    if (idx.key(*c.info, rec, current, &curKey) && c.info->tag->compare(probe, curKey) == 0) {
      bool exact = false;
      const std::string where = idx.path + " tag " + c.info->name;
      mdx::Status s = placeOn(c, current, rec, &exact);
      if (!s) return statusError(s, where, error);
      if (exact) {
        s = c.cursor.next();
        if (!s) return statusError(s, where, error);
      }
      if (!c.cursor.valid()) {
        *recno = 0;
        return r4eof;
      }
      *recno = c.cursor.recno();
      return c.info->tag->compare(probe, c.cursor.key()) == 0 ? r4success : r4after;
    }
  }
  return tagSeek(c, SeekInput::Text, key, 0, recno, error);
}

#else  // built without the expression and .mdx parts

class OpenIndex {};
class TagCursor {};

namespace {
int unavailable(EngineError* error) {
  error->code = e4index;
  error->detail = "index support is not built into this engine";
  return e4index;
}
const std::string& emptyText() {
  static const std::string s;
  return s;
}
}  // namespace

void OpenIndexDeleter::operator()(OpenIndex* index) const { delete index; }
bool indexSupportAvailable() { return false; }
int indexOpen(SharedTable&, std::string_view, OpenIndex**, EngineError* error) { return unavailable(error); }
void indexRelease(SharedTable&, OpenIndex*) {}
int indexCreate(const std::string&, const DbfHeader&, const std::string&, const C4TagInfo*,
                std::vector<uint8_t>*, EngineError* error) {
  return unavailable(error);
}
int indexValidateTags(const DbfHeader&, const std::string&, const C4TagInfo*, std::vector<uint8_t>*,
                      EngineError* error) {
  return unavailable(error);
}
TagRef* indexFindTag(SharedTable&, std::string_view) { return nullptr; }
TagRef* indexTagByName(OpenIndex*, std::string_view) { return nullptr; }
const std::string& tagName(const TagRef&) { return emptyText(); }
const std::string& tagExpression(const TagRef&) { return emptyText(); }
const std::string& tagFilter(const TagRef&) { return emptyText(); }
int indexRecordWritten(SharedTable&, uint32_t, const char*, const char*, EngineError*) { return 0; }
int indexRecordAppended(SharedTable&, uint32_t, const char*, EngineError*) { return 0; }
int indexRebuildAll(SharedTable& table, EngineError* error) {
  return table.indexes().empty() ? 0 : unavailable(error);
}
int indexCheckAll(SharedTable&, EngineError*) { return 0; }
int indexSettle(OpenIndex*, EngineError*) { return 0; }
int indexSettleAll(SharedTable&, EngineError*) { return 0; }
bool indexHasHeldKeys(const SharedTable&) { return false; }
int indexRepair(SharedTable&, const std::string&, EngineError*) { return 0; }
void indexSetTrusted(SharedTable&, bool) {}
void tagCursorDestroy(TagCursor* cursor) { delete cursor; }
TagCursorPtr makeTagCursor(TagRef&) { return TagCursorPtr(); }
TagRef* tagCursorTag(TagCursor&) { return nullptr; }
int tagFirst(TagCursor&, bool, uint32_t*, EngineError* error) { return unavailable(error); }
int tagSkip(TagCursor&, uint32_t, const char*, int32_t, uint32_t*, EngineError* error) {
  return unavailable(error);
}
int tagSeek(TagCursor&, SeekInput, std::string_view, double, uint32_t*, EngineError* error) {
  return unavailable(error);
}
int tagSeekNext(TagCursor&, uint32_t, const char*, std::string_view, uint32_t*, EngineError* error) {
  return unavailable(error);
}

#endif

}  // namespace talvex::engine
