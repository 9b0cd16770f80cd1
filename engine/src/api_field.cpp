// Field functions of the C API: lookup, reading and assignment.
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "api_guard.h"
#include "field_value.h"
#include "platform/ascii_text.h"

using namespace talvex::engine;
namespace ascii = talvex::ascii;

namespace {

bool isMemo(const FieldDesc& f) { return f.type == 'M' || f.type == 'B' || f.type == 'G'; }

bool sameName(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  while (n > 0 && b[n - 1] == ' ') --n;
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != ascii::upperChar(b[i])) return false;
  }
  return true;
}

struct FieldCall {
  Table* table;
  size_t index;
  const FieldDesc& desc() const { return table->field(index); }
};

template <typename R, typename F>
R onField(C4Field f, const char* name, R onError, F&& body) {
  ApiLock lock(apiMutex());
  FieldRef* ref = findField(f);
  if (!ref) {
    orphanError(e4handle, std::string(name) + ": invalid field handle");
    return onError;
  }
  FieldCall call{ref->table, ref->index};
  return guarded(ref->table->ctx, onError, [&] { return body(call); });
}

int fieldFail(FieldCall& c, int code, const std::string& what) {
  return c.table->ctx->fail(code, c.table->st->alias() + "." + c.desc().name + ": " + what);
}

int finishAssign(FieldCall& c, AssignResult r) {
  switch (r) {
    case AssignResult::Ok:
      c.table->markChanged();
      return 0;
    case AssignResult::DoesNotFit:
      c.table->markChanged();  // the asterisks are what dBASE stores
      return fieldFail(c, e4field, "the value does not fit the field width");
    default:
      return fieldFail(c, e4field, "the value is not valid for a field of type " +
                                       std::string(1, c.desc().type));
  }
}

int assignText(FieldCall& c, std::string_view text) {
  if (isMemo(c.desc())) return c.table->setMemo(c.index, text);
  return finishAssign(c, assignFieldText(c.desc(), c.table->fieldBytes(c.index), text));
}

int readDecimal(FieldCall& c, Decimal* d) {
  const FieldDesc& f = c.desc();
  if (isMemo(f)) return fieldFail(c, e4field, "a memo field has no numeric value");
  if (!fieldDecimal(f, std::string_view(c.table->fieldBytes(c.index), f.len), d))
    return fieldFail(c, e4field, "the stored value is not a number");
  return 0;
}

// The conversions of one f4assignFields list, worked out once: fields whose
// bytes come out of the conversion as they went in are moved as they stand,
// neighbours merged into one move; numbers and logicals are moved when their
// bytes are already in the form the conversion writes, else converted; the
// rest (other types or widths, memos) go through f4assignField. Kept for the
// next call with the same lists on the same two (still open) tables, which is
// every record of a table copy.
class CopyPlan {
 public:
  bool matches(const C4Field* dest, const C4Field* src, int count) const {
    if (!valid_ || static_cast<size_t>(count) != dest_.size()) return false;
    if (std::memcmp(dest, dest_.data(), dest_.size() * sizeof(C4Field)) != 0) return false;
    if (std::memcmp(src, src_.data(), src_.size() * sizeof(C4Field)) != 0) return false;
    // A closed table's handle no longer finds it (nor its field handles).
    return findTable(destHandle_) == d_ && findTable(srcHandle_) == s_;
  }

  bool build(const C4Field* dest, const C4Field* src, int count);
  int run();

 private:
  struct Move {
    uint32_t srcOffset, dstOffset, len;
  };
  struct Checked {
    size_t pair, srcIndex, dstIndex;
    bool logical;
  };

  bool valid_ = false;
  std::vector<C4Field> dest_, src_;
  uint32_t destHandle_ = 0, srcHandle_ = 0;
  Table* d_ = nullptr;
  Table* s_ = nullptr;
  std::vector<Move> moves_;
  std::vector<Checked> checked_;
  std::vector<size_t> converted_;
};

CopyPlan& cachedPlan() {
  static CopyPlan* plan = new CopyPlan;  // never freed: outlives every caller
  return *plan;
}

