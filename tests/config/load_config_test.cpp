// kppPlugin::LoadConfig through Reload: what a configuration file installs, and that every failure
// is logged once and leaves the configuration in force untouched.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "config_test_support.h"
#include "plugin/plugin.h"
#include "support/log_capture.h"

namespace {

using korvel_test::kHostileDepth;
using korvel_test::LogCapture;
using korvel_test::NestedArrays;
using korvel_test::NestedObjects;
using korvel_test::ScratchDir;

kppChannelConfig Record(uint8_t types, uint8_t format, bool compress) {
  kppChannelConfig config;
  config.types = types;
  config.format = format;
  config.compress = compress;
  return config;
}

// The four settings a load installs.
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
  *out << "defaults ";
  PrintTo(settings.defaults, out);
  *out << ", channel_types " << static_cast<int>(settings.channel_types) << ", sinks {";
  for (const auto& [sink, channels] : settings.sinks) {
    *out << " " << ::testing::PrintToString(sink) << ": {";
    for (const auto& [channel, config] : channels) {
      *out << " " << ::testing::PrintToString(channel) << ": ";
      PrintTo(config, out);
    }
    *out << " }";
  }
  *out << " }, flow_filters " << ::testing::PrintToString(settings.flow_filters);
}

// A configuration that sets all four settings, to see that failures keep them.
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

const Settings kGoodSettings = {
    Record(8, 2, true),
    {{"sink-http", {{"legacy", Record(9, 1, true)}}},
     {"sink-socket", {{"flows", Record(12, 2, false)}, {"stats", Record(8, 2, true)}}}},
    13,
    {"ip.proto == 6", "port == 53"}};

const kppChannelConfig kBuiltIn = Record(0, 1, false);

class LoadConfigTest : public ::testing::Test {
 protected:
  LoadConfigTest() : path(dir.Path("korvel.json")), plugin("tag", {{"conf_filename", path}}) {}

  Settings Current() const {
    return {plugin.defaults, plugin.sinks, plugin.channel_types.load(), plugin.flow_filters};
  }

  // Writes `content` and reloads; expects the load to succeed with no line but the debug one.
  Settings Load(const std::string& content) {
    dir.Write("korvel.json", content);
    LogCapture log;
    plugin.Reload();
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"tag: Loading configuration: " + path + "\n"})
        << content.substr(0, 200);
    return Current();
  }

  // Reloads and returns the text after "configuration not loaded: ", expecting exactly that
  // one printed line.
  std::string Failure() {
    LogCapture log;
    plugin.Reload();
    std::vector<std::string> lines = log.PrintedLines();
    const std::string head = "tag: configuration not loaded: ";
    if (lines.size() != 1 || lines[0].compare(0, head.size(), head) != 0 ||
        lines[0].back() != '\n') {
      ADD_FAILURE() << "printed " << ::testing::PrintToString(lines);
      return std::string();
    }
    EXPECT_EQ(log.Lines().front(),
              "tag: Loading configuration: " + plugin.GetConfFilename() + "\n");
    return lines[0].substr(head.size(), lines[0].size() - head.size() - 1);
  }

  // Loads the good configuration, writes `content`, and returns the failure text; the good
  // settings must still be in force afterwards.
  std::string FailureAfterGood(const std::string& content) {
    EXPECT_EQ(Load(kGoodConfig), kGoodSettings);
    dir.Write("korvel.json", content);
    std::string text = Failure();
    EXPECT_EQ(Current(), kGoodSettings) << content.substr(0, 200);
    return text;
  }

  ScratchDir dir;
  std::string path;
  kppPlugin plugin;
};

// --- What a file installs ---

TEST_F(LoadConfigTest, NothingIsLoadedBeforeTheFirstReload) {
  EXPECT_EQ(Current(), (Settings{kBuiltIn, {}, 0, {}}));
}

TEST_F(LoadConfigTest, InstallsDefaultsSinksTypeUnionAndFilters) {
  EXPECT_EQ(Load(kGoodConfig), kGoodSettings);
}

