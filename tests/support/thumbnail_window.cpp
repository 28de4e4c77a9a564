#include "tests/support/thumbnail_window.h"

#include "browser/entry_list.h"
#include "platform/threads.h"
#include "platform/window.h"

namespace {
ThumbnailWindow* current;
}

ThumbnailWindow::ThumbnailWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = L"TESTTHUMBNAILS";
    RegisterClassW(&wc);
    registered = true;
  }
  current = this;
  hwnd_ = CreateWindowExW(0, L"TESTTHUMBNAILS", L"", 0, 0, 0, 240, 320, nullptr, nullptr, nullptr,
                          nullptr);
  mainWindow = hwnd_;
}

ThumbnailWindow::~ThumbnailWindow() {
  PumpUntilWorkersEnd();
  DestroyWindow(hwnd_);
  mainWindow = nullptr;
  current = nullptr;
}

LRESULT ThumbnailWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_THUMBNAIL_READY && current) {
    current->ready_.push_back((int)wParam);
    if (current->onReady) current->onReady((int)wParam);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void ThumbnailWindow::PumpQueued() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

void ThumbnailWindow::PumpUntilWorkersEnd() { PlatformDispatchUntilThreadsEnd(); }
