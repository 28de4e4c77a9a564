// A private X server (Xvfb) for tests that need a real display: started on
// a free display number, stopped with the object.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class XServer {
 public:
  XServer() = default;
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  ~XServer();

  // Starts Xvfb with one screen of the given size ("1024x768x24") and its
  // output in scratch. "" or what failed.
  std::string Start(const std::string& scratch, const std::string& screen);
  // ":N" once started.
  const std::string& display() const { return display_; }
  // Our environment pointed at the server, without other display settings.
  const std::vector<std::string>& env() const { return env_; }

 private:
  pid_t server_ = -1;
  std::string display_;
  std::vector<std::string> env_;
};

// Whether a program is on PATH.
bool OnPath(const std::string& tool);
