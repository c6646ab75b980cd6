// The worker loop: reload, take over the queued batch, filter, encode and dispatch, then send the
// periodic payloads once the daemon has ended an update.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <unordered_map>

#include "kv/exception.h"
#include "kv/log.h"
#include "payload/release_document.h"
#include "plugin/constants.h"
#include "plugin/plugin.h"

namespace {

bool IsEmptyDocument(const json& document) {
  return document.is_null() || ((document.is_object() || document.is_array()) && document.empty());
}

}  // namespace

void* kppPlugin::Entry() {
  kv_printf(
      "%s: %s v%s: worker started; flow events stream as encoded, update payloads follow "
      "each update\n",
      tag.c_str(), kpp::kName, kpp::kVersion);

  for (;;) {
    if (reload.load()) {
      const uint64_t served = reload_requests.load();
      Reload();
      reload.store(false);
      // A request made while the file was being read may be for a file rewritten meanwhile: it
      // gets a reload of its own on the next pass instead of being absorbed by this one.
      if (reload_requests.load() != served) reload.store(true);
    }

    // Announced before the look, so that a daemon thread queueing after it sees the announcement
    // and wakes the worker.
    worker_looking.store(true);
    Lock();
    if (event_queue.empty()) {
      Unlock();
      if (work_queue.empty() && ShouldTerminate()) return nullptr;
      WaitForWork();
      continue;
    }
    worker_looking.store(false);
    // Take over the whole batch; work_queue holds it in reverse, so its back is the oldest.
    // No encoding happens under the thread lock.
    if (work_queue.empty()) {
      // The usual case (every pass drains work_queue): the two queues trade storage, so the lock
      // is held for a constant time whatever the batch size, no event is copied under it, and
      // the daemon's threads append into the emptied storage of the last batch. The batch is
      // put in reverse order after the lock is released; work_queue is the worker's alone.
      work_queue.swap(event_queue);
      Unlock();
      std::reverse(work_queue.begin(), work_queue.end());
    } else {
      work_queue.reserve(work_queue.size() + event_queue.size());
      while (!event_queue.empty()) {
        work_queue.push_back(std::move(event_queue.back()));
        event_queue.pop_back();
      }
      Unlock();
    }

    ProcessBatch();
    FinishUpdate();
  }
}

void kppPlugin::WaitForWork() {
  int rc = pthread_mutex_lock(&cond_mutex);
  if (rc != 0) throw kvException("%s: %s: %s", tag.c_str(), "pthread_mutex_lock", strerror(rc));

  timespec deadline;
  if (clock_gettime(CLOCK_MONOTONIC, &deadline) != 0) {
    const int error = errno;
    pthread_mutex_unlock(&cond_mutex);
    throw kvException("%s: %s: %s", tag.c_str(), "clock_gettime", strerror(error));
  }
  deadline.tv_sec += kpp::kWorkerWaitSeconds;

  rc = pthread_cond_timedwait(&cond, &cond_mutex, &deadline);
  if (rc != 0 && rc != ETIMEDOUT) {
    pthread_mutex_unlock(&cond_mutex);
    throw kvException("%s: %s: %s", tag.c_str(), "pthread_cond_timedwait", strerror(rc));
  }

  rc = pthread_mutex_unlock(&cond_mutex);
  if (rc != 0) throw kvException("%s: %s: %s", tag.c_str(), "pthread_mutex_unlock", strerror(rc));
}

bool kppPlugin::PassesFilters(const kppFlowEvent& event) {
  if (flow_filters.empty()) return true;
  for (const std::string& expression : flow_filters) {
    std::unordered_map<std::string, json> vars;
    try {
      if (flow_parser.Parse(event.flow, vars, expression)) return true;
    } catch (const std::string& error) {
      kv_dprintf("%s: %s: %s\n", tag.c_str(), expression.c_str(), error.c_str());
    }
  }
  return false;
}

void kppPlugin::ProcessBatch() {
  while (!work_queue.empty()) {
    if (!PassesFilters(work_queue.back())) {
      work_queue.pop_back();
      continue;
    }
    json document;
    EncodeFlow(work_queue.back(), document);
    work_queue.pop_back();
    if (IsEmptyDocument(document)) continue;
    DispatchPayload(kppChannelConfig::TYPE_LEGACY_SOCKET, document);
    DispatchPayload(kppChannelConfig::TYPE_STREAM_FLOWS, document);
    // Freed from the leaves up: the library's destructor would first move every nested value of
    // the flow encoding into a list of its own.
    kpp::ReleaseDocument(document);
  }
}

void kppPlugin::FinishUpdate() {
  if (!dispatch_pending.load()) return;
  dispatch_pending.store(false);

  // The update's documents are taken over at once, so the daemon's threads can write the next
  // update's documents while these are being sent.
  const kppUpdateDocuments documents = TakeUpdateDocuments();
  const uint8_t types = channel_types.load();
  if ((types & kpp::kLegacyTypes) != 0) DispatchLegacyPayload(documents);
  if ((types & kpp::kStreamStatsTypes) != 0) DispatchStreamPayload(documents);
  interface_flows.clear();
}
