// The host keeps RGB frames bottom-up. The watershed never seeds on the border and floods
// ties in memory order, so a picture's result depends on which row comes first: the tool
// must hand the plug-in the rows exactly as the real host would.
#include "picture_file.h"
#include "tool_test.h"

namespace {

class OrientationTest : public ToolTest {};

TEST_F(OrientationTest, PicturesReachThePluginBottomUp) {
    // Top half noisy plateaus, bottom half a smooth ramp: no symmetry to hide a flip.
    media::Picture picture = MakePicture(48, 32, false, 3);
    for (int y = 16; y < 32; ++y)
        for (size_t x = 0; x < picture.Stride(); ++x)
            picture.pixels[y * picture.Stride() + x] = static_cast<uint8_t>(x + 5 * y);
    WritePictureFile(Path("in.png"), picture);

    const ToolRun run = RunTool({Path("in.png"), Path("out.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    const media::Picture out = media::ReadPicture(Path("out.png"));
    EXPECT_EQ(out.pixels, FilteredPicture(picture, {}, true).pixels);
    // The same picture handed over top-down gives another result.
    EXPECT_NE(out.pixels, FilteredPicture(picture, {}, false).pixels);
}

}  // namespace
