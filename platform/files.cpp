// Device paths over a host folder, and the file calls that read through them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/file_reader.h"
#include "platform/files.h"
#include "platform/utf8.h"
#include "platform/handles.h"
#include "platform/wstring.h"

namespace {

// Host paths are built in buffers of this size; longer ones fail.
const size_t kHostPathMax = 4096;

std::mutex rootLock;
char deviceRoot[kHostPathMax] = "/";

// Appends one UTF-8 sequence for code point c; 0 when it does not fit.
int PutUtf8(DWORD c, char* out, size_t outSize, size_t* at) {
  unsigned char b[4];
  size_t n = (size_t)EncodeUtf8(c, b);
  if (*at + n >= outSize) return 0;
  memcpy(out + *at, b, n);
  *at += n;
  return 1;
}

// Host bytes of one wide name into out at *at; stops at a separator when
// stopAtSeparator. Returns the number of wide characters consumed, or -1.
long EncodeName(const WCHAR* name, bool stopAtSeparator, char* out, size_t outSize, size_t* at) {
  long i = 0;
  for (; name[i]; i++) {
    DWORD c = (DWORD)name[i];
    if (stopAtSeparator && (c == L'\\' || c == L'/')) break;
    if (c == L'/') return -1;
    if (c >= 0xDC80 && c <= 0xDCFF) {
      if (*at + 1 >= outSize) return -1;
      out[(*at)++] = (char)(c - 0xDC00);
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      return -1;
    } else if (!PutUtf8(c, out, outSize, at)) {
      return -1;
    }
  }
  out[*at] = 0;
  return i;
}

// Lexically cleans an absolute host path in place: no ".", "..", or
// doubled slashes; "/" stays "/".
void CleanHostPath(char* path) {
  char* w = path;
  const char* r = path;
  while (*r) {
    while (*r == '/') r++;
    if (!*r) break;
    const char* end = strchr(r, '/');
    size_t len = end ? (size_t)(end - r) : strlen(r);
    if (len == 1 && r[0] == '.') {
    } else if (len == 2 && r[0] == '.' && r[1] == '.') {
      while (w > path && *(w - 1) != '/') w--;
      if (w > path) w--;
    } else {
      *w++ = '/';
      memmove(w, r, len);
      w += len;
    }
    r += len;
  }
  if (w == path) *w++ = '/';
  *w = 0;
}

// The name just appended to out (from start to *at) does not exist: look in
// its folder for a name equal to it but for case, as the handheld's file
// system would. The first one the folder lists wins. Returns 1 when found
// and out now holds it.
int ResolveCaseless(const WCHAR* name, size_t nameLength, char* out, size_t outSize, size_t start,
                    size_t* at) {
  const size_t kNameMax = 256;
  if (nameLength >= kNameMax) return 0;
  WCHAR wanted[kNameMax];
  wmemcpy(wanted, name, nameLength);
  wanted[nameLength] = 0;
  char saved = out[start - 1];
  out[start - 1] = 0;  // the folder, without the slash before the name
  DIR* dir = opendir(start == 1 ? "/" : out);
  out[start - 1] = saved;
  if (!dir) return 0;
  int found = 0;
  while (struct dirent* item = readdir(dir)) {
    WCHAR wide[kNameMax];
    if (!WideFromHostName(item->d_name, wide, kNameMax) || _wcsicmp(wide, wanted) != 0) continue;
    size_t len = strlen(item->d_name);
    if (start + len >= outSize) break;
    memcpy(out + start, item->d_name, len + 1);
    *at = start + len;
    found = 1;
    break;
  }
  closedir(dir);
  return found;
}

// Whether a clean absolute host path lies at or below the root.
bool InsideRoot(const char* full, const char* root, size_t rootLen) {
  return strncmp(full, root, rootLen) == 0 && (full[rootLen] == '/' || full[rootLen] == 0);
}

}  // namespace

FileObject::~FileObject() { close(fd); }

