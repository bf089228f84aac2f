// name=value arguments: bound by the plug-in's signature, refused by the plug-in in its own
// words (status 1), or refused by the tool as a usage error (status 2). Neither leaves an
// OUTPUT behind.
#include <climits>
#include <filesystem>
#include <thread>

#include "picture_file.h"
#include "tool_test.h"

namespace {

class ArgumentsTest : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        WriteFile(Path("in.y4m"), MakeY4m("YUV4MPEG2 W16 H8 F25:1 C420", 2));
        WritePictureFile(Path("in.png"), MakePicture(8, 6, false));
        WritePictureFile(Path("alpha.png"), MakePicture(8, 6, true));
    }
};

TEST_F(ArgumentsTest, RefusalsPassThroughUnchanged) {
    struct Case {
        const char* input;
        std::vector<std::string> words;
        NamedArguments named;
    };
    const Case cases[] = {
        {"in.y4m", {"sh=11"}, {{"sh", 11}}},
        {"in.y4m", {"smv=-1"}, {{"smv", -1}}},
        {"in.png", {"sh=0", "sm=0"}, {{"sh", 0}, {"sm", 0}}},
        {"in.y4m", {"useclip=true"}, {{"useclip", true}}},
        {"in.y4m", {"sh=-2147483648"}, {{"sh", INT_MIN}}},  // the lowest integer still binds
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[0]);
        const bool video = std::string(c.input) == "in.y4m";
        const PClip input =
            video ? VideoClip(Path(c.input)) : PictureClip(MakePicture(8, 6, false));
        const std::string message = Refusal(input, c.named);
        ASSERT_FALSE(message.empty());
        std::vector<std::string> args{Path(c.input), Path(video ? "out.y4m" : "out.png")};
        args.insert(args.end(), c.words.begin(), c.words.end());
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, message + "\n");
        EXPECT_EQ(Entries().size(), 3u);  // the inputs only
    }
}

TEST_F(ArgumentsTest, UsageErrorsExitWithStatusTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"in.y4m", "out.y4m", "strength=3"},
        {"in.y4m", "out.y4m", "sh=three"},
        {"in.y4m", "out.y4m", "sh=2147483648"},
        {"in.y4m", "out.y4m", "sh=-2147483649"},
        {"in.y4m", "out.y4m", "sh= 1"},
        {"in.y4m", "out.y4m", "sh=1", "SH=2"},
        {"in.y4m", "out.y4m", "c4=yes"},
        {"in.y4m", "out.y4m", "sh"},
        {"-", "out.y4m", "useclip=true", "sclip=in.y4m"},
        {"in.y4m", "out.y4m", "useclip=true", "sclip=-"},
        {"in.y4m", "out.png"},
        {"in.png", "out.y4m"},
        {"in.png", "out.txt"},
        {"alpha.png", "out.ppm"},
        {"in.y4m"},
        {"--threads", "0", "in.y4m", "out.y4m"},
        {"--pixel-type=nv12", "in.y4m", "out.y4m"},
        {"in.y4m", "out.y4m", "--quiet"},
    };
    for (std::vector<std::string> args : cases) {
        std::string line;
        for (std::string& a : args) {
            line += a + " ";
            if (a.rfind("in.", 0) == 0 || a.rfind("out.", 0) == 0 || a.rfind("alpha", 0) == 0)
                a = Path(a);
            if (a.rfind("sclip=in", 0) == 0) a = "sclip=" + Path("in.y4m");
        }
        SCOPED_TRACE(line);
        const ToolRun run = RunTool(args, {Path("in.y4m"), ""});
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("basinlift: "), std::string::npos);
        EXPECT_EQ(Entries().size(), 3u);
    }
}

