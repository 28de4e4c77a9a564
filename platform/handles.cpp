// The handle table: slots with generations, guarded by one mutex.
#include "platform/handles.h"

#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

namespace {

// Handle layout: generation above the index. The index takes 24 bits, far
// more slots than the program ever holds at once; both parts start at 1, so
// no handle is 0, -1 (INVALID_HANDLE_VALUE) or -2 (the current thread).
const int kIndexBits = 24;
const uintptr_t kIndexMask = ((uintptr_t)1 << kIndexBits) - 1;
const uintptr_t kMaxGeneration = ((uintptr_t)1 << (sizeof(uintptr_t) * 8 - kIndexBits - 2)) - 1;

struct Slot {
  PlatformObject* object;
  uintptr_t generation;
};

std::mutex tableLock;
// Made on first use and never freed, so no static destructor runs while a
// detached thread still closes handles at process end.
std::vector<Slot>* slots;
std::vector<uint32_t>* freeSlots;

uintptr_t MakeHandle(size_t index, uintptr_t generation) {
  return (generation << kIndexBits) | (uintptr_t)(index + 1);
}

// The slot a handle names while it is live; called with the lock held.
Slot* LiveSlot(const void* handle) {
  uintptr_t h = (uintptr_t)handle;
  if (!slots || h == 0) return nullptr;
  uintptr_t index = (h & kIndexMask);
  if (index == 0 || index > slots->size()) return nullptr;
  Slot& s = (*slots)[index - 1];
  if (!s.object || s.generation != (h >> kIndexBits)) return nullptr;
  return &s;
}

}  // namespace

void* HandleCreate(PlatformObject* object) {
  if (!object) return nullptr;
  std::lock_guard<std::mutex> hold(tableLock);
  if (!slots) {
    slots = new std::vector<Slot>();
    freeSlots = new std::vector<uint32_t>();
  }
  size_t index;
  if (!freeSlots->empty()) {
    index = freeSlots->back();
    freeSlots->pop_back();
  } else if (slots->size() < kIndexMask) {
    slots->push_back(Slot{nullptr, 0});
    index = slots->size() - 1;
  } else {
    delete object;
    return nullptr;
  }
  Slot& s = (*slots)[index];
  // A slot whose generations ran out is retired rather than reused.
  if (s.generation >= kMaxGeneration) {
    delete object;
    return nullptr;
  }
  s.generation++;
  s.object = object;
  return (void*)MakeHandle(index, s.generation);
}

PlatformObject* HandleAcquire(const void* handle, int kindMask) {
  std::lock_guard<std::mutex> hold(tableLock);
  Slot* s = LiveSlot(handle);
  if (!s || !(s->object->kind & kindMask)) return nullptr;
  s->object->refs.fetch_add(1, std::memory_order_relaxed);
  return s->object;
}

void HandleAddRef(PlatformObject* object) {
  if (object) object->refs.fetch_add(1, std::memory_order_relaxed);
}

void HandleRelease(PlatformObject* object) {
  if (object && object->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete object;
}

bool HandleClose(const void* handle, int kindMask) {
  PlatformObject* object;
  {
    std::lock_guard<std::mutex> hold(tableLock);
    Slot* s = LiveSlot(handle);
    if (!s || !(s->object->kind & kindMask) || s->object->stock) return false;
    object = s->object;
    s->object = nullptr;
    freeSlots->push_back((uint32_t)(s - slots->data()));
  }
  HandleRelease(object);
  return true;
}

int HandleLiveCount(int kindMask) {
  std::lock_guard<std::mutex> hold(tableLock);
  int n = 0;
  if (slots)
    for (const Slot& s : *slots)
      if (s.object && !s.object->stock && (s.object->kind & kindMask)) n++;
  return n;
}
