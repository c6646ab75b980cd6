// SinkFiles: each channel's payloads written to DIR/SINK/CHANNEL.json or .msgpack (.gz).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "kv/json.h"

namespace replay {

// Files are opened on a channel's first payload of each kind and kept open until Close(). The
// flags choose the file: 0x04 MessagePack (documents concatenated), else JSON Lines; 0x20 gzip.
// The legacy-socket bits (0x08, 0x10) do not change the file. Called only under the lock of the
// SinkOutput that owns it (on the plugin's worker thread), and Close() after the worker ended.
class SinkFiles {
 public:
  explicit SinkFiles(std::string dir);
  ~SinkFiles();
  SinkFiles(const SinkFiles&) = delete;
  SinkFiles& operator=(const SinkFiles&) = delete;

  // The file name for a channel's payloads with `flags`, without its directory.
  static std::string FileName(const std::string& channel, uint8_t flags);

  // Appends `payload` to the channel's file; `json_text` is the payload already dumped as one
  // line (without newline). Returns an error text the first time a file fails; that file is
  // skipped from then on, and later calls return an empty text.
  std::string Write(const std::string& sink, const std::string& channel, const json& payload,
                    std::string_view json_text, uint8_t flags);

  // Finishes and closes every file. Returns the errors met.
  std::vector<std::string> Close();
  // Closes every file; each is opened again on its next payload, appending (after a log
  // rotation moved it away). Returns the errors met.
  std::vector<std::string> Reopen();
  // Pushes what the open files hold to the system (a gzip file with a sync flush), so that a
  // reader following a file sees every document written. Returns the errors met.
  std::vector<std::string> Flush();

 private:
  struct File {
    gzFile handle = nullptr;
    bool failed = false;
  };

  // The open file for `path`, opened (with its sink directory) on first use; null on failure.
  File& Open(const std::string& sink_dir, const std::string& path, bool compress,
             std::string& error);

  std::string dir;
  std::map<std::string, File> files;  // by path
  bool append = false;                // after a Reopen: files are appended to
};

// Creates `path` and its missing parents. Returns an error text, or an empty one.
std::string MakeDirectories(const std::string& path);

}  // namespace replay
