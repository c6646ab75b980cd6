// Tests of what a sink call becomes: the output line, safe file names, the per-channel files.
// The files are read back with zlib and the MessagePack reader.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "tool_runner.h"
#include "tools/safe_file_name.h"
#include "tools/sink_files.h"
#include "tools/sink_line.h"
#include "tools/sink_output.h"

namespace {

using korvel_test::ScratchDir;
using replay::DumpDocument;
using replay::FormatSinkLine;
using replay::SafeFileName;
using replay::SinkFiles;

// The whole decompressed content of a gzip (or plain) file.
std::string ReadGzip(const std::string& path) {
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) return "<cannot open " + path + ">";
  std::string content;
  char buffer[4096];
  int n;
  while ((n = gzread(file, buffer, sizeof(buffer))) > 0) content.append(buffer, n);
  gzclose(file);
  return content;
}

// Every MessagePack document of a concatenation, in order.
std::vector<json> ReadMsgpackDocuments(const std::string& bytes) {
  std::vector<json> documents;
  size_t offset = 0;
  while (offset < bytes.size()) {
    // Each document is read alone; its encoding's length tells where the next one starts.
    for (size_t end = offset + 1; end <= bytes.size(); end++) {
      json document = json::from_msgpack(bytes.begin() + offset, bytes.begin() + end, true, false);
      if (!document.is_discarded()) {
        documents.push_back(document);
        offset = end;
        break;
      }
      if (end == bytes.size()) return documents;
    }
  }
  return documents;
}

TEST(SinkLine, KeepsItsMemberOrderAndOneChannelAsAString) {
  const json payload = json::parse(R"({"type":"flow","b":[1,2.5,null],"a":true})");
  EXPECT_EQ(FormatSinkLine("sink-a", {"ch"}, DumpDocument(payload), 0x19),
            "{\"sink\":\"sink-a\",\"channel\":\"ch\",\"flags\":25,"
            "\"payload\":{\"a\":true,\"b\":[1,2.5,null],\"type\":\"flow\"}}\n");
}

TEST(SinkLine, SeveralChannelsBecomeAnArray) {
  EXPECT_EQ(FormatSinkLine("s", {"b", "a"}, "null", 1),
            "{\"sink\":\"s\",\"channel\":[\"a\",\"b\"],\"flags\":1,\"payload\":null}\n");
  EXPECT_EQ(FormatSinkLine("s", {}, "{}", 255),
            "{\"sink\":\"s\",\"channel\":[],\"flags\":255,\"payload\":{}}\n");
}

TEST(SinkLine, InvalidUtf8IsReplacedNotFatal) {
  const std::string bad = std::string("ab\xff") + "\xc3";
  const json payload = {{"user_agent", bad}, {bad, 1}};
  EXPECT_EQ(DumpDocument(payload),
            "{\"ab\xEF\xBF\xBD\xEF\xBF\xBD\":1,\"user_agent\":\"ab\xEF\xBF\xBD\xEF\xBF\xBD\"}");
  EXPECT_EQ(FormatSinkLine(bad, {bad}, "1", 1),
            "{\"sink\":\"ab\xEF\xBF\xBD\xEF\xBF\xBD\",\"channel\":\"ab\xEF\xBF\xBD\xEF\xBF\xBD\","
            "\"flags\":1,\"payload\":1}\n");
}

TEST(SafeFileName, KeepsPlainNamesAndEncodesTheRest) {
  EXPECT_EQ(SafeFileName("sink-http_2.v1"), "sink-http_2.v1");
  EXPECT_EQ(SafeFileName("a/b"), "a%2Fb");
  EXPECT_EQ(SafeFileName(".."), "%2E.");
  EXPECT_EQ(SafeFileName("../etc/passwd"), "%2E.%2Fetc%2Fpasswd");
  EXPECT_EQ(SafeFileName(".hidden"), "%2Ehidden");
  EXPECT_EQ(SafeFileName("a.b."), "a.b.");
  EXPECT_EQ(SafeFileName("100%"), "100%25");
  EXPECT_EQ(SafeFileName("sp ace\n\x7f\xc3\xa9"), "sp%20ace%0A%7F%C3%A9");
  EXPECT_EQ(SafeFileName(""), "%");
}

