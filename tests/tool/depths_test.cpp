// Every format and depth the tool reads: 4:2:0, 4:2:2, 4:4:4 and mono video at 8 to 16 bits and
// 16-bit pictures must give the 8-bit result shifted, as the filter does at every depth; ffmpeg
// streams pass both ways with their format; one picture's channels on several threads give the
// same bytes; and --plugin runs the classic plug-in on the formats it takes, and only those.
#include <cstring>

#include "picture_file.h"
#include "tool_test.h"
#include "y4m_io.h"

namespace {

// The 8-bit stream at `bits`: its header with the depth in the colour space (C420 becomes
// C420p10, Cmono Cmono10), every sample v written as v << (bits - 8), little-endian.
std::string Widened(const std::string& y4m, int bits) {
    const size_t headerEnd = y4m.find('\n');
    std::string header = y4m.substr(0, headerEnd);
    const size_t c = header.find(" C");
    const size_t end = header.find(' ', c + 1);
    const std::string space = header.substr(c + 2, end == std::string::npos ? end : end - c - 2);
    header.replace(c + 2, space.size(), space + (space == "mono" ? "" : "p") + std::to_string(bits));
    std::string out = header + "\n";
    for (size_t at = headerEnd + 1; at < y4m.size();) {
        const size_t line = y4m.find('\n', at);
        out += y4m.substr(at, line + 1 - at);  // the FRAME line
        at = line + 1;
        const size_t next = y4m.find("FRAME", at);
        const size_t planes = (next == std::string::npos ? y4m.size() : next) - at;
        for (size_t i = 0; i < planes; ++i) {
            const unsigned value = static_cast<uint8_t>(y4m[at + i]) << (bits - 8);
            out += static_cast<char>(value & 0xFF);
            out += static_cast<char>(value >> 8);
        }
        at += planes;
    }
    return out;
}

class DepthsTest : public ToolTest {};

TEST_F(DepthsTest, VideoOfEveryLayoutAndDepthGivesTheEightBitResultShifted) {
    const std::vector<std::string> arguments{"sm=3", "sh=-4", "smu=2", "smv=1", "c4=false"};
    for (const char* space : {"C420jpeg", "C422", "C444", "Cmono"}) {
        SCOPED_TRACE(space);
        const std::string header = std::string("YUV4MPEG2 W18 H10 F25:1 ") + space;
        // Few frames with few levels, so that plateaus and ties are everywhere.
        const std::string bytes = MakeY4m(header, 3, 5);
        WriteFile(Path("in8.y4m"), bytes);
        std::vector<std::string> args{Path("in8.y4m"), Path("out8.y4m")};
        args.insert(args.end(), arguments.begin(), arguments.end());
        const ToolRun eight = RunTool(args);
        ASSERT_EQ(eight.status, 0) << eight.err;
        const Frames expected = ReadY4mFrames(Path("out8.y4m"));
        ASSERT_EQ(expected.size(), 3u);
        for (int bits : {9, 10, 12, 16}) {
            if (std::string(space) == "C420jpeg" && bits != 10) continue;  // a siting variant
            SCOPED_TRACE(bits);
            std::string wide = Widened(bytes, bits);
            if (std::string(space) == "C420jpeg") {
                const size_t at = wide.find("C420jpegp10");
                wide.replace(at, 11, "C420p10");
            }
            WriteFile(Path("in.y4m"), wide);
            args[0] = Path("in.y4m");
            args[1] = Path("out.y4m");
            const ToolRun run = RunTool(args);
            ASSERT_EQ(run.status, 0) << run.err;
            media::Y4mReader reader(Path("out.y4m"));
            ASSERT_EQ(reader.Header().bitDepth, bits);
            const media::Y4mHeader& h = reader.Header();
            for (size_t n = 0; n < expected.size(); ++n) {
                std::vector<uint16_t> planes(h.FrameBytes() / 2);
                uint8_t* base = reinterpret_cast<uint8_t*>(planes.data());
                media::Y4mFrameHeader frameHeader;
                const int cw = h.ChromaWidth() * 2;
                ASSERT_TRUE(reader.ReadFrame(frameHeader, {base, h.width * 2},
                                             {base + h.LumaBytes(), cw},
                                             {base + h.LumaBytes() + h.ChromaBytes(), cw}));
                ASSERT_EQ(planes.size(), expected[n].size());
                for (size_t i = 0; i < planes.size(); ++i)
                    ASSERT_EQ(planes[i] >> (bits - 8), expected[n][i]) << "frame " << n << " sample " << i;
            }
        }
    }
}

TEST_F(DepthsTest, FfmpegStreamsPassBothWaysInTheirFormat) {
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
    for (const char* format : {"yuv420p10le", "yuv422p12le", "yuv444p16le", "gray", "gray16le", "yuv444p"}) {
        SCOPED_TRACE(format);
        const std::string make = std::string("ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=5 "
                                             "-frames:v 3 -pix_fmt ") + format + " -strict -1 -f yuv4mpegpipe -";
        const std::string out = Path("out.y4m");
        const ToolRun run = RunShell(make + " | \"$TOOL\" --quiet - '" + out + "' sm=4 smu=2");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        // ffmpeg reads the tool's output as the format it wrote, every frame of it, filtered.
        const ToolRun probe = RunShell("ffprobe -v error -show_entries stream=pix_fmt -of csv=p=0 '" + out + "'");
        EXPECT_EQ(probe.out, std::string(format) + "\n") << probe.err;
        const std::string raw = " -f rawvideo -pix_fmt " + std::string(format) + " -";
        const ToolRun filtered = RunShell("ffmpeg -v error -i '" + out + "'" + raw);
        const ToolRun original = RunShell(make + " | ffmpeg -v error -f yuv4mpegpipe -i -" + raw);
        EXPECT_EQ(filtered.out.size(), original.out.size());
        EXPECT_FALSE(filtered.out.empty());
        EXPECT_NE(filtered.out, original.out);
    }
}

TEST_F(DepthsTest, SixteenBitPicturesGiveTheEightBitResultShifted) {
    const media::Picture picture = MakePicture(23, 17, true, 9);
    media::Picture deep = picture;
    deep.bitDepth = 16;
    deep.pixels16.assign(picture.pixels.begin(), picture.pixels.end());
    for (uint16_t& v : deep.pixels16) v = static_cast<uint16_t>(v << 8);
    deep.pixels.clear();
    for (const char* ext : {".png", ".pam"}) {
        SCOPED_TRACE(ext);
        WritePictureFile(Path(std::string("in") + ext), deep);
        const ToolRun run = RunTool({Path(std::string("in") + ext), Path(std::string("out") + ext), "sh=6", "sm=7"});
        ASSERT_EQ(run.status, 0) << run.err;
        const media::Picture out = media::ReadPicture(Path(std::string("out") + ext));
        const media::Picture expected = FilteredPicture(picture, {{"sh", 6}, {"sm", 7}});
        ASSERT_EQ(out.pixels16.size(), expected.pixels.size());
        for (size_t i = 0; i < expected.pixels.size(); ++i)
            ASSERT_EQ(out.pixels16[i] >> 8, expected.pixels[i]) << "sample " << i;
    }
}

TEST_F(DepthsTest, OnePicturesChannelsOnSeveralThreadsGiveTheSameBytes) {
    // 16-bit samples take the radix sort, which borrows the buffers of the thread that floods.
    const media::Picture picture = MakePicture(64, 40, true, 3);
    media::Picture deep = picture;
    deep.bitDepth = 16;
    deep.pixels16.resize(picture.pixels.size());
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        deep.pixels16[i] = static_cast<uint16_t>(picture.pixels[i] << 8 | (i * 37 & 0xFF));
    deep.pixels.clear();
    for (const media::Picture* in : {&picture, static_cast<const media::Picture*>(&deep)}) {
        SCOPED_TRACE(in->bitDepth);
        WritePictureFile(Path("in.png"), *in);
        std::string single;
        for (const char* threads : {"1", "2", "3", "8"}) {
            for (const char* regions : {"--quiet", "--regions"}) {
                SCOPED_TRACE(std::string(threads) + " " + regions);
                const ToolRun run = RunTool({"--threads", threads, regions, Path("in.png"), Path("out.png"), "sm=5"});
                ASSERT_EQ(run.status, 0) << run.err;
                if (std::string(regions) == "--regions") continue;
                const std::string out = ReadFile(Path("out.png"));
                if (single.empty()) single = out;
                EXPECT_EQ(out, single);
            }
        }
    }
}

TEST_F(DepthsTest, ThePluginRunsOnTheFormatsItTakesAndOnlyThose) {
    WriteFile(Path("in.y4m"), MakeY4m("YUV4MPEG2 W16 H8 F25:1 C422", 2));
    WritePictureFile(Path("in.png"), MakePicture(16, 8, false));
    for (const char* in : {"in.y4m", "in.png"}) {
        SCOPED_TRACE(in);
        const std::string ext = std::string(in).substr(2);
        const ToolRun engine = RunTool({Path(in), Path("engine" + ext), "sm=5", "smu=1"});
        const ToolRun plugin = RunTool({"--plugin", BASINLIFT_PLUGIN_PATH, Path(in), Path("plugin" + ext), "sm=5", "smu=1"});
        ASSERT_EQ(engine.status, 0) << engine.err;
        ASSERT_EQ(plugin.status, 0) << plugin.err;
        EXPECT_EQ(ReadFile(Path("engine" + ext)), ReadFile(Path("plugin" + ext)));
    }
    WriteFile(Path("c444.y4m"), MakeY4m("YUV4MPEG2 W16 H8 F25:1 C444", 2));
    const ToolRun refused = RunTool({"--plugin", BASINLIFT_PLUGIN_PATH, Path("c444.y4m"), Path("out.y4m")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("8-bit 4:2:0 and 4:2:2 video and 8-bit pictures; this is 8-bit YUV444"),
              std::string::npos)
        << refused.err;
}

}  // namespace
