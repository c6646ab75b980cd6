// The plugin's configuration file as scenario ops write it, and the tool's private directory.
#pragma once

#include <string>

namespace replay {

// Replaces the content of `path` in one step: a new file beside it is renamed over it, so the
// plugin never reads a half-written file. Returns an error text, or an empty one.
std::string ReplaceFile(const std::string& path, const std::string& content);

// Removes `path`; a file that is not there is not an error. Returns an error text, or "".
std::string RemoveFile(const std::string& path);

// A private directory under $TMPDIR (or /tmp) for the default configuration file, removed with
// the file when the object goes. Main thread.
class TempDir {
 public:
  TempDir() = default;
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Makes the directory. Returns an error text, or an empty one.
  std::string Create();
  // The path of `name` inside the directory.
  std::string PathOf(const std::string& name) const { return path + "/" + name; }

  // Removes `name` (if there) and the directory.
  void Remove(const std::string& name);

 private:
  std::string path;
};

}  // namespace replay
