// The text of the exception being handled, for a catch (...) that must keep
// what it caught for a message or a log: what() of a std::exception, else a
// fixed text. Call it only inside a catch block.
#pragma once

#include <exception>
#include <string>

namespace talvex::platform {

inline std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "an exception of unknown type";
  }
}

}  // namespace talvex::platform
