// Video runs: the same bytes whatever the threads, input route or 4:2:0 clip type; a
// failing frame reported as a single thread would; progress only when asked.
#include "tool_test.h"

namespace {

constexpr char kHeader[] = "YUV4MPEG2 W48 H32 F25:1 C420mpeg2";

class VideoRunTest : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        WriteFile(Path("in.y4m"), MakeY4m(kHeader, 8));
    }
    // OUTPUT on standard output; INPUT "-" reads in.y4m from standard input.
    ToolRun RunToStdout(std::vector<std::string> args) {
        for (std::string& a : args)
            if (a == "in.y4m") a = Path(a);
        args.push_back("-");
        args.push_back("sh=5");
        return RunTool(args, {Path("in.y4m"), ""});
    }
};

TEST_F(VideoRunTest, ThreadsRoutesAndClipTypesGiveTheSameBytes) {
    const ToolRun single = RunToStdout({"--threads", "1", "in.y4m"});
    ASSERT_EQ(single.status, 0) << single.err;
    WriteFile(Path("out.y4m"), single.out);
    EXPECT_EQ(ReadY4mFrames(Path("out.y4m")),
              FilteredFrames(VideoClip(Path("in.y4m")), {{"sh", 5}}));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--threads", "4", "in.y4m"},
          std::vector<std::string>{"--threads", "4", "-"},
          std::vector<std::string>{"--threads", "3", "--pixel-type", "yv12", "in.y4m"},
          std::vector<std::string>{"--pixel-type", "yv12", "-"}}) {
        SCOPED_TRACE(args[args.size() - 2] + " " + args.back());
        const ToolRun run = RunToStdout(args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.out == single.out);
    }
}

TEST_F(VideoRunTest, ABadFrameMidStreamStopsAtThatFrame) {
    std::string broken = ReadFile(Path("in.y4m"));
    const size_t frameBytes = 48 * 32 * 3 / 2;
    size_t frame5 = broken.find("FRAME");
    for (int n = 0; n < 5; ++n)
        frame5 = broken.find("FRAME", broken.find('\n', frame5) + 1 + frameBytes);
    broken[frame5 + 4] = 'X';
    WriteFile(Path("broken.y4m"), broken);

    const ToolRun streamed = RunTool({"--threads", "4", "-", "-"}, {Path("broken.y4m"), ""});
    EXPECT_EQ(streamed.status, 1);
    EXPECT_NE(streamed.err.find("frame 5"), std::string::npos) << streamed.err;
    // Frames 0 to 4, in order, were already on their way; nothing after them. Output frames
    // lie where the input's do, as filtering keeps sizes and FRAME lines.
    const ToolRun good = RunTool({"-", "-"}, {Path("in.y4m"), ""});
    EXPECT_TRUE(streamed.out == good.out.substr(0, frame5));

    const ToolRun toFile =
        RunTool({"--threads", "4", "-", Path("out.y4m")}, {Path("broken.y4m"), ""});
    EXPECT_EQ(toFile.status, 1);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"broken.y4m", "in.y4m"}));
}

TEST_F(VideoRunTest, ChunksJoinedUnderOneHeaderAreTheWholeRun) {
    const ToolRun whole = RunTool({"--threads", "3", Path("in.y4m"), Path("whole.y4m"), "sh=5"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string expected = ReadFile(Path("whole.y4m"));
    const std::string header = std::string(kHeader) + "\n";
    // From a file and from standard input; the last range of each runs past the end.
    const std::vector<std::vector<std::string>> splits{{"0:2", "3:+3", "6:100"},
                                                       {"0:+1", "1:6", "7:+5"}};
    for (const bool streamed : {false, true}) {
        const std::vector<std::string>& ranges = splits[streamed];
        std::string joined;
        for (const std::string& range : ranges) {
            SCOPED_TRACE(range);
            const ToolRun chunk =
                RunTool({"--threads", "2", "--frames", range, streamed ? "-" : Path("in.y4m"),
                         Path("chunk.y4m"), "sh=5"},
                        {Path("in.y4m"), ""});
            ASSERT_EQ(chunk.status, 0) << chunk.err;
            const std::string bytes = ReadFile(Path("chunk.y4m"));
            ASSERT_EQ(bytes.compare(0, header.size(), header), 0) << "the header unchanged";
            joined += joined.empty() ? bytes : bytes.substr(header.size());
        }
        EXPECT_TRUE(joined == expected) << (streamed ? "standard input" : "file");
    }
}

TEST_F(VideoRunTest, FrameRangesThatCannotBeMetAreRefused) {
    for (const std::string input : {"in.y4m", "-"}) {
        SCOPED_TRACE(input);
        const ToolRun run = RunTool({"--frames", "8:9", input == "-" ? "-" : Path(input),
                                     Path("out.y4m")},
                                    {Path("in.y4m"), ""});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("--frames starts at frame 8, but the video has only 8 frames"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(Entries(), std::vector<std::string>{"in.y4m"});
    }
    WriteFile(Path("in.ppm"), "P6\n2 2\n255\n" + std::string(12, 'x'));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--frames", "5", Path("in.y4m")},
          std::vector<std::string>{"--frames", "3:1", Path("in.y4m")},
          std::vector<std::string>{"--frames", "-1:4", Path("in.y4m")},
          std::vector<std::string>{"--frames", "a:b", Path("in.y4m")},
          std::vector<std::string>{"--frames", "0:+0", Path("in.y4m")},
          std::vector<std::string>{"--frames", "1:+2147483647", Path("in.y4m")},
          std::vector<std::string>{"--frames=0:", Path("in.y4m")},
          std::vector<std::string>{"--frames", "0:1", Path("in.ppm")}}) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        std::vector<std::string> withOutput = args;
        withOutput.push_back(Path(args.back() == Path("in.ppm") ? "out.ppm" : "out.y4m"));
        const ToolRun run = RunTool(withOutput);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("--frames"), std::string::npos) << run.err;
    }
    EXPECT_EQ(Entries(), (std::vector<std::string>{"in.ppm", "in.y4m"}));
    // A number too large is said to be too large, whichever it is.
    for (const auto& [range, what] :
         {std::pair<std::string, std::string>{"99999999999999999999:5", "FIRST at most 2147483646"},
          {"2147483647:2147483647", "FIRST at most 2147483646"},
          {"0:3000000000", "LAST at most 2147483646"},
          {"7:+99999999999", "COUNT at most 2147483646"}}) {
        const ToolRun run = RunTool({"--frames", range, Path("in.y4m"), Path("out.y4m")});
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(what), std::string::npos) << range << ": " << run.err;
    }
}

TEST_F(VideoRunTest, ProgressOnlyWhenAsked) {
    const ToolRun shown = RunTool({"--progress", Path("in.y4m"), Path("out.y4m")});
    EXPECT_NE(shown.err.find("frame 8/8"), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find("8 frames in"), std::string::npos) << shown.err;
    const ToolRun streamed = RunTool({"--progress", "-", Path("out.y4m")}, {Path("in.y4m"), ""});
    EXPECT_NE(streamed.err.find("8 frames in"), std::string::npos) << streamed.err;
    // stderr is a file here, not a terminal: silent unless asked.
    EXPECT_EQ(RunTool({Path("in.y4m"), Path("out.y4m")}).err, "");
    EXPECT_EQ(RunTool({"--progress", "--quiet", Path("in.y4m"), Path("out.y4m")}).err, "");
}

}  // namespace
