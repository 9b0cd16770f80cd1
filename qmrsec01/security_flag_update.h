// The work of qmrsec01: set the flag bit 4096 in SEC_FLAGS1 of every user
// record of "ISEC.DBF", rebuilding the table's index before and after, and
// tell the user about failures (and, in prompt mode, success) by message box.
//
// Runs in the program's own engine context with default settings, which it
// creates and releases. Records changed before a failure keep their change.
// One thread.
#pragma once

#include <string>
#include <string_view>

namespace talvex::qmrsec01 {

inline constexpr int kSecurityBit = 4096;
inline constexpr long kAllFlags = 65535;

// Prompt mode: the first argument, upper-cased, is exactly "/PROMPT".
[[nodiscard]] bool PromptModeOf(int argc, const char* const* argv);

// The folder of the running program file, ending in a separator.
std::string ProgramFolder();

// True when the engine library lies beside the program: "C4DLL.DLL" in its
// folder (on POSIX also libc4dll.so there or in the sibling "lib" folder,
// where the build puts it).
[[nodiscard]] bool EngineLibraryPresent(const std::string& programFolder);

// The whole program after the arguments: checks, update, messages.
void RunSecurityFlagUpdate(bool promptMode);

}  // namespace talvex::qmrsec01