TEST_F(LoadConfigTest, CommentsLoadAsIfAbsent) {
  EXPECT_EQ(Load(R"(// korvel processor
{ /* defaults */ "types": ["stream-stats"], // stats everywhere
  "format": /* packed */ "msgpack", "compressor": "gz",
  "flow_filters": ["ip.proto == 6", /* dns */ "port == 53"],
  "sinks": { "sink-http": {"legacy": {"types": ["legacy-http"], "format": "json"}},
    // the socket sink
    "sink-socket": {"flows": {"types": ["stream-flows"], "compressor": "none"}, "stats": {}}}
} /* end */
// trailing)"),
            kGoodSettings);
}

TEST_F(LoadConfigTest, EachLoadReplacesSinksAndChannelsWhole) {
  Load(kGoodConfig);
  EXPECT_EQ(Load(R"({"sinks": {"sink-new": {"only": {"types": ["legacy-socket"]}}}})"),
            (Settings{kBuiltIn,
                      {{"sink-new", {{"only", Record(2, 1, false)}}}},
                      2,
                      kGoodSettings.flow_filters}));
}

TEST_F(LoadConfigTest, EmptyObjectInstallsBuiltInDefaultsAndKeepsFilters) {
  Load(kGoodConfig);
  EXPECT_EQ(Load("{}"), (Settings{kBuiltIn, {}, 0, kGoodSettings.flow_filters}));
}

TEST_F(LoadConfigTest, RootThatIsNotAnObjectLoadsNothingButKeepsFilters) {
  const std::string roots[] = {R"([{"types": ["stream-stats"], "sinks": {"s": {"c": {}}}}])",
                               R"("sinks")", "42", "true", "null"};
  for (const std::string& root : roots) {
    Load(kGoodConfig);
    EXPECT_EQ(Load(root), (Settings{kBuiltIn, {}, 0, kGoodSettings.flow_filters})) << root;
  }
}

TEST_F(LoadConfigTest, RootTypesWithoutSinksStillSetChannelTypes) {
  EXPECT_EQ(Load(R"({"types": ["legacy-socket", "stream-flows"]})"),
            (Settings{Record(6, 1, false), {}, 6, {}}));
}

TEST_F(LoadConfigTest, ChannelTypesAddToTheDefaultTypes) {
  EXPECT_EQ(
      Load(R"({"types": ["stream-flows"], "sinks": {"s": {"c": {"types": ["legacy-http"]}}}})"),
      (Settings{Record(4, 1, false), {{"s", {{"c", Record(5, 1, false)}}}}, 5, {}}));
}

TEST_F(LoadConfigTest, ChannelTypesThatAreNotAnArrayAreIgnored) {
  EXPECT_EQ(Load(R"({"types": ["stream-flows"], "sinks": {"s": {"c": {"types": "legacy-http"}}}})"),
            (Settings{Record(4, 1, false), {{"s", {{"c", Record(4, 1, false)}}}}, 4, {}}));
}

// Every channel format and compressor member (absent, each name) under defaults of msgpack and gz.
TEST_F(LoadConfigTest, EveryCombinationOfChannelFormatAndCompressor) {
  Settings settings = Load(R"({"format": "msgpack", "compressor": "gz", "sinks": {"s": {
    "absent-absent": {},
    "absent-none": {"compressor": "none"},
    "absent-gz": {"compressor": "gz"},
    "json-absent": {"format": "json"},
    "json-none": {"format": "json", "compressor": "none"},
    "json-gz": {"format": "json", "compressor": "gz"},
    "msgpack-absent": {"format": "msgpack"},
    "msgpack-none": {"format": "msgpack", "compressor": "none"},
    "msgpack-gz": {"format": "msgpack", "compressor": "gz"}}}})");
  const std::map<std::string, kppChannelConfig> expected = {
      {"absent-absent", Record(0, 2, true)},  {"absent-none", Record(0, 2, false)},
      {"absent-gz", Record(0, 2, true)},      {"json-absent", Record(0, 1, true)},
      {"json-none", Record(0, 1, false)},     {"json-gz", Record(0, 1, true)},
      {"msgpack-absent", Record(0, 2, true)}, {"msgpack-none", Record(0, 2, false)},
      {"msgpack-gz", Record(0, 2, true)}};
  EXPECT_EQ(settings.sinks, (kppPlugin::Sinks{{"s", expected}}));
  EXPECT_EQ(settings.defaults, Record(0, 2, true));
}

