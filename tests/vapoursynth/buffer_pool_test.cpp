// The working-buffer sets of frames rendered at the same time, without the host: every frame in
// flight has a set of its own, sets are made only when all are lent out, and reused after; when
// no more can be made, frames wait for one instead of failing.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <vector>

#include "buffer_pool.h"

namespace {

// Lets threads go on only when all of them have arrived.
class Meeting {
public:
    explicit Meeting(int count) : waiting_(count) {}
    void ArriveAndWait() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (--waiting_ == 0) all_.notify_all();
        all_.wait(lock, [this] { return waiting_ == 0; });
    }

private:
    int waiting_;
    std::mutex mutex_;
    std::condition_variable all_;
};

// Each thread holds one lease while all the others hold theirs, and notes its set.
std::set<engine::WorkingBuffers*> LeaseAllAtOnce(vsadapter::BufferPool& pool, int threads) {
    Meeting meeting(threads);
    std::mutex mutex;
    std::set<engine::WorkingBuffers*> sets;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            const vsadapter::BufferPool::Lease lease = pool.Acquire();
            {
                std::lock_guard<std::mutex> lock(mutex);
                sets.insert(&*lease);
            }
            meeting.ArriveAndWait();
        });
    for (std::thread& worker : workers) worker.join();
    return sets;
}

TEST(BufferPool, FramesInFlightAtOnceNeverShareASet) {
    vsadapter::BufferPool pool(64, 48, engine::kByteSamples);
    EXPECT_EQ(pool.Created(), 1u);
    const std::set<engine::WorkingBuffers*> sets = LeaseAllAtOnce(pool, 4);
    EXPECT_EQ(sets.size(), 4u);
    EXPECT_EQ(pool.Created(), 4u);
    for (engine::WorkingBuffers* set : sets) EXPECT_GE(set->Bytes(), 64u * 48u * 14u);
}

TEST(BufferPool, SetsGivenBackAreReusedBeforeAnyIsMade) {
    vsadapter::BufferPool pool(32, 32, engine::kByteSamples);
    const std::set<engine::WorkingBuffers*> first = LeaseAllAtOnce(pool, 3);
    const std::set<engine::WorkingBuffers*> again = LeaseAllAtOnce(pool, 3);
    EXPECT_EQ(again, first);
    EXPECT_EQ(pool.Created(), 3u);
    // One frame after another: always a set that is already there.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(first.count(&*pool.Acquire()), 1u);
    EXPECT_EQ(pool.Created(), 3u);
}

TEST(BufferPool, AFrameTooLargeForTheBuffersIsRefusedWhenThePoolIsMade) {
    EXPECT_THROW(vsadapter::BufferPool(1 << 16, 1 << 16, engine::kByteSamples), std::bad_alloc);
}

// Makes sets of 32x32 until `limit` exist, then fails as a full memory does; counts its calls.
struct LimitedMemory {
    explicit LimitedMemory(int limit) : limit_(limit) {}
    vsadapter::BufferPool::SetMaker Maker() {
        return [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            ++calls_;
            called_.notify_all();
            if (made_ == limit_) throw std::bad_alloc();
            ++made_;
            return std::make_unique<engine::WorkingBuffers>(32, 32, engine::kByteSamples);
        };
    }
    void WaitForCalls(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        called_.wait(lock, [&] { return calls_ >= count; });
    }

private:
    const int limit_;
    int made_ = 0, calls_ = 0;
    std::mutex mutex_;
    std::condition_variable called_;
};

TEST(BufferPool, AFrameWaitsForALentSetWhenNoNewOneCanBeMade) {
    LimitedMemory memory(1);
    vsadapter::BufferPool pool(memory.Maker());
    engine::WorkingBuffers* lent = nullptr;
    engine::WorkingBuffers* second = nullptr;
    std::thread frame;
    {
        const vsadapter::BufferPool::Lease first = pool.Acquire();
        lent = &*first;
        frame = std::thread([&] {
            try {
                const vsadapter::BufferPool::Lease lease = pool.Acquire();
                second = &*lease;
            } catch (const std::bad_alloc&) {
                // the frame failed: second stays null
            }
        });
        memory.WaitForCalls(2);  // the second frame has tried to make a set of its own
    }
    frame.join();
    EXPECT_EQ(second, lent);
    EXPECT_EQ(pool.Created(), 1u);
}

TEST(BufferPool, ManyFramesTakeTurnsOnTheSetsThatCouldBeMade) {
    LimitedMemory memory(2);
    vsadapter::BufferPool pool(memory.Maker());
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 6; ++t)
        workers.emplace_back([&, t] {
            for (int frame = 0; frame < 50; ++frame) {
                try {
                    const vsadapter::BufferPool::Lease lease = pool.Acquire();
                    // A set shared by two frames would show the other's mark here.
                    uint8_t* channel = (*lease).Scratch<uint8_t>().channel;
                    std::memset(channel, t, 32 * 32);
                    std::this_thread::yield();
                    for (int i = 0; i < 32 * 32; ++i)
                        if (channel[i] != t) {
                            ++failures;
                            break;
                        }
                } catch (const std::bad_alloc&) {
                    ++failures;
                }
            }
        });
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(pool.Created(), 2u);
}

}  // namespace
