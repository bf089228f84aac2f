// Loading a plug-in library and using what it registers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "frame_tools.h"
#include "memory_clip.h"
#include "script_environment.h"
#include "test_support.h"

using standin::ScriptEnvironment;
using ::testing::HasSubstr;

namespace {

TEST(Plugins, LoadAndTheirFiltersRunOnHostFrames) {
    ScriptEnvironment env;
    EXPECT_EQ(env.LoadPlugin(STANDIN_DUMMY_PLUGIN), "stand-in test plug-in");
    EXPECT_TRUE(env.FunctionExists("DummyInvert"));

    const VideoInfo vi = standin::MakeVideoInfo(16, 4, VideoInfo::CS_YV12, 2);
    const PClip source = standin::MemoryClip::Generate(
        env, vi, [](int n, VideoFrame& frame) { standin::FillRandom(frame, n); });
    {
        const PClip inverted = env.Invoke("DummyInvert", {source}).AsClip();
        ASSERT_TRUE(inverted);
        const PVideoFrame in = source->GetFrame(1, &env);
        const PVideoFrame out = inverted->GetFrame(1, &env);
        ASSERT_NE(in.get(), out.get());  // the shared frame was copied, not written
        const PVideoFrame expected = standin::MakeFrame(env, vi, [&](int plane, int x, int y) {
            const standin::PlaneView view = standin::ReadPlane(*in.get(), plane);
            const uint8_t value = view.data[y * view.pitch + x];
            return plane == PLANAR_Y ? uint8_t(255 - value) : value;
        });
        EXPECT_EQ(standin::DescribeDifference(*out.get(), *expected.get()), "");
    }
    EXPECT_EQ(source->RefCount(), 1);
    EXPECT_EQ(env.LiveFrameCount(), 2u);  // the source's own frames
}

TEST(Plugins, LoadingAgainRunsTheEntryPointAgain) {
    ScriptEnvironment env;
    env.LoadPlugin(STANDIN_DUMMY_PLUGIN);
    const int loads = env.Invoke("DummyLoadCount", {}).AsInt();
    const size_t functions = env.Functions().size();
    env.LoadPlugin(STANDIN_DUMMY_PLUGIN);
    EXPECT_EQ(env.Invoke("DummyLoadCount", {}).AsInt(), loads + 1);
    EXPECT_EQ(env.Functions().size(), functions);
}

TEST(Plugins, ErrorsRaisedInsideThePluginReachTheCaller) {
    ScriptEnvironment env;
    env.LoadPlugin(STANDIN_DUMMY_PLUGIN);
    EXPECT_EQ(ErrorFrom([&] { env.Invoke("DummyFail", {7}); }), "dummy failure 7");
}

TEST(Plugins, FilesThatAreNotPluginsAreRefused) {
    ScriptEnvironment env;
    EXPECT_THAT(ErrorFrom([&] { env.LoadPlugin("no-such-dir/missing_plugin.so"); }),
                HasSubstr("unable to load \"no-such-dir/missing_plugin.so\""));
    // The C maths library is a shared library found by name, with no entry point.
    EXPECT_THAT(ErrorFrom([&] { env.LoadPlugin("libm.so.6"); }),
                HasSubstr("\"libm.so.6\" is not an AviSynth 2.5 plugin"));
}

}  // namespace
