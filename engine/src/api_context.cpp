// Context functions of the C API.
#include <cstring>

#include "api_guard.h"
#include "platform/ascii_text.h"

using namespace talvex::engine;
namespace ascii = talvex::ascii;

namespace talvex::engine {

std::recursive_mutex& apiMutex() {
  static std::recursive_mutex m;
  return m;
}

int orphanError(int code, const std::string& detail) {
  return setError(orphanErrorState(), code, detail);
}

}  // namespace talvex::engine

namespace {

int setSetting(C4Context c, int Context::*member, int value, int lo, int hi, const char* what) {
  ApiLock lock(apiMutex());
  Context* ctx = findContext(c);
  if (!ctx) return orphanError(e4handle, std::string(what) + ": invalid context handle");
  if (value < lo || value > hi)
    return ctx->fail(e4parm, std::string(what) + ": value " + std::to_string(value) + " is out of range");
  int old = ctx->*member;
  ctx->*member = value;
  return old;
}

bool sameAlias(const std::string& a, const char* b) { return ascii::sameNoCase(a, b); }

}  // namespace

extern "C" {

C4Context C4API code4initP(void) {
  ApiLock lock(apiMutex());
  return guarded(nullptr, C4Context(0), [&]() -> C4Context {
    Context* ctx = new Context();
    ctx->handle = HandleTable::instance().add(HandleKind::Context, ctx);
    if (ctx->handle == 0) {
      delete ctx;
      orphanError(e4memory, "too many handles");
      return 0;
    }
    return ctx->handle;
  });
}

int C4API code4initUndo(C4Context c) {
  ApiLock lock(apiMutex());
  Context* ctx = findContext(c);
  if (!ctx) return orphanError(e4handle, "code4initUndo: invalid context handle");
  int rc = 0;
  while (!ctx->tables.empty()) {
    Table* t = ctx->tables.back();
    int r = guarded(ctx, e4memory, [&] { return t->close(); });
    if (r < 0 && rc == 0) rc = r;
    delete t;
  }
  HandleTable::instance().remove(ctx->handle);
  delete ctx;
  return rc;
}

int C4API code4autoOpen(C4Context c, int open_production_index) {
  return setSetting(c, &Context::autoOpen, open_production_index != 0 ? 1 : 0, 0, 1, "code4autoOpen");
}

int C4API code4accessMode(C4Context c, int mode) {
  return setSetting(c, &Context::accessMode, mode, 0, 2, "code4accessMode");
}

int C4API code4optimizeWrite(C4Context c, int flag) {
  return setSetting(c, &Context::optimizeWrite, flag != 0 ? 1 : 0, 0, 1, "code4optimizeWrite");
}

int C4API code4errorCode(C4Context c, int new_code) {
  ApiLock lock(apiMutex());
  Context* ctx = findContext(c);
  if (!ctx) return orphanError(e4handle, "code4errorCode: invalid context handle");
  int old = ctx->error.code;
  ctx->error.code = new_code;
  return old;
}

C4Table C4API code4data(C4Context c, const char* alias) {
  ApiLock lock(apiMutex());
  Context* ctx = findContext(c);
  if (!ctx) {
    orphanError(e4handle, "code4data: invalid context handle");
    return 0;
  }
  if (!alias) {
    ctx->fail(e4parm, "code4data: no alias given");
    return 0;
  }
  for (Table* t : ctx->tables)
    if (sameAlias(t->st->alias(), alias)) return t->handle;
  return 0;
}

const char* C4API error4text(C4Context c, int code) {
  ApiLock lock(apiMutex());
  Context* ctx = findContext(c);
  ErrorState& state = ctx ? ctx->error : orphanErrorState();
  try {
    state.text = errorGeneralText(code);
    if (!state.detail.empty() && (code == state.lastCode || code == 0)) {
      state.text += state.text.empty() ? "" : ": ";
      state.text += state.detail;
    }
    return state.text.c_str();
  } catch (...) {
    return errorGeneralText(code);
  }
}

}  // extern "C"
