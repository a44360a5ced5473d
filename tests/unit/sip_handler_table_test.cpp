// The SIP handler table: the last registration of a type wins, unknown
// types are not found, and registering while the event thread looks up is
// safe (run under TSan too).

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Protocol/SipHandlerTable.h"

namespace {

int calls_a = 0;
int calls_b = 0;
void handler_a(void*, eXosip_event_t*) { ++calls_a; }
void handler_b(void*, eXosip_event_t*) { ++calls_b; }

TEST(SipHandlerTable, LastRegistrationWinsAndUnknownIsMissing) {
  SipHandlerTable table;
  int ctx1 = 0, ctx2 = 0;
  SipProtoCallback cb;
  EXPECT_FALSE(table.Find(1, cb));
  table.Register(1, &handler_a, &ctx1);
  table.Register(2, &handler_a, &ctx1);
  table.Register(1, &handler_b, &ctx2);
  ASSERT_TRUE(table.Find(1, cb));
  EXPECT_EQ(cb.handler, &handler_b);
  EXPECT_EQ(cb.context, &ctx2);
  ASSERT_TRUE(table.Find(2, cb));
  EXPECT_EQ(cb.handler, &handler_a);
  EXPECT_EQ(cb.context, &ctx1);
  EXPECT_FALSE(table.Find(3, cb));
  EXPECT_FALSE(table.Find(-1, cb));
}

TEST(SipHandlerTable, RegisterWhileLookingUp) {
  SipHandlerTable table;
  std::atomic<bool> done{false};
  std::atomic<int> found{0};
  std::thread reader([&] {
    SipProtoCallback cb;
    while (!done.load()) {
      for (int type = 0; type < 54; ++type) {
        if (table.Find(type, cb)) {
          found.fetch_add(1);
          ASSERT_TRUE(cb.handler == &handler_a || cb.handler == &handler_b);
        }
      }
    }
  });
  for (int round = 0; round < 200; ++round) {
    for (int type : {2, 5, 9, 10, 25, 26, 16, 12, 14, 13, 27, 29, 1, 18}) {
      table.Register(type, round % 2 ? &handler_a : &handler_b, nullptr);
    }
  }
  done.store(true);
  reader.join();
  SipProtoCallback cb;
  ASSERT_TRUE(table.Find(18, cb));
  EXPECT_EQ(cb.handler, &handler_a);  // round 199 registered handler_a last
}

}  // namespace
