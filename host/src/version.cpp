// The stand-in daemon's version texts, fixed so that documents are predictable.
#include "kv/version.h"

namespace {
constexpr const char* kVersion = "25.0.3";
constexpr const char* kVersionAndFeatures =
    "25.0.3/x86_64-pc-linux-gnu [conntrack;inotify;netlink;nfqueue;tpv3;zlib]";
}  // namespace

const char* kv_get_version() { return kVersion; }

const std::string& kv_get_version_and_features(bool multiline) {
  static const std::string single_line(kVersionAndFeatures);
  static const std::string multi_line = [] {
    std::string text(kVersionAndFeatures);
    for (char& c : text) {
      if (c == ';') c = '\n';
    }
    return text;
  }();
  return multiline ? multi_line : single_line;
}
