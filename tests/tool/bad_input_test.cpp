// Damaged or unsupported input: a message naming the file (and for video the frame),
// status 1, and OUTPUT neither created nor replaced.
#include <png.h>
#include <unistd.h>

#include <cstdio>

#include "picture_file.h"
#include "tool_test.h"

namespace {

// 16 bits per sample, each 8-bit value v stored as v * 256: the picture at 16 bits.
void Write16BitPng(const std::string& path, const media::Picture& picture) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) FAIL() << "libpng failed";
    png_init_io(png, file);
    png_set_IHDR(png, info, picture.width, picture.height, 16, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(picture.Stride() * 2);
    for (int y = 0; y < picture.height; ++y) {
        for (size_t i = 0; i < picture.Stride(); ++i)
            row[2 * i] = picture.pixels[y * picture.Stride() + i], row[2 * i + 1] = 0;
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

class BadInputTest : public ToolTest {};

TEST_F(BadInputTest, FailsWithAClearMessageAndLeavesOutputAlone) {
    const std::string video = MakeY4m("YUV4MPEG2 W16 H8 C420", 3);
    WritePictureFile(Path("good.png"), MakePicture(16, 8, false));
    std::string corruptPng = ReadFile(Path("good.png"));
    for (size_t i = 60; i < 90; ++i) corruptPng[i] = static_cast<char>(corruptPng[i] ^ 0x5a);
    struct Case {
        const char* name;
        std::string bytes;  // none: the file is missing
        std::vector<std::string> fragments;
    };
    const Case cases[] = {
        {"header.y4m", "YUV4MPEG2 W16 H8", {"header.y4m", "truncated"}},
        {"frame.y4m", video.substr(0, video.size() - 10), {"frame.y4m", "frame 2"}},
        {"c411.y4m", "YUV4MPEG2 W16 H8 C411\nFRAME\n" + std::string(256, 'x'), {"C411"}},
        {"odd.y4m", "YUV4MPEG2 W15 H8 C420\n", {"odd.y4m", "15x8"}},
        {"corrupt.png", corruptPng, {"corrupt.png"}},
        {"missing.png", "", {"missing.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = Path(c.name);
        if (!c.bytes.empty()) WriteFile(input, c.bytes);
        const std::string output =
            Path(std::string(c.name).find(".png") != std::string::npos ? "out.png" : "out.y4m");
        for (bool outputExists : {false, true}) {
            if (outputExists) WriteFile(output, "previous");
            const std::vector<std::string> before = Entries();
            const ToolRun run = RunTool({input, output});
            EXPECT_EQ(run.status, 1);
            for (const std::string& fragment : c.fragments)
                EXPECT_NE(run.err.find(fragment), std::string::npos) << run.err;
            EXPECT_EQ(ReadFile(output), outputExists ? "previous" : "");
            EXPECT_EQ(Entries(), before);  // no temporary file either
            std::remove(output.c_str());
        }
        std::remove(input.c_str());
    }
}

TEST_F(BadInputTest, QuotedInputCannotReachTheTerminalRaw) {
    // A header that would clear the screen and set the window title, and one with Windows
    // line ends; file names with control bytes too.
    const std::pair<std::string, std::string> cases[] = {
        {"YUV4MPEG2 W16 H8 C420\x1b[2J\x1b]0;owned\x07\n", "C420\\x1b[2J\\x1b]0;owned\\x07"},
        {"YUV4MPEG2 W16 H8 C420\r\nFRAME\r\n", "ends in \\r\\n (a Windows line end)"},
        {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE \x1b[31m\nENDHDR\nabc",
         "TUPLTYPE '\\x1b[31m'"},
    };
    for (const auto& [bytes, fragment] : cases) {
        SCOPED_TRACE(fragment);
        const std::string input = Path(bytes[0] == 'P' ? "in\x1b[1m.pam" : "in\n.y4m");
        WriteFile(input, bytes);
        const ToolRun run = RunTool({input, Path(bytes[0] == 'P' ? "out.png" : "out.y4m")});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(fragment), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(bytes[0] == 'P' ? "in\\x1b[1m.pam" : "in\\n.y4m"),
                  std::string::npos)
            << run.err;
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find_first_of(std::string("\x1b\x07\r\0", 4)), std::string::npos);
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line";
        std::remove(input.c_str());
    }
}

TEST_F(BadInputTest, StandardInputNamesTheTruncatedFrame) {
    const std::string video = MakeY4m("YUV4MPEG2 W16 H8 C420", 4);
    WriteFile(Path("in.y4m"), video.substr(0, video.size() - 1));
    WriteFile(Path("out.y4m"), "previous");
    // Frames 0 to 2 are written before frame 3 fails: they must not replace OUTPUT.
    const ToolRun run = RunTool({"-", Path("out.y4m")}, {Path("in.y4m"), ""});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("standard input: frame 3"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(Path("out.y4m")), "previous");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"in.y4m", "out.y4m"}));
}

