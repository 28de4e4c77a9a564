// A game pad through SDL's virtual joystick, in this process, driving the
// real window backend on a private X server: each button posts the key the
// program knows, a held button repeats as a held key, the hardware buttons
// count only while taken, and a pad plugged in later (or again) works.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/backend_sdl.h"
#include "platform/backend_sdl_pad.h"
#include "platform/gdi.h"
#include "platform/shell_ui.h"
#include "platform/window.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x_server.h"

namespace {

const int kPlugMs = 5000;  // for a pad to be seen
const int kPressMs = 150;  // a press: several pad polls long

struct Key {
  WPARAM code;
  LPARAM lParam;
};
std::vector<Key> keys;

LRESULT KeyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN) keys.push_back({wParam, lParam});
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The environment variable as it was, put back at the end of the scope.
class EnvSetting {
 public:
  EnvSetting(const char* name, const char* value) : name_(name) {
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~EnvSetting() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

// The window's message loop for ms: the backend waits, the posted input is
// handed to the window.
void RunLoop(int ms) {
  const PlatformBackend* backend = SdlBackend();
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    backend->wait(10);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

bool RunUntilPads(int count) {
  for (int waited = 0; waited < kPlugMs; waited += 50) {
    if (SdlPadsOpen() == count) return true;
    RunLoop(50);
  }
  return SdlPadsOpen() == count;
}

// The keys one press and release of a button posts.
std::vector<Key> Press(int pad, int button) {
  keys.clear();
  EXPECT_EQ(SdlSetVirtualPadButton(pad, button, true), 1) << button;
  RunLoop(kPressMs);
  EXPECT_EQ(SdlSetVirtualPadButton(pad, button, false), 1) << button;
  RunLoop(kPressMs);
  return keys;
}

TEST(X11GamePad, ButtonsBecomeKeysHeldOnesRepeatAndPadsPlugInLater) {
  if (!OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (package xvfb)";
  TempDir dir;
  XServer x;
  ASSERT_EQ(x.Start(dir.path(), "640x480x24"), "");
  EnvSetting display("DISPLAY", x.display().c_str());
  EnvSetting driver("SDL_VIDEODRIVER", "x11");

  WNDCLASSW wc = {};
  wc.lpfnWndProc = KeyProc;
  wc.lpszClassName = L"PADKEYS";
  RegisterClassW(&wc);
  HWND hwnd =
      CreateWindowExW(0, L"PADKEYS", L"pad", 0, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  PlatformSetScreenSize(240, 320);
  ASSERT_EQ(SdlBackendOpen(1, false, "Pad", nullptr), 1);
  RunLoop(200);   // the window's own start-up events
  GXOpenInput();  // the program takes the hardware buttons, as it does at start

  int pad = SdlAttachVirtualPad();
  ASSERT_GE(pad, 0);
  ASSERT_TRUE(RunUntilPads(1)) << "the virtual pad was not opened";

  struct Case {
    int button;
    WPARAM code;
  };
  const Case cases[] = {
      {PAD_DPAD_UP, VK_UP},
      {PAD_DPAD_DOWN, VK_DOWN},
      {PAD_DPAD_LEFT, VK_LEFT},
      {PAD_DPAD_RIGHT, VK_RIGHT},
      {PAD_A, VK_RETURN},
      {PAD_B, VK_ESCAPE},
      {PAD_X, 0xC2},
      {PAD_Y, 0xC1},
      {PAD_LEFT_SHOULDER, 0x2D},
      {PAD_RIGHT_SHOULDER, 0x2B},
      {PAD_START, 0},
  };
  for (const Case& c : cases) {
    std::vector<Key> got = Press(pad, c.button);
    if (c.code == 0) {
      EXPECT_TRUE(got.empty()) << "button " << c.button << " has no key";
      continue;
    }
    ASSERT_EQ(got.size(), 1u) << "button " << c.button;
    EXPECT_EQ(got[0].code, c.code) << "button " << c.button;
    EXPECT_EQ(got[0].lParam, 1) << "button " << c.button;
  }

  // Held: the key, then after the delay repeats marked as such; none after
  // the release.
  keys.clear();
  ASSERT_EQ(SdlSetVirtualPadButton(pad, PAD_DPAD_DOWN, true), 1);
  RunLoop(kPadRepeatDelayMs + 10 * kPadRepeatMs);
  ASSERT_EQ(SdlSetVirtualPadButton(pad, PAD_DPAD_DOWN, false), 1);
  RunLoop(kPressMs);
  const size_t held = keys.size();
  RunLoop(3 * kPadRepeatMs);
  EXPECT_EQ(keys.size(), held) << "repeats went on after the release";
  ASSERT_GE(held, 4u);
  for (size_t i = 0; i < held; i++) {
    EXPECT_EQ(keys[i].code, (WPARAM)VK_DOWN);
    EXPECT_EQ(keys[i].lParam, i == 0 ? 1 : 1 | KF_REPEAT_BIT) << i;
  }

  // The hardware buttons only while the program has them.
  GXCloseInput();
  EXPECT_TRUE(Press(pad, PAD_X).empty());
  EXPECT_EQ(Press(pad, PAD_A).size(), 1u);
  GXOpenInput();

  // Unplugged and plugged in again.
  ASSERT_EQ(SdlDetachVirtualPad(pad), 1);
  ASSERT_TRUE(RunUntilPads(0)) << "the pad was not let go";
  pad = SdlAttachVirtualPad();
  ASSERT_GE(pad, 0);
  ASSERT_TRUE(RunUntilPads(1)) << "the pad plugged in again was not opened";
  std::vector<Key> again = Press(pad, PAD_B);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].code, (WPARAM)VK_ESCAPE);

  SdlDetachVirtualPad(pad);
  GXCloseInput();
  SdlBackendClose();
  DestroyWindow(hwnd);
}

}  // namespace
