// Every format through the tool, against the plug-in run in-process on the same frames.
#include "formats.h"
#include "picture_file.h"
#include "tool_test.h"

namespace {

const NamedArguments kMixedArguments{{"sh", 3}, {"sm", 4}, {"smu", 2}, {"smv", 1}, {"c4", false}};
const std::vector<std::string> kMixedWords{"sh=3", "sm=4", "smu=2", "smv=1", "c4=false"};

std::vector<std::string> WithWords(std::vector<std::string> args,
                                   const std::vector<std::string>& words) {
    args.insert(args.end(), words.begin(), words.end());
    return args;
}

class FormatsTest : public ToolTest {};

TEST_F(FormatsTest, VideoKeepsHeadersAndMatchesTheFilter) {
    // 4:2:0 becomes I420 frames, 4:2:2 packed YUY2; both come back as planes.
    for (const std::string header :
         {"YUV4MPEG2 W32 H24 F30000:1001 It A1:1 C420jpeg XYSCSS=420JPEG",
          "YUV4MPEG2 W32 H24 F25:1 C422 XCOLORRANGE=FULL"}) {
        SCOPED_TRACE(header);
        WriteFile(Path("in.y4m"), MakeY4m(header, 3));
        const ToolRun run = RunTool(WithWords({Path("in.y4m"), Path("out.y4m")}, kMixedWords));
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<std::string> params;
        EXPECT_EQ(ReadY4mFrames(Path("out.y4m"), &params),
                  FilteredFrames(VideoClip(Path("in.y4m")), kMixedArguments));
        EXPECT_EQ(params, (std::vector<std::string>{"", " XNOTE=1", ""}));
        EXPECT_EQ(ReadFile(Path("out.y4m")).substr(0, header.size() + 1), header + "\n");
    }
}

TEST_F(FormatsTest, SegmentationClipComesFromAnotherFile) {
    WriteFile(Path("in.y4m"), MakeY4m("YUV4MPEG2 W32 H24 C420", 2, 1));
    WriteFile(Path("seg.y4m"), MakeY4m("YUV4MPEG2 W32 H24 C420", 2, 9));
    const ToolRun run = RunTool(
        {Path("in.y4m"), Path("out.y4m"), "useclip=true", "sclip=" + Path("seg.y4m"), "smu=2"});
    ASSERT_EQ(run.status, 0) << run.err;
    const NamedArguments args{{"useclip", true}, {"sclip", VideoClip(Path("seg.y4m"))}, {"smu", 2}};
    EXPECT_EQ(ReadY4mFrames(Path("out.y4m")), FilteredFrames(VideoClip(Path("in.y4m")), args));
    EXPECT_NE(ReadY4mFrames(Path("out.y4m")),
              FilteredFrames(VideoClip(Path("in.y4m")), {{"smu", 2}}));
}

TEST_F(FormatsTest, SegmentationClipIsOnlyOpenedWhenUsed) {
    WriteFile(Path("in.y4m"), MakeY4m("YUV4MPEG2 W32 H24 C420", 2, 1));
    const Frames expected = FilteredFrames(VideoClip(Path("in.y4m")), {{"smu", 2}});
    // Missing, of another size, of no known type: not read at all without useclip=true.
    WriteFile(Path("small.y4m"), MakeY4m("YUV4MPEG2 W16 H8 C420", 2, 1));
    for (const std::string sclip : {"missing.y4m", "small.y4m", "notes.txt"}) {
        SCOPED_TRACE(sclip);
        for (const char* useclip : {"", "useclip=false"}) {
            std::vector<std::string> args{Path("in.y4m"), Path("out.y4m"), "smu=2",
                                          "sclip=" + Path(sclip)};
            if (*useclip) args.push_back(useclip);
            const ToolRun run = RunTool(args);
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.err, "basinlift: warning: sclip=" + Path(sclip) +
                                   " is not used without useclip=true\n");
            EXPECT_EQ(ReadY4mFrames(Path("out.y4m")), expected);
        }
    }
    // With useclip=true the same files are refused.
    const ToolRun used =
        RunTool({Path("in.y4m"), Path("out.y4m"), "useclip=true", "sclip=" + Path("missing.y4m")});
    EXPECT_EQ(used.status, 1);
    EXPECT_NE(used.err.find("missing.y4m: cannot open for reading"), std::string::npos) << used.err;
}

TEST_F(FormatsTest, PicturesInEveryFormatMatchTheFilter) {
    const media::Picture rgb = MakePicture(40, 30, false);
    const media::Picture rgba = MakePicture(40, 30, true, 7);
    WritePictureFile(Path("rgb.png"), rgb);
    WritePictureFile(Path("rgba.png"), rgba);
    WritePictureFile(Path("rgb.ppm"), rgb);
    WritePictureFile(Path("rgba.pam"), rgba);
    struct Case {
        const char* input;
        const char* output;
        const media::Picture& picture;
    };
    for (const Case& c : {Case{"rgb.png", "o1.PNG", rgb}, Case{"rgba.png", "o2.pam", rgba},
                          Case{"rgb.ppm", "o3.png", rgb}, Case{"rgba.pam", "o4.png", rgba},
                          Case{"rgb.png", "o5.ppm", rgb}}) {
        SCOPED_TRACE(c.output);
        const ToolRun run = RunTool({"--quiet", Path(c.input), Path(c.output), "sh=4", "sm=3"});
        ASSERT_EQ(run.status, 0) << run.err;
        const media::Picture result = media::ReadPicture(Path(c.output));
        const media::Picture expected = FilteredPicture(c.picture, {{"sh", 4}, {"sm", 3}});
        EXPECT_EQ(result.hasAlpha, c.picture.hasAlpha);
        EXPECT_EQ(result.pixels, expected.pixels);
    }
}

}  // namespace