TEST_F(LoadConfigTest, FormatAndCompressorOfOtherTypesAreIgnored) {
  EXPECT_EQ(Load(R"({"format": 2, "compressor": true,
                     "sinks": {"s": {"c": {"format": null, "compressor": ["gz"]}}}})"),
            (Settings{kBuiltIn, {{"s", {{"c", kBuiltIn}}}}, 0, {}}));
}

// --- Channels and sinks ---

TEST_F(LoadConfigTest, EnableFalseRemovesTheChannelAndItsBits) {
  EXPECT_EQ(Load(R"({"sinks": {"s": {
    "off": {"enable": false, "types": ["legacy-http"]},
    "on": {"enable": true, "types": ["stream-stats"]}}}})"),
            (Settings{kBuiltIn, {{"s", {{"on", Record(8, 1, false)}}}}, 8, {}}));
}

TEST_F(LoadConfigTest, DisabledChannelIsNotReadAtAll) {
  EXPECT_EQ(Load(R"({"sinks": {"s": {"off": {"enable": false, "types": ["nonsense", 1],
                                              "format": "xml", "compressor": "lz4"}}}})"),
            (Settings{kBuiltIn, {}, 0, {}}));
}

TEST_F(LoadConfigTest, EnableThatIsNotABooleanKeepsTheChannel) {
  EXPECT_EQ(Load(R"({"sinks": {"s": {
    "string": {"enable": "false", "types": ["legacy-http"]},
    "zero": {"enable": 0, "types": ["legacy-socket"]},
    "null": {"enable": null},
    "array": {"enable": [false]}}}})"),
            (Settings{kBuiltIn,
                      {{"s",
                        {{"string", Record(1, 1, false)},
                         {"zero", Record(2, 1, false)},
                         {"null", kBuiltIn},
                         {"array", kBuiltIn}}}},
                      3,
                      {}}));
}

TEST_F(LoadConfigTest, ChannelThatIsNotAnObjectTakesTheDefaults) {
  EXPECT_EQ(Load(R"({"types": ["stream-flows"], "format": "msgpack", "sinks": {"s": {
    "bool": false, "number": 3, "string": "legacy-http", "null": null,
    "array": [{"enable": false, "types": ["legacy-http"]}]}}})"),
            (Settings{Record(4, 2, false),
                      {{"s",
                        {{"bool", Record(4, 2, false)},
                         {"number", Record(4, 2, false)},
                         {"string", Record(4, 2, false)},
                         {"null", Record(4, 2, false)},
                         {"array", Record(4, 2, false)}}}},
                      4,
                      {}}));
}

TEST_F(LoadConfigTest, SinkWithoutEnabledChannelsIsLeftOut) {
  EXPECT_EQ(Load(R"({"sinks": {"empty": {}, "all-off": {"a": {"enable": false}},
                               "kept": {"a": {"enable": false}, "b": {}}}})"),
            (Settings{kBuiltIn, {{"kept", {{"b", kBuiltIn}}}}, 0, {}}));
}

TEST_F(LoadConfigTest, EmptySinksObjectLoadsWithNoSinks) {
  Load(kGoodConfig);
  EXPECT_EQ(Load(R"({"sinks": {}})"), (Settings{kBuiltIn, {}, 0, kGoodSettings.flow_filters}));
}

