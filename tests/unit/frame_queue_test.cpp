// The four-slot frame queue: overwrite rule, empty reads, and a writer and a
// reader on two threads.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <thread>

#include "Velmora/rtp/rtp.h"

namespace {

std::unique_ptr<cir_queue_t> fresh_queue() {
  auto q = std::make_unique<cir_queue_t>();
  queue_init(q.get());
  return q;
}

TEST(FrameQueue, EmptyQueueYieldsNothing) {
  auto q = fresh_queue();
  EXPECT_EQ(queue_get_next_full_buffer(q.get()), nullptr);
  uint8_t out[160];
  EXPECT_EQ(queue_take_frame(q.get(), out, sizeof out), -1);
  EXPECT_EQ(q->in, -1);
  EXPECT_EQ(q->out, -1);
  EXPECT_EQ(q->count, 0);
}

TEST(FrameQueue, FifthFrameReplacesTheOldest) {
  auto q = fresh_queue();
  for (uint8_t k = 1; k <= 5; ++k) {
    uint8_t* slot = queue_get_next_empty_buffer(q.get());
    ASSERT_NE(slot, nullptr);
    memset(slot, k, CIR_QUEUE_SLOT_LEN);
  }
  EXPECT_EQ(q->count, 4);
  for (uint8_t k = 2; k <= 5; ++k) {
    const uint8_t* slot = queue_get_next_full_buffer(q.get());
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot[0], k);
    EXPECT_EQ(slot[CIR_QUEUE_SLOT_LEN - 1], k);
  }
  EXPECT_EQ(queue_get_next_full_buffer(q.get()), nullptr);
  // queue_init empties a queue that held frames.
  queue_get_next_empty_buffer(q.get());
  queue_init(q.get());
  EXPECT_EQ(queue_get_next_full_buffer(q.get()), nullptr);
}

// A random mix of writes and reads behaves like a bounded FIFO that drops its
// oldest entry when a fifth arrives.
TEST(FrameQueue, RandomOperationsFollowTheOverwriteRule) {
  auto q = fresh_queue();
  std::deque<int> model;
  std::mt19937 rng(7);
  int next = 0;
  for (int step = 0; step < 5000; ++step) {
    if (rng() % 3 != 0) {
      const uint8_t frame[20] = {static_cast<uint8_t>(next), static_cast<uint8_t>(next >> 8)};
      ASSERT_EQ(queue_put_frame(q.get(), frame, sizeof frame), 20);
      model.push_back(next++);
      if (model.size() > 4) model.pop_front();
    } else {
      uint8_t out[160];
      const int n = queue_take_frame(q.get(), out, sizeof out);
      if (model.empty()) {
        ASSERT_EQ(n, -1) << "step " << step;
      } else {
        ASSERT_EQ(n, 20) << "step " << step;
        ASSERT_EQ(out[0] | out[1] << 8, model.front() & 0xFFFF) << "step " << step;
        model.pop_front();
      }
    }
    ASSERT_EQ(q->count, static_cast<int>(model.size()));
  }
}

TEST(FrameQueue, CopyingCallsKeepFrameLengthsAndBounds) {
  auto q = fresh_queue();
  uint8_t big[300];
  memset(big, 0x77, sizeof big);
  struct Case {
    int put, cap, stored, taken;
  } cases[] = {
      {160, 160, 160, 160},  // a G.711 frame
      {20, 160, 20, 20},     // a G.729 frame
      {300, 160, 160, 160},  // longer than a slot: cut to the slot
      {160, 50, 160, 50},    // a smaller reader buffer gets what fits
      {0, 160, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(queue_put_frame(q.get(), big, c.put), c.stored);
    uint8_t out[160];
    memset(out, 0, sizeof out);
    EXPECT_EQ(queue_take_frame(q.get(), out, c.cap), c.taken);
    for (int i = 0; i < c.taken; ++i) ASSERT_EQ(out[i], 0x77);
    if (c.taken < static_cast<int>(sizeof out)) {
      EXPECT_EQ(out[c.taken], 0);
    }
  }
}

// A frame carries its sequence number and a pattern derived from it, so that
// a torn or stale frame shows.
void fill_frame(uint8_t* f, uint32_t seq) {
  memcpy(f, &seq, 4);
  for (int i = 4; i < CIR_QUEUE_SLOT_LEN; ++i) f[i] = static_cast<uint8_t>(seq * 31 + static_cast<uint32_t>(i));
}

bool frame_ok(const uint8_t* f, uint32_t* seq) {
  memcpy(seq, f, 4);
  for (int i = 4; i < CIR_QUEUE_SLOT_LEN; ++i) {
    if (f[i] != static_cast<uint8_t>(*seq * 31 + static_cast<uint32_t>(i))) return false;
  }
  return true;
}

// Writer and reader run against each other freely: frames arrive whole and in
// order, only overwritten ones go missing, and the last frames written are
// still there at the end.
TEST(FrameQueue, RacingWriterAndReaderLoseOnlyOverwrittenFrames) {
  auto q = fresh_queue();
  constexpr uint32_t kFrames = 200000;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    uint8_t f[CIR_QUEUE_SLOT_LEN];
    for (uint32_t s = 1; s <= kFrames; ++s) {
      fill_frame(f, s);
      queue_put_frame(q.get(), f, sizeof f);
    }
    done = true;
  });
  uint32_t last = 0, got = 0;
  uint8_t f[CIR_QUEUE_SLOT_LEN];
  auto take = [&] {
    const int n = queue_take_frame(q.get(), f, sizeof f);
    if (n < 0) return false;
    uint32_t seq = 0;
    EXPECT_EQ(n, CIR_QUEUE_SLOT_LEN);
    EXPECT_TRUE(frame_ok(f, &seq)) << "torn frame";
    EXPECT_GT(seq, last) << "frame out of order";
    last = seq;
    ++got;
    return true;
  };
  while (!done) take();
  while (take()) {
  }
  writer.join();
  EXPECT_EQ(last, kFrames);  // the newest frame is never lost
  EXPECT_GT(got, 0u);
}

// When the writer never runs more than four frames ahead, nothing is lost.
TEST(FrameQueue, WriterThatStaysWithinFourFramesLosesNothing) {
  auto q = fresh_queue();
  constexpr uint32_t kFrames = 50000;
  std::atomic<uint32_t> taken{0};
  std::thread writer([&] {
    uint8_t f[CIR_QUEUE_SLOT_LEN];
    for (uint32_t s = 1; s <= kFrames; ++s) {
      while (s > taken.load() + 4) std::this_thread::yield();
      fill_frame(f, s);
      queue_put_frame(q.get(), f, sizeof f);
    }
  });
  uint8_t f[CIR_QUEUE_SLOT_LEN];
  uint32_t expect = 1;
  while (expect <= kFrames) {
    if (queue_take_frame(q.get(), f, sizeof f) < 0) {
      std::this_thread::yield();
      continue;
    }
    uint32_t seq = 0;
    if (!frame_ok(f, &seq) || seq != expect) {
      ADD_FAILURE() << "expected frame " << expect << ", got " << seq;
      taken.store(kFrames);  // let the writer finish
      break;
    }
    ++expect;
    taken.store(seq);
  }
  writer.join();
}

}  // namespace
