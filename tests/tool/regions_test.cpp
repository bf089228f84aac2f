// --regions: tiny drawings whose regions are known by hand, with every painted value written
// out, as a mosaic and with --boundaries marked; a random picture whose boundaries must be
// where the filter's are; video through threads, standard input and --frames; refusals; and
// the demo's view.
//
// The drawings' regions follow from the watershed's rules (core/watershed.*): border pixels never
// seed, and a pixel where two regions meet is flagged and keeps the label of its first
// counting neighbour in visiting order (4-connected: up, left, right, down) when all but the
// last agree with that first one, the last one's otherwise. So a one-pixel ridge between two
// basins joins the basin on its left with c4, and with c4=false (diagonals visited too) the
// one on its right.
#include "picture_file.h"
#include "tool_test.h"

namespace {

using Plane = std::vector<uint8_t>;  // rows top to bottom, no padding

constexpr int kWidth = 9;
constexpr int kHeight = 5;

// A dark basin (plateau 10 in a rim of 50) left of a ridge of 240 (column 4), a bright one
// (plateau 200 in a rim of 225) right of it. Dark: 6 x 10 + 14 x 50 = 760 over 20 pixels;
// bright: 6 x 200 + 14 x 225 = 4350 over 20; the ridge adds 5 x 240 = 1200 over 5.
const Plane kTwoBasins{
    50, 50, 50, 50, 240, 225, 225, 225, 225,  //
    50, 10, 10, 50, 240, 225, 200, 200, 225,  //
    50, 10, 10, 50, 240, 225, 200, 200, 225,  //
    50, 10, 10, 50, 240, 225, 200, 200, 225,  //
    50, 50, 50, 50, 240, 225, 225, 225, 225,
};

Plane Mirrored(const Plane& plane, int width) {
    Plane out(plane.size());
    for (size_t i = 0; i < plane.size(); ++i) {
        const size_t x = i % width;
        out[i] = plane[i - x + (width - 1 - x)];
    }
    return out;
}

// Every one of `height` rows: `leftWidth` pixels of `left`, the ridge's `ridge`, then
// `rightWidth` of `right`.
Plane RowsOf(uint8_t left, uint8_t ridge, uint8_t right, int leftWidth = 4, int rightWidth = 4,
             int height = kHeight) {
    Plane plane;
    for (int y = 0; y < height; ++y) {
        plane.insert(plane.end(), leftWidth, left);
        plane.push_back(ridge);
        plane.insert(plane.end(), rightWidth, right);
    }
    return plane;
}

media::Picture PictureOf(const std::vector<Plane>& channels, int width, int height) {
    media::Picture picture;
    picture.width = width;
    picture.height = height;
    picture.hasAlpha = channels.size() == 4;
    for (size_t i = 0; i < channels[0].size(); ++i)
        for (const Plane& c : channels) picture.pixels.push_back(c[i]);
    return picture;
}

Plane ChannelOf(const media::Picture& picture, int c) {
    Plane plane;
    for (size_t i = c; i < picture.pixels.size(); i += picture.Channels())
        plane.push_back(picture.pixels[i]);
    return plane;
}

class RegionsTest : public ToolTest {};

TEST_F(RegionsTest, EachChannelsRegionsArePaintedInTheirMeansWithBoundariesMarkedIfAsked) {
    // Red the drawing, green its mirror image, blue flat (one region, nothing marked), alpha
    // a ramp that must come through unchanged.
    Plane alpha(kWidth * kHeight);
    for (size_t i = 0; i < alpha.size(); ++i) alpha[i] = static_cast<uint8_t>(5 * i);
    const Plane flat(kWidth * kHeight, 77);
    WritePictureFile(Path("in.pam"),
                     PictureOf({kTwoBasins, Mirrored(kTwoBasins, kWidth), flat, alpha},
                               kWidth, kHeight));
    struct Case {
        const char* c4;
        const char* style;  // an option, or "--quiet" for the default mosaic
        Plane red, green;
    };
    const Case cases[] = {
        // The ridge joins the left basin. Red: (760 + 1200) / 25 = 78.4 and 4350 / 20 = 217.5
        // (halves round up); marked, the ridge is white, as its region is dark. Green: (4350 +
        // 1200) / 25 = 222, its ridge black, and 760 / 20 = 38.
        {"c4=true", "--quiet", RowsOf(78, 78, 218), RowsOf(222, 222, 38)},
        {"c4=true", "--boundaries", RowsOf(78, 255, 218), RowsOf(222, 0, 38)},
        // The ridge joins the right basin.
        {"c4=false", "--quiet", RowsOf(38, 222, 222), RowsOf(218, 78, 78)},
        {"c4=false", "--boundaries", RowsOf(38, 0, 222), RowsOf(218, 255, 78)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.c4) + " " + c.style);
        const ToolRun run = RunTool({"--regions", c.style, Path("in.pam"), Path("out.pam"), c.c4});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const media::Picture out = media::ReadPicture(Path("out.pam"));
        EXPECT_EQ(ChannelOf(out, 0), c.red);
        EXPECT_EQ(ChannelOf(out, 1), c.green);
        EXPECT_EQ(ChannelOf(out, 2), flat);
        EXPECT_EQ(ChannelOf(out, 3), alpha);
    }
}

