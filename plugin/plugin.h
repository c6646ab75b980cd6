// kppPlugin: the processor plugin object the daemon creates through kvPluginInit.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/channel_config.h"
#include "config/settings.h"
#include "kv/flow_parser.h"
#include "kv/json.h"
#include "kv/plugin.h"
#include "payload/flow_event.h"
#include "payload/interface_flows.h"
#include "payload/update_documents.h"
#include "plugin/failure_log.h"

class kvFlowMap;
class kvInterface;
class kvInstanceStatus;
class kvPacketStats;

// Threads: the daemon's threads call the DispatchProcessorEvent overloads and DispatchEvent; the
// worker thread (Entry) loads the configuration, encodes flows and dispatches every payload.
// Each member below says who may touch it. The configuration is read by config/ and the
// documents are built and routed by payload/; the members here hand their state to those.
// The non-virtual operations and the members are public so that the tests and benchmarks can
// drive one step at a time and look at the state it leaves; nothing else in the plugin reaches
// them from outside the class.
class kppPlugin : public kvPluginProcessor {
 public:
  using Sinks = kppSinks;
  using InterfaceFlows = kppInterfaceFlows;
  using Interfaces = std::map<std::string, std::shared_ptr<kvInterface>>;

  // Cache line size of the processors the daemon runs on.
  static constexpr size_t kCacheLine = 64;

  // Throws kvException when conf_filename is empty or a POSIX primitive cannot be made.
  kppPlugin(const std::string& tag, const kvPlugin::Params& params);
  ~kppPlugin() override;

  // Worker body: banner, then reload / take over / filter / encode / dispatch until terminated.
  void* Entry() override;
  // Sets the terminate flag and wakes a waiting worker, so that it ends as soon as it has
  // drained what it holds rather than at the end of its wait. Daemon thread.
  void Terminate() override;

  void GetLibrary(std::string& library) override;
  void GetName(std::string& name) override;
  void GetVersion(std::string& version) override;
  void GetStatus(json& status) override;
  void DisplayStatus(const json& status) override;
  // Event 0 asks for a reload. Daemon thread.
  void DispatchEvent(kvPlugin::Event event, void* arg = nullptr) override;

  // Event intake. Daemon threads.
  using kvPluginProcessor::DispatchProcessorEvent;
  void DispatchProcessorEvent(kvPluginProcessor::Event event, kvFlowMap* flow_map) override;
  void DispatchProcessorEvent(kvPluginProcessor::Event event,
                              std::shared_ptr<kvFlow>& flow) override;
  void DispatchProcessorEvent(kvPluginProcessor::Event event, Interfaces* interfaces) override;
  void DispatchProcessorEvent(kvPluginProcessor::Event event, const std::string& iface,
                              kvPacketStats* stats) override;
  void DispatchProcessorEvent(kvPluginProcessor::Event event, kvPacketStats* stats) override;
  void DispatchProcessorEvent(kvPluginProcessor::Event event, kvInstanceStatus* status) override;
  void DispatchProcessorEvent(kvPluginProcessor::Event event) override;

  // Sends a document to every channel whose types include `type`, once per channel. Worker.
  virtual void DispatchPayload(kppChannelConfig::Type type, const json& payload);

  // Loads the configuration and logs a failure, keeping the configuration in force. Worker.
  void Reload();
  // Reads the configuration file and installs it whole, or throws and changes nothing. Worker.
  void LoadConfig();

  // Fills `document` with the flow-event document of `event` (nothing for other kinds) and, while
  // a channel takes legacy-http, files flow-statistics encodings in interface_flows. Worker.
  void EncodeFlow(const kppFlowEvent& event, json& document);

  // The periodic payloads of one update, from the documents the worker took over. Worker.
  void DispatchLegacyPayload(const kppUpdateDocuments& documents);
  void DispatchStreamPayload(const kppUpdateDocuments& documents);

  // Encoders of events 9 to 12 into the stored documents. Daemon threads; each holds
  // documents_lock while it writes.
  void EncodeInterfaces(Interfaces* interfaces);
  void EncodeInterfaceStats(const std::string& iface, kvPacketStats* stats);
  void EncodeGlobalPacketStats(kvPacketStats* stats);
  void EncodeAgentStatus(kvInstanceStatus* status);

  // Takes the stored documents over for the worker, leaving emptied documents in their place
  // (an object emptied, null left null). Worker; takes documents_lock.
  kppUpdateDocuments TakeUpdateDocuments();

