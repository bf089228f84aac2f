// Several threads allocating and releasing frames and pulling frames from shared clips.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "frame_source_clip.h"
#include "frame_tools.h"
#include "memory_clip.h"
#include "script_environment.h"

using standin::ScriptEnvironment;

namespace {

TEST(Threads, ShareTheEnvironmentAndSourceClips) {
    ScriptEnvironment env;
    const VideoInfo vi = standin::MakeVideoInfo(32, 8, VideoInfo::CS_YV12, 4);
    const auto fillWith = [](int value) {
        return [value](int, int, int) { return static_cast<uint8_t>(value); };
    };
    PClip memory = standin::MemoryClip::Generate(
        env, vi, [&](int n, VideoFrame& frame) { standin::FillFrame(frame, fillWith(n)); });
    PClip source(new standin::FrameSourceClip(
        vi, [&](int n, VideoFrame& frame) { standin::FillFrame(frame, fillWith(n + 10)); }));

    std::atomic<int> wrongFrames{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                const int n = (i + t) % 4;
                const PVideoFrame own = standin::MakeFrame(env, vi, fillWith(t));
                const PVideoFrame copy = own;
                const PVideoFrame shared = memory->GetFrame(n, &env);
                const PVideoFrame made = source->GetFrame(n, &env);
                if (copy->GetReadPtr(PLANAR_U)[0] != t || shared->GetReadPtr()[5] != n ||
                    made->GetReadPtr(PLANAR_V)[3] != n + 10)
                    ++wrongFrames;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(wrongFrames.load(), 0);
    EXPECT_EQ(env.LiveFrameCount(), 4u);  // the memory clip's frames
    memory.reset();
    source.reset();
    EXPECT_EQ(env.LiveFrameCount(), 0u);
}

}  // namespace
