// Hostile configuration files: nesting a million levels deep in every member, 50 MB files, bytes
// that are not text, files that are no regular files or cannot be read. Each load either
// installs exactly what the file says or fails with its exact message and changes nothing.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "config/config_test_support.h"
#include "plugin/plugin.h"
#include "reliability/scale.h"
#include "support/log_capture.h"
#include "support/wait.h"

namespace {

using korvel_test::LogCapture;
using korvel_test::NestedArrays;
using korvel_test::NestedObjects;
using korvel_test::ScratchDir;

// A million levels: recursion over the levels would need far more stack than any thread has.
// Under valgrind, which runs every step many times slower, a hundredth of it.
size_t Depth() {
  return korvel_test::RunsNatively() ? 1000000 : 10000;
}
// 50 MB, or 5 MB under valgrind.
size_t LargeFileBytes() {
  return korvel_test::RunsNatively() ? 50u << 20 : 5u << 20;
}

kppChannelConfig Record(uint8_t types, uint8_t format = 1, bool compress = false) {
  kppChannelConfig config;
  config.types = types;
  config.format = format;
  config.compress = compress;
  return config;
}

// The settings a load installs.
struct Settings {
  kppChannelConfig defaults;
  kppPlugin::Sinks sinks;
  uint8_t channel_types;
  std::vector<std::string> flow_filters;

  bool operator==(const Settings& other) const {
    return defaults == other.defaults && sinks == other.sinks &&
           channel_types == other.channel_types && flow_filters == other.flow_filters;
  }
};

void PrintTo(const Settings& settings, std::ostream* out) {
  *out << "channel_types " << int(settings.channel_types) << ", " << settings.sinks.size()
       << " sinks, filters " << ::testing::PrintToString(settings.flow_filters);
}

// The configuration in force before every hostile file, so a failure can be seen to keep it.
constexpr const char* kGoodConfig = R"({"types": ["stream-stats"], "format": "msgpack",
  "flow_filters": ["ip_protocol == 6"],
  "sinks": {"sink": {"flows": {"types": ["stream-flows"], "compressor": "gz"}}}})";

const Settings& GoodSettings() {
  static const Settings settings{
      Record(8, 2), {{"sink", {{"flows", Record(12, 2, true)}}}}, 12, {"ip_protocol == 6"}};
  return settings;
}

const kppChannelConfig kBuiltIn = Record(0);
const std::vector<std::string> kGoodFilters = {"ip_protocol == 6"};

class HostileConfigTest : public ::testing::Test {
 protected:
  HostileConfigTest() : path(dir.Path("korvel.json")), plugin("tag", {{"conf_filename", path}}) {}

  Settings Current() const {
    return {plugin.defaults, plugin.sinks, plugin.channel_types.load(), plugin.flow_filters};
  }

  void LoadGood() {
    dir.Write("korvel.json", kGoodConfig);
    plugin.Reload();
    ASSERT_EQ(Current(), GoodSettings());
  }

  // Loads the good configuration, then `content`; returns what the second load logged.
  std::vector<std::string> LoadAfterGood(const std::string& content) {
    LoadGood();
    dir.Write("korvel.json", content);
    LogCapture log(false);
    plugin.Reload();
    return log.PrintedLines();
  }

  // Expects `content` to load without a word and returns what it installed.
  Settings Loads(const std::string& content) {
    EXPECT_EQ(LoadAfterGood(content), std::vector<std::string>());
    return Current();
  }

  // Expects `content` to fail with exactly `reason` and to leave the good configuration.
  void Fails(const std::string& content, const std::string& reason) {
    EXPECT_EQ(LoadAfterGood(content),
              std::vector<std::string>{"tag: configuration not loaded: " + reason + "\n"});
    EXPECT_EQ(Current(), GoodSettings());
  }

  std::string JsonException(const std::string& message) const {
    return "tag: " + path + ": JSON exception: [json.exception.parse_error.101] " + message;
  }

  ScratchDir dir;
  std::string path;
  kppPlugin plugin;
};

const char* const kNotString = "[json.exception.type_error.302] type must be string, but is ";
const char* const kNotObject = "[json.exception.type_error.302] type must be object, but is ";

// --- A million levels deep, in every place a value can stand ---

// Members whose type makes them ignored, and values that are channels or parts of one: the load
// succeeds and reads nothing from the deep value.
TEST_F(HostileConfigTest, DeepValueWhereItIsIgnoredLoads) {
  for (const std::string& deep : {NestedArrays(Depth()), NestedObjects(Depth())}) {
    const std::string kind = deep[0] == '[' ? "arrays" : "objects";
    const Settings empty{kBuiltIn, {}, 0, kGoodFilters};
    EXPECT_EQ(Loads(deep), empty) << "root " << kind;
    EXPECT_EQ(Loads("{\"format\": " + deep + ", \"compressor\": " + deep + "}"), empty) << kind;
    EXPECT_EQ(Loads("{\"unknown\": " + deep + "}"), empty) << kind;
    EXPECT_EQ(Loads(R"({"sinks": {"s": {"c": )" + deep + "}}}"),
              (Settings{kBuiltIn, {{"s", {{"c", kBuiltIn}}}}, 0, kGoodFilters}))
        << "channel " << kind;
    EXPECT_EQ(Loads(R"({"sinks": {"s": {"c": {"enable": )" + deep + ", \"format\": " + deep +
                    ", \"compressor\": " + deep + ", \"other\": " + deep +
                    R"(, "types": ["stream-stats"]}}}})"),
              (Settings{kBuiltIn, {{"s", {{"c", Record(8)}}}}, 8, kGoodFilters}))
        << "channel members " << kind;
  }
}