TEST_F(BadInputTest, TooLittleMemoryGivesOneClearMessage) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer reserves more address space than the limit allows";
#endif
    // An 8192x8192 PPM within the limits, its pixels a hole in a sparse file, read with
    // less address space than its 192 MiB of pixels need.
    const std::string header = "P6\n8192 8192\n255\n";
    WriteFile(Path("big.ppm"), header);
    ASSERT_EQ(truncate(Path("big.ppm").c_str(), header.size() + 8192LL * 8192 * 3), 0);
    const ToolRun run = RunShell("ulimit -v 150000; exec \"$TOOL\" '" + Path("big.ppm") + "' '" +
                                 Path("out.ppm") + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "basinlift: out of memory\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"big.ppm"});
}

TEST_F(BadInputTest, TooLittleMemoryForTheWorkersSaysFewerWouldDo) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer reserves more address space than the limit allows";
#endif
    // Three frames of 4096x2160: one worker's buffers and frames fit the limit, three
    // workers' do not.
    std::string video = "YUV4MPEG2 W4096 H2160 F25:1 C420\n";
    for (int n = 0; n < 3; ++n) video += "FRAME\n" + std::string(4096 * 2160 * 3 / 2, static_cast<char>(16 + 60 * n));
    WriteFile(Path("large.y4m"), video);
    const auto limited = [&](const char* threads) {
        return RunShell("ulimit -v 450000; exec \"$TOOL\" --quiet --threads " + std::string(threads) +
                        " '" + Path("large.y4m") + "' '" + Path("out.y4m") + "'");
    };
    const ToolRun three = limited("3");
    EXPECT_EQ(three.status, 1);
    EXPECT_EQ(three.err, "basinlift: out of memory with 3 workers, each holding a filter and frames; "
                         "fewer (--threads) need less\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"large.y4m"});
    const ToolRun one = limited("1");
    EXPECT_EQ(one.status, 0) << one.err;
}

TEST_F(BadInputTest, SixteenBitPngStaysAtSixteenBitsUnlessEightAreAsked) {
    // The 8-bit picture shifted up: the filter's 16-bit result shifted down is the plug-in's
    // 8-bit result.
    const media::Picture picture = MakePicture(20, 12, false);
    Write16BitPng(Path("deep.png"), picture);
    const ToolRun run = RunTool({Path("deep.png"), Path("out.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    const media::Picture out = media::ReadPicture(Path("out.png"));
    ASSERT_EQ(out.bitDepth, 16);
    const media::Picture expected = FilteredPicture(picture);
    ASSERT_EQ(out.pixels16.size(), expected.pixels.size());
    for (size_t i = 0; i < expected.pixels.size(); ++i)
        ASSERT_EQ(out.pixels16[i] >> 8, expected.pixels[i]) << "sample " << i;

    const ToolRun eight = RunTool({"--depth", "8", Path("deep.png"), Path("eight.png")});
    ASSERT_EQ(eight.status, 0) << eight.err;
    const media::Picture eightBits = media::ReadPicture(Path("eight.png"));
    EXPECT_EQ(eightBits.bitDepth, 8);
    EXPECT_EQ(eightBits.pixels, media::ToEightBits(out).pixels);
    const ToolRun video = RunTool({"--depth", "8", Path("in.y4m"), Path("out.y4m")});
    EXPECT_EQ(video.status, 2);
}

}  // namespace
