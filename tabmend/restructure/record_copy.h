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
// than the end), without a message of its own. Damage and lost values are
// failures too, told apart in *failure (when given) and described (table,
// record, field, value, the engine's text) through NoteFailureDetail:
//  - checkIndex: the source's production index must agree with its records
//    (d4check), or the copy does not start;
//  - a memo the engine cannot read (a pointer past the end of the .dbt, a
//    block that starts no memo) stops the copy instead of becoming blank;
//  - a value the new field cannot hold (the engine's e4field, the field
//    filled with asterisks) stops it instead of becoming blank. A source
//    value that is no value of its type at all (asterisks a too-narrow field
//    once got, stray text in a number) is left blank as before: there is
//    nothing in it to keep.
// A source with more matching fields than the map holds throws
// std::length_error. The source is only read;
// a failure can leave a partly filled target. Every table and index opened is
// closed, and the engine error state cleared, on every path. Works in the
// run's engine context, where tables open without their index.
#pragma once

#include <string>

namespace talvex::tabmend {

inline constexpr int kFieldPairMapSize = 512;

enum class CopyFault { None, Engine, DamagedIndex, DamagedMemo, ValueDoesNotFit };

struct CopyFailure {
  CopyFault fault = CopyFault::None;
  std::string detail;  // as given to NoteFailureDetail
};

[[nodiscard]] bool CopyCommonFields(const std::string& sourceFolder, const std::string& targetFolder,
                      const std::string& base, CopyFailure* failure = nullptr,
                      bool checkIndex = false);

}  // namespace talvex::tabmend
