// ReadDnsAnswers: the A and AAAA answers of a DNS response, with the name that was asked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace capture {

// One address from an answer: version 4 or 6, address bytes (IPv4 in the first four).
struct DnsAnswer {
  uint8_t version = 0;
  uint8_t addr[16] = {};
};

// Reads a DNS message of `length` bytes (a UDP payload). For a response with a question, fills
// `query` with the first question's name (dotted, as sent) and `answers` with its A and AAAA
// records (at most kDnsMaxAnswers), and returns true; false for anything else. Reads only within
// the message; a damaged message gives what was read before the damage.
bool ReadDnsAnswers(const uint8_t* data, size_t length, std::string& query,
                    std::vector<DnsAnswer>& answers);

}  // namespace capture