int OpenRegularFile(const WCHAR* path, struct stat* st, OpenRefusal refuse) {
  char host[kHostPathMax];
  if (!path || !DevicePathToHost(path, host, sizeof(host))) return -1;
  if (refuse && stat(host, st) == 0 && refuse(st)) return -1;
  // Non-blocking so that a pipe or device cannot stall the open.
  int fd = open(host, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    close(fd);
    return -1;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

int PlatformSetDeviceRoot(const char* hostDir) {
  if (!hostDir) return 0;
  char resolved[PATH_MAX];
  if (!realpath(hostDir, resolved)) return 0;
  struct stat st;
  if (stat(resolved, &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
  if (strlen(resolved) >= kHostPathMax) return 0;
  std::lock_guard<std::mutex> hold(rootLock);
  strcpy(deviceRoot, resolved);
  return 1;
}

const char* PlatformDeviceRoot() { return deviceRoot; }

int WideFromHostName(const char* name, WCHAR* out, size_t outCount) {
  if (!name || !out || outCount == 0) return 0;
  const unsigned char* s = (const unsigned char*)name;
  size_t at = 0;
  while (*s) {
    DWORD code;
    int n = (int)DecodeUtf8(s, (size_t)-1, &code);
    if (n == 0) {
      code = 0xDC00 + *s;  // a stray byte keeps its value in the low half
      n = 1;
    }
    if (at + 1 >= outCount) {
      out[0] = 0;
      return 0;
    }
    out[at++] = (WCHAR)code;
    s += n;
  }
  out[at] = 0;
  return 1;
}

int HostNameFromWide(const WCHAR* name, char* out, size_t outSize) {
  if (!name || !out || outSize == 0) return 0;
  size_t at = 0;
  out[0] = 0;
  if (EncodeName(name, false, out, outSize, &at) < 0) {
    out[0] = 0;
    return 0;
  }
  return 1;
}

int DevicePathToHost(const WCHAR* path, char* out, size_t outSize) {
  if (!out || outSize == 0) return 0;
  out[0] = 0;
  if (!path) return 0;
  size_t at;
  {
    std::lock_guard<std::mutex> hold(rootLock);
    at = strlen(deviceRoot);
    if (at >= outSize) return 0;
    memcpy(out, deviceRoot, at + 1);
  }
  if (at == 1) at = 0;  // root "/": components add their own slash
  const size_t rootLen = at;
  const WCHAR* p = path;
  while (*p) {
    if (*p == L'\\' || *p == L'/') {
      p++;
      continue;
    }
    if (p[0] == L'.' && (p[1] == 0 || p[1] == L'\\' || p[1] == L'/')) {
      p++;
      continue;
    }
    if (p[0] == L'.' && p[1] == L'.' && (p[2] == 0 || p[2] == L'\\' || p[2] == L'/')) {
      while (at > rootLen && out[at - 1] != '/') at--;
      if (at > rootLen) at--;
      out[at] = 0;
      p += 2;
      continue;
    }
    if (at + 1 >= outSize) goto fail;
    out[at++] = '/';
    size_t start = at;
    long used = EncodeName(p, true, out, outSize, &at);
    if (used < 0) goto fail;
    struct stat st;
    if (lstat(out, &st) != 0 && errno == ENOENT) ResolveCaseless(p, (size_t)used, out, outSize, start, &at);
    p += used;
  }
  if (at == 0) {
    if (outSize < 2) goto fail;
    out[at++] = '/';
  }
  out[at] = 0;
  return 1;
fail:
  out[0] = 0;
  return 0;
}

int HostPathToDevice(const char* hostPath, WCHAR* out, size_t outCount) {
  if (!out || outCount == 0) return 0;
  out[0] = 0;
  if (!hostPath || !*hostPath) return 0;
  char full[kHostPathMax];
  if (hostPath[0] == '/') {
    if (strlen(hostPath) >= sizeof(full)) return 0;
    strcpy(full, hostPath);
  } else {
    if (!getcwd(full, sizeof(full))) return 0;
    size_t len = strlen(full);
    if (len + 1 + strlen(hostPath) >= sizeof(full)) return 0;
    full[len] = '/';
    strcpy(full + len + 1, hostPath);
  }
  CleanHostPath(full);
  char root[kHostPathMax];
  {
    std::lock_guard<std::mutex> hold(rootLock);
    strcpy(root, deviceRoot);
  }
  size_t rootLen = strcmp(root, "/") == 0 ? 0 : strlen(root);
  // The path as written keeps its names (a folder link named x.jpeg still
  // reads as one); links are resolved only to find a way into the root.
  if (!InsideRoot(full, root, rootLen)) {
    char* slash = strrchr(full, '/');
    if (slash && slash != full) {
      *slash = 0;
      char resolved[PATH_MAX];
      bool ok = realpath(full, resolved) && strlen(resolved) + strlen(slash + 1) + 2 < sizeof(full);
      *slash = '/';
      if (ok) {
        size_t len = strlen(resolved);
        if (len == 1) len = 0;
        memmove(full + len + 1, slash + 1, strlen(slash + 1) + 1);
        memcpy(full, resolved, len);
        full[len] = '/';
      }
    }
    if (!InsideRoot(full, root, rootLen)) return 0;
  }
  size_t at = 0;
  const char* r = full + rootLen;
  while (*r) {
    while (*r == '/') r++;
    if (!*r) break;
    const char* end = strchr(r, '/');
    size_t len = end ? (size_t)(end - r) : strlen(r);
    char name[kHostPathMax];
    memcpy(name, r, len);
    name[len] = 0;
    if (strchr(name, '\\') || at + 2 >= outCount) goto fail;
    out[at++] = L'\\';
    if (!WideFromHostName(name, out + at, outCount - at)) goto fail;
    at += wcslen(out + at);
    r += len;
  }
  out[at] = 0;
  return 1;
fail:
  out[0] = 0;
  return 0;
}

HANDLE CreateFileW(const WCHAR* path, DWORD access, DWORD, void*, DWORD disposition, DWORD,
                   HANDLE) {
  if (access != GENERIC_READ || disposition != OPEN_EXISTING) return INVALID_HANDLE_VALUE;
  FileObject* f = ReaderOpen(path);
  if (!f) return INVALID_HANDLE_VALUE;
  HANDLE h = HandleCreate(f);  // a full table deletes f, which closes it
  return h ? h : INVALID_HANDLE_VALUE;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, void*) {
  if (read) *read = 0;
  HandleRef<FileObject> f(file, KIND_FILE);
  if (!f || (!buffer && count)) return FALSE;
  const long got = ReaderRead(f.get(), buffer, count);
  if (got < 0) return FALSE;
  if (read) *read = (DWORD)got;
  return TRUE;
}

DWORD GetFileSize(HANDLE file, DWORD* high) {
  HandleRef<FileObject> f(file, KIND_FILE);
  const uint64_t size = f ? (uint64_t)f->size : 0xFFFFFFFFull;
  if (high) *high = f ? (DWORD)(size >> 32) : 0;
  return (DWORD)size;
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
  // Seconds from 1601 to 1970.
  const int64_t kEpochGap = 11644473600LL;
  HandleRef<FileObject> f(file, KIND_FILE);
  if (!f) return FALSE;
  const int64_t ticks = f->modified / 100 + kEpochGap * 10000000;
  const FILETIME time = {(DWORD)(uint64_t)ticks, (DWORD)((uint64_t)ticks >> 32)};
  for (FILETIME* out : {creation, lastAccess, lastWrite})
    if (out) *out = time;
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method) {
  HandleRef<FileObject> f(file, KIND_FILE);
  const int64_t wide = high ? ((int64_t)*high << 32) | (uint32_t)distance : (int64_t)distance;
  const int whence = method == FILE_END ? SEEK_END : method == FILE_CURRENT ? SEEK_CUR : SEEK_SET;
  const off_t at = f ? lseek(f->fd, (off_t)wide, whence) : -1;
  if (at < 0) return INVALID_SET_FILE_POINTER;
  if (high) *high = (LONG)((uint64_t)at >> 32);
  return (DWORD)at;
}

BOOL CloseHandle(HANDLE object) { return HandleClose(object, KIND_FILE) ? TRUE : FALSE; }

FILE* _wfopen(const WCHAR* path, const WCHAR* mode) {
  if (!mode || (wcscmp(mode, L"rb") != 0 && wcscmp(mode, L"r") != 0)) return nullptr;
  struct stat st;
  int fd = OpenRegularFile(path, &st, nullptr);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "rb");
  if (!f) close(fd);
  return f;
}
