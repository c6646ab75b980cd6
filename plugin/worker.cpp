// The worker loop: reload, take over the queued batch, filter, encode and dispatch, then send the
// periodic payloads once the daemon has ended an update.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <unordered_map>

#include "encode/empty_value.h"
#include "kv/exception.h"
#include "kv/log.h"
#include "payload/release_document.h"
#include "plugin/exception_text.h"
#include "plugin/identity.h"
#include "plugin/plugin.h"
#include "plugin/thread_lock_guard.h"
#include "plugin/worker_constants.h"

void* kppPlugin::Entry() {
  kv_printf(
      "%s: %s v%s: worker started; flow events stream as encoded, update payloads follow "
      "each update\n",
      tag.c_str(), kpp::kName, kpp::kVersion);

  // A failing document or sink call is handled where it happens (ProcessBatch, FinishUpdate);
  // what reaches this level is a failure of the worker's own machinery (its wait, the thread
  // lock), which ends the worker.
  try {
    for (;;) {
      if (reload.load()) {
        const uint64_t served = reload_requests.load();
        Reload();
        reload.store(false);
        // A request made while the file was being read may be for a file rewritten meanwhile:
        // it gets a reload of its own on the next pass instead of being absorbed by this one.
        if (reload_requests.load() != served) reload.store(true);
      }

      // Announced before the look, so that a daemon thread queueing after it sees the
      // announcement and wakes the worker.
      worker_looking.store(true);
      // The flag is read before the look: the daemon queues its last events before it asks the
      // worker to end, so a flag seen here means the look finds all of them. Read after an
      // empty look, it could have been set just after a last event came in, which would then
      // never be sent.
      const bool terminating = ShouldTerminate();
      if (!TakeBatch()) {
        if (work_queue.empty() && terminating) {
          // An update that no flow event followed (the daemon ends after an update without a
          // flow left to purge) still has its payloads sent: nothing would send them later.
          FinishUpdate();
          // What the last, unfinished update lost is still reported.
          LogDroppedEvents();
          failures.Summarize();
          return nullptr;
        }
        WaitForWork();
        continue;
      }
      ProcessBatch();
      FinishUpdate();
    }
  } catch (...) {
    StopIntake();
    throw;
  }
}

// The thread lock is taken once here, once per pass; the replay tool learns from its release that
// a pass has begun or ended.
bool kppPlugin::TakeBatch() {
  bool traded;
  {
    ThreadLockGuard guard(*this);
    if (event_queue.empty()) return false;
    worker_looking.store(false);
    // Take over the whole batch; work_queue holds it in reverse, so its back is the oldest.
    // No encoding happens under the thread lock.
    traded = work_queue.empty();
    if (traded) {
      // The usual case (every pass drains work_queue): the two queues trade storage, so the
      // lock is held for a constant time whatever the batch size, no event is copied under it,
      // and the daemon's threads append into the emptied storage of the last batch.
      work_queue.swap(event_queue);
    } else {
      work_queue.reserve(work_queue.size() + event_queue.size());
      while (!event_queue.empty()) {
        work_queue.push_back(std::move(event_queue.back()));
        event_queue.pop_back();
      }
    }
  }
  // The traded batch is put in reverse order after the lock is released; work_queue is the
  // worker's alone.
  if (traded) std::reverse(work_queue.begin(), work_queue.end());
  return true;
}

void kppPlugin::StopIntake() noexcept {
  // Daemon threads that read the channel types from here on queue nothing; one that read them
  // just before finds no room in the queue.
  channel_types.store(0);
  std::vector<kppFlowEvent> released;
  try {
    ThreadLockGuard guard(*this);
    flow_queue_limit = 0;
    released.swap(event_queue);
  } catch (...) {
    // The thread lock itself failed: the queue is left as it is.
  }
  work_queue.clear();
  // released, and the flow references it holds, go here, outside the lock.
}

void kppPlugin::WaitForWork() {
  int rc = pthread_mutex_lock(&cond_mutex);
  if (rc != 0) throw kvException("%s: %s: %s", tag.c_str(), "pthread_mutex_lock", strerror(rc));
  // Terminate() sets the flag and broadcasts under cond_mutex: seen here, or it wakes the wait.
  if (ShouldTerminate()) {
    rc = pthread_mutex_unlock(&cond_mutex);
    if (rc != 0) {
      throw kvException("%s: %s: %s", tag.c_str(), "pthread_mutex_unlock", strerror(rc));
    }
    return;
  }

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
    const size_t waiting = work_queue.size();
    try {
      ProcessEvent();
    } catch (...) {
      // The event is dropped: the channels that took its document keep it, the others do not
      // get it, and the worker goes on with the next event.
      if (work_queue.size() == waiting) work_queue.pop_back();
      failures.Record(kpp::kWhatFlowEvent, kppExceptionText(), 1);
    }
  }
}

void kppPlugin::ProcessEvent() {
  if (!PassesFilters(work_queue.back())) {
    work_queue.pop_back();
    return;
  }
  json document;
  EncodeFlow(work_queue.back(), document);
  work_queue.pop_back();
  if (kpp::encode::IsEmptyValue(document)) return;
  DispatchPayload(kppChannelConfig::TYPE_LEGACY_SOCKET, document);
  DispatchPayload(kppChannelConfig::TYPE_STREAM_FLOWS, document);
  // Freed from the leaves up: the library's destructor would first move every nested value of
  // the flow encoding into a list of its own.
  kpp::ReleaseDocument(document);
}

template <typename Dispatch>
void kppPlugin::SendFamily(const char* what, uint64_t documents, Dispatch dispatch) {
  const uint64_t before = payloads_dispatched;
  try {
    dispatch();
  } catch (...) {
    const uint64_t sent = payloads_dispatched - before;
    failures.Record(what, kppExceptionText(), sent < documents ? documents - sent : 0);
  }
}

void kppPlugin::FinishUpdate() {
  // One exchange: an end of update that arrives while this one is being handled stays set for
  // the next pass.
  if (!dispatch_pending.exchange(false)) return;

  // The update's documents are taken over at once, so the daemon's threads can write the next
  // update's documents while these are being sent.
  const kppUpdateDocuments documents = TakeUpdateDocuments();
  const uint8_t types = channel_types.load();
  // A family that fails does not keep the other from being sent, nor the next update from
  // starting clean.
  if ((types & kpp::kLegacyTypes) != 0) {
    SendFamily(kpp::kWhatLegacyPayload, kpp::kLegacyDocuments,
               [&] { DispatchLegacyPayload(documents); });
  }
  if ((types & kpp::kStreamStatsTypes) != 0) {
    SendFamily(kpp::kWhatStreamPayloads, kpp::kStreamDocuments,
               [&] { DispatchStreamPayload(documents); });
  }
  // The legacy family empties interface_flows itself before its document goes out; this is for
  // the updates it does not run in (no legacy channel, or a failure before it got there).
  interface_flows.clear();

  LogDroppedEvents();
  failures.Summarize();
}

// Takes the thread lock once, to read and reset the count.
void kppPlugin::LogDroppedEvents() {
  uint64_t dropped;
  size_t limit;
  {
    ThreadLockGuard guard(*this);
    dropped = flow_events_dropped;
    limit = dropped_at_limit;
    flow_events_dropped = 0;
  }
  if (dropped == 0) return;
  kv_printf("%s: %llu %s dropped: flow_queue_limit %zu reached\n", tag.c_str(),
            static_cast<unsigned long long>(dropped), dropped == 1 ? "flow event" : "flow events",
            limit);
}
