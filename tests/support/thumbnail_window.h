// A window of the test's own as mainWindow, recording every
// WM_THUMBNAIL_READY it handles, with a loop that runs until no worker is
// left and nothing is queued. One at a time.
#pragma once

#include <functional>
#include <vector>

#include "platform/wintypes.h"

class ThumbnailWindow {
 public:
  ThumbnailWindow();
  ~ThumbnailWindow();
  HWND hwnd() const { return hwnd_; }
  // Indices in arrival order.
  const std::vector<int>& ready() const { return ready_; }
  void Clear() { ready_.clear(); }
  // Called for each message with the index, while the message is handled.
  std::function<void(int)> onReady;
  // Handles what is queued now, without waiting.
  void PumpQueued();
  void PumpUntilWorkersEnd();

 private:
  static LRESULT Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND hwnd_ = nullptr;
  std::vector<int> ready_;
};
