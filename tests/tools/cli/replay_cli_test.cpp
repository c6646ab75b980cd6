// Tests of the korvel-replay command line: option parsing, the plugin's ABI record check, and the
// program as users run it, through its exit status, its messages and its output and sink files.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "replay_support.h"
#include "tools/capture/constants.h"
#include "tools/cli/replay_options.h"
#include "tools/player/abi_record.h"

namespace {

using korvel_test::ReadFileText;
using korvel_test::RunReplayTool;
using korvel_test::ScratchDir;
using korvel_test::SplitLines;
using korvel_test::ToolRun;

// The options read from `args` as one line, or the usage error.
std::string Options(const std::vector<std::string>& args) {
  replay::ReplayOptions o;
  const std::string error = replay::ParseReplayOptions(args, o);
  if (!error.empty()) return error;
  std::string params;
  for (const auto& [key, value] : o.params) params += "," + key + "=" + value;
  return korvel_test::Join("plugin", o.plugin_path, "config", o.config_path, "tag", o.tag, "params",
                           params, "buckets", o.buckets, "out", o.output_path, "sinks", o.sink_dir,
                           "debug", o.debug, "quiet", o.quiet, "sync", o.sync_timeout_seconds,
                           "scenario", o.scenario_path, "help", o.help, "version", o.version);
}

TEST(ReplayOptions, EveryOptionDefaultAndUsageError) {
  const std::string kBuckets = "--buckets needs a number from 0 to 1048576, got ";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{},
       "plugin  config  tag proc-core params  buckets 16 out  sinks  debug 0 quiet 0 sync 10 "
       "scenario  help 0 version 0"},
      {{"--plugin", "p.so", "--config=c.json", "--tag", "core-2", "--param", "type=2",
        "--param=x=a=b", "--buckets", "0", "-o", "out.jsonl", "--sink-dir", "dir", "--sync-timeout",
        "3", "--debug", "-q", "scenario.jsonl"},
       "plugin p.so config c.json tag core-2 params ,type=2,x=a=b buckets 0 out out.jsonl sinks "
       "dir debug 1 quiet 1 sync 3 scenario scenario.jsonl help 0 version 0"},
      // "-" means the standard streams; after "--" everything is the scenario.
      {{"--output", "-", "-"},
       "plugin  config  tag proc-core params  buckets 16 out  sinks  debug 0 quiet 0 sync 10 "
       "scenario  help 0 version 0"},
      {{"--", "--odd.jsonl"},
       "plugin  config  tag proc-core params  buckets 16 out  sinks  debug 0 quiet 0 sync 10 "
       "scenario --odd.jsonl help 0 version 0"},
      {{"-h", "--version"},
       "plugin  config  tag proc-core params  buckets 16 out  sinks  debug 0 quiet 0 sync 10 "
       "scenario  help 1 version 1"},
      {{"--bogus"}, "unknown option --bogus"},
      {{"-x"}, "unknown option -x"},
      {{"--debug", "-xq"}, "unknown option -x"},  // not the option before the group
      {{"--plugin"}, "--plugin needs a value"},
      {{"--plugin="}, "--plugin needs a path"},
      {{"--config", ""}, "--config needs a path"},
      {{"-o", ""}, "-o needs a path"},
      {{"--sink-dir="}, "--sink-dir needs a path"},
      {{"--param", "novalue"}, "--param needs KEY=VALUE, got \"novalue\""},
      {{"--param", "=v"}, "--param needs KEY=VALUE, got \"=v\""},
      {{"--buckets", "x"}, kBuckets + "\"x\""},
      {{"--buckets", "1048577"}, kBuckets + "\"1048577\""},
      {{"--buckets", "-1"}, kBuckets + "\"-1\""},
      {{"--buckets", "99999999999999999999999"}, kBuckets + "\"99999999999999999999999\""},
      {{"--sync-timeout", "0"},
       "--sync-timeout needs a number of seconds from 1 to 86400, got \"0\""},
      {{"--debug=yes"}, "--debug takes no value"},
      {{"a.jsonl", "b.jsonl"}, "only one scenario can be played, got \"b.jsonl\" as well"},
  };
  for (const auto& [args, expected] : cases) {
    EXPECT_EQ(Options(args), expected) << ::testing::PrintToString(args);
  }
}

