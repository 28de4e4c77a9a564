// Registry calls over one text file (its form is described in
// registry_format.cpp). Every call that looks at keys or values reads the
// file afresh, so a second instance sees what the first one saved. A change
// takes an advisory lock on a lock file beside the registry, re-reads the
// file, applies itself, writes the whole text to a temporary file in the
// same folder and renames it over the old one: readers see the old file or
// the new one, never part of one, and two savers never lose each other's
// changes.
//
// A file that cannot be read or parsed reads as empty. Creating a key then
// gives a key that lives only in its handle, so that a damaged file is never
// replaced behind the user's back; only writing a value replaces it.
#include "platform/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/handles.h"
#include "platform/registry_format.h"
#include "platform/user_folders.h"

namespace {

const size_t kHostPathMax = 4096;
// A registry file larger than this is not one of ours: it reads as
// malformed, and a change that would grow the store past it fails.
const size_t kMaxFileBytes = 1 << 20;
const char kDefaultName[] = "registry.reg";
const char kLockSuffix[] = ".lock";
const char kTempSuffix[] = ".tmp.";
const char kTempPattern[] = "XXXXXX";
// A lock held longer than this (a stopped second instance, a backup tool)
// fails the change like any other failed save, rather than freezing the
// window's thread.
const int kLockWaitMs = 1000;
const int kLockRetryMs = 10;

enum StoreState { STORE_MISSING, STORE_OK, STORE_BAD };

std::mutex pathLock;
bool pathChosen;     // false: the default path
bool pathUnusable;   // the chosen path is empty or too long to use
char chosenPath[kHostPathMax];

struct RegKeyObject : PlatformObject {
  std::wstring path;  // below HKEY_LOCAL_MACHINE
  RegKeyObject() : PlatformObject(KIND_REGKEY) {}
};

// The registry file's host path; false when none can be named.
bool RegistryPath(char* out, size_t outSize) {
  std::lock_guard<std::mutex> hold(pathLock);
  int n;
  if (pathChosen) {
    if (pathUnusable) return false;
    n = snprintf(out, outSize, "%s", chosenPath);
  } else {
    char folder[kHostPathMax];
    if (!ProgramUserFolder("XDG_CONFIG_HOME", ".config", folder, sizeof(folder))) return false;
    n = snprintf(out, outSize, "%s/%s", folder, kDefaultName);
  }
  return n > 0 && (size_t)n < outSize;
}

// The folder part of a file path: "." when it has none.
void FolderOf(const char* path, char* out) {
  const char* slash = strrchr(path, '/');
  if (!slash) {
    strcpy(out, ".");
  } else if (slash == path) {
    strcpy(out, "/");
  } else {
    memcpy(out, path, (size_t)(slash - path));
    out[slash - path] = 0;
  }
}

long MonotonicMs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

// Takes the exclusive lock on fd, trying for at most kLockWaitMs.
bool LockWithin(int fd) {
  const long deadline = MonotonicMs() + kLockWaitMs;
  const struct timespec pause = {0, kLockRetryMs * 1000000L};
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (MonotonicMs() >= deadline) return false;
    nanosleep(&pause, nullptr);
  }
}

// Reads and parses the registry file. The store is empty unless STORE_OK.
StoreState ReadStore(const char* path, RegStore* store) {
  store->keys.clear();
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT ? STORE_MISSING : STORE_BAD;
  struct stat st;
  std::string text;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (uint64_t)st.st_size <= kMaxFileBytes;
  if (ok) {
    // One byte more than the size, to notice a file that grew meanwhile.
    text.resize((size_t)st.st_size + 1);
    size_t got = 0;
    while (got < text.size()) {
      ssize_t n = read(fd, &text[got], text.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      got += (size_t)n;
    }
    ok = ok && got <= (size_t)st.st_size;
    text.resize(got);
  }
  close(fd);
  if (!ok || !RegParseText(text.data(), text.size(), store)) return STORE_BAD;
  return STORE_OK;
}

// Temporary files left by a saver that was killed. Called with the lock
// held, so no other saver has one open.
void RemoveStaleTemps(const char* path, const char* folder) {
  const char* slash = strrchr(path, '/');
  const char* base = slash ? slash + 1 : path;
  char prefix[kHostPathMax];
  int n = snprintf(prefix, sizeof(prefix), "%s%s", base, kTempSuffix);
  if (n < 0 || (size_t)n >= sizeof(prefix)) return;
  size_t prefixLength = (size_t)n;
  DIR* dir = opendir(folder);
  if (!dir) return;
  while (struct dirent* item = readdir(dir)) {
    if (strncmp(item->d_name, prefix, prefixLength) == 0 &&
        strlen(item->d_name) == prefixLength + strlen(kTempPattern))
      unlinkat(dirfd(dir), item->d_name, 0);
  }
  closedir(dir);
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += (size_t)n;
  }
  return true;
}

