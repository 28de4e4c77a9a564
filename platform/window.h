// Windows with a window procedure, and their message queues.
//
// Contract: a window belongs to the thread that created it. Posting works
// from any thread, never blocks for long and never drops a message while the
// window exists; posted messages are handled in order on the window's thread
// when it gets and dispatches them. Sending runs the procedure at once,
// nested, on the sending thread, which must be the window's own.
#pragma once

#include "platform/wintypes.h"

#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSCHAR 0x0106
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
// The wheel: the high word of wParam is the distance turned, signed, in
// WHEEL_DELTA steps a notch, positive away from the user (up, toward the
// start); lParam is the pointer. Finer wheels send parts of a step.
#define WM_MOUSEWHEEL 0x020A
#define WHEEL_DELTA 120
#define WM_USER 0x0400

// Key codes as the window receives them.
#define VK_BACK 0x08
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21  // Page Up
#define VK_NEXT 0x22   // Page Down
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_F4 0x73
#define VK_OEM_2 0xBF  // the "/" key
// Key message lParam: Alt held (bit 29), an auto-repeated press (bit 30).
#define KF_ALT_BIT 0x20000000
#define KF_REPEAT_BIT 0x40000000

#define WS_VISIBLE 0x10000000u
#define WS_TABSTOP 0x00010000u

#define PM_NOREMOVE 0
#define PM_REMOVE 1

typedef uintptr_t UINT_PTR;
typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef WORD ATOM;

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

struct WNDCLASSW {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HANDLE hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  const WCHAR* lpszMenuName;
  const WCHAR* lpszClassName;
};

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;  // the invalidation asked for the background to be erased
  RECT rcPaint;
};

#define SW_HIDE 0
#define SW_SHOW 5
#define SW_SHOWNORMAL 1

#define HWND_TOP ((HWND)0)
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002

// 0 when the class has no procedure or name, or the name is taken.
ATOM RegisterClassW(const WNDCLASSW* wc);
// Runs WM_CREATE inside; a procedure that answers -1 fails the creation.
HWND CreateWindowExW(DWORD exStyle, const WCHAR* className, const WCHAR* title, DWORD style, int x,
                     int y, int width, int height, HWND parent, HANDLE menu, HINSTANCE instance,
                     void* param);
// Sends WM_DESTROY, then the handle is dead; its queued messages are dropped.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
BOOL GetClientRect(HWND hwnd, RECT* rect);
// WM_PAINT: validates (begin and end painting); WM_CLOSE: destroys the
// window; everything else (WM_COMMAND included): nothing, 0.
LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL ShowWindow(HWND hwnd, int command);
// Paints at once when an update is pending (WM_PAINT sent, nested).
BOOL UpdateWindow(HWND hwnd);
// Marks rect (null: the whole client area) for painting; erase TRUE asks the
// paint handler to erase. The WM_PAINT comes when nothing else is queued, or
// at once through UpdateWindow. A null window: nothing.
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
// The window's context, the erase flag and the update rectangle; validates.
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint);
// Moves and sizes the window; HWND_TOP with SWP_NOMOVE | SWP_NOSIZE only
// raises it.
BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int width, int height, UINT flags);

// A periodic timer: WM_TIMER with wParam id every period milliseconds, on the
// window's thread. At most one WM_TIMER is pending per timer; ticks missed
// while the thread was busy are not replayed. Returns id, 0 on failure.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT period, void* procedure);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// Accelerators from the program's resources (a table number).
HACCEL LoadAcceleratorsW(HINSTANCE instance, const WCHAR* name);
// Sends WM_COMMAND (wParam the command) to hwnd and returns 1 when msg is a
// key of the table; else 0.
int TranslateAcceleratorW(HWND hwnd, HACCEL table, MSG* msg);

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Quit for the calling thread's loop, after the messages already posted.
void PostQuitMessage(int exitCode);

// Waits for the calling thread's next message: > 0 for a message, 0 for
// WM_QUIT (msg->wParam is the exit code). Filters are not supported: pass
// null and zeros.
BOOL GetMessageW(MSG* msg, HWND hwnd, UINT first, UINT last);
// The same without waiting: FALSE when nothing is queued.
BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT first, UINT last, UINT remove);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);

// Messages waiting for the calling thread (tests and tools use it to drain).
int PlatformQueuedMessages();
// Dispatches the calling thread's messages until no thread started with
// PlatformStartThread runs and nothing is queued (tools, tests, benchmarks).
void PlatformDispatchUntilThreadsEnd();
