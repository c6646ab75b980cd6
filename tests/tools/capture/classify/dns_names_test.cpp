// DNS answers and the name cache: A and AAAA answers read from responses (damaged ones
// included), names remembered for their lifetime and the oldest answer giving way when full.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/capture/frames.h"
#include "tools/capture/classify/dns_answers.h"
#include "tools/capture/classify/dns_name_cache.h"

namespace {

using capture::DnsAnswer;
using capture_test::Bytes;
using capture_test::Cat;

Bytes Name(std::initializer_list<const char*> labels) {
  Bytes out;
  for (const char* label : labels) {
    out.push_back(static_cast<uint8_t>(std::string(label).size()));
    out.insert(out.end(), label, label + std::string(label).size());
  }
  out.push_back(0);
  return out;
}

Bytes Record(const Bytes& name, uint16_t type, const Bytes& data) {
  Bytes fixed = {
      static_cast<uint8_t>(type >> 8),        static_cast<uint8_t>(type),       0, 1, 0, 0, 1, 0,
      static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size())};
  return Cat({name, fixed, data});
}

// A response to "www.example.org" A with a CNAME, two A and one AAAA answer; names after the
// question are compressed to it (offset 12).
Bytes Response() {
  const Bytes header = {0x12, 0x34, 0x81, 0x80, 0, 1, 0, 4, 0, 0, 0, 0};
  const Bytes question = Cat({Name({"www", "example", "org"}), Bytes{0, 1, 0, 1}});
  const Bytes pointer = {0xc0, 0x0c};
  Bytes aaaa(16, 0);
  aaaa[0] = 0x20;
  aaaa[1] = 0x01;
  aaaa[15] = 0x07;
  return Cat({header, question, Record(pointer, 5, Name({"edge", "example", "net"})),
              Record(pointer, 1, Bytes{93, 184, 216, 34}), Record(pointer, 1, Bytes{10, 0, 0, 9}),
              Record(pointer, 28, aaaa)});
}

TEST(DnsAnswersTest, ResponsesGiveTheQuestionAndTheirAddresses) {
  const Bytes message = Response();
  std::string query;
  std::vector<DnsAnswer> answers;
  ASSERT_TRUE(capture::ReadDnsAnswers(message.data(), message.size(), query, answers));
  EXPECT_EQ(query, "www.example.org");
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0].version, 4);
  EXPECT_EQ(Bytes(answers[0].addr, answers[0].addr + 4), (Bytes{93, 184, 216, 34}));
  EXPECT_EQ(Bytes(answers[1].addr, answers[1].addr + 4), (Bytes{10, 0, 0, 9}));
  EXPECT_EQ(answers[2].version, 6);
  EXPECT_EQ(answers[2].addr[0], 0x20);
  EXPECT_EQ(answers[2].addr[15], 0x07);

  // A query (no response bit) gives nothing.
  Bytes asked = message;
  asked[2] = 0x01;
  EXPECT_FALSE(capture::ReadDnsAnswers(asked.data(), asked.size(), query, answers));
  EXPECT_TRUE(answers.empty());
}

TEST(DnsAnswersTest, DamagedResponsesGiveWhatCameBeforeTheDamage) {
  const Bytes message = Response();
  std::string query;
  std::vector<DnsAnswer> answers;
  // Cut inside the second A record: the first is still read.
  const size_t cut = message.size() - 28 - 8;
  ASSERT_TRUE(capture::ReadDnsAnswers(message.data(), cut, query, answers));
  EXPECT_EQ(answers.size(), 1u);
  // Every shorter cut reads within the message and never claims an answer it did not see.
  for (size_t length = 0; length < message.size(); length++) {
    capture::ReadDnsAnswers(message.data(), length, query, answers);
    EXPECT_LE(answers.size(), 3u);
  }
  // A pointer loop in the question is refused.
  Bytes loop = {0x12, 0x34, 0x81, 0x80, 0, 1, 0, 1, 0, 0, 0, 0, 0xc0, 0x0c, 0, 1, 0, 1};
  EXPECT_FALSE(capture::ReadDnsAnswers(loop.data(), loop.size(), query, answers));
}

TEST(DnsNameCacheTest, NamesLastTheirLifetimeAndTheOldestGivesWayWhenFull) {
  capture::DnsNameCache cache(2, 100);
  const uint8_t a[4] = {10, 0, 0, 1}, b[4] = {10, 0, 0, 2}, c[4] = {10, 0, 0, 3};
  uint8_t v6[16] = {};
  std::copy(a, a + 4, v6);  // the same bytes as IPv6 are another address
  cache.Add(4, a, "a.test", 1000);
  EXPECT_EQ(cache.Find(4, a, 1000), "a.test");
  EXPECT_EQ(cache.Find(4, a, 1100), "a.test");
  EXPECT_EQ(cache.Find(4, a, 1101), "");
  EXPECT_EQ(cache.Find(6, v6, 1000), "");

  cache.Add(4, b, "b.test", 1010);
  cache.Add(4, a, "a2.test", 1020);  // a new answer for a: newest now, with a new lifetime
  cache.Add(4, c, "c.test", 1030);   // full: b, the oldest answer, goes
  EXPECT_EQ(cache.Size(), 2u);
  EXPECT_EQ(cache.Find(4, b, 1030), "");
  EXPECT_EQ(cache.Find(4, a, 1115), "a2.test");
  EXPECT_EQ(cache.Find(4, c, 1030), "c.test");
}

}  // namespace
