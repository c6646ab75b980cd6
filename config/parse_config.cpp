// kppParseConfig: parses the configuration file and words its failures.
#include "config/parse_config.h"

#include <cstring>
#include <exception>
#include <istream>

#include "kv/exception.h"

namespace {

// Throws when a read of `file` failed: whatever was parsed is then incomplete.
void CheckRead(const kppConfigFile& file, const std::string& tag, const std::string& path) {
  if (file.ReadError() != 0) {
    throw kvException("%s: %s: %s", tag.c_str(), path.c_str(), strerror(file.ReadError()));
  }
}

}  // namespace

json kppParseConfig(kppConfigFile& file, const std::string& tag, const std::string& path) {
  json root;
  try {
    std::istream stream(&file);
    root = json::parse(stream, nullptr, true, true);
  } catch (const json::exception& e) {
    CheckRead(file, tag, path);
    throw kvException("%s: %s: JSON exception: %s", tag.c_str(), path.c_str(), e.what());
  } catch (const std::exception& e) {
    CheckRead(file, tag, path);
    throw kvException("%s: %s: %s", tag.c_str(), path.c_str(), e.what());
  }
  // A read that failed after a complete document looks like its end to the parser.
  CheckRead(file, tag, path);
  return root;
}
