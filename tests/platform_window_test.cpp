#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/window.h"

namespace {

std::vector<UINT> seen;
std::vector<WPARAM> seenWParam;
HWND nestedTarget;

LRESULT RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) return lParam == 0 ? 0 : -1;
  seen.push_back(message);
  seenWParam.push_back(wParam);
  // A send from inside a handler runs nested, before the send returns.
  if (message == WM_USER + 10) return SendMessageW(nestedTarget, WM_USER + 11, wParam + 1, 0) + 1;
  if (message == WM_USER + 11) return (LRESULT)wParam * 10;
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT RefusingProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_CREATE ? -1 : 0; }

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = L"TESTRECORD";
    RegisterClassW(&wc);
    wc.lpfnWndProc = RefusingProc;
    wc.lpszClassName = L"TESTREFUSE";
    RegisterClassW(&wc);
  }
  void SetUp() override {
    seen.clear();
    seenWParam.clear();
    hwnd = CreateWindowExW(0, L"TESTRECORD", L"t", 0, 0, 0, 240, 320, nullptr, nullptr, nullptr,
                           nullptr);
    nestedTarget = hwnd;
  }
  void TearDown() override {
    DestroyWindow(hwnd);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  HWND hwnd;
};

TEST_F(WindowTest, PostsFromManyThreadsArriveInOrderPerThread) {
  const int kThreads = 4, kEach = 5000;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; t++)
    posters.emplace_back([this, t] {
      for (int i = 0; i < kEach; i++) ASSERT_TRUE(PostMessageW(hwnd, WM_USER + t, (WPARAM)i, 0));
    });
  for (auto& p : posters) p.join();
  MSG msg;
  int handled = 0;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    DispatchMessageW(&msg);
    handled++;
  }
  EXPECT_EQ(handled, kThreads * kEach);
  std::vector<WPARAM> next(kThreads, 0);
  for (size_t i = 0; i < seen.size(); i++) {
    int t = (int)(seen[i] - WM_USER);
    ASSERT_EQ(seenWParam[i], next[t]) << "poster " << t;
    next[t]++;
  }
}

TEST_F(WindowTest, SendRunsNestedAndReturnsTheResult) {
  EXPECT_EQ(SendMessageW(hwnd, WM_USER + 10, 4, 0), 51);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 10, WM_USER + 11}));
  EXPECT_EQ(PlatformQueuedMessages(), 0);  // nothing went through the queue
  // Sends from another thread are refused rather than run on the wrong one.
  LRESULT fromOther = -5;
  std::thread other([&] { fromOther = SendMessageW(hwnd, WM_USER + 11, 1, 0); });
  other.join();
  EXPECT_EQ(fromOther, 0);
}

TEST_F(WindowTest, QuitComesAfterWhatWasPosted) {
  PostMessageW(hwnd, WM_USER + 1, 0, 0);
  PostQuitMessage(7);
  PostMessageW(hwnd, WM_USER + 2, 0, 0);
  MSG msg;
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  DispatchMessageW(&msg);
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  DispatchMessageW(&msg);
  EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, (UINT)WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
}

TEST_F(WindowTest, GetMessageWaitsForAPostFromAnotherThread) {
  std::thread later([this] { PostMessageW(hwnd, WM_USER + 3, 9, 0); });
  MSG msg;
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  later.join();
  EXPECT_EQ(msg.message, (UINT)(WM_USER + 3));
  EXPECT_EQ(msg.wParam, 9u);
}

TEST_F(WindowTest, DestroyedWindowsTakeNoMessages) {
  HWND other = CreateWindowExW(0, L"TESTRECORD", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(PostMessageW(other, WM_USER + 4, 0, 0));
  ASSERT_TRUE(DestroyWindow(other));
  EXPECT_EQ(seen, (std::vector<UINT>{WM_DESTROY}));
  EXPECT_FALSE(PostMessageW(other, WM_USER + 5, 0, 0));
  EXPECT_FALSE(IsWindow(other));
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));  // queued before the end
  EXPECT_EQ(DispatchMessageW(&msg), 0);
  EXPECT_EQ(seen.size(), 1u);  // dropped, not handled
}

TEST_F(WindowTest, CreationCanBeRefused) {
  EXPECT_EQ(CreateWindowExW(0, L"TESTREFUSE", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(CreateWindowExW(0, L"NOSUCHCLASS", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  WNDCLASSW again = {};
  again.lpfnWndProc = RecordingProc;
  again.lpszClassName = L"TESTRECORD";
  EXPECT_EQ(RegisterClassW(&again), 0);
  RECT r;
  ASSERT_TRUE(GetClientRect(hwnd, &r));
  EXPECT_EQ(r.right, 240);
  EXPECT_EQ(r.bottom, 320);
}

}  // namespace
