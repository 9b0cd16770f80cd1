// Checked 32-bit handles for the C API.
//
// A handle names a slot of one process-wide table and carries the kind of
// object and the slot's generation, so a stale handle (its object closed), a
// handle of another kind or a made-up number is refused instead of followed.
// Layout: bits 28-31 kind, 20-27 generation, 0-19 slot number + 1 (never 0).
// The table does not own the objects; whoever registers an object removes it
// before freeing it. Callers hold the API lock (api_guard.h).
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace talvex::engine {

enum class HandleKind : uint32_t { Context = 1, Table = 2, Index = 3, Tag = 4, Field = 5 };

class HandleTable {
 public:
  static HandleTable& instance();

  // 0 when the table is full (about a million live handles).
  uint32_t add(HandleKind kind, void* object);
  // nullptr for 0, stale, foreign or wrong-kind handles.
  void* find(uint32_t handle, HandleKind kind) const;
  void remove(uint32_t handle);

  template <typename T>
  T* get(uint32_t handle, HandleKind kind) const {
    return static_cast<T*>(find(handle, kind));
  }

 private:
  struct Slot {
    void* object = nullptr;
    HandleKind kind = HandleKind::Context;
    uint8_t generation = 0;
  };
  std::vector<Slot> slots_;
  // Freed slots are reused oldest first, which keeps a closed handle's slot
  // (and so its generation) unused for as long as possible.
  std::deque<uint32_t> free_;
};

}  // namespace talvex::engine
