#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "media_test_support.h"
#include "y4m_io.h"

using namespace media;

namespace {

struct Layout {
    std::string headerLine;
    int width, height, chromaWidth, chromaHeight;
};

const Layout k420{"YUV4MPEG2 W6 H4 F30000:1001 It A1:1 C420jpeg XYSCSS=420JPEG", 6, 4, 3, 2};
// Odd height: allowed for 4:2:2, which only halves horizontally.
const Layout k422{"YUV4MPEG2 W6 H3 F25:1 Ip A0:0 C422 XYSCSS=422", 6, 3, 3, 3};
const std::vector<std::string> kFrameParams{"", " Ib Xfoo=1", ""};

// Plane 0 (Y), 1 (U) or 2 (V) of a frame: different bytes for every frame and plane.
std::vector<uint8_t> planeBytes(const Layout& layout, int frame, int plane) {
    const int w = plane == 0 ? layout.width : layout.chromaWidth;
    const int h = plane == 0 ? layout.height : layout.chromaHeight;
    return patternBytes(static_cast<std::size_t>(w * h), static_cast<unsigned>(frame * 3 + plane));
}

std::string buildY4m(const Layout& layout, const std::vector<std::string>& frameParams) {
    std::string bytes = layout.headerLine + "\n";
    for (std::size_t f = 0; f < frameParams.size(); ++f) {
        bytes += "FRAME" + frameParams[f] + "\n";
        for (int plane = 0; plane < 3; ++plane) {
            const auto data = planeBytes(layout, static_cast<int>(f), plane);
            bytes.append(data.begin(), data.end());
        }
    }
    return bytes;
}

// A frame in memory with padded rows: pitch exceeds width and the padding holds 0xEE.
struct Frame {
    static constexpr int kPadding = 5;
    Frame(const Layout& l, bool padded)
        : layout(l),
          pad(padded ? kPadding : 0),
          planes{std::vector<uint8_t>((l.width + pad) * l.height, 0xEE),
                 std::vector<uint8_t>((l.chromaWidth + pad) * l.chromaHeight, 0xEE),
                 std::vector<uint8_t>((l.chromaWidth + pad) * l.chromaHeight, 0xEE)} {}
    int pitch(int plane) const { return (plane == 0 ? layout.width : layout.chromaWidth) + pad; }
    PlaneDest dest(int plane) { return {planes[plane].data(), pitch(plane)}; }
    PlaneSource source(int plane) const { return {planes[plane].data(), pitch(plane)}; }

    // Whether the frame holds frame number `frame` of buildY4m, padding untouched.
    bool holds(int frame) const {
        for (int plane = 0; plane < 3; ++plane) {
            const int w = plane == 0 ? layout.width : layout.chromaWidth;
            const auto expected = planeBytes(layout, frame, plane);
            for (std::size_t i = 0; i < planes[plane].size(); ++i) {
                const std::size_t x = i % pitch(plane);
                const std::size_t y = i / pitch(plane);
                const uint8_t want = x < static_cast<std::size_t>(w) ? expected[y * w + x] : 0xEE;
                if (planes[plane][i] != want) return false;
            }
        }
        return true;
    }

