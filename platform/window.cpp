// Window objects, classes, per-thread message queues, painting and timers.
#include "platform/window.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/backend.h"
#include "platform/gdi.h"
#include "platform/handles.h"
#include "platform/threads.h"

namespace {

// One per thread that owns windows or runs a message loop.
struct ThreadQueue {
  std::mutex lock;  // guards posted, quit and quitCode
  std::condition_variable ready;
  std::deque<MSG> posted;
  bool quit = false;
  int quitCode = 0;
  std::vector<HWND> windows;  // owned by this thread; touched by it alone
};

struct Timer {
  UINT_PTR id;
  UINT period;
  DWORD due;
};

// Fields past `owner` are touched only by the owning thread.
struct WindowObject : PlatformObject {
  WNDPROC proc = nullptr;
  std::shared_ptr<ThreadQueue> queue;
  std::thread::id owner;
  RECT rect = {};
  bool visible = false;
  bool destroying = false;
  bool updatePending = false;
  bool erasePending = false;
  std::vector<Timer> timers;
  WindowObject() : PlatformObject(KIND_WINDOW) {}
};

struct WindowClass {
  std::wstring name;
  WNDPROC proc;
};

std::mutex classLock;
std::vector<WindowClass>* classes;  // never freed: detached threads may outlive main

std::mutex activeLock;
HWND activeWindow;  // newest live window: where backend input goes

thread_local std::shared_ptr<ThreadQueue> myQueue;

ThreadQueue& MyQueue() {
  if (!myQueue) myQueue = std::make_shared<ThreadQueue>();
  return *myQueue;
}

typedef HandleRef<WindowObject> WindowRef;

// A window of the calling thread, or an empty reference.
bool Mine(const WindowRef& w) { return w && w->owner == std::this_thread::get_id(); }

// Returns the message a due paint or timer of this thread's windows makes,
// in that order. Window thread only.
bool TakeSynthetic(ThreadQueue& q, MSG* msg, int* timeoutMs) {
  DWORD now = GetTickCount();
  *timeoutMs = -1;
  for (HWND hwnd : q.windows) {
    WindowRef w(hwnd, KIND_WINDOW);
    if (w && w->visible && w->updatePending) {
      *msg = MSG{hwnd, WM_PAINT, 0, 0, now, {0, 0}};
      return true;
    }
  }
  for (HWND hwnd : q.windows) {
    WindowRef w(hwnd, KIND_WINDOW);
    if (!w) continue;
    for (Timer& t : w->timers) {
      int32_t left = (int32_t)(t.due - now);
      if (left <= 0) {
        // Ticks missed while the thread was busy are not replayed.
        t.due = now + t.period;
        *msg = MSG{hwnd, WM_TIMER, t.id, 0, now, {0, 0}};
        return true;
      }
      if (*timeoutMs < 0 || left < *timeoutMs) *timeoutMs = left;
    }
  }
  return false;
}

bool TakePosted(ThreadQueue& q, MSG* msg, bool remove) {
  if (!q.posted.empty()) {
    *msg = q.posted.front();
    if (remove) q.posted.pop_front();
    return true;
  }
  if (q.quit) {
    *msg = MSG{nullptr, WM_QUIT, (WPARAM)q.quitCode, 0, GetTickCount(), {0, 0}};
    if (remove) q.quit = false;
    return true;
  }
  return false;
}

// The next message in the platform's order: posted messages and input, then
// a pending paint, then a due timer. With wait, blocks until one exists.
bool NextMessage(MSG* msg, bool remove, bool wait) {
  ThreadQueue& q = MyQueue();
  for (;;) {
    {
      std::lock_guard<std::mutex> hold(q.lock);
      if (TakePosted(q, msg, remove)) return true;
    }
    const PlatformBackend* backend = PlatformGetBackend();
    if (backend && backend->poll) {
      backend->poll();
      std::lock_guard<std::mutex> hold(q.lock);
      if (TakePosted(q, msg, remove)) return true;
    }
    int timeoutMs;
    if (TakeSynthetic(q, msg, &timeoutMs)) return true;
    if (!wait) return false;
    if (backend) {
      if (backend->present) backend->present();
      backend->wait(timeoutMs);
      continue;
    }
    std::unique_lock<std::mutex> hold(q.lock);
    if (!q.posted.empty() || q.quit) continue;
    if (timeoutMs < 0)
      q.ready.wait(hold);
    else
      q.ready.wait_for(hold, std::chrono::milliseconds(timeoutMs));
  }
}

void PaintNow(HWND hwnd) {
  WindowRef w(hwnd, KIND_WINDOW);
  if (Mine(w) && w->visible && w->updatePending) w->proc(hwnd, WM_PAINT, 0, 0);
}

}  // namespace

