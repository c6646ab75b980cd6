// Tests of kvGlobalConfig: the instance shown and hidden by the host, defaults and options.
#include <gtest/gtest.h>

#include "kv/exception.h"
#include "kv/global_config.h"

namespace {

TEST(GlobalConfigTest, InstanceDefaultsAndOptionBits) {
  kvGlobalConfig* const saved = kvGlobalConfig::instance.load();
  kvGlobalConfig& first = kvGlobalConfig::Create();
  first.SetOption(kvGlobalConfig::OPTION_DHC, true);
  first.update_imf.store(5);
  first.update_interval.store(60);
  kvGlobalConfig::Destroy();
  EXPECT_EQ(kvGlobalConfig::instance.load(), nullptr);
  try {
    kvGlobalConfig::GetInstance();
    ADD_FAILURE() << "no exception";
  } catch (const kvException& e) {
    EXPECT_STREQ(e.what(),
                 "static kvGlobalConfig &kvGlobalConfig::GetInstance(): instance not found");
  }

  // A new instance has the defaults again.
  kvGlobalConfig& config = kvGlobalConfig::Create();
  EXPECT_EQ(&kvGlobalConfig::GetInstance(), &config);
  EXPECT_EQ(kvGlobalConfig::instance.load(), &config);
  EXPECT_EQ(config.options.load(), 0u);
  EXPECT_EQ(config.update_imf.load(), 1u);
  EXPECT_EQ(config.update_interval.load(), 15u);

  // Each option is its own bit: option, value, then the bits and both answers after.
  const struct {
    kvGlobalConfig::Option option;
    bool value;
    unsigned bits;
  } steps[] = {{kvGlobalConfig::OPTION_FHC, true, 0x02},
               {kvGlobalConfig::OPTION_DHC, true, 0x03},
               {kvGlobalConfig::OPTION_FHC, false, 0x01},
               {kvGlobalConfig::OPTION_FHC, false, 0x01}};
  for (const auto& step : steps) {
    config.SetOption(step.option, step.value);
    EXPECT_EQ(config.options.load(), step.bits);
    EXPECT_EQ(config.IsEnabled(kvGlobalConfig::OPTION_DHC), (step.bits & 1) != 0);
    EXPECT_EQ(config.IsEnabled(kvGlobalConfig::OPTION_FHC), (step.bits & 2) != 0);
  }
  kvGlobalConfig::Destroy();
  kvGlobalConfig::instance.store(saved);
}

}  // namespace
