// korvane-list: lists one folder with the program's own scan.
//
//   korvane-list [--root DIR] [--thumbnails] [--photos] [--bitmaps OUT] FOLDER
//
// FOLDER is a device path ("\Pictures"; "" is the root) or a host path inside
// the root. Prints "result R generation G count N", then one line per entry,
// INDEX<TAB>KIND<TAB>NAME<TAB>LABEL. With --thumbnails it then runs a message
// loop until the worker has ended, printing "ready<TAB>INDEX<TAB>WxH" per
// WM_THUMBNAIL_READY in arrival order, and "done"; --bitmaps also writes each
// announced thumbnail into folder OUT as INDEX.bmp. Names are printed as the
// host's own bytes (UTF-8 for UTF-8 names). Exit 0 when R is 1, 1 when R is
// 0, 2 for a usage error.
#include <cstdio>
#include <cstring>

#include "browser/entry_list.h"
#include "imaging/photos.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "tools/bmp_file.h"

namespace {

const size_t kHostNameMax = 4096;
const char* bitmapFolder = nullptr;  // --bitmaps

int Usage() {
  fprintf(stderr,
          "usage: korvane-list [--root DIR] [--thumbnails] [--photos] [--bitmaps OUT] FOLDER\n");
  return 2;
}

// Names came from the host, so they always turn back into its bytes.
void PrintWide(const WCHAR* text) {
  char bytes[kHostNameMax];
  fputs(HostNameFromWide(text, bytes, sizeof(bytes)) ? bytes : "?", stdout);
}

LRESULT ListWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_THUMBNAIL_READY) return DefWindowProcW(hwnd, message, wParam, lParam);
  int index = (int)wParam;
  int width = 0, height = 0;
  LockEntryList();
  bool written = true;
  if (index >= 0 && index < entryCount && entryList[index].thumbnail) {
    width = entryList[index].thumbnailWidth;
    height = entryList[index].thumbnailHeight;
    if (bitmapFolder) {
      char path[kHostNameMax];
      snprintf(path, sizeof(path), "%s/%d.bmp", bitmapFolder, index);
      written = WriteBmp(path, entryList[index].thumbnail);
    }
  }
  UnlockEntryList();
  if (!written) fprintf(stderr, "korvane-list: cannot write into %s\n", bitmapFolder);
  printf("ready\t%d\t%dx%d\n", index, width, height);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* root = "/";
  const char* folder = nullptr;
  bool thumbnails = false;
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--root") == 0) {
      if (++i >= argc) return Usage();
      root = argv[i];
    } else if (strcmp(argv[i], "--thumbnails") == 0) {
      thumbnails = true;
    } else if (strcmp(argv[i], "--bitmaps") == 0) {
      if (++i >= argc) return Usage();
      bitmapFolder = argv[i];
    } else if (strcmp(argv[i], "--photos") == 0) {
      SetPhotosMode(true);
    } else if (argv[i][0] == '-' && argv[i][1] == '-') {
      return Usage();
    } else if (!folder) {
      folder = argv[i];
    } else {
      return Usage();
    }
  }
  if (!folder) return Usage();
  if (!PlatformSetDeviceRoot(root)) {
    fprintf(stderr, "korvane-list: %s is not a folder\n", root);
    return 2;
  }
  if (folder[0] == '\\' || folder[0] == 0) {
    WCHAR wide[kPathMax];
    if (!WideFromHostName(folder, wide, kPathMax)) return Usage();
    wcscpy(currentFolder, wide);
  } else if (!HostPathToDevice(folder, currentFolder, kPathMax)) {
    fprintf(stderr, "korvane-list: %s is not inside %s\n", folder, root);
    return 2;
  }
  // The folder shown never ends in a backslash; "\" is the root.
  size_t len = wcslen(currentFolder);
  while (len > 0 && currentFolder[len - 1] == L'\\') currentFolder[--len] = 0;

  HWND window = nullptr;
  if (thumbnails) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ListWindowProc;
    wc.lpszClassName = L"VIEWERLIST";
    RegisterClassW(&wc);
    window = CreateWindowExW(0, L"VIEWERLIST", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    mainWindow = window;
  }
  int result = ScanFolder(currentFolder);
  LockEntryList();
  printf("result %d generation %u count %d\n", result, listGeneration, entryCount);
  for (int i = 0; i < entryCount; i++) {
    printf("%d\t%s\t", i, entryList[i].kind == Folder ? "folder" : "picture");
    PrintWide(entryList[i].name);
    putchar('\t');
    PrintWide(entryList[i].label);
    putchar('\n');
  }
  UnlockEntryList();
  if (thumbnails) {
    fflush(stdout);
    PlatformDispatchUntilThreadsEnd();
    printf("done\n");
    DestroyWindow(window);
  }
  PlatformWaitForThreads();
  return result ? 0 : 1;
}
