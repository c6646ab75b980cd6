// Tests of korvel-replay --pcap as users run it: exit statuses and messages for captures that
// cannot be read, a damaged capture played up to the damage, and the scenario written with
// --emit-scenario playing back to the same sink calls.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "replay_support.h"

namespace {

using korvel_test::ReadFileText;
using korvel_test::RunReplayTool;
using korvel_test::ScratchDir;
using korvel_test::SplitLines;
using korvel_test::ToolRun;

const std::string kPlugin = KORVEL_PLUGIN_PATH;
const std::string kSource = KORVEL_SOURCE_DIR;
const std::string kLoopback = kSource + "/examples/loopback.pcap";
const std::string kConfig = kSource + "/examples/korvel-proc-core.json";
// Sample captures that Debian's packages ship (python3-dpkt, golang-github-google-gopacket-dev).
const std::string kDpktData = "/usr/share/doc/python3-dpkt/examples/data/";
const std::string kGopacket = "/usr/share/gocode/src/github.com/google/gopacket/pcap/";

bool Exists(const std::string& path) {
  return access(path.c_str(), R_OK) == 0;
}

// The payload types of an output, counted.
std::map<std::string, int> Types(const std::string& output) {
  std::map<std::string, int> types;
  for (const std::string& line : SplitLines(output)) {
    const json payload = json::parse(line)["payload"];
    types[payload.value("type", "legacy")]++;
  }
  return types;
}

TEST(CapturePlayer, CapturesThatCannotBeReadAreRefusedBeforeAnythingIsPlayed) {
  ScratchDir dir;
  const std::string text = dir.Write("notes.pcap", "hello, this is no capture\n");
  const std::string empty = dir.Write("empty.pcap", "");
  struct Case {
    std::vector<std::string> args;
    std::string err;  // the whole of standard error
  };
  const Case cases[] = {
      {{"--pcap", "/nonexistent/a.pcap"},
       "korvel-replay: /nonexistent/a.pcap: No such file or directory\n"},
      {{"--pcap", text}, "korvel-replay: " + text + ": unknown file format\n"},
      {{"--pcap", empty},
       "korvel-replay: " + empty +
           ": truncated dump file; tried to read 4 "
           "file header bytes, only got 0\n"},
      // The second file is checked before the first is played.
      {{"--pcap", kLoopback, "--pcap", text}, "korvel-replay: " + text + ": unknown file format\n"},
      {{"--pcap", kLoopback, "--addr", "192.0.2.300"},
       "korvel-replay: 192.0.2.300: not an address\n"},
      {{"--pcap", kLoopback, "--local-net", "10.0.0.0/33"},
       "korvel-replay: 10.0.0.0/33: not a network\n"},
      {{"--pcap", kLoopback, "--pcap", kLoopback},
       "korvel-replay: loopback.pcap: interface named twice\n"},
      {{"--pcap", kLoopback, "--emit-scenario", "/nonexistent/s.jsonl"},
       "korvel-replay: /nonexistent/s.jsonl: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--plugin", kPlugin, "-q"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(::testing::PrintToString(args));
    const ToolRun run = RunReplayTool(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
  }
}

TEST(CapturePlayer, ADamagedCaptureIsPlayedUpToTheDamageThenReported) {
  ASSERT_TRUE(Exists(kLoopback));
  ScratchDir dir;
  const std::string whole = ReadFileText(kLoopback);
  // Cut inside a packet record, past the first few packets.
  const std::string cut = dir.Write("cut.pcap", whole.substr(0, whole.size() / 2));
  const ToolRun run =
      RunReplayTool({"--plugin", kPlugin, "-q", "--config", kConfig, "--pcap", cut});
  EXPECT_EQ(run.status, 2);
  const std::vector<std::string> err = SplitLines(run.err);
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err.back().rfind("korvel-replay: " + cut + ": truncated dump file; tried to read ", 0),
            0u)
      << run.err;
  // Everything read before the damage is delivered in full: each flow is purged, and the last
  // update's payloads go out with the purges.
  const std::map<std::string, int> types = Types(run.out);
  ASSERT_GT(types.count("flow"), 0u) << run.out;
  EXPECT_EQ(types.at("flow"), types.at("flow_purge"));
  EXPECT_GT(types.count("agent_status"), 0u);
  EXPECT_GT(types.count("interface_stats"), 0u);
}

// Plays captures with --emit-scenario, plays the scenario, and compares the two outputs call by
// call: the same documents in the same order, the status timestamps (the time of the run) aside.
void ExpectEmittedScenarioReplaysTheSame(const std::vector<std::string>& capture_args,
                                         std::string* output = nullptr) {
  ScratchDir dir;
  const std::string scenario = dir.Path() + "/capture.jsonl";
  std::vector<std::string> args = {"--plugin", kPlugin,     "-q", "--config",
                                   kConfig,    "--buckets", "7"};
  std::vector<std::string> played = args;
  played.insert(played.end(), capture_args.begin(), capture_args.end());
  played.insert(played.end(), {"--emit-scenario", scenario});
  const ToolRun capture = RunReplayTool(played);
  ASSERT_EQ(capture.status, 0) << capture.err;
  ASSERT_FALSE(capture.out.empty());
  if (output) *output = capture.out;

  args.push_back(scenario);
  const ToolRun replayed = RunReplayTool(args);
  ASSERT_EQ(replayed.status, 0) << replayed.err;
  EXPECT_EQ(korvel_test::CompareReplayOutputs(capture.out, replayed.out), "");
  const std::map<std::string, int> types = Types(capture.out);
  EXPECT_EQ(types.at("flow"), types.at("flow_purge"));
  EXPECT_GT(types.count("flow_stats"), 0u);
}

TEST(CapturePlayer, TheEmittedScenarioReplaysToTheSameSinkCalls) {
  ASSERT_TRUE(Exists(kLoopback));
  ExpectEmittedScenarioReplaysTheSame({"--pcap", kLoopback, "--addr", "127.0.0.1"});
}

TEST(CapturePlayer, TheEmittedScenarioOfSeveralInterfacesReplaysToTheSameSinkCalls) {
  const std::string http = kDpktData + "http.pcap";
  const std::string pppoe = kDpktData + "nb6-http.pcap";
  const std::string bsd = kGopacket + "test_loopback.pcap";
  if (!Exists(http) || !Exists(pppoe) || !Exists(bsd)) GTEST_SKIP() << "Debian sample captures";
  // Short intervals and idle times, so the samples' minutes make several updates and expiries.
  ExpectEmittedScenarioReplaysTheSame(
      {"--pcap", http,         "--name", "lan0",       "--pcap",
       pppoe,    "--name",     "wan0",   "--role",     "wan",
       "--addr", "10.0.0.1",   "--pcap", bsd,          "--update-interval",
       "1",      "--udp-idle", "2",      "--tcp-idle", "5"});
}

TEST(CapturePlayer, TheEmittedScenarioOfAFullFlowTableReplaysToTheSameSinkCalls) {
  const std::string http = kDpktData + "http.pcap";
  if (!Exists(http)) GTEST_SKIP() << "Debian sample captures";
  std::string out;
  ExpectEmittedScenarioReplaysTheSame(
      {"--pcap", http, "--pcap", kLoopback, "--max-flows", "2", "--update-interval", "1"}, &out);
  EXPECT_NE(out.find(R"("flow_dropped":1,)"), std::string::npos);
}

TEST(CapturePlayer, TheEmittedScenarioNamesWhereThePlayerWaited) {
  ASSERT_TRUE(Exists(kLoopback));
  ScratchDir dir;
  const std::string scenario = dir.Path() + "/s.jsonl";
  const ToolRun run = RunReplayTool({"--plugin", kPlugin, "-q", "--config", kConfig, "--pcap",
                                     kLoopback, "--emit-scenario", scenario});
  ASSERT_EQ(run.status, 0) << run.err;
  std::map<std::string, int> ops;
  std::vector<std::string> order;
  for (const std::string& line : SplitLines(ReadFileText(scenario))) {
    if (line.empty() || line[0] == '#') continue;
    const json op = json::parse(line);
    ops[op["op"]]++;
    // Each update: the walk, the drain's sync, then the update's documents in their order.
    if (op["op"] != "flow" && op["op"] != "event" && op["op"] != "forget" &&
        op["op"] != "interface")
      order.push_back(op["op"]);
  }
  EXPECT_EQ(ops["global"], 1);
  EXPECT_EQ(ops["walk"], ops["update_end"]);
  EXPECT_EQ(ops["status"], ops["update_end"]);
  EXPECT_EQ(ops["forget"], Types(run.out)["flow_purge"] / 3);  // three flow channels
  const std::vector<std::string> update = {
      "walk", "sync", "interfaces", "interface_stats", "global_stats", "status", "update_end"};
  const auto walk = std::find(order.begin(), order.end(), "walk");
  ASSERT_NE(walk, order.end());
  EXPECT_EQ(std::vector<std::string>(walk, walk + std::min<long>(7, order.end() - walk)), update);
}

// Two processes that keep both processors busy for the life of the object.
class BusyProcesses {
 public:
  BusyProcesses() {
    for (pid_t& pid : pids) {
      pid = fork();
      if (pid == 0) {
        for (volatile uint64_t spin = 0;; spin = spin + 1) {
        }
      }
    }
  }
  ~BusyProcesses() {
    for (pid_t pid : pids) {
      if (pid <= 0) continue;
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  BusyProcesses(const BusyProcesses&) = delete;
  BusyProcesses& operator=(const BusyProcesses&) = delete;

 private:
  pid_t pids[2] = {};
};

// The waits do not depend on timing: a capture played again, while two other processes compete
// for the processors, gives the same output but for the tool's own process figures.
TEST(CapturePlayer, ACaptureGivesTheSameOutputOnEveryRunUnderLoad) {
  ASSERT_TRUE(Exists(kLoopback));
  std::vector<std::vector<std::string>> plays = {
      {"--update-interval", "1", "--udp-idle", "1", "--pcap", kLoopback}};
  const std::string real = kSource + "/../shared/captures/ndpi/teams.pcap";
  if (Exists(real)) plays.push_back({"--pcap", real});
  BusyProcesses busy;
  for (const auto& play : plays) {
    std::vector<std::string> args = {"--plugin", kPlugin, "-q", "--config", kConfig};
    args.insert(args.end(), play.begin(), play.end());
    std::string first;
    for (int run = 0; run < 4; run++) {
      const ToolRun played = RunReplayTool(args);
      ASSERT_EQ(played.status, 0) << played.err;
      const std::string output = korvel_test::WithoutProcessFigures(played.out);
      if (run == 0) {
        first = output;
        EXPECT_GT(SplitLines(first).size(), 20u) << play.back();
      } else {
        EXPECT_EQ(korvel_test::CompareReplayOutputs(first, output), "")
            << play.back() << ", run " << run;
      }
    }
  }
}

}  // namespace
