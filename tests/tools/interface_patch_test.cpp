// Tests of the "interface" op: creation, updates in place, identity changes, refusals.
// An identity change moves the interface's flows to an updated copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/daemon_state.h"
#include "tools/scenario_error.h"

namespace {

using replay::DaemonState;
using replay::FlowPatch;
using replay::InterfacePatch;
using replay::ScenarioError;

std::vector<std::string> Texts(const kvInterfaceAddr& set) {
  std::vector<std::string> texts;
  std::lock_guard<std::mutex> guard(set.lock);
  for (const kvAddr& addr : set.addrs) {
    std::string text;
    kvAddr::MakeString(addr, text, kvAddr::MAKE_DEFAULT);
    texts.push_back(text);
  }
  std::sort(texts.begin(), texts.end());
  return texts;
}

std::vector<std::string> EndpointKeys(const kvInterface::EndpointTable& table) {
  std::vector<std::string> keys;
  for (const auto& entry : table) {
    std::string text;
    kvAddr::MakeString(entry.first, text, kvAddr::MAKE_DEFAULT);
    keys.push_back(text);
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

class InterfaceOp : public ::testing::Test {
 protected:
  InterfaceOp() : state(2) {}
  void Set(const std::string& members) {
    state.SetInterface(InterfacePatch::Read(json::parse(members)));
  }
  std::string ErrorOf(const std::string& members) {
    try {
      Set(members);
    } catch (const ScenarioError& e) {
      return e.what();
    }
    return "";
  }
  DaemonState state;
};

TEST_F(InterfaceOp, CreatesWithEveryMember) {
  Set(R"({"op":"interface","name":"eth0","role":2,"capture_type":17,"capture_file":"a.pcap",
          "addrs":["00:11:22:33:44:55","192.0.2.1","2001:db8::1"],
          "endpoints":[{"00:aa:bb:cc:dd:ee":["192.0.2.7","2001:db8::7"],"192.0.2.8":[]},
                       {"00:aa:bb:cc:dd:ff":["192.0.2.9"]}],
          "endpoint_selector":0})");
  const kvInterface& iface = *state.InterfaceTable().at("eth0");
  EXPECT_EQ(iface.name, "eth0");
  EXPECT_EQ(iface.role, 2);
  EXPECT_EQ(iface.capture_type, 17u);
  EXPECT_EQ(iface.capture_file, "a.pcap");
  EXPECT_EQ(Texts(iface.addrs),
            (std::vector<std::string>{"00:11:22:33:44:55", "192.0.2.1", "2001:db8::1"}));
  EXPECT_EQ(EndpointKeys(iface.endpoints[0]),
            (std::vector<std::string>{"00:aa:bb:cc:dd:ee", "192.0.2.8"}));
  kvAddr endpoint;
  ASSERT_TRUE(kvAddr::FromString("00:aa:bb:cc:dd:ee", endpoint));
  EXPECT_EQ(Texts(iface.endpoints[0].at(endpoint)),
            (std::vector<std::string>{"192.0.2.7", "2001:db8::7"}));
  ASSERT_TRUE(kvAddr::FromString("192.0.2.8", endpoint));
  EXPECT_TRUE(Texts(iface.endpoints[0].at(endpoint)).empty());
  EXPECT_EQ(EndpointKeys(iface.endpoints[1]), (std::vector<std::string>{"00:aa:bb:cc:dd:ff"}));
  EXPECT_EQ(iface.endpoint_selector, 0);
}

TEST_F(InterfaceOp, KeyAndNameDefaultToEachOther) {
  Set(R"({"name":"eth0"})");
  Set(R"({"key":"k1"})");
  Set(R"({"key":"k2","name":"lan"})");
  const auto& table = state.InterfaceTable();
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table.at("eth0")->name, "eth0");
  EXPECT_EQ(table.at("k1")->name, "k1");
  EXPECT_EQ(table.at("k2")->name, "lan");
}

TEST_F(InterfaceOp, TableUpdatesHappenInPlaceAndReplaceWhatWasThere) {
  Set(R"({"name":"eth0","role":1,"addrs":["192.0.2.1"],"endpoints":[{"192.0.2.5":[]},{}]})");
  const std::shared_ptr<kvInterface> before = state.InterfaceTable().at("eth0");
  Set(R"({"name":"eth0","addrs":["192.0.2.2"],"endpoint_selector":0,
          "endpoints":[{},{"192.0.2.6":["192.0.2.66"]}]})");
  const std::shared_ptr<kvInterface> after = state.InterfaceTable().at("eth0");
  EXPECT_EQ(before, after);
  EXPECT_EQ(Texts(after->addrs), (std::vector<std::string>{"192.0.2.2"}));
  EXPECT_TRUE(after->endpoints[0].empty());
  EXPECT_EQ(EndpointKeys(after->endpoints[1]), (std::vector<std::string>{"192.0.2.6"}));
  EXPECT_EQ(after->endpoint_selector, 0);
  EXPECT_EQ(after->role, 1);
}