TEST_F(LoadConfigTest, NamesAreKeptByteForByteInByteOrder) {
  Settings settings = Load(
      R"({"sinks": {"\u00e9": {"x": {}}, "a\u0000b": {"c\u0000": {}, "c": {}}, "B": {"\ud83d\ude00": {}}}})");
  const std::string nul_sink("a\0b", 3);
  const std::string nul_channel("c\0", 2);
  EXPECT_EQ(settings.sinks,
            (kppPlugin::Sinks{{"B", {{"\xf0\x9f\x98\x80", kBuiltIn}}},
                              {nul_sink, {{"c", kBuiltIn}, {nul_channel, kBuiltIn}}},
                              {"\xc3\xa9", {{"x", kBuiltIn}}}}));
  std::vector<std::string> order;
  for (const auto& entry : settings.sinks) order.push_back(entry.first);
  EXPECT_EQ(order, (std::vector<std::string>{"B", nul_sink, "\xc3\xa9"}));
}

// --- Flow filters ---

TEST_F(LoadConfigTest, FlowFiltersAreReplacedInFileOrder) {
  Load(kGoodConfig);
  EXPECT_EQ(Load(R"({"flow_filters": ["z", "a", "z"]})").flow_filters,
            (std::vector<std::string>{"z", "a", "z"}));
}

TEST_F(LoadConfigTest, MissingOrNonArrayFlowFiltersKeepThePreviousList) {
  const std::string files[] = {"{}", R"({"flow_filters": "port == 80"})",
                               R"({"flow_filters": null})", R"({"flow_filters": {"a": "b"}})"};
  for (const std::string& file : files) {
    Load(kGoodConfig);
    EXPECT_EQ(Load(file).flow_filters, kGoodSettings.flow_filters) << file;
  }
}

TEST_F(LoadConfigTest, EmptyFlowFiltersClearTheList) {
  Load(kGoodConfig);
  EXPECT_EQ(Load(R"({"flow_filters": []})").flow_filters, std::vector<std::string>());
}

// --- Failures: the text logged, and nothing changed ---

TEST_F(LoadConfigTest, MissingFileFailsWithNoSuchFile) {
  EXPECT_EQ(Load(kGoodConfig), kGoodSettings);
  ASSERT_EQ(unlink(path.c_str()), 0);
  EXPECT_EQ(Failure(), "tag: " + path + ": No such file or directory");
  EXPECT_EQ(Current(), kGoodSettings);
}

TEST_F(LoadConfigTest, DirectoryFailsLikeAMissingFile) {
  EXPECT_EQ(Load(kGoodConfig), kGoodSettings);
  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  EXPECT_EQ(Failure(), "tag: " + path + ": No such file or directory");
  EXPECT_EQ(Current(), kGoodSettings);
}

TEST_F(LoadConfigTest, UnreadableFileFailsLikeAMissingFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root from reading";
  EXPECT_EQ(Load(kGoodConfig), kGoodSettings);
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  EXPECT_EQ(Failure(), "tag: " + path + ": No such file or directory");
  EXPECT_EQ(Current(), kGoodSettings);
}

TEST_F(LoadConfigTest, EveryOtherOpenFailureReadsAsAMissingFile) {
  const std::string file = dir.Write("file", "{}");
  const std::string loop = dir.Path("loop");
  ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
  const std::string paths[] = {file + "/korvel.json", loop};  // ENOTDIR, ELOOP
  for (const std::string& bad : paths) {
    kppPlugin other("tag", {{"conf_filename", bad}});
    LogCapture log;
    other.Reload();
    EXPECT_EQ(log.PrintedLines(), std::vector<std::string>{"tag: configuration not loaded: tag: " +
                                                           bad + ": No such file or directory\n"});
    EXPECT_EQ(other.sinks, kppPlugin::Sinks());
    EXPECT_EQ(other.channel_types.load(), 0);
  }
}

// Reading this process's memory from address 0 fails with EIO: a read error on demand.
TEST_F(LoadConfigTest, ReadErrorIsReportedAsItself) {
  kppPlugin other("tag", {{"conf_filename", "/proc/self/mem"}});
  LogCapture log;
  other.Reload();
  EXPECT_EQ(log.PrintedLines(),
            std::vector<std::string>{"tag: configuration not loaded: tag: /proc/self/mem: "
                                     "Input/output error\n"});
}

