#include "driver/report_to_host.h"

#include <cstring>
#include <string>

namespace talvex::tabmend {
namespace {

bool StrideUsable(int32_t stride) { return stride >= 1 && stride <= TABMEND_MAX_STRIDE; }

// Copies text into a slot of `width` bytes, cutting it so the NUL still fits.
void StoreText(char* slot, int32_t width, std::string_view text) {
  size_t n = std::min(text.size(), static_cast<size_t>(width) - 1);
  std::memcpy(slot, text.data(), n);
  slot[n] = '\0';
}

}  // namespace

bool ReportToHost(TabmendCallRecord* record, std::string_view title, std::string_view text) {
  if (record == nullptr || record->KeySlots == nullptr || record->ValueSlots == nullptr) return false;
  if (!StrideUsable(record->KeyStride) || !StrideUsable(record->ValueStride)) return false;
  if (record->EntryCount < 0 || record->EntryCount > TABMEND_MAX_ENTRIES) return false;
  const std::string key = "%" + std::string(title) + "%";
  if (key.size() + 1 > static_cast<size_t>(record->KeyStride)) return false;

  for (int32_t i = 0; i < record->EntryCount; ++i) {
    const char* slot = record->KeySlots + static_cast<ptrdiff_t>(i) * record->KeyStride;
    size_t len = strnlen(slot, static_cast<size_t>(record->KeyStride));
    if (len == key.size() && std::memcmp(slot, key.data(), len) == 0) {
      StoreText(record->ValueSlots + static_cast<ptrdiff_t>(i) * record->ValueStride,
                record->ValueStride, text);
      return true;
    }
  }
  const ptrdiff_t at = record->EntryCount;
  StoreText(record->KeySlots + at * record->KeyStride, record->KeyStride, key);
  StoreText(record->ValueSlots + at * record->ValueStride, record->ValueStride, text);
  record->EntryCount += 1;
  return true;
}

}  // namespace talvex::tabmend
