#include "platform/backend_sdl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "platform/backend.h"
#include "platform/cursor.h"
#include "platform/threads.h"
#include "platform/window.h"

namespace {

struct KeyResult {
  int taken;
  UINT message;
  WPARAM code;
  LPARAM lParam;
};

KeyResult Translate(const char* name, bool alt = false, bool repeat = false,
                    bool buttonsTaken = false) {
  KeyResult r = {0, 0, 0, 0};
  int key = SdlKeyFromName(name);
  EXPECT_NE(key, 0) << name;
  r.taken = SdlTranslateKey(key, alt, repeat, buttonsTaken, &r.message, &r.code, &r.lParam);
  return r;
}

TEST(SdlKeys, PlainKeysBecomeTheirCodes) {
  struct Case {
    const char* name;
    WPARAM code;
  };
  const Case cases[] = {
      {"Left", VK_LEFT},     {"Up", VK_UP},         {"Right", VK_RIGHT},
      {"Down", VK_DOWN},     {"Return", VK_RETURN}, {"Keypad Enter", VK_RETURN},
      {"Escape", VK_ESCAPE}, {"Space", VK_SPACE},   {"+", 0x2B},
      {"=", 0x2B},           {"Keypad +", 0x2B},    {"-", 0x2D},
      {"Keypad -", 0x2D},    {"/", VK_OEM_2},
  };
  for (const Case& c : cases) {
    KeyResult first = Translate(c.name);
    ASSERT_EQ(first.taken, 1) << c.name;
    EXPECT_EQ(first.message, (UINT)WM_KEYDOWN) << c.name;
    EXPECT_EQ(first.code, c.code) << c.name;
    EXPECT_EQ(first.lParam, 1) << c.name;  // repeat count 1, not a repeat, no Alt
    KeyResult again = Translate(c.name, false, true);
    EXPECT_EQ(again.code, c.code) << c.name;
    EXPECT_EQ(again.lParam, 1 | KF_REPEAT_BIT) << c.name;
  }
  EXPECT_EQ(Translate("A").taken, 0);
  EXPECT_EQ(Translate("F7", false, false, true).taken, 0);
  EXPECT_EQ(Translate("Tab").taken, 0);
}

TEST(SdlKeys, FunctionKeysAreButtonsOnlyWhileTaken) {
  const char* names[] = {"F1", "F2", "F3", "F4", "F5", "F6"};
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(Translate(names[i]).taken, 0) << names[i];
    KeyResult r = Translate(names[i], false, true, true);
    ASSERT_EQ(r.taken, 1) << names[i];
    EXPECT_EQ(r.message, (UINT)WM_KEYDOWN);
    EXPECT_EQ(r.code, (WPARAM)(0xC1 + i));
    EXPECT_EQ(r.lParam, 1 | KF_REPEAT_BIT);
  }
}

TEST(SdlKeys, AltKeysGoToTheAcceleratorTable) {
  for (bool taken : {false, true}) {
    KeyResult f4 = Translate("F4", true, false, taken);
    ASSERT_EQ(f4.taken, 1);
    EXPECT_EQ(f4.message, (UINT)WM_SYSKEYDOWN);
    EXPECT_EQ(f4.code, (WPARAM)VK_F4);
    EXPECT_EQ(f4.lParam, 1 | KF_ALT_BIT);
  }
  KeyResult slash = Translate("/", true, true);
  ASSERT_EQ(slash.taken, 1);
  EXPECT_EQ(slash.message, (UINT)WM_SYSKEYDOWN);
  EXPECT_EQ(slash.code, (WPARAM)VK_OEM_2);
  EXPECT_EQ(slash.lParam, 1 | KF_ALT_BIT | KF_REPEAT_BIT);
  // Alt changes nothing for keys outside the accelerator table.
  KeyResult left = Translate("Left", true);
  EXPECT_EQ(left.message, (UINT)WM_KEYDOWN);
  EXPECT_EQ(left.lParam, 1);
  EXPECT_EQ(Translate("F1", true).taken, 0);
}

TEST(SdlStylus, WindowPixelsBecomeScreenPixels) {
  struct Case {
    int zoom, windowX, windowY, x, y;
  };
  const Case cases[] = {
      {1, 0, 0, 0, 0},         {1, 239, 319, 239, 319}, {2, 1, 1, 0, 0},
      {2, 479, 639, 239, 319}, {2, 100, 41, 50, 20},    {3, 2, 3, 0, 1},
      {3, 719, 959, 239, 319}, {2, -5, -1, 0, 0},       {3, -7, 30, 0, 10},
      {0, 12, 13, 12, 13},
  };
  for (const Case& c : cases) {
    int x = -1, y = -1;
    SdlWindowToScreen(c.windowX, c.windowY, c.zoom, &x, &y);
    EXPECT_EQ(x, c.x) << c.zoom << " " << c.windowX;
    EXPECT_EQ(y, c.y) << c.zoom << " " << c.windowY;
  }
}

TEST(SdlStylus, TouchPositionsStayOnTheScreen) {
  int x, y;
  SdlTouchToScreen(0.5f, 0.25f, 240, 320, &x, &y);
  EXPECT_EQ(x, 120);
  EXPECT_EQ(y, 80);
  SdlTouchToScreen(1.0f, 1.5f, 240, 320, &x, &y);
  EXPECT_EQ(x, 239);
  EXPECT_EQ(y, 319);
  SdlTouchToScreen(-0.1f, std::nanf(""), 240, 320, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

TEST(SdlWindow, OpensHeadlessAndWakeEndsAWait) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  int displayWidth = 0, displayHeight = 0;
  ASSERT_EQ(SdlDisplaySize(&displayWidth, &displayHeight), 1);
  EXPECT_GT(displayWidth, 0);
  EXPECT_GT(displayHeight, 0);
  ASSERT_EQ(SdlBackendOpen(2, false, "Viewer", nullptr), 1);
  EXPECT_EQ(SdlBackendOpen(2, false, "Viewer", nullptr), 0);  // one window
  const PlatformBackend* backend = SdlBackend();
  backend->present();
  // The cursor hook on the window's thread draws at once; it must not fail.
  SetCursor(LoadCursor(nullptr, IDC_WAIT));
  SetCursor(LoadCursor(nullptr, IDC_ARROW));
  for (int i = 0; i < 3; i++) backend->wait(0);  // the window's own start-up events

  std::atomic<bool> woken{false};
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    woken = true;
    backend->wake();
  });
  backend->wait(-1);
  EXPECT_TRUE(woken.load());
  waker.join();

  // A wake that comes before the wait is not lost.
  backend->wake();
  backend->wake();
  backend->wait(-1);
  SdlBackendClose();
}

// GetTickCount and Sleep go through the installed backend, which must not
// send them back to itself. Run on a thread so that a loop fails the test.
TEST(SdlWindow, ClockAndSleepWorkWhileInstalled) {
  const PlatformBackend* before = PlatformGetBackend();
  PlatformSetBackend(SdlBackend());
  std::atomic<bool> done{false};
  std::atomic<DWORD> slept{0};
  std::thread sleeper([&] {
    DWORD start = GetTickCount();
    Sleep(30);
    slept = GetTickCount() - start;
    done = true;
  });
  for (int i = 0; i < 250 && !done.load(); i++)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  PlatformSetBackend(before);
  if (!done.load()) {
    sleeper.detach();
    FAIL() << "GetTickCount or Sleep did not return with the SDL backend installed";
  }
  sleeper.join();
  EXPECT_GE(slept.load(), 30u);
  EXPECT_LT(slept.load(), 5000u);
}

}  // namespace
