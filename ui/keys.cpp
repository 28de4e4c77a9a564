// The key pipeline: device button rules, the repeat filter, and one table
// that picks each key's action in the grid and in the viewer.
#include "ui/keys.h"

#include <cstdint>
#include <cwchar>
#include <iterator>

#include "browser/entry_list.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "ui/grid.h"
#include "ui/help.h"
#include "ui/ui_state.h"
#include "ui/viewer.h"

WCHAR oemInfo[kOemInfoChars];

namespace {

// Hardware button and character codes the program acts on.
const int kButtonDecodeMode = 0xC1;  // next decode mode, reload the picture
const int kButtonSlideShow = 0xC2;
const int kButtonClose = 0xC4;
const int kPlusCode = 0x2B;   // zoom in
const int kMinusCode = 0x2D;  // zoom out
const int kHelpLetter = 0x48;  // H; the "/" key (VK_OEM_2) holds "?" too
const int kRepeatSpacingMs = 100;  // auto-repeats closer than this are dropped
// Key codes are 16 bits; a wider wParam names no key and acts on nothing
// rather than being cut into one.
const WPARAM kMaxKeyCode = 0xFFFF;
const int kNotAKey = 0x10000;

// One device rule: a code and what it becomes (0: the key is dropped).
struct KeyChange {
  int from;
  int to;
};

// Every device: the Windows key, F21, F23 and F24.
const KeyChange kEveryDevice[] = {{0x5B, 0}, {0x84, 0}, {0x86, 0}, {0x87, 0}};
const KeyChange kIpaqHx47[] = {{0xCA, 0xC4}, {0xCB, 0xC1}, {0xCC, 0xC2}, {0xCD, 0xC3}};
const KeyChange kAsus[] = {{0xC5, 0xC1}, {0xC6, 0xC2}, {0xC7, 0xC3}, {0xC8, 0xC4},
                           {0xC9, 0xC5}, {0xCB, 0xC5}, {0xD1, 0}, {0xD2, 0},
                           {0xD3, 0}, {0xD4, 0}, {0xD5, 0}};
const KeyChange kPocketLoox[] = {{0xC8, 0xC2}, {0xCA, 0xC4}, {0xCB, 0xC5}};
const KeyChange kIpaqHw65[] = {{0x10, 0}, {0x72, 0xC1}, {0x73, 0xC4}, {0x75, VK_UP},
                               {0x76, VK_DOWN}, {0xC1, 0}, {0xC2, 0}, {0xC3, 0},
                               {0xC4, 0}, {0xC5, 0}, {0xC6, 0}, {0xC7, 0},
                               {0xC8, 0}, {0xC9, 0}, {0xCA, 0xC2}, {0xCB, 0xC3},
                               {0xF1, 0}, {0xF2, 0}};
const KeyChange kAximX5[] = {{0xCA, 0xC5}};
const KeyChange kAximX30[] = {{0xC2, 0xC1}, {0xC3, 0xC2}, {0xC4, 0xC3}, {0xC5, 0xC4}};

// A step of the device table: its changes apply when oemInfo contains the
// model text (case-sensitive); a null model is every device.
struct DeviceRule {
  const WCHAR* model;
  const KeyChange* changes;
  size_t count;
};

// In order: each step sees the code the steps before it left.
const DeviceRule kDeviceRules[] = {
    {nullptr, kEveryDevice, std::size(kEveryDevice)},
    {L"hp iPAQ hx47", kIpaqHx47, std::size(kIpaqHx47)},
    {L"ASUS", kAsus, std::size(kAsus)},
    {L"Pocket LOOX", kPocketLoox, std::size(kPocketLoox)},
    {L"hp iPAQ hw65", kIpaqHw65, std::size(kIpaqHw65)},
    {L"Dell Axim X5", kAximX5, std::size(kAximX5)},
    {L"Dell Axim X30", kAximX30, std::size(kAximX30)},
};

enum KeyAction {
  ActNone,
  ActOpenSelection,  // OpenEntry on the selection
  ActQuit,
  ActGridKey,        // selection moves
  ActViewerKey,      // the viewer's key actions, some shared with the grid
  ActLeaveViewer,
  ActSendEscape,     // Enter in the viewer acts as Escape
  ActOpenParent,     // the parent entry, as if tapped
  ActHelp,
};

// A key's action in each view; notRepeated keys ignore auto-repeats.
struct KeyBinding {
  int code;
  KeyAction grid;
  KeyAction viewer;
  bool notRepeated;
};

const KeyBinding kKeyBindings[] = {
    {VK_RETURN, ActOpenSelection, ActSendEscape, true},
    {VK_ESCAPE, ActQuit, ActLeaveViewer, true},
    {kButtonClose, ActQuit, ActLeaveViewer, true},
    {VK_SPACE, ActViewerKey, ActViewerKey, true},
    {kButtonSlideShow, ActViewerKey, ActViewerKey, true},
    {VK_LEFT, ActGridKey, ActViewerKey, false},
    {VK_UP, ActGridKey, ActViewerKey, false},
    {VK_RIGHT, ActGridKey, ActViewerKey, false},
    {VK_DOWN, ActGridKey, ActViewerKey, false},
    {kPlusCode, ActViewerKey, ActViewerKey, false},
    {kMinusCode, ActViewerKey, ActViewerKey, false},
    {kButtonDecodeMode, ActViewerKey, ActViewerKey, true},
    // Keys the handheld did not have; its own codes never reach them.
    {VK_PRIOR, ActGridKey, ActViewerKey, false},
    {VK_NEXT, ActGridKey, ActViewerKey, false},
    {VK_HOME, ActGridKey, ActViewerKey, true},
    {VK_END, ActGridKey, ActViewerKey, true},
    // In the viewer the picture's folder is the level above.
    {VK_BACK, ActOpenParent, ActLeaveViewer, true},
    {VK_OEM_2, ActHelp, ActHelp, true},
    {kHelpLetter, ActHelp, ActHelp, true},
};

const KeyBinding* FindBinding(int code) {
  for (const KeyBinding& b : kKeyBindings)
    if (b.code == code) return &b;
  return nullptr;
}

// True when an auto-repeat at tick comes too soon after the last accepted
// key; the ticks wrap, so the distance is their 32-bit difference.
bool RepeatTooSoon(DWORD tick) {
  int32_t distance = (int32_t)(tick - uiState.lastKeyTick);
  return distance > -kRepeatSpacingMs && distance < kRepeatSpacingMs;
}

LRESULT Act(KeyAction action, int code) {
  switch (action) {
    case ActOpenSelection: OpenEntry(uiState.selection); return 0;
    case ActQuit: PostQuitMessage(0); return 0;
    case ActGridKey: GridKey(code, false); return 0;
    case ActViewerKey: ViewerKey(code); return 0;
    case ActLeaveViewer: LeaveViewer(); return 0;
    case ActSendEscape: return SendMessageW(mainWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    case ActOpenParent: OpenParentFolder(); return 0;
    case ActHelp: ShowHelp(); return 0;
    case ActNone: return 0;
  }
  return 0;
}

}  // namespace

int MapDeviceKey(int code) {
  for (const DeviceRule& rule : kDeviceRules) {
    if (rule.model && !wcsstr(oemInfo, rule.model)) continue;
    for (size_t i = 0; i < rule.count; i++) {
      if (rule.changes[i].from == code) {
        code = rule.changes[i].to;
        break;
      }
    }
    if (code == 0) return 0;
  }
  return code;
}

void MouseWheel(WPARAM wParam) {
  UiState& s = uiState;
  if (s.helpShown) {
    s.wheelRest = 0;
    CloseHelp();
    return;
  }
  // Whole notches act; a fine wheel's parts add up to them. Down is toward
  // the end of the list: the negative of the distance.
  s.wheelRest += (int16_t)(uint16_t)((uintptr_t)wParam >> 16);
  const int notches = s.wheelRest / WHEEL_DELTA;
  s.wheelRest %= WHEEL_DELTA;
  if (notches == 0) return;
  if (s.gridMode)
    GridWheel(-notches);
  else
    ViewerWheel(-notches);
}

LRESULT KeyDown(WPARAM wParam, LPARAM lParam) {
  UiState& s = uiState;
  const int code = wParam <= kMaxKeyCode ? MapDeviceKey((int)wParam) : kNotAKey;
  if (code == 0) return 0;  // dropped: not even the repeat timing sees it
  const bool repeated = (lParam & KF_REPEAT_BIT) != 0;
  if (repeated && RepeatTooSoon(GetTickCount())) return 0;
  s.lastKeyTick = GetTickCount();
  if (s.helpShown) {
    // A fresh press closes the page and does nothing more; the repeats of
    // the key that opened it do not.
    if (!repeated) CloseHelp();
    return 0;
  }
  const KeyBinding* binding = FindBinding(code);
  LRESULT result = 0;
  if (binding && !(binding->notRepeated && repeated)) {
    const KeyAction action = s.gridMode ? binding->grid : binding->viewer;
    result = Act(action, code);
    // Enter, once it has acted, keeps the tick taken before its action (the
    // Escape it sends in the viewer sets its own).
    if (code == VK_RETURN) return result;
  }
  // Repeats count from the end of the action: a decode may take long.
  s.lastKeyTick = GetTickCount();
  return result;
}