  // A configuration (re)load is due; set by DispatchEvent, cleared by the worker.
  std::atomic<bool> reload;
  // Reload requests made so far; the worker compares it around a reload to catch a request made
  // while the file was being read.
  std::atomic<uint64_t> reload_requests{0};
  // The daemon ended an update; the worker sends the periodic payloads.
  std::atomic<bool> dispatch_pending;
  // Wakes the worker (CLOCK_MONOTONIC); daemon threads broadcast it without cond_mutex.
  pthread_cond_t cond;
  // Set by the worker before it looks at event_queue for a batch, cleared once it has found one.
  // A daemon thread that queued an event broadcasts cond only while it is set: otherwise the
  // worker is busy with a batch and will look at the queue again before it waits.
  std::atomic<bool> worker_looking{true};
  pthread_mutex_t cond_mutex;
  // Configuration in force; installed by the worker under the thread lock, read by the worker.
  kppChannelConfig defaults;
  Sinks sinks;
  // Union of the channel type bits in use; read by daemon threads without a lock.
  std::atomic<uint8_t> channel_types;
  // Queued flow events; guarded by the thread lock (kvThread::Lock). Daemon threads append to it
  // at every flow event while the worker pops work_queue at every event it encodes, so the two
  // start on cache lines of their own: neither thread's writes evict the other's.
  alignas(kCacheLine) std::vector<kppFlowEvent> event_queue;
  // The most events event_queue may hold: the configuration's "flow_queue_limit", kNoQueueLimit
  // without one, 0 once the worker has ended by a failure. Installed by the worker, read by the
  // daemon threads; guarded by the thread lock, on event_queue's cache line.
  size_t flow_queue_limit = kpp::kNoQueueLimit;
  // Flow events the limit turned away since the worker last logged them, and the limit the last
  // of them met; daemon threads count them, the worker takes the count over; guarded by the
  // thread lock.
  uint64_t flow_events_dropped = 0;
  size_t dropped_at_limit = 0;
  // The batch being encoded, in reverse arrival order; worker only.
  alignas(kCacheLine) std::vector<kppFlowEvent> work_queue;
  // Filter evaluation and expressions; worker only.
  kvFlowParser flow_parser;
  std::vector<std::string> flow_filters;
  // Full encodings of the update's flow-statistics events, per interface and digest; worker only.
  InterfaceFlows interface_flows;
  // The stored documents of the current update; guarded by documents_lock, which daemon threads
  // hold while they write and the worker holds only to take them over.
  json json_status;
  json json_interfaces;
  json json_endpoints;
  json json_interface_stats;
  json json_global_stats;
  std::mutex documents_lock;
  // Documents that failed, logged first at once and then once per update; worker only.
  kppFailureLog failures{tag};
  // DispatchPayload calls that returned normally; worker only. Tells how far a periodic family
  // got before it failed.
  uint64_t payloads_dispatched = 0;

 private:
  // Wakes a waiting worker; throws kvException when the broadcast fails.
  void Wake();
  // Sleeps on cond until woken or for at most the wait period. Worker.
  void WaitForWork();
  // Moves the queued events to work_queue; false when none are queued. Worker; takes the thread
  // lock.
  bool TakeBatch();
  // Filters, encodes and dispatches every event of work_queue; an event that fails is logged
  // and dropped. Worker.
  void ProcessBatch();
  // Filters, encodes and dispatches the event at the back of work_queue, and removes it. Worker.
  void ProcessEvent();
  // Sends the periodic payloads if due, empties the update's documents and logs what the update
  // lost. Worker.
  void FinishUpdate();
  // Sends one periodic family through `dispatch`; a failure is logged and costs the family's
  // documents not yet sent. Worker.
  template <typename Dispatch>
  void SendFamily(const char* what, uint64_t documents, Dispatch dispatch);
  // Logs the flow events the queue limit turned away since the last such line. Worker.
  void LogDroppedEvents();
  // After a failure of the worker's own machinery: no flow event is queued any more, and those
  // queued are released. Worker, as Entry ends.
  void StopIntake() noexcept;
  // True when the event's flow passes the filters (or there are none). Worker.
  bool PassesFilters(const kppFlowEvent& event);
};

// The factory the daemon calls; exported under its plain name.
extern "C" __attribute__((visibility("default"))) kvPlugin* kvPluginInit(
    const std::string& tag, const kvPlugin::Params& params);
