// Reference counts, reclaiming, MakeWritable, BitBlt and the by-value frame arguments.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "frame_tools.h"
#include "script_environment.h"
#include "test_support.h"

using standin::MakeVideoInfo;
using standin::ScriptEnvironment;
using ::testing::HasSubstr;

namespace {

const VideoInfo kYv12 = MakeVideoInfo(24, 6, VideoInfo::CS_YV12);

TEST(FrameLifetime, OneReferenceWritesAndReleasedFramesAreReusedOrFreed) {
    ScriptEnvironment env;
    PVideoFrame frame = env.NewVideoFrame(kYv12);
    EXPECT_EQ(frame->RefCount(), 1);
    EXPECT_NE(frame->GetWritePtr(), nullptr);
    {
        const PVideoFrame second = frame;
        EXPECT_EQ(frame->RefCount(), 2);
        EXPECT_FALSE(frame->IsWritable());
        EXPECT_EQ(frame->GetWritePtr(), nullptr);
    }
    EXPECT_NE(frame->GetWritePtr(), nullptr);

    // Each released at once, so one frame serves all five, and comes back as new: writable
    // and filled with the junk byte again.
    for (int i = 0; i < 5; ++i) {
        const PVideoFrame scratch = env.NewVideoFrame(kYv12);
        EXPECT_EQ(scratch->GetReadPtr()[0], ScriptEnvironment::kJunkByte) << i;
        EXPECT_NE(scratch->GetWritePtr(), nullptr) << i;
        scratch->GetWritePtr()[0] = 1;
    }
    EXPECT_EQ(env.LiveFrameCount(), 1u);
    EXPECT_EQ(env.HeldFrameCount(), 2u);
    frame.reset();
    EXPECT_EQ(env.LiveFrameCount(), 0u);
    const PVideoFrame next = env.NewVideoFrame(kYv12);
    EXPECT_EQ(env.HeldFrameCount(), 2u);  // one taken again, one waiting
    const PVideoFrame other = env.NewVideoFrame(MakeVideoInfo(8, 4, VideoInfo::CS_BGR32));
    EXPECT_EQ(env.HeldFrameCount(), 2u);  // frames of another layout do not wait
}

TEST(FrameLifetime, MakeWritableCopiesOnlyASharedFrame) {
    ScriptEnvironment env;
    env.SetExtraPitch(16);
    PVideoFrame frame = standin::MakeRandomFrame(env, kYv12, 7);
    const VideoFrame* original = frame.get();
    EXPECT_FALSE(env.MakeWritable(&frame));
    EXPECT_EQ(frame.get(), original);

    const PVideoFrame shared = frame;
    ASSERT_TRUE(env.MakeWritable(&frame));
    EXPECT_NE(frame.get(), original);
    EXPECT_TRUE(frame->IsWritable());
    EXPECT_EQ(shared->RefCount(), 1);
    EXPECT_EQ(frame->GetPitch(), shared->GetPitch());
    EXPECT_EQ(frame->GetPitch(PLANAR_U), shared->GetPitch(PLANAR_U));
    EXPECT_EQ(standin::DescribeDifference(*frame.get(), *shared.get()), "");
}

TEST(BitBlt, CopiesExactlyTheRectangle) {
    ScriptEnvironment env;
    constexpr int kSrcPitch = 12, kDstPitch = 16, kRows = 5, kWidth = 7, kHeight = 3;
    std::vector<uint8_t> src(kSrcPitch * kRows), dst(kDstPitch * kRows, 0xEE);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i);

    env.BitBlt(dst.data(), kDstPitch, src.data(), kSrcPitch, kWidth, kHeight);
    for (int y = 0; y < kRows; ++y)
        for (int x = 0; x < kDstPitch; ++x) {
            const bool inside = y < kHeight && x < kWidth;
            ASSERT_EQ(dst[y * kDstPitch + x], inside ? src[y * kSrcPitch + x] : 0xEE)
                << "row " << y << " byte " << x;
        }

    EXPECT_THAT(ErrorFrom([&] { env.BitBlt(dst.data(), 16, src.data(), 12, 4, -1); }),
                HasSubstr("BitBlt: invalid rectangle"));
    EXPECT_THAT(ErrorFrom([&] { env.BitBlt(dst.data(), 16, src.data(), 12, -4, 1); }),
                HasSubstr("BitBlt: invalid rectangle"));
}

TEST(Subframes, AreRefusedAndTheArgumentsReferenceIsReleased) {
    ScriptEnvironment env;
    const PVideoFrame frame = env.NewVideoFrame(kYv12);
    EXPECT_THAT(ErrorFrom([&] { env.Subframe(frame, 0, 24, 24, 6); }), HasSubstr("not supported"));
    EXPECT_EQ(frame->RefCount(), 1);
    EXPECT_THAT(ErrorFrom([&] { env.SubframePlanar(frame, 0, 24, 24, 6, 0, 0, 12); }),
                HasSubstr("not supported"));
    EXPECT_EQ(frame->RefCount(), 1);
    EXPECT_TRUE(frame->IsWritable());
}

}  // namespace
