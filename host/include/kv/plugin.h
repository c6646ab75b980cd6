// kvPlugin and kvPluginProcessor: the daemon's plugin base classes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "kv/api.h"
#include "kv/flags.h"
#include "kv/json.h"
#include "kv/thread.h"

class kvFlow;
class kvFlowMap;
class kvInterface;
class kvPacketStats;
class kvInstanceStatus;

class KV_API kvPlugin : public kvThread {
 public:
  using Params = std::map<std::string, std::string>;

  enum Event : uint32_t {
    EVENT_RELOAD = 0,
    EVENT_STATUS = 1,
  };

  enum Type : uint8_t {
    TYPE_BASE = 0,
    TYPE_PROCESSOR_BASIC = 1,
    TYPE_PROCESSOR_STATS = 2,
    TYPE_SINK = 3,
  };

  // Flags of a sink dispatch. What each asks of the sink is the sink's business.
  enum DispatchFlags : uint8_t {
    DF_NONE = 0x00,
    DF_FORMAT_JSON = 0x01,
    DF_FORMAT_RESERVED = 0x02,
    DF_FORMAT_MSGPACK = 0x04,
    DF_ADD_CR = 0x08,
    DF_ADD_HEADER = 0x10,
    DF_GZ_DEFLATE = 0x20,
  };

  // Reads "type" (decimal; a processor type when absent) and "conf_filename" from `params`.
  kvPlugin(const std::string& tag, const Params& params);
  ~kvPlugin() override;

  virtual void GetLibrary(std::string& library) = 0;
  virtual void GetName(std::string& name) = 0;
  virtual void GetVersion(std::string& version) = 0;
  virtual void GetStatus(json& status);
  virtual void DisplayStatus(const json& status);
  virtual void DispatchEvent(Event event, void* arg = nullptr);

  uint8_t GetType() const { return plugin_type; }
  const std::string& GetConfFilename() const { return conf_filename; }

  // Hands a document to the sink plugin `sink` for `channels`. The stand-in passes the call to
  // the host's sink handler (none: nothing happens). It has taken what it needs on return.
  bool DispatchSinkPayload(const std::string& sink, const std::set<std::string>& channels,
                           const json& payload, kvFlags<DispatchFlags> flags);

 protected:
  uint8_t plugin_type;
  std::string conf_filename;
};

class KV_API kvPluginProcessor : public kvPlugin {
 public:
  enum Event : uint32_t {
    EVENT_FLOW_MAP = 1,
    EVENT_FLOW_EXPIRING = 2,
    EVENT_FLOW_EXPIRE = 3,
    EVENT_FLOW_PURGE = 4,
    EVENT_FLOW_DPI_RESERVED = 5,
    EVENT_FLOW_NEW = 6,
    EVENT_DPI_UPDATE = 7,
    EVENT_DPI_COMPLETE = 8,
    EVENT_INTERFACES = 9,
    EVENT_PKT_INTERFACE_STATS = 10,
    EVENT_PKT_GLOBAL_STATS = 11,
    EVENT_INSTANCE_STATUS = 12,
    EVENT_UPDATE_COMPLETE = 13,
  };

  kvPluginProcessor(const std::string& tag, const Params& params);
  ~kvPluginProcessor() override;

  virtual void DispatchProcessorEvent(Event event, kvFlowMap* flow_map);
  virtual void DispatchProcessorEvent(Event event, std::shared_ptr<kvFlow>& flow);
  virtual void DispatchProcessorEvent(Event event, std::shared_ptr<kvFlow>& flow, json& result);
  virtual void DispatchProcessorEvent(Event event,
                                      std::map<std::string, std::shared_ptr<kvInterface>>* ifaces);
  virtual void DispatchProcessorEvent(Event event, const std::string& iface, kvPacketStats* stats);
  virtual void DispatchProcessorEvent(Event event, kvPacketStats* stats);
  virtual void DispatchProcessorEvent(Event event, kvInstanceStatus* status);
  virtual void DispatchProcessorEvent(Event event);
};

// The factory a processor plugin exports under its plain name.
extern "C" {
typedef kvPlugin* (*kvPluginInitFunction)(const std::string& tag, const kvPlugin::Params& params);
}
