// kppPlugin: construction, identity, reload requests and destruction.
#include "plugin/plugin.h"

#include <cerrno>
#include <cstring>
#include <exception>

#include "kv/exception.h"
#include "kv/log.h"
#include "plugin/identity.h"

namespace {
constexpr const char* kConstructorSignature =
    "kppPlugin::kppPlugin(const string &, const kvPlugin::Params &)";
}

kppPlugin::kppPlugin(const std::string& tag_, const kvPlugin::Params& params)
    : kvPluginProcessor(tag_, params), reload(true), dispatch_pending(false), channel_types(0) {
  if (conf_filename.empty()) {
    throw kvException("%s: %s: %s", kConstructorSignature, "conf_filename", strerror(EINVAL));
  }
  // reload (true) and dispatch_pending (false) have their values from the initializer list.

  pthread_condattr_t attr;
  int rc = pthread_condattr_init(&attr);
  if (rc == 0) {
    rc = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    if (rc == 0) rc = pthread_cond_init(&cond, &attr);
    pthread_condattr_destroy(&attr);
  }
  if (rc != 0) throw kvException("%s: %s: %s", tag.c_str(), "pthread_cond_init", strerror(rc));

  rc = pthread_mutex_init(&cond_mutex, nullptr);
  if (rc != 0) {
    pthread_cond_destroy(&cond);
    throw kvException("%s: %s: %s", tag.c_str(), "pthread_mutex_init", strerror(rc));
  }

  kv_dprintf("%s: initialized\n", tag.c_str());
}

kppPlugin::~kppPlugin() {
  pthread_cond_broadcast(&cond);
  Join();
  pthread_cond_destroy(&cond);
  pthread_mutex_destroy(&cond_mutex);
  kv_dprintf("%s: destroyed\n", tag.c_str());
}

void kppPlugin::Terminate() {
  // Under cond_mutex, which the worker holds from its last look at the flag into its wait: the
  // broadcast finds it either before that look or inside the wait, never in between.
  const bool locked = pthread_mutex_lock(&cond_mutex) == 0;
  kvThread::Terminate();
  pthread_cond_broadcast(&cond);
  if (locked) pthread_mutex_unlock(&cond_mutex);
}

void kppPlugin::GetLibrary(std::string& library) {
  library = kpp::kLibrary;
}
void kppPlugin::GetName(std::string& name) {
  name = kpp::kName;
}
void kppPlugin::GetVersion(std::string& version) {
  version = kpp::kVersion;
}
void kppPlugin::GetStatus(json&) {}
void kppPlugin::DisplayStatus(const json&) {}

void kppPlugin::DispatchEvent(kvPlugin::Event event, void*) {
  if (event == kvPlugin::EVENT_RELOAD) {
    reload_requests.fetch_add(1);
    reload.store(true);
  }
}

void kppPlugin::Reload() {
  try {
    LoadConfig();
  } catch (const std::exception& e) {
    kv_printf("%s: configuration not loaded: %s\n", tag.c_str(), e.what());
  }
}
