// Tests of the daemon log and exception texts: always-shown and debug-only lines, formatting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kv/exception.h"
#include "kv/log.h"
#include "kv/standin.h"
#include "support/log_capture.h"

namespace {

using Lines = std::vector<std::string>;

TEST(LogTest, DebugLinesOnlyWhileDebugIsOnAndLongLinesWhole) {
  kvStandIn::SetDebug(true);
  {
    korvel_test::LogCapture log(false);  // restores the setting it found when it goes
    kv_dprintf("%s: hidden\n", "proc");
    kv_printf("%s: shown %u\n", "proc", 7u);
    kvStandIn::SetDebug(true);
    EXPECT_TRUE(kvStandIn::GetDebug());
    kv_dprintf("%s: debug %d\n", "proc", -1);
    kvStandIn::SetDebug(false);
    EXPECT_FALSE(kvStandIn::GetDebug());
    kv_dprintf("%s: hidden again\n", "proc");
    const std::string text(10000, 'x');
    kv_printf("%s\n", text.c_str());
    EXPECT_EQ(log.Lines(), (Lines{"proc: shown 7\n", "proc: debug -1\n", text + "\n"}));
    EXPECT_EQ(log.PrintedLines(), (Lines{"proc: shown 7\n", text + "\n"}));
  }
  EXPECT_TRUE(kvStandIn::GetDebug());
  kvStandIn::SetDebug(false);
}

TEST(LogTest, ExceptionMessageIsTheFormattedText) {
  const kvException error("%s: %s: %s", "proc", "open", "No such file or directory");
  EXPECT_STREQ(error.what(), "proc: open: No such file or directory");
  const std::string text(5000, 'y');
  EXPECT_EQ(std::string(kvException("%s!", text.c_str()).what()), text + "!");
}

}  // namespace
