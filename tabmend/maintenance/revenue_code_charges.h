// Saving and restoring the charges of the revenue-code table `revcode`
// around a replacement of the table, through the dump file
// InstallDirectory + "private\revupdmp.txt": one line "CODE|charge" (CR LF)
// per code with a non-zero charge, in BY_CODE order.
//
// RunChargeBackup / RunChargeRestore are the bodies of the exports: they use
// the call's module state (driver/run_state.h), leave the wrapped failure text
// in LastErrorText and return false on failure. The caller has called
// BeginCall and reports the text. One call at a time.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvex::tabmend {

inline constexpr char kRevenueCodeDumpName[] = "revupdmp.txt";

// The charge as the dump writes it: general notation, up to 15 significant
// digits, no trailing zeros, "." as separator (125.5, 80, 0.25).
std::string FormatCharge(double value);
// The dump's value text as a number ("." separator, blanks around allowed);
// nullopt when it does not convert as a whole (a comma, letters, empty).
std::optional<double> ParseCharge(std::string_view text);

[[nodiscard]] bool RunChargeBackup();
[[nodiscard]] bool RunChargeRestore();

}  // namespace talvex::tabmend
