// Headless runs: a virtual clock and a script in place of a person.
#include "platform/backend_headless.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/headless_script.h"
#include "platform/panel_turn.h"
#include "platform/png_write.h"
#include "platform/rgb565.h"
#include "platform/threads.h"
#include "platform/window.h"

namespace {

std::atomic<DWORD> virtualClock;  // read by workers stamping their posts
FILE* stateOut;
DWORD waitLeft;      // of the wait command under way
bool idlePending;
bool closing;

// A panel point as the screen point under it.
LPARAM Point(long px, long py) {
  int width = 0, height = 0, stride;
  PlatformScreenPixels(&width, &height, &stride);
  int x, y;
  PanelPointToScreen(PlatformPanelTurn(), width, height, (int)px, (int)py, &x, &y);
  // Negative coordinates travel as 16-bit values; the platform clamps them.
  return (LPARAM)(((uint32_t)(uint16_t)y << 16) | (uint16_t)x);
}

void Fail(const ScriptCommand& c, const char* what) {
  fprintf(stderr, "script line %d: %s\n", c.line, what);
  exit(1);
}

// Runs one command; true when it gave the message loop something to do.
bool Run(const ScriptCommand& c) {
  switch (c.verb) {
    case TAP:
      PlatformPostInput(WM_LBUTTONDOWN, 1, Point(c.a, c.b));
      PlatformPostInput(WM_LBUTTONUP, 0, Point(c.a, c.b));
      return true;
    case PRESS: PlatformPostInput(WM_LBUTTONDOWN, 1, Point(c.a, c.b)); return true;
    case MOVE: PlatformPostInput(WM_MOUSEMOVE, 1, Point(c.a, c.b)); return true;
    case RELEASE: PlatformPostInput(WM_LBUTTONUP, 0, Point(c.a, c.b)); return true;
    case KEY:
      PlatformPostInput(WM_KEYDOWN, (WPARAM)c.a, 1 | (c.b ? KF_REPEAT_BIT : 0));
      return true;
    case WHEEL:
      // Down (positive notches) is toward the user: a negative distance.
      PlatformPostInput(WM_MOUSEWHEEL, (WPARAM)(uint16_t)(int16_t)(-c.a * WHEEL_DELTA) << 16, 0);
      return true;
    case WAIT: waitLeft = (DWORD)c.a; return false;
    case IDLE: idlePending = true; return false;
    case SHOT: {
      bool png = c.file.compare(c.file.size() - 4, 4, ".png") == 0;
      if (!(png ? WriteScreenPng(c.file.c_str()) : WriteScreenBmp(c.file.c_str())))
        Fail(c, "cannot write the screenshot");
      return false;
    }
    case STATE: {
      char line[4096] = "";
      StateReporter reporter = PlatformGetStateReporter();
      if (reporter) reporter(line, sizeof line);
      fprintf(stateOut, "%s\n", line);
      fflush(stateOut);
      return false;
    }
    case QUIT: ScriptEnd(); return false;
  }
  return false;
}

DWORD TickCount() { return virtualClock; }

void SleepVirtual(DWORD milliseconds) { virtualClock += milliseconds; }

// Called by the message wait when nothing is ready: moves time, or feeds the
// next commands, until the loop has something to do.
void Wait(int timeoutMs) {
  for (;;) {
    if (waitLeft > 0) {
      DWORD step = waitLeft;
      if (timeoutMs >= 0 && (DWORD)timeoutMs < step) step = (DWORD)timeoutMs;
      virtualClock += step;
      waitLeft -= step;
      return;
    }
    if (idlePending) {
      // Once no worker runs, nothing more will come; the loop looks at its
      // queue once more for what a worker posted just before it ended.
      if (PlatformRunningThreads() > 0) PlatformWaitForThreads();
      idlePending = false;
      return;
    }
    ScriptCommand command;
    if (!ScriptNext(&command)) {
      if (!closing) {
        closing = true;
        PlatformRequestClose();
      } else {
        PostQuitMessage(0);  // the window would not close
      }
      return;
    }
    if (Run(command)) return;
  }
}

void Nothing() {}

const PlatformBackend kHeadless = {TickCount, SleepVirtual, Wait, Nothing, Nothing, nullptr};

}  // namespace