// The capture options read from `args` as one line, or the usage error.
std::string CaptureOptions(const std::vector<std::string>& args) {
  replay::ReplayOptions o;
  const std::string error = replay::ParseReplayOptions(args, o);
  if (!error.empty()) return error;
  const replay::CaptureOptions& c = o.capture;
  std::string pcaps;
  for (const replay::PcapOption& pcap : c.pcaps) {
    pcaps +=
        korvel_test::Join("[" + pcap.file, pcap.name, pcap.wan ? "wan" : "lan", pcap.addrs) + "]";
  }
  return korvel_test::Join("pcaps", pcaps, "nets", c.local_nets, "interval", c.update_interval,
                           "idle", c.tcp_idle, c.udp_idle, c.other_idle, "linger", c.has_tcp_linger,
                           c.tcp_linger, "max", c.has_max_flows, c.max_flows, "realtime",
                           c.realtime, "emit", c.emit_scenario,
                           "scenario", o.scenario_path, "plugin", o.plugin_path);
}

TEST(ReplayOptions, CaptureOptionsAndTheirUsageErrors) {
  const std::string kSeconds = " needs a number of seconds from 1 to 604800, got ";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--pcap", "a.pcap"},
       "pcaps [a.pcap  lan []] nets [] interval 0 idle 0 0 0 linger 0 0 max 0 0 realtime 0 emit  "
       "scenario  plugin "},
      // --name, --role and --addr describe the --pcap before them; options may come between.
      {{"--pcap",
        "a.pcap",
        "--name",
        "eth0",
        "--role",
        "wan",
        "--addr",
        "10.0.0.1",
        "-q",
        "--addr=fd00::1",
        "--pcap=-",
        "--role",
        "lan",
        "--local-net",
        "10.0.0.0/8",
        "--local-net",
        "fd00::/8",
        "--update-interval",
        "5",
        "--tcp-idle",
        "60",
        "--udp-idle",
        "10",
        "--other-idle=20",
        "--tcp-linger",
        "0",
        "--max-flows",
        "0",
        "--realtime",
        "--emit-scenario",
        "s.jsonl",
        "--plug",
        "p.so"},
       "pcaps [a.pcap eth0 wan [10.0.0.1,fd00::1]][-  lan []] nets [10.0.0.0/8,fd00::/8] "
       "interval 5 idle 60 10 20 linger 1 0 max 1 0 realtime 1 emit s.jsonl scenario  plugin p.so"},
      {{"--pcap"}, "--pcap needs a value"},
      {{"--pcap", ""}, "--pcap needs a path"},
      {{"--pcap", "-", "--pcap", "-"}, "--pcap - (standard input) can be given only once"},
      {{"--name", "eth0", "--pcap", "a.pcap"},
       "--name applies to a --pcap or --interface before it"},
      {{"--addr", "10.0.0.1"}, "--addr applies to a --pcap or --interface before it"},
      {{"--pcap", "a", "--name="}, "--name needs a name"},
      {{"--pcap", "a", "--addr", ""}, "--addr needs an address"},
      {{"--pcap", "a", "--role", "dmz"}, "--role needs lan or wan, got \"dmz\""},
      {{"--pcap", "a", "--local-net", ""}, "--local-net needs a network (ADDRESS/BITS)"},
      {{"--pcap", "a", "--update-interval", "0"}, "--update-interval" + kSeconds + "\"0\""},
      {{"--pcap", "a", "--tcp-idle", "604801"}, "--tcp-idle" + kSeconds + "\"604801\""},
      {{"--pcap", "a", "--udp-idle", "x"}, "--udp-idle" + kSeconds + "\"x\""},
      {{"--pcap", "a", "--tcp-linger", "-1"},
       "--tcp-linger needs a number of seconds from 0 to 604800, got \"-1\""},
      {{"--pcap", "a", "--max-flows=4294967295"},
       "pcaps [a  lan []] nets [] interval 0 idle 0 0 0 linger 0 0 max 1 4294967295 realtime 0 "
       "emit  scenario  plugin "},
      {{"--pcap", "a", "--max-flows", "4294967296"},
       "--max-flows needs a number from 0 to 4294967295, got \"4294967296\""},
      {{"--pcap", "a", "--max-flows", "1e6"},
       "--max-flows needs a number from 0 to 4294967295, got \"1e6\""},
      {{"--max-flows", "10"}, "--max-flows applies to --pcap or --interface captures only"},
      {{"--pcap", "a", "--realtime=yes"}, "--realtime takes no value"},
      {{"--pcap", "a", "s.jsonl"}, "a scenario and --pcap cannot be played together"},
      {{"-", "--pcap", "a"}, "a scenario and --pcap cannot be played together"},
      {{"--realtime"}, "--realtime applies to --pcap captures only"},
      {{"--emit-scenario", "s.jsonl", "s.jsonl"},
       "--emit-scenario applies to --pcap or --interface captures only"},
      {{"--s", "x"}, "option --s is ambiguous"},
      {{"--pcap", "a", "--help", "s.jsonl"},
       "pcaps [a  lan []] nets [] interval 0 idle 0 0 0 linger 0 0 max 0 0 realtime 0 emit  scenario "
       "s.jsonl plugin "},
  };
  for (const auto& [args, expected] : cases) {
    EXPECT_EQ(CaptureOptions(args), expected) << ::testing::PrintToString(args);
  }
}

