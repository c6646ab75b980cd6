// Tests of what a sink call becomes: the output line, safe file names, the per-channel files.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "replay_support.h"
#include "tools/output/output_file.h"
#include "tools/output/safe_file_name.h"
#include "tools/output/sink_files.h"
#include "tools/output/sink_line.h"
#include "tools/output/sink_output.h"

namespace {

using korvel_test::ReadFileText;
using korvel_test::ScratchDir;
using replay::DumpDocument;
using replay::FormatSinkLine;
using replay::SinkFiles;

TEST(SinkLine, MembersInOrderChannelsAsAStringOrArrayInvalidUtf8Replaced) {
  const std::string bad = std::string("ab\xff") + "\xc3";
  const std::string fixed = "ab\xEF\xBF\xBD\xEF\xBF\xBD";
  EXPECT_EQ(FormatSinkLine(
                "sink-a", {"ch"},
                DumpDocument(json::parse(R"({"type":"flow","b":[1,2.5,null],"a":true})")), 0x19),
            R"({"sink":"sink-a","channel":"ch","flags":25,"payload":{"a":true,"b":[1,2.5,null],)"
            R"("type":"flow"}})"
            "\n");
  EXPECT_EQ(FormatSinkLine("s", {"b", "a"}, "null", 1),
            "{\"sink\":\"s\",\"channel\":[\"a\",\"b\"],\"flags\":1,\"payload\":null}\n");
  EXPECT_EQ(FormatSinkLine("s", {}, "{}", 255),
            "{\"sink\":\"s\",\"channel\":[],\"flags\":255,\"payload\":{}}\n");
  EXPECT_EQ(DumpDocument({{"user_agent", bad}, {bad, 1}}),
            "{\"" + fixed + "\":1,\"user_agent\":\"" + fixed + "\"}");
  EXPECT_EQ(FormatSinkLine(bad, {bad}, "1", 1), "{\"sink\":\"" + fixed + "\",\"channel\":\"" +
                                                    fixed + "\",\"flags\":1,\"payload\":1}\n");
}

TEST(SinkFiles, SafeNamesAndSuffixesByTheFlags) {
  const std::pair<std::string, std::string> names[] = {
      {"sink-http_2.v1", "sink-http_2.v1"},
      {"a/b", "a%2Fb"},
      {"..", "%2E."},
      {"../etc/passwd", "%2E.%2Fetc%2Fpasswd"},
      {".hidden", "%2Ehidden"},
      {"a.b.", "a.b."},
      {"100%", "100%25"},
      {"sp ace\n\x7f\xc3\xa9", "sp%20ace%0A%7F%C3%A9"},
      {"", "%"}};
  for (const auto& [name, safe] : names) EXPECT_EQ(replay::SafeFileName(name), safe) << name;
  const std::pair<uint8_t, std::string> files[] = {{0x01, "c.json"},       {0x19, "c.json"},
                                                   {0x21, "c.json.gz"},    {0x04, "c.msgpack"},
                                                   {0x3c, "c.msgpack.gz"}, {0x00, "c.json"}};
  for (const auto& [flags, file] : files) EXPECT_EQ(SinkFiles::FileName("c", flags), file);
  EXPECT_EQ(SinkFiles::FileName("../x", 0x01), "%2E.%2Fx.json");
}

TEST(SinkFiles, DirectoriesAreMadeAndAFileThatCannotBeWrittenIsReportedOnce) {
  ScratchDir dir;
  EXPECT_EQ(replay::MakeDirectories(dir.Path() + "/a/b/c"), "");
  EXPECT_EQ(replay::MakeDirectories(dir.Path() + "/a/b/c/"), "");
  const std::string file = dir.Write("s", "in the way");  // where the sink's directory should be
  EXPECT_EQ(replay::MakeDirectories(file), file + ": Not a directory");
  SinkFiles files(dir.Path());
  EXPECT_EQ(files.Write("s", "c", json::object(), "{}", 0x01), file + "/c.json: Not a directory");
  EXPECT_EQ(files.Write("s", "c", json::object(), "{}", 0x01), "");
  EXPECT_TRUE(files.Close().empty());
}

TEST(SinkOutput, RecordsLinesAndFilesInCallOrderAndCounts) {
  ScratchDir dir;
  const std::string path = dir.Path() + "/out.jsonl";
  std::FILE* out = std::fopen(path.c_str(), "w");
  ASSERT_NE(out, nullptr);
  std::vector<std::string> reports;
  SinkFiles files(dir.Path() + "/sinks");
  ASSERT_EQ(replay::MakeDirectories(dir.Path() + "/sinks"), "");
  replay::SinkOutput sinks(out, "out.jsonl", &files,
                           [&reports](const std::string& message) { reports.push_back(message); });
  sinks.Record("a", {"x"}, json{{"n", 1}}, 0x01);
  sinks.Record("a", {"x"}, json{{"n", 3}}, 0x01);
  sinks.Record("b", {"y"}, json{{"n", 2}}, 0x04);
  EXPECT_EQ(sinks.Count(), 3u);
  EXPECT_FALSE(sinks.Busy());
  EXPECT_TRUE(sinks.Finish());
  std::fclose(out);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(ReadFileText(path),
            "{\"sink\":\"a\",\"channel\":\"x\",\"flags\":1,\"payload\":{\"n\":1}}\n"
            "{\"sink\":\"a\",\"channel\":\"x\",\"flags\":1,\"payload\":{\"n\":3}}\n"
            "{\"sink\":\"b\",\"channel\":\"y\",\"flags\":4,\"payload\":{\"n\":2}}\n");
  EXPECT_EQ(ReadFileText(dir.Path() + "/sinks/a/x.json"), "{\"n\":1}\n{\"n\":3}\n");
  EXPECT_EQ(korvel_test::ReadMsgpackDocuments(ReadFileText(dir.Path() + "/sinks/b/y.msgpack")),
            (std::vector<json>{json{{"n", 2}}}));
}

TEST(SinkOutput, AReportThatThrowsNeitherEndsTheProcessNorLosesTheFailure) {
  ScratchDir dir;
  const std::string blocked = dir.Write("sinks", "a file where the sink directory should be");
  SinkFiles files(blocked);
  std::FILE* out = std::fopen("/dev/null", "w");
  ASSERT_NE(out, nullptr);
  int reports = 0;
  replay::SinkOutput sinks(out, "null", &files, [&reports](const std::string&) {
    reports++;
    throw std::runtime_error("the console is gone");
  });
  sinks.Record("a", {"x"}, json{{"n", 1}}, 0x01);
  sinks.Record("a", {"x"}, json{{"n", 2}}, 0x01);
  EXPECT_EQ(sinks.Count(), 2u);
  EXPECT_EQ(reports, 2);  // the write's failure, then the failed report's own
  EXPECT_FALSE(sinks.Busy());
  EXPECT_FALSE(sinks.Finish());
  std::fclose(out);
}

// A log rotation while a live capture runs: Flush makes what was written readable without
// closing anything; after the files move away, Reopen starts them again at their paths and
// appends to a file that stayed (gzip files get a member of their own).
TEST(SinkOutput, FlushShowsEachLineAndReopenFollowsARotation) {
  ScratchDir dir;
  const std::string path = dir.Path() + "/out.jsonl";
  replay::OutputFile out;
  ASSERT_EQ(out.Open(path), "");
  ASSERT_EQ(replay::MakeDirectories(dir.Path() + "/sinks"), "");
  SinkFiles files(dir.Path() + "/sinks");
  std::vector<std::string> reports;
  replay::SinkOutput sinks(out.Stream(), path, &files,
                           [&reports](const std::string& message) { reports.push_back(message); });
  const std::string line1 = "{\"sink\":\"a\",\"channel\":\"x\",\"flags\":1,\"payload\":1}\n";
  const std::string line2 = "{\"sink\":\"a\",\"channel\":\"x\",\"flags\":1,\"payload\":2}\n";
  const std::string line3 = "{\"sink\":\"a\",\"channel\":\"z\",\"flags\":33,\"payload\":3}\n";
  sinks.Record("a", {"x"}, 1, 0x01);
  sinks.Record("a", {"z"}, 3, 0x21);
  EXPECT_EQ(ReadFileText(path), "");  // still in the output's buffer
  sinks.Flush();
  EXPECT_EQ(ReadFileText(path), line1 + line3);
  EXPECT_EQ(ReadFileText(dir.Path() + "/sinks/a/x.json"), "1\n");
  EXPECT_EQ(korvel_test::ReadGzip(dir.Path() + "/sinks/a/z.json.gz"), "3\n");

  // The output and one sink file move away; the gzip file stays where it is.
  ASSERT_EQ(std::rename(path.c_str(), (path + ".1").c_str()), 0);
  const std::string sink_file = dir.Path() + "/sinks/a/x.json";
  ASSERT_EQ(std::rename(sink_file.c_str(), (sink_file + ".1").c_str()), 0);
  sinks.Reopen(&out);
  sinks.Record("a", {"x"}, 2, 0x01);
  sinks.Record("a", {"z"}, 3, 0x21);
  EXPECT_TRUE(sinks.Finish());
  EXPECT_EQ(out.Close(), "");
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(ReadFileText(path + ".1"), line1 + line3);
  EXPECT_EQ(ReadFileText(path), line2 + line3);
  EXPECT_EQ(ReadFileText(sink_file + ".1"), "1\n");
  EXPECT_EQ(ReadFileText(sink_file), "2\n");
  EXPECT_EQ(korvel_test::ReadGzip(dir.Path() + "/sinks/a/z.json.gz"), "3\n3\n");
}

// A file that cannot be opened again is reported, written to no more, and mended by the next
// reopen that succeeds.
TEST(SinkOutput, AReopenThatFailsIsReportedAndTheNextOneMendsIt) {
  ScratchDir dir;
  const std::string sub = dir.Path() + "/logs";
  ASSERT_EQ(replay::MakeDirectories(sub), "");
  const std::string path = sub + "/out.jsonl";
  replay::OutputFile out;
  ASSERT_EQ(out.Open(path), "");
  std::vector<std::string> reports;
  replay::SinkOutput sinks(out.Stream(), path, nullptr,
                           [&reports](const std::string& message) { reports.push_back(message); });
  ASSERT_EQ(std::rename(sub.c_str(), (sub + ".old").c_str()), 0);
  sinks.Reopen(&out);
  sinks.Record("a", {"x"}, 1, 0x01);
  EXPECT_EQ(reports, std::vector<std::string>{path + ": No such file or directory"});
  ASSERT_EQ(replay::MakeDirectories(sub), "");
  sinks.Reopen(&out);
  sinks.Record("a", {"x"}, 2, 0x01);
  EXPECT_FALSE(sinks.Finish());  // the failure is still told at the end
  EXPECT_EQ(out.Close(), "");
  EXPECT_EQ(ReadFileText(path), "{\"sink\":\"a\",\"channel\":\"x\",\"flags\":1,\"payload\":2}\n");
}

}  // namespace
