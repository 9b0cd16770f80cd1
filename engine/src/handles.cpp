#include "handles.h"

namespace talvex::engine {

namespace {
constexpr uint32_t kSlotBits = 20;
constexpr uint32_t kSlotMask = (1u << kSlotBits) - 1;
constexpr uint32_t kMaxSlots = kSlotMask;  // slot + 1 must fit the field
}  // namespace

HandleTable& HandleTable::instance() {
  static HandleTable table;
  return table;
}

uint32_t HandleTable::add(HandleKind kind, void* object) {
  uint32_t slot;
  if (free_.size() > 64 || (!free_.empty() && slots_.size() >= kMaxSlots)) {
    slot = free_.front();
    free_.pop_front();
  } else if (slots_.size() < kMaxSlots) {
    slot = static_cast<uint32_t>(slots_.size());
    slots_.emplace_back();
  } else {
    return 0;
  }
  Slot& s = slots_[slot];
  s.object = object;
  s.kind = kind;
  s.generation = static_cast<uint8_t>(s.generation + 1);
  return (static_cast<uint32_t>(kind) << 28) | (static_cast<uint32_t>(s.generation) << kSlotBits) |
         (slot + 1);
}

void* HandleTable::find(uint32_t handle, HandleKind kind) const {
  uint32_t slotPlusOne = handle & kSlotMask;
  if (slotPlusOne == 0 || slotPlusOne > slots_.size()) return nullptr;
  if ((handle >> 28) != static_cast<uint32_t>(kind)) return nullptr;
  const Slot& s = slots_[slotPlusOne - 1];
  if (s.object == nullptr || s.kind != kind) return nullptr;
  if (static_cast<uint8_t>((handle >> kSlotBits) & 0xFF) != s.generation) return nullptr;
  return s.object;
}

void HandleTable::remove(uint32_t handle) {
  uint32_t slotPlusOne = handle & kSlotMask;
  if (slotPlusOne == 0 || slotPlusOne > slots_.size()) return;
  Slot& s = slots_[slotPlusOne - 1];
  if (s.object == nullptr) return;
  if (static_cast<uint8_t>((handle >> kSlotBits) & 0xFF) != s.generation) return;
  s.object = nullptr;
  free_.push_back(slotPlusOne - 1);
}

}  // namespace talvex::engine
