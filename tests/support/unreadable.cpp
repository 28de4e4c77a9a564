#include "tests/support/unreadable.h"

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "browser/entry_list.h"

namespace {

// Drops every capability of the calling process (no library needed).
bool DropCapabilities() {
  __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  return syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

std::string RunUnprivileged(const std::function<std::string()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  pid_t child = fork();
  if (child == 0) {
    std::string line = DropCapabilities() ? body() : "capabilities kept";
    ssize_t ignored = write(fds[1], line.data(), line.size());
    (void)ignored;
    _exit(0);
  }
  close(fds[1]);
  char buffer[256] = {};
  ssize_t got = read(fds[0], buffer, sizeof(buffer) - 1);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return got > 0 ? std::string(buffer, (size_t)got) : "no answer";
}

std::string ScanUnreadable(const std::string& hostFolder, const WCHAR* devicePath) {
  if (chmod(hostFolder.c_str(), 0) != 0) return "chmod failed";
  std::string answer = RunUnprivileged([devicePath] {
    wcscpy(currentFolder, devicePath);
    int result = ScanFolder(currentFolder);
    char line[64];
    snprintf(line, sizeof(line), "result %d count %d", result, entryCount);
    return std::string(line);
  });
  chmod(hostFolder.c_str(), 0755);
  return answer;
}
