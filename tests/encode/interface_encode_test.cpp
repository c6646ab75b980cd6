// Tests of kvInterface::Encode/EncodeAddrs and kvInterfaceAddr::FindAllOf/Encode.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "kv/interface.h"

namespace {

kvAddr AddrOf(const std::string& text) {
  kvAddr addr;
  EXPECT_TRUE(kvAddr::FromString(text, addr)) << text;
  return addr;
}

// An array of strings in sorted order, for sets whose iteration order is not fixed.
json Sorted(json array) {
  std::sort(array.begin(), array.end());
  return array;
}

TEST(InterfaceEncode, LanInterfaceWithMacAndCaptureFile) {
  kvInterface iface("eth0", kvInterface::ROLE_LAN);
  iface.capture_type = kvInterface::CAPTURE_PCAP_OFFLINE;
  iface.capture_file = "/var/tmp/trace.pcap";
  iface.addrs.Insert(AddrOf("192.0.2.1"));
  iface.addrs.Insert(AddrOf("00:11:22:aa:bb:cc"));
  iface.addrs.Insert(AddrOf("2001:db8::1"));
  json doc;
  iface.Encode(doc);
  EXPECT_EQ(doc, json::parse(R"({"role": "LAN", "capture_type": "PCAP",
                                 "capture_file": "/var/tmp/trace.pcap",
                                 "mac": "00:11:22:aa:bb:cc"})"));
}

TEST(InterfaceEncode, RoleTable) {
  const std::pair<uint8_t, const char*> cases[] = {
      {0, "UNKNOWN"}, {1, "LAN"}, {2, "WAN"}, {3, "UNKNOWN"}, {255, "UNKNOWN"}};
  for (const auto& [role, text] : cases) {
    kvInterface iface("eth0", role);
    json doc;
    iface.Encode(doc);
    EXPECT_EQ(doc.at("role"), json(text)) << "role " << int(role);
  }
}

TEST(InterfaceEncode, CaptureTypeTableIgnoresTheLowestBit) {
  const std::pair<uint32_t, const char*> cases[] = {
      {0, "UNKNOWN"}, {1, "UNKNOWN"}, {2, "PCAP"},     {3, "PCAP"}, {4, "PCAP"},
      {5, "PCAP"},    {6, "UNKNOWN"}, {8, "TPv3"},     {9, "TPv3"}, {10, "UNKNOWN"},
      {16, "NFQ"},    {17, "NFQ"},    {32, "UNKNOWN"},
  };
  for (const auto& [capture_type, text] : cases) {
    kvInterface iface("eth0");
    iface.capture_type = capture_type;
    json doc;
    iface.Encode(doc);
    EXPECT_EQ(doc.at("capture_type"), json(text)) << "capture type " << capture_type;
  }
}

TEST(InterfaceEncode, NoCaptureFileAndNoMac) {
  kvInterface iface("wan0", kvInterface::ROLE_WAN);
  iface.capture_type = kvInterface::CAPTURE_NFQ;
  iface.addrs.Insert(AddrOf("198.51.100.1"));
  json doc;
  iface.Encode(doc);
  EXPECT_EQ(doc, json::parse(R"({"role": "WAN", "capture_type": "NFQ",
                                 "mac": "00:00:00:00:00:00"})"));
}

TEST(InterfaceEncode, ExistingMembersStay) {
  kvInterface iface("eth0", kvInterface::ROLE_LAN);
  json doc = json::parse(R"({"addr": ["192.0.2.1"], "role": "old"})");
  iface.Encode(doc);
  EXPECT_EQ(doc, json::parse(R"({"addr": ["192.0.2.1"], "role": "LAN",
                                 "capture_type": "UNKNOWN", "mac": "00:00:00:00:00:00"})"));
}

TEST(InterfaceEncodeAddrs, IPv4AndIPv6InOneArrayWithoutTheMac) {
  kvInterface iface("eth0");
  iface.addrs.Insert(AddrOf("192.0.2.1"));
  iface.addrs.Insert(AddrOf("00:11:22:aa:bb:cc"));
  iface.addrs.Insert(AddrOf("2001:db8::1"));
  json doc;
  iface.EncodeAddrs(doc, {"addr"}, ",");
  ASSERT_EQ(doc.size(), 1u);
  EXPECT_EQ(Sorted(doc.at("addr")), json::parse(R"(["192.0.2.1", "2001:db8::1"])"));
}

TEST(InterfaceEncodeAddrs, OnlyLinkLayerAddressWritesNoKey) {
  kvInterface iface("eth0");
  iface.addrs.Insert(AddrOf("00:11:22:aa:bb:cc"));
  json doc = json::object();
  iface.EncodeAddrs(doc, {"addr"}, ",");
  EXPECT_EQ(doc, json::object());
}

TEST(InterfaceEncodeAddrs, NoAddressesWriteNoKey) {
  kvInterface iface("eth0");
  json doc;
  iface.EncodeAddrs(doc, {"addr"}, ",");
  EXPECT_TRUE(doc.is_null());
}

TEST(InterfaceAddrFindAllOf, EmptyFilterMatchesNothing) {
  kvInterfaceAddr set;
  set.Insert(AddrOf("192.0.2.1"));
  std::vector<std::string> out{"kept"};
  EXPECT_FALSE(set.FindAllOf({}, out));
  EXPECT_EQ(out, std::vector<std::string>{"kept"});
}

TEST(InterfaceAddrFindAllOf, AppendsAfterExistingEntries) {
  kvInterfaceAddr set;
  set.Insert(AddrOf("192.0.2.1"));
  set.Insert(AddrOf("2001:db8::1"));
  set.Insert(AddrOf("00:11:22:aa:bb:cc"));
  std::vector<std::string> out{"kept"};
  EXPECT_TRUE(set.FindAllOf({AF_INET6}, out));
  EXPECT_EQ(out, (std::vector<std::string>{"kept", "2001:db8::1"}));
  EXPECT_TRUE(set.FindAllOf({AF_LINK}, out));
  EXPECT_EQ(out, (std::vector<std::string>{"kept", "2001:db8::1", "00:11:22:aa:bb:cc"}));
}

TEST(InterfaceAddrFindAllOf, FalseWhenNothingMatchesAGivenList) {
  kvInterfaceAddr set;
  set.Insert(AddrOf("00:11:22:aa:bb:cc"));
  std::vector<std::string> out{"a", "b"};
  EXPECT_FALSE(set.FindAllOf({AF_INET, AF_INET6}, out));
  EXPECT_EQ(out, (std::vector<std::string>{"a", "b"}));
}

TEST(InterfaceAddrEncode, EmptySetWritesNothing) {
  kvInterfaceAddr set;
  json doc;
  set.Encode(doc, "192.0.2.9");
  EXPECT_TRUE(doc.is_null());
}

TEST(InterfaceAddrEncode, LinkOnlySetWritesOneElementArray) {
  kvInterfaceAddr set;
  set.Insert(AddrOf("00:11:22:aa:bb:cc"));
  json doc = json::parse(R"({"192.0.2.8": ["x"]})");
  set.Encode(doc, "192.0.2.9");
  EXPECT_EQ(doc, json::parse(R"({"192.0.2.8": ["x"], "192.0.2.9": ["00:11:22:aa:bb:cc"]})"));
}

TEST(InterfaceAddrEncode, EveryFamilyUnderTheKey) {
  kvInterfaceAddr set;
  set.Insert(AddrOf("00:11:22:aa:bb:cc"));
  set.Insert(AddrOf("192.0.2.1"));
  set.Insert(AddrOf("2001:db8::1"));
  json doc;
  set.Encode(doc, "2001:db8::9");
  ASSERT_EQ(doc.size(), 1u);
  EXPECT_EQ(Sorted(doc.at("2001:db8::9")),
            json::parse(R"(["00:11:22:aa:bb:cc", "192.0.2.1", "2001:db8::1"])"));
}

}  // namespace
