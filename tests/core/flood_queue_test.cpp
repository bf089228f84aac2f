#include "flood_queue.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

// Pops and pushes interleave so the ring wraps, then grows with entries on both sides of the
// wrap, while some popped entries are still kept for Release.
TEST(FloodQueue, StaysFirstInFirstOutThroughWrapsAndGrowth) {
    FloodQueue queue;
    std::deque<uint32_t> expected;
    std::vector<uint32_t> popped;
    uint32_t next = 0;
    for (int round = 0; round < 40; ++round) {
        const int pushes = 300 + round * 97 % 500, pops = 150 + round * 61 % 300;
        queue.Reserve(pushes);
        for (int i = 0; i < pushes; ++i) {
            queue.PushIf(next, i % 3 != 0);
            if (i % 3 != 0) expected.push_back(next);
            ++next;
        }
        for (int i = 0; i < pops && !expected.empty(); ++i) {
            ASSERT_FALSE(queue.Empty());
            ASSERT_EQ(queue.Pop(), expected.front());
            popped.push_back(expected.front());
            expected.pop_front();
        }
        std::vector<uint32_t> waiting;
        queue.ForEachWaiting([&](uint32_t entry) { waiting.push_back(entry); });
        ASSERT_EQ(waiting, std::vector<uint32_t>(expected.begin(), expected.end()));
        if (round % 4 == 3) {  // kept entries survive growth until released
            std::vector<uint32_t> released;
            queue.Release([&](uint32_t entry) { released.push_back(entry); });
            ASSERT_EQ(released, popped);
            popped.clear();
        }
    }
    ASSERT_GT(expected.size(), 1024u);  // more than the initial ring, so it grew
    queue.Release();
    queue.Push(FloodQueue::kMarker);
    for (uint32_t entry : expected) ASSERT_EQ(queue.Pop(), entry);
    EXPECT_EQ(queue.Pop(), FloodQueue::kMarker);
    EXPECT_TRUE(queue.Empty());
}