int HeadlessLoadScriptText(const char* text, FILE* errors, int* badLine) {
  return ScriptOpenText(text, errors, badLine) ? 1 : 0;
}

int HeadlessLoadScript(const char* path, FILE* errors, int* badLine) {
  return ScriptOpenFile(path, errors, badLine) ? 1 : 0;
}

const PlatformBackend* HeadlessBackend(FILE* out) {
  stateOut = out ? out : stdout;
  virtualClock = 0;
  waitLeft = 0;
  idlePending = false;
  closing = false;
  return &kHeadless;
}

namespace {

// The screen as the panel shows it: the screen itself, or a turned copy
// held in turned.
const uint16_t* PanelPixels(std::vector<uint16_t>* turned, int* width, int* height, int* stride) {
  int w, h, s;
  const uint16_t* screen = PlatformScreenPixels(&w, &h, &s);
  const int degrees = PlatformPanelTurn();
  if (!screen || degrees == 0) {
    *width = w;
    *height = h;
    *stride = s;
    return screen;
  }
  PanelSize(degrees, w, h, width, height);
  turned->assign((size_t)*width * (size_t)*height, 0);
  TurnScreenToPanel(degrees, screen, w, h, s, turned->data(), *width);
  *stride = *width * 2;
  return turned->data();
}

}  // namespace

int WriteScreenBmp(const char* path) {
  int width, height, stride;
  std::vector<uint16_t> turned;
  const uint16_t* pixels = PanelPixels(&turned, &width, &height, &stride);
  if (!pixels) return 0;
  const uint32_t rowBytes = (uint32_t)RowWords16(width) * 2;
  const uint32_t offset = 14 + 40 + 12;
  const uint32_t fileSize = offset + rowBytes * (uint32_t)height;
  uint8_t head[offset] = {};
  auto put = [&](int at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) head[at + i] = (uint8_t)(v >> (8 * i));
  };
  head[0] = 'B';
  head[1] = 'M';
  put(2, fileSize, 4);
  put(10, offset, 4);
  put(14, 40, 4);
  put(18, (uint32_t)width, 4);
  put(22, (uint32_t)height, 4);  // positive: rows bottom-up
  put(26, 1, 2);
  put(28, 16, 2);
  put(30, 3, 4);  // BI_BITFIELDS
  put(34, rowBytes * (uint32_t)height, 4);
  put(54, 0xF800, 4);
  put(58, 0x07E0, 4);
  put(62, 0x001F, 4);
  FILE* f = fopen(path, "wb");
  if (!f) return 0;
  bool ok = fwrite(head, 1, sizeof head, f) == sizeof head;
  std::vector<uint8_t> row(rowBytes, 0);
  for (int y = height - 1; ok && y >= 0; y--) {
    const uint16_t* in = (const uint16_t*)((const uint8_t*)pixels + (size_t)y * (size_t)stride);
    for (int x = 0; x < width; x++) {
      row[2 * x] = (uint8_t)in[x];
      row[2 * x + 1] = (uint8_t)(in[x] >> 8);
    }
    ok = fwrite(row.data(), 1, rowBytes, f) == rowBytes;
  }
  return (fclose(f) == 0 && ok) ? 1 : 0;
}

int WriteScreenPng(const char* path) {
  int width, height, stride;
  std::vector<uint16_t> turned;
  const uint16_t* pixels = PanelPixels(&turned, &width, &height, &stride);
  if (!pixels) return 0;
  std::vector<uint32_t> xrgb((size_t)width * (size_t)height);
  for (int y = 0; y < height; y++) {
    const uint16_t* in = (const uint16_t*)((const uint8_t*)pixels + (size_t)y * (size_t)stride);
    uint32_t* o = xrgb.data() + (size_t)y * (size_t)width;
    for (int x = 0; x < width; x++) {
      o[x] = Rgb565Red(in[x]) << 16 | Rgb565Green(in[x]) << 8 | Rgb565Blue(in[x]);
    }
  }
  return WriteRgbPng(path, width, height, xrgb.data());
}
