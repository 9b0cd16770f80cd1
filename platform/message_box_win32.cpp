#include <windows.h>

#include <string>

#include "platform/message_box.h"

namespace talvex::platform {

void showMessage(std::string_view title, std::string_view text, MessageIcon icon) {
  UINT type = MB_OK | MB_TASKMODAL;
  switch (icon) {
    case MessageIcon::Information: type |= MB_ICONINFORMATION; break;
    case MessageIcon::Warning: type |= MB_ICONWARNING; break;
    case MessageIcon::Error: type |= MB_ICONERROR; break;
    case MessageIcon::None: break;
  }
  std::string t(title), m(text);
  MessageBoxA(nullptr, m.c_str(), t.c_str(), type);
}

bool askYesNoBox(std::string_view title, std::string_view text, bool defaultYes) {
  std::string t(title), m(text);
  UINT type = MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL |
              (defaultYes ? MB_DEFBUTTON1 : MB_DEFBUTTON2);
  return MessageBoxA(nullptr, m.c_str(), t.c_str(), type) == IDYES;
}

}  // namespace talvex::platform
