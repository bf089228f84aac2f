// The frames the filter delivers: every channel either processed from the source values
// within the regions of the segmentation frame, or copied unchanged.
#include "plugin_fixture.h"

namespace {

constexpr int kBgr24 = VideoInfo::CS_BGR24;
constexpr int kBgr32 = VideoInfo::CS_BGR32;
constexpr int kYuy2 = VideoInfo::CS_YUY2;
constexpr int kYv12 = VideoInfo::CS_YV12;
constexpr int kI420 = VideoInfo::CS_I420;

struct Settings {
    int sh = -2, sm = 2, smu = 0, smv = 0;
    bool c4 = true;
    NamedArguments Named() const {
        return {{"sh", sh}, {"sm", sm}, {"smu", smu}, {"smv", smv}, {"c4", c4}};
    }
};

// Few levels, so that plateaus, ties and boundaries are common.
uint8_t FewLevels(int n, int plane, int x, int y) {
    const uint32_t h = (static_cast<uint32_t>(x) * 73856093u) ^ (static_cast<uint32_t>(y) * 19349663u) ^
                       (static_cast<uint32_t>(plane + 3 * n) * 83492791u);
    return static_cast<uint8_t>(40 * ((h >> 7) % 5) + (x / 3 + y / 2) % 3);
}

class FrameTest : public PluginTest {
protected:
    // Checks every channel of `out` against the source (and segmentation) frames.
    void ExpectFrame(const VideoFrame& out, const VideoFrame& src, const VideoFrame& seg,
                     int pixelType, const Settings& s) {
        const int width = src.GetRowSize() / (pixelType == kBgr24 ? 3 : pixelType == kBgr32 ? 4
                                                                       : pixelType == kYuy2 ? 2 : 1);
        for (const ChannelCase& c : ChannelsOf(pixelType)) {
            SCOPED_TRACE(c.name);
            const int w = width / c.widthDivisor;
            const int h = src.GetHeight(c.plane);
            const auto source = ChannelOf(src, c.plane, c.offset, c.step, w);
            const auto actual = ChannelOf(out, c.plane, c.offset, c.step, w);
            const int factor = c.factor == ChannelCase::kSm    ? s.sm
                               : c.factor == ChannelCase::kSmu ? s.smu
                               : c.factor == ChannelCase::kSmv ? s.smv
                                                               : 0;
            const bool processed = c.factor == ChannelCase::kSm ? (s.sm != 0 || s.sh != 0)
                                                                : (c.factor != ChannelCase::kNone && factor != 0);
            if (!processed) {
                EXPECT_EQ(actual, source);
                continue;
            }
            const auto segmentation = ChannelOf(seg, c.plane, c.offset, c.step, w);
            EXPECT_EQ(actual, ExpectedChannel(source, segmentation, w, h, factor, s.sh, s.c4));
        }
        // Nothing past a row's end is written: the new frame's padding keeps its junk.
        for (const standin::PlaneView& p : standin::ReadPlanes(out))
            for (int y = 0; y < p.height; ++y)
                for (int x = p.rowSize; x < p.pitch; ++x)
                    ASSERT_EQ(p.data[y * p.pitch + x], standin::ScriptEnvironment::kJunkByte);
    }

    void CheckAllFrames(int pixelType, int width, int height, const Settings& s) {
        const PClip input = PatternClip(width, height, pixelType, 2, FewLevels);
        const PClip filtered = BasinLift(input, s.Named());
        for (int n = 0; n < 2; ++n) {
            SCOPED_TRACE(n);
            const PVideoFrame src = input->GetFrame(n, &env_);
            const PVideoFrame out = filtered->GetFrame(n, &env_);
            ASSERT_TRUE(out);
            EXPECT_NE(out.get(), src.get());
            ExpectFrame(*out.get(), *src.get(), *src.get(), pixelType, s);
        }
    }
};

const int kAllTypes[] = {kBgr24, kBgr32, kYuy2, kYv12, kI420};

}  // namespace

