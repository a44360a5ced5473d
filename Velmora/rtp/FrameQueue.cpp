// The four-slot frame queue between the receive thread (writer) and a voice
// host thread (reader). It never blocks and never grows: a writer that runs
// ahead overwrites the oldest frame, a reader that runs ahead gets nothing.

#include <cstring>
#include <mutex>

#include "Velmora/rtp/rtp.h"

namespace {

// Claims the slot for the next frame, dropping the oldest of a full queue.
// The queue's lock is held.
int claim_slot(cir_queue_t* q) {
  if (q->count >= CIR_QUEUE_SLOTS) {
    q->out = (q->out + 1) % CIR_QUEUE_SLOTS;
    --q->count;
  }
  q->in = (q->in + 1) % CIR_QUEUE_SLOTS;
  ++q->count;
  return q->in;
}

// Releases the oldest frame's slot, or -1 for an empty queue. The lock is held.
int release_slot(cir_queue_t* q) {
  if (q->count <= 0) return -1;
  q->out = (q->out + 1) % CIR_QUEUE_SLOTS;
  --q->count;
  return q->out;
}

}  // namespace

void queue_init(cir_queue_t* queue) {
  std::lock_guard<std::mutex> guard(queue->queue_lock);
  queue->in = -1;
  queue->out = -1;
  queue->count = 0;
  memset(queue->len, 0, sizeof queue->len);
}

uint8_t* queue_get_next_empty_buffer(cir_queue_t* queue) {
  std::lock_guard<std::mutex> guard(queue->queue_lock);
  const int slot = claim_slot(queue);
  queue->len[slot] = CIR_QUEUE_SLOT_LEN;
  return queue->data[slot];
}

uint8_t* queue_get_next_full_buffer(cir_queue_t* queue) {
  std::lock_guard<std::mutex> guard(queue->queue_lock);
  const int slot = release_slot(queue);
  return slot < 0 ? nullptr : queue->data[slot];
}

int queue_put_frame(cir_queue_t* queue, const void* frame, int len) {
  if (len < 0) len = 0;
  if (len > CIR_QUEUE_SLOT_LEN) len = CIR_QUEUE_SLOT_LEN;
  std::lock_guard<std::mutex> guard(queue->queue_lock);
  const int slot = claim_slot(queue);
  if (len > 0) memcpy(queue->data[slot], frame, static_cast<size_t>(len));
  queue->len[slot] = len;
  return len;
}

int queue_take_frame(cir_queue_t* queue, void* out, int cap) {
  std::lock_guard<std::mutex> guard(queue->queue_lock);
  const int slot = release_slot(queue);
  if (slot < 0) return -1;
  int len = queue->len[slot];
  if (len > cap) len = cap < 0 ? 0 : cap;
  if (len > 0) memcpy(out, queue->data[slot], static_cast<size_t>(len));
  return len;
}
