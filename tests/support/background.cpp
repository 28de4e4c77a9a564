#include "tests/support/background.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace {
const int kPollMs = 10;
const int kPoliteStopMs = 2000;  // after SIGTERM, before SIGKILL

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }
}  // namespace

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& set,
                                         const std::vector<std::string>& drop) {
  std::vector<std::string> env;
  for (char** e = environ; *e; e++) {
    std::string name = NameOf(*e);
    bool skip = false;
    for (const std::string& d : drop) skip = skip || d == name;
    for (const std::string& s : set) skip = skip || NameOf(s) == name;
    if (!skip) env.push_back(*e);
  }
  env.insert(env.end(), set.begin(), set.end());
  return env;
}

pid_t StartProcess(const std::vector<std::string>& args, const std::vector<std::string>& env,
                   const std::string& outPath, const std::string& errPath) {
  if (args.empty()) return -1;
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

int WaitProcess(pid_t pid, int ms, int* status) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    int raw = 0;
    pid_t got = waitpid(pid, &raw, WNOHANG);
    if (got == pid || got < 0) {
      *status = got == pid && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      return 1;
    }
    if (std::chrono::steady_clock::now() >= deadline) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
}

int RunProcess(const std::vector<std::string>& args, const std::vector<std::string>& env,
               const std::string& outPath, const std::string& errPath) {
  pid_t pid = StartProcess(args, env, outPath, errPath);
  if (pid < 0) return -1;
  int raw = 0;
  if (waitpid(pid, &raw, 0) != pid || !WIFEXITED(raw)) return -1;
  return WEXITSTATUS(raw);
}

void StopProcess(pid_t* pid) {
  if (*pid <= 0) return;
  int status;
  kill(*pid, SIGTERM);
  if (!WaitProcess(*pid, kPoliteStopMs, &status)) {
    kill(*pid, SIGKILL);
    waitpid(*pid, &status, 0);
  }
  *pid = -1;
}

ProcessGuard::~ProcessGuard() {
  for (auto it = watched_.rbegin(); it != watched_.rend(); ++it) StopProcess(*it);
}
