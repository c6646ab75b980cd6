// kppPlugin::LoadConfig through Reload: what a configuration file installs, hostile files (a
// million levels deep, 50 MB, bytes that are not text, files that are no regular files), and that
// every failure is logged once with its exact reason and leaves the configuration in force.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings.h"
#include "config_test_support.h"
#include "plugin/plugin.h"
#include "support/log_capture.h"

namespace {

using korvel_test::LogCapture;
using korvel_test::NestedArrays;
using korvel_test::NestedObjects;
using korvel_test::Record;
using Sinks = kppPlugin::Sinks;
using Filters = std::vector<std::string>;

// The four settings a load installs.
struct Settings {
  kppChannelConfig defaults;
  Sinks sinks;
  uint8_t channel_types;
  Filters flow_filters;

  bool operator==(const Settings& other) const {
    return defaults == other.defaults && sinks == other.sinks &&
           channel_types == other.channel_types && flow_filters == other.flow_filters;
  }
};

void PrintTo(const Settings& settings, std::ostream* out) {
  *out << "defaults ";
  PrintTo(settings.defaults, out);
  *out << ", channel_types " << int(settings.channel_types) << ", sinks {";
  for (const auto& [sink, channels] : settings.sinks) {
    *out << " " << ::testing::PrintToString(sink) << ": {";
    for (const auto& [channel, config] : channels) {
      *out << " " << ::testing::PrintToString(channel) << ": ";
      PrintTo(config, out);
    }
    *out << " }";
  }
  *out << " }, flow_filters " << ::testing::PrintToString(settings.flow_filters).substr(0, 200);
}

// A configuration that sets all four settings, loaded before each file to see what it keeps.
constexpr const char* kGoodConfig = R"({
  "types": ["stream-stats"],
  "format": "msgpack",
  "compressor": "gz",
  "flow_filters": ["ip.proto == 6", "port == 53"],
  "sinks": {
    "sink-http": {"legacy": {"types": ["legacy-http"], "format": "json"}},
    "sink-socket": {"flows": {"types": ["stream-flows"], "compressor": "none"},
                    "stats": {}}
  }
})";
const Filters kGoodFilters = {"ip.proto == 6", "port == 53"};
const Settings kGoodSettings = {
    Record(8, 2, true),
    {{"sink-http", {{"legacy", Record(9, 1, true)}}},
     {"sink-socket", {{"flows", Record(12, 2, false)}, {"stats", Record(8, 2, true)}}}},
    13,
    kGoodFilters};
const kppChannelConfig kBuiltIn = Record(0);
// How large the large files are: 50 MB, or 5 MB under valgrind.
const size_t kLargeBytes = korvel_test::RunsNatively() ? 50u << 20 : 5u << 20;

// Settings with the built-in defaults, and the good filters unless given others.
Settings Installed(Sinks sinks, uint8_t types, Filters filters = kGoodFilters) {
  return {kBuiltIn, std::move(sinks), types, std::move(filters)};
}

const std::string kNotString = "[json.exception.type_error.302] type must be string, but is ";
const std::string kNotObject = "[json.exception.type_error.302] type must be object, but is ";
const std::string kUnknown = "void kppChannelConfig::Load(const string &, const json &): ";
const std::string kNoValue =
    "syntax error while parsing value - unexpected end of input; "
    "expected '[', '{', or a literal";

class LoadConfigTest : public ::testing::Test {
 protected:
  LoadConfigTest() : path(dir.Path("korvel.json")), plugin("tag", {{"conf_filename", path}}) {}

  Settings Current() const {
    return {plugin.defaults, plugin.sinks, plugin.channel_types.load(), plugin.flow_filters};
  }

  // Reloads; returns the lines logged after the debug line that leads them.
  std::vector<std::string> Reload(kppPlugin& target) {
    LogCapture log;
    target.Reload();
    std::vector<std::string> lines = log.Lines();
    if (lines.empty() ||
        lines[0] != "tag: Loading configuration: " + target.GetConfFilename() + "\n") {
      ADD_FAILURE() << "no loading line first: " << ::testing::PrintToString(lines);
      return lines;
    }
    return std::vector<std::string>(lines.begin() + 1, lines.end());
  }

  // Loads the good configuration, then `content`; returns what the second load printed.
  std::vector<std::string> LoadAfterGood(const std::string& content) {
    dir.Write("korvel.json", kGoodConfig);
    EXPECT_EQ(Reload(plugin), std::vector<std::string>());
    EXPECT_EQ(Current(), kGoodSettings);
    dir.Write("korvel.json", content);
    return Reload(plugin);
  }

