// CopyCommonFields: carries every live record of a table from its old layout
// (source folder) into an empty table of the new layout (target folder),
// field by field name.
//
// Fields of both layouts are copied with the engine's field-to-field
// conversion (memo texts in full); fields only in the old layout are dropped,
// fields only in the new one stay blank. Deleted records are left behind, so
// the target comes out packed, in the source's physical order. The target's
// production index is rebuilt at the end.
//
// Returns true only when every live record was copied and the index rebuilt;
// false on any engine failure (including a skip that reports an error rather
// than the end), without a message of its own. A source with more matching
// fields than the map holds throws std::length_error. The source is only read;
// a failure can leave a partly filled target. Every table and index opened is
// closed, and the engine error state cleared, on every path. Works in the
// run's engine context, where tables open without their index.
#pragma once

#include <string>

namespace talvex::tabmend {

inline constexpr int kFieldPairMapSize = 512;

bool CopyCommonFields(const std::string& sourceFolder, const std::string& targetFolder,
                      const std::string& base);

}  // namespace talvex::tabmend