TEST_F(LoadConfigTest, EmptyFileIsAJsonException) {
  EXPECT_EQ(FailureAfterGood(""),
            "tag: " + path +
                ": JSON exception: [json.exception.parse_error.101] parse error at line 1, "
                "column 1: syntax error while parsing value - unexpected end of input; "
                "expected '[', '{', or a literal");
}

TEST_F(LoadConfigTest, FileOfCommentsOnlyIsAJsonException) {
  EXPECT_EQ(FailureAfterGood("// nothing\n/* at all */"),
            "tag: " + path +
                ": JSON exception: [json.exception.parse_error.101] parse error at line 2, "
                "column 13: syntax error while parsing value - unexpected end of input; "
                "expected '[', '{', or a literal");
}

TEST_F(LoadConfigTest, SyntaxErrorIsAJsonException) {
  EXPECT_EQ(FailureAfterGood(R"({"sinks": {"s": {"c": {}},}})"),
            "tag: " + path +
                ": JSON exception: [json.exception.parse_error.101] parse error at line 1, "
                "column 27: syntax error while parsing object key - unexpected '}'; "
                "expected string literal");
}

TEST_F(LoadConfigTest, TextAfterTheDocumentIsAJsonException) {
  EXPECT_EQ(FailureAfterGood("{} {}"),
            "tag: " + path +
                ": JSON exception: [json.exception.parse_error.101] parse error at line 1, "
                "column 4: syntax error while parsing value - unexpected '{'; expected end of "
                "input");
}

TEST_F(LoadConfigTest, InvalidUtf8InANameIsAJsonException) {
  EXPECT_EQ(FailureAfterGood("{\"sinks\": {\"s\xff\": {}}}"),
            "tag: " + path +
                ": JSON exception: [json.exception.parse_error.101] parse error at line 1, "
                "column 14: syntax error while parsing object key - invalid string: ill-formed "
                "UTF-8 byte; last read: '\"s\xff'; expected string literal");
}

TEST_F(LoadConfigTest, UnescapedNulInANameIsAJsonException) {
  EXPECT_EQ(FailureAfterGood(std::string("{\"sinks\": {\"s\0\": {}}}", 20)),
            "tag: " + path +
                ": JSON exception: [json.exception.parse_error.101] parse error at line 1, "
                "column 14: syntax error while parsing object key - invalid string: control "
                "character U+0000 (NUL) must be escaped to \\u0000; last read: '\"s<U+0000>'; "
                "expected string literal");
}

TEST_F(LoadConfigTest, LoneSurrogateInANameIsAJsonException) {
  EXPECT_EQ(FailureAfterGood(R"({"sinks": {"\udc00": {}}})"),
            "tag: " + path +
                ": JSON exception: [json.exception.parse_error.101] parse error at line 1, "
                "column 18: syntax error while parsing object key - invalid string: surrogate "
                "U+DC00..U+DFFF must follow U+D800..U+DBFF; last read: '\"\\udc00'; expected "
                "string literal");
}

TEST_F(LoadConfigTest, SinksThatAreNotAnObjectRaiseTheTypeError) {
  EXPECT_EQ(FailureAfterGood(R"({"sinks": [{"c": {}}]})"),
            "[json.exception.type_error.302] type must be object, but is array");
  EXPECT_EQ(FailureAfterGood(R"({"sinks": null})"),
            "[json.exception.type_error.302] type must be object, but is null");
}

TEST_F(LoadConfigTest, SinkThatIsNotAnObjectRaisesTheTypeError) {
  EXPECT_EQ(FailureAfterGood(R"({"sinks": {"a": {"c": {}}, "b": "legacy-http"}})"),
            "[json.exception.type_error.302] type must be object, but is string");
  EXPECT_EQ(FailureAfterGood(R"({"sinks": {"a": true}})"),
            "[json.exception.type_error.302] type must be object, but is boolean");
}

TEST_F(LoadConfigTest, NonStringTypeRaisesTheTypeError) {
  EXPECT_EQ(FailureAfterGood(R"({"types": ["legacy-http", 4]})"),
            "[json.exception.type_error.302] type must be string, but is number");
  EXPECT_EQ(FailureAfterGood(R"({"sinks": {"s": {"c": {"types": [["stream-flows"]]}}}})"),
            "[json.exception.type_error.302] type must be string, but is array");
}

