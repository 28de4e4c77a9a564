// System cursors as plain state; the cursor handle is the shape id itself.
#include "platform/cursor.h"

#include <atomic>

namespace {
std::atomic<int> shownShape{IDC_ARROW};
}

HCURSOR LoadCursor(HINSTANCE instance, int id) {
  if (instance || (id != IDC_ARROW && id != IDC_WAIT)) return nullptr;
  return (HCURSOR)(intptr_t)id;
}

HCURSOR SetCursor(HCURSOR cursor) {
  int id = (int)(intptr_t)cursor;
  if (id != IDC_ARROW && id != IDC_WAIT) return (HCURSOR)(intptr_t)shownShape.load();
  return (HCURSOR)(intptr_t)shownShape.exchange(id);
}

int PlatformCursorShape() { return shownShape.load(); }