ATOM RegisterClassW(const WNDCLASSW* wc) {
  if (!wc || !wc->lpfnWndProc || !wc->lpszClassName || !*wc->lpszClassName) return 0;
  std::lock_guard<std::mutex> hold(classLock);
  if (!classes) classes = new std::vector<WindowClass>();
  for (const WindowClass& c : *classes)
    if (c.name == wc->lpszClassName) return 0;
  classes->push_back(WindowClass{wc->lpszClassName, wc->lpfnWndProc});
  return (ATOM)classes->size();
}

HWND CreateWindowExW(DWORD, const WCHAR* className, const WCHAR*, DWORD style, int x, int y,
                     int width, int height, HWND, HANDLE, HINSTANCE, void*) {
  if (!className) return nullptr;
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> hold(classLock);
    if (classes)
      for (const WindowClass& c : *classes)
        if (c.name == className) proc = c.proc;
  }
  if (!proc) return nullptr;
  WindowObject* w = new WindowObject();
  w->proc = proc;
  w->owner = std::this_thread::get_id();
  w->rect = RECT{x, y, x + (width > 0 ? width : 0), y + (height > 0 ? height : 0)};
  w->queue = (MyQueue(), myQueue);
  HWND hwnd = (HWND)HandleCreate(w);
  if (!hwnd) return nullptr;
  myQueue->windows.push_back(hwnd);
  if (proc(hwnd, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> hold(activeLock);
    activeWindow = hwnd;
  }
  // Shown once created, as the platform does: nothing paints inside WM_CREATE.
  {
    WindowRef w(hwnd, KIND_WINDOW);
    if (w) w->visible = (style & WS_VISIBLE) != 0;
  }
  // A new window has everything to paint.
  InvalidateRect(hwnd, nullptr, TRUE);
  return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  {
    WindowRef w(hwnd, KIND_WINDOW);
    // A WM_DESTROY handler that destroys again finds the window going.
    if (!Mine(w) || w->destroying) return FALSE;
    w->destroying = true;
    w->proc(hwnd, WM_DESTROY, 0, 0);
  }
  ThreadQueue& q = MyQueue();
  for (size_t i = 0; i < q.windows.size(); i++)
    if (q.windows[i] == hwnd) q.windows.erase(q.windows.begin() + (long)i);
  {
    std::lock_guard<std::mutex> hold(activeLock);
    if (activeWindow == hwnd) activeWindow = q.windows.empty() ? nullptr : q.windows.back();
  }
  HandleClose(hwnd, KIND_WINDOW);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) {
  WindowRef w(hwnd, KIND_WINDOW);
  return w ? TRUE : FALSE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  WindowRef w(hwnd, KIND_WINDOW);
  if (!w || !rect) return FALSE;
  *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
  }
  return 0;
}

BOOL ShowWindow(HWND hwnd, int command) {
  WindowRef w(hwnd, KIND_WINDOW);
  if (!Mine(w)) return FALSE;
  BOOL wasVisible = w->visible ? TRUE : FALSE;
  w->visible = command != SW_HIDE;
  if (w->visible && !wasVisible) {
    w->updatePending = true;
    w->erasePending = true;
  }
  return wasVisible;
}

