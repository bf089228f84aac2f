// The checks of creation: their order, their messages and the values that reach the filter.
#include "plugin_fixture.h"
#include "test_clips.h"

namespace {

constexpr char kUnsupported[] =
    "BasinLift: This color format is not supported by this old avisynth version";
constexpr char kShRange[] = "BasinLift: RGB or Y sharpening factor sh must be between -10 and 10";
constexpr char kSmRange[] = "BasinLift: RGB or Y smoothening factor sm must be between 0 and 10";
constexpr char kRgbBothZero[] = "BasinLift: sh and sm both can not be zero";
constexpr char kNoSclip[] = "BasinLift:For useclip option sclip must be defined";
constexpr char kSameClip[] = "BasinLift:clip to be smoothed and sclip must not be identical";
constexpr char kClipsDiffer[] =
    "BasinLift: The two clips have either dissimilar color format orunequal frame dimensions or "
    "unequal number of frames";
constexpr char kSmuRange[] = "BasinLift: u smoothening factor smu must be between 0 and 10";
constexpr char kSmvRange[] = "BasinLift: v smoothening factor smv must be between 0 and 10";
constexpr char kAllZero[] = "BasinLift: sh, sm, smu and smv  values are zero";
constexpr char kEmpty[] = "BasinLift: the clip must be at least 1 pixel wide and high";
constexpr char kOddSize[] =
    "BasinLift: YUY2 needs an even width, YV12 and I420 an even width and height";
constexpr char kTooLarge[] = "BasinLift: the frame is too large for the working buffers";

constexpr int kBgr24 = VideoInfo::CS_BGR24;
constexpr int kBgr32 = VideoInfo::CS_BGR32;
constexpr int kYuy2 = VideoInfo::CS_YUY2;
constexpr int kYv12 = VideoInfo::CS_YV12;
constexpr int kI420 = VideoInfo::CS_I420;
constexpr int kAllTypes[] = {kBgr24, kBgr32, kYuy2, kYv12, kI420};

PClip InfoClip(int width, int height, int pixelType, int frames = 1) {
    return PClip(new InfoOnlyClip(standin::MakeVideoInfo(width, height, pixelType, frames)));
}

}  // namespace

TEST_F(PluginTest, AcceptsEachTypeWithOnlyTheInputClip) {
    for (int type : kAllTypes) {
        const PClip input = RandomClip(8, 6, type);
        EXPECT_EQ(Refusal(input), "") << std::hex << type;
    }
}

TEST_F(PluginTest, RangeChecksOfShAndSm) {
    const PClip rgb = RandomClip(4, 4, kBgr24);
    EXPECT_EQ(Refusal(rgb, {{"sh", -10}}), "");
    EXPECT_EQ(Refusal(rgb, {{"sh", 10}}), "");
    EXPECT_EQ(Refusal(rgb, {{"sh", -11}}), kShRange);
    EXPECT_EQ(Refusal(rgb, {{"sh", 11}}), kShRange);
    EXPECT_EQ(Refusal(rgb, {{"sm", 0}}), "");
    EXPECT_EQ(Refusal(rgb, {{"sm", 10}}), "");
    EXPECT_EQ(Refusal(rgb, {{"sm", -1}}), kSmRange);
    EXPECT_EQ(Refusal(rgb, {{"sm", 11}}), kSmRange);
}

TEST_F(PluginTest, RgbNeedsShOrSm) {
    for (int type : {kBgr24, kBgr32}) {
        const PClip rgb = RandomClip(4, 4, type);
        EXPECT_EQ(Refusal(rgb, {{"sh", 0}, {"sm", 0}}), kRgbBothZero);
        EXPECT_EQ(Refusal(rgb, {{"sh", 0}}), "");
        EXPECT_EQ(Refusal(rgb, {{"sm", 0}}), "");
        // smu and smv mean nothing for RGB: any integer passes, none rescues sh = sm = 0.
        EXPECT_EQ(Refusal(rgb, {{"smu", 50}, {"smv", -3}}), "");
        EXPECT_EQ(Refusal(rgb, {{"sh", 0}, {"sm", 0}, {"smu", 5}}), kRgbBothZero);
    }
}

TEST_F(PluginTest, YuvChecksOfSmuSmvAndAllZero) {
    for (int type : {kYuy2, kYv12, kI420}) {
        const PClip yuv = RandomClip(4, 4, type);
        EXPECT_EQ(Refusal(yuv, {{"sh", 0}, {"sm", 0}}), kAllZero);
        EXPECT_EQ(Refusal(yuv, {{"sh", 0}, {"sm", 0}, {"smu", 1}}), "");
        EXPECT_EQ(Refusal(yuv, {{"sh", 0}, {"sm", 0}, {"smv", 1}}), "");
        EXPECT_EQ(Refusal(yuv, {{"smu", 11}}), kSmuRange);
        EXPECT_EQ(Refusal(yuv, {{"smu", -1}}), kSmuRange);
        EXPECT_EQ(Refusal(yuv, {{"smv", 11}}), kSmvRange);
        EXPECT_EQ(Refusal(yuv, {{"smv", -1}}), kSmvRange);
        EXPECT_EQ(Refusal(yuv, {{"smu", 10}, {"smv", 0}}), "");
    }
}

