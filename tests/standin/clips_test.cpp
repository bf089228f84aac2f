// Source clips and the frame helpers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

#include "frame_source_clip.h"
#include "frame_tools.h"
#include "memory_clip.h"
#include "script_environment.h"
#include "test_support.h"

using standin::MakeVideoInfo;
using standin::ScriptEnvironment;
using ::testing::HasSubstr;

namespace {

const VideoInfo kI420 = MakeVideoInfo(10, 4, VideoInfo::CS_I420, 3);

TEST(MemoryClip, ServesItsFramesClampedAndReadOnly) {
    ScriptEnvironment env;
    std::vector<PVideoFrame> frames;
    for (uint32_t seed = 0; seed < 3; ++seed) frames.push_back(standin::MakeRandomFrame(env, kI420, seed));
    const std::vector<PVideoFrame> originals = frames;
    const PClip clip(new standin::MemoryClip(kI420, std::move(frames)));

    EXPECT_EQ(clip->GetFrame(1, &env).get(), originals[1].get());
    EXPECT_EQ(clip->GetFrame(-5, &env).get(), originals[0].get());
    EXPECT_EQ(clip->GetFrame(99, &env).get(), originals[2].get());
    EXPECT_EQ(clip->GetFrame(0, &env)->GetWritePtr(), nullptr);
    EXPECT_EQ(clip->GetVideoInfo().num_frames, 3);

    EXPECT_FALSE(clip->GetParity(0));
    static_cast<standin::MemoryClip*>(clip.get())->SetParity(true);
    EXPECT_TRUE(clip->GetParity(2));
}

TEST(MemoryClip, RefusesFramesThatDoNotMatchItsVideoInfo) {
    ScriptEnvironment env;
    const PVideoFrame frame = env.NewVideoFrame(kI420);
    EXPECT_THROW(PClip(new standin::MemoryClip(kI420, {frame, frame})), std::invalid_argument);
    const PVideoFrame other = env.NewVideoFrame(MakeVideoInfo(12, 4, VideoInfo::CS_I420));
    EXPECT_THROW(PClip(new standin::MemoryClip(kI420, {frame, frame, other})),
                 std::invalid_argument);
}

TEST(SourceAudio, IsSilenceOrAPatternThatJoinsAcrossRequests) {
    ScriptEnvironment env;
    VideoInfo vi = kI420;
    vi.audio_samples_per_second = 48000;
    vi.sample_type = SAMPLE_INT16;
    vi.nchannels = 2;  // 4 bytes per sample
    const PClip clip = standin::MemoryClip::Generate(env, vi, [](int, VideoFrame&) {});

    std::vector<uint8_t> buffer(20, 0xAA);
    clip->GetAudio(buffer.data(), 0, 4, &env);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 16), std::vector<uint8_t>(16, 0));
    EXPECT_EQ(buffer[16], 0xAA);

    static_cast<standin::MemoryClip*>(clip.get())->SetAudioPattern({1, 2, 3});
    clip->GetAudio(buffer.data(), 1, 2, &env);  // bytes 4 to 11 of the clip
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 9),
              (std::vector<uint8_t>{2, 3, 1, 2, 3, 1, 2, 3, 0}));

    EXPECT_THAT(ErrorFrom([&] {
                    clip->GetAudio(buffer.data(), 0, std::numeric_limits<int64_t>::max(), &env);
                }),
                HasSubstr("do not fit"));
}

TEST(FrameSourceClip, MakesANewFrameForEveryRequest) {
    ScriptEnvironment env;
    std::vector<int> requests;
    const PClip clip(new standin::FrameSourceClip(kI420, [&](int n, VideoFrame& frame) {
        if (n == 1) throw std::runtime_error("disk gone");
        requests.push_back(n);
        standin::FillFrame(frame, [n](int, int, int) { return uint8_t(n + 10); });
    }));

    const PVideoFrame last = clip->GetFrame(7, &env);
    EXPECT_NE(last->GetWritePtr(), nullptr);  // the caller's own frame
    EXPECT_EQ(last->GetReadPtr(PLANAR_V)[0], 12);
    EXPECT_NE(clip->GetFrame(2, &env).get(), last.get());
    EXPECT_EQ(requests, (std::vector<int>{2, 2}));
    EXPECT_THAT(ErrorFrom([&] { clip->GetFrame(1, &env); }), HasSubstr("frame 1: disk gone"));
}

TEST(FrameTools, CompareVisibleBytesOnlyAndSayWhereFramesDiffer) {
    ScriptEnvironment env;
    const PVideoFrame narrow = standin::MakeRandomFrame(env, kI420, 5);
    env.SetExtraPitch(32);
    const PVideoFrame wide = standin::MakeRandomFrame(env, kI420, 5);
    ASSERT_NE(narrow->GetPitch(), wide->GetPitch());
    EXPECT_TRUE(standin::SameVisibleBytes(*narrow.get(), *wide.get()));

    wide->GetWritePtr();
    wide->GetWritePtr(PLANAR_V)[wide->GetPitch(PLANAR_V) + 4] ^= 1;  // the plane's last byte
    EXPECT_THAT(standin::DescribeDifference(*narrow.get(), *wide.get()), HasSubstr("plane V row 1 byte 4"));

    const PVideoFrame rgb = env.NewVideoFrame(MakeVideoInfo(10, 4, VideoInfo::CS_BGR24));
    EXPECT_FALSE(standin::SameVisibleBytes(*narrow.get(), *rgb.get()));
    EXPECT_EQ(standin::PlaneIds(VideoInfo::CS_YV12), (std::vector<int>{PLANAR_Y, PLANAR_V, PLANAR_U}));
}

}  // namespace