  // Expects `content` to load without a word and returns what it installed.
  Settings Loads(const std::string& content) {
    EXPECT_EQ(LoadAfterGood(content), std::vector<std::string>());
    return Current();
  }

  // Expects the load to fail with exactly `reason` and to leave the good configuration.
  void Fails(const std::string& content, const std::string& reason) {
    EXPECT_EQ(LoadAfterGood(content), NotLoaded(reason));
    EXPECT_EQ(Current(), kGoodSettings);
  }

  static std::vector<std::string> NotLoaded(const std::string& reason) {
    return {"tag: configuration not loaded: " + reason + "\n"};
  }
  std::string ParseError(const std::string& where) const {
    return "tag: " + path + ": JSON exception: [json.exception.parse_error.101] parse error at " +
           where;
  }

  korvel_test::ScratchDir dir;
  std::string path;
  kppPlugin plugin;
};

TEST_F(LoadConfigTest, NothingIsLoadedBeforeTheFirstReload) {
  EXPECT_EQ(Current(), Installed({}, 0, {}));
}

TEST_F(LoadConfigTest, FilesInstallExactlyWhatTheySay) {
  const std::string long_text(kLargeBytes, 'x');
  const struct {
    std::string content;
    Settings expected;
  } cases[] = {
      {kGoodConfig, kGoodSettings},
      {R"(// korvel processor
{ /* defaults */ "types": ["stream-stats"], // stats everywhere
  "format": /* packed */ "msgpack", "compressor": "gz",
  "flow_filters": ["ip.proto == 6", /* dns */ "port == 53"],
  "sinks": { "sink-http": {"legacy": {"types": ["legacy-http"], "format": "json"}},
    // the socket sink
    "sink-socket": {"flows": {"types": ["stream-flows"], "compressor": "none"}, "stats": {}}}
} /* end */
// trailing)",
       kGoodSettings},
      // Each load replaces the defaults, sinks and channels whole; filters only when given.
      {R"({"sinks": {"sink-new": {"only": {"types": ["legacy-socket"]}}}})",
       Installed({{"sink-new", {{"only", Record(2)}}}}, 2)},
      {"{}", Installed({}, 0)},
      {R"({"sinks": {}})", Installed({}, 0)},
      // A root that is not an object loads as an empty one.
      {R"([{"types": ["stream-stats"], "sinks": {"s": {"c": {}}}}])", Installed({}, 0)},
      {R"("sinks")", Installed({}, 0)},
      {"42", Installed({}, 0)},
      {"true", Installed({}, 0)},
      {"null", Installed({}, 0)},
      // Channel types add to the default types, and all of them make the channel types.
      {R"({"types": ["legacy-socket", "stream-flows"]})", {Record(6), {}, 6, kGoodFilters}},
      {R"({"types": ["stream-flows"], "sinks": {"s": {"c": {"types": ["legacy-http"]}}}})",
       {Record(4), {{"s", {{"c", Record(5)}}}}, 5, kGoodFilters}},
      // "enable": false removes a channel unread; any other value keeps it.
      {R"({"sinks": {"s": {"off": {"enable": false, "types": ["legacy-http"]},
                           "on": {"enable": true, "types": ["stream-stats"]}}}})",
       Installed({{"s", {{"on", Record(8)}}}}, 8)},
      {R"({"sinks": {"s": {"off": {"enable": false, "types": ["nonsense", 1],
                                   "format": "xml", "compressor": "lz4"}}}})",
       Installed({}, 0)},
      {R"({"sinks": {"s": {"string": {"enable": "false", "types": ["legacy-http"]},
                           "zero": {"enable": 0, "types": ["legacy-socket"]},
                           "null": {"enable": null}, "array": {"enable": [false]}}}})",
       Installed({{"s",
                   {{"string", Record(1)},
                    {"zero", Record(2)},
                    {"null", kBuiltIn},
                    {"array", kBuiltIn}}}},
                 3)},
      // A channel that is not an object takes the defaults; a sink left without channels goes.
      {R"({"types": ["stream-flows"], "format": "msgpack", "sinks": {"s": {
        "bool": false, "number": 3, "string": "legacy-http", "null": null,
        "array": [{"enable": false, "types": ["legacy-http"]}]}}})",
       {Record(4, 2),
        {{"s",
          {{"bool", Record(4, 2)},
           {"number", Record(4, 2)},
           {"string", Record(4, 2)},
           {"null", Record(4, 2)},
           {"array", Record(4, 2)}}}},
        4,
        kGoodFilters}},
      {R"({"sinks": {"empty": {}, "all-off": {"a": {"enable": false}},
                     "kept": {"a": {"enable": false}, "b": {}}}})",
       Installed({{"kept", {{"b", kBuiltIn}}}}, 0)},
      // Names and filters are kept byte for byte, escaped NULs included.
      {R"({"sinks": {"\u00e9": {"x": {}}, "a\u0000b": {"c\u0000": {}, "c": {}},
                     "B": {"\ud83d\ude00": {}}}})",
       Installed({{"B", {{"\xf0\x9f\x98\x80", kBuiltIn}}},
                  {std::string("a\0b", 3), {{"c", kBuiltIn}, {std::string("c\0", 2), kBuiltIn}}},
                  {"\xc3\xa9", {{"x", kBuiltIn}}}},
                 0)},
      {R"({"flow_filters": ["true\u0000", "\u0000"],
           "sinks": {"\u0000": {"\u0000\u0000": {"types": ["stream-flows"]}}}})",
       Installed({{std::string(1, '\0'), {{std::string(2, '\0'), Record(4)}}}}, 4,
                 {std::string("true\0", 5), std::string(1, '\0')})},
      // Filters are replaced in file order by an array, kept otherwise.
      {R"({"flow_filters": ["z", "a", "z"]})", Installed({}, 0, {"z", "a", "z"})},
      {R"({"flow_filters": []})", Installed({}, 0, {})},
      {R"({"flow_filters": "port == 80"})", Installed({}, 0)},
      {R"({"flow_filters": null})", Installed({}, 0)},
      {R"({"flow_filters": {"a": "b"}})", Installed({}, 0)},
      // Fifty megabytes of one string, or of one comment.
      {"{\"padding\": \"" + long_text + R"(", "sinks": {"s": {"c": {"types": ["legacy-http"]}}}})",
       Installed({{"s", {{"c", Record(1)}}}}, 1)},
      {"/*" + long_text + "*/ {\"types\": [\"stream-stats\"]}", {Record(8), {}, 8, kGoodFilters}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 200));
    EXPECT_EQ(Loads(c.content), c.expected);
  }
}