// The live capture's options read from `args` as one line, or the usage error.
std::string LiveOptions(const std::vector<std::string>& args) {
  replay::ReplayOptions o;
  const std::string error = replay::ParseReplayOptions(args, o);
  if (!error.empty()) return error;
  const replay::CaptureOptions& c = o.capture;
  std::string interfaces;
  for (const replay::PcapOption& pcap : c.pcaps) {
    interfaces += korvel_test::Join("[" + pcap.file, pcap.live, pcap.name,
                                    pcap.wan ? "wan" : "lan", pcap.addrs) + "]";
  }
  return korvel_test::Join("interfaces", interfaces, "filter", c.filter, "buffer", c.buffer_mb,
                           "promisc", c.promiscuous, "user", c.user, "interval",
                           c.update_interval);
}

TEST(ReplayOptions, LiveCaptureOptionsAndTheirUsageErrors) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--interface", "eth0"},
       "interfaces [eth0 1  lan []] filter  buffer 16 promisc 1 user  interval 0"},
      {{"--interface", "eth0", "--name", "uplink", "--role", "wan", "--addr", "192.0.2.1",
        "--interface=lo", "--filter", "tcp port 80", "--buffer-mb", "64", "--no-promisc",
        "--user", "nobody", "--update-interval", "1"},
       "interfaces [eth0 1 uplink wan [192.0.2.1]][lo 1  lan []] filter tcp port 80 buffer 64 "
       "promisc 0 user nobody interval 1"},
      {{"--interface"}, "--interface needs a value"},
      {{"--interface", ""}, "--interface needs an interface name"},
      {{"--interface", "lo", "--pcap", "a.pcap"}, "--interface and --pcap cannot be played together"},
      {{"--pcap", "a.pcap", "--interface", "lo"}, "--interface and --pcap cannot be played together"},
      {{"--interface", "lo", "s.jsonl"}, "a scenario and --interface cannot be played together"},
      {{"--interface", "lo", "--realtime"}, "--realtime applies to --pcap captures only"},
      {{"--interface", "lo", "--filter", ""}, "--filter needs a filter expression"},
      {{"--interface", "lo", "--user="}, "--user needs a user name"},
      {{"--interface", "lo", "--buffer-mb", "0"},
       "--buffer-mb needs a number of MiB from 1 to 2047, got \"0\""},
      {{"--interface", "lo", "--buffer-mb", "2048"},
       "--buffer-mb needs a number of MiB from 1 to 2047, got \"2048\""},
      {{"--interface", "lo", "--no-promisc=yes"}, "--no-promisc takes no value"},
      {{"--pcap", "a.pcap", "--filter", "tcp"}, "--filter applies to --interface captures only"},
      {{"--buffer-mb", "8"}, "--buffer-mb applies to --interface captures only"},
      {{"--no-promisc", "s.jsonl"}, "--no-promisc applies to --interface captures only"},
      {{"--user", "nobody"}, "--user applies to --interface captures only"},
      {{"--local-net", "10.0.0.0/8"}, "--local-net applies to --pcap or --interface captures only"},
  };
  for (const auto& [args, expected] : cases) {
    EXPECT_EQ(LiveOptions(args), expected) << ::testing::PrintToString(args);
  }
}