TEST_F(RegionsTest, SegmentationClipsRegionsArePaintedWithTheInputsMeans) {
    WritePictureFile(Path("seg.png"), PictureOf({kTwoBasins, kTwoBasins, kTwoBasins}, kWidth,
                                                kHeight));
    const media::Picture input = MakePicture(kWidth, kHeight, false, 4);
    WritePictureFile(Path("in.png"), input);
    const ToolRun run = RunTool({"--regions", "--boundaries", Path("in.png"), Path("out.png"),
                                 "useclip=true", "sclip=" + Path("seg.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    const media::Picture out = media::ReadPicture(Path("out.png"));
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        // The drawing's regions: columns 0 to 4 (the ridge included), and 5 to 8.
        const Plane values = ChannelOf(input, c);
        int sums[2] = {0, 0}, counts[2] = {0, 0};
        for (size_t i = 0; i < values.size(); ++i) {
            sums[i % kWidth > 4] += values[i];
            ++counts[i % kWidth > 4];
        }
        const int left = (sums[0] + counts[0] / 2) / counts[0];
        const int right = (sums[1] + counts[1] / 2) / counts[1];
        EXPECT_EQ(ChannelOf(out, c), RowsOf(left, left >= 128 ? 0 : 255, right));
    }
}

TEST_F(RegionsTest, BoundariesAreWhereTheFilterFindsThem) {
    // With sm=0 the filter copies interiors and scales boundaries by 110 percent, which
    // changes every value from 10 up: where it changed the picture, the view must have
    // marked a boundary, and nowhere else. Bottom-up rows, plateaus and ties, 8-connected.
    const media::Picture picture = MakePicture(40, 30, false, 7);
    WritePictureFile(Path("in.png"), picture);
    const ToolRun run = RunTool({"--regions", "--boundaries", Path("in.png"), Path("out.png"),
                                 "sm=0", "sh=10", "c4=false"});
    ASSERT_EQ(run.status, 0) << run.err;
    const media::Picture view = media::ReadPicture(Path("out.png"));
    const media::Picture filtered =
        FilteredPicture(picture, {{"sm", 0}, {"sh", 10}, {"c4", false}});
    int boundaries = 0;
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
        if (picture.pixels[i] < 10) continue;
        const bool scaled = filtered.pixels[i] != picture.pixels[i];
        boundaries += scaled;
        // The values lie between 0 and 163 and are never mostly 0, so no region's mean is 0
        // or 255: a mark is a boundary.
        EXPECT_EQ(view.pixels[i] == 0 || view.pixels[i] == 255, scaled) << "at byte " << i;
    }
    EXPECT_GT(boundaries, 100);
}

// A 10 x 6 frame: luma a dark basin (plateau `plateau`, rim 50) and a ridge of 240 left of a
// bright basin (plateau 200, rim 225); U a pit of 40 in 100; V a ramp.
std::string DrawnY4m(const std::string& header, int frames) {
    std::string bytes = header + "\n";
    const bool is422 = header.find("C422") != std::string::npos;
    for (int n = 0; n < frames; ++n) {
        bytes += "FRAME\n";
        const int plateau = n == 0 ? 10 : 30;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 10; ++x) {
                const bool inner = y >= 1 && y <= 4;
                int v = x < 4 ? (inner && (x == 1 || x == 2) ? plateau : 50)
                              : x == 4 ? 240 : (inner && x >= 6 && x <= 8 ? 200 : 225);
                bytes += static_cast<char>(v);
            }
        const int chromaRows = is422 ? 6 : 3;
        for (int y = 0; y < chromaRows; ++y)
            for (int x = 0; x < 5; ++x)
                bytes += static_cast<char>(y == 1 && x == 2 ? 40 : 100);
        for (int i = 0; i < 5 * chromaRows; ++i) bytes += static_cast<char>(17 * i + n);
    }
    return bytes;
}

TEST_F(RegionsTest, VideoPlanesArePaintedOrCopiedAsTheFilterTreatsThem) {
    // Luma: the ridge joins the left basin, 30 pixels of (8 x plateau + 16 x 50 + 6 x 240),
    // 77.3 with plateau 10 and 82.7 with 30; the right basin (12 x 200 + 18 x 225) / 30 = 215.
    // U, with smu=1: one basin, (14 x 100 + 40) / 15 = 96 everywhere. V is never processed.
    const struct {
        const char* chroma;
        const char* option;
        const char* smu;
    } cases[] = {{"C420", "--quiet", "smu=1"},
                 {"C420", "--pixel-type=yv12", "smu=1"},
                 {"C422", "--quiet", "smu=0"}};  // packed YUY2
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.chroma) + " " + c.option + " " + c.smu);
        WriteFile(Path("in.y4m"), DrawnY4m(std::string("YUV4MPEG2 W10 H6 F25:1 ") + c.chroma, 2));
        const ToolRun run = RunTool(
            {"--regions", "--boundaries", c.option, Path("in.y4m"), Path("out.y4m"), c.smu});
        ASSERT_EQ(run.status, 0) << run.err;
        const Frames in = ReadY4mFrames(Path("in.y4m"));
        const Frames out = ReadY4mFrames(Path("out.y4m"));
        ASSERT_EQ(out.size(), 2u);
        for (int n = 0; n < 2; ++n) {
            SCOPED_TRACE(n);
            Plane expected = RowsOf(n == 0 ? 77 : 83, 255, 215, 4, 5, 6);
            const bool uPainted = std::string(c.smu) == "smu=1";
            if (uPainted) expected.insert(expected.end(), 15, 96);
            expected.insert(expected.end(), in[n].begin() + 60 + (uPainted ? 15 : 0), in[n].end());
            EXPECT_EQ(out[n], expected);
        }
    }
}

