// ReadDnsAnswers: walking a DNS response's question and answer sections.
#include "tools/capture/classify/dns_answers.h"

#include <cstring>

#include "tools/capture/constants.h"

namespace capture {

namespace {

constexpr size_t kDnsHeader = 12;
constexpr uint16_t kTypeA = 1;
constexpr uint16_t kTypeAaaa = 28;
constexpr uint16_t kClassIn = 1;
constexpr uint8_t kFlagResponse = 0x80;
constexpr uint8_t kPointer = 0xc0;
// Compression pointers followed in one name before it is taken as damaged.
constexpr int kMaxPointers = 16;
constexpr size_t kMaxNameText = 255;

uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// Reads the name at `offset`; on return `offset` is just after it (after the first pointer when
// compressed). `text` gets the dotted name when wanted.
bool ReadName(const uint8_t* data, size_t length, size_t& offset, std::string* text) {
  size_t at = offset;
  bool jumped = false;
  int pointers = 0;
  for (;;) {
    if (at >= length) return false;
    const uint8_t label = data[at];
    if ((label & kPointer) == kPointer) {
      if (at + 1 >= length || ++pointers > kMaxPointers) return false;
      const size_t target = (size_t{label & 0x3fu} << 8) | data[at + 1];
      if (!jumped) offset = at + 2;
      jumped = true;
      at = target;
      continue;
    }
    if ((label & kPointer) != 0) return false;
    if (label == 0) {
      if (!jumped) offset = at + 1;
      return true;
    }
    if (at + 1 + label > length) return false;
    if (text && text->size() < kMaxNameText) {
      if (!text->empty()) text->push_back('.');
      text->append(reinterpret_cast<const char*>(data + at + 1), label);
    }
    at += 1 + size_t{label};
  }
}

}  // namespace

bool ReadDnsAnswers(const uint8_t* data, size_t length, std::string& query,
                    std::vector<DnsAnswer>& answers) {
  query.clear();
  answers.clear();
  if (!data || length < kDnsHeader || (data[2] & kFlagResponse) == 0) return false;
  const uint16_t questions = Be16(data + 4);
  const uint16_t records = Be16(data + 6);
  if (questions == 0) return false;
  size_t offset = kDnsHeader;
  for (uint16_t i = 0; i < questions; i++) {
    if (!ReadName(data, length, offset, i == 0 ? &query : nullptr)) return false;
    if (offset + 4 > length) return false;
    offset += 4;
  }
  if (query.size() > kMaxNameText) query.resize(kMaxNameText);
  for (uint16_t i = 0; i < records && answers.size() < static_cast<size_t>(kDnsMaxAnswers); i++) {
    if (!ReadName(data, length, offset, nullptr) || offset + 10 > length) break;
    const uint16_t type = Be16(data + offset);
    const uint16_t klass = Be16(data + offset + 2);
    const uint16_t rdlength = Be16(data + offset + 8);
    offset += 10;
    if (offset + rdlength > length) break;
    DnsAnswer answer;
    if (klass == kClassIn && type == kTypeA && rdlength == 4) {
      answer.version = 4;
    } else if (klass == kClassIn && type == kTypeAaaa && rdlength == 16) {
      answer.version = 6;
    }
    if (answer.version != 0) {
      std::memcpy(answer.addr, data + offset, rdlength);
      answers.push_back(answer);
    }
    offset += rdlength;
  }
  return !query.empty();
}

}  // namespace capture
