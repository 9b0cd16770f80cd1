// The host's progress callback: a method of the host, called with the
// context value the host handed in as its object and the address of a
// string[255] status text as its one argument. On 32-bit x86 the host's
// method convention passes them in registers (object in EAX, text address in
// EDX); elsewhere the callback is an ordinary function of (context, text).
//
// The text buffer belongs to the notifier and is overwritten before each
// call; the callback copies what it keeps. Calls run on the caller's thread.
#pragma once

#include <string_view>

#include "common/text/length_prefixed.h"

namespace talvex::qmrbsrst {

#if defined(__i386__)
using RosterProgressMethod = void(__attribute__((regparm(2))) *)(void* self, const void* text);
#else
using RosterProgressMethod = void (*)(void* self, const void* text);
#endif

class ProgressNotifier {
 public:
  ProgressNotifier(void* callback, void* context)
      : method_(reinterpret_cast<RosterProgressMethod>(callback)), context_(context) {}
  // Stores the text and hands it to the host; no callback: only stored.
  void Send(std::string_view text);
  void Clear() { text_.assign(""); }
  std::string last() const { return text_.str(); }

 private:
  RosterProgressMethod method_;
  void* context_;
  common::ShortString<255> text_{};
};

}  // namespace talvex::qmrbsrst