bool CopyPlan::build(const C4Field* dest, const C4Field* src, int count) {
  valid_ = false;
  moves_.clear();
  checked_.clear();
  converted_.clear();
  FieldRef* d0 = findField(dest[0]);
  FieldRef* s0 = findField(src[0]);
  if (!d0 || !s0 || d0->table == s0->table) return false;
  d_ = d0->table;
  s_ = s0->table;
  std::vector<bool> seen(d_->fieldCount(), false);
  for (int i = 0; i < count; ++i) {
    FieldRef* d = findField(dest[i]);
    FieldRef* s = findField(src[i]);
    if (!d || !s || d->table != d_ || s->table != s_ || seen[d->index]) return false;
    seen[d->index] = true;  // so the order of the pairs cannot matter
    const FieldDesc& df = d_->field(d->index);
    const FieldDesc& sf = s_->field(s->index);
    const auto pair = static_cast<size_t>(i);
    if (isMemo(df) || isMemo(sf) || df.len != sf.len) {
      converted_.push_back(pair);
    } else if ((df.type == 'N' || df.type == 'F') && (sf.type == 'N' || sf.type == 'F')) {
      if (df.dec == sf.dec) checked_.push_back({pair, s->index, d->index, false});
      else converted_.push_back(pair);
    } else if (df.type != sf.type || df.type == 'N' || df.type == 'F') {
      converted_.push_back(pair);
    } else if (df.type == 'L') {
      checked_.push_back({pair, s->index, d->index, true});
    } else if (!moves_.empty() && moves_.back().srcOffset + moves_.back().len == sf.offset &&
               moves_.back().dstOffset + moves_.back().len == df.offset) {
      moves_.back().len += df.len;
    } else {
      moves_.push_back({sf.offset, df.offset, df.len});
    }
  }
  dest_.assign(dest, dest + count);
  src_.assign(src, src + count);
  destHandle_ = d_->handle;
  srcHandle_ = s_->handle;
  valid_ = true;
  return true;
}

int CopyPlan::run() {
  char* to = d_->fieldBytes(0) - d_->field(0).offset;
  const char* from = s_->fieldBytes(0) - s_->field(0).offset;
  for (const Move& m : moves_) std::memcpy(to + m.dstOffset, from + m.srcOffset, m.len);
  if (!moves_.empty()) d_->markChanged();
  int rc = 0;
  for (const Checked& c : checked_) {
    const FieldDesc& f = d_->field(c.dstIndex);
    const char* bytes = s_->fieldBytes(c.srcIndex);
    if (c.logical ? storedLogicalAsWritten(bytes, f.len) : storedNumberAsWritten(bytes, f.len, f.dec)) {
      std::memcpy(d_->fieldBytes(c.dstIndex), bytes, f.len);
      d_->markChanged();
      continue;
    }
    int r = f4assignField(dest_[c.pair], src_[c.pair]);
    if (r != 0 && rc == 0) rc = r;
  }
  for (size_t pair : converted_) {
    int r = f4assignField(dest_[pair], src_[pair]);
    if (r != 0 && rc == 0) rc = r;
  }
  return rc;
}

}  // namespace

