// Index and tag functions of the C API.
#include <cstring>

#include "api_guard.h"
#include "index_binding.h"

using namespace talvex::engine;

namespace {

IndexRef* findIndex(C4Index i) { return HandleTable::instance().get<IndexRef>(i, HandleKind::Index); }
TagRef* findTag(C4Tag t) { return HandleTable::instance().get<TagRef>(t, HandleKind::Tag); }


}  // namespace

extern "C" {

C4Index C4API i4open(C4Table t, const char* path) {
  ApiLock lock(apiMutex());
  Table* tab = findTable(t);
  if (!tab) {
    orphanError(e4handle, "i4open: invalid table handle");
    return 0;
  }
  return guarded(tab->ctx, C4Index(0), [&]() -> C4Index {
    std::string p = (path && *path) ? std::string(path) : replaceExtension(tab->st->path(), ".mdx");
    if (path && *path) {
      // ".mdx" is added when the name has no extension.
      size_t base = p.find_last_of("/\\");
      base = base == std::string::npos ? 0 : base + 1;
      if (p.find('.', base) == std::string::npos) p += ".mdx";
    }
    EngineError e;
    OpenIndex* index = nullptr;
    if (indexOpen(*tab->st, p, &index, &e) != 0) {
      tab->ctx->fail(e.code, e.detail);
      return 0;
    }
    IndexRef* ref = new IndexRef{index, tab->st.get(), tab, 0};
    ref->handle = HandleTable::instance().add(HandleKind::Index, ref);
    if (ref->handle == 0) {
      delete ref;
      indexRelease(*tab->st, index);
      tab->ctx->fail(e4memory, "too many handles");
      return 0;
    }
    tab->indexHandles().push_back(ref->handle);
    return ref->handle;
  });
}

int C4API i4close(C4Index i) {
  ApiLock lock(apiMutex());
  IndexRef* ref = findIndex(i);
  if (!ref) return orphanError(e4handle, "i4close: invalid index handle");
  Table* opener = ref->opener;
  return guarded(opener->ctx, e4memory, [&] {
    int rc = opener->flushRecord();
    EngineError e;
    if (indexSettle(ref->index, &e) != 0 && rc == 0) rc = opener->ctx->fail(e.code, e.detail);
    auto& v = opener->indexHandles();
    for (size_t k = 0; k < v.size(); ++k)
      if (v[k] == i) {
        v.erase(v.begin() + static_cast<long>(k));
        break;
      }
    indexRelease(*ref->table, ref->index);
    HandleTable::instance().remove(i);
    delete ref;
    return rc;
  });
}

C4Tag C4API i4tag(C4Index i, const char* name) {
  ApiLock lock(apiMutex());
  IndexRef* ref = findIndex(i);
  if (!ref) {
    orphanError(e4handle, "i4tag: invalid index handle");
    return 0;
  }
  if (!name) {
    ref->opener->ctx->fail(e4parm, "i4tag: no tag name given");
    return 0;
  }
  TagRef* tag = indexTagByName(ref->index, name);
  if (!tag) {
    ref->opener->ctx->fail(e4tag, std::string("i4tag: no tag ") + name);
    return 0;
  }
  return tag->handle;
}

C4Tag C4API d4tag(C4Table t, const char* name) {
  ApiLock lock(apiMutex());
  Table* tab = findTable(t);
  if (!tab) {
    orphanError(e4handle, "d4tag: invalid table handle");
    return 0;
  }
  if (!name) {
    tab->ctx->fail(e4parm, "d4tag: no tag name given");
    return 0;
  }
  TagRef* tag = indexFindTag(*tab->st, name);
  if (!tag) {
    tab->ctx->fail(e4tag, tab->st->alias() + ": no tag " + name);
    return 0;
  }
  return tag->handle;
}

int C4API d4tagSelectP(C4Table t, C4Tag tag) {
  return onTable(t, "d4tagSelectP", [tag](Table& tab) {
    if (tag == 0) return tab.selectTag(nullptr);
    TagRef* ref = findTag(tag);
    if (!ref) return tab.ctx->fail(e4handle, "d4tagSelectP: invalid tag handle");
    bool own = false;
    for (auto& idx : tab.st->indexes())
      if (idx.get() == ref->index) own = true;
    if (!own) return tab.ctx->fail(e4tag, "d4tagSelectP: the tag belongs to another table");
    return tab.selectTag(ref);
  });
}

C4Tag C4API d4tagSelected(C4Table t) {
  ApiLock lock(apiMutex());
  Table* tab = findTable(t);
  if (!tab) {
    orphanError(e4handle, "d4tagSelected: invalid table handle");
    return 0;
  }
  return tab->selectedTag() ? tab->selectedTag()->handle : 0;
}

const char* C4API t4alias(C4Tag tag) {
  ApiLock lock(apiMutex());
  TagRef* ref = findTag(tag);
  if (!ref) {
    orphanError(e4handle, "t4alias: invalid tag handle");
    return "";
  }
  return tagName(*ref).c_str();
}

const char* C4API t4expr(C4Tag tag) {
  ApiLock lock(apiMutex());
  TagRef* ref = findTag(tag);
  if (!ref) {
    orphanError(e4handle, "t4expr: invalid tag handle");
    return "";
  }
  return tagExpression(*ref).c_str();
}

const char* C4API t4filter(C4Tag tag) {
  ApiLock lock(apiMutex());
  TagRef* ref = findTag(tag);
  if (!ref) {
    orphanError(e4handle, "t4filter: invalid tag handle");
    return "";
  }
  return tagFilter(*ref).c_str();
}

int C4API d4seek(C4Table t, const char* key) {
  return onTable(t, "d4seek", [key](Table& tab) {
    if (!key) return tab.ctx->fail(e4parm, "d4seek: no key given (NULL)");
    return tab.seek(SeekInput::Text, key, 0);
  });
}

int C4API d4seekN(C4Table t, const char* key, int len) {
  return onTable(t, "d4seekN", [=](Table& tab) {
    if ((!key && len) || len < 0) return tab.ctx->fail(e4parm, "d4seekN: invalid key");
    return tab.seek(SeekInput::Bytes, std::string_view(key ? key : "", static_cast<size_t>(len)), 0);
  });
}

int C4API d4seekDouble(C4Table t, double key) {
  return onTable(t, "d4seekDouble", [key](Table& tab) { return tab.seek(SeekInput::Double, {}, key); });
}

int C4API d4seekNext(C4Table t, const char* key) {
  return onTable(t, "d4seekNext", [key](Table& tab) {
    if (!key) return tab.ctx->fail(e4parm, "d4seekNext: no key given (NULL)");
    return tab.seekNext(key);
  });
}

int C4API d4check(C4Table t) {
  return onTable(t, "d4check", [](Table& tab) {
    return tab.check();
  });
}

}  // extern "C"
