#include "flood_queue.h"

#include <gtest/gtest.h>

#include <deque>

// Pops and pushes interleave so the ring wraps, then grows with entries on both sides of the
// wrap; conditional pushes that do not happen leave no trace.
TEST(FloodQueue, StaysFirstInFirstOutThroughWrapsAndGrowth) {
    FloodQueue queue;
    std::deque<uint32_t> expected;
    uint32_t next = 0;
    for (int round = 0; round < 40; ++round) {
        const int pushes = 300 + round * 97 % 500, pops = 150 + round * 61 % 300;
        queue.Reserve(pushes);
        for (int i = 0; i < pushes; ++i) {
            queue.PushIf(next, i % 3 != 0);
            if (i % 3 != 0) expected.push_back(next);
            ++next;
        }
        ASSERT_EQ(queue.Size(), expected.size());
        for (int i = 0; i < pops && !expected.empty(); ++i) {
            ASSERT_FALSE(queue.Empty());
            ASSERT_EQ(queue.Pop(), expected.front());
            expected.pop_front();
        }
    }
    ASSERT_GT(expected.size(), 1024u);  // more than the initial ring, so it grew
    queue.Push(FloodQueue::kMarker);
    for (uint32_t entry : expected) ASSERT_EQ(queue.Pop(), entry);
    EXPECT_EQ(queue.Pop(), FloodQueue::kMarker);
    EXPECT_TRUE(queue.Empty());
}
