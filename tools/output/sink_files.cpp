// SinkFiles: JSON Lines or concatenated MessagePack files per channel, optionally gzip-compressed.
#include "tools/output/sink_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "kv/plugin.h"
#include "tools/constants.h"
#include "tools/output/safe_file_name.h"

namespace replay {

namespace {

constexpr mode_t kDirectoryMode = 0777;
constexpr const char* kPlainMode = "wbT";  // zlib's transparent (uncompressed) writing
constexpr const char* kGzipMode = "wb";
// After a reopen: appended to (a gzip file gets a member of its own, which readers join).
constexpr const char* kPlainAppendMode = "abT";
constexpr const char* kGzipAppendMode = "ab";

std::string ErrorText(int error) {
  return std::strerror(error);
}

std::string GzErrorText(gzFile handle) {
  int code = Z_OK;
  const char* text = gzerror(handle, &code);
  if (code == Z_ERRNO) return ErrorText(errno);
  return text != nullptr ? text : "write error";
}

bool WriteAll(gzFile handle, const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const unsigned chunk = size > UINT_MAX / 2 ? UINT_MAX / 2 : static_cast<unsigned>(size);
    if (gzwrite(handle, bytes, chunk) != static_cast<int>(chunk)) return false;
    bytes += chunk;
    size -= chunk;
  }
  return true;
}

}  // namespace

std::string MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), kDirectoryMode) != 0 && errno != EEXIST) {
      return part + ": " + ErrorText(errno);
    }
    if (slash == std::string::npos) break;
  }
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return path + ": " + ErrorText(errno);
  if (!S_ISDIR(info.st_mode)) return path + ": " + ErrorText(ENOTDIR);
  return std::string();
}

SinkFiles::SinkFiles(std::string dir_) : dir(std::move(dir_)) {}

SinkFiles::~SinkFiles() {
  Close();
}

std::string SinkFiles::FileName(const std::string& channel, uint8_t flags) {
  std::string name = SafeFileName(channel);
  name += (flags & kvPlugin::DF_FORMAT_MSGPACK) != 0 && (flags & kvPlugin::DF_FORMAT_JSON) == 0
              ? kMsgpackExtension
              : kJsonExtension;
  if ((flags & kvPlugin::DF_GZ_DEFLATE) != 0) name += kGzipExtension;
  return name;
}

SinkFiles::File& SinkFiles::Open(const std::string& sink_dir, const std::string& path,
                                 bool compress, std::string& error) {
  auto it = files.find(path);
  if (it != files.end()) return it->second;
  File& file = files[path];
  if (mkdir(sink_dir.c_str(), kDirectoryMode) != 0 && errno != EEXIST) {
    error = sink_dir + ": " + ErrorText(errno);
    file.failed = true;
    return file;
  }
  errno = 0;
  file.handle = gzopen(path.c_str(), append ? (compress ? kGzipAppendMode : kPlainAppendMode)
                                            : (compress ? kGzipMode : kPlainMode));
  if (file.handle == nullptr) {
    error = path + ": " + ErrorText(errno != 0 ? errno : ENOMEM);
    file.failed = true;
  }
  return file;
}

std::string SinkFiles::Write(const std::string& sink, const std::string& channel,
                             const json& payload, std::string_view json_text, uint8_t flags) {
  const std::string sink_dir = dir + "/" + SafeFileName(sink);
  const std::string path = sink_dir + "/" + FileName(channel, flags);
  std::string error;
  File& file = Open(sink_dir, path, (flags & kvPlugin::DF_GZ_DEFLATE) != 0, error);
  if (file.failed) return error;

  bool written;
  if ((flags & kvPlugin::DF_FORMAT_MSGPACK) != 0 && (flags & kvPlugin::DF_FORMAT_JSON) == 0) {
    const std::vector<uint8_t> packed = json::to_msgpack(payload);
    written = WriteAll(file.handle, packed.data(), packed.size());
  } else {
    written =
        WriteAll(file.handle, json_text.data(), json_text.size()) && WriteAll(file.handle, "\n", 1);
  }
  if (!written) {
    file.failed = true;
    return path + ": " + GzErrorText(file.handle);
  }
  return std::string();
}

std::vector<std::string> SinkFiles::Reopen() {
  std::vector<std::string> errors = Close();
  append = true;
  return errors;
}

std::vector<std::string> SinkFiles::Flush() {
  std::vector<std::string> errors;
  for (auto& [path, file] : files) {
    if (file.handle == nullptr || file.failed) continue;
    if (gzflush(file.handle, Z_SYNC_FLUSH) != Z_OK) {
      file.failed = true;
      errors.push_back(path + ": " + GzErrorText(file.handle));
    }
  }
  return errors;
}

std::vector<std::string> SinkFiles::Close() {
  std::vector<std::string> errors;
  for (auto& entry : files) {
    File& file = entry.second;
    if (file.handle == nullptr) continue;
    const int rc = gzclose(file.handle);
    file.handle = nullptr;
    if (rc != Z_OK && !file.failed) {
      errors.push_back(entry.first + ": " + (rc == Z_ERRNO ? ErrorText(errno) : "write error"));
    }
  }
  files.clear();
  return errors;
}

}  // namespace replay