// Objects nested through "a" are the right type for "types"' neighbours to ignore, but also for
// "sinks" and a sink: they then hold sinks and channels named "a" with the default settings.
TEST_F(HostileConfigTest, DeepObjectsWhereObjectsBelongAreSinksAndChannels) {
  const std::string deep = NestedObjects(Depth());
  EXPECT_EQ(Loads("{\"types\": " + deep + ", \"flow_filters\": " + deep + "}"),
            (Settings{kBuiltIn, {}, 0, kGoodFilters}));
  EXPECT_EQ(Loads("{\"sinks\": " + deep + "}"),
            (Settings{kBuiltIn, {{"a", {{"a", kBuiltIn}}}}, 0, kGoodFilters}));
  EXPECT_EQ(Loads(R"({"sinks": {"s": )" + deep + "}}"),
            (Settings{kBuiltIn, {{"s", {{"a", kBuiltIn}}}}, 0, kGoodFilters}));
  EXPECT_EQ(Loads(R"({"sinks": {"s": {"c": {"types": )" + deep + "}}}}"),
            (Settings{kBuiltIn, {{"s", {{"c", kBuiltIn}}}}, 0, kGoodFilters}));
}

TEST_F(HostileConfigTest, DeepValueWhereAStringOrObjectMustStandFails) {
  const std::string arrays = NestedArrays(Depth());
  const std::string objects = NestedObjects(Depth());
  Fails("{\"types\": " + arrays + "}", std::string(kNotString) + "array");
  Fails("{\"types\": [\"stream-flows\", " + objects + "]}", std::string(kNotString) + "object");
  Fails("{\"flow_filters\": " + arrays + "}", std::string(kNotString) + "array");
  Fails("{\"flow_filters\": [\"true\", " + objects + "]}", std::string(kNotString) + "object");
  Fails("{\"sinks\": " + arrays + "}", std::string(kNotObject) + "array");
  Fails(R"({"sinks": {"s": )" + arrays + "}}", std::string(kNotObject) + "array");
  Fails(R"({"sinks": {"s": {"c": {"types": )" + arrays + "}}}}", std::string(kNotString) + "array");
  Fails(R"({"sinks": {"s": {"c": {"types": ["legacy-http", )" + objects + "]}}}}",
        std::string(kNotString) + "object");
}

TEST_F(HostileConfigTest, UnclosedDeepNestingIsAJsonException) {
  const std::string column = std::to_string(Depth() + 1);
  Fails(std::string(Depth(), '['),
        JsonException("parse error at line 1, column " + column +
                      ": syntax error while parsing value - unexpected end of input; expected "
                      "'[', '{', or a literal"));
  std::string objects;
  for (size_t i = 0; i < Depth(); i++) objects += "{\"a\":";
  Fails(objects, JsonException("parse error at line 1, column " + std::to_string(Depth() * 5 + 1) +
                               ": syntax error while parsing value - unexpected end of input; "
                               "expected '[', '{', or a literal"));
}

// The worker thread, not just the test's main thread, loads such a file and goes on serving.
TEST_F(HostileConfigTest, WorkerLoadsADeepFileAndStopsCleanly) {
  dir.Write("korvel.json", "{\"other\": " + NestedObjects(Depth()) +
                               R"(, "sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  LogCapture log(false);
  kppPlugin worker("deep", {{"conf_filename", path}});
  worker.Create();
  ASSERT_TRUE(korvel_test::WaitUntil([&] { return worker.channel_types.load() == 4; },
                                     std::chrono::milliseconds(120000)));
  worker.Terminate();
  worker.Join();
  ASSERT_EQ(log.PrintedLines().size(), 1u);
  EXPECT_EQ(log.PrintedLines()[0].rfind("deep: Korvel Core Processor Plugin v1.2.5", 0), 0u);
}

// --- Fifty megabytes ---

TEST_F(HostileConfigTest, LargeStringMemberLoads) {
  const std::string padding(LargeFileBytes(), 'x');
  EXPECT_EQ(Loads("{\"padding\": \"" + padding +
                  R"(", "sinks": {"s": {"c": {"types": ["legacy-http"]}}}})"),
            (Settings{kBuiltIn, {{"s", {{"c", Record(1)}}}}, 1, kGoodFilters}));
}

