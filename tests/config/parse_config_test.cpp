// kppParseConfig over a configuration file whose reads follow a script: documents spread over
// reads, interrupted reads, and the wording of read, parse and other failures.
#include "config/parse_config.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>

#include "config/config_file.h"
#include "config_test_support.h"
#include "kv/exception.h"

namespace {

// One scripted outcome of a read: bytes, or a failure with an errno, or an exception.
struct Step {
  std::string bytes;
  int error = 0;
  bool raise = false;
};

// A configuration file whose reads follow a script; the end of the script is the end of the file.
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

// The document parsed, or the what() text of the kvException thrown.
std::string Parse(kppConfigFile& file) {
  try {
    return kppParseConfig(file, "tag", "/etc/korvel.json").dump();
  } catch (const kvException& e) {
    return e.what();
  }
}

TEST(ParseConfig, DocumentOrFailureOfEachReadScript) {
  const struct {
    std::deque<Step> steps;
    std::string expected;
    int reads;  // how often the file is read, 0 where it does not matter
  } cases[] = {
      {{{"{\"si"}, {"nks\": /* c"}, {"omment */ {}"}, {"} // end"}}, R"({"sinks":{}})", 0},
      {{{"", EINTR}, {"[1,"}, {"", EINTR}, {"2]"}}, "[1,2]", 0},
      // A failed read after a complete document is not taken for its end.
      {{{"{}"}, {"", EIO}, {", \"rest\": 1}"}}, "tag: /etc/korvel.json: Input/output error", 2},
      // The failed read is reported ahead of the parse error it causes; nothing is read after.
      {{{"{\"sinks\": "}, {"", EACCES}}, "tag: /etc/korvel.json: Permission denied", 2},
      {{{"{\"sinks\": }"}},
       "tag: /etc/korvel.json: JSON exception: [json.exception.parse_error.101] parse error at "
       "line 1, column 11: syntax error while parsing value - unexpected '}'; expected '[', '{', "
       "or a literal",
       1},
      {{{"{\"sinks\": "}, {"", 0, true}}, "tag: /etc/korvel.json: scripted read failure", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    ScriptedFile file(c.steps);
    EXPECT_EQ(Parse(file), c.expected);
    if (c.reads != 0) {
      EXPECT_EQ(file.reads, c.reads);
    }
  }
}

}  // namespace
