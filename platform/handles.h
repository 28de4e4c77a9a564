// One table for every platform object behind a handle: drawing objects,
// drawing contexts, files, find handles, windows, registry keys.
//
// A handle is a slot index plus the slot's generation, so a handle that was
// closed fails every later call, even once its slot holds a newer object.
// Objects are reference counted: a call that acquired an object keeps it
// alive until it releases it, whatever another thread closes meanwhile.
#pragma once

#include <atomic>

enum ObjectKind {
  KIND_BITMAP = 1 << 0,
  KIND_DC = 1 << 1,
  KIND_BRUSH = 1 << 2,
  KIND_FONT = 1 << 3,
  KIND_FILE = 1 << 4,
  KIND_FIND = 1 << 5,
  KIND_WINDOW = 1 << 6,
  KIND_REGKEY = 1 << 7,
};
// Objects that SelectObject and DeleteObject take.
const int KIND_GDI_OBJECT = KIND_BITMAP | KIND_BRUSH | KIND_FONT;

struct PlatformObject {
  const int kind;
  bool stock = false;  // never closed: deleting it does nothing
  std::atomic<int> refs{1};
  explicit PlatformObject(int k) : kind(k) {}
  virtual ~PlatformObject() {}
};

// Enters object in the table, which takes over the caller's reference.
// Returns the handle, or null (and the object deleted) when the table is full.
void* HandleCreate(PlatformObject* object);
// The live object behind handle when its kind is one of kindMask, with one
// more reference; null for a closed, foreign or null handle.
PlatformObject* HandleAcquire(const void* handle, int kindMask);
void HandleAddRef(PlatformObject* object);
// Drops one reference; the last one deletes the object. Null is ignored.
void HandleRelease(PlatformObject* object);
// Closes a handle: every later acquire fails, and the object goes once the
// last reference held elsewhere is released. False for a handle that is not
// live, of another kind, or a stock object.
bool HandleClose(const void* handle, int kindMask);
// Live handles of the kinds in kindMask (tests use it to prove nothing leaks).
int HandleLiveCount(int kindMask);

// Scoped reference to an acquired object.
template <class T>
class HandleRef {
 public:
  HandleRef(const void* handle, int kindMask) : object_((T*)HandleAcquire(handle, kindMask)) {}
  ~HandleRef() { HandleRelease(object_); }
  HandleRef(const HandleRef&) = delete;
  HandleRef& operator=(const HandleRef&) = delete;
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_;
};
