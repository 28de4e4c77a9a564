// Accelerator tables from the resources, and the key-to-character step of
// the message loop.
#include "platform/byte_order.h"
#include "platform/resource.h"
#include "platform/window.h"

namespace {

// Entry flags as the resource compiler writes them.
const WORD kVirtualKey = 0x01;
const WORD kShift = 0x04;
const WORD kControl = 0x08;
const WORD kAlt = 0x10;
const WORD kLastEntry = 0x80;
const DWORD kEntrySize = 8;

// Characters that the keys the window receives type.
struct KeyCharacter {
  WPARAM key;
  WCHAR character;
};
const KeyCharacter kKeyCharacters[] = {
    {VK_RETURN, L'\r'}, {VK_ESCAPE, 0x1B}, {VK_SPACE, L' '},
    {0x2B, L'+'},       {0x2D, L'-'},      {VK_OEM_2, L'/'},
};

}  // namespace

HACCEL LoadAcceleratorsW(HINSTANCE, const WCHAR* name) {
  const ResourceEntry* e = FindProgramResource(RT_ACCELERATOR, name);
  if (!e || e->size < kEntrySize) return nullptr;
  return (HACCEL)e;
}

int TranslateAcceleratorW(HWND hwnd, HACCEL table, MSG* msg) {
  if (!table || !msg) return 0;
  bool keyDown = msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN;
  bool character = msg->message == WM_CHAR || msg->message == WM_SYSCHAR;
  if (!keyDown && !character) return 0;
  bool alt = (msg->lParam & KF_ALT_BIT) != 0;
  const ResourceEntry* e = (const ResourceEntry*)table;
  for (DWORD at = 0; at + kEntrySize <= e->size; at += kEntrySize) {
    const BYTE* p = e->data + at;
    WORD flags = ReadLe16(p);
    WORD key = ReadLe16(p + 2);
    WORD command = ReadLe16(p + 4);
    // Shift and Control are never reported here, so such entries never match.
    bool matches = ((flags & kVirtualKey) ? keyDown : character) && msg->wParam == key &&
                   ((flags & kAlt) != 0) == alt && !(flags & (kShift | kControl));
    if (matches) {
      SendMessageW(hwnd, WM_COMMAND, (WPARAM)command | (1u << 16), 0);
      return 1;
    }
    if (flags & kLastEntry) break;
  }
  return 0;
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
  for (const KeyCharacter& k : kKeyCharacters)
    if (k.key == msg->wParam) {
      UINT message = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
      PostMessageW(msg->hwnd, message, (WPARAM)k.character, msg->lParam);
      return TRUE;
    }
  return FALSE;
}
