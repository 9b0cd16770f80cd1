// Table, move, change and lock functions of the C API.
#include <cstring>

#include "api_guard.h"
#include "platform/file_io.h"
#include "index_binding.h"
#include "platform/ascii_text.h"

using namespace talvex::engine;
namespace ascii = talvex::ascii;

namespace {

// Registers an index opened through t.
C4Index addIndexRef(Table& t, OpenIndex* index) {
  IndexRef* ref = new IndexRef{index, t.st.get(), &t, 0};
  ref->handle = HandleTable::instance().add(HandleKind::Index, ref);
  if (ref->handle == 0) {
    delete ref;
    indexRelease(*t.st, index);
    t.ctx->fail(e4memory, "too many handles");
    return 0;
  }
  t.indexHandles().push_back(ref->handle);
  return ref->handle;
}

void closeAndDelete(Table* t) {
  (void)t->close();  // only after a failed open, whose error the caller keeps
  delete t;
}

// Opens the production index of a table whose header says it has one.
int openProduction(Table& t) {
  if (t.header().productionIndex != 1 || !indexSupportAvailable()) return 0;
  std::string path = replaceExtension(t.st->path(), ".mdx");
  // Already open on this file (by another handle): join it.
  EngineError e;
  OpenIndex* index = nullptr;
  if (indexOpen(*t.st, path, &index, &e) != 0)
    return t.ctx->fail(e.code, e.detail);
  return addIndexRef(t, index) ? 0 : e4memory;
}

bool validFieldName(const std::string& n) {
  if (n.empty() || n.size() > 10) return false;
  for (size_t i = 0; i < n.size(); ++i) {
    char c = n[i];
    bool letter = c >= 'A' && c <= 'Z';
    bool ok = letter || c == '_' || (i > 0 && c >= '0' && c <= '9');
    if (!ok) return false;
  }
  return true;
}

int buildHeader(Context* ctx, const C4FieldInfo* fields, DbfHeader* h) {
  if (!fields || !fields[0].name) return ctx->fail(e4create, "d4create: no fields given");
  uint32_t offset = 1;
  bool memo = false;
  for (const C4FieldInfo* f = fields; f->name; ++f) {
    FieldDesc d;
    d.name = ascii::upper(f->name);
    if (!validFieldName(d.name)) return ctx->fail(e4field, std::string("d4create: invalid field name \"") + f->name + "\"");
    for (const FieldDesc& o : h->fields)
      if (o.name == d.name) return ctx->fail(e4field, "d4create: field " + d.name + " is given twice");
    char type = ascii::upperChar(f->type);
    int len = f->len, dec = f->dec;
    bool ok = true;
    switch (type) {
      case 'C': ok = len >= 1 && len <= 254 && dec == 0; break;
      case 'N':
      case 'F': ok = len >= 1 && len <= 20 && dec >= 0 && dec <= 18 && (dec == 0 || len >= dec + 2); break;
      case 'D': ok = (len == 8 || len == 0) && dec == 0; len = 8; break;
      case 'L': ok = (len == 1 || len == 0) && dec == 0; len = 1; break;
      case 'M': ok = (len == 10 || len == 0) && dec == 0; len = 10; memo = true; break;
      default:
        return ctx->fail(e4field, "d4create: field " + d.name + " has the unsupported type '" +
                                      std::string(1, type ? type : '?') + "'");
    }
    if (!ok)
      return ctx->fail(e4field, "d4create: field " + d.name + " has an invalid width " +
                                    std::to_string(f->len) + "," + std::to_string(f->dec));
    d.type = type;
    d.len = static_cast<uint8_t>(len);
    d.dec = static_cast<uint8_t>(dec);
    d.offset = offset;
    offset += static_cast<uint32_t>(len);
    h->fields.push_back(d);
    if (h->fields.size() > 2046) return ctx->fail(e4create, "d4create: too many fields");
  }
  if (offset > 65535) return ctx->fail(e4create, "d4create: the record is longer than 65535 bytes");
  h->version = memo ? 0x8B : 0x03;
  h->recordLen = static_cast<uint16_t>(offset);
  h->headerLen = static_cast<uint16_t>(kDbfFixedHeader + kFieldDescSize * h->fields.size() + 1);
  h->recCount = 0;
  todayForHeader(&h->year, &h->month, &h->day);
  return 0;
}

}  // namespace

