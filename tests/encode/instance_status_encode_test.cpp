// Tests of kvInstanceStatus::Encode: the 24 status members, the update settings and failures.
#include <gtest/gtest.h>

#include <ctime>

#include "kv/exception.h"
#include "kv/global_config.h"
#include "kv/instance_status.h"

namespace {

class InstanceStatusEncode : public ::testing::Test {
 protected:
  void SetUp() override { kvGlobalConfig::Create(); }
  void TearDown() override { kvGlobalConfig::Destroy(); }

  // Encodes `status` and checks "timestamp" is a signed number taken during the call; returns
  // the document without it.
  static json EncodeWithoutTimestamp(const kvInstanceStatus& status, json doc = json()) {
    const long before = static_cast<long>(std::time(nullptr));
    status.Encode(doc);
    const long after = static_cast<long>(std::time(nullptr));
    const json& timestamp = doc.at("timestamp");
    EXPECT_TRUE(timestamp.is_number_integer() && !timestamp.is_number_unsigned());
    EXPECT_GE(timestamp.get<long>(), before);
    EXPECT_LE(timestamp.get<long>(), after);
    doc.erase("timestamp");
    return doc;
  }
};

constexpr const char kZeroStatus[] = R"({
  "update_interval": 15, "update_imf": 1, "uptime": 0, "cpu_cores": 0,
  "cpu_user": 0.0, "cpu_user_prev": 0.0, "cpu_system": 0.0, "cpu_system_prev": 0.0,
  "flow_count": 0, "flow_count_prev": 0, "flows_purged": 0, "flows_expiring": 0,
  "flows_expired": 0, "flows_active": 0, "flows_in_use": 0, "flows_probation_expired": 0,
  "flows_evicted": 0, "maxrss_kb": 0, "maxrss_kb_prev": 0, "memrss_kb": 0, "memrss_kb_prev": 0,
  "dhc_status": false, "fhc_status": false})";

TEST_F(InstanceStatusEncode, ZeroRecordGivesTwentyFourMembers) {
  const kvInstanceStatus status;
  const json doc = EncodeWithoutTimestamp(status);
  EXPECT_EQ(doc, json::parse(kZeroStatus));
  EXPECT_TRUE(doc.at("cpu_user").is_number_float());
}

TEST_F(InstanceStatusEncode, EveryFieldUnderItsKey) {
  kvGlobalConfig::GetInstance().update_interval = 30;
  kvGlobalConfig::GetInstance().update_imf = 4;
  kvInstanceStatus status;
  status.cpu_cores = 4;
  status.ts_epoch = 111;
  status.uptime = 3600;
  status.ts_now = 222;
  status.flow_count = 10;
  status.flow_count_prev = 9;
  status.flows_purged = 8;
  status.flows_expiring = 7;
  status.flows_expired = 6;
  status.flows_active = 5;
  status.flows_in_use = 4;
  status.flows_probation_expired = 3;
  status.flows_evicted = 2;
  status.cpu_user = 1.5;
  status.cpu_user_prev = 1.25;
  status.cpu_system = 0.5;
  status.cpu_system_prev = 0.25;
  status.maxrss_kb = 20480;
  status.maxrss_kb_prev = 20000;
  status.memrss_kb = 10240;
  status.memrss_kb_prev = 10000;
  status.dhc_status = true;
  status.fhc_status = false;
  const json doc = EncodeWithoutTimestamp(status);
  EXPECT_EQ(doc.dump(),
            R"({"cpu_cores":4,"cpu_system":0.5,"cpu_system_prev":0.25,"cpu_user":1.5,)"
            R"("cpu_user_prev":1.25,"dhc_status":true,"fhc_status":false,"flow_count":10,)"
            R"("flow_count_prev":9,"flows_active":5,"flows_evicted":2,"flows_expired":6,)"
            R"("flows_expiring":7,"flows_in_use":4,"flows_probation_expired":3,)"
            R"("flows_purged":8,"maxrss_kb":20480,"maxrss_kb_prev":20000,"memrss_kb":10240,)"
            R"("memrss_kb_prev":10000,"update_imf":4,"update_interval":30,"uptime":3600})");
  EXPECT_TRUE(doc.at("cpu_cores").is_number_unsigned());
}

TEST_F(InstanceStatusEncode, SecondEncodingOverwritesAndKeepsOtherMembers) {
  kvInstanceStatus status;
  status.flow_count = 1;
  json doc = json::parse(R"({"agent_version": "x"})");
  status.Encode(doc);
  status.flow_count = 2;
  const json second = EncodeWithoutTimestamp(status, doc);
  json expected = json::parse(kZeroStatus);
  expected["flow_count"] = 2;
  expected["agent_version"] = "x";
  EXPECT_EQ(second, expected);
}

TEST_F(InstanceStatusEncode, MissingGlobalConfigLeavesOnlyTheTimestamp) {
  kvGlobalConfig::Destroy();
  const kvInstanceStatus status;
  json doc;
  try {
    status.Encode(doc);
    FAIL() << "no exception";
  } catch (const kvException& error) {
    EXPECT_STREQ(error.what(),
                 "static kvGlobalConfig &kvGlobalConfig::GetInstance(): instance not found");
  }
  ASSERT_EQ(doc.size(), 1u);
  EXPECT_TRUE(doc.contains("timestamp"));
}

}  // namespace