TEST_F(LoadConfigTest, BadFilesFailWithTheirReasonAndChangeNothing) {
  const std::string padding(kLargeBytes, ' ');
  const struct {
    std::string content;
    std::string reason;
  } cases[] = {
      {"", ParseError("line 1, column 1: " + kNoValue)},
      {"// nothing\n/* at all */", ParseError("line 2, column 13: " + kNoValue)},
      {R"({"sinks": {"s": {"c": {}},}})",
       ParseError("line 1, column 27: syntax error while parsing object key - unexpected '}'; "
                  "expected string literal")},
      {"{} {}", ParseError("line 1, column 4: syntax error while parsing value - unexpected '{'; "
                           "expected end of input")},
      {"{\"sinks\": {}" + padding,
       ParseError("line 1, column " + std::to_string(padding.size() + 13) +
                  ": syntax error while parsing object - unexpected end of input; expected '}'")},
      // Bytes that are not text, in names and values.
      {"{\"sinks\": {\"s\xff\": {}}}",
       ParseError("line 1, column 14: syntax error while parsing object key - invalid string: "
                  "ill-formed UTF-8 byte; last read: '\"s\xff'; expected string literal")},
      {std::string("{\"sinks\": {\"s\0\": {}}}", 20),
       ParseError("line 1, column 14: syntax error while parsing object key - invalid string: "
                  "control character U+0000 (NUL) must be escaped to \\u0000; last read: "
                  "'\"s<U+0000>'; expected string literal")},
      {R"({"sinks": {"\udc00": {}}})",
       ParseError("line 1, column 18: syntax error while parsing object key - invalid string: "
                  "surrogate U+DC00..U+DFFF must follow U+D800..U+DBFF; last read: '\"\\udc00'; "
                  "expected string literal")},
      {"{\"format\": \"json\xc3\"}",
       ParseError("line 1, column 18: syntax error while parsing value - invalid string: "
                  "ill-formed UTF-8 byte; last read: '\"json\xc3\"'")},
      {"{\"flow_filters\": [\"true\xed\xa0\x80\"]}",
       ParseError("line 1, column 25: syntax error while parsing value - invalid string: "
                  "ill-formed UTF-8 byte; last read: '\"true\xed\xa0'")},
      // Values of the wrong type where objects or strings must stand.
      {R"({"sinks": [{"c": {}}]})", kNotObject + "array"},
      {R"({"sinks": null})", kNotObject + "null"},
      {R"({"sinks": {"a": {"c": {}}, "b": "legacy-http"}})", kNotObject + "string"},
      {R"({"sinks": {"a": true}})", kNotObject + "boolean"},
      {R"({"types": ["legacy-http", 4]})", kNotString + "number"},
      {R"({"sinks": {"s": {"c": {"types": [["stream-flows"]]}}}})", kNotString + "array"},
      {R"({"flow_filters": ["port == 80", 80]})", kNotString + "number"},
      // Unknown names; sinks and channels are read in name order, so "a"'s error is reported.
      {R"({"types": ["Stream-Flows"]})", kUnknown + "type: Stream-Flows: Invalid argument"},
      {R"({"format": "MSGPACK"})", kUnknown + "format: MSGPACK: Invalid argument"},
      {R"({"sinks": {"s": {"a": {}, "b": {"compressor": "zstd"}}}})",
       kUnknown + "compressor: zstd: Invalid argument"},
      {R"({"sinks": {"b": [], "a": {"y": {"format": "x"}, "x": []}}})",
       kUnknown + "format: x: Invalid argument"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 200));
    Fails(c.content, c.reason);
  }
}