TEST(AbiRecord, AcceptsTheDaemonsRecordAndNamesEachWrongField) {
  const std::array<uint8_t, 32> good = {'B', 'A',  'P',  'K',  0x20, 0, 0,    0, 0x19, 0, 0,
                                        0,   0x09, 0x03, 0x23, 0x20, 1, 0,    0, 0,    0, 0,
                                        0,   0,    0x60, 0x0b, 0,    0, 0x48, 0, 0,    0};
  EXPECT_EQ(replay::CheckAbiRecord(good.data(), 32), "");
  EXPECT_EQ(replay::CheckAbiRecord(good.data(), 4), "the record is 4 bytes long, expected 32");
  EXPECT_EQ(replay::CheckAbiRecord(good.data(), 40), "the record is 40 bytes long, expected 32");
  const std::vector<std::pair<std::map<size_t, uint8_t>, std::string>> cases = {
      {{{3, 'X'}}, "the magic is not \"BAPK\""},
      {{{4, 0x21}}, "the length is 33, expected 32"},
      {{{8, 0x18}}, "the interface level is 24, expected 25"},
      // Fields are little-endian: 25 written big-endian reads as 0x19000000.
      {{{8, 0}, {11, 0x19}}, "the interface level is 419430400, expected 25"},
      {{{12, 0x08}}, "the date stamp is 0x20230308, expected 0x20230309"},
      {{{16, 0x02}}, "the field at offset 16 is 2, expected 1"},
      {{{20, 0x01}}, "the field at offset 20 is 1, expected 0"},
      {{{24, 0x61}}, "the field at offset 24 is 2913, expected 2912"},
      {{{28, 0x49}}, "the field at offset 28 is 73, expected 72"},
  };
  for (const auto& [bytes, message] : cases) {
    std::array<uint8_t, 32> record = good;
    for (const auto& [offset, byte] : bytes) record[offset] = byte;
    EXPECT_EQ(replay::CheckAbiRecord(record.data(), 32), message);
  }
}

const std::string kPlugin = KORVEL_PLUGIN_PATH;
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

