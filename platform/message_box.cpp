// The part of the message boxes that is the same everywhere: the test
// responder that answers questions in the user's place.
#include "platform/message_box.h"

namespace talvex::platform {
namespace {

YesNoResponder g_responder = nullptr;
void* g_responderContext = nullptr;

}  // namespace

void setYesNoResponder(YesNoResponder responder, void* context) {
  g_responder = responder;
  g_responderContext = context;
}

bool askYesNo(std::string_view title, std::string_view text, bool defaultYes) {
  if (g_responder != nullptr) return g_responder(g_responderContext, title, text, defaultYes);
  return askYesNoBox(title, text, defaultYes);
}

}  // namespace talvex::platform
