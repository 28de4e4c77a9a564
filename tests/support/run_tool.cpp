#include "tests/support/run_tool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <sstream>

#include "tests/support/temp_dir.h"

extern char** environ;

ToolRun RunTool(const std::string& name, const std::vector<std::string>& args,
                const std::string& scratchDir) {
  return RunProgram(std::string(VIEWER_TOOL_DIR) + "/" + name, args, scratchDir);
}

ToolRun RunProgram(const std::string& tool, const std::vector<std::string>& args,
                   const std::string& scratchDir) {
  const std::string outPath = scratchDir + "/tool-stdout.txt";
  const std::string errPath = scratchDir + "/tool-stderr.txt";
  std::vector<std::string> all = {tool};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ToolRun run;
  pid_t pid;
  int rc = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return run;
  int status = 0;
  waitpid(pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadHostFile(outPath);
  run.err = ReadHostFile(errPath);
  return run;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

ToolRun RunViewerScript(const TempDir& dir, const std::string& script,
                        const std::vector<std::string>& args) {
  dir.Write("script.txt", script);
  std::vector<std::string> all = {"--headless", "--root", dir.At("root"), "--registry",
                                  dir.At("registry.reg")};
  all.insert(all.end(), args.begin(), args.end());
  all.insert(all.end(), {"--script", dir.At("script.txt")});
  return RunTool("korvane-viewer", all, dir.path());
}
