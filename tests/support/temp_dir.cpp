#include "tests/support/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/files.h"

TempDir::TempDir() {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/viewer-test-XXXXXX";
  char* made = mkdtemp(pattern.data());
  if (made) path_ = made;
  previousRoot_ = PlatformDeviceRoot();
  PlatformSetDeviceRoot(path_.c_str());
}

TempDir::~TempDir() {
  PlatformSetDeviceRoot(previousRoot_.c_str());
  std::error_code ignored;
  // Give every entry back its permissions first, so a test that made one
  // unreadable still cleans up.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink(ignored)) chmod(it->path().c_str(), 0700);
  }
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(At(name), std::ios::binary);
  out.write(bytes.data(), (std::streamsize)bytes.size());
}

void TempDir::MakeFolder(const std::string& name) const { mkdir(At(name).c_str(), 0755); }

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}
