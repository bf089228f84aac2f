// Tests of the plug-in go through the loaded shared library, as a script would: the stand-in
// host opens it, calls its entry point and invokes "BasinLift" through the registry.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame_tools.h"
#include "memory_clip.h"
#include "script_environment.h"

using standin::NamedArguments;

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        description_ = env_.LoadPlugin(BASINLIFT_PLUGIN_PATH);
        env_.SetExtraPitch(32);  // pitches larger than the row size everywhere
    }

    // A clip of random frames.
    PClip RandomClip(int width, int height, int pixelType, int frames = 1, uint32_t seed = 1) {
        const VideoInfo vi = standin::MakeVideoInfo(width, height, pixelType, frames);
        return standin::MemoryClip::Generate(env_, vi, [seed](int n, VideoFrame& f) {
            standin::FillRandom(f, seed * 7919u + static_cast<uint32_t>(n));
        });
    }
    // A clip of frames whose bytes follow a function of (frame, plane, x, y).
    template <class F>
    PClip PatternClip(int width, int height, int pixelType, int frames, F value) {
        const VideoInfo vi = standin::MakeVideoInfo(width, height, pixelType, frames);
        return standin::MemoryClip::Generate(env_, vi, [value](int n, VideoFrame& f) {
            standin::FillFrame(f, [&](int plane, int x, int y) { return value(n, plane, x, y); });
        });
    }

    PClip BasinLift(const PClip& input, const NamedArguments& named = {}) {
        return env_.Invoke("BasinLift", {AVSValue(input)}, named).AsClip();
    }
    // The message of the refusal, or "" when the call is accepted.
    std::string Refusal(const PClip& input, const NamedArguments& named = {}) {
        try {
            BasinLift(input, named);
        } catch (const AvisynthError& e) {
            return e.msg;
        }
        return "";
    }

    standin::ScriptEnvironment env_;
    std::string description_;
};

// What the filter must produce for one channel: the plain reference's pass run on packed
// copies (step 1), independent of the driver's offsets, steps and plane walks.
std::vector<uint8_t> ExpectedChannel(const std::vector<uint8_t>& source,
                                     const std::vector<uint8_t>& segmentation, int width,
                                     int height, int factor, int sh, bool c4);

// The samples of one channel of a frame, packed: bytes at `offset`, every `step` bytes, in
// `width` columns of the given plane (0 for interleaved frames).
std::vector<uint8_t> ChannelOf(const VideoFrame& frame, int plane, int offset, int step,
                               int width);

// Where a channel lies in a frame of a pixel type, and which factor processes it.
struct ChannelCase {
    const char* name;
    int plane;
    int offset;
    int step;
    int widthDivisor;   // 1, or 2 for chroma
    int heightDivisor;  // 1, or 2 for 4:2:0 chroma
    enum Factor { kSm, kSmu, kSmv, kNone } factor;
};
std::vector<ChannelCase> ChannelsOf(int pixelType);
