// The viewer started as a child process whose surroundings a test changes
// first (limits, signals, capabilities), with its output caught in pipes so
// that a file size limit does not reach it. Several may run at once.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/run_tool.h"

struct ViewerChild {
  pid_t pid = -1;
  int outFd = -1;
  int errFd = -1;
};

// Starts the viewer with args; setup runs in the child before the program
// replaces it (null: nothing).
ViewerChild StartViewer(const std::vector<std::string>& args,
                        const std::function<void()>& setup = nullptr);
// Waits for the child and gives back its exit code and output.
ToolRun FinishViewer(ViewerChild child);

// Gives up every capability for good, so that even root's next program runs
// without them and file permissions bind. For a child process only.
bool DropCapabilitiesForExec();
