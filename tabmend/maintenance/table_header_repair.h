// Repair of a ".dbf" header whose record count or end-of-file marker
// disagrees with the file's size, as a crashed writer leaves it.
//
// Works on the raw bytes through platform (no engine). Reads the 12
// header bytes and at most one more byte; writes only the 12 header bytes, one
// 0x1A at the end of the file or at the end of the records, and truncates a
// surplus shorter than one record. It never writes past the file's end and
// never cuts off a complete record. The file is closed on every path.
// Not for tables that are open elsewhere. One thread per file.
#pragma once

#include <string_view>

namespace talvex::tabmend {

// fixCount: rewrite the count when the file holds whole records more or
// fewer than the header says (adding a missing end marker first).
// truncate: cut a small partial-record surplus behind the records.
// False only when a file error (or a record length of 0) stopped it; a file
// that is missing, too short for a header or already consistent is true.
[[nodiscard]] bool RepairTableHeader(std::string_view path, bool fixCount, bool truncate);

}  // namespace talvex::tabmend