BOOL UpdateWindow(HWND hwnd) {
  WindowRef w(hwnd, KIND_WINDOW);
  if (!Mine(w)) return FALSE;
  PaintNow(hwnd);
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL erase) {
  WindowRef w(hwnd, KIND_WINDOW);
  if (!Mine(w)) return FALSE;
  // The update region is always the whole client area: the system repaints
  // everything it invalidates.
  w->updatePending = true;
  if (erase) w->erasePending = true;
  return TRUE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint) {
  WindowRef w(hwnd, KIND_WINDOW);
  if (!Mine(w) || !paint) return nullptr;
  paint->fErase = w->erasePending ? TRUE : FALSE;
  paint->rcPaint = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  w->updatePending = false;
  w->erasePending = false;
  paint->hdc = GetDC(hwnd);
  return paint->hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
  if (!paint) return FALSE;
  return ReleaseDC(hwnd, paint->hdc) ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int width, int height, UINT flags) {
  WindowRef w(hwnd, KIND_WINDOW);
  if (!Mine(w)) return FALSE;
  RECT r = w->rect;
  if (!(flags & SWP_NOMOVE)) {
    r.right += x - r.left;
    r.bottom += y - r.top;
    r.left = x;
    r.top = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    r.right = r.left + (width > 0 ? width : 0);
    r.bottom = r.top + (height > 0 ? height : 0);
  }
  w->rect = r;
  return TRUE;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT period, void* procedure) {
  WindowRef w(hwnd, KIND_WINDOW);
  if (!Mine(w) || procedure) return 0;
  DWORD due = GetTickCount() + period;
  for (Timer& t : w->timers)
    if (t.id == id) {
      t.period = period;
      t.due = due;
      return id;
    }
  w->timers.push_back(Timer{id, period, due});
  return id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  WindowRef w(hwnd, KIND_WINDOW);
  if (!Mine(w)) return FALSE;
  for (size_t i = 0; i < w->timers.size(); i++)
    if (w->timers[i].id == id) {
      w->timers.erase(w->timers.begin() + (long)i);
      return TRUE;
    }
  return FALSE;
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> queue;
  {
    WindowRef w(hwnd, KIND_WINDOW);
    if (!w) return FALSE;
    queue = w->queue;
  }
  {
    std::lock_guard<std::mutex> hold(queue->lock);
    queue->posted.push_back(MSG{hwnd, message, wParam, lParam, GetTickCount(), {0, 0}});
    queue->ready.notify_one();
  }
  const PlatformBackend* backend = PlatformGetBackend();
  if (backend && backend->wake) backend->wake();
  return TRUE;
}

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRef w(hwnd, KIND_WINDOW);
  if (!Mine(w)) return 0;
  return w->proc(hwnd, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  ThreadQueue& q = MyQueue();
  std::lock_guard<std::mutex> hold(q.lock);
  q.quit = true;
  q.quitCode = exitCode;
  q.ready.notify_one();
}

BOOL GetMessageW(MSG* msg, HWND, UINT, UINT) {
  if (!msg) return FALSE;
  NextMessage(msg, true, true);
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(MSG* msg, HWND, UINT, UINT, UINT remove) {
  if (!msg) return FALSE;
  return NextMessage(msg, remove == PM_REMOVE, false) ? TRUE : FALSE;
}

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg) return 0;
  WindowRef w(msg->hwnd, KIND_WINDOW);
  if (!Mine(w)) return 0;  // destroyed since it was posted
  return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

int PlatformQueuedMessages() {
  ThreadQueue& q = MyQueue();
  std::lock_guard<std::mutex> hold(q.lock);
  return (int)q.posted.size();
}

void PlatformDispatchUntilThreadsEnd() {
  MSG msg;
  for (;;) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    // A thread posts before it ends, so once none runs the queue is final.
    if (PlatformRunningThreads() == 0 && PlatformQueuedMessages() == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

HWND PlatformActiveWindow() {
  std::lock_guard<std::mutex> hold(activeLock);
  return activeWindow;
}

void PlatformPostInput(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = PlatformActiveWindow();
  if (message == WM_LBUTTONDOWN || message == WM_MOUSEMOVE || message == WM_LBUTTONUP) {
    // The stylus never lands outside the client area: a release beside the
    // window must not hit the controls along its edge.
    RECT client;
    if (!GetClientRect(hwnd, &client) || client.right < 1 || client.bottom < 1) return;
    int x = (int16_t)(lParam & 0xFFFF);
    int y = (int16_t)((lParam >> 16) & 0xFFFF);
    x = x < 0 ? 0 : (x >= client.right ? client.right - 1 : x);
    y = y < 0 ? 0 : (y >= client.bottom ? client.bottom - 1 : y);
    lParam = (LPARAM)(((uint32_t)y << 16) | (uint32_t)x);
  }
  PostMessageW(hwnd, message, wParam, lParam);
}

void PlatformRequestClose() { PostMessageW(PlatformActiveWindow(), WM_CLOSE, 0, 0); }
