// Interface events while the daemon switches an interface's endpoint tables: the selector and the
// tables are read under the interface's endpoint lock only. The thread sanitizer build reports
// any read made outside it.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "kv/interface.h"
#include "plugin/plugin.h"
#include "reliability/scale.h"
#include "support/flows.h"
#include "support/temp_file.h"

namespace {

TEST(InterfaceRace, EndpointsAreEncodedWhileTheDaemonSwitchesTables) {
  korvel_test::TempFile config;
  kppPlugin plugin("proc", {{"conf_filename", config.Path()}});
  auto iface = korvel_test::MakeInterface("eth0", kvInterface::ROLE_LAN);
  kvAddr mac, first, second;
  kvAddr::FromString("02:00:00:00:00:01", mac);
  kvAddr::FromString("192.0.2.1", first);
  kvAddr::FromString("192.0.2.2", second);
  iface->endpoints[0][mac].Insert(first);
  iface->endpoints[1][mac].Insert(second);
  kppPlugin::Interfaces interfaces{{"eth0", iface}};

  const int rounds = static_cast<int>(20000 / korvel_test::StressDivisor());
  std::atomic<bool> done{false};
  std::thread daemon([&] {
    // The daemon's capture thread switches to the other table, under the lock as it must.
    while (!done.load()) {
      std::lock_guard<std::mutex> guard(iface->endpoint_lock);
      iface->endpoint_selector ^= 1;
    }
  });
  for (int i = 0; i < rounds; i++) {
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &interfaces);
  }
  done.store(true);
  daemon.join();
  const json endpoints = plugin.TakeUpdateDocuments().endpoints;
  EXPECT_TRUE(endpoints == json({{"02:00:00:00:00:01", {"192.0.2.1"}}}) ||
              endpoints == json({{"02:00:00:00:00:01", {"192.0.2.2"}}}))
      << endpoints.dump();
}

}  // namespace
