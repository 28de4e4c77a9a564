// A scratch folder for one test, removed with everything in it afterwards,
// and the device root pointed at it while it lives.
#pragma once

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  // Host path of a name inside the folder.
  std::string At(const std::string& name) const { return path_ + "/" + name; }
  // Writes bytes to a file inside the folder (sub-folders must exist).
  void Write(const std::string& name, const std::string& bytes) const;
  void MakeFolder(const std::string& name) const;

 private:
  std::string path_;
  std::string previousRoot_;
};

// Whole contents of a host file ("" when it cannot be read).
std::string ReadHostFile(const std::string& path);
