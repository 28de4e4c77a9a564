// Runs one of the built tools as a separate process, as a user would.
#pragma once

#include <string>
#include <vector>

struct ToolRun {
  int exitCode = -1;  // -1 when it did not start or did not exit normally
  std::string out;    // standard output
  std::string err;    // standard error
};

// name: the tool's file name ("korvane-list"); args: its arguments.
// scratchDir: where its output streams are caught.
ToolRun RunTool(const std::string& name, const std::vector<std::string>& args,
                const std::string& scratchDir);
// Any program, by its full path.
ToolRun RunProgram(const std::string& path, const std::vector<std::string>& args,
                   const std::string& scratchDir);

class TempDir;
// The viewer run headless over dir's folder "root", with the settings in
// dir's "registry.reg" and script written to dir's "script.txt"; args come
// before the script.
ToolRun RunViewerScript(const TempDir& dir, const std::string& script,
                        const std::vector<std::string>& args);

// A tool's output split into lines, without their line ends.
std::vector<std::string> Lines(const std::string& text);
