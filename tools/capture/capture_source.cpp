// CaptureSource: the files, the tracker and the update clock of one capture run.
#include "tools/capture/capture_source.h"

namespace capture {

class CaptureRun {
 public:
  CaptureRun(std::vector<InterfaceSpec> specs_, TrackerSettings settings_, size_t buckets)
      : specs(std::move(specs_)), settings(std::move(settings_)), flow_map(buckets) {}

  std::vector<InterfaceSpec> specs;
  TrackerSettings settings;
  kvFlowMap flow_map;
  std::map<std::string, std::shared_ptr<kvInterface>> interfaces;
};

CaptureSource::CaptureSource(std::vector<InterfaceSpec> interfaces, TrackerSettings settings,
                             size_t buckets)
    : run(std::make_unique<CaptureRun>(std::move(interfaces), std::move(settings), buckets)) {}

CaptureSource::~CaptureSource() = default;

void CaptureSource::Open() {}

std::string CaptureSource::Run(DaemonEvents& events) {
  (void)events;
  return "";
}

kvFlowMap& CaptureSource::FlowMap() { return run->flow_map; }

std::map<std::string, std::shared_ptr<kvInterface>>& CaptureSource::Interfaces() {
  return run->interfaces;
}

}  // namespace capture
