// kppChannelConfig::Load: type bits, format and compression read from one configuration object.
#include "config/channel_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config_test_support.h"
#include "kv/exception.h"
#include "kv/json.h"

namespace {

using korvel_test::NestedArrays;
using korvel_test::Record;

const std::string kLoad = "void kppChannelConfig::Load(const string &, const json &): ";
const std::string kNotString = "[json.exception.type_error.302] type must be string, but is ";

// Loads `object` into `config`; returns the text of the kvException or type error it raises.
std::string LoadInto(kppChannelConfig& config, const json& object) {
  try {
    config.Load("channel", object);
  } catch (const kvException& e) {
    return e.what();
  } catch (const json::type_error& e) {
    return e.what();
  }
  return "";
}

struct Case {
  json object;
  kppChannelConfig start;
  kppChannelConfig expected;  // the record after the load, failed or not
  std::string error;          // "" when the load succeeds
};

TEST(ChannelConfig, LoadsEachMemberOrFailsWithItsMessage) {
  const kppChannelConfig none = Record(0);
  const std::vector<Case> cases = {
      // Each type name sets its own bit; bits accumulate, are never cleared, and repeat once.
      {json::parse(R"({"types": ["legacy-http"]})"), none, Record(1), ""},
      {json::parse(R"({"types": ["legacy-socket"]})"), none, Record(2), ""},
      {json::parse(R"({"types": ["stream-flows"]})"), none, Record(4), ""},
      {json::parse(R"({"types": ["stream-stats", "stream-stats"]})"), none, Record(8), ""},
      {json::parse(R"({"types": ["stream-stats"]})"), Record(5, 2, true), Record(13, 2, true), ""},
      {json::parse(R"({"types": []})"), Record(13, 2, true), Record(13, 2, true), ""},
      {json::parse(R"({"types": ["legacy-socket", "stream-flows"]})"), Record(9), Record(15), ""},
      // Types that are not an array, and formats and compressors that are not strings: ignored.
      {json::parse(R"({"types": "legacy-http"})"), Record(2, 2, true), Record(2, 2, true), ""},
      {json::parse(R"({"types": {"legacy-http": true}})"), Record(2), Record(2), ""},
      {json::parse(R"({"types": null, "format": 1, "compressor": true})"), Record(2, 2, true),
       Record(2, 2, true), ""},
      {json::parse(R"({"format": ["msgpack"], "compressor": 0})"), Record(0, 2, true),
       Record(0, 2, true), ""},
      {json::parse(R"({"format": {"msgpack": 1}, "compressor": null})"), none, none, ""},
      // A value that is not an object changes nothing; other members are not read.
      {json::parse(R"([{"types": ["legacy-http"]}])"), Record(2, 2, true), Record(2, 2, true), ""},
      {json::parse(R"("types")"), Record(2), Record(2), ""},
      {json::parse(R"({"enable": false, "other": "x", "types": ["legacy-http"]})"), none, Record(1),
       ""},
      // Names are matched exactly: letter case, trailing bytes.
      {json::parse(R"({"types": ["Legacy-HTTP"]})"), none, none,
       kLoad + "type: Legacy-HTTP: Invalid argument"},
      {json::parse(R"({"types": ["legacy-http "]})"), none, none,
       kLoad + "type: legacy-http : Invalid argument"},
      // The message is a C string: it ends at the NUL, though the name did not match.
      {{{"types", {std::string("legacy-http\0x", 13)}}},
       none,
       none,
       kLoad + "type: legacy-http: Invalid argument"},
      {{{"types", {"\xff\xfe-http"}}}, none, none, kLoad + "type: \xff\xfe-http: Invalid argument"},
      {json::parse(R"({"format": "JSON"})"), Record(0, 2), Record(0, 2),
       kLoad + "format: JSON: Invalid argument"},
      {json::parse(R"({"compressor": "zstd"})"), none, none,
       kLoad + "compressor: zstd: Invalid argument"},
      {json::parse(R"({"compressor": "GZ"})"), none, none,
       kLoad + "compressor: GZ: Invalid argument"},
      // An unknown name keeps the bits of the names before it.
      {json::parse(R"({"types": ["legacy-socket", "stream", "stream-stats"]})"), none, Record(2),
       kLoad + "type: stream: Invalid argument"},
      // Every element is checked to be a string before any name is used.
      {json::parse(R"({"types": ["legacy-http", 5]})"), none, none, kNotString + "number"},
      {json::parse(R"({"types": ["no-such-type", null]})"), none, none, kNotString + "null"},
      {json::parse(R"({"types": ["legacy-http", {"a": 1}]})"), none, none, kNotString + "object"},
      // Types are read before the format, the format before the compressor, and what was read
      // before a failure keeps its new value.
      {json::parse(R"({"compressor": "lz4", "format": "xml", "types": ["x"]})"), none, none,
       kLoad + "type: x: Invalid argument"},
      {json::parse(R"({"compressor": "lz4", "format": "xml"})"), none, none,
       kLoad + "format: xml: Invalid argument"},
      {json::parse(R"({"types": ["stream-flows"], "format": "msgpack", "compressor": "lz4"})"),
       none, Record(4, 2), kLoad + "compressor: lz4: Invalid argument"},
  };
  EXPECT_EQ(kppChannelConfig(), none);
  for (size_t i = 0; i < cases.size(); i++) {
    SCOPED_TRACE("case " + std::to_string(i));
    kppChannelConfig config = cases[i].start;
    EXPECT_EQ(LoadInto(config, cases[i].object), cases[i].error);
    EXPECT_EQ(config, cases[i].expected);
  }
  // Deep values are rejected or ignored without recursion over their levels (nor a copy).
  kppChannelConfig config;
  EXPECT_EQ(LoadInto(config, json::parse("{\"types\":[\"legacy-http\"," + NestedArrays() + "]}")),
            kNotString + "array");
  EXPECT_EQ(LoadInto(config, json::parse("{\"other\":" + NestedArrays() + ",\"format\":" +
                                         NestedArrays() + ",\"types\":[\"stream-flows\"]}")),
            "");
  EXPECT_EQ(config, Record(4));
}

// Every format and compressor member (absent, each name) over both starting records.
TEST(ChannelConfig, EveryCombinationOfFormatAndCompressor) {
  const std::pair<const char*, uint8_t> formats[] = {{nullptr, 0}, {"json", 1}, {"msgpack", 2}};
  const std::pair<const char*, bool> compressors[] = {{nullptr, 0}, {"none", 0}, {"gz", 1}};
  for (const kppChannelConfig& start : {Record(4, 1, false), Record(4, 2, true)}) {
    for (const auto& [format, format_value] : formats) {
      for (const auto& [compressor, compress] : compressors) {
        json object = json::object();
        kppChannelConfig expected = start;
        if (format != nullptr) {
          object["format"] = format;
          expected.format = format_value;
        }
        if (compressor != nullptr) {
          object["compressor"] = compressor;
          expected.compress = compress;
        }
        kppChannelConfig config = start;
        config.Load("channel", object);
        EXPECT_EQ(config, expected) << object.dump() << " from " << int(start.format);
      }
    }
  }
}

}  // namespace
