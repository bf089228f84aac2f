// The tool among other programs: between two ffmpeg processes, and the self-contained demo.
#include "formats.h"
#include "tool_test.h"

namespace {

class PipelinesTest : public ToolTest {};

TEST_F(PipelinesTest, SitsBetweenTwoFfmpegProcesses) {
    if (RunShell("command -v ffmpeg").status != 0) GTEST_SKIP() << "ffmpeg is not on PATH";
    // Each stage's status is kept apart: a pipeline's own status is only its last stage's.
    const ToolRun run = RunShell(
        "cd '" + Path("") +
        "' && "
        "{ ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=5 -frames:v 3 -f yuv4mpegpipe "
        "-pix_fmt yuv420p -; echo $? > s1; } | { \"$TOOL\" - - sm=3; echo $? > s2; } | "
        "{ ffmpeg -v error -f yuv4mpegpipe -i - -f framemd5 -; echo $? > s3; }");
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char* stage : {"s1", "s2", "s3"}) EXPECT_EQ(ReadFile(Path(stage)), "0\n") << stage;
    size_t frames = 0;
    for (size_t at = run.out.find("\n0,"); at != std::string::npos;
         at = run.out.find("\n0,", at + 1))
        ++frames;
    EXPECT_EQ(frames, 3u) << run.out;
}

TEST_F(PipelinesTest, DemoWritesInputOutputAndComparison) {
    const ToolRun run = RunTool({"--demo", Path("demo")});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* name : {"input.png", "output.png", "comparison.png"})
        EXPECT_NE(run.out.find(Path("demo/") + name), std::string::npos) << run.out;
    const media::Picture input = media::ReadPicture(Path("demo/input.png"));
    const media::Picture output = media::ReadPicture(Path("demo/output.png"));
    EXPECT_EQ(output.pixels, FilteredPicture(input).pixels);
    EXPECT_NE(output.pixels, input.pixels);
    // The comparison starts with the input's rows and ends with the output's.
    const media::Picture both = media::ReadPicture(Path("demo/comparison.png"));
    ASSERT_EQ(both.height, input.height);
    for (int y = 0; y < input.height; ++y) {
        const auto row = both.pixels.begin() + y * both.Stride();
        const auto own = input.pixels.begin() + y * input.Stride();
        ASSERT_TRUE(std::equal(own, own + input.Stride(), row));
        const auto out = output.pixels.begin() + y * output.Stride();
        ASSERT_TRUE(std::equal(out, out + output.Stride(), row + both.Stride() - output.Stride()));
    }
}

TEST_F(PipelinesTest, DemoIsQuietWhenAskedAndNeverWritesToAFolderNamedDash) {
    const ToolRun quiet = RunTool({"--quiet", "--demo", Path("demo")});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(media::ReadPicture(Path("demo/output.png")).width, 640);

    for (const char* dash : {"--demo -", "--demo=-"}) {
        const ToolRun run = RunShell("cd '" + Path("") + "' && exec \"$TOOL\" " + dash);
        EXPECT_EQ(run.status, 2) << dash;
        EXPECT_NE(run.err.find("not to '-'"), std::string::npos) << run.err;
    }
    EXPECT_EQ(Entries(), std::vector<std::string>{"demo"});
}

}  // namespace
