// Tests of kvAddr: parsing, the plain and with-port texts and their cache, ports, equality,
// hashing and copies.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <atomic>
#include <string>
#include <thread>
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

TEST(AddrTest, ParsedTextsFamiliesAndPorts) {
  const struct {
    const char* text;
    int family;
    uint16_t port;
    const char* plain;
    const char* with_port;
  } cases[] = {
      {"192.0.2.1", AF_INET, 0, "192.0.2.1", "192.0.2.1:0"},
      {"192.0.2.1:53", AF_INET, 53, "192.0.2.1", "192.0.2.1:53"},
      {"192.0.2.1:65535", AF_INET, 65535, "192.0.2.1", "192.0.2.1:65535"},
      {"2001:db8::1", AF_INET6, 0, "2001:db8::1", "[2001:db8::1]:0"},
      {"[2001:0db8:0000:0000:0000:0000:0000:0001]:3478", AF_INET6, 3478, "2001:db8::1",
       "[2001:db8::1]:3478"},
      {"::ffff:192.0.2.1", AF_INET6, 0, "::ffff:192.0.2.1", "[::ffff:192.0.2.1]:0"},
      {"::", AF_INET6, 0, "::", "[::]:0"},
      {"00:1A:2b:C3:d4:E5", AF_LINK, 0, "00:1a:2b:c3:d4:e5", "00:1a:2b:c3:d4:e5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const kvAddr addr = Parsed(c.text);
    EXPECT_EQ(addr.Family(), c.family);
    EXPECT_EQ(addr.GetPort(true), c.port);
    EXPECT_EQ(addr.GetPort(false), htons(c.port));
    EXPECT_EQ(Text(addr, kPlain), c.plain);
    EXPECT_EQ(Text(addr, kWithPort), c.with_port);
    EXPECT_EQ(addr.GetString(kWithPort), c.with_port);
    EXPECT_EQ(addr.GetString(kPlain), c.plain);
  }
  EXPECT_EQ(Text(kvAddr::FromIPv4(0xc0000201u, 3478), kWithPort), "192.0.2.1:3478");
  EXPECT_EQ(Text(kvAddr::FromIPv4(0), kWithPort), "0.0.0.0:0");
  const uint8_t mac[6] = {0x02, 0x00, 0x5e, 0x10, 0x00, 0xff};
  EXPECT_EQ(Text(kvAddr::FromLink(mac), kPlain), "02:00:5e:10:00:ff");

  const kvAddr empty;
  EXPECT_FALSE(empty.HasAddress());
  EXPECT_EQ(Text(empty, kPlain), "");
  EXPECT_EQ(Text(empty, kWithPort), "");
  EXPECT_EQ(empty.GetPort(true), 0);
  EXPECT_EQ(empty.GetPort(false), 0);
}

TEST(AddrTest, RejectsBadTextsAndLeavesTheRecordEmpty) {
  for (const char* text :
       {"", "192.0.2", "192.0.2.256", "192.0.2.1:65536", "192.0.2.1:", "192.0.2.1:x",
        "192.0.2.1:-1", "192.0.2.1:5:6", "[2001:db8::1]", "[2001:db8::1]:", "[2001:db8::1]:x",
        "[2001:db8::1", "[192.0.2.1]:53", "2001:db8::g", "00:11:22:aa:bb", "00:11:22:aa:bb:cg",
        "00-11-22-aa-bb-cc", "example.com", " 192.0.2.1"}) {
    kvAddr addr = kvAddr::FromIPv4(0x0a000001u, 80);
    EXPECT_FALSE(kvAddr::FromString(text, addr)) << text;
    EXPECT_FALSE(addr.HasAddress()) << text;
    EXPECT_EQ(Text(addr, kPlain), "") << text;
  }
}

TEST(AddrTest, EqualityAndHashCompareFamilyAddressAndPort) {
  EXPECT_EQ(Parsed("192.0.2.1:53"), kvAddr::FromIPv4(0xc0000201u, 53));
  EXPECT_NE(Parsed("192.0.2.1:53"), Parsed("192.0.2.1:54"));
  EXPECT_NE(Parsed("192.0.2.1"), Parsed("192.0.2.2"));
  EXPECT_NE(Parsed("192.0.2.1"), Parsed("::ffff:192.0.2.1"));
  EXPECT_EQ(Parsed("[2001:db8::1]:53"), Parsed("[2001:db8:0::1]:53"));
  EXPECT_NE(Parsed("[2001:db8::1]:53"), Parsed("[2001:db8::1]:54"));
  EXPECT_NE(Parsed("00:11:22:aa:bb:cc"), Parsed("00:11:22:aa:bb:cd"));
  EXPECT_EQ(kvAddr(), kvAddr());
  EXPECT_NE(kvAddr(), Parsed("0.0.0.0"));
  EXPECT_EQ(Parsed("192.0.2.1:53").Hash(), kvAddr::FromIPv4(0xc0000201u, 53).Hash());
  EXPECT_EQ(std::hash<kvAddr>()(Parsed("2001:db8::1")), Parsed("2001:db8:0::1").Hash());
  std::unordered_set<kvAddr> set;
  for (const char* text :
       {"192.0.2.1", "192.0.2.1:80", "00:11:22:aa:bb:cc", "00:11:22:AA:BB:CC", "2001:db8::1"}) {
    set.insert(Parsed(text));
  }
  set.insert(kvAddr::FromIPv4(0xc0000201u));
  EXPECT_EQ(set.size(), 4u);
  EXPECT_EQ(set.count(Parsed("192.0.2.1:80")), 1u);
  EXPECT_EQ(set.count(Parsed("192.0.2.1:81")), 0u);
}

TEST(AddrTest, CopiesTakeTheAddressButNotTheTextCacheAndClearEmpties) {
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
  assigned.Clear();
  EXPECT_FALSE(assigned.HasAddress());
  EXPECT_EQ(assigned, kvAddr());
  EXPECT_EQ(assigned.GetPort(true), 0);
}

TEST(AddrTest, GetStringCachesTheTextOfTheLastFlags) {
  const kvAddr addr = Parsed("[2001:db8::1]:3478");
  const std::string with_port = addr.GetString(kWithPort);
  EXPECT_EQ(addr.cache_flags, 2);
  EXPECT_EQ(addr.cache_text, "[2001:db8::1]:3478");
  EXPECT_EQ(addr.GetString(kPlain), "2001:db8::1");
  EXPECT_EQ(with_port, "[2001:db8::1]:3478");  // a copy outlives the rebuild
  EXPECT_EQ(addr.cache_flags, 0);
  EXPECT_EQ(addr.cache_text, "2001:db8::1");
  // A text MakeString would never make shows the same flags are served from the cache.
  addr.cache_text = "cached";
  EXPECT_EQ(addr.GetString(kPlain), "cached");
  addr.cache_text.clear();  // an empty cached text is rebuilt
  EXPECT_EQ(addr.GetString(kPlain), "2001:db8::1");

  const kvAddr empty;
  EXPECT_EQ(empty.GetString(kPlain), "");
  EXPECT_EQ(empty.GetString(kWithPort), "");
  EXPECT_EQ(empty.cache_flags, 2);
}

TEST(AddrTest, GetStringFromTwoThreadsAlternatingFlags) {
  const kvAddr addr = Parsed("[2001:db8::1]:3478");
  std::atomic<int> wrong{0};
  auto ask = [&addr, &wrong](kvFlags<kvAddr::MakeFlags> flags, const std::string& expected) {
    for (int i = 0; i < 20000; i++) {
      if (addr.GetString(flags) != expected) wrong++;
    }
  };
  std::thread plain(ask, kPlain, std::string("2001:db8::1"));
  std::thread with_port(ask, kWithPort, std::string("[2001:db8::1]:3478"));
  plain.join();
  with_port.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