TEST_F(ArgumentsTest, OptionsTakeEitherFormAndNamesAnyCase) {
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--threads=2", "--pixel-type=yv12"},
          std::vector<std::string>{"--threads", "2", "--pixel-type", "yv12", "--"}}) {
        std::vector<std::string> args = options;
        for (const char* a : {"in.y4m", "out.y4m"}) args.push_back(Path(a));
        args.push_back("SMU=3");
        ASSERT_EQ(RunTool(args).status, 0);
        EXPECT_EQ(ReadY4mFrames(Path("out.y4m")),
                  FilteredFrames(VideoClip(Path("in.y4m")), {{"smu", 3}}));
    }
}

TEST_F(ArgumentsTest, TrueAndFalseInAnyCase) {
    for (const auto& [word, c4] : {std::pair{"c4=False", false}, std::pair{"c4=TRUE", true}}) {
        SCOPED_TRACE(word);
        const ToolRun run = RunTool({Path("in.y4m"), Path("out.y4m"), word, "useclip=FaLsE"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(ReadY4mFrames(Path("out.y4m")),
                  FilteredFrames(VideoClip(Path("in.y4m")), {{"c4", c4}, {"useclip", false}}));
    }
    EXPECT_NE(FilteredFrames(VideoClip(Path("in.y4m")), {{"c4", false}}),
              FilteredFrames(VideoClip(Path("in.y4m")), {{"c4", true}}));
}

TEST_F(ArgumentsTest, WorkersWellBeyondTheCoresAreWarnedOf) {
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores == 0 || 2 * cores >= 256) GTEST_SKIP() << cores << " cores";  // --threads at most 256
    // Standard input's length is unknown, so every worker asked for is made.
    const ToolRun many = RunTool({"--threads", std::to_string(2 * cores + 1), "-", Path("out.y4m")},
                                 {Path("in.y4m"), ""});
    EXPECT_EQ(many.status, 0) << many.err;
    EXPECT_EQ(many.err.rfind("basinlift: warning: " + std::to_string(2 * cores + 1) +
                                 " workers on " + std::to_string(cores) + " cores: each holds",
                             0),
              0u)
        << many.err;
    EXPECT_EQ(ReadY4mFrames(Path("out.y4m")), FilteredFrames(VideoClip(Path("in.y4m"))));
    // Twice the cores is fine; so is any count for a file of two frames, which gets two.
    for (const std::string& input : {std::string("-"), Path("in.y4m")}) {
        const std::string threads = input == "-" ? std::to_string(2 * cores) : "256";
        const ToolRun run = RunTool({"--threads", threads, input, Path("out.y4m")},
                                    {Path("in.y4m"), ""});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "") << input;
    }
    EXPECT_NE(RunTool({"--help"}).out.find("about 21 bytes per pixel"), std::string::npos);
}

TEST_F(ArgumentsTest, HelpVersionAndAMissingPlugin) {
    const ToolRun help = RunTool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    const ToolRun version = RunTool({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "basinlift 1.0.0\n");
    const ToolRun missing = RunTool({"--plugin", Path("none.so"), Path("in.y4m"), Path("out.y4m")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(Path("none.so")), std::string::npos);
}

TEST_F(ArgumentsTest, APluginNameIsAPathLikeAnyOther) {
    std::filesystem::copy_file(BASINLIFT_PLUGIN_PATH, Path("Copy.so"));
    const std::string here = "cd '" + Path("") + "' && exec \"$TOOL\" --plugin ";
    const ToolRun local = RunShell(here + "Copy.so in.y4m out.y4m");
    EXPECT_EQ(local.status, 0) << local.err;
    EXPECT_EQ(ReadY4mFrames(Path("out.y4m")), FilteredFrames(VideoClip(Path("in.y4m"))));
    // Not a library of the system's that happens to have the name.
    const ToolRun system = RunShell(here + "libc.so.6 in.y4m out2.y4m");
    EXPECT_EQ(system.status, 1);
    EXPECT_NE(system.err.find("\"./libc.so.6\""), std::string::npos) << system.err;
    EXPECT_NE(system.err.find("No such file"), std::string::npos) << system.err;
}

}  // namespace
