// Shared helpers of the extern "C" functions: the process-wide API lock (one
// context per thread at a time is the contract, but handles are process-wide,
// so every call is serialised), handle resolution with error recording, and
// the catch-all that turns an exception into an error result.
#pragma once

#include <mutex>
#include <new>
#include <string>

#include "c4dll.h"
#include "context.h"
#include "handles.h"
#include "table.h"
#include "platform/exception_text.h"

namespace talvex::engine {

std::recursive_mutex& apiMutex();

using ApiLock = std::lock_guard<std::recursive_mutex>;

inline Context* findContext(C4Context c) {
  return HandleTable::instance().get<Context>(c, HandleKind::Context);
}

inline Table* findTable(C4Table t) { return HandleTable::instance().get<Table>(t, HandleKind::Table); }

inline FieldRef* findField(C4Field f) {
  return HandleTable::instance().get<FieldRef>(f, HandleKind::Field);
}

// Records a failure in the fallback state when the handle names no context.
int orphanError(int code, const std::string& detail);

// Runs body; exceptions become e4memory / e4parm in the context (if known).
template <typename F, typename R>
R guarded(Context* ctx, R onError, F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    if (ctx) ctx->fail(e4memory, "out of memory");
    else orphanError(e4memory, "out of memory");
  } catch (...) {
    const std::string what = "unexpected failure: " + platform::CurrentExceptionText();
    if (ctx) ctx->fail(e4parm, what);
    else orphanError(e4parm, what);
  }
  return onError;
}

// The common shape of a table call: resolve the handle under the API lock,
// run body guarded; an unknown handle is e4handle in the fallback state.
template <typename F>
[[nodiscard]] int onTable(C4Table t, const char* name, F&& body) {
  ApiLock lock(apiMutex());
  Table* tab = findTable(t);
  if (!tab) return orphanError(e4handle, std::string(name) + ": invalid table handle");
  return guarded(tab->ctx, e4memory, [&] { return body(*tab); });
}

}  // namespace talvex::engine
