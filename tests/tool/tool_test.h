// The fixture of the tool's tests: a private directory per test, the test inputs, and the
// plug-in loaded in-process into the stand-in host, to compute what the tool must output.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "picture.h"
#include "script_environment.h"
#include "tool_process.h"

using standin::NamedArguments;
using Frames = std::vector<std::vector<uint8_t>>;  // each frame's Y, U, V planes, packed

// A Y4M stream: the header line (without "\n"), then per frame its FRAME parameters and
// planes of pseudo-random few-level pictures (plateaus and ties, where the watershed's
// rules matter). 4:2:0 unless the header says C422.
std::string MakeY4m(const std::string& header, int frames, uint32_t seed = 1);
// A picture of the same kind; with alpha when asked.
media::Picture MakePicture(int width, int height, bool alpha, uint32_t seed = 1);

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
// The frames of a Y4M file, read with the media library; the FRAME parameters too.
Frames ReadY4mFrames(const std::string& path, std::vector<std::string>* frameParams = nullptr);

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    // Names in the test's directory, to show that no temporary file stayed behind.
    std::vector<std::string> Entries() const;

    // In-process, as the real host would run it: video frames as I420, YV12 or YUY2 (for
    // C422); pictures as BGR frames, bottom-up unless told otherwise.
    PClip VideoClip(const std::string& y4mPath, int pixelType = VideoInfo::CS_I420);
    PClip PictureClip(const media::Picture& picture, bool bottomUp = true);
    Frames FilteredFrames(const PClip& input, const NamedArguments& args = {});
    media::Picture FilteredPicture(const media::Picture& picture, const NamedArguments& args = {},
                                    bool bottomUp = true);
    // The plug-in's refusal message for these arguments ("" when it accepts them).
    std::string Refusal(const PClip& input, const NamedArguments& args);

    standin::ScriptEnvironment env_;

private:
    std::string dir_;
};