TEST_F(LoadConfigTest, NonStringFlowFilterRaisesTheTypeError) {
  EXPECT_EQ(FailureAfterGood(R"({"flow_filters": ["port == 80", 80]})"),
            "[json.exception.type_error.302] type must be string, but is number");
}

TEST_F(LoadConfigTest, UnknownNamesRaiseTheChannelSettingsError) {
  EXPECT_EQ(FailureAfterGood(R"({"types": ["Stream-Flows"]})"),
            "void kppChannelConfig::Load(const string &, const json &): type: Stream-Flows: "
            "Invalid argument");
  EXPECT_EQ(FailureAfterGood(R"({"format": "MSGPACK"})"),
            "void kppChannelConfig::Load(const string &, const json &): format: MSGPACK: "
            "Invalid argument");
  EXPECT_EQ(FailureAfterGood(R"({"sinks": {"s": {"a": {}, "b": {"compressor": "zstd"}}}})"),
            "void kppChannelConfig::Load(const string &, const json &): compressor: zstd: "
            "Invalid argument");
}

TEST_F(LoadConfigTest, SinksAndChannelsAreReadInNameOrder) {
  // "a" is read before "b" whatever the order in the file, so its error is the one reported.
  EXPECT_EQ(FailureAfterGood(R"({"sinks": {"b": [], "a": {"y": {"format": "x"}, "x": []}}})"),
            "void kppChannelConfig::Load(const string &, const json &): format: x: "
            "Invalid argument");
}

// --- Hostile nesting: parsed, walked and destroyed without recursion ---

TEST_F(LoadConfigTest, DeepValuesInIgnoredPlacesLoad) {
  const std::string arrays = NestedArrays(kHostileDepth);
  const std::string objects = NestedObjects(kHostileDepth);
  EXPECT_EQ(
      Load("{\"ignored\": " + arrays + ", \"also\": " + objects + ", \"format\": " + arrays +
           ", \"sinks\": {\"s\": {\"array\": " + arrays + ", \"object\": " + objects +
           ", \"c\": {\"enable\": " + arrays + ", \"compressor\": " + objects +
           ", \"types\": [\"stream-flows\"]}}}}"),
      (Settings{kBuiltIn,
                {{"s", {{"array", kBuiltIn}, {"c", Record(4, 1, false)}, {"object", kBuiltIn}}}},
                4,
                {}}));
  // A root that is itself deeply nested loads as a root that is not an object.
  EXPECT_EQ(Load(arrays), (Settings{kBuiltIn, {}, 0, {}}));
}

TEST_F(LoadConfigTest, DeepValuesWhereObjectsOrStringsBelongRaiseTheTypeError) {
  const std::string arrays = NestedArrays(kHostileDepth);
  EXPECT_EQ(FailureAfterGood("{\"sinks\": " + arrays + "}"),
            "[json.exception.type_error.302] type must be object, but is array");
  EXPECT_EQ(FailureAfterGood("{\"sinks\": {\"s\": " + arrays + "}}"),
            "[json.exception.type_error.302] type must be object, but is array");
  EXPECT_EQ(FailureAfterGood("{\"flow_filters\": " + arrays + "}"),
            "[json.exception.type_error.302] type must be string, but is array");
  EXPECT_EQ(FailureAfterGood("{\"sinks\": {\"s\": {\"c\": {\"types\": " + arrays + "}}}}"),
            "[json.exception.type_error.302] type must be string, but is array");
}

TEST_F(LoadConfigTest, UnclosedDeepNestingIsAJsonException) {
  EXPECT_EQ(FailureAfterGood(std::string(kHostileDepth, '[')),
            "tag: " + path +
                ": JSON exception: [json.exception.parse_error.101] parse error at line 1, "
                "column 100001: syntax error while parsing value - unexpected end of input; "
                "expected '[', '{', or a literal");
}

}  // namespace
