// Tests of kvGlobalConfig: the instance shown and hidden by the host, defaults and options.
#include <gtest/gtest.h>

#include <string>

#include "kv/exception.h"
#include "kv/global_config.h"

namespace {

// Puts back whatever instance the process had before the test.
class GlobalConfigTest : public ::testing::Test {
 protected:
  GlobalConfigTest() : saved(kvGlobalConfig::instance.load()) {}
  ~GlobalConfigTest() override { kvGlobalConfig::instance.store(saved); }

  kvGlobalConfig* saved;
};

TEST_F(GlobalConfigTest, GetInstanceThrowsAfterDestroy) {
  kvGlobalConfig::Create();
  kvGlobalConfig::Destroy();
  EXPECT_EQ(kvGlobalConfig::instance.load(), nullptr);
  try {
    kvGlobalConfig::GetInstance();
    FAIL() << "no exception";
  } catch (const kvException& e) {
    EXPECT_STREQ(e.what(),
                 "static kvGlobalConfig &kvGlobalConfig::GetInstance(): instance not found");
  }
}

TEST_F(GlobalConfigTest, CreateRestoresTheDefaults) {
  kvGlobalConfig& first = kvGlobalConfig::Create();
  first.SetOption(kvGlobalConfig::OPTION_DHC, true);
  first.SetOption(kvGlobalConfig::OPTION_FHC, true);
  first.update_imf.store(5);
  first.update_interval.store(60);
  kvGlobalConfig::Destroy();

  kvGlobalConfig& config = kvGlobalConfig::Create();
  EXPECT_EQ(&kvGlobalConfig::GetInstance(), &config);
  EXPECT_EQ(kvGlobalConfig::instance.load(), &config);
  EXPECT_EQ(config.options.load(), 0u);
  EXPECT_EQ(config.update_imf.load(), 1u);
  EXPECT_EQ(config.update_interval.load(), 15u);
  EXPECT_FALSE(config.IsEnabled(kvGlobalConfig::OPTION_DHC));
  EXPECT_FALSE(config.IsEnabled(kvGlobalConfig::OPTION_FHC));
}

TEST_F(GlobalConfigTest, OptionsAreIndependentBits) {
  kvGlobalConfig& config = kvGlobalConfig::Create();
  config.SetOption(kvGlobalConfig::OPTION_FHC, true);
  EXPECT_FALSE(config.IsEnabled(kvGlobalConfig::OPTION_DHC));
  EXPECT_TRUE(config.IsEnabled(kvGlobalConfig::OPTION_FHC));
  EXPECT_EQ(config.options.load(), 0x02u);
  config.SetOption(kvGlobalConfig::OPTION_DHC, true);
  EXPECT_EQ(config.options.load(), 0x03u);
  config.SetOption(kvGlobalConfig::OPTION_FHC, false);
  EXPECT_TRUE(config.IsEnabled(kvGlobalConfig::OPTION_DHC));
  EXPECT_FALSE(config.IsEnabled(kvGlobalConfig::OPTION_FHC));
  EXPECT_EQ(config.options.load(), 0x01u);
  config.SetOption(kvGlobalConfig::OPTION_FHC, false);
  EXPECT_EQ(config.options.load(), 0x01u);
}

}  // namespace
