#ifndef VELMORA_RECORDWRITER_H
#define VELMORA_RECORDWRITER_H

// The work of the record writer thread: keeps channelsstate.conf equal to
// the latest state of every channel and writes each finished call to the
// call record and statistics files, oldest first.
//
// A call record leaves `v_cdr` only after saveCDR wrote it, and only this
// writer removes records, so a record is written exactly once. A call whose
// statistics could not be added waits in the writer's own list and is added
// at a later pass; its call record is not written again.

#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "Velmora/registry/Registry.h"

class ReadXml;

class RecordWriter {
public:
  // `channels`: the channel count N; `retry_ms`: how soon work that failed
  // (a locked file) is tried again without another wake-up.
  RecordWriter(ReadXml& files, int channels, int retry_ms = 1000);

  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // Builds the channel text table with every channel idle and rewrites the
  // channel state file. False when memory ran out.
  bool Start();

  // Waits for queued work and handles it, until Stop().
  void Run();

  // Makes Run return once it has handled what is queued.
  void Stop();

  // One pass: the call records, their statistics, then the state queue.
  void Drain();

  // True while something failed and waits for a retry.
  bool HasPendingWork() const;

  const std::vector<std::string>& channel_table() const { return d_blocks; }
  size_t pending_statistics() const { return d_pending_stats.size(); }

private:
  bool StateQueued() const;
  void ApplyStates();
  void RewriteStateFile();
  bool FlushStatistics();  // false when the statistics file failed

  ReadXml& d_files;
  int d_channels;
  int d_retry_ms;
  std::vector<std::string> d_blocks;  // block of channel i + 1
  std::deque<S_User> d_pending_stats;
  bool d_state_dirty = false;
  bool d_cdr_failed = false;
  std::atomic<bool> d_stop{false};
};

#endif
