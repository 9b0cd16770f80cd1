// Hands one message to the host through the token table of its call record.
//
// The entry whose key equals "%" + title + "%" gets its value replaced; when
// there is none, key and value are appended at EntryCount and EntryCount grows
// by one. The record carries no capacity, so room for one more entry is the
// host's promise; what the library can check it does: nothing is written when
// the record or a slot address is null, a stride is outside 1..TABMEND_MAX_STRIDE,
// EntryCount is outside 0..TABMEND_MAX_ENTRIES or the key does not fit its slot,
// and a value longer than its slot is cut to fit. Key slots are compared only
// within their stride, so an unterminated key cannot run the scan off its slot.
// Returns whether the text was stored.
#pragma once

#include <string_view>

#include "tabmend_api.h"

namespace talvex::tabmend {

[[nodiscard]] bool ReportToHost(TabmendCallRecord* record, std::string_view title, std::string_view text);

}  // namespace talvex::tabmend
