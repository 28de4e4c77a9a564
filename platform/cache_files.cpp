#include "platform/cache_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/file_reader.h"
#include "platform/user_folders.h"

namespace {

const char kTempMark[] = ".tmp.";
const char kTempPattern[] = "XXXXXX";
// A read marks its file as used at most this often.
const time_t kMarkEverySeconds = 24 * 60 * 60;
// A temporary file this old belongs to no writer still running.
const time_t kStaleTempSeconds = 60 * 60;
// Files of a folder weighed in one trim: far more than a full thumbnail
// cache holds, so a foreign folder of millions costs bounded memory.
const size_t kTrimEntryLimit = 200000;

// The reader's stall key for a folder: its bytes, one per wide character.
std::wstring FolderKey(const char* folder) {
  std::wstring key;
  for (const char* p = folder; *p; p++) key.push_back((WCHAR)(unsigned char)*p);
  return key;
}

bool WriteAll(int fd, const char* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = write(fd, bytes + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += (size_t)n;
  }
  return true;
}

long ReadOnReader(const std::string& path, char* buffer, DWORD maximum) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st;
  long got = -1;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (uint64_t)st.st_size <= maximum) {
    got = 0;
    while (got < (long)st.st_size) {
      const ssize_t n = read(fd, buffer + got, (size_t)st.st_size - (size_t)got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += (long)n;
    }
    if (got != (long)st.st_size) got = -1;  // cut short meanwhile
    if (got >= 0 && time(nullptr) - st.st_mtim.tv_sec > kMarkEverySeconds) futimens(fd, nullptr);
  }
  close(fd);
  return got;
}

bool WriteOnReader(const std::string& folder, const std::string& path, const std::string& bytes) {
  std::string temp = path + kTempMark + kTempPattern;
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    MakeHostFolders(folder.c_str());
    temp = path + kTempMark + kTempPattern;
    fd = mkostemp(temp.data(), O_CLOEXEC);
  }
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes.data(), bytes.size());
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

struct CacheItem {
  time_t used;
  uint64_t bytes;
  std::string name;
};

void TrimOnReader(const std::string& folder, uint64_t maxBytes, uint64_t keepBytes) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const time_t now = time(nullptr);
  std::vector<CacheItem> items;
  uint64_t total = 0;
  while (struct dirent* entry = readdir(dir)) {
    struct stat st;
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    if (strstr(entry->d_name, kTempMark) && now - st.st_mtim.tv_sec > kStaleTempSeconds) {
      unlinkat(dirfd(dir), entry->d_name, 0);
      continue;
    }
    total += (uint64_t)st.st_size;
    if (items.size() < kTrimEntryLimit)
      items.push_back({st.st_mtim.tv_sec, (uint64_t)st.st_size, entry->d_name});
  }
  if (total > maxBytes) {
    std::sort(items.begin(), items.end(),
              [](const CacheItem& a, const CacheItem& b) { return a.used < b.used; });
    for (const CacheItem& item : items) {
      if (total <= keepBytes) break;
      if (unlinkat(dirfd(dir), item.name.c_str(), 0) == 0) total -= item.bytes;
    }
  }
  closedir(dir);
}

}  // namespace

long CacheFileRead(const char* folder, const char* name, void* buffer, DWORD maximum) {
  if (!folder || !name || !buffer) return -1;
  try {
    std::string path = std::string(folder) + "/" + name;
    return ReaderCall(
        FolderKey(folder).c_str(),
        [path](char* bytes, DWORD count) { return ReadOnReader(path, bytes, count); }, buffer,
        maximum);
  } catch (...) {  // out of memory: not cached
    return -1;
  }
}

int CacheFileWrite(const char* folder, const char* name, const void* bytes, DWORD count) {
  if (!folder || !name || (!bytes && count)) return 0;
  try {
    std::string dir = folder;
    std::string path = dir + "/" + name;
    std::string data((const char*)bytes, count);
    const long done = ReaderCall(
        FolderKey(folder).c_str(),
        [dir, path, data](char*, DWORD) { return WriteOnReader(dir, path, data) ? 0L : -1L; },
        nullptr, 0);
    return done == 0;
  } catch (...) {
    return 0;
  }
}

void CacheFolderTrim(const char* folder, uint64_t maxBytes, uint64_t keepBytes) {
  if (!folder) return;
  try {
    std::string dir = folder;
    ReaderCall(
        FolderKey(folder).c_str(),
        [dir, maxBytes, keepBytes](char*, DWORD) {
          TrimOnReader(dir, maxBytes, keepBytes);
          return 0L;
        },
        nullptr, 0);
  } catch (...) {
  }
}
