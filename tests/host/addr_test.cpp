// Tests of kvAddr: parsing, the flags-0 and with-port texts, ports, equality and hashing.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <string>
#include <unordered_set>

#include "kv/addr.h"

namespace {

kvAddr Parsed(const std::string& text) {
  kvAddr addr;
  EXPECT_TRUE(kvAddr::FromString(text, addr)) << text;
  return addr;
}

std::string Text(const kvAddr& addr, kvFlags<kvAddr::MakeFlags> flags) {
  std::string out = "previous content";
  kvAddr::MakeString(addr, out, flags);
  return out;
}

constexpr kvAddr::MakeFlags kPlain = kvAddr::MAKE_DEFAULT;
constexpr kvAddr::MakeFlags kWithPort = kvAddr::MAKE_WITH_PORT;

TEST(AddrTextTest, IPv4) {
  const kvAddr addr = kvAddr::FromIPv4(0xc0000201u, 3478);
  EXPECT_EQ(Text(addr, kPlain), "192.0.2.1");
  EXPECT_EQ(Text(addr, kWithPort), "192.0.2.1:3478");
  EXPECT_EQ(Text(kvAddr::FromIPv4(0), kWithPort), "0.0.0.0:0");
}

TEST(AddrTextTest, IPv6UsesTheShortFormAndBracketsWithAPort) {
  const kvAddr addr = Parsed("[2001:0db8:0000:0000:0000:0000:0000:0001]:3478");
  EXPECT_EQ(Text(addr, kPlain), "2001:db8::1");
  EXPECT_EQ(Text(addr, kWithPort), "[2001:db8::1]:3478");
  EXPECT_EQ(Text(Parsed("::ffff:192.0.2.1"), kPlain), "::ffff:192.0.2.1");
  EXPECT_EQ(Text(Parsed("::"), kWithPort), "[::]:0");
}

TEST(AddrTextTest, MacIsLowerCaseWithoutPort) {
  const kvAddr addr = Parsed("00:1A:2b:C3:d4:E5");
  EXPECT_EQ(Text(addr, kPlain), "00:1a:2b:c3:d4:e5");
  EXPECT_EQ(Text(addr, kWithPort), "00:1a:2b:c3:d4:e5");
  const uint8_t mac[6] = {0x02, 0x00, 0x5e, 0x10, 0x00, 0xff};
  EXPECT_EQ(Text(kvAddr::FromLink(mac), kPlain), "02:00:5e:10:00:ff");
}

TEST(AddrTextTest, EmptyRecordGivesEmptyText) {
  const kvAddr addr;
  EXPECT_FALSE(addr.HasAddress());
  EXPECT_EQ(Text(addr, kPlain), "");
  EXPECT_EQ(Text(addr, kWithPort), "");
}

TEST(AddrParseTest, AcceptsAddressesWithAndWithoutPort) {
  kvAddr addr;
  ASSERT_TRUE(kvAddr::FromString("192.0.2.1", addr));
  EXPECT_EQ(addr.Family(), AF_INET);
  EXPECT_EQ(addr.GetPort(true), 0);
  ASSERT_TRUE(kvAddr::FromString("192.0.2.1:53", addr));
  EXPECT_EQ(Text(addr, kWithPort), "192.0.2.1:53");
  ASSERT_TRUE(kvAddr::FromString("192.0.2.1:65535", addr));
  EXPECT_EQ(addr.GetPort(true), 65535);
  ASSERT_TRUE(kvAddr::FromString("2001:db8::1", addr));
  EXPECT_EQ(addr.Family(), AF_INET6);
  EXPECT_EQ(addr.GetPort(true), 0);
  ASSERT_TRUE(kvAddr::FromString("[2001:db8::1]:53", addr));
  EXPECT_EQ(Text(addr, kWithPort), "[2001:db8::1]:53");
  ASSERT_TRUE(kvAddr::FromString("00:11:22:aa:bb:cc", addr));
  EXPECT_EQ(addr.Family(), AF_LINK);
}

TEST(AddrParseTest, RejectsBadTextsAndLeavesTheRecordEmpty) {
  for (const char* text :
       {"", "192.0.2", "192.0.2.256", "192.0.2.1:65536", "192.0.2.1:", "192.0.2.1:x",
        "192.0.2.1:-1", "192.0.2.1:5:6", "[2001:db8::1]", "[2001:db8::1]:", "[2001:db8::1]:x",
        "[2001:db8::1", "[192.0.2.1]:53", "2001:db8::g", "00:11:22:aa:bb", "00:11:22:aa:bb:cg",
        "00-11-22-aa-bb-cc", "example.com", " 192.0.2.1"}) {
    SCOPED_TRACE(text);
    kvAddr addr = kvAddr::FromIPv4(0x0a000001u, 80);
    EXPECT_FALSE(kvAddr::FromString(text, addr));
    EXPECT_FALSE(addr.HasAddress());
    EXPECT_EQ(Text(addr, kPlain), "");
  }
}

TEST(AddrPortTest, HostAndNetworkOrder) {
  const kvAddr v4 = kvAddr::FromIPv4(0xc0000201u, 0x1234);
  EXPECT_EQ(v4.GetPort(true), 0x1234);
  EXPECT_EQ(v4.GetPort(false), htons(0x1234));
  const kvAddr v6 = Parsed("[2001:db8::1]:4660");
  EXPECT_EQ(v6.GetPort(true), 4660);
  EXPECT_EQ(v6.GetPort(false), htons(4660));
}

TEST(AddrPortTest, RecordsWithoutPortGiveZero) {
  EXPECT_EQ(Parsed("00:11:22:aa:bb:cc").GetPort(true), 0);
  EXPECT_EQ(kvAddr().GetPort(true), 0);
  EXPECT_EQ(kvAddr().GetPort(false), 0);
}

TEST(AddrEqualityTest, ComparesFamilyAddressAndPort) {
  EXPECT_EQ(Parsed("192.0.2.1:53"), kvAddr::FromIPv4(0xc0000201u, 53));
  EXPECT_NE(Parsed("192.0.2.1:53"), Parsed("192.0.2.1:54"));
  EXPECT_NE(Parsed("192.0.2.1"), Parsed("192.0.2.2"));
  EXPECT_NE(Parsed("192.0.2.1"), Parsed("::ffff:192.0.2.1"));
  EXPECT_EQ(Parsed("[2001:db8::1]:53"), Parsed("[2001:db8:0::1]:53"));
  EXPECT_NE(Parsed("[2001:db8::1]:53"), Parsed("[2001:db8::1]:54"));
  EXPECT_EQ(Parsed("00:11:22:aa:bb:cc"), Parsed("00:11:22:AA:BB:CC"));
  EXPECT_NE(Parsed("00:11:22:aa:bb:cc"), Parsed("00:11:22:aa:bb:cd"));
  EXPECT_EQ(kvAddr(), kvAddr());
  EXPECT_NE(kvAddr(), Parsed("0.0.0.0"));
}

TEST(AddrEqualityTest, EqualRecordsHashEqualAndSetsKeepOne) {
  EXPECT_EQ(Parsed("192.0.2.1:53").Hash(), kvAddr::FromIPv4(0xc0000201u, 53).Hash());
  EXPECT_EQ(std::hash<kvAddr>()(Parsed("2001:db8::1")), Parsed("2001:db8:0::1").Hash());
  std::unordered_set<kvAddr> set;
  set.insert(Parsed("192.0.2.1"));
  set.insert(kvAddr::FromIPv4(0xc0000201u));
  set.insert(Parsed("192.0.2.1:80"));
  set.insert(Parsed("00:11:22:aa:bb:cc"));
  set.insert(Parsed("00:11:22:AA:BB:CC"));
  set.insert(Parsed("2001:db8::1"));
  EXPECT_EQ(set.size(), 4u);
  EXPECT_EQ(set.count(Parsed("192.0.2.1:80")), 1u);
  EXPECT_EQ(set.count(Parsed("192.0.2.1:81")), 0u);
}

TEST(AddrCopyTest, CopiesTakeTheAddressButNotTheTextCache) {
  kvAddr source = Parsed("192.0.2.1:53");
  source.cache_flags = kvAddr::MAKE_WITH_PORT;
  source.cache_text = "stale";
  const kvAddr copy(source);
  EXPECT_EQ(copy, source);
  EXPECT_EQ(copy.cache_flags, 0);
  EXPECT_EQ(copy.cache_text, "");

  kvAddr assigned = Parsed("2001:db8::1");
  assigned.cache_text = "2001:db8::1";
  assigned = source;
  EXPECT_EQ(assigned, source);
  EXPECT_EQ(assigned.cache_text, "");
  EXPECT_EQ(Text(assigned, kPlain), "192.0.2.1");
}

TEST(AddrCopyTest, ClearEmptiesTheRecord) {
  kvAddr addr = Parsed("[2001:db8::1]:53");
  addr.Clear();
  EXPECT_FALSE(addr.HasAddress());
  EXPECT_EQ(addr, kvAddr());
  EXPECT_EQ(addr.GetPort(true), 0);
}

}  // namespace