// "flow_queue_limit" limits the intake queue when it is a positive integer; any other value, or
// none, leaves the queue without a limit. A failed load keeps the limit in force.
TEST_F(LoadConfigTest, QueueLimitIsAPositiveIntegerOrNone) {
  const size_t none = kpp::kNoQueueLimit;
  const std::pair<std::string, size_t> cases[] = {
      {"100000", 100000},
      {"1", 1},
      {"18446744073709551614", 18446744073709551614u},
      {"0", none},
      {"-5", none},
      {"2.5", none},
      {"100.0", none},
      {"1e3", none},
      {"18446744073709551616", none},
      {"\"100\"", none},
      {"null", none},
      {"true", none},
      {"[100]", none},
      {"{\"limit\": 100}", none},
  };
  for (const auto& [value, limit] : cases) {
    SCOPED_TRACE(value);
    Loads("{\"flow_queue_limit\": " + value + "}");
    EXPECT_EQ(plugin.flow_queue_limit, limit);
  }
  Loads(R"({"flow_queue_limit": 5})");
  dir.Write("korvel.json", R"({"flow_queue_limit": 7, "sinks": []})");
  EXPECT_EQ(Reload(plugin), NotLoaded(kNotObject + "array"));
  EXPECT_EQ(plugin.flow_queue_limit, 5u);
  dir.Write("korvel.json", "[{\"flow_queue_limit\": 7}]");
  EXPECT_EQ(Reload(plugin), std::vector<std::string>());
  EXPECT_EQ(plugin.flow_queue_limit, none);
}

// A million levels deep in every place a value can stand: parsed, walked and destroyed without
// recursion, either ignored, read as what it is, or rejected with the type error.
TEST_F(LoadConfigTest, DeepValuesLoadOrFailWithoutRecursion) {
  for (const std::string& deep : {NestedArrays(), NestedObjects()}) {
    SCOPED_TRACE(deep.substr(0, 2));
    EXPECT_EQ(Loads(deep), Installed({}, 0));
    EXPECT_EQ(Loads("{\"format\": " + deep + ", \"compressor\": " + deep + "}"), Installed({}, 0));
    EXPECT_EQ(Loads("{\"unknown\": " + deep + "}"), Installed({}, 0));
    EXPECT_EQ(Loads(R"({"sinks": {"s": {"c": )" + deep + "}}}"),
              Installed({{"s", {{"c", kBuiltIn}}}}, 0));
    EXPECT_EQ(Loads(R"({"sinks": {"s": {"c": {"enable": )" + deep + ", \"format\": " + deep +
                    ", \"compressor\": " + deep + ", \"other\": " + deep +
                    R"(, "types": ["stream-stats"]}}}})"),
              Installed({{"s", {{"c", Record(8)}}}}, 8));
  }
  // Objects nested through "a" are ignored as "types" and "flow_filters" but are the right type
  // for "sinks" and a sink: they then hold sinks and channels named "a".
  const std::string objects = NestedObjects();
  EXPECT_EQ(Loads("{\"types\": " + objects + ", \"flow_filters\": " + objects + "}"),
            Installed({}, 0));
  EXPECT_EQ(Loads("{\"sinks\": " + objects + "}"), Installed({{"a", {{"a", kBuiltIn}}}}, 0));
  EXPECT_EQ(Loads(R"({"sinks": {"s": )" + objects + "}}"),
            Installed({{"s", {{"a", kBuiltIn}}}}, 0));
  EXPECT_EQ(Loads(R"({"sinks": {"s": {"c": {"types": )" + objects + "}}}}"),
            Installed({{"s", {{"c", kBuiltIn}}}}, 0));

  const std::string arrays = NestedArrays();
  Fails("{\"types\": " + arrays + "}", kNotString + "array");
  Fails("{\"types\": [\"stream-flows\", " + objects + "]}", kNotString + "object");
  Fails("{\"flow_filters\": " + arrays + "}", kNotString + "array");
  Fails("{\"flow_filters\": [\"true\", " + objects + "]}", kNotString + "object");
  Fails("{\"sinks\": " + arrays + "}", kNotObject + "array");
  Fails(R"({"sinks": {"s": )" + arrays + "}}", kNotObject + "array");
  Fails(R"({"sinks": {"s": {"c": {"types": )" + arrays + "}}}}", kNotString + "array");
  Fails(R"({"sinks": {"s": {"c": {"types": ["legacy-http", )" + objects + "]}}}}",
        kNotString + "object");
  const size_t depth = korvel_test::HostileDepth();
  Fails(std::string(depth, '['),
        ParseError("line 1, column " + std::to_string(depth + 1) + ": " + kNoValue));
  Fails(objects.substr(0, depth * 5),
        ParseError("line 1, column " + std::to_string(depth * 5 + 1) + ": " + kNoValue));
}