TEST(SinkFiles, FileNamesFollowTheFlags) {
  EXPECT_EQ(SinkFiles::FileName("c", 0x01), "c.json");
  EXPECT_EQ(SinkFiles::FileName("c", 0x19), "c.json");
  EXPECT_EQ(SinkFiles::FileName("c", 0x21), "c.json.gz");
  EXPECT_EQ(SinkFiles::FileName("c", 0x04), "c.msgpack");
  EXPECT_EQ(SinkFiles::FileName("c", 0x3c), "c.msgpack.gz");
  EXPECT_EQ(SinkFiles::FileName("c", 0x00), "c.json");
  EXPECT_EQ(SinkFiles::FileName("../x", 0x01), "%2E.%2Fx.json");
}

TEST(SinkFiles, WritesEachEncodingAndCompressionReadableBack) {
  ScratchDir dir;
  const json first = json::parse(R"({"type":"flow","n":1})");
  const json second = json::parse(R"({"type":"agent_status","rate":0.10000000149011612})");
  {
    SinkFiles files(dir.Path());
    for (const json* doc : {&first, &second}) {
      const std::string text = DumpDocument(*doc);
      EXPECT_EQ(files.Write("s", "plain", *doc, text, 0x01), "");
      EXPECT_EQ(files.Write("s", "zipped", *doc, text, 0x21), "");
      EXPECT_EQ(files.Write("s", "packed", *doc, text, 0x04), "");
      EXPECT_EQ(files.Write("../s", "packed/zipped", *doc, text, 0x3c), "");
    }
    EXPECT_TRUE(files.Close().empty());
  }
  const std::string expected_lines = DumpDocument(first) + "\n" + DumpDocument(second) + "\n";
  EXPECT_EQ(korvel_test::ReadFileText(dir.Path() + "/s/plain.json"), expected_lines);
  const std::string zipped = korvel_test::ReadFileText(dir.Path() + "/s/zipped.json.gz");
  ASSERT_GE(zipped.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(zipped[0]), 0x1f);  // the gzip magic
  EXPECT_EQ(static_cast<unsigned char>(zipped[1]), 0x8b);
  EXPECT_EQ(ReadGzip(dir.Path() + "/s/zipped.json.gz"), expected_lines);

  const std::string packed = korvel_test::ReadFileText(dir.Path() + "/s/packed.msgpack");
  EXPECT_EQ(ReadMsgpackDocuments(packed), (std::vector<json>{first, second}));
  const std::string unpacked = ReadGzip(dir.Path() + "/%2E.%2Fs/packed%2Fzipped.msgpack.gz");
  EXPECT_EQ(ReadMsgpackDocuments(unpacked), (std::vector<json>{first, second}));
}

TEST(SinkFiles, AFileThatCannotBeWrittenIsReportedOnce) {
  ScratchDir dir;
  // A plain file where the sink's directory should be.
  dir.Write("s", "in the way");
  SinkFiles files(dir.Path());
  const json doc = json::object();
  EXPECT_EQ(files.Write("s", "c", doc, "{}", 0x01), dir.Path() + "/s/c.json: Not a directory");
  EXPECT_EQ(files.Write("s", "c", doc, "{}", 0x01), "");
  EXPECT_TRUE(files.Close().empty());
}

TEST(SinkOutput, RecordsLinesInCallOrderAndCounts) {
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
  sinks.Record("b", {"y"}, json{{"n", 2}}, 0x04);
  EXPECT_EQ(sinks.Count(), 2u);
  EXPECT_FALSE(sinks.Busy());
  EXPECT_TRUE(sinks.Finish());
  std::fclose(out);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(korvel_test::ReadFileText(path),
            "{\"sink\":\"a\",\"channel\":\"x\",\"flags\":1,\"payload\":{\"n\":1}}\n"
            "{\"sink\":\"b\",\"channel\":\"y\",\"flags\":4,\"payload\":{\"n\":2}}\n");
  EXPECT_EQ(korvel_test::ReadFileText(dir.Path() + "/sinks/a/x.json"), "{\"n\":1}\n");
  EXPECT_EQ(ReadMsgpackDocuments(korvel_test::ReadFileText(dir.Path() + "/sinks/b/y.msgpack")),
            (std::vector<json>{json{{"n", 2}}}));
}

TEST(MakeDirectories, CreatesParentsAndRefusesFiles) {
  ScratchDir dir;
  EXPECT_EQ(replay::MakeDirectories(dir.Path() + "/a/b/c"), "");
  EXPECT_EQ(replay::MakeDirectories(dir.Path() + "/a/b/c/"), "");
  const std::string file = dir.Write("f", "x");
  EXPECT_EQ(replay::MakeDirectories(file), file + ": Not a directory");
}

}  // namespace
