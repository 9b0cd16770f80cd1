// Shared by the file layer's POSIX and Win32 halves; internal to platform/.
#pragma once

#include <string>
#include <string_view>

namespace talvex::platform::internal {

// The last file operation's failure, for lastFileError() and
// lastFileErrorNoSpace(): each operation notes it, or clears it on success.
void noteFailure(std::string text, bool noSpace);
void prefixFailure(const std::string& prefix);
// Clears the failure; true, for the caller to return.
bool succeeded();

// The system's own copy, move and delete (one half each); a failure is
// noted with the system's text, which the shared wrappers then prefix.
bool copyFileAs(std::string_view from, std::string_view to);
bool moveFileAs(std::string_view from, std::string_view to);
bool deleteFileAs(std::string_view path);

}  // namespace talvex::platform::internal
