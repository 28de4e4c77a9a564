// Window objects, classes and per-thread message queues.
#include "platform/window.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/threads.h"

namespace {

// One per thread that owns windows or runs a message loop.
struct ThreadQueue {
  std::mutex lock;
  std::condition_variable ready;
  std::deque<MSG> posted;
  bool quit = false;
  int quitCode = 0;
};

struct WindowObject {
  WNDPROC proc;
  std::shared_ptr<ThreadQueue> queue;
  std::thread::id owner;
  RECT rect;
};

struct WindowClass {
  std::wstring name;
  WNDCLASSW wc;
};

std::mutex registryLock;  // guards the two tables below
std::unordered_map<HWND, WindowObject*>* windows;
std::vector<WindowClass>* classes;

// Handles are never reused, so a message posted to a window that is gone
// cannot reach a later one.
uintptr_t nextHandle = 0x10000;

thread_local std::shared_ptr<ThreadQueue> myQueue;

ThreadQueue& MyQueue() {
  if (!myQueue) myQueue = std::make_shared<ThreadQueue>();
  return *myQueue;
}

// The window behind a handle, or null; the pointer stays valid only while
// the window is not destroyed, which only its own thread does.
WindowObject* FindWindowObject(HWND hwnd) {
  std::lock_guard<std::mutex> hold(registryLock);
  if (!windows) return nullptr;
  auto it = windows->find(hwnd);
  return it == windows->end() ? nullptr : it->second;
}

bool TakeMessage(ThreadQueue& q, MSG* msg, bool remove) {
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

}  // namespace

ATOM RegisterClassW(const WNDCLASSW* wc) {
  if (!wc || !wc->lpfnWndProc || !wc->lpszClassName || !*wc->lpszClassName) return 0;
  std::lock_guard<std::mutex> hold(registryLock);
  if (!classes) classes = new std::vector<WindowClass>();
  for (const WindowClass& c : *classes)
    if (c.name == wc->lpszClassName) return 0;
  classes->push_back(WindowClass{wc->lpszClassName, *wc});
  classes->back().wc.lpszClassName = nullptr;  // the copy above owns the name
  return (ATOM)classes->size();
}

HWND CreateWindowExW(DWORD, const WCHAR* className, const WCHAR*, DWORD, int x, int y, int width,
                     int height, HWND, HANDLE, HINSTANCE, void*) {
  if (!className) return nullptr;
  WindowObject* w = new WindowObject();
  HWND hwnd;
  {
    std::lock_guard<std::mutex> hold(registryLock);
    WNDPROC proc = nullptr;
    if (classes)
      for (const WindowClass& c : *classes)
        if (c.name == className) proc = c.wc.lpfnWndProc;
    if (!proc) {
      delete w;
      return nullptr;
    }
    w->proc = proc;
    w->owner = std::this_thread::get_id();
    w->rect = RECT{x, y, x + width, y + height};
    if (!windows) windows = new std::unordered_map<HWND, WindowObject*>();
    hwnd = (HWND)nextHandle++;
    MyQueue();
    w->queue = myQueue;
    (*windows)[hwnd] = w;
  }
  if (w->proc(hwnd, WM_CREATE, 0, 0) == -1) {
    std::lock_guard<std::mutex> hold(registryLock);
    windows->erase(hwnd);
    delete w;
    return nullptr;
  }
  return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  WindowObject* w = FindWindowObject(hwnd);
  if (!w || w->owner != std::this_thread::get_id()) return FALSE;
  w->proc(hwnd, WM_DESTROY, 0, 0);
  {
    std::lock_guard<std::mutex> hold(registryLock);
    windows->erase(hwnd);
  }
  delete w;
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return FindWindowObject(hwnd) ? TRUE : FALSE; }

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  WindowObject* w = FindWindowObject(hwnd);
  if (!w || !rect) return FALSE;
  *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

LRESULT DefWindowProcW(HWND, UINT, WPARAM, LPARAM) { return 0; }

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> hold(registryLock);
    if (!windows) return FALSE;
    auto it = windows->find(hwnd);
    if (it == windows->end()) return FALSE;
    queue = it->second->queue;
  }
  std::lock_guard<std::mutex> hold(queue->lock);
  queue->posted.push_back(MSG{hwnd, message, wParam, lParam, GetTickCount(), {0, 0}});
  queue->ready.notify_one();
  return TRUE;
}

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowObject* w = FindWindowObject(hwnd);
  if (!w || w->owner != std::this_thread::get_id()) return 0;
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
  ThreadQueue& q = MyQueue();
  std::unique_lock<std::mutex> hold(q.lock);
  q.ready.wait(hold, [&] { return !q.posted.empty() || q.quit; });
  TakeMessage(q, msg, true);
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(MSG* msg, HWND, UINT, UINT, UINT remove) {
  if (!msg) return FALSE;
  ThreadQueue& q = MyQueue();
  std::lock_guard<std::mutex> hold(q.lock);
  return TakeMessage(q, msg, remove == PM_REMOVE) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg) return 0;
  WindowObject* w = FindWindowObject(msg->hwnd);
  if (!w || w->owner != std::this_thread::get_id()) return 0;  // destroyed since it was posted
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
    Sleep(1);
  }
}
