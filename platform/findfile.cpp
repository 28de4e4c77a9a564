// Directory enumeration over readdir.
#include "platform/findfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <new>

#include "platform/handles.h"
#include "platform/wstring.h"

namespace {

const size_t kHostPathMax = 4096;

// What an enumeration reports. BASIC: no sizes, the folder's own item
// types trusted. FOLDERS: no sizes, folders only.
enum FindMode { FIND_FULL, FIND_BASIC, FIND_FOLDERS };

// An enumeration in progress; the folder closes with the last reference.
// Used by one thread at a time (readdir keeps the position).
struct FindObject : PlatformObject {
  DIR* dir;
  int dirFd;
  FindMode mode;
  WCHAR pattern[MAX_PATH];
  explicit FindObject(DIR* d)
      : PlatformObject(KIND_FIND), dir(d), dirFd(dirfd(d)), mode(FIND_FULL) {}
  ~FindObject() override { closedir(dir); }
};

// Whether an item of this type may be a folder: a folder, a link, or a
// type the file system does not tell.
bool MayBeFolder(unsigned char type) {
  return type == DT_DIR || type == DT_LNK || type == DT_UNKNOWN;
}

bool MatchesAll(const WCHAR* pattern) {
  return wcscmp(pattern, L"*.*") == 0 || wcscmp(pattern, L"*") == 0;
}

// * and ? wildcards, case ignored.
bool Matches(const WCHAR* pattern, const WCHAR* name) {
  const WCHAR* star = nullptr;
  const WCHAR* resume = nullptr;
  while (*name) {
    if (*pattern == L'*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == L'?' || (*pattern && FoldCase(*pattern) == FoldCase(*name))) {
      pattern++;
      name++;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == L'*') pattern++;
  return *pattern == 0;
}

// The next reportable item of the folder into data; false at the end.
bool NextItem(FindObject* f, WIN32_FIND_DATAW* data) {
  while (struct dirent* item = readdir(f->dir)) {
    const char* name = item->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    if (f->mode == FIND_FOLDERS && !MayBeFolder(item->d_type)) continue;
    // No device path can name it: joined to its folder it would fall apart
    // into other names ("..\x.jpg" would open a file one folder up).
    if (strchr(name, '\\')) continue;
    WCHAR wide[MAX_PATH];
    if (!WideFromHostName(name, wide, MAX_PATH)) continue;
    if (!MatchesAll(f->pattern) && !Matches(f->pattern, wide)) continue;
    if (f->mode == FIND_BASIC && (item->d_type == DT_DIR || item->d_type == DT_REG)) {
      data->dwFileAttributes = item->d_type == DT_DIR ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
      data->nFileSizeHigh = 0;
      data->nFileSizeLow = 0;
      wcscpy(data->cFileName, wide);
      return true;
    }
    struct stat link, target;
    if (fstatat(f->dirFd, name, &link, AT_SYMLINK_NOFOLLOW) != 0) continue;
    // The directory attribute follows links; a dangling link is a plain file.
    bool isDir = S_ISDIR(link.st_mode) ||
                 (S_ISLNK(link.st_mode) && fstatat(f->dirFd, name, &target, 0) == 0 &&
                  S_ISDIR(target.st_mode));
    uint64_t size = S_ISLNK(link.st_mode) && !isDir && fstatat(f->dirFd, name, &target, 0) == 0
                        ? (uint64_t)target.st_size
                        : (uint64_t)link.st_size;
    if (f->mode == FIND_FOLDERS && !isDir) continue;
    const bool sized = f->mode == FIND_FULL;
    data->dwFileAttributes = isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    data->nFileSizeHigh = sized ? (DWORD)(size >> 32) : 0;
    data->nFileSizeLow = sized ? (DWORD)size : 0;
    wcscpy(data->cFileName, wide);
    return true;
  }
  return false;
}

}  // namespace

namespace {

HANDLE FindFirst(const WCHAR* pattern, WIN32_FIND_DATAW* data, FindMode mode) {
  if (!pattern || !data) return INVALID_HANDLE_VALUE;
  const WCHAR* slash = wcsrchr(pattern, L'\\');
  const WCHAR* namePattern = slash ? slash + 1 : pattern;
  if (wcslen(namePattern) >= MAX_PATH || !*namePattern) return INVALID_HANDLE_VALUE;
  // The folder part, as a device path of its own.
  size_t folderLength = slash ? (size_t)(slash - pattern) : 0;
  WCHAR* folder = new (std::nothrow) WCHAR[folderLength + 1];
  if (!folder) return INVALID_HANDLE_VALUE;
  wmemcpy(folder, pattern, folderLength);
  folder[folderLength] = 0;
  char host[kHostPathMax];
  int mapped = DevicePathToHost(folder, host, sizeof(host));
  delete[] folder;
  if (!mapped) return INVALID_HANDLE_VALUE;
  DIR* dir = opendir(host);
  if (!dir) return INVALID_HANDLE_VALUE;
  FindObject* f = new (std::nothrow) FindObject(dir);
  if (!f) {
    closedir(dir);
    return INVALID_HANDLE_VALUE;
  }
  wcscpy(f->pattern, namePattern);
  f->mode = mode;
  if (!NextItem(f, data)) {
    delete f;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = HandleCreate(f);  // a full table deletes f, which closes dir
  return h ? h : INVALID_HANDLE_VALUE;
}

}  // namespace

HANDLE FindFirstFileW(const WCHAR* pattern, WIN32_FIND_DATAW* data) {
  return FindFirst(pattern, data, FIND_FULL);
}

HANDLE FindFirstFileBasicW(const WCHAR* pattern, WIN32_FIND_DATAW* data) {
  return FindFirst(pattern, data, FIND_BASIC);
}

HANDLE FindFirstFolderW(const WCHAR* pattern, WIN32_FIND_DATAW* data) {
  return FindFirst(pattern, data, FIND_FOLDERS);
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) {
  HandleRef<FindObject> f(find, KIND_FIND);
  if (!f || !data) return FALSE;
  return NextItem(f.get(), data) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE find) { return HandleClose(find, KIND_FIND) ? TRUE : FALSE; }
