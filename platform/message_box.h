// Message boxes, the only user interface of the companions.
//
// Windows: MessageBoxA without an owner window, task-modal. Elsewhere the
// title and text go to standard error; a Yes/No question reads its answer
// from the controlling terminal (/dev/tty) when there is one ("y"/"yes" or
// "n"/"no", any case; an empty line takes the default) and otherwise takes
// the default button. Blocks the calling thread until answered.
#pragma once

#include <string_view>

namespace talvex::platform {

enum class MessageIcon { None, Information, Warning, Error };

// An OK box.
void showMessage(std::string_view title, std::string_view text,
                 MessageIcon icon = MessageIcon::None);

// A Yes/No box with a question icon; true for Yes.
[[nodiscard]] bool askYesNo(std::string_view title, std::string_view text, bool defaultYes);

// Test hook: while a responder is set, askYesNo hands the question to it
// instead of the user and returns its answer; nullptr restores the box.
// Process-wide and unsynchronised: set it before the code that asks runs.
using YesNoResponder = bool (*)(void* context, std::string_view title, std::string_view text,
                                bool defaultYes);
void setYesNoResponder(YesNoResponder responder, void* context);

// The platform's own question box, which askYesNo uses when no responder is set.
[[nodiscard]] bool askYesNoBox(std::string_view title, std::string_view text, bool defaultYes);

}  // namespace talvex::platform
