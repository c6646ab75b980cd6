// EncodeFlowRisks: a flow's risk identifiers and scores ("risks") and its tags ("tags").
#include <utility>

#include "encode/flow_sections.h"
#include "encode/keys.h"

namespace kpp::encode {

namespace {

using Path = kvSerializer::Path;

struct RiskPaths {
  Path risks{key::kRisks, key::kRisks};
  Path score{key::kRisks, "ndpi_risk_score"};
  Path score_client{key::kRisks, "ndpi_risk_score_client"};
  Path score_server{key::kRisks, "ndpi_risk_score_server"};
  Path tags{"tags"};
};

const RiskPaths& Paths() {
  static const RiskPaths paths;
  return paths;
}

}  // namespace

void EncodeFlowRisks(const kvFlow& flow, json& j) {
  const RiskPaths& paths = Paths();

  // The set is ordered, so the identifiers come out ascending.
  if (!flow.risks.empty()) {
    json risks = json::array();
    json::array_t& ids = risks.get_ref<json::array_t&>();
    ids.reserve(flow.risks.size());
    for (const kvRisk::Id id : flow.risks)
      ids.emplace_back(static_cast<json::number_unsigned_t>(id));
    flow.serialize(j, paths.risks, std::move(risks));
  }
  flow.serialize(j, paths.score, static_cast<unsigned short>(flow.risk_score));
  flow.serialize(j, paths.score_client, static_cast<unsigned short>(flow.risk_score_client));
  flow.serialize(j, paths.score_server, static_cast<unsigned short>(flow.risk_score_server));

  // Also ordered: the tags come out in ascending byte order.
  if (!flow.tags.empty()) {
    json tags = json::array();
    json::array_t& texts = tags.get_ref<json::array_t&>();
    texts.reserve(flow.tags.size());
    for (const std::string& tag : flow.tags) texts.emplace_back(tag);
    flow.serialize(j, paths.tags, std::move(tags));
  }
}

}  // namespace kpp::encode
