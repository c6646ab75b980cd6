// kppChannelConfig::Load: type bits, format and compression read from one configuration object.
#include "config/channel_config.h"

#include <gtest/gtest.h>

#include <string>

#include "config_test_support.h"
#include "kv/exception.h"
#include "kv/json.h"

namespace {

using korvel_test::kHostileDepth;
using korvel_test::NestedArrays;

kppChannelConfig Record(uint8_t types, uint8_t format, bool compress) {
  kppChannelConfig config;
  config.types = types;
  config.format = format;
  config.compress = compress;
  return config;
}

// The what() text of the kvException that loading `object` into `config` throws.
std::string LoadFailure(kppChannelConfig& config, const json& object) {
  try {
    config.Load("channel", object);
  } catch (const kvException& e) {
    return e.what();
  }
  ADD_FAILURE() << "no kvException for " << object.dump();
  return std::string();
}

// The what() text of the JSON library's type error that loading `object` raises.
std::string TypeFailure(kppChannelConfig& config, const json& object) {
  try {
    config.Load("channel", object);
  } catch (const json::type_error& e) {
    return e.what();
  }
  ADD_FAILURE() << "no type error";
  return std::string();
}

TEST(ChannelConfigTypes, BuiltInRecordHasNoTypesJsonFormatAndNoCompression) {
  EXPECT_EQ(kppChannelConfig(), Record(0, 1, false));
}

TEST(ChannelConfigTypes, EachNameSetsItsOwnBit) {
  const std::pair<const char*, uint8_t> names[] = {
      {"legacy-http", 1}, {"legacy-socket", 2}, {"stream-flows", 4}, {"stream-stats", 8}};
  for (const auto& [name, bit] : names) {
    kppChannelConfig config;
    config.Load("channel", {{"types", {name}}});
    EXPECT_EQ(config, Record(bit, 1, false)) << name;
  }
}

TEST(ChannelConfigTypes, BitsAccumulateAndAreNeverCleared) {
  kppChannelConfig config = Record(5, 2, true);
  config.Load("channel", {{"types", {"stream-stats"}}});
  EXPECT_EQ(config, Record(13, 2, true));
  config.Load("channel", {{"types", json::array()}});
  EXPECT_EQ(config, Record(13, 2, true));
  config.Load("channel", {{"types", {"legacy-socket", "stream-flows"}}});
  EXPECT_EQ(config, Record(15, 2, true));
}

TEST(ChannelConfigTypes, RepeatedNameSetsItsBitOnce) {
  kppChannelConfig config;
  config.Load("channel", {{"types", {"stream-stats", "stream-stats"}}});
  EXPECT_EQ(config, Record(8, 1, false));
}

TEST(ChannelConfigTypes, TypesThatIsNotAnArrayIsIgnored) {
  const json values[] = {"legacy-http", 1, true, nullptr, {{"legacy-http", true}}};
  for (const json& value : values) {
    kppChannelConfig config = Record(2, 2, true);
    config.Load("channel", {{"types", value}});
    EXPECT_EQ(config, Record(2, 2, true)) << value.dump();
  }
}

TEST(ChannelConfigTypes, NameInOtherLetterCaseIsRejectedAsWritten) {
  kppChannelConfig config;
  EXPECT_EQ(LoadFailure(config, {{"types", {"Legacy-HTTP"}}}),
            "void kppChannelConfig::Load(const string &, const json &): type: Legacy-HTTP: "
            "Invalid argument");
}

TEST(ChannelConfigTypes, UnknownNameKeepsTheBitsOfEarlierNamesOnly) {
  kppChannelConfig config;
  EXPECT_EQ(LoadFailure(config, {{"types", {"legacy-socket", "stream", "stream-stats"}}}),
            "void kppChannelConfig::Load(const string &, const json &): type: stream: "
            "Invalid argument");
  EXPECT_EQ(config, Record(2, 1, false));
}

TEST(ChannelConfigTypes, NameWithTrailingBytesIsNotTheName) {
  kppChannelConfig config;
  EXPECT_EQ(LoadFailure(config, {{"types", {"legacy-http "}}}),
            "void kppChannelConfig::Load(const string &, const json &): type: legacy-http : "
            "Invalid argument");
  // The message is a C string: it ends at the NUL, though the name did not match.
  EXPECT_EQ(LoadFailure(config, {{"types", {std::string("legacy-http\0x", 13)}}}),
            "void kppChannelConfig::Load(const string &, const json &): type: legacy-http: "
            "Invalid argument");
  EXPECT_EQ(config, Record(0, 1, false));
}

TEST(ChannelConfigTypes, InvalidUtf8NameIsReportedByteForByte) {
  kppChannelConfig config;
  EXPECT_EQ(LoadFailure(config, {{"types", {"\xff\xfe-http"}}}),
            "void kppChannelConfig::Load(const string &, const json &): type: \xff\xfe-http: "
            "Invalid argument");
}

TEST(ChannelConfigTypes, NonStringElementRaisesTypeErrorBeforeAnyNameIsUsed) {
  kppChannelConfig config;
  EXPECT_EQ(TypeFailure(config, {{"types", {"legacy-http", 5}}}),
            "[json.exception.type_error.302] type must be string, but is number");
  EXPECT_EQ(config, Record(0, 1, false));
  // The element check comes first, even ahead of an unknown name earlier in the list.
  EXPECT_EQ(TypeFailure(config, {{"types", {"no-such-type", nullptr}}}),
            "[json.exception.type_error.302] type must be string, but is null");
  EXPECT_EQ(TypeFailure(config, {{"types", {"legacy-http", {{"a", 1}}}}}),
            "[json.exception.type_error.302] type must be string, but is object");
}

TEST(ChannelConfigTypes, DeeplyNestedElementRaisesTypeError) {
  kppChannelConfig config;
  json object = json::parse("{\"types\":[\"legacy-http\"," + NestedArrays(kHostileDepth) + "]}");
  EXPECT_EQ(TypeFailure(config, object),
            "[json.exception.type_error.302] type must be string, but is array");
  EXPECT_EQ(config, Record(0, 1, false));
}

TEST(ChannelConfigFormat, NamesSetTheFormat) {
  kppChannelConfig config;
  config.Load("channel", {{"format", "msgpack"}});
  EXPECT_EQ(config, Record(0, 2, false));
  config.Load("channel", {{"format", "json"}});
  EXPECT_EQ(config, Record(0, 1, false));
}

TEST(ChannelConfigFormat, NameInOtherLetterCaseThrows) {
  kppChannelConfig config = Record(0, 2, false);
  EXPECT_EQ(LoadFailure(config, {{"format", "JSON"}}),
            "void kppChannelConfig::Load(const string &, const json &): format: JSON: "
            "Invalid argument");
  EXPECT_EQ(config, Record(0, 2, false));
}

TEST(ChannelConfigFormat, NonStringIsIgnored) {
  const json values[] = {1, 2, true, nullptr, {"msgpack"}, {{"msgpack", 1}}};
  for (const json& value : values) {
    kppChannelConfig config = Record(0, 2, false);
    config.Load("channel", {{"format", value}});
    EXPECT_EQ(config, Record(0, 2, false)) << value.dump();
  }
}

TEST(ChannelConfigCompressor, NamesSetCompression) {
  kppChannelConfig config;
  config.Load("channel", {{"compressor", "gz"}});
  EXPECT_EQ(config, Record(0, 1, true));
  config.Load("channel", {{"compressor", "none"}});
  EXPECT_EQ(config, Record(0, 1, false));
}

TEST(ChannelConfigCompressor, OtherMethodThrows) {
  kppChannelConfig config;
  EXPECT_EQ(LoadFailure(config, {{"compressor", "zstd"}}),
            "void kppChannelConfig::Load(const string &, const json &): compressor: zstd: "
            "Invalid argument");
  EXPECT_EQ(LoadFailure(config, {{"compressor", "GZ"}}),
            "void kppChannelConfig::Load(const string &, const json &): compressor: GZ: "
            "Invalid argument");
  EXPECT_EQ(config, Record(0, 1, false));
}

TEST(ChannelConfigCompressor, NonStringIsIgnored) {
  const json values[] = {true, false, 0, nullptr};
  for (const json& value : values) {
    kppChannelConfig config = Record(0, 1, true);
    config.Load("channel", {{"compressor", value}});
    EXPECT_EQ(config, Record(0, 1, true)) << value.dump();
  }
}

// Every format and compressor member (absent, each name) over both starting records.
TEST(ChannelConfigFlags, EveryCombinationOfFormatAndCompressor) {
  const std::pair<const char*, uint8_t> formats[] = {{nullptr, 0}, {"json", 1}, {"msgpack", 2}};
  const std::pair<const char*, int> compressors[] = {{nullptr, -1}, {"none", 0}, {"gz", 1}};
  const kppChannelConfig starts[] = {Record(4, 1, false), Record(4, 2, true)};
  for (const kppChannelConfig& start : starts) {
    for (const auto& [format, format_value] : formats) {
      for (const auto& [compressor, compress_value] : compressors) {
        json object = json::object();
        if (format != nullptr) object["format"] = format;
        if (compressor != nullptr) object["compressor"] = compressor;
        kppChannelConfig config = start;
        config.Load("channel", object);
        kppChannelConfig expected = start;
        if (format != nullptr) expected.format = format_value;
        if (compressor != nullptr) expected.compress = compress_value == 1;
        EXPECT_EQ(config, expected)
            << object.dump() << " from format " << static_cast<int>(start.format);
      }
    }
  }
}

TEST(ChannelConfigOrder, TypesAreReadBeforeFormatAndFormatBeforeCompressor) {
  kppChannelConfig config;
  EXPECT_EQ(LoadFailure(config, {{"compressor", "lz4"}, {"format", "xml"}, {"types", {"x"}}}),
            "void kppChannelConfig::Load(const string &, const json &): type: x: "
            "Invalid argument");
  EXPECT_EQ(LoadFailure(config, {{"compressor", "lz4"}, {"format", "xml"}}),
            "void kppChannelConfig::Load(const string &, const json &): format: xml: "
            "Invalid argument");
  EXPECT_EQ(config, Record(0, 1, false));
}

TEST(ChannelConfigOrder, FieldsReadBeforeAFailureKeepTheirNewValues) {
  kppChannelConfig config;
  LoadFailure(config, {{"types", {"stream-flows"}}, {"format", "msgpack"}, {"compressor", "lz4"}});
  EXPECT_EQ(config, Record(4, 2, false));
}

TEST(ChannelConfigLoad, ValueThatIsNotAnObjectChangesNothing) {
  const json values[] = {nullptr, true, 7, "types", json::parse(R"([{"types":["legacy-http"]}])")};
  for (const json& value : values) {
    kppChannelConfig config = Record(2, 2, true);
    config.Load("channel", value);
    EXPECT_EQ(config, Record(2, 2, true)) << value.dump();
  }
}

TEST(ChannelConfigLoad, LoadingTwiceEqualsLoadingOnce) {
  const json object = {
      {"types", {"legacy-http", "stream-stats"}}, {"format", "msgpack"}, {"compressor", "gz"}};
  kppChannelConfig once;
  once.Load("channel", object);
  kppChannelConfig twice = once;
  twice.Load("channel", object);
  EXPECT_EQ(once, Record(9, 2, true));
  EXPECT_EQ(twice, once);
}

TEST(ChannelConfigLoad, OtherMembersAreIgnoredHoweverDeep) {
  json object =
      json::parse("{\"enable\":false,\"other\":" + NestedArrays(kHostileDepth) +
                  ",\"format\":" + NestedArrays(kHostileDepth) + ",\"types\":[\"stream-flows\"]}");
  kppChannelConfig config;
  config.Load("channel", object);
  EXPECT_EQ(config, Record(4, 1, false));
}

}  // namespace
