// The shared UI record, the repaint requests and the state report.
#include "ui/ui_state.h"

#include <cstdio>
#include <cstring>

#include "browser/entry_list.h"
#include "platform/files.h"
#include "platform/window.h"

UiState uiState;

void FullRepaint() {
  InvalidateRect(mainWindow, nullptr, TRUE);
  UpdateWindow(mainWindow);
}

void QuietRepaint() {
  InvalidateRect(mainWindow, nullptr, FALSE);
  UpdateWindow(mainWindow);
}

namespace {

// UTF-8 of a device path, one character at a time so that a backslash
// passes and a character no host name can hold becomes '?' ('/' stays).
// Returns 0 when out is too small.
int FolderBytes(const WCHAR* folder, char* out, size_t size) {
  size_t at = 0;
  out[0] = 0;
  for (const WCHAR* p = folder; *p; p++) {
    const WCHAR one[2] = {*p, 0};
    char bytes[8];
    if (!HostNameFromWide(one, bytes, sizeof(bytes))) strcpy(bytes, *p == L'/' ? "/" : "?");
    size_t n = strlen(bytes);
    if (at + n >= size) return 0;
    memcpy(out + at, bytes, n + 1);
    at += n;
  }
  return 1;
}

}  // namespace

void ReportUiState(char* line, size_t size) {
  if (!line || size == 0) return;
  // 511 characters of at most 4 bytes each.
  char folder[kPathMax * 4 + 1];
  if (!FolderBytes(currentFolder, folder, sizeof(folder))) folder[0] = 0;
  const UiState& s = uiState;
  int n = snprintf(line, size, "%d %d %d %d %d %d %d %d %d %d %s", s.gridMode ? 1 : 0, s.selection,
                   s.firstVisible, s.currentPicture, s.zoomIndex, s.panX, s.panY,
                   s.slideShow ? 1 : 0, s.decodeMode, entryCount, folder);
  if (n < 0) line[0] = 0;
}
