// Every test process gets a cache folder of its own, made at start and
// removed at exit: no test reads or fills the user's, and none sees
// records another test left. Tools and programs run by a test inherit it.
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct CacheHome {
  std::string path;
  CacheHome() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/viewer-cache-XXXXXX";
    if (mkdtemp(pattern.data())) path = pattern;
    setenv("XDG_CACHE_HOME", path.empty() ? "/nonexistent-viewer-cache" : path.c_str(), 1);
  }
  ~CacheHome() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
};

CacheHome cacheHome;

}  // namespace
