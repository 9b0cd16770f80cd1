// One engine context: its settings, its error state and the tables it holds
// open. Created by code4initP, destroyed by code4initUndo (which closes its
// tables). Callers hold the API lock.
#pragma once

#include <cstdint>
#include <vector>

#include "errors.h"

namespace talvex::engine {

class Table;

struct Context {
  uint32_t handle = 0;
  int autoOpen = 1;       // open the production index with the table
  int accessMode = 0;     // 0 shared, 1 deny write, 2 exclusive
  int optimizeWrite = 0;  // write-behind while the table is trusted
  ErrorState error;
  std::vector<Table*> tables;

  int fail(int code, std::string detail) { return setError(error, code, std::move(detail)); }
};

}  // namespace talvex::engine
