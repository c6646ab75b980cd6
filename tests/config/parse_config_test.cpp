// kppParseConfig: the parsed document, and the wording of parse, read and other failures.
#include "config/parse_config.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>

#include "config_test_support.h"
#include "kv/exception.h"

namespace {

// One scripted outcome of a read: bytes, or a failure with an errno, or an exception.
struct Step {
  std::string bytes;
  int error = 0;
  bool raise = false;
};

// A configuration file whose reads follow a script instead of the file; the end of the script
// is the end of the file.
class ScriptedFile : public kppConfigFile {
 public:
  explicit ScriptedFile(std::deque<Step> steps_) : steps(std::move(steps_)) {
    EXPECT_TRUE(Open(dir.Write("korvel.json", "")));
  }
  int reads = 0;

 protected:
  ssize_t Read(char* data, size_t size) override {
    ++reads;
    if (steps.empty()) return 0;
    Step step = steps.front();
    steps.pop_front();
    if (step.raise) throw std::length_error("scripted read failure");
    if (step.error != 0) {
      errno = step.error;
      return -1;
    }
    EXPECT_LE(step.bytes.size(), size);
    memcpy(data, step.bytes.data(), step.bytes.size());
    return static_cast<ssize_t>(step.bytes.size());
  }

 private:
  korvel_test::ScratchDir dir;
  std::deque<Step> steps;
};

// The what() text of the kvException that parsing `file` throws.
std::string ParseFailure(kppConfigFile& file) {
  try {
    kppParseConfig(file, "tag", "/etc/korvel.json");
  } catch (const kvException& e) {
    return e.what();
  }
  ADD_FAILURE() << "parsed";
  return std::string();
}

TEST(ParseConfig, DocumentSpreadOverManyReadsParsesWhole) {
  ScriptedFile file({{"{\"si"}, {"nks\": /* c"}, {"omment */ {}"}, {"} // end"}});
  EXPECT_EQ(kppParseConfig(file, "tag", "/etc/korvel.json"), json({{"sinks", json::object()}}));
}

TEST(ParseConfig, InterruptedReadIsRetried) {
  ScriptedFile file({{"", EINTR}, {"[1,"}, {"", EINTR}, {"2]"}});
  EXPECT_EQ(kppParseConfig(file, "tag", "/etc/korvel.json"), json({1, 2}));
  EXPECT_EQ(file.ReadError(), 0);
}

TEST(ParseConfig, FailedReadAfterACompleteDocumentIsNotTakenForItsEnd) {
  ScriptedFile file({{"{}"}, {"", EIO}, {", \"rest\": 1}"}});
  EXPECT_EQ(ParseFailure(file), "tag: /etc/korvel.json: Input/output error");
}

TEST(ParseConfig, FailedReadIsReportedAheadOfTheParseErrorItCauses) {
  ScriptedFile file({{"{\"sinks\": "}, {"", EACCES}});
  EXPECT_EQ(ParseFailure(file), "tag: /etc/korvel.json: Permission denied");
  // The file is not read again after the failure.
  EXPECT_EQ(file.reads, 2);
}

TEST(ParseConfig, ParseErrorIsAJsonException) {
  ScriptedFile file({{"{\"sinks\": }"}});
  EXPECT_EQ(ParseFailure(file),
            "tag: /etc/korvel.json: JSON exception: [json.exception.parse_error.101] parse error "
            "at line 1, column 11: syntax error while parsing value - unexpected '}'; expected "
            "'[', '{', or a literal");
}

TEST(ParseConfig, OtherFailureKeepsItsOwnText) {
  ScriptedFile file({{"{\"sinks\": "}, {"", 0, true}});
  EXPECT_EQ(ParseFailure(file), "tag: /etc/korvel.json: scripted read failure");
}

}  // namespace
