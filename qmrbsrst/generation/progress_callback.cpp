#include "qmrbsrst/generation/progress_callback.h"

namespace talvex::qmrbsrst {

void ProgressNotifier::Send(std::string_view text) {
  text_.assign(text);
  if (method_ != nullptr) method_(context_, &text_);
}

}  // namespace talvex::qmrbsrst