TEST_F(PluginTest, SegmentationClipChecks) {
    const PClip input = RandomClip(8, 6, kYv12, 3);
    EXPECT_EQ(Refusal(input, {{"useclip", true}}), kNoSclip);
    EXPECT_EQ(Refusal(input, {{"useclip", true}, {"sclip", input}}), kSameClip);
    // Equal content in another clip object is accepted: identity is what counts.
    EXPECT_EQ(Refusal(input, {{"useclip", true}, {"sclip", RandomClip(8, 6, kYv12, 3)}}), "");

    for (const PClip& other : {RandomClip(6, 6, kYv12, 3), RandomClip(8, 4, kYv12, 3),
                               RandomClip(8, 6, kYv12, 2), RandomClip(8, 6, kI420, 3)})
        EXPECT_EQ(Refusal(input, {{"useclip", true}, {"sclip", other}}), kClipsDiffer);

    // Frame rate and audio are not compared.
    VideoInfo vi = standin::MakeVideoInfo(8, 6, kYv12, 3);
    vi.fps_numerator = 30000;
    vi.fps_denominator = 1001;
    vi.audio_samples_per_second = 48000;
    vi.sample_type = SAMPLE_INT16;
    vi.nchannels = 2;
    vi.num_audio_samples = 1000;
    EXPECT_EQ(Refusal(input, {{"useclip", true}, {"sclip", PClip(new InfoOnlyClip(vi))}}), "");
}

TEST_F(PluginTest, SclipIsIgnoredWithoutUseclip) {
    const PClip input = RandomClip(8, 6, kBgr24);
    const PClip odd = RandomClip(3, 5, kBgr32, 4);
    EXPECT_EQ(Refusal(input, {{"sclip", odd}}), "");
    EXPECT_EQ(Refusal(input, {{"useclip", false}, {"sclip", odd}}), "");
    EXPECT_EQ(Refusal(input, {{"useclip", false}, {"sclip", input}}), "");
}

TEST_F(PluginTest, FirstViolatedCheckWins) {
    EXPECT_EQ(Refusal(InfoClip(8, 6, VideoInfo::CS_UNKNOWN), {{"sh", 20}, {"sm", 20}}),
              kUnsupported);
    EXPECT_EQ(Refusal(RandomClip(4, 4, kBgr24), {{"sh", 20}, {"sm", 20}}), kShRange);
    EXPECT_EQ(Refusal(RandomClip(4, 4, kYv12), {{"sm", 11}, {"smu", 11}}), kSmRange);
    EXPECT_EQ(Refusal(RandomClip(4, 4, kYv12), {{"useclip", true}, {"smu", 11}}), kNoSclip);
    EXPECT_EQ(Refusal(RandomClip(4, 4, kYv12), {{"smu", 11}, {"smv", 11}}), kSmuRange);
    EXPECT_EQ(Refusal(RandomClip(4, 4, kYuy2), {{"sh", 0}, {"sm", 0}, {"smv", 11}}), kSmvRange);
    EXPECT_EQ(Refusal(InfoClip(0, 0, kYv12), {{"sh", 20}}), kEmpty);
}

// Newer hosts hand classic plug-ins formats whose pixel_type contains all bits of a classic
// one; only the five exact values are accepted.
TEST_F(PluginTest, RefusesEveryPixelTypeButTheFiveExactOnes) {
    const int others[] = {static_cast<int>(0xA0000308u),  // YV16
                          static_cast<int>(0xA000030Bu),  // YV24
                          static_cast<int>(0xA0000309u),  // YV411
                          static_cast<int>(0xA0050008u),  // 4:2:0, 10 bits
                          static_cast<int>(0xA0010008u),  // 4:2:0, 16 bits
                          0x50010001,                     // BGR48
                          static_cast<int>(0xE0000000u),  // Y8
                          0};
    for (int type : others) EXPECT_EQ(Refusal(InfoClip(8, 6, type)), kUnsupported) << std::hex << type;
}

TEST_F(PluginTest, RefusesClipsWithoutPixelsOrWithUnevenSubsampling) {
    for (int type : kAllTypes) {
        EXPECT_EQ(Refusal(InfoClip(0, 6, type)), kEmpty);
        EXPECT_EQ(Refusal(InfoClip(8, 0, type)), kEmpty);
        EXPECT_EQ(Refusal(InfoClip(-2, 6, type)), kEmpty);
    }
    EXPECT_EQ(Refusal(InfoClip(7, 6, kYuy2)), kOddSize);
    EXPECT_EQ(Refusal(InfoClip(8, 5, kYuy2)), "");
    for (int type : {kYv12, kI420}) {
        EXPECT_EQ(Refusal(InfoClip(7, 6, type)), kOddSize);
        EXPECT_EQ(Refusal(InfoClip(8, 5, type)), kOddSize);
        EXPECT_EQ(Refusal(InfoClip(1, 2, type)), kOddSize);
    }
    EXPECT_EQ(Refusal(InfoClip(1, 1, kBgr24)), "");
    EXPECT_EQ(Refusal(InfoClip(7, 5, kBgr32)), "");
}

TEST_F(PluginTest, RefusesFramesTooLargeForTheWorkingBuffers) {
    // 4 x 23171 x 23171 is just above the largest signed 32-bit number.
    EXPECT_EQ(Refusal(InfoClip(23171, 23171, kBgr24)), kTooLarge);
    EXPECT_EQ(Refusal(InfoClip(1 << 20, 1 << 20, kYv12)), kTooLarge);
    EXPECT_EQ(Refusal(InfoClip(INT32_MAX, INT32_MAX, kBgr32)), kTooLarge);  // no overflow on the way
    // ...but only after the ten checks.
    EXPECT_EQ(Refusal(InfoClip(23171, 23171, kBgr24), {{"sh", 11}}), kShRange);
}
