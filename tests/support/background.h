// Programs run beside a test: started without waiting, given a bounded time
// to end, and stopped for good when the test is over.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Our own environment with these NAME=VALUE entries set, and the names in
// drop removed.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& set,
                                         const std::vector<std::string>& drop);

// Starts args[0] (searched on PATH) with its output streams written to the
// two host files. Returns the process id, or -1 when it could not start.
pid_t StartProcess(const std::vector<std::string>& args, const std::vector<std::string>& env,
                   const std::string& outPath, const std::string& errPath);

// Waits at most ms for the process to end. 1 with *status its exit code
// (-1 when a signal ended it), 0 while it still runs.
int WaitProcess(pid_t pid, int ms, int* status);

// Runs a command to its end; its exit code, or -1 when it did not start or
// did not exit normally.
int RunProcess(const std::vector<std::string>& args, const std::vector<std::string>& env,
               const std::string& outPath, const std::string& errPath);

// Ends a process that may still run: asked first, then killed. Sets *pid to
// -1; nothing happens when it already is.
void StopProcess(pid_t* pid);

// Processes that end with the scope, in reverse order of adding.
class ProcessGuard {
 public:
  ProcessGuard() = default;
  ProcessGuard(const ProcessGuard&) = delete;
  ProcessGuard& operator=(const ProcessGuard&) = delete;
  ~ProcessGuard();
  void Add(pid_t* pid) { watched_.push_back(pid); }

 private:
  std::vector<pid_t*> watched_;
};