extern "C" {

C4Table C4API d4open(C4Context c, const char* path) {
  ApiLock lock(apiMutex());
  Context* ctx = findContext(c);
  if (!ctx) {
    orphanError(e4handle, "d4open: invalid context handle");
    return 0;
  }
  if (!path || !*path) {
    ctx->fail(e4parm, "d4open: no file name given");
    return 0;
  }
  return guarded(ctx, C4Table(0), [&]() -> C4Table {
    int code = 0;
    Table* t = Table::open(ctx, path, &code);
    if (!t) return 0;
    // A change torn by a killed writer is mended before anyone reads; when
    // the repair itself fails the table still opens and d4check tells.
    EngineError repair;
    (void)t->st->repairAfterCrash(&repair);
    if (ctx->autoOpen && openProduction(*t) != 0) {
      int keep = ctx->error.code;
      ErrorState saved = ctx->error;
      closeAndDelete(t);
      ctx->error = saved;
      ctx->error.code = keep;
      return 0;
    }
    return t->handle;
  });
}

C4Table C4API d4openClone(C4Table t) {
  ApiLock lock(apiMutex());
  Table* src = findTable(t);
  if (!src) {
    orphanError(e4handle, "d4openClone: invalid table handle");
    return 0;
  }
  return guarded(src->ctx, C4Table(0), [&]() -> C4Table {
    int code = 0;
    Table* n = Table::clone(*src, &code);
    return n ? n->handle : 0;
  });
}

int C4API d4close(C4Table t) {
  ApiLock lock(apiMutex());
  Table* tab = findTable(t);
  if (!tab) return orphanError(e4handle, "d4close: invalid table handle");
  return guarded(tab->ctx, e4memory, [&] {
    int rc = tab->close();
    delete tab;
    return rc;
  });
}

C4Table C4API d4create(C4Context c, const char* path, const C4FieldInfo* fields,
                       const C4TagInfo* tags) {
  ApiLock lock(apiMutex());
  Context* ctx = findContext(c);
  if (!ctx) {
    orphanError(e4handle, "d4create: invalid context handle");
    return 0;
  }
  if (!path || !*path) {
    ctx->fail(e4parm, "d4create: no file name given");
    return 0;
  }
  return guarded(ctx, C4Table(0), [&]() -> C4Table {
    DbfHeader h;
    if (buildHeader(ctx, fields, &h) != 0) return 0;
    std::string full = withDbfExtension(path);
    std::string alias = baseName(full);
    bool withTags = tags && tags[0].name;
    std::vector<uint8_t> flags;
    if (withTags) {
      if (!indexSupportAvailable()) {
        ctx->fail(e4index, "d4create: index support is not built into this engine");
        return 0;
      }
      EngineError e;
      if (indexValidateTags(h, alias, tags, &flags, &e) != 0) {
        ctx->fail(e.code, e.detail);
        return 0;
      }
      h.productionIndex = 1;
      for (size_t i = 0; i < h.fields.size() && i < flags.size(); ++i) h.fields[i].tagFlag = flags[i];
    }
    std::string why;
    {
      std::unique_ptr<talvex::platform::File> probe =
          talvex::platform::File::open(full, talvex::platform::OpenMode::ReadOnly, &why);
      if (probe && SharedTable::findOpen(probe->path())) {
        ctx->fail(e4create, full + ": the table is open and cannot be overwritten");
        return 0;
      }
    }
    std::unique_ptr<talvex::platform::File> f =
        talvex::platform::File::open(full, talvex::platform::OpenMode::CreateTruncate, &why);
    if (!f) {
      ctx->fail(e4create, full + ": " + why);
      return 0;
    }
    std::vector<uint8_t> bytes = encodeDbfHeader(h);
    bytes.push_back(kDbfEndMarker);
    if (!f->writeAt(0, bytes.data(), bytes.size())) {
      ctx->fail(e4create, full + ": " + f->lastError());
      return 0;
    }
    std::string native = f->path();
    f.reset();
    if (h.version == 0x8B) {
      std::unique_ptr<MemoFile> m = MemoFile::create(replaceExtension(native, ".dbt"), true, 512, alias, &why);
      if (!m) {
        ctx->fail(e4create, replaceExtension(native, ".dbt") + ": " + why);
        return 0;
      }
    }
    if (withTags) {
      EngineError e;
      if (indexCreate(replaceExtension(native, ".mdx"), h, alias, tags, &flags, &e) != 0) {
        ctx->fail(e.code == 0 ? e4create : e.code, e.detail);
        return 0;
      }
    }
    int code = 0;
    Table* t = Table::open(ctx, native, &code);
    if (!t) return 0;
    if (withTags && openProduction(*t) != 0) {
      ErrorState saved = ctx->error;
      closeAndDelete(t);
      ctx->error = saved;
      return 0;
    }
    return t->handle;
  });
}

int32_t C4API d4recCount(C4Table t) {
  return onTable(t, "d4recCount", [](Table& tab) -> int {
    uint32_t n = 0;
    if (int rc = tab.recCount(&n)) return rc;
    return n > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(n);
  });
}

const char* C4API d4alias(C4Table t) {
  ApiLock lock(apiMutex());
  Table* tab = findTable(t);
  if (!tab) {
    orphanError(e4handle, "d4alias: invalid table handle");
    return "";
  }
  return tab->st->alias().c_str();
}

int C4API d4top(C4Table t) { return onTable(t, "d4top", [](Table& x) { return x.top(); }); }
int C4API d4bottom(C4Table t) { return onTable(t, "d4bottom", [](Table& x) { return x.bottom(); }); }
int C4API d4skip(C4Table t, int32_t n) {
  return onTable(t, "d4skip", [n](Table& x) { return x.skip(n); });
}
int C4API d4goLow(C4Table t, int32_t rec, int lock_for_write) {
  return onTable(t, "d4goLow", [=](Table& x) { return x.go(rec, lock_for_write != 0); });
}
int C4API d4eof(C4Table t) {
  return onTable(t, "d4eof", [](Table& x) { return x.eof() ? 1 : 0; });
}
int C4API d4bof(C4Table t) {
  return onTable(t, "d4bof", [](Table& x) { return x.bof() ? 1 : 0; });
}
int32_t C4API d4recNoLow(C4Table t) {
  return onTable(t, "d4recNoLow", [](Table& x) { return static_cast<int>(x.recNo()); });
}
int C4API d4deleted(C4Table t) {
  return onTable(t, "d4deleted", [](Table& x) { return x.deleted() ? 1 : 0; });
}

int C4API d4appendBlank(C4Table t) {
  return onTable(t, "d4appendBlank", [](Table& x) { return x.appendBlank(); });
}
int C4API d4appendStart(C4Table t, int use_memo_entries) {
  return onTable(t, "d4appendStart", [=](Table& x) { return x.appendStart(use_memo_entries != 0); });
}
int C4API d4blank(C4Table t) { return onTable(t, "d4blank", [](Table& x) { return x.blank(); }); }
int C4API d4append(C4Table t) { return onTable(t, "d4append", [](Table& x) { return x.append(); }); }
int C4API d4delete(C4Table t) {
  return onTable(t, "d4delete", [](Table& x) { return x.markDeleted(true); });
}
int C4API d4recall(C4Table t) {
  return onTable(t, "d4recall", [](Table& x) { return x.markDeleted(false); });
}
int C4API d4pack(C4Table t) { return onTable(t, "d4pack", [](Table& x) { return x.pack(); }); }
int C4API d4reindex(C4Table t) {
  return onTable(t, "d4reindex", [](Table& x) { return x.reindex(); });
}
int C4API d4flush(C4Table t) { return onTable(t, "d4flush", [](Table& x) { return x.flush(); }); }
int C4API d4writeLow(C4Table t, int32_t rec, int unlock, int do_lock) {
  return onTable(t, "d4writeLow",
                 [=](Table& x) { return x.writeLow(rec, unlock != 0, do_lock != 0); });
}

int C4API d4lockInternal(C4Table t, int32_t rec, int do_unlock_others, int lock_type) {
  return onTable(t, "d4lockInternal",
                 [=](Table& x) { return x.lockRecord(rec, do_unlock_others != 0); });
}
int C4API d4lockAllInternal(C4Table t, int do_unlock_others) {
  return onTable(t, "d4lockAllInternal", [=](Table& x) { return x.lockAll(do_unlock_others != 0); });
}
int C4API d4lockAppend(C4Table t) {
  return onTable(t, "d4lockAppend", [](Table& x) { return x.lockAppend(); });
}
int C4API d4unlock(C4Table t) { return onTable(t, "d4unlock", [](Table& x) { return x.unlock(); }); }

}  // extern "C"
