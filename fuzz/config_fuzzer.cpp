// Fuzzes the configuration loader: after every load the configuration in force is the file's,
// whole, or the one before it, unchanged, and a failed load is logged with the text the file
// calls for. A reference reading of the configuration rules, written apart from the loader,
// says which.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kv/json.h"
#include "kv/standin.h"
#include "plugin/plugin.h"

namespace {

// The settings a load installs.
struct Settings {
  kppChannelConfig defaults;
  kppPlugin::Sinks sinks;
  uint8_t channel_types = 0;
  std::vector<std::string> flow_filters;

  bool operator==(const Settings& other) const {
    return defaults == other.defaults && sinks == other.sinks &&
           channel_types == other.channel_types && flow_filters == other.flow_filters;
  }
  bool operator!=(const Settings& other) const { return !(*this == other); }
};

Settings Current(const kppPlugin& plugin) {
  return {plugin.defaults, plugin.sinks, plugin.channel_types.load(), plugin.flow_filters};
}

// What a load must do: install `settings`, or fail with `error` and change nothing.
struct Outcome {
  bool loads = false;
  Settings settings;
  std::string error;
};

std::string TypeError(const char* wanted, const json& value) {
  return std::string("[json.exception.type_error.302] type must be ") + wanted + ", but is " +
         value.type_name();
}

// The bad-value text; the name is a C string there, so it ends at a NUL.
std::string BadValue(const char* field, const std::string& name) {
  return std::string("void kppChannelConfig::Load(const string &, const json &): ") + field + ": " +
         name.c_str() + ": Invalid argument";
}

// One channel record read from `object`; false with `error` set on a bad member.
bool ReadChannel(kppChannelConfig& config, const json& object, std::string& error) {
  if (!object.is_object()) return true;
  static const std::map<std::string, uint8_t> kTypes = {
      {"legacy-http", 1}, {"legacy-socket", 2}, {"stream-flows", 4}, {"stream-stats", 8}};
  auto types = object.find("types");
  if (types != object.end() && types->is_array()) {
    for (const json& element : *types) {
      if (!element.is_string()) {
        error = TypeError("string", element);
        return false;
      }
    }
    for (const json& element : *types) {
      const std::string& name = element.get_ref<const std::string&>();
      auto bit = kTypes.find(name);
      if (bit == kTypes.end()) {
        error = BadValue("type", name);
        return false;
      }
      config.types |= bit->second;
    }
  }
  auto format = object.find("format");
  if (format != object.end() && format->is_string()) {
    const std::string& name = format->get_ref<const std::string&>();
    if (name == "json") {
      config.format = 1;
    } else if (name == "msgpack") {
      config.format = 2;
    } else {
      error = BadValue("format", name);
      return false;
    }
  }
  auto compressor = object.find("compressor");
  if (compressor != object.end() && compressor->is_string()) {
    const std::string& name = compressor->get_ref<const std::string&>();
    if (name == "gz") {
      config.compress = true;
    } else if (name == "none") {
      config.compress = false;
    } else {
      error = BadValue("compressor", name);
      return false;
    }
  }
  return true;
}

Outcome Expected(const json& root, const Settings& previous) {
  Outcome outcome;
  Settings& next = outcome.settings;
  if (!ReadChannel(next.defaults, root, outcome.error)) return outcome;
  next.channel_types = next.defaults.types;

  next.flow_filters = previous.flow_filters;
  auto filters = root.is_object() ? root.find("flow_filters") : root.end();
  if (root.is_object() && filters != root.end() && filters->is_array()) {
    next.flow_filters.clear();
    for (const json& filter : *filters) {
      if (!filter.is_string()) {
        outcome.error = TypeError("string", filter);
        return outcome;
      }
      next.flow_filters.push_back(filter.get_ref<const std::string&>());
    }
  }

  auto sinks = root.is_object() ? root.find("sinks") : root.end();
  if (root.is_object() && sinks != root.end()) {
    if (!sinks->is_object()) {
      outcome.error = TypeError("object", *sinks);
      return outcome;
    }
    for (const auto& sink : sinks->get_ref<const json::object_t&>()) {
      if (!sink.second.is_object()) {
        outcome.error = TypeError("object", sink.second);
        return outcome;
      }
      for (const auto& channel : sink.second.get_ref<const json::object_t&>()) {
        const json& value = channel.second;
        if (value.is_object()) {
          auto enable = value.find("enable");
          if (enable != value.end() && enable->is_boolean() && !enable->get<bool>()) continue;
        }
        kppChannelConfig config = next.defaults;
        if (!ReadChannel(config, value, outcome.error)) return outcome;
        next.channel_types |= config.types;
        next.sinks[sink.first][channel.first] = config;
      }
    }
  }
  outcome.loads = true;
  return outcome;
}

// The scratch file, removed when the fuzzer exits.
std::string scratch_path;

// The file every input is written to, and the plugin that loads it.
struct Harness {
  Harness() {
    char pattern[] = "/tmp/korvel-fuzz-config-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) std::abort();
    close(fd);
    path = pattern;
    scratch_path = path;
    std::atexit([] { unlink(scratch_path.c_str()); });
    plugin = new kppPlugin("fuzz", {{"conf_filename", path}});
    kvStandIn::SetLogHandler([this](bool debug, const std::string& line) {
      if (debug) return;
      std::lock_guard<std::mutex> guard(lock);
      lines.push_back(line);
    });
  }

  void Write(const uint8_t* data, size_t size) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) std::abort();
  }

  std::vector<std::string> Load(const uint8_t* data, size_t size) {
    Write(data, size);
    {
      std::lock_guard<std::mutex> guard(lock);
      lines.clear();
    }
    plugin->Reload();
    std::lock_guard<std::mutex> guard(lock);
    return lines;
  }

  std::string path;
  kppPlugin* plugin;
  std::mutex lock;
  std::vector<std::string> lines;  // guarded by lock
};

// Loaded before every input, so each input starts from the same configuration and a failure can
// be seen to keep it.
constexpr char kBaseline[] = R"({"types": ["stream-stats"], "format": "msgpack",
  "flow_filters": ["ip_protocol == 6"],
  "sinks": {"base": {"c": {"types": ["legacy-http"], "compressor": "gz"}}}})";

[[noreturn]] void Fail(const std::string& what, const std::string& detail) {
  std::fprintf(stderr, "configuration load broke its rule: %s\n%s\n", what.c_str(), detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Harness* harness = new Harness();
  if (!harness->Load(reinterpret_cast<const uint8_t*>(kBaseline), sizeof(kBaseline) - 1).empty()) {
    Fail("the baseline did not load", "");
  }
  const Settings previous = Current(*harness->plugin);
  const std::vector<std::string> lines = harness->Load(data, size);
  const Settings installed = Current(*harness->plugin);

  Outcome expected;
  try {
    const json root = json::parse(data, data + size, nullptr, true, true);
    expected = Expected(root, previous);
  } catch (const json::exception& e) {
    expected.error = "fuzz: " + harness->path + ": JSON exception: " + e.what();
  }

  if (expected.loads) {
    if (!lines.empty()) Fail("a valid file was refused", lines.front());
    if (installed != expected.settings) Fail("the installed configuration is not the file's", "");
    return 0;
  }
  const std::string line = "fuzz: configuration not loaded: " + expected.error + "\n";
  if (lines.size() != 1 || lines.front() != line) {
    Fail("the failure was not logged as expected",
         "expected: " + line + "logged: " + (lines.empty() ? "(nothing)\n" : lines.front()));
  }
  if (installed != previous) Fail("a failed load changed the configuration", line);
  return 0;
}
