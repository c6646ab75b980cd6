// Small parsers that turn the reference text of vocabulary_text.h into lists the tests compare
// with the built tables.
#pragma once

#include <cstdint>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace vocabulary {
// Every "N "text"" in TEXT (a number, a space, a quoted text), in order.
inline std::vector<std::pair<uint32_t, std::string>> NumberedTexts(const std::string& text) {
  static const std::regex re(R"((\d+) "([^"]*)\")");
  std::vector<std::pair<uint32_t, std::string>> out;
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    out.emplace_back(static_cast<uint32_t>(std::stoul((*it)[1])), (*it)[2]);
  }
  return out;
}

// Every "| N | "text" |" table row in TEXT, in order.
inline std::vector<std::pair<uint32_t, std::string>> TableRows(const std::string& text) {
  static const std::regex re(R"(\| (\d+) \| "([^"]*)\" \|)");
  std::vector<std::pair<uint32_t, std::string>> out;
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    out.emplace_back(static_cast<uint32_t>(std::stoul((*it)[1])), (*it)[2]);
  }
  return out;
}

// Every "N to M" in TEXT, in order.
inline std::vector<std::pair<uint32_t, uint32_t>> NumberPairs(const std::string& text) {
  static const std::regex re(R"((\d+) to (\d+))");
  std::vector<std::pair<uint32_t, uint32_t>> out;
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    out.emplace_back(static_cast<uint32_t>(std::stoul((*it)[1])),
                     static_cast<uint32_t>(std::stoul((*it)[2])));
  }
  return out;
}

// The part of TEXT after the first FROM and before the next UNTIL.
inline std::string Slice(const std::string& text, const std::string& from,
                         const std::string& until) {
  std::string::size_type begin = text.find(from);
  if (begin == std::string::npos) return std::string();
  begin += from.size();
  return text.substr(begin, text.find(until, begin) - begin);
}
}  // namespace vocabulary