// Replaces the file at path with text; the old file stays whole when any
// step fails. Called with the lock held.
LONG WriteStore(const char* path, const char* folder, const std::string& text) {
  if (text.size() > kMaxFileBytes) return ERROR_OUTOFMEMORY;
  RemoveStaleTemps(path, folder);
  char temp[kHostPathMax];
  int n = snprintf(temp, sizeof(temp), "%s%s%s", path, kTempSuffix, kTempPattern);
  if (n < 0 || (size_t)n >= sizeof(temp)) return ERROR_ACCESS_DENIED;
  int fd = mkostemp(temp, O_CLOEXEC);
  if (fd < 0) return ERROR_ACCESS_DENIED;
  bool ok = WriteAll(fd, text) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp, path) == 0;
  if (!ok) {
    unlink(temp);
    return ERROR_ACCESS_DENIED;
  }
  // The rename itself is durable only once the folder is synced.
  int dirFd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return ERROR_SUCCESS;
}

// Under the lock: re-reads the store, makes sure the key exists, sets value
// when given, and saves when anything changed. A store that cannot be read
// or parsed is replaced only when replaceBad.
LONG SaveChange(const std::wstring& keyPath, const RegValue* value, bool replaceBad) {
  char path[kHostPathMax], folder[kHostPathMax], lockPath[kHostPathMax];
  if (!RegistryPath(path, sizeof(path))) return ERROR_ACCESS_DENIED;
  int n = snprintf(lockPath, sizeof(lockPath), "%s%s", path, kLockSuffix);
  if (n < 0 || (size_t)n >= sizeof(lockPath)) return ERROR_ACCESS_DENIED;
  FolderOf(path, folder);
  MakeHostFolders(folder);
  int lockFd = open(lockPath, O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
  if (lockFd < 0) return ERROR_ACCESS_DENIED;
  const bool locked = LockWithin(lockFd);
  LONG result = locked ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
  RegStore store;
  if (locked && (ReadStore(path, &store) != STORE_BAD || replaceBad)) {
    RegKeyRecord* key = RegFindKey(&store, keyPath);
    bool changed = !key;
    if (!key) key = RegEnsureKey(&store, keyPath);
    if (value) {
      RegSetValue(key, *value);
      changed = true;
    }
    if (changed) result = WriteStore(path, folder, RegFormatText(store));
  }
  close(lockFd);  // drops the lock
  return result;
}

// The current store; empty when missing or unusable.
StoreState LoadStore(RegStore* store) {
  char path[kHostPathMax];
  if (!RegistryPath(path, sizeof(path))) {
    store->keys.clear();
    return STORE_BAD;
  }
  return ReadStore(path, store);
}

// The path of the key that key names: the root or an open key.
bool KeyPath(HKEY key, std::wstring* path) {
  if (key == HKEY_LOCAL_MACHINE) {
    path->clear();
    return true;
  }
  HandleRef<RegKeyObject> object(key, KIND_REGKEY);
  if (!object) return false;
  *path = object->path;
  return true;
}

// The path of subKey below key.
LONG JoinKeyPath(HKEY key, const WCHAR* subKey, std::wstring* path) {
  if (!KeyPath(key, path)) return ERROR_INVALID_HANDLE;
  if (subKey && subKey[0]) {
    size_t length = wcsnlen(subKey, kRegKeyPathMax + 1);
    if (length > kRegKeyPathMax) return ERROR_INVALID_PARAMETER;
    if (!path->empty()) path->push_back(L'\\');
    path->append(subKey, length);
  }
  return RegValidKeyPath(*path) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

LONG NewKeyHandle(const std::wstring& path, HKEY* result) {
  // The root's pseudo handle is a value the table could hand out; it always
  // means the root, so such a handle is dropped for the next one.
  for (int tries = 0; tries < 2; tries++) {
    RegKeyObject* object = new (std::nothrow) RegKeyObject();
    if (!object) return ERROR_OUTOFMEMORY;
    object->path = path;
    void* handle = HandleCreate(object);
    if (!handle) return ERROR_OUTOFMEMORY;
    if (handle != (void*)HKEY_LOCAL_MACHINE) {
      *result = (HKEY)handle;
      return ERROR_SUCCESS;
    }
    HandleClose(handle, KIND_REGKEY);
  }
  return ERROR_OUTOFMEMORY;
}

// A value name from the caller, bounded; false when too long.
bool TakeValueName(const WCHAR* name, std::wstring* out) {
  if (!name) {
    out->clear();
    return true;
  }
  size_t length = wcsnlen(name, kRegValueNameMax + 1);
  if (length > kRegValueNameMax) return false;
  out->assign(name, length);
  return true;
}

}  // namespace

void PlatformSetRegistryFile(const char* path) {
  std::lock_guard<std::mutex> hold(pathLock);
  pathChosen = path != nullptr;
  if (!path) return;
  // Room for the lock and temporary suffixes.
  size_t length = strlen(path);
  pathUnusable = length == 0 || length + sizeof(kTempSuffix) + sizeof(kTempPattern) >= kHostPathMax;
  if (!pathUnusable) memcpy(chosenPath, path, length + 1);
}

LONG RegOpenKeyExW(HKEY key, const WCHAR* subKey, DWORD options, REGSAM access, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::wstring path;
  LONG status = JoinKeyPath(key, subKey, &path);
  if (status != ERROR_SUCCESS) return status;
  RegStore store;
  LoadStore(&store);
  if (!path.empty()) {
    RegKeyRecord* found = RegFindKey(&store, path);
    if (!found) return ERROR_FILE_NOT_FOUND;
    path = found->path;
  }
  return NewKeyHandle(path, result);
}

LONG RegCreateKeyExW(HKEY key, const WCHAR* subKey, DWORD reserved, WCHAR* keyClass,
                     DWORD options, REGSAM access, void* security, HKEY* result,
                     DWORD* disposition) {
  if (!result || reserved != 0) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::wstring path;
  LONG status = JoinKeyPath(key, subKey, &path);
  if (status != ERROR_SUCCESS) return status;
  RegStore store;
  StoreState state = LoadStore(&store);
  RegKeyRecord* found = path.empty() ? nullptr : RegFindKey(&store, path);
  DWORD how = REG_OPENED_EXISTING_KEY;
  if (found) {
    path = found->path;
  } else if (!path.empty()) {
    how = REG_CREATED_NEW_KEY;
    // On a damaged store the key lives only in its handle.
    if (state != STORE_BAD) status = SaveChange(path, nullptr, false);
    if (status != ERROR_SUCCESS) return status;
  }
  status = NewKeyHandle(path, result);
  if (status == ERROR_SUCCESS && disposition) *disposition = how;
  return status;
}

LONG RegQueryValueExW(HKEY key, const WCHAR* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size) {
  if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
  std::wstring path, valueName;
  if (!KeyPath(key, &path)) return ERROR_INVALID_HANDLE;
  if (!TakeValueName(name, &valueName)) return ERROR_FILE_NOT_FOUND;
  RegStore store;
  LoadStore(&store);
  RegKeyRecord* found = RegFindKey(&store, path);
  RegValue* value = found ? RegFindValue(found, valueName) : nullptr;
  if (!value) return ERROR_FILE_NOT_FOUND;
  if (type) *type = value->type;
  DWORD needed = (DWORD)value->data.size();
  if (!size) return ERROR_SUCCESS;
  DWORD room = *size;
  *size = needed;
  if (!data) return ERROR_SUCCESS;
  if (room < needed) return ERROR_MORE_DATA;
  if (needed) memcpy(data, value->data.data(), needed);
  return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, const WCHAR* name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size) {
  if ((!data && size) || size > kMaxFileBytes) return ERROR_INVALID_PARAMETER;
  RegValue value;
  std::wstring path;
  if (!KeyPath(key, &path)) return ERROR_INVALID_HANDLE;
  if (!TakeValueName(name, &value.name) || !RegValidValueName(value.name))
    return ERROR_INVALID_PARAMETER;
  value.type = type;
  if (size) value.data.assign(data, data + size);
  return SaveChange(path, &value, true);
}

LONG RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  return HandleClose(key, KIND_REGKEY) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
