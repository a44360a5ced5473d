#include "Velmora/RecordWriter.h"

#include <chrono>
#include <mutex>
#include <new>

#include "Tools/ChannelState.h"
#include "Tools/FileAccess.h"
#include "Tools/FileLayer.h"
#include "Tools/ReadXml.h"
#include "Velmora/registry/Trace.h"

namespace {

// Calls whose statistics wait for a retry; beyond this the oldest are
// dropped (with a trace) so that a statistics file that can never be
// rewritten does not use up memory.
constexpr size_t MAX_PENDING_STATISTICS = 4096;

}  // namespace

RecordWriter::RecordWriter(ReadXml& files, int channels, int retry_ms)
    : d_files(files), d_channels(channels < 0 ? 0 : channels), d_retry_ms(retry_ms) {}

bool RecordWriter::Start() {
  try {
    d_blocks.reserve(static_cast<size_t>(d_channels));
    for (int ch = 1; ch <= d_channels; ++ch) d_blocks.push_back(idle_channel_block(ch));
  } catch (const std::bad_alloc&) {
    GW_TRACE("malloc error\n\n");
    std::vector<std::string>().swap(d_blocks);
    return false;
  }
  RewriteStateFile();
  return true;
}

bool RecordWriter::HasPendingWork() const { return d_state_dirty || d_cdr_failed || !d_pending_stats.empty(); }

void RecordWriter::Run() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(cond_prot_lock);
      auto ready = [this] { return countcdr != 0 || d_stop.load(); };
      if (HasPendingWork()) {
        cond_prot.wait_for(lock, std::chrono::milliseconds(d_retry_ms), ready);
      } else {
        cond_prot.wait(lock, ready);
      }
      if (d_stop.load() && countcdr == 0) return;
      // Reset before draining: whatever is queued from here on raises the
      // counter again and is handled by the next pass without waiting.
      countcdr = 0;
    }
    Drain();
  }
}

void RecordWriter::Stop() {
  {
    std::lock_guard<std::mutex> lock(cond_prot_lock);
    d_stop.store(true);
  }
  cond_prot.notify_all();
}

bool RecordWriter::StateQueued() const {
  std::lock_guard<SkypeMutex> lock(statemutex);
  return !v_state.empty();
}

void RecordWriter::Drain() {
  // Once the statistics file failed in a pass, the rest of the pass only
  // queues statistics: its retries would hold up the call records.
  bool stats_blocked = !FlushStatistics();
  d_cdr_failed = false;
  for (;;) {
    S_User record;
    {
      std::lock_guard<SkypeMutex> lock(cdrmutex);
      if (v_cdr.empty()) break;
      record = v_cdr.front();
    }
    if (StateQueued()) ApplyStates();
    GW_TRACE("saveCDR  %d %d %d \n \n", static_cast<int>(record.start), static_cast<int>(record.calltype),
             static_cast<int>(record.callresult));
    if (d_files.saveCDR(record) != 0) {
      d_cdr_failed = true;  // it and the records behind it wait for the retry
      break;
    }
    {
      std::lock_guard<SkypeMutex> lock(cdrmutex);
      v_cdr.erase(v_cdr.begin());
    }
    if (d_pending_stats.size() >= MAX_PENDING_STATISTICS) {
      GW_TRACE("statistics of a call dropped\n\n");
      d_pending_stats.pop_front();
    }
    d_pending_stats.push_back(std::move(record));
    if (!stats_blocked) stats_blocked = !FlushStatistics();
  }
  if (StateQueued() || d_state_dirty) ApplyStates();
}

bool RecordWriter::FlushStatistics() {
  while (!d_pending_stats.empty()) {
    S_User& record = d_pending_stats.front();
    if (d_files.SaveStatis(record, record.callresult) != 0) return false;
    d_pending_stats.pop_front();
  }
  return true;
}

void RecordWriter::ApplyStates() {
  {
    std::lock_guard<SkypeMutex> lock(statemutex);
    for (const S_User& state : v_state) {
      if (state.channel < 1 || state.channel > d_channels) continue;
      d_blocks[static_cast<size_t>(state.channel - 1)] = channel_block(state);
    }
    v_state.clear();
  }
  RewriteStateFile();
}

void RecordWriter::RewriteStateFile() {
  std::string text;
  for (const std::string& block : d_blocks) text += block;
  int fd = -1;
  if (d_files.openchanstate(&fd) != 0) {
    d_state_dirty = true;  // the table keeps the state; a later rewrite catches up
    return;
  }
  bool ok = text.empty() || gw_write_all(fd, text.data(), static_cast<int>(text.size()));
  gw_fclose(fd);
  d_state_dirty = !ok;
}