TEST_F(HostileConfigTest, LargeCommentLoads) {
  EXPECT_EQ(Loads("/*" + std::string(LargeFileBytes(), '*') + "*/ {\"types\": [\"stream-stats\"]}"),
            (Settings{Record(8), {}, 8, kGoodFilters}));
}

// Fifty thousand channels with kilobyte names, and as many filters: all of them installed.
TEST_F(HostileConfigTest, LargeFileOfChannelsAndFiltersLoadsWhole) {
  const size_t count = LargeFileBytes() / 2000;
  auto name = [](size_t i) {
    std::string text = std::to_string(i);
    return std::string(1000 - text.size(), 'n') + text;
  };
  std::string content = "{\"sinks\": {\"s\": {";
  for (size_t i = 0; i < count; i++) {
    if (i > 0) content += ",";
    content +=
        "\"" + name(i) + "\": {\"types\": [\"" + (i % 2 ? "stream-flows" : "legacy-http") + "\"]}";
  }
  content += "}}, \"flow_filters\": [";
  for (size_t i = 0; i < count; i++) {
    if (i > 0) content += ",";
    content += "\"" + std::string(990, ' ') + "local_port == " + std::to_string(i) + "\"";
  }
  content += "]}";
  ASSERT_GE(content.size(), LargeFileBytes());

  const Settings settings = Loads(content);
  ASSERT_EQ(settings.sinks.size(), 1u);
  const auto& channels = settings.sinks.at("s");
  ASSERT_EQ(channels.size(), count);
  for (size_t i = 0; i < count; i++) {
    auto found = channels.find(name(i));
    ASSERT_NE(found, channels.end()) << i;
    ASSERT_EQ(found->second, Record(i % 2 ? 4 : 1)) << i;
  }
  EXPECT_EQ(settings.channel_types, 5);
  ASSERT_EQ(settings.flow_filters.size(), count);
  EXPECT_EQ(settings.flow_filters.back(),
            std::string(990, ' ') + "local_port == " + std::to_string(count - 1));
}

TEST_F(HostileConfigTest, LargeFileBrokenAtItsLastByteFails) {
  const std::string padding(LargeFileBytes(), ' ');
  const std::string content = "{\"sinks\": {}" + padding;
  Fails(content,
        JsonException("parse error at line 1, column " + std::to_string(content.size() + 1) +
                      ": syntax error while parsing object - unexpected end of input; "
                      "expected '}'"));
}

// --- Bytes that are not text ---

TEST_F(HostileConfigTest, InvalidUtf8InAValueIsAJsonException) {
  Fails("{\"format\": \"json\xc3\"}",
        JsonException("parse error at line 1, column 18: syntax error while parsing value - "
                      "invalid string: ill-formed UTF-8 byte; last read: '\"json\xc3\"'"));
  Fails("{\"flow_filters\": [\"true\xed\xa0\x80\"]}",
        JsonException("parse error at line 1, column 25: syntax error while parsing value - "
                      "invalid string: ill-formed UTF-8 byte; last read: '\"true\xed\xa0'"));
}

// Escaped NULs are ordinary characters of a name or a filter: kept byte for byte.
TEST_F(HostileConfigTest, EscapedNulInNamesAndFiltersIsKept) {
  EXPECT_EQ(Loads(R"({"flow_filters": ["true\u0000", "\u0000"],
                      "sinks": {"\u0000": {"\u0000\u0000": {"types": ["stream-flows"]}}}})"),
            (Settings{kBuiltIn,
                      {{std::string(1, '\0'), {{std::string(2, '\0'), Record(4)}}}},
                      4,
                      {std::string("true\0", 5), std::string(1, '\0')}}));
}

// --- Files that are no configuration files ---

// A FIFO that no one writes to must not hold the worker; a device is no file either.
TEST_F(HostileConfigTest, FifoAndDeviceFailLikeAMissingFile) {
  LoadGood();
  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  LogCapture log(false);
  plugin.Reload();
  EXPECT_EQ(log.PrintedLines(), std::vector<std::string>{"tag: configuration not loaded: tag: " +
                                                         path + ": No such file or directory\n"});
  EXPECT_EQ(Current(), GoodSettings());

  kppPlugin device("tag", {{"conf_filename", "/dev/zero"}});
  log.Clear();
  device.Reload();
  EXPECT_EQ(log.PrintedLines(), std::vector<std::string>{"tag: configuration not loaded: tag: "
                                                         "/dev/zero: No such file or directory\n"});
}

// Root reads every file, so the load runs in a child process that has given up root first.
TEST_F(HostileConfigTest, UnreadableFileFailsLikeAMissingFileAndKeepsTheConfiguration) {
  LoadGood();
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        LogCapture log(false);
        plugin.Reload();
        const bool logged = log.PrintedLines() ==
                            std::vector<std::string>{"tag: configuration not loaded: tag: " + path +
                                                     ": No such file or directory\n"};
        _exit(logged && Current() == GoodSettings() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