extern "C" {

C4Field C4API d4field(C4Table t, const char* name) {
  ApiLock lock(apiMutex());
  Table* tab = findTable(t);
  if (!tab) {
    orphanError(e4handle, "d4field: invalid table handle");
    return 0;
  }
  if (!name) {
    tab->ctx->fail(e4parm, "d4field: no field name given");
    return 0;
  }
  return guarded(tab->ctx, C4Field(0), [&]() -> C4Field {
    for (size_t i = 0; i < tab->fieldCount(); ++i)
      if (sameName(tab->field(i).name, name)) return tab->fieldHandle(i);
    tab->ctx->fail(e4field, tab->st->alias() + ": no field " + name);
    return 0;
  });
}

int C4API d4numFields(C4Table t) {
  ApiLock lock(apiMutex());
  Table* tab = findTable(t);
  if (!tab) return orphanError(e4handle, "d4numFields: invalid table handle");
  return static_cast<int>(tab->fieldCount());
}

C4Field C4API d4fieldJ(C4Table t, int j) {
  ApiLock lock(apiMutex());
  Table* tab = findTable(t);
  if (!tab) {
    orphanError(e4handle, "d4fieldJ: invalid table handle");
    return 0;
  }
  if (j < 1 || static_cast<size_t>(j) > tab->fieldCount()) {
    tab->ctx->fail(e4field, tab->st->alias() + ": no field number " + std::to_string(j));
    return 0;
  }
  return guarded(tab->ctx, C4Field(0),
                 [&]() -> C4Field { return tab->fieldHandle(static_cast<size_t>(j - 1)); });
}

const char* C4API f4name(C4Field f) {
  return onField(f, "f4name", "", [](FieldCall& c) { return c.desc().name.c_str(); });
}
int C4API f4type(C4Field f) {
  return onField(f, "f4type", e4handle, [](FieldCall& c) { return static_cast<int>(c.desc().type); });
}
int C4API f4len(C4Field f) {
  return onField(f, "f4len", e4handle, [](FieldCall& c) { return static_cast<int>(c.desc().len); });
}
int C4API f4decimals(C4Field f) {
  return onField(f, "f4decimals", e4handle, [](FieldCall& c) { return static_cast<int>(c.desc().dec); });
}

const char* C4API f4str(C4Field f) {
  return onField(f, "f4str", "", [](FieldCall& c) {
    std::string& buf = c.table->textBuffer(c.index);
    buf.assign(c.table->fieldBytes(c.index), c.desc().len);
    return buf.c_str();
  });
}

long C4API f4int(C4Field f) {
  return onField(f, "f4int", 0L, [](FieldCall& c) -> long {
    Decimal d;
    if (readDecimal(c, &d) != 0) return 0;
    double v = std::trunc(decimalToDouble(d));
    if (v >= static_cast<double>(LONG_MAX)) return LONG_MAX;
    if (v <= static_cast<double>(LONG_MIN)) return LONG_MIN;
    return static_cast<long>(v);
  });
}

int C4API f4double2(C4Field f, double* value) {
  return onField(f, "f4double2", e4handle, [value](FieldCall& c) {
    if (!value) return fieldFail(c, e4parm, "no place for the value (NULL)");
    *value = 0;
    Decimal d;
    if (int rc = readDecimal(c, &d)) return rc;
    *value = decimalToDouble(d);
    return 0;
  });
}

int C4API f4true(C4Field f) {
  return onField(f, "f4true", e4handle, [](FieldCall& c) {
    if (c.desc().type != 'L') return fieldFail(c, e4field, "not a logical field");
    char v = c.table->fieldBytes(c.index)[0];
    return (v == 'T' || v == 't' || v == 'Y' || v == 'y') ? 1 : 0;
  });
}

const char* C4API f4memoStr(C4Field f) {
  return onField(f, "f4memoStr", "", [](FieldCall& c) -> const char* {
    if (!isMemo(c.desc())) {
      std::string& buf = c.table->textBuffer(c.index);
      buf.assign(c.table->fieldBytes(c.index), c.desc().len);
      return buf.c_str();
    }
    const std::string* text = nullptr;
    if (c.table->memoText(c.index, &text) != 0) return "";
    return text->c_str();
  });
}

uint32_t C4API f4memoLen(C4Field f) {
  return onField(f, "f4memoLen", 0u, [](FieldCall& c) -> uint32_t {
    if (!isMemo(c.desc())) return c.desc().len;
    const std::string* text = nullptr;
    if (c.table->memoText(c.index, &text) != 0) return 0;
    return static_cast<uint32_t>(text->size());
  });
}

int C4API f4assign(C4Field f, const char* text) {
  return onField(f, "f4assign", e4handle, [text](FieldCall& c) {
    if (!text) return fieldFail(c, e4parm, "no text given (NULL)");
    return assignText(c, text);
  });
}

int C4API f4assignN(C4Field f, const char* text, uint32_t len) {
  return onField(f, "f4assignN", e4handle, [=](FieldCall& c) {
    if (!text && len) return fieldFail(c, e4parm, "no text given (NULL)");
    return assignText(c, std::string_view(text ? text : "", len));
  });
}

int C4API f4assignInt(C4Field f, long value) {
  return onField(f, "f4assignInt", e4handle, [value](FieldCall& c) {
    if (isMemo(c.desc())) return fieldFail(c, e4field, "a number cannot go into a memo field");
    return finishAssign(c, assignFieldDecimal(c.desc(), c.table->fieldBytes(c.index),
                                              decimalFromLong(value)));
  });
}

int C4API f4assignDouble(C4Field f, double value) {
  return onField(f, "f4assignDouble", e4handle, [value](FieldCall& c) {
    if (isMemo(c.desc())) return fieldFail(c, e4field, "a number cannot go into a memo field");
    if (!std::isfinite(value)) return fieldFail(c, e4field, "the value is not a finite number");
    return finishAssign(c, assignFieldDecimal(c.desc(), c.table->fieldBytes(c.index),
                                              decimalFromDouble(value)));
  });
}

int C4API f4assignField(C4Field dest, C4Field src) {
  ApiLock lock(apiMutex());
  FieldRef* s = findField(src);
  FieldRef* d = findField(dest);
  if (!d) return orphanError(e4handle, "f4assignField: invalid destination field handle");
  if (!s) return d->table->ctx->fail(e4handle, "f4assignField: invalid source field handle");
  return guarded(d->table->ctx, e4memory, [&] {
    FieldCall dc{d->table, d->index};
    FieldCall sc{s->table, s->index};
    const FieldDesc& sf = sc.desc();
    if (isMemo(sf)) {
      const std::string* text = nullptr;
      if (int rc = sc.table->memoText(sc.index, &text)) {
        if (dc.table->ctx != sc.table->ctx) dc.table->ctx->fail(rc, sc.table->ctx->error.detail);
        return rc;
      }
      std::string copy = *text;  // the source slot may be the destination's
      return assignText(dc, copy);
    }
    std::string_view bytes(sc.table->fieldBytes(sc.index), sf.len);
    if (isMemo(dc.desc())) {
      while (!bytes.empty() && bytes.back() == ' ') bytes.remove_suffix(1);
      return dc.table->setMemo(dc.index, bytes);
    }
    std::string copy(bytes);
    return finishAssign(dc, assignFieldFromField(dc.desc(), dc.table->fieldBytes(dc.index), sf, copy));
  });
}

int C4API f4assignFields(const C4Field* dest, const C4Field* src, int count) {
  ApiLock lock(apiMutex());
  if (count <= 0) return 0;
  if (!dest || !src) return orphanError(e4parm, "f4assignFields: no field list given (NULL)");
  FieldRef* first = findField(dest[0]);
  Context* ctx = first ? first->table->ctx : nullptr;
  return guarded(ctx, e4memory, [&] {
    CopyPlan& plan = cachedPlan();
    if (!plan.matches(dest, src, count) && !plan.build(dest, src, count)) {
      // Lists the plan cannot take (mixed tables, a field twice, a bad
      // handle) go pair by pair, errors and all.
      int rc = 0;
      for (int i = 0; i < count; ++i) {
        int r = f4assignField(dest[i], src[i]);
        if (r != 0 && rc == 0) rc = r;
      }
      return rc;
    }
    return plan.run();
  });
}

int C4API f4memoAssign(C4Field f, const char* text) {
  return onField(f, "f4memoAssign", e4handle, [text](FieldCall& c) {
    if (!text) return fieldFail(c, e4parm, "no text given (NULL)");
    return assignText(c, text);
  });
}

int C4API f4memoAssignN(C4Field f, const char* text, uint32_t len) {
  return onField(f, "f4memoAssignN", e4handle, [=](FieldCall& c) {
    if (!text && len) return fieldFail(c, e4parm, "no text given (NULL)");
    return assignText(c, std::string_view(text ? text : "", len));
  });
}

}  // extern "C"
