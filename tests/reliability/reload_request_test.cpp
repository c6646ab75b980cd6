// Reload requests that arrive while a reload is running: the file as it is after the request must
// be loaded, not only the one the running reload already read.
#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "kv/global_config.h"
#include "reliability/plugin_runner.h"
#include "reliability/scale.h"
#include "support/log_capture.h"

namespace {

using korvel_test::WaitUntil;

// True while some descriptor of this process is open on `path`.
bool IsOpen(const std::string& path) {
  DIR* fds = opendir("/proc/self/fd");
  bool open = false;
  while (dirent* entry = fds != nullptr ? readdir(fds) : nullptr) {
    char target[4096];
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t length = readlink(link.c_str(), target, sizeof(target));
    if (length > 0 && path == std::string(target, static_cast<size_t>(length))) open = true;
  }
  if (fds != nullptr) closedir(fds);
  return open;
}

std::string ConfigWithSink(const std::string& sink, size_t padding) {
  return "{\"padding\": \"" + std::string(padding, ' ') + "\", \"sinks\": {\"" + sink +
         "\": {\"c\": {\"types\": [\"stream-flows\"]}}}}";
}

// The daemon changes the file and asks for a reload while the worker is still reading the
// previous version. The request must not be absorbed by the reload that is running: that one
// installs the old version, and the new one would wait for an unrelated later request.
TEST(ReloadRequest, RequestDuringARunningReloadLoadsTheNewFile) {
  if (!korvel_test::RunsNatively()) GTEST_SKIP() << "needs a slow load of a large file";
  kvGlobalConfig::Create();
  korvel_test::LogCapture log(false);
  korvel_test::PluginRunner plugin(ConfigWithSink("first", 0), "proc");
  auto has_sink = [&](const std::string& name) {
    plugin->Lock();
    const bool found = plugin->sinks.count(name) == 1;
    plugin->Unlock();
    return found;
  };
  ASSERT_TRUE(has_sink("first"));

  // A version that takes the worker a while to read, then, while it reads it, the final version
  // put in its place.
  const std::string path = plugin.Config().Path();
  plugin.Config().Write(ConfigWithSink("large", 100u << 20));
  plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
  ASSERT_TRUE(WaitUntil([&] { return IsOpen(path); }, std::chrono::milliseconds(20000)));
  korvel_test::TempFile next;
  next.Write(ConfigWithSink("final", 0));
  ASSERT_EQ(std::rename(next.Path().c_str(), path.c_str()), 0);
  plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
  if (!IsOpen(path + " (deleted)")) {
    GTEST_SKIP() << "the large version was read before the request was made";
  }
  ASSERT_TRUE(WaitUntil([&] { return has_sink("large"); }, std::chrono::milliseconds(60000)));
  // The worker reloads within its one-second wait; five periods are ample.
  EXPECT_TRUE(WaitUntil([&] { return has_sink("final"); }, std::chrono::milliseconds(5000)));
}

}  // namespace
