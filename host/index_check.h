// talvexhost check: verifies a table's production index against the table
// (every live key present, in order, pages sound) with the engine's check.
#pragma once

#include <cstdio>
#include <string>

#include "c4dll.h"

namespace talvex::host {

// True when the table's .mdx agrees with its records; *error holds the
// engine's text when it does not or when the table cannot be opened.
[[nodiscard]] bool CheckTableIndex(C4Context c, const std::string& folder, const std::string& table,
                     std::FILE* out, std::string* error);

}  // namespace talvex::host
