// Error state of one engine context and the general texts of the result codes.
//
// Every failing API call records its code and a detail text (which file,
// which field) in its context; error4text joins the code's general text and
// that detail. Handle errors that name no usable context go to a
// process-wide fallback state. Not thread-safe on its own: callers hold the
// API lock.
#pragma once

#include <string>

namespace talvex::engine {

struct ErrorState {
  int code = 0;        // current code (code4errorCode reads and replaces it)
  int lastCode = 0;    // the last failure recorded, kept when `code` is cleared
  std::string detail;  // of lastCode, so error4text still has it after a clear
  std::string text;    // buffer behind error4text
};

// General text of a result or error code ("" for 0).
const char* errorGeneralText(int code);

// Records code and detail; returns code so callers can `return fail(...)`.
[[nodiscard]] int setError(ErrorState& state, int code, std::string detail);

// Error state for calls whose handle names no context.
ErrorState& orphanErrorState();

}  // namespace talvex::engine
