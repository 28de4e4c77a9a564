// System cursors as plain state; the cursor handle is the shape id itself.
#include "platform/cursor.h"

#include <atomic>


namespace {
std::atomic<int> shownShape{IDC_ARROW};
std::atomic<CursorHook> cursorHook{nullptr};
}

HCURSOR LoadCursor(HINSTANCE instance, int id) {
  if (instance || (id != IDC_ARROW && id != IDC_WAIT)) return nullptr;
  return (HCURSOR)(intptr_t)id;
}

HCURSOR SetCursor(HCURSOR cursor) {
  int id = (int)(intptr_t)cursor;
  if (id != IDC_ARROW && id != IDC_WAIT) return (HCURSOR)(intptr_t)shownShape.load();
  int previous = shownShape.exchange(id);
  // A decode on the window's thread shows the wait cursor before it starts.
  if (previous != id) {
    CursorHook hook = cursorHook.load();
    if (hook) hook();
  }
  return (HCURSOR)(intptr_t)previous;
}

int PlatformCursorShape() { return shownShape.load(); }

void PlatformSetCursorHook(CursorHook hook) { cursorHook.store(hook); }