TEST_F(InterfaceOp, IdentityChangesMoveTheFlowsToAnUpdatedCopy) {
  Set(R"({"key":"k","name":"eth0","role":1,"capture_type":2,"addrs":["192.0.2.1"],
          "endpoints":[{"192.0.2.5":["192.0.2.55"]},{}],"endpoint_selector":1})");
  state.SetFlow("a", FlowPatch::Read(json::parse(R"({"interface":"k"})")));
  state.SetFlow("b", FlowPatch::Read(json::parse(R"({"interface":"k"})")));
  const std::shared_ptr<kvInterface> before = state.InterfaceTable().at("k");
  // A flow the daemon has dropped (but an event may still hold) keeps the old record.
  const std::shared_ptr<kvFlow> dropped = state.GetFlow("b");
  state.ForgetFlow("b");

  Set(R"({"key":"k","name":"lan0","role":2})");
  const std::shared_ptr<kvInterface> after = state.InterfaceTable().at("k");
  EXPECT_NE(before, after);
  EXPECT_EQ(after->name, "lan0");
  EXPECT_EQ(after->role, 2);
  EXPECT_EQ(after->capture_type, 2u);
  EXPECT_EQ(Texts(after->addrs), (std::vector<std::string>{"192.0.2.1"}));
  EXPECT_EQ(EndpointKeys(after->endpoints[0]), (std::vector<std::string>{"192.0.2.5"}));
  EXPECT_EQ(after->endpoint_selector, 1);
  EXPECT_EQ(state.GetFlow("a")->iface, after);
  EXPECT_EQ(dropped->iface, before);
  // The old record is left as it was.
  EXPECT_EQ(before->name, "eth0");
  EXPECT_EQ(before->role, 1);
}

TEST_F(InterfaceOp, Refusals) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"role":1})", "needs member \"name\" or \"key\""},
      {R"({"name":"e","mtu":1500})", "unknown member \"mtu\""},
      {R"({"name":"e","role":256})", "member \"role\" is out of range (0 to 255): 256"},
      {R"({"name":"e","addrs":"192.0.2.1"})", "member \"addrs\" must be an array of addresses"},
      {R"({"name":"e","addrs":[1]})", "member \"addrs[0]\" must be a string"},
      {R"({"name":"e","addrs":[""]})", "member \"addrs[0]\" must be a MAC or IP address, got \"\""},
      {R"({"name":"e","addrs":["eth0"]})",
       "member \"addrs[0]\" must be a MAC or IP address, got \"eth0\""},
      {R"({"name":"e","endpoints":[{}]})", "member \"endpoints\" must be an array of two objects"},
      {R"({"name":"e","endpoints":[{},[]]})", "member \"endpoints[1]\" must be an object"},
      {R"({"name":"e","endpoints":[{"nope":[]},{}]})",
       "member \"endpoints[0].nope\" must be a MAC or IP address, got \"nope\""},
      {R"({"name":"e","endpoints":[{"192.0.2.1":["x"]},{}]})",
       "member \"endpoints[0].192.0.2.1[0]\" must be a MAC or IP address, got \"x\""},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.first), c.second) << c.first;
  EXPECT_TRUE(state.InterfaceTable().empty());
}

}  // namespace
