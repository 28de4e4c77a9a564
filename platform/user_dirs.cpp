// Finding the pictures folder: the desktop's user-dirs.dirs file, written by
// xdg-user-dirs-update, holds lines such as
//   XDG_PICTURES_DIR="$HOME/Pictures"
// with the value either under $HOME or absolute.
#include "platform/user_dirs.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/user_folders.h"

namespace {

const char kPicturesName[] = "XDG_PICTURES_DIR";
const char kDirsFile[] = "/user-dirs.dirs";
const char kHomeMark[] = "$HOME";
// A line longer than this holds no folder anyone uses; it is skipped.
const size_t kLineMax = 4096;
// The file is a few lines; a huge or endless one is read no further.
const int kLinesMax = 1000;
// Room for the home folder, as for any path the host hands over.
const size_t kHomeMax = 4096;

std::string HomeFolder() {
  char home[kHomeMax];
  return UserHomeFolder(home, sizeof home) ? home : "";
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The value of one line when it sets the pictures folder: "" otherwise.
std::string PicturesValue(const char* line, const std::string& home) {
  const char* p = line + strspn(line, " \t");
  if (strncmp(p, kPicturesName, sizeof kPicturesName - 1) != 0) return "";
  p += sizeof kPicturesName - 1;
  p += strspn(p, " \t");
  if (*p++ != '=') return "";
  p += strspn(p, " \t");
  if (*p++ != '"') return "";
  std::string value;
  if (strncmp(p, kHomeMark, sizeof kHomeMark - 1) == 0 &&
      (p[sizeof kHomeMark - 1] == '/' || p[sizeof kHomeMark - 1] == '"')) {
    if (home.empty()) return "";
    value = home;
    p += sizeof kHomeMark - 1;
  } else if (*p != '/') {
    return "";
  }
  for (; *p && *p != '"'; p++) {
    if (*p == '\\' && p[1]) p++;
    value += *p;
  }
  if (*p != '"') return "";  // unterminated
  while (value.size() > 1 && value.back() == '/') value.pop_back();
  return value;
}

// XDG_PICTURES_DIR as the user-dirs.dirs file sets it, "" when it does not.
std::string PicturesFromFile(const std::string& home) {
  const char* config = getenv("XDG_CONFIG_HOME");
  std::string path = config && config[0] == '/' ? config : home.empty() ? "" : home + "/.config";
  if (path.empty()) return "";
  FILE* f = fopen((path + kDirsFile).c_str(), "r");
  if (!f) return "";
  std::string found;
  char line[kLineMax];
  bool lineStart = true;
  for (int n = 0; n < kLinesMax && fgets(line, sizeof line, f); n++) {
    const size_t length = strlen(line);
    const bool ended = length > 0 && line[length - 1] == '\n';
    const bool whole = ended || feof(f);
    // The tail of a line cut by the buffer is not a line of its own.
    if (lineStart && whole) {
      if (ended) line[length - 1] = 0;
      std::string value = PicturesValue(line, home);
      if (!value.empty()) found = value;  // the last setting wins, as in a shell
    }
    lineStart = whole;
  }
  fclose(f);
  return found;
}

}  // namespace

int PlatformPicturesFolder(char* out, size_t size) {
  if (!out || size == 0) return 0;
  out[0] = 0;
  const std::string home = HomeFolder();
  const char* fromEnvironment = getenv("XDG_PICTURES_DIR");
  const std::string candidates[] = {PicturesFromFile(home),
                                    fromEnvironment && fromEnvironment[0] == '/' ? fromEnvironment : "",
                                    home};
  for (const std::string& folder : candidates) {
    if (!IsFolder(folder)) continue;
    if (folder.size() >= size) return 0;
    memcpy(out, folder.c_str(), folder.size() + 1);
    return 1;
  }
  return 0;
}