// Fifty thousand channels with kilobyte names, and as many filters: all of them installed.
TEST_F(LoadConfigTest, LargeFileOfChannelsAndFiltersLoadsWhole) {
  const size_t count = kLargeBytes / 2000;
  auto name = [](size_t i) {
    std::string text = std::to_string(i);
    return std::string(1000 - text.size(), 'n') + text;
  };
  auto filter = [](size_t i) {
    return std::string(990, ' ') + "local_port == " + std::to_string(i);
  };
  std::string content = "{\"sinks\": {\"s\": {";
  Sinks sinks;
  Filters filters;
  for (size_t i = 0; i < count; i++) {
    content += (i > 0 ? ",\"" : "\"") + name(i) + "\": {\"types\": [\"" +
               (i % 2 ? "stream-flows" : "legacy-http") + "\"]}";
    sinks["s"][name(i)] = Record(i % 2 ? 4 : 1);
    filters.push_back(filter(i));
  }
  content += "}}, \"flow_filters\": " + json(filters).dump() + "}";
  ASSERT_GE(content.size(), kLargeBytes);
  EXPECT_TRUE(Loads(content) == Installed(sinks, 5, filters));
}

// Files that cannot be read all fail as a missing file does, and keep the configuration.
TEST_F(LoadConfigTest, FilesThatCannotBeReadFailAsMissing) {
  const std::string missing = ": No such file or directory";
  // In the place of the configuration file: nothing, a directory, a FIFO no one writes to.
  for (int kind : {0, 1, 2}) {
    std::filesystem::remove(path);
    EXPECT_EQ(LoadAfterGood(kGoodConfig), std::vector<std::string>());
    std::filesystem::remove(path);
    ASSERT_EQ(kind == 0   ? 0
              : kind == 1 ? mkdir(path.c_str(), 0700)
                          : mkfifo(path.c_str(), 0600),
              0);
    EXPECT_EQ(Reload(plugin), NotLoaded("tag: " + path + missing)) << kind;
    EXPECT_EQ(Current(), kGoodSettings);
  }
  // Paths through a file (ENOTDIR), a symbolic link loop (ELOOP), and a device.
  const std::string loop = dir.Path("loop");
  ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
  for (const std::string& bad :
       {dir.Write("file", "{}") + "/korvel.json", loop, std::string("/dev/zero")}) {
    kppPlugin other("tag", {{"conf_filename", bad}});
    EXPECT_EQ(Reload(other), NotLoaded("tag: " + bad + missing));
    EXPECT_EQ(other.sinks, Sinks());
  }
  // Reading this process's memory from address 0 fails with EIO, which is reported as itself.
  kppPlugin memory("tag", {{"conf_filename", "/proc/self/mem"}});
  EXPECT_EQ(Reload(memory), NotLoaded("tag: /proc/self/mem: Input/output error"));
}

// Root reads every file, so the load runs in a child process that has given up root first.
TEST_F(LoadConfigTest, UnreadableFileFailsAsMissing) {
  EXPECT_EQ(LoadAfterGood(kGoodConfig), std::vector<std::string>());
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        LogCapture log(false);
        plugin.Reload();
        _exit(log.PrintedLines() == NotLoaded("tag: " + path + ": No such file or directory") &&
                      Current() == kGoodSettings
                  ? 0
                  : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