TEST(ReplayTool, HelpAndVersion) {
  const ToolRun help = RunReplayTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.rfind("Usage: korvel-replay [OPTION]... [SCENARIO]\n", 0), 0u);
  for (const char* op :
       {"config", "reload", "global", "interface", "flow", "forget", "event", "walk", "interfaces",
        "interface_stats", "global_stats", "status", "update_end", "sync", "sleep"}) {
    EXPECT_NE(help.out.find(std::string("{\"op\":\"") + op + "\""), std::string::npos) << op;
  }
  for (const char* option : {"--plugin",
                             "--config",
                             "--tag",
                             "--param",
                             "--buckets",
                             "--output",
                             "--sink-dir",
                             "--sync-timeout",
                             "--debug",
                             "--quiet",
                             "--version",
                             "--pcap FILE",
                             "--name NAME",
                             "--role lan|wan",
                             "--addr ADDR",
                             "--local-net CIDR",
                             "--update-interval S",
                             "--tcp-idle S",
                             "--udp-idle S",
                             "--other-idle S",
                             "--tcp-linger S",
                             "--max-flows N",
                             "--realtime",
                             "--emit-scenario FILE"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  // The default limit of the flow table is the capture source's.
  EXPECT_NE(help.out.find("(default: " + std::to_string(capture::kDefaultMaxFlows) + ";"),
            std::string::npos);
  EXPECT_EQ(RunReplayTool({"--version"}).out, "korvel-replay 1.2.5\n");
}

// Runs that fail or go on after a problem: exit status, the end of standard error (exactly),
// a part of it, and the sink lines (the count, and parts of the first one).
TEST(ReplayTool, ExitStatusesAndMessages) {
  ScratchDir dir;
  const std::string text = dir.Write("not-a-plugin.so", "hello\n");
  const std::string broken =
      dir.Write("broken.jsonl", Lines({kStreamFlowsConfig, kInterface, kFlow, kNewFlowEvent,
                                       R"({"op":"teleport"})", kNewFlowEvent}));
  const std::string kNoGlobal =
      "static kvGlobalConfig &kvGlobalConfig::GetInstance(): instance "
      "not found\n";
  const std::string parse_error = korvel_test::ParseError("{\"op\":\"sync\"");
  struct Case {
    std::vector<std::string> args;
    std::string input, err_tail, err_part;
    int status;
    std::vector<std::string> out;  // the number of lines, then parts of the first one
  };
  const Case cases[] = {
      {{"--bogus"},
       "",
       "korvel-replay: unknown option --bogus\nTry 'korvel-replay --help' for more information.\n",
       "",
       2,
       {"0"}},
      {{"--plugin", kPlugin, "/nonexistent/s.jsonl"},
       "",
       "korvel-replay: /nonexistent/s.jsonl: No such file or directory\n",
       "",
       2,
       {"0"}},
      {{"--plugin", kPlugin, "-o", "/nonexistent/out.jsonl"},
       "",
       "korvel-replay: /nonexistent/out.jsonl: No such file or directory\n",
       "",
       2,
       {"0"}},
      // The record is checked before the factory (which aborts) is called.
      {{"--plugin", KORVEL_FAKE_BAD_ABI_PATH},
       kNewFlowEvent,
       std::string("korvel-replay: ") + KORVEL_FAKE_BAD_ABI_PATH +
           ": bad kv_plugin_abi record: the interface level is 24, expected 25\n",
       "",
       1,
       {"0"}},
      {{"--plugin", KORVEL_HOST_LIBRARY_PATH},
       "",
       "",
       std::string("korvel-replay: ") + KORVEL_HOST_LIBRARY_PATH + ": no kv_plugin_abi record: ",
       1,
       {"0"}},
      {{"--plugin", text}, "", "", "korvel-replay: " + text + ": ", 1, {"0"}},
      {{"--plugin", kPlugin, "--param", "type=3"},
       "",
       "Invalid plugin type: proc-core [3]\nkorvel-replay: " + kPlugin +
           ": kvPluginInit returned no plugin\n",
       "",
       1,
       {"0"}},
      {{"--plugin", kPlugin, "--param", "conf_filename="},
       "",
       "korvel-replay: " + kPlugin +
           ": kvPluginInit failed: kppPlugin::kppPlugin(const string &, const kvPlugin::Params "
           "&): conf_filename: Invalid argument\n",
       "",
       1,
       {"0"}},
      // A scenario error stops playing; the shutdown still drains the event of line 4.
      {{"--plugin", kPlugin, "-q", broken},
       "",
       "korvel-replay: " + broken + ":5: unknown op \"teleport\"\n",
       "",
       2,
       {"1", R"({"sink":"s","channel":"c","flags":1,"payload":{)", R"("type":"flow"})"}},
      {{"--plugin", kPlugin, "-"},
       "# comment\n{\"op\":\"sync\"\n",
       "korvel-replay: <stdin>:2: invalid JSON: " + parse_error + "\n",
       "",
       2,
       {"0"}},
      {{"--plugin", kPlugin},
       kInterface + "\n" + R"({"op":"flow","id":"f","interface":"eth0","stats":{"lower_packets":)" +
           "4294967296}}\n",
       "korvel-replay: <stdin>:2: flow: member \"stats.lower_packets\" is out of range (0 to "
       "4294967295): 4294967296\n",
       "",
       2,
       {"0"}},
      // What an event throws is printed with its line, and playing goes on.
      {{"--plugin", kPlugin},
       Lines({kStreamFlowsConfig, R"({"op":"global","present":false})", R"({"op":"status"})",
              R"({"op":"global","present":true})", kInterface, kFlow, kNewFlowEvent,
              R"({"op":"sync"})"}),
       "",
       "korvel-replay: <stdin>:3: status: the plugin threw: " + kNoGlobal,
       0,
       {"1"}},
      // Without a global configuration encoding the flow throws on the worker, which logs and
      // drops that event; with the configuration back the next one is sent. (The default sync
      // timeout: a wake-up the worker misses costs it up to a second, which one of 1 s would not
      // always outlast.)
      {{"--plugin", kPlugin},
       Lines({kStreamFlowsConfig, R"({"op":"global","present":false})", kInterface, kFlow,
              kNewFlowEvent, R"({"op":"sync"})", R"({"op":"global","present":true})", kNewFlowEvent,
              R"({"op":"sync"})"}),
       "",
       "proc-core: flow event not sent: " + kNoGlobal,
       0,
       {"1", R"("type":"flow")"}},
      // A flow the daemon drops is still sent for its queued event.
      {{"--plugin", kPlugin, "--buckets", "0"},
       Lines({kStreamFlowsConfig, kInterface, kFlow, kNewFlowEvent, R"({"op":"forget","id":"f"})",
              R"({"op":"walk"})", R"({"op":"sync"})"}),
       "",
       "",
       0,
       {"1", R"("digest":"0000000000000001")"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + " " + c.input);
    const ToolRun run = RunReplayTool(c.args, c.input);
    EXPECT_EQ(run.status, c.status);
    const size_t tail = run.err.size() - std::min(run.err.size(), c.err_tail.size());
    EXPECT_EQ(run.err.substr(tail), c.err_tail) << run.err;
    EXPECT_NE(run.err.find(c.err_part), std::string::npos) << run.err;
    const std::vector<std::string> lines = SplitLines(run.out);
    ASSERT_EQ(std::to_string(lines.size()), c.out[0]) << run.out;
    for (size_t i = 1; i < c.out.size(); i++) EXPECT_NE(lines[0].find(c.out[i]), std::string::npos);
  }
}

TEST(ReplayTool, TheDefaultPluginTagAndDebugLines) {
  // The plugin built beside the tool; its private configuration does not exist until written.
  const ToolRun run = RunReplayTool({"--tag", "edge-7"}, "");
  EXPECT_EQ(run.status, 0);
  std::vector<std::string> lines = SplitLines(run.err);
  ASSERT_EQ(lines.size(), 2u) << run.err;
  EXPECT_EQ(lines[0].rfind("edge-7: Korvel Core Processor Plugin v1.2.5: ", 0), 0u);
  EXPECT_EQ(lines[1].rfind("edge-7: configuration not loaded: edge-7: ", 0), 0u);
  EXPECT_NE(lines[1].find("/korvel-proc-core.json: No such file or directory"), std::string::npos);

  // Without --debug the banner alone, and no progress line when standard error is no terminal.
  ScratchDir dir;
  const std::string config = dir.Write("c.json", "{}");
  const ToolRun plain =
      RunReplayTool({"--plugin", kPlugin, "--config", config}, R"({"op":"sleep","ms":1300})");
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(SplitLines(plain.err).size(), 1u) << plain.err;
  const ToolRun debug = RunReplayTool({"--plugin", kPlugin, "--config", config, "--debug"}, "");
  EXPECT_EQ(debug.status, 0);
  lines = SplitLines(debug.err);
  ASSERT_EQ(lines.size(), 4u) << debug.err;
  EXPECT_EQ(lines[0], "proc-core: initialized");
  EXPECT_EQ(lines[2], "proc-core: Loading configuration: " + config);
  EXPECT_EQ(lines[3], "proc-core: destroyed");
}

TEST(ReplayTool, OutputAndSinkFilesHoldWhatStandardOutputWould) {
  ScratchDir dir;
  const std::string config = json::parse(R"({"op":"config","json":{"sinks":{
      "plain":{"a":{"types":["stream-flows","stream-stats"]},
               "b":{"types":["legacy-socket"],"format":"msgpack"}},
      "../up":{".dot/x":{"types":["stream-flows"],"compressor":"gz"},
               "z":{"types":["legacy-http","legacy-socket"],"format":"msgpack","compressor":"gz"}}}}})")
                                 .dump();
  const std::string input = Lines({config, kInterface, kFlow, R"({"op":"status"})",
                                   R"({"op":"update_end"})", kNewFlowEvent, R"({"op":"sync"})"});
  const ToolRun to_stdout = RunReplayTool({"--plugin", kPlugin}, input);
  ASSERT_EQ(to_stdout.status, 0) << to_stdout.err;
  const std::string sinks = dir.Path() + "/out/sinks";
  const std::string out = dir.Path() + "/out.jsonl";
  const ToolRun to_files =
      RunReplayTool({"--plugin", kPlugin, "--output", out, "--sink-dir", sinks}, input);
  ASSERT_EQ(to_files.status, 0) << to_files.err;
  EXPECT_EQ(to_files.out, "");
  EXPECT_EQ(korvel_test::CompareReplayOutputs(to_stdout.out, ReadFileText(out)), "");

  // The lines, grouped by the file each should be in; names made safe, suffixes by the flags.
  std::map<std::string, std::vector<json>> expected;
  for (const std::string& line : SplitLines(ReadFileText(out))) {
    const json record = json::parse(line);
    const int flags = record["flags"];
    const std::string channel = record["channel"] == ".dot/x" ? "%2Edot%2Fx" : record["channel"];
    expected[(record["sink"] == "../up" ? "%2E.%2Fup/" : "plain/") + channel +
             ((flags & 0x04) != 0 ? ".msgpack" : ".json") + ((flags & 0x20) != 0 ? ".gz" : "")]
        .push_back(record["payload"]);
  }
  ASSERT_EQ(expected.size(), 4u);
  for (const char* name : {"plain/a.json", "plain/b.msgpack", "%2E.%2Fup/%2Edot%2Fx.json.gz",
                           "%2E.%2Fup/z.msgpack.gz"}) {
    SCOPED_TRACE(name);
    const std::string path = sinks + "/" + name;
    const bool gz = std::string(name).find(".gz") != std::string::npos;
    EXPECT_EQ(ReadFileText(path).rfind(gz ? "\x1f\x8b" : "", 0), 0u);  // the gzip magic
    const std::string content = korvel_test::ReadGzip(path);
    std::vector<json> documents;
    if (std::string(name).find(".msgpack") != std::string::npos) {
      documents = korvel_test::ReadMsgpackDocuments(content);
    } else {
      for (const std::string& line : SplitLines(content)) documents.push_back(json::parse(line));
    }
    EXPECT_EQ(documents, expected[name]);
  }
}

}  // namespace
