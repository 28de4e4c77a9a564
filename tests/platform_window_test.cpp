#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/backend.h"
#include "platform/resource.h"
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

// A clock the test moves: the backend's wait jumps it to the next timer.
namespace {

DWORD fakeNow;
int waits;
DWORD FakeTicks() { return fakeNow; }
void FakeSleep(DWORD ms) { fakeNow += ms; }
void FakeWait(int timeoutMs) {
  waits++;
  fakeNow += timeoutMs < 0 ? 1000 : (DWORD)timeoutMs;
}
void FakeNothing() {}
const PlatformBackend kFakeClock = {FakeTicks, FakeSleep, FakeWait, FakeNothing, FakeNothing, nullptr};

struct PaintLog {
  std::vector<std::pair<UINT, WPARAM>> events;
  int destroyDepth = 0;
  HWND self = nullptr;
};
PaintLog paintLog;

LRESULT PaintingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      paintLog.events.push_back({WM_PAINT, (WPARAM)ps.fErase});
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_DESTROY:
      // Destroying again from the handler must be harmless.
      paintLog.destroyDepth++;
      EXPECT_FALSE(DestroyWindow(hwnd));
      return 0;
    case WM_TIMER:
    case WM_COMMAND:
    case WM_USER:
      paintLog.events.push_back({message, wParam});
      if (message == WM_TIMER && wParam == 1) fakeNow += 2000;  // a slow tick
      return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

class WindowLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool registered = false;
    if (!registered) {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = PaintingProc;
      wc.lpszClassName = L"TESTPAINT";
      RegisterClassW(&wc);
      registered = true;
    }
    fakeNow = 1000;
    waits = 0;
    paintLog = PaintLog();
    PlatformSetBackend(&kFakeClock);
    hwnd = CreateWindowExW(0, L"TESTPAINT", L"", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr,
                           nullptr, nullptr);
  }
  void TearDown() override {
    DestroyWindow(hwnd);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    PlatformSetBackend(nullptr);
  }
  // Dispatches n messages through GetMessageW.
  void Pump(int n) {
    MSG msg;
    for (int i = 0; i < n && GetMessageW(&msg, nullptr, 0, 0); i++) DispatchMessageW(&msg);
  }
  HWND hwnd;
};

TEST_F(WindowLoopTest, PostedFirstThenPaintThenTimersWithoutReplay) {
  // The new visible window owes a paint with erase; a post overtakes it.
  SetTimer(hwnd, 1, 250, nullptr);
  PostMessageW(hwnd, WM_USER, 7, 0);
  Pump(2);
  ASSERT_EQ(paintLog.events.size(), 2u);
  EXPECT_EQ(paintLog.events[0], (std::pair<UINT, WPARAM>{WM_USER, 7}));
  EXPECT_EQ(paintLog.events[1], (std::pair<UINT, WPARAM>{WM_PAINT, 1}));
  // The timer fires after its period; its handler takes 2 s: the eight
  // ticks missed meanwhile make one tick at once, then the period again.
  Pump(1);
  EXPECT_EQ(fakeNow, 3250u);
  Pump(1);
  EXPECT_EQ(fakeNow, 5250u);
  EXPECT_EQ(waits, 1);
  int ticks = 0;
  for (auto& e : paintLog.events) ticks += e.first == WM_TIMER;
  EXPECT_EQ(ticks, 2);
  // A quiet invalidation reaches the paint with the erase flag clear, and
  // UpdateWindow paints at once.
  InvalidateRect(hwnd, nullptr, FALSE);
  UpdateWindow(hwnd);
  EXPECT_EQ(paintLog.events.back(), (std::pair<UINT, WPARAM>{WM_PAINT, 0}));
  size_t before = paintLog.events.size();
  UpdateWindow(hwnd);  // nothing pending: no paint
  EXPECT_EQ(paintLog.events.size(), before);
  EXPECT_TRUE(KillTimer(hwnd, 1));
  EXPECT_FALSE(KillTimer(hwnd, 1));
}

TEST_F(WindowLoopTest, CloseDestroysOnceAndStaleHandlesFail) {
  HWND gone = hwnd;
  SendMessageW(gone, WM_CLOSE, 0, 0);
  EXPECT_EQ(paintLog.destroyDepth, 1);
  EXPECT_FALSE(IsWindow(gone));
  EXPECT_FALSE(DestroyWindow(gone));
  EXPECT_FALSE(InvalidateRect(gone, nullptr, TRUE));
  EXPECT_EQ(SetTimer(gone, 1, 10, nullptr), 0u);
  // A new window may take the old one's slot; the old handle stays dead.
  hwnd = CreateWindowExW(0, L"TESTPAINT", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_NE(hwnd, gone);
  EXPECT_FALSE(PostMessageW(gone, WM_USER, 1, 0));
  EXPECT_EQ(PlatformActiveWindow(), hwnd);
}

TEST_F(WindowLoopTest, InputIsClampedToTheClientArea) {
  PlatformPostInput(WM_LBUTTONUP, 0, (LPARAM)((5000u << 16) | 0xFFFFu));  // x -1, y 5000
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, (UINT)WM_LBUTTONUP);
  EXPECT_EQ(msg.lParam & 0xFFFF, 0);
  EXPECT_EQ((msg.lParam >> 16) & 0xFFFF, 319);
}

}  // namespace

namespace {

TEST_F(WindowLoopTest, AcceleratorsSendTheirCommandsAndKeysTypeCharacters) {
  HACCEL table = LoadAcceleratorsW(nullptr, MAKEINTRESOURCEW(3));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(LoadAcceleratorsW(nullptr, MAKEINTRESOURCEW(4)), nullptr);
  // Alt + F4 is a virtual key; Alt + "/" a character, reached through the
  // WM_SYSCHAR that TranslateMessage makes of the key.
  MSG altF4 = {hwnd, WM_SYSKEYDOWN, VK_F4, 1 | KF_ALT_BIT, 0, {0, 0}};
  MSG plainF4 = {hwnd, WM_KEYDOWN, VK_F4, 1, 0, {0, 0}};
  MSG altSlash = {hwnd, WM_SYSKEYDOWN, VK_OEM_2, 1 | KF_ALT_BIT, 0, {0, 0}};
  EXPECT_EQ(TranslateAcceleratorW(hwnd, table, &altF4), 1);
  EXPECT_EQ(TranslateAcceleratorW(hwnd, table, &plainF4), 0);
  EXPECT_EQ(TranslateAcceleratorW(hwnd, table, &altSlash), 0);
  EXPECT_TRUE(TranslateMessage(&altSlash));
  MSG typed;
  ASSERT_TRUE(PeekMessageW(&typed, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(typed.message, (UINT)WM_SYSCHAR);
  EXPECT_EQ(typed.wParam, (WPARAM)L'/');
  EXPECT_EQ(TranslateAcceleratorW(hwnd, table, &typed), 1);
  ASSERT_EQ(paintLog.events.size(), 2u);
  EXPECT_EQ(paintLog.events[0], (std::pair<UINT, WPARAM>{WM_COMMAND, 40002 | (1u << 16)}));
  EXPECT_EQ(paintLog.events[1], (std::pair<UINT, WPARAM>{WM_COMMAND, 40003 | (1u << 16)}));
}

}  // namespace