    Layout layout;
    int pad;
    std::vector<uint8_t> planes[3];
};

bool readInto(Y4mReader& reader, Frame& frame, Y4mFrameHeader& frameHeader) {
    return reader.readFrame(frameHeader, frame.dest(0), frame.dest(1), frame.dest(2));
}

// Every frame of reader, copied through a writer into the file `path`.
void copyY4m(Y4mReader& reader, const Layout& layout, const std::string& path) {
    FilePtr file = openOutputFile(path);
    Y4mWriter writer(file.get(), path);
    writer.writeHeader(reader.header());
    Frame frame(layout, true);
    Y4mFrameHeader frameHeader;
    while (readInto(reader, frame, frameHeader)) {
        writer.writeFrame(frameHeader, frame.source(0), frame.source(1), frame.source(2));
    }
    writer.close();
    closeOutputFile(std::move(file), path);
}

using Y4mTest = MediaTest;

TEST_F(Y4mTest, ReadsHandBuiltFilesIntoTightAndPaddedRows) {
    for (const Layout* current : {&k420, &k422}) {
        const Layout& layout = *current;
        SCOPED_TRACE(layout.headerLine);
        writeFile(path("in.y4m"), buildY4m(layout, kFrameParams));
        Y4mReader reader(path("in.y4m"));
        const Y4mHeader& header = reader.header();
        EXPECT_EQ(header.width, layout.width);
        EXPECT_EQ(header.height, layout.height);
        EXPECT_EQ(header.chromaHeight(), layout.chromaHeight);
        EXPECT_EQ(header.chroma, &layout == &k420 ? Y4mChroma::k420 : Y4mChroma::k422);
        EXPECT_EQ(header.params.size(), 7u);
        EXPECT_EQ(header.params.back(), &layout == &k420 ? "XYSCSS=420JPEG" : "XYSCSS=422");
        for (int f = 0; f < 3; ++f) {
            Frame frame(layout, f == 1);
            Y4mFrameHeader frameHeader;
            ASSERT_TRUE(readInto(reader, frame, frameHeader));
            EXPECT_TRUE(frame.holds(f)) << "frame " << f;
            EXPECT_EQ(frameHeader.params, kFrameParams[f]);
        }
        Frame end(layout, false);
        Y4mFrameHeader frameHeader;
        EXPECT_FALSE(readInto(reader, end, frameHeader));
    }
    const Y4mHeader header = parseY4mHeader(k420.headerLine, "x");
    EXPECT_EQ(header.frameRateNum, 30000);
    EXPECT_EQ(header.frameRateDen, 1001);
}

TEST_F(Y4mTest, WriterReproducesTheInputByteForByte) {
    for (const Layout& layout : {k420, k422}) {
        SCOPED_TRACE(layout.headerLine);
        const std::string original = buildY4m(layout, kFrameParams);
        writeFile(path("in.y4m"), original);
        Y4mReader reader(path("in.y4m"));
        copyY4m(reader, layout, path("out.y4m"));
        EXPECT_EQ(readFile(path("out.y4m")), original);
    }
}

TEST_F(Y4mTest, SkipsFramesInAStreamAndChecksThemAsItGoes) {
    writeFile(path("in.y4m"), buildY4m(k422, kFrameParams));
    Y4mReader reader(path("in.y4m"));
    EXPECT_TRUE(reader.skipFrame());
    EXPECT_FALSE(reader.atEnd());
    EXPECT_TRUE(reader.skipFrame());
    Frame frame(k422, true);
    Y4mFrameHeader frameHeader;
    ASSERT_TRUE(readInto(reader, frame, frameHeader));
    EXPECT_TRUE(frame.holds(2));
    EXPECT_TRUE(reader.atEnd());
    EXPECT_FALSE(reader.skipFrame());

    const std::string file = path("bad.y4m");
    for (const auto& [bytes, message] :
         {std::pair{buildY4m(k420, {""}) + "FRAME\n" + std::string(20, 'x'),
                    "frame 1 is truncated (expected 36 bytes, got 20)"},
          std::pair{buildY4m(k420, {""}) + "FRAMEX\n",
                    "frame 1 does not start with a FRAME line"}}) {
        writeFile(file, bytes);
        Y4mReader skipping(file);
        EXPECT_TRUE(skipping.skipFrame());
        expectMediaError([&] { skipping.skipFrame(); }, {file + ": " + message});
    }
}

TEST_F(Y4mTest, ReadsFramesByNumberFromSeveralThreads) {
    const std::vector<std::string> params{"", " Ia", "", " Ib", "", "", " Ic", ""};
    writeFile(path("in.y4m"), buildY4m(k420, params));
    Y4mReader reader(path("in.y4m"));
    Frame first(k420, false);
    Y4mFrameHeader frameHeader;
    ASSERT_TRUE(readInto(reader, first, frameHeader));
    ASSERT_EQ(reader.countFrames(), 8);

    std::vector<int> correct(8, 0);
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&, w] {
            for (int f = w; f < 8; f += 4) {
                Frame frame(k420, f % 3 == 0);
                Y4mFrameHeader fh;
                reader.readFrameAt(f, fh, frame.dest(0), frame.dest(1), frame.dest(2));
                correct[f] = frame.holds(f) && fh.params == params[f];
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(correct, std::vector<int>(8, 1));

    // Counting left the sequential position alone.
    Frame frame(k420, false);
    ASSERT_TRUE(readInto(reader, frame, frameHeader));
    EXPECT_TRUE(frame.holds(1));
    EXPECT_EQ(reader.nextFrameNumber(), 2);
    expectMediaError(
        [&] { reader.readFrameAt(8, frameHeader, frame.dest(0), frame.dest(1), frame.dest(2)); },
        {"no frame 8", "has 8 frames"});
}

TEST(Y4mHeaderTest, AcceptsSupportedHeadersAndExplainsTheRest) {
    EXPECT_EQ(parseY4mHeader("YUV4MPEG2 W8192 H4320 C420paldv", "x").width, 8192);
    EXPECT_EQ(parseY4mHeader("YUV4MPEG2  W4  H2", "x").params,
              (std::vector<std::string>{"W4", "H2"}));
    EXPECT_EQ(parseY4mHeader("YUV4MPEG2 W4 H2 C420mpeg2", "x").chroma, Y4mChroma::k420);

    const std::string supported = "(supported: 420, 420jpeg, 420mpeg2, 420paldv, 422)";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"YUV4MPEG2 H4 C420", "no width (W)"},
        {"YUV4MPEG2 W4", "no height (H)"},
        {"YUV4MPEG2 Wabc H4", "bad width 'Wabc'"},
        {"YUV4MPEG2 W0 H4", "bad width 'W0'"},
        {"YUV4MPEG2 W4 H-2", "bad height 'H-2'"},
        {"YUV4MPEG2 W4 H4 C444", "colour space C444 is not supported " + supported},
        {"YUV4MPEG2 W4 H4 C420p10", "colour space C420p10 is not supported"},
        {"YUV4MPEG2 W4 H4 Cmono", "colour space Cmono is not supported"},
        {"YUV4MPEG2 W5 H4", "4:2:0 video needs an even width and height, not 5x4"},
        {"YUV4MPEG2 W4 H5 C420jpeg", "even width and height"},
        {"YUV4MPEG2 W5 H4 C422", "4:2:2 video needs an even width"},
        {"YUV4MPEG2 W100000 H100000", "picture size 100000x100000 exceeds the maximum"},
        {"YUV4MPEG2 W16384 H16384", "exceeds the maximum"},
        {"YUV4MPEG2W4 H4", "not a YUV4MPEG2 file"},
        {"YUV4MPEG2 W4 H4 C420\r", "header ends in \\r\\n (a Windows line end), not \\n"},
        {"YUV4MPEG2 W4 H4 C\x1b[2J", "colour space C\\x1b[2J is not supported"},
        {"YUV4MPEG2 W4 H\x9b" "6n", "bad height 'H\\x9b6n'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        expectMediaError([&] { parseY4mHeader(c.first, "in.y4m"); }, {"in.y4m: ", c.second});
    }
}

TEST_F(Y4mTest, DamagedStreamsNameTheFileAndFrame) {
    const std::string file = path("bad.y4m");
    const std::string twoFrames = buildY4m(k420, {"", ""});
    const std::vector<std::pair<std::string, std::string>> headerCases{
        {"", "empty file"},
        {"YUV4MPEG2 W4 H2", "header is truncated"},
        {"YUV4MPEG2 W4 H2 X" + std::string(5000, 'a') + "\n", "longer than 4096 bytes"},
        {"\x89PNG\r\n\x1a\n", "not a YUV4MPEG2 file"},
    };
    for (const auto& [bytes, message] : headerCases) {
        writeFile(file, bytes);
        expectMediaError([&] { Y4mReader reader(file); }, {file + ": ", message});
    }

    const std::vector<std::pair<std::string, std::string>> frameCases{
        {twoFrames + "FRAME\n" + std::string(20, 'x'),
         "frame 2 is truncated (expected 36 bytes, got 20)"},
        {twoFrames + "FRA", "frame 2 is truncated (the file ends inside its FRAME line)"},
        {twoFrames + "FRAMEX\n", "frame 2 does not start with a FRAME line"},
        {twoFrames + "FRAME" + std::string(5000, ' '),
         "frame 2: FRAME line longer than 4096 bytes"},
    };
    for (const auto& [bytes, message] : frameCases) {
        SCOPED_TRACE(message);
        writeFile(file, bytes);
        Y4mReader sequential(file);
        Frame frame(k420, false);
        Y4mFrameHeader frameHeader;
        ASSERT_TRUE(readInto(sequential, frame, frameHeader));
        ASSERT_TRUE(readInto(sequential, frame, frameHeader));
        expectMediaError([&] { readInto(sequential, frame, frameHeader); },
                         {file + ": " + message});
        Y4mReader counting(file);
        expectMediaError([&] { counting.countFrames(); }, {file + ": " + message});
    }

    expectMediaError([&] { Y4mReader reader(path("missing.y4m")); },
                     {"missing.y4m: cannot open for reading: No such file or directory"});

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string header = k420.headerLine + "\n";
    ASSERT_EQ(write(fds[1], header.data(), header.size()), static_cast<ssize_t>(header.size()));
    close(fds[1]);
    FILE* pipeIn = fdopen(fds[0], "rb");
    Y4mReader piped(pipeIn, "pipe");
    expectMediaError([&] { piped.countFrames(); },
                     {"pipe: frames can only be counted in a regular file"});
    fclose(pipeIn);
}

TEST(Y4mWriterTest, ReportsTheSystemReasonForAFailedWrite) {
    FILE* full = fopen("/dev/full", "wb");
    if (!full) GTEST_SKIP() << "no /dev/full here";
    Y4mWriter writer(full, "out.y4m");
    writer.writeHeader(parseY4mHeader(k420.headerLine, "x"));
    const Frame frame(k420, false);
    expectMediaError(
        [&] { writer.writeFrame({}, frame.source(0), frame.source(1), frame.source(2)); },
        {"out.y4m: write error: No space left on device"});
    fclose(full);
}

// Files from a widely used encoder, with the header parameters it writes, read and
// rewritten unchanged. Needs ffmpeg; everything else here does not.
TEST_F(Y4mTest, RoundTripsFilesWrittenByFfmpeg) {
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg not found";
    for (const std::string pixelFormat : {"yuv420p", "yuv422p"}) {
        const std::string in = path(pixelFormat + ".y4m");
        const std::string command =
            "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=25 "
            "-frames:v 3 -pix_fmt " +
            pixelFormat + " '" + in + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        Y4mReader reader(in);
        EXPECT_EQ(reader.header().chroma,
                  pixelFormat == "yuv420p" ? Y4mChroma::k420 : Y4mChroma::k422);
        EXPECT_EQ(reader.header().frameRateNum, 25);
        ASSERT_EQ(reader.countFrames(), 3);
        const Layout layout{"", 64, 48, 32, pixelFormat == "yuv420p" ? 24 : 48};
        copyY4m(reader, layout, path("copy.y4m"));
        EXPECT_EQ(readFile(path("copy.y4m")), readFile(in));
    }
}

}  // namespace
