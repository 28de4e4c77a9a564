#include "tests/support/viewer_child.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The highest capability number the kernel might know; dropping a number
// it does not know fails harmlessly.
const int kLastCapability = 63;

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, (size_t)n);
  }
  close(fd);
  return text;
}

}  // namespace

bool DropCapabilitiesForExec() {
  // Root regains its bounding set at exec, so that set goes first, then
  // the inheritable, permitted and effective sets.
  for (int cap = 0; cap <= kLastCapability; cap++) prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
  __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  return syscall(SYS_capset, &header, data) == 0 && prctl(PR_CAPBSET_READ, 0, 0, 0, 0) == 0;
}

ViewerChild StartViewer(const std::vector<std::string>& args, const std::function<void()>& setup) {
  ViewerChild child;
  int out[2], err[2];
  if (pipe(out) != 0) return child;
  if (pipe(err) != 0) {
    close(out[0]);
    close(out[1]);
    return child;
  }
  const std::string tool = std::string(VIEWER_TOOL_DIR) + "/korvane-viewer";
  std::vector<std::string> all = {tool};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  child.pid = fork();
  if (child.pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
    if (setup) setup();
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  child.outFd = out[0];
  child.errFd = err[0];
  if (child.pid < 0) {
    close(out[0]);
    close(err[0]);
    child.outFd = child.errFd = -1;
  }
  return child;
}

ToolRun FinishViewer(ViewerChild child) {
  ToolRun run;
  if (child.pid <= 0) return run;
  run.out = ReadAll(child.outFd);
  run.err = ReadAll(child.errFd);
  int status = 0;
  waitpid(child.pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
