#include "platform/user_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char kProgramFolder[] = "korvane-viewer";
const size_t kHostPathMax = 4096;

}  // namespace

int UserHomeFolder(char* out, size_t outSize) {
  const char* home = getenv("HOME");
  struct passwd entry, *found = nullptr;
  char scratch[1024];
  if ((!home || home[0] != '/') &&
      getpwuid_r(getuid(), &entry, scratch, sizeof(scratch), &found) == 0 && found)
    home = found->pw_dir;
  if (!home || home[0] != '/') return 0;
  const int n = snprintf(out, outSize, "%s", home);
  return n > 0 && (size_t)n < outSize;
}

int ProgramUserFolder(const char* variable, const char* homeFallback, char* out, size_t outSize) {
  const char* chosen = getenv(variable);
  int n;
  if (chosen && chosen[0] == '/') {
    n = snprintf(out, outSize, "%s/%s", chosen, kProgramFolder);
  } else {
    char home[kHostPathMax];
    if (!UserHomeFolder(home, sizeof(home))) return 0;
    n = snprintf(out, outSize, "%s/%s/%s", home, homeFallback, kProgramFolder);
  }
  return n > 0 && (size_t)n < outSize;
}

void MakeHostFolders(const char* folder) {
  char partial[kHostPathMax];
  if (snprintf(partial, sizeof(partial), "%s", folder) >= (int)sizeof(partial)) return;
  for (char* p = partial + 1; *p; p++) {
    if (*p != '/') continue;
    *p = 0;
    mkdir(partial, 0700);
    *p = '/';
  }
  mkdir(partial, 0700);
}
