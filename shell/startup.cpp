// Start-up: the splash, the main window, the message loop.
#include "shell/startup.h"

#include <cwchar>

#include "platform/gdi.h"
#include "platform/resource.h"
#include "platform/shell_ui.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "ui/main_window.h"


static const int kSplashBitmap = 112;
static const int kSplashWidth = 240;  // the splash keeps its size on any screen
static const int kSplashHeight = 320;
static const DWORD kSplashSettle = 50;        // ms for pending updates to show
static const DWORD kSplashHoldWithPath = 250;
static const DWORD kSplashHold = 1000;
static const UINT kTitleString = 1;
static const UINT kClassNameString = 3;
static const int kStringMax = 100;
static const int kIconId = 101;
static const int kAcceleratorTable = 3;
static const DWORD kFullScreenRequest = SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON;

void ShowSplash(HINSTANCE instance, const WCHAR* commandLine) {
  UpdateWindow(nullptr);
  Sleep(kSplashSettle);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP splash = LoadBitmapW(instance, MAKEINTRESOURCEW(kSplashBitmap));
  SelectObject(memory, splash);
  BitBlt(screen, 0, 0, kSplashWidth, kSplashHeight, memory, 0, 0, SRCCOPY);
  const bool given = commandLine && commandLine[0];
  if (given) {
    // A longer one cannot be a device path; cutting it would name another.
    if (wcslen(commandLine) < (size_t)kPathMax)
      wcscpy(startPath, commandLine);
    else
      startPathUnusable = true;
  }
  Sleep(given || startPathUnusable ? kSplashHoldWithPath : kSplashHold);
  ReleaseDC(nullptr, screen);
  DeleteDC(memory);
  DeleteObject(splash);
}

void RegisterMainWindowClass(HINSTANCE instance, const WCHAR* className) {
  WNDCLASSW wc = {};
  wc.style = 0;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconId));
  wc.hCursor = nullptr;
  wc.hbrBackground = nullptr;  // the procedure paints every pixel
  wc.lpszClassName = className;
  RegisterClassW(&wc);
}

bool InitMainWindow(HINSTANCE instance, int showCommand) {
  appInstance = instance;
  WCHAR className[kStringMax] = {};
  LoadStringW(instance, kClassNameString, className, kStringMax);
  RegisterMainWindowClass(instance, className);
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  WCHAR title[kStringMax] = {};
  LoadStringW(instance, kTitleString, title, kStringMax);
  // No caption, border or system menu.
  HWND hwnd = CreateWindowExW(0, className, title, WS_VISIBLE | WS_TABSTOP, 0, 0, width, height,
                              nullptr, nullptr, instance, nullptr);
  if (!hwnd) return false;
  ShowWindow(hwnd, showCommand);
  UpdateWindow(hwnd);
  SHFullScreen(hwnd, kFullScreenRequest);
  return true;
}

int ViewerMain(HINSTANCE instance, const WCHAR* commandLine, int showCommand) {
  ShowSplash(instance, commandLine);
  if (!InitMainWindow(instance, showCommand)) return 0;
  HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(kAcceleratorTable));
  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return (int)msg.wParam;
}
