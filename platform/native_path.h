// Host path texts to native paths.
//
// The host and its configuration write folders with "\" separators, and name
// the same table "bcclaim.dbf" in one place and "BCCLAIM.DBF" in another. On a
// case-sensitive file system nativePath() therefore matches every existing
// component of the path without regard to (ASCII) case; the first component
// that does not exist, and everything after it, keep the case given, so a
// file can be created under the name asked for. When a folder holds several
// names that differ only in case, an exact match wins, else the one that sorts
// first byte-wise.
//
// On Windows the file system already ignores case: "/" becomes "\" and
// nothing else changes. Pure functions of the path and the file system;
// safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace talvex::platform {

// The native path for a host text ("\" or "/" separators). An empty text
// stays empty.
std::string nativePath(std::string_view hostPath);

// True for "\" and "/", the separators a host text may use.
inline bool isPathSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace talvex::platform