TEST_F(RegionsTest, ThreadsFramesAndStandardInputGiveTheSameBytes) {
    WriteFile(Path("in.y4m"), MakeY4m("YUV4MPEG2 W48 H32 F25:1 C420", 8));
    const std::vector<std::string> words{"sm=3", "smu=2", "smv=1", "c4=false"};
    const auto regions = [&](std::vector<std::string> args, const std::string& in,
                             const std::string& out) {
        args.insert(args.begin(), "--regions");
        args.push_back(in == "-" ? "-" : Path(in));
        args.push_back(Path(out));
        args.insert(args.end(), words.begin(), words.end());
        const ToolRun run = RunTool(args, {Path("in.y4m"), ""});
        EXPECT_EQ(run.status, 0) << run.err;
        return ReadFile(Path(out));
    };
    const std::string single = regions({"--threads", "1"}, "in.y4m", "single.y4m");
    EXPECT_EQ(regions({"--threads", "3"}, "in.y4m", "three.y4m"), single);
    EXPECT_EQ(regions({"--threads", "2"}, "-", "stdin.y4m"), single);

    const Frames all = ReadY4mFrames(Path("single.y4m"));
    ASSERT_EQ(all.size(), 8u);
    regions({"--threads", "2", "--frames", "2:+3"}, "in.y4m", "part.y4m");
    EXPECT_EQ(ReadY4mFrames(Path("part.y4m")), Frames(all.begin() + 2, all.begin() + 5));
    // Not the filtered frames: the option reached the run.
    EXPECT_NE(all, FilteredFrames(VideoClip(Path("in.y4m")), {{"sm", 3}, {"smu", 2}, {"smv", 1},
                                                             {"c4", false}}));
}

TEST_F(RegionsTest, RefusalsReadAsWhenFiltering) {
    WriteFile(Path("in.y4m"), MakeY4m("YUV4MPEG2 W16 H8 F25:1 C420", 2));
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"sh=0", "sm=0"}, std::vector<std::string>{"useclip=true"},
          std::vector<std::string>{"smu=11"}}) {
        SCOPED_TRACE(words[0]);
        std::vector<std::string> args{Path("in.y4m"), Path("out.y4m")};
        args.insert(args.end(), words.begin(), words.end());
        const ToolRun filtering = RunTool(args);
        args.insert(args.begin(), "--regions");
        const ToolRun viewing = RunTool(args);
        EXPECT_EQ(viewing.status, 1);
        EXPECT_EQ(viewing.status, filtering.status);
        EXPECT_EQ(viewing.err.rfind("BasinLift:", 0), 0u) << viewing.err;
        EXPECT_EQ(viewing.err, filtering.err);
        EXPECT_EQ(Entries(), std::vector<std::string>{"in.y4m"});
    }
    const ToolRun withValue = RunTool({"--regions=yes", Path("in.y4m"), Path("out.y4m")});
    EXPECT_EQ(withValue.status, 2);
    EXPECT_NE(withValue.err.find("option --regions takes no value"), std::string::npos)
        << withValue.err;
    const ToolRun marksAlone = RunTool({"--boundaries", Path("in.y4m"), Path("out.y4m")});
    EXPECT_EQ(marksAlone.status, 2);
    EXPECT_NE(marksAlone.err.find("add --regions"), std::string::npos) << marksAlone.err;
}

TEST_F(RegionsTest, DemoWritesTheViewBesideItsPictures) {
    const ToolRun demo = RunTool({"--demo", Path("demo")});
    ASSERT_EQ(demo.status, 0) << demo.err;
    EXPECT_NE(demo.out.find(Path("demo/regions.png")), std::string::npos) << demo.out;
    const ToolRun view = RunTool({"--regions", Path("demo/input.png"), Path("regions.png")});
    ASSERT_EQ(view.status, 0) << view.err;
    const media::Picture shown = media::ReadPicture(Path("demo/regions.png"));
    EXPECT_EQ(shown.pixels, media::ReadPicture(Path("regions.png")).pixels);
    EXPECT_NE(shown.pixels, media::ReadPicture(Path("demo/input.png")).pixels);
}

}  // namespace