TEST_F(FrameTest, EveryTypeWithTheDefaults) {
    for (int type : kAllTypes) {
        SCOPED_TRACE(type);
        CheckAllFrames(type, 22, 14, Settings{});
    }
}

TEST_F(FrameTest, WhichChannelsAreProcessedFollowsTheFactors) {
    const Settings combos[] = {
        {0, 3, 0, 0, true},    // smoothing only
        {4, 0, 0, 0, true},    // amplification only: interior copied
        {-7, 10, 0, 0, false}, // 8-connectivity, strongest smoothing
        {0, 0, 3, 0, true},    // YUV: only U processed (RGB refuses this set)
        {0, 0, 0, 6, true},    // YUV: only V processed
        {5, 1, 2, 9, false},   // everything, chroma amplified as well
        {-3, 0, 4, 0, true},   // luma amplified without smoothing, U smoothed and amplified
    };
    for (int type : kAllTypes) {
        for (const Settings& s : combos) {
            const bool rgb = type == kBgr24 || type == kBgr32;
            if (rgb && s.sh == 0 && s.sm == 0) continue;
            SCOPED_TRACE(::testing::Message() << std::hex << type << std::dec << " sh " << s.sh
                                              << " sm " << s.sm << " smu " << s.smu << " smv "
                                              << s.smv << " c4 " << s.c4);
            CheckAllFrames(type, 18, 12, s);
        }
    }
}

TEST_F(FrameTest, OddAndSmallSizes) {
    CheckAllFrames(kBgr24, 1, 1, Settings{});
    CheckAllFrames(kBgr32, 7, 3, Settings{});
    CheckAllFrames(kBgr24, 1, 9, Settings{});
    CheckAllFrames(kYuy2, 2, 1, Settings{-2, 2, 1, 1, true});
    CheckAllFrames(kYuy2, 6, 5, Settings{-2, 2, 1, 1, true});
    CheckAllFrames(kYv12, 2, 2, Settings{-2, 2, 1, 1, true});
    CheckAllFrames(kI420, 30, 2, Settings{-2, 2, 1, 1, true});
}

TEST_F(FrameTest, ResultHasTheClipsVideoInfoAndSourceIsUntouched) {
    const PClip input = RandomClip(16, 10, kYv12, 3);
    const PClip filtered = BasinLift(input, {{"smu", 3}});
    const VideoInfo& in = input->GetVideoInfo();
    const VideoInfo& out = filtered->GetVideoInfo();
    EXPECT_EQ(0, std::memcmp(&in, &out, sizeof in));
    EXPECT_EQ(filtered->GetVersion(), 3);

    const PVideoFrame src = input->GetFrame(2, &env_);
    PVideoFrame before = env_.NewVideoFrame(in);
    standin::CopyVisibleBytes(*src.get(), *before.get());
    const PVideoFrame result = filtered->GetFrame(2, &env_);
    EXPECT_NE(result.get(), src.get());
    EXPECT_EQ(result->GetRowSize(), src->GetRowSize());
    EXPECT_EQ(result->GetHeight(PLANAR_U), src->GetHeight(PLANAR_U));
    EXPECT_TRUE(standin::SameVisibleBytes(*src.get(), *before.get())) << "source frame written";
    EXPECT_FALSE(standin::SameVisibleBytes(*src.get(), *result.get()));
}

TEST_F(FrameTest, Yv12AndI420GiveTheSameResult) {
    const PClip yv12 = PatternClip(20, 12, kYv12, 1, FewLevels);
    const PClip i420 = PatternClip(20, 12, kI420, 1, FewLevels);
    const NamedArguments args{{"sh", 3}, {"smu", 2}, {"smv", 5}};
    const PVideoFrame a = BasinLift(yv12, args)->GetFrame(0, &env_);
    const PVideoFrame b = BasinLift(i420, args)->GetFrame(0, &env_);
    for (int plane : {PLANAR_Y, PLANAR_U, PLANAR_V}) {
        const int w = a->GetRowSize(plane);
        EXPECT_EQ(ChannelOf(*a.get(), plane, 0, 1, w), ChannelOf(*b.get(), plane, 0, 1, w)) << plane;
    }
}

