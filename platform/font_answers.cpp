// The font answers' cache file. One answer a line after a header line:
//   KEY INDEX SIZE MTIME-SECONDS MTIME-NANOSECONDS PATH
// KEY and PATH with spaces, controls and "%" written as %XX. Any line that
// does not read back exactly makes the whole file count as foreign.
#include "platform/font_answers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/user_folders.h"

namespace {

const char kHeader[] = "korvane-viewer font answers 1";
const size_t kFolderMax = 4096;
const char kFileName[] = "fonts";
const char kTempPattern[] = ".XXXXXX";
// A file past this is not ours; the answers kept past this count stay in
// memory only, so a flood of rare characters cannot grow the file.
const size_t kMaxFileBytes = 1 << 20;
const size_t kMaxAnswers = 4096;
const int kMaxFaceIndex = 0xFFFF;

// A font file's identity as far as the answers go.
struct FileStamp {
  long long size = -1;
  long long seconds = 0;
  long nanoseconds = 0;
  bool operator==(const FileStamp& o) const {
    return size == o.size && seconds == o.seconds && nanoseconds == o.nanoseconds;
  }
};

struct Answer {
  FontFile file;
  FileStamp stamp;
  bool current = false;  // its file was found unchanged during this run
};

std::mutex lock;
bool loaded = false;
bool unsaved = false;
std::map<std::string, Answer> answers;

bool StampOf(const std::string& path, FileStamp* stamp) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  stamp->size = (long long)st.st_size;
  stamp->seconds = (long long)st.st_mtim.tv_sec;
  stamp->nanoseconds = st.st_mtim.tv_nsec;
  return true;
}

std::string Escaped(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c <= ' ' || c == '%' || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += (char)c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Strict: only the escapes Escaped writes, no raw space or control.
bool Unescaped(const std::string& text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); i++) {
    unsigned char c = (unsigned char)text[i];
    if (c <= ' ' || c == 0x7F) return false;
    if (c != '%') {
      *out += (char)c;
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    *out += (char)(hi << 4 | lo);
    i += 2;
  }
  return true;
}

bool ParseNumber(const std::string& text, long long low, long long high, long long* value) {
  if (text.empty() || text.size() > 19) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  errno = 0;
  long long v = strtoll(text.c_str(), nullptr, 10);
  if (errno || v < low || v > high) return false;
  *value = v;
  return true;
}

bool ParseLine(const std::string& line, std::string* key, Answer* a) {
  std::string fields[6];
  size_t at = 0;
  for (int i = 0; i < 6; i++) {
    size_t space = i < 5 ? line.find(' ', at) : line.size();
    if (space == std::string::npos || space == at) return false;
    fields[i] = line.substr(at, space - at);
    at = space + 1;
  }
  long long index, size, seconds, nanoseconds;
  if (!Unescaped(fields[0], key) || key->empty() ||
      !ParseNumber(fields[1], 0, kMaxFaceIndex, &index) ||
      !ParseNumber(fields[2], 0, INT64_MAX, &size) ||
      !ParseNumber(fields[3], 0, INT64_MAX, &seconds) ||
      !ParseNumber(fields[4], 0, 999999999, &nanoseconds) ||
      !Unescaped(fields[5], &a->file.path) || a->file.path[0] != '/')
    return false;
  a->file.index = (int)index;
  a->stamp.size = size;
  a->stamp.seconds = seconds;
  a->stamp.nanoseconds = (long)nanoseconds;
  return true;
}

// The file's answers into *out; false when it is missing, damaged or foreign.
bool ReadAnswers(const std::string& path, std::map<std::string, Answer>* out) {
  FILE* f = fopen(path.c_str(), "rbe");
  if (!f) return false;
  std::string text;
  char buffer[8192];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() <= kMaxFileBytes)
    text.append(buffer, n);
  bool failed = ferror(f) != 0;
  fclose(f);
  if (failed || text.size() > kMaxFileBytes || text.empty() || text.back() != '\n') return false;
  size_t at = text.find('\n');
  if (text.compare(0, at, kHeader) != 0 || at != sizeof kHeader - 1) return false;
  for (at++; at < text.size();) {
    size_t end = text.find('\n', at);
    std::string key;
    Answer a;
    if (!ParseLine(text.substr(at, end - at), &key, &a) || out->size() >= kMaxAnswers) {
      out->clear();
      return false;
    }
    (*out)[key] = a;
    at = end + 1;
  }
  return true;
}

std::string CacheFolder() {
  char folder[kFolderMax];
  return ProgramUserFolder("XDG_CACHE_HOME", ".cache", folder, sizeof folder) ? folder : "";
}

// The whole table into a new file renamed over the old one.
void WriteAnswers() {
  std::string folder = CacheFolder();
  if (folder.empty()) return;
  MakeHostFolders(folder.c_str());
  std::string text = std::string(kHeader) + "\n";
  for (const auto& [key, a] : answers) {
    char numbers[96];
    snprintf(numbers, sizeof numbers, " %d %lld %lld %ld ", a.file.index, a.stamp.size,
             a.stamp.seconds, a.stamp.nanoseconds);
    text += Escaped(key) + numbers + Escaped(a.file.path) + "\n";
  }
  if (text.size() > kMaxFileBytes) return;
  std::string path = folder + "/" + kFileName;
  std::string temp = path + kTempPattern;
  int fd = mkostemp(&temp[0], O_CLOEXEC);
  if (fd < 0) return;
  bool ok = write(fd, text.data(), text.size()) == (ssize_t)text.size();
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) unlink(temp.c_str());
}

void LoadOnce() {
  if (loaded) return;
  loaded = true;
  std::string path = FontAnswersPath();
  if (!path.empty()) ReadAnswers(path, &answers);
}

}  // namespace

std::string FontAnswersPath() {
  std::string folder = CacheFolder();
  return folder.empty() ? "" : folder + "/" + kFileName;
}

int FindFontAnswer(const std::string& key, FontFile* file) {
  std::lock_guard<std::mutex> hold(lock);
  LoadOnce();
  auto found = answers.find(key);
  if (found == answers.end()) return 0;
  Answer& a = found->second;
  FileStamp now;
  if (!a.current && (!StampOf(a.file.path, &now) || !(now == a.stamp))) return 0;
  a.current = true;
  *file = a.file;
  return 1;
}

void KeepFontAnswer(const std::string& key, const FontFile& file) {
  std::lock_guard<std::mutex> hold(lock);
  LoadOnce();
  Answer a;
  a.file = file;
  a.current = true;
  if (key.empty() || file.path.empty() || file.path[0] != '/' || !StampOf(file.path, &a.stamp))
    return;
  if (answers.size() >= kMaxAnswers && !answers.count(key)) return;
  answers[key] = a;
  unsaved = true;
}

void SaveFontAnswers() {
  std::lock_guard<std::mutex> hold(lock);
  if (!unsaved) return;
  unsaved = false;
  WriteAnswers();
}
