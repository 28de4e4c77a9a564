#include "tests/support/x_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/support/background.h"

namespace {

// Display numbers tried, high enough to miss a desktop's own.
const int kFirstDisplay = 141;
const int kLastDisplay = 190;
const int kServerStartMs = 10000;
const int kPollMs = 50;

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

bool OnPath(const std::string& tool) {
  const char* path = getenv("PATH");
  std::string all = path ? path : "";
  for (size_t at = 0; at <= all.size();) {
    size_t end = all.find(':', at);
    if (end == std::string::npos) end = all.size();
    if (access((all.substr(at, end - at) + "/" + tool).c_str(), X_OK) == 0) return true;
    at = end + 1;
  }
  return false;
}

XServer::~XServer() { StopProcess(&server_); }

std::string XServer::Start(const std::string& scratch, const std::string& screen) {
  for (int n = kFirstDisplay; n <= kLastDisplay; n++) {
    std::string number = std::to_string(n);
    if (Exists("/tmp/.X" + number + "-lock") || Exists("/tmp/.X11-unix/X" + number)) continue;
    server_ = StartProcess({"Xvfb", ":" + number, "-screen", "0", screen, "-nolisten", "tcp"},
                           EnvironmentWith({}, {}), scratch + "/xvfb.out", scratch + "/xvfb.err");
    if (server_ < 0) return "Xvfb did not start";
    int status;
    bool ended = false;  // the number was taken meanwhile: try the next one
    for (int waited = 0; waited < kServerStartMs && !ended; waited += kPollMs) {
      if (Exists("/tmp/.X11-unix/X" + number)) {
        display_ = ":" + number;
        env_ = EnvironmentWith({"DISPLAY=" + display_}, {"SDL_VIDEODRIVER", "WAYLAND_DISPLAY"});
        return "";
      }
      ended = WaitProcess(server_, kPollMs, &status) == 1;
    }
    if (ended)
      server_ = -1;  // already reaped
    else
      StopProcess(&server_);
  }
  return "no X server came up on displays :" + std::to_string(kFirstDisplay) + " to :" +
         std::to_string(kLastDisplay);
}
