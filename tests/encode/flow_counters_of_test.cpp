// FlowCountersOf: the counters taken from a full encoding equal a counters-only encoding.
#include <gtest/gtest.h>

#include "bench/sample_flow.h"
#include "encode/flow_counters_of.h"

namespace {

using Flags = kvFlags<kvFlow::EncodeFlags>;

json Encoded(const kvFlow& flow, const kvFlowStats& stats, Flags flags) {
  json document;
  flow.Encode(document, stats, flags);
  return document;
}

TEST(FlowCountersOf, EqualsACountersOnlyEncodingOfEveryKindOfFlow) {
  korvel_bench::EnableGlobalConfig();
  const kvFlowStats stats = korvel_bench::SampleStats();
  struct Variant {
    const char* name;
    void (*change)(kvFlow&);
  } variants[] = {
      {"TLS over GTP, history, lower local", [](kvFlow&) {}},
      {"lower is the other side", [](kvFlow& f) { f.lower_map = kvFlow::LOWER_MAP_OTHER; }},
      {"UDP: no tcp counters", [](kvFlow& f) { f.ip_protocol = 17; }},
      {"no digest history", [](kvFlow& f) { f.digest_history.clear(); }},
      {"no tunnel", [](kvFlow& f) { f.tunnel_type = kvFlow::TUNNEL_NONE; }},
  };
  for (const Variant& variant : variants) {
    SCOPED_TRACE(variant.name);
    kvFlow flow;
    korvel_bench::FillSampleFlow(flow);
    variant.change(flow);
    const json counters = Encoded(flow, stats, kvFlow::ENCODE_STATS);
    json full = Encoded(flow, stats, kvFlow::ENCODE_ALL);
    const json kept = full;

    EXPECT_EQ(kpp::encode::FlowCountersOf(static_cast<const json&>(full)).dump(), counters.dump());
    EXPECT_EQ(full, kept);
    EXPECT_EQ(kpp::encode::FlowCountersOf(std::move(full)).dump(), counters.dump());
  }
}

TEST(FlowCountersOf, OfANonObjectIsAnEmptyObject) {
  EXPECT_EQ(kpp::encode::FlowCountersOf(json()), json::object());
  EXPECT_EQ(kpp::encode::FlowCountersOf(static_cast<const json&>(json::array({1}))),
            json::object());
}

}  // namespace
