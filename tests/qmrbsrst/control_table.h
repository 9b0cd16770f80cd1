// A real "UTILMAST.DBF" for counter tests, made and read through the engine.
#pragma once

#include <string>
#include <vector>

#include "c4dll.h"

namespace talvex::qmrbsrst::testing {

// Creates folder + "UTILMAST.DBF" with fields ID_1..ID_fields (N 10) and, when
// values is not empty, one record holding them (ID_1 = values[0], ...).
inline bool MakeControlTable(const std::string& folder, int fields,
                             const std::vector<long>& values) {
  C4Context c = code4initP();
  if (c == 0) return false;
  std::vector<std::string> names;
  for (int i = 1; i <= fields; ++i) names.push_back("ID_" + std::to_string(i));
  std::vector<C4FieldInfo> info;
  for (const std::string& n : names) info.push_back({n.c_str(), 'N', 10, 0});
  info.push_back({"NOTE", 'C', 10, 0});
  info.push_back({nullptr, 0, 0, 0});
  C4TagInfo noTags[] = {{nullptr, nullptr, nullptr, 0, 0}};
  C4Table t = d4create(c, (folder + "UTILMAST.DBF").c_str(), info.data(), noTags);
  bool ok = t != 0;
  if (ok && !values.empty()) {
    ok = d4appendStart(t, 0) == 0 && d4blank(t) == 0;
    for (size_t i = 0; ok && i < values.size() && static_cast<int>(i) < fields; ++i) {
      ok = f4assignInt(d4field(t, names[i].c_str()), values[i]) == 0;
    }
    ok = ok && d4append(t) == 0;
  }
  if (t != 0 && d4close(t) != 0) ok = false;
  code4initUndo(c);
  return ok;
}

// The counter's stored value, or -999 when it cannot be read.
inline long ReadCounter(const std::string& folder, int kind) {
  C4Context c = code4initP();
  long value = -999;
  C4Table t = d4open(c, (folder + "UTILMAST.DBF").c_str());
  if (t != 0 && d4top(t) == 0) {
    C4Field f = d4field(t, ("ID_" + std::to_string(kind + 1)).c_str());
    if (f != 0) value = f4int(f);
  }
  if (t != 0) d4close(t);
  code4initUndo(c);
  return value;
}

}  // namespace talvex::qmrbsrst::testing