TEST_F(FrameTest, UseclipTakesRegionsFromSclipAndValuesFromTheSource) {
    for (int type : kAllTypes) {
        SCOPED_TRACE(type);
        const PClip input = RandomClip(14, 10, type, 2, 11);
        const PClip regions = PatternClip(14, 10, type, 2, FewLevels);
        const Settings s{4, 3, 2, 1, true};
        NamedArguments args = s.Named();
        args.push_back({"useclip", true});
        args.push_back({"sclip", regions});
        const PClip filtered = BasinLift(input, args);
        for (int n = 0; n < 2; ++n) {
            const PVideoFrame src = input->GetFrame(n, &env_);
            const PVideoFrame seg = regions->GetFrame(n, &env_);
            const PVideoFrame out = filtered->GetFrame(n, &env_);
            ExpectFrame(*out.get(), *src.get(), *seg.get(), type, s);  // alpha from the source too
        }
    }
}

TEST_F(FrameTest, UseclipWithEqualFramesEqualsNoUseclip) {
    const PClip input = PatternClip(16, 8, kYuy2, 1, FewLevels);
    const PClip twin = PatternClip(16, 8, kYuy2, 1, FewLevels);
    const PVideoFrame a = BasinLift(input, {{"smu", 4}})->GetFrame(0, &env_);
    const PVideoFrame b =
        BasinLift(input, {{"smu", 4}, {"useclip", true}, {"sclip", twin}})->GetFrame(0, &env_);
    EXPECT_TRUE(standin::SameVisibleBytes(*a.get(), *b.get()));
}

TEST_F(FrameTest, EachColourChannelIsSegmentedOnItsOwn) {
    for (int type : {kBgr24, kBgr32}) {
        const int bpp = type == kBgr24 ? 3 : 4;
        const PClip base = PatternClip(12, 9, type, 1, FewLevels);
        const PClip redChanged = PatternClip(12, 9, type, 1, [bpp](int n, int p, int x, int y) {
            const uint8_t v = FewLevels(n, p, x, y);
            return x % bpp == 2 ? static_cast<uint8_t>(255 - v) : v;
        });
        const PVideoFrame a = BasinLift(base)->GetFrame(0, &env_);
        const PVideoFrame b = BasinLift(redChanged)->GetFrame(0, &env_);
        for (int offset = 0; offset < bpp; ++offset) {
            const auto ca = ChannelOf(*a.get(), 0, offset, bpp, 12);
            const auto cb = ChannelOf(*b.get(), 0, offset, bpp, 12);
            if (offset == 2)
                EXPECT_NE(ca, cb);
            else
                EXPECT_EQ(ca, cb) << "channel " << offset;
        }
    }
}

TEST_F(FrameTest, ParityAndAudioComeFromTheChild) {
    VideoInfo vi = standin::MakeVideoInfo(8, 4, kBgr24, 1);
    vi.audio_samples_per_second = 44100;
    vi.sample_type = SAMPLE_INT16;
    vi.nchannels = 2;
    vi.num_audio_samples = 100;
    auto* source = new standin::MemoryClip(vi, {standin::MakeRandomFrame(env_, vi, 3)});
    const PClip input(source);
    source->SetParity(true);
    source->SetAudioPattern({1, 2, 3, 4, 5});
    const PClip filtered = BasinLift(input);
    EXPECT_TRUE(filtered->GetParity(0));
    std::vector<uint8_t> expected(40), actual(40, 0xEE);
    input->GetAudio(expected.data(), 7, 10, &env_);
    filtered->GetAudio(actual.data(), 7, 10, &env_);
    EXPECT_EQ(actual, expected);
    filtered->SetCacheHints(CACHE_ALL, 100);  // ignored, and harmless
    EXPECT_TRUE(filtered->GetFrame(0, &env_));
}
