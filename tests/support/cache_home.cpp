// Every test process gets a cache folder of its own, removed at exit: no
// test reads or fills the user's, and none sees records another test left.
// Tools and programs run by a test inherit it. A fresh name is picked at
// start and the folder made only by what writes into it, so a process that
// ends without running its destructors mostly leaves nothing behind.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct CacheHome {
  std::string path;
  CacheHome() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/viewer-cache-XXXXXX";
    if (mkdtemp(pattern.data())) {
      path = pattern;
      rmdir(path.c_str());
    }
    setenv("XDG_CACHE_HOME", path.empty() ? "/nonexistent-viewer-cache" : path.c_str(), 1);
  }
  ~CacheHome() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
};

CacheHome cacheHome;

}  // namespace
