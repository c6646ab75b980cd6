// Tests of the korvel-replay program as users run it, through its exit status and output.
// Covered: exit statuses 0 to 3, the messages on standard error, the output file, the sink files
// and the shutdown after a scenario error.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "kv/json.h"
#include "tool_runner.h"

namespace {

using korvel_test::ReadFileText;
using korvel_test::RunReplayTool;
using korvel_test::ScratchDir;
using korvel_test::SplitLines;
using korvel_test::ToolRun;

const std::string kPlugin = KORVEL_PLUGIN_PATH;

// A configuration with one stream-flows channel, as a scenario line.
const std::string kStreamFlowsConfig =
    R"({"op":"config","json":{"sinks":{"s":{"c":{"types":["stream-flows"]}}}}})";
const std::string kInterface = R"({"op":"interface","name":"eth0","role":1})";
const std::string kFlow =
    R"({"op":"flow","id":"f","interface":"eth0","digest":1,"ip_version":4,"ip_protocol":17,)"
    R"("lower_ip":"192.0.2.1:1000","upper_ip":"198.51.100.1:53"})";
const std::string kNewFlowEvent = R"({"op":"event","event":6,"flow":"f"})";

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::string LastLine(const std::string& text) {
  const std::vector<std::string> lines = SplitLines(text);
  return lines.empty() ? std::string() : lines.back();
}

TEST(ReplayHelp, HelpAndVersion) {
  const ToolRun help = RunReplayTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: korvel-replay [OPTION]... [SCENARIO]\n", 0), 0u);
  for (const char* op :
       {"config", "reload", "global", "interface", "flow", "forget", "event", "walk", "interfaces",
        "interface_stats", "global_stats", "status", "update_end", "sync", "sleep"}) {
    EXPECT_NE(help.out.find(std::string("{\"op\":\"") + op + "\""), std::string::npos) << op;
  }
  for (const char* option : {"--plugin", "--config", "--tag", "--param", "--buckets", "--output",
                             "--sink-dir", "--sync-timeout", "--debug", "--quiet", "--version"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(help.err, "");

  const ToolRun version = RunReplayTool({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "korvel-replay 1.2.5\n");
}

TEST(ReplayUsage, UsageErrorsExitWithTwo) {
  const ToolRun run = RunReplayTool({"--bogus"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "korvel-replay: unknown option --bogus\n"
            "Try 'korvel-replay --help' for more information.\n");
  EXPECT_EQ(run.out, "");

  const ToolRun missing = RunReplayTool({"--plugin", kPlugin, "/nonexistent/scenario.jsonl"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "korvel-replay: /nonexistent/scenario.jsonl: No such file or directory\n");

  const ToolRun output = RunReplayTool({"--plugin", kPlugin, "-o", "/nonexistent/out.jsonl"});
  EXPECT_EQ(output.status, 2);
  EXPECT_EQ(output.err, "korvel-replay: /nonexistent/out.jsonl: No such file or directory\n");
}

TEST(ReplayLoading, ABadAbiRecordIsRefusedBeforeTheFactoryIsCalled) {
  const ToolRun run = RunReplayTool({"--plugin", KORVEL_FAKE_BAD_ABI_PATH}, kNewFlowEvent);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, std::string("korvel-replay: ") + KORVEL_FAKE_BAD_ABI_PATH +
                         ": bad kv_plugin_abi record: the interface level is 24, expected 25\n");
  EXPECT_EQ(run.out, "");
}

TEST(ReplayLoading, ALibraryWithoutTheRecordOrNoLibraryAtAllIsRefused) {
  const ToolRun host = RunReplayTool({"--plugin", KORVEL_HOST_LIBRARY_PATH});
  EXPECT_EQ(host.status, 1);
  EXPECT_EQ(host.err.rfind(std::string("korvel-replay: ") + KORVEL_HOST_LIBRARY_PATH +
                               ": no kv_plugin_abi record: ",
                           0),
            0u)
      << host.err;

  ScratchDir dir;
  const std::string text = dir.Write("not-a-plugin.so", "hello\n");
  const ToolRun not_elf = RunReplayTool({"--plugin", text});
  EXPECT_EQ(not_elf.status, 1);
  EXPECT_EQ(not_elf.err.rfind("korvel-replay: " + text + ": ", 0), 0u) << not_elf.err;
}

TEST(ReplayLoading, AFactoryThatReturnsNullOrThrowsIsRefused) {
  const ToolRun type3 = RunReplayTool({"--plugin", kPlugin, "--param", "type=3"});
  EXPECT_EQ(type3.status, 1);
  EXPECT_EQ(type3.err, "Invalid plugin type: proc-core [3]\nkorvel-replay: " + kPlugin +
                           ": kvPluginInit returned no plugin\n");

  const ToolRun no_conf = RunReplayTool({"--plugin", kPlugin, "--param", "conf_filename="});
  EXPECT_EQ(no_conf.status, 1);
  EXPECT_EQ(no_conf.err, "korvel-replay: " + kPlugin +
                             ": kvPluginInit failed: kppPlugin::kppPlugin(const string &, const "
                             "kvPlugin::Params &): conf_filename: Invalid argument\n");
}

TEST(ReplayLoading, TheDefaultPluginIsTheOneBuiltBesideTheTool) {
  const ToolRun run = RunReplayTool({"--tag", "edge-7"}, "");
  EXPECT_EQ(run.status, 0);
  const std::vector<std::string> lines = SplitLines(run.err);
  ASSERT_EQ(lines.size(), 2u) << run.err;
  EXPECT_EQ(lines[0].rfind("edge-7: Korvel Core Processor Plugin v1.2.5: ", 0), 0u);
  // The private configuration file does not exist until a scenario writes it.
  EXPECT_EQ(lines[1].rfind("edge-7: configuration not loaded: edge-7: ", 0), 0u);
  EXPECT_NE(lines[1].find("/korvel-proc-core.json: No such file or directory"), std::string::npos);
  EXPECT_EQ(run.out, "");
}

TEST(ReplayLogging, DebugLinesOnlyWithDebug) {
  ScratchDir dir;
  const std::string config = dir.Write("c.json", "{}");
  const ToolRun plain = RunReplayTool({"--plugin", kPlugin, "--config", config}, "");
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(SplitLines(plain.err).size(), 1u) << plain.err;  // the banner alone

  const ToolRun debug = RunReplayTool({"--plugin", kPlugin, "--config", config, "--debug"}, "");
  EXPECT_EQ(debug.status, 0);
  const std::vector<std::string> lines = SplitLines(debug.err);
  ASSERT_EQ(lines.size(), 4u) << debug.err;
  EXPECT_EQ(lines[0], "proc-core: initialized");
  EXPECT_EQ(lines[2], "proc-core: Loading configuration: " + config);
  EXPECT_EQ(lines[3], "proc-core: destroyed");
}

TEST(ReplayScenario, AScenarioErrorStopsPlayingButLosesNothingDelivered) {
  ScratchDir dir;
  const std::string scenario =
      dir.Write("broken.jsonl", Lines({kStreamFlowsConfig, kInterface, kFlow, kNewFlowEvent,
                                       R"({"op":"teleport"})", kNewFlowEvent}));
  const ToolRun run = RunReplayTool({"--plugin", kPlugin, "-q", scenario});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(LastLine(run.err), "korvel-replay: " + scenario + ":5: unknown op \"teleport\"");
  // The event of line 4 was never synced; the shutdown still drains it, and line 6 is not played.
  const std::vector<std::string> lines = SplitLines(run.out);
  ASSERT_EQ(lines.size(), 1u) << run.out;
  const json record = json::parse(lines[0]);
  EXPECT_EQ(record["sink"], "s");
  EXPECT_EQ(record["channel"], "c");
  EXPECT_EQ(record["flags"], 1);
  EXPECT_EQ(record["payload"]["type"], "flow");
}

TEST(ReplayScenario, ErrorsFromStandardInputNameItAndTheLine) {
  std::string parse_error;
  try {
    const json parsed = json::parse("{\"op\":\"sync\"");
    ADD_FAILURE() << parsed.dump();
  } catch (const json::exception& e) {
    parse_error = e.what();
  }
  const ToolRun run = RunReplayTool({"--plugin", kPlugin, "-"}, "# comment\n{\"op\":\"sync\"\n");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(LastLine(run.err), "korvel-replay: <stdin>:2: invalid JSON: " + parse_error);

  const ToolRun member = RunReplayTool(
      {"--plugin", kPlugin}, kInterface + "\n" + R"({"op":"flow","id":"f","interface":"eth0",)" +
                                 R"("stats":{"lower_packets":4294967296}})" + "\n");
  EXPECT_EQ(member.status, 2);
  EXPECT_EQ(LastLine(member.err),
            "korvel-replay: <stdin>:2: flow: member \"stats.lower_packets\" is out of range (0 to "
            "4294967295): 4294967296");
}

TEST(ReplayScenario, WhatAnEventThrowsIsPrintedWithItsLineAndPlayingGoesOn) {
  const ToolRun run = RunReplayTool(
      {"--plugin", kPlugin}, Lines({kStreamFlowsConfig, R"({"op":"global","present":false})",
                                    R"({"op":"status"})", R"({"op":"global","present":true})",
                                    kInterface, kFlow, kNewFlowEvent, R"({"op":"sync"})"}));
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("korvel-replay: <stdin>:3: status: the plugin threw: static "
                         "kvGlobalConfig &kvGlobalConfig::GetInstance(): instance not found\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(SplitLines(run.out).size(), 1u);
}

TEST(ReplayScenario, AWorkerThatDiedTimesOutTheSyncWithThree) {
  // Without a global configuration, encoding the new flow throws on the worker, which ends.
  const ToolRun run =
      RunReplayTool({"--plugin", kPlugin, "--sync-timeout", "1"},
                    Lines({kStreamFlowsConfig, R"({"op":"global","present":false})", kInterface,
                           kFlow, kNewFlowEvent, R"({"op":"sync"})", kNewFlowEvent}));
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("proc-core: static kvGlobalConfig &kvGlobalConfig::GetInstance(): "
                         "instance not found\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(LastLine(run.err),
            "korvel-replay: <stdin>:6: sync: the worker stopped responding (no progress for 1 s)");
  EXPECT_EQ(run.out, "");
}

TEST(ReplayScenario, AFlowTheDaemonDropsIsStillSentForItsQueuedEvent) {
  const ToolRun run =
      RunReplayTool({"--plugin", kPlugin, "--buckets", "0"},
                    Lines({kStreamFlowsConfig, kInterface, kFlow, kNewFlowEvent,
                           R"({"op":"forget","id":"f"})", R"({"op":"walk"})", R"({"op":"sync"})"}));
  EXPECT_EQ(run.status, 0);
  const std::vector<std::string> lines = SplitLines(run.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(json::parse(lines[0])["payload"]["flow"]["digest"], "0000000000000001");
}

TEST(ReplayScenario, NoProgressLineWhenStandardErrorIsNotATerminal) {
  ScratchDir dir;
  const std::string config = dir.Write("c.json", "{}");
  const ToolRun run =
      RunReplayTool({"--plugin", kPlugin, "--config", config}, R"({"op":"sleep","ms":1300})");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err.find("ops played"), std::string::npos) << run.err;
}

TEST(ReplayOutput, TheOutputFileGetsWhatStandardOutputWould) {
  ScratchDir dir;
  const std::string input = Lines({kStreamFlowsConfig, kInterface, kFlow, kNewFlowEvent});
  const ToolRun to_stdout = RunReplayTool({"--plugin", kPlugin}, input);
  const std::string path = dir.Path() + "/out.jsonl";
  const ToolRun to_file = RunReplayTool({"--plugin", kPlugin, "--output", path}, input);
  EXPECT_EQ(to_stdout.status, 0);
  EXPECT_EQ(to_file.status, 0);
  EXPECT_EQ(to_file.out, "");
  EXPECT_EQ(SplitLines(to_stdout.out).size(), 1u);
  EXPECT_EQ(ReadFileText(path), to_stdout.out);
}

// Reads a whole file through zlib (which reads uncompressed files unchanged).
std::string ReadMaybeGzip(const std::string& path) {
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) return std::string();
  std::string content;
  char buffer[8192];
  int n;
  while ((n = gzread(file, buffer, sizeof(buffer))) > 0) content.append(buffer, n);
  gzclose(file);
  return content;
}

std::vector<json> DecodeDocuments(const std::string& bytes, bool msgpack) {
  std::vector<json> documents;
  if (!msgpack) {
    for (const std::string& line : SplitLines(bytes)) documents.push_back(json::parse(line));
    return documents;
  }
  size_t offset = 0;
  while (offset < bytes.size()) {
    size_t end = offset + 1;
    for (; end <= bytes.size(); end++) {
      json document = json::from_msgpack(bytes.begin() + offset, bytes.begin() + end, true, false);
      if (!document.is_discarded()) {
        documents.push_back(document);
        break;
      }
    }
    if (end > bytes.size()) {
      ADD_FAILURE() << "trailing bytes at " << offset;
      break;
    }
    offset = end;
  }
  return documents;
}

TEST(ReplaySinkDir, FilesHoldWhatTheLinesHold) {
  ScratchDir dir;
  const std::string config = R"({"op":"config","json":{"sinks":{
      "plain":{"a":{"types":["stream-flows","stream-stats"]},
               "b":{"types":["legacy-socket"],"format":"msgpack"}},
      "../up":{".dot/x":{"types":["stream-flows"],"compressor":"gz"},
               "z":{"types":["legacy-http","legacy-socket"],"format":"msgpack","compressor":"gz"}}}}})";
  std::string compact = json::parse(config).dump() + "\n";
  const std::string input =
      compact + Lines({kInterface, kFlow, R"({"op":"status"})", R"({"op":"update_end"})",
                       kNewFlowEvent, R"({"op":"sync"})"});
  const std::string sinks = dir.Path() + "/out/sinks";
  const ToolRun run = RunReplayTool({"--plugin", kPlugin, "--sink-dir", sinks}, input);
  ASSERT_EQ(run.status, 0) << run.err;

  // The lines, grouped by the file each should be in.
  std::map<std::string, std::vector<json>> expected;
  for (const std::string& line : SplitLines(run.out)) {
    const json record = json::parse(line);
    const int flags = record["flags"];
    const std::string sink = record["sink"] == "../up" ? "%2E.%2Fup" : "plain";
    std::string channel = record["channel"];
    if (channel == ".dot/x") channel = "%2Edot%2Fx";
    const std::string name = sink + "/" + channel + ((flags & 0x04) != 0 ? ".msgpack" : ".json") +
                             ((flags & 0x20) != 0 ? ".gz" : "");
    expected[name].push_back(record["payload"]);
  }
  const std::vector<std::string> files = {"plain/a.json", "plain/b.msgpack",
                                          "%2E.%2Fup/%2Edot%2Fx.json.gz", "%2E.%2Fup/z.msgpack.gz"};
  ASSERT_EQ(expected.size(), files.size());
  for (const std::string& name : files) {
    ASSERT_EQ(expected.count(name), 1u) << name;
    const std::string raw = ReadFileText(sinks + "/" + name);
    const bool gz = name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0;
    if (gz) {
      ASSERT_GE(raw.size(), 2u);
      EXPECT_EQ(static_cast<unsigned char>(raw[0]), 0x1f) << name;
    }
    const bool msgpack = name.find(".msgpack") != std::string::npos;
    EXPECT_EQ(DecodeDocuments(ReadMaybeGzip(sinks + "/" + name), msgpack), expected[name]) << name;
  }
}

}  // namespace
