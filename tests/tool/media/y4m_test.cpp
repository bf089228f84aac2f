#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <thread>

#include "media_test_support.h"
#include "y4m_io.h"

using namespace media;

namespace {

struct Layout {
    std::string headerLine;
    int width, height, chromaWidth, chromaHeight;
    int planes = 3;
    int bitDepth = 8;
    int BytesPerSample() const { return bitDepth > 8 ? 2 : 1; }
};

const Layout k420{"YUV4MPEG2 W6 H4 F30000:1001 It A1:1 C420jpeg XYSCSS=420JPEG", 6, 4, 3, 2};
// Odd height: allowed for 4:2:2, which only halves horizontally.
const Layout k422{"YUV4MPEG2 W6 H3 F25:1 Ip A0:0 C422 XYSCSS=422", 6, 3, 3, 3};
// Odd sizes: nothing is subsampled.
const Layout k444{"YUV4MPEG2 W5 H3 F25:1 Ip A1:1 C444 XYSCSS=444", 5, 3, 5, 3};
const Layout kMono{"YUV4MPEG2 W7 H2 F25:1 Ip A1:1 Cmono XCOLORRANGE=FULL", 7, 2, 0, 0, 1};
const Layout k420p10{"YUV4MPEG2 W6 H4 F25:1 Ip A1:1 C420p10 XYSCSS=420P10", 6, 4, 3, 2, 3, 10};
const Layout k422p12{"YUV4MPEG2 W4 H3 F25:1 Ip C422p12 XYSCSS=422P12", 4, 3, 2, 3, 3, 12};
const Layout k444p16{"YUV4MPEG2 W3 H2 F24:1 C444p16 XYSCSS=444P16", 3, 2, 3, 2, 3, 16};
const Layout kMono9{"YUV4MPEG2 W3 H3 F25:1 Cmono9", 3, 3, 0, 0, 1, 9};
const Layout kMono16{"YUV4MPEG2 W5 H1 F25:1 Cmono16 XCOLORRANGE=FULL", 5, 1, 0, 0, 1, 16};
const Layout* const kLayouts[] = {&k420,    &k422,    &k444,   &kMono,  &k420p10,
                                  &k422p12, &k444p16, &kMono9, &kMono16};
const std::vector<std::string> kFrameParams{"", " Ib Xfoo=1", ""};

// Plane 0 (Y), 1 (U) or 2 (V) of a frame as the file holds it: different samples for every
// frame and plane, the largest value of the depth among them, two-byte samples little-endian.
std::vector<uint8_t> PlaneBytes(const Layout& layout, int frame, int plane) {
    const int w = plane == 0 ? layout.width : layout.chromaWidth;
    const int h = plane == 0 ? layout.height : layout.chromaHeight;
    const auto count = static_cast<std::size_t>(w * h);
    const auto seed = static_cast<unsigned>(frame * 3 + plane);
    if (layout.bitDepth == 8) return PatternBytes(count, seed);
    std::vector<uint8_t> bytes;
    for (const uint16_t sample : PatternSamples(count, seed, layout.bitDepth)) {
        bytes.push_back(static_cast<uint8_t>(sample & 0xFF));
        bytes.push_back(static_cast<uint8_t>(sample >> 8));
    }
    return bytes;
}

// The same plane as the caller gets it: two-byte samples in the machine's order.
std::vector<uint8_t> NativeBytes(const Layout& layout, int frame, int plane) {
    std::vector<uint8_t> bytes = PlaneBytes(layout, frame, plane);
    for (std::size_t i = 0; layout.bitDepth > 8 && i < bytes.size(); i += 2) {
        const auto sample = static_cast<uint16_t>(bytes[i] | bytes[i + 1] << 8);
        std::memcpy(&bytes[i], &sample, 2);
    }
    return bytes;
}

std::string BuildY4m(const Layout& layout, const std::vector<std::string>& frameParams) {
    std::string bytes = layout.headerLine + "\n";
    for (std::size_t f = 0; f < frameParams.size(); ++f) {
        bytes += "FRAME" + frameParams[f] + "\n";
        for (int plane = 0; plane < layout.planes; ++plane) {
            const auto data = PlaneBytes(layout, static_cast<int>(f), plane);
            bytes.append(data.begin(), data.end());
        }
    }
    return bytes;
}

// A frame in memory with padded rows: pitch exceeds a row's bytes and the padding holds
// 0xEE. Mono frames have empty U and V planes.
struct Frame {
    static constexpr int kPadding = 6;
    Frame(const Layout& l, bool padded) : layout(l), pad(padded ? kPadding : 0) {
        for (int plane = 0; plane < layout.planes; ++plane)
            planes[plane].assign(static_cast<std::size_t>(Pitch(plane) * Rows(plane)), 0xEE);
    }
    int RowBytes(int plane) const {
        return (plane == 0 ? layout.width : layout.chromaWidth) * layout.BytesPerSample();
    }
    int Rows(int plane) const { return plane == 0 ? layout.height : layout.chromaHeight; }
    int Pitch(int plane) const { return RowBytes(plane) + pad; }
    PlaneDest Dest(int plane) { return {planes[plane].data(), Pitch(plane)}; }
    PlaneSource Source(int plane) const { return {planes[plane].data(), Pitch(plane)}; }

    // Whether the frame holds frame number `frame` of buildY4m, padding untouched.
    bool Holds(int frame) const {
        for (int plane = 0; plane < layout.planes; ++plane) {
            const auto expected = NativeBytes(layout, frame, plane);
            const auto width = static_cast<std::size_t>(RowBytes(plane));
            for (std::size_t i = 0; i < planes[plane].size(); ++i) {
                const std::size_t x = i % Pitch(plane);
                const std::size_t y = i / Pitch(plane);
                const uint8_t want = x < width ? expected[y * width + x] : 0xEE;
                if (planes[plane][i] != want) return false;
            }
        }
        return true;
    }

    Layout layout;
    int pad;
    std::vector<uint8_t> planes[3];
};

bool ReadInto(Y4mReader& reader, Frame& frame, Y4mFrameHeader& frameHeader) {
    return reader.ReadFrame(frameHeader, frame.Dest(0), frame.Dest(1), frame.Dest(2));
}

// Every frame of reader, copied through a writer into the file `path`.
void CopyY4m(Y4mReader& reader, const Layout& layout, const std::string& path) {
    FilePtr file = OpenOutputFile(path);
    Y4mWriter writer(file.get(), path);
    writer.WriteHeader(reader.Header());
    Frame frame(layout, true);
    Y4mFrameHeader frameHeader;
    while (ReadInto(reader, frame, frameHeader)) {
        writer.WriteFrame(frameHeader, frame.Source(0), frame.Source(1), frame.Source(2));
    }
    writer.Close();
    CloseOutputFile(std::move(file), path);
}

using Y4mTest = MediaTest;

TEST_F(Y4mTest, ReadsHandBuiltFilesIntoTightAndPaddedRows) {
    const std::pair<Y4mChroma, int> expected[] = {
        {Y4mChroma::Yuv420, 8},  {Y4mChroma::Yuv422, 8},  {Y4mChroma::Yuv444, 8},
        {Y4mChroma::Mono, 8}, {Y4mChroma::Yuv420, 10}, {Y4mChroma::Yuv422, 12},
        {Y4mChroma::Yuv444, 16}, {Y4mChroma::Mono, 9}, {Y4mChroma::Mono, 16}};
    for (std::size_t l = 0; l < std::size(kLayouts); ++l) {
        const Layout& layout = *kLayouts[l];
        SCOPED_TRACE(layout.headerLine);
        WriteFile(Path("in.y4m"), BuildY4m(layout, kFrameParams));
        Y4mReader reader(Path("in.y4m"));
        const Y4mHeader& header = reader.Header();
        EXPECT_EQ(header.width, layout.width);
        EXPECT_EQ(header.height, layout.height);
        EXPECT_EQ(header.ChromaWidth(), layout.chromaWidth);
        EXPECT_EQ(header.ChromaHeight(), layout.chromaHeight);
        EXPECT_EQ(header.chroma, expected[l].first);
        EXPECT_EQ(header.bitDepth, expected[l].second);
        EXPECT_EQ(header.PlaneCount(), layout.planes);
        EXPECT_EQ(header.params.back(), layout.headerLine.substr(layout.headerLine.rfind(' ') + 1));
        for (int f = 0; f < 3; ++f) {
            Frame frame(layout, f == 1);
            Y4mFrameHeader frameHeader;
            ASSERT_TRUE(ReadInto(reader, frame, frameHeader));
            EXPECT_TRUE(frame.Holds(f)) << "frame " << f;
            EXPECT_EQ(frameHeader.params, kFrameParams[f]);
        }
        Frame end(layout, false);
        Y4mFrameHeader frameHeader;
        EXPECT_FALSE(ReadInto(reader, end, frameHeader));
    }
    const Y4mHeader header = ParseY4mHeader(k420.headerLine, "x");
    EXPECT_EQ(header.frameRateNum, 30000);
    EXPECT_EQ(header.frameRateDen, 1001);
    EXPECT_EQ(header.colourSpace, "420jpeg");
}

// A 10-bit sample written as its value, not shifted: 0x3FF is 1023 and nothing else.
TEST(Y4mSampleTest, DeepSamplesArriveAsNativeValues) {
    const std::string bytes = "YUV4MPEG2 W2 H1 Cmono10\nFRAME\n" + std::string("\xff\x03\x01\x02", 4);
    FILE* stream = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    Y4mReader reader(stream, "in");
    uint16_t samples[2] = {};
    Y4mFrameHeader frameHeader;
    ASSERT_TRUE(reader.ReadFrame(frameHeader, {reinterpret_cast<uint8_t*>(samples), 4}, {}, {}));
    EXPECT_EQ(samples[0], 1023);
    EXPECT_EQ(samples[1], 0x0201);
    fclose(stream);
}

TEST_F(Y4mTest, WriterReproducesTheInputByteForByte) {
    for (const Layout* layout : kLayouts) {
        SCOPED_TRACE(layout->headerLine);
        const std::string original = BuildY4m(*layout, kFrameParams);
        WriteFile(Path("in.y4m"), original);
        Y4mReader reader(Path("in.y4m"));
        CopyY4m(reader, *layout, Path("out.y4m"));
        EXPECT_EQ(ReadFile(Path("out.y4m")), original);
    }
}

TEST_F(Y4mTest, SkipsFramesInAStreamAndChecksThemAsItGoes) {
    WriteFile(Path("in.y4m"), BuildY4m(k422, kFrameParams));
    Y4mReader reader(Path("in.y4m"));
    EXPECT_TRUE(reader.SkipFrame());
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_TRUE(reader.SkipFrame());
    Frame frame(k422, true);
    Y4mFrameHeader frameHeader;
    ASSERT_TRUE(ReadInto(reader, frame, frameHeader));
    EXPECT_TRUE(frame.Holds(2));
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_FALSE(reader.SkipFrame());

    const std::string file = Path("bad.y4m");
    for (const auto& [bytes, message] :
         {std::pair{BuildY4m(k420, {""}) + "FRAME\n" + std::string(20, 'x'),
                    "frame 1 is truncated (expected 36 bytes, got 20)"},
          std::pair{BuildY4m(k420, {""}) + "FRAMEX\n",
                    "frame 1 does not start with a FRAME line"}}) {
        WriteFile(file, bytes);
        Y4mReader skipping(file);
        EXPECT_TRUE(skipping.SkipFrame());
        ExpectMediaError([&] { skipping.SkipFrame(); }, {file + ": " + message});
    }
}

TEST_F(Y4mTest, ReadsFramesByNumberFromSeveralThreads) {
    for (const Layout* current : {&k420, &k420p10}) {
        const Layout& layout = *current;
        SCOPED_TRACE(layout.headerLine);
        const std::vector<std::string> params{"", " Ia", "", " Ib", "", "", " Ic", ""};
        WriteFile(Path("in.y4m"), BuildY4m(layout, params));
        Y4mReader reader(Path("in.y4m"));
        Frame first(layout, false);
        Y4mFrameHeader frameHeader;
        ASSERT_TRUE(ReadInto(reader, first, frameHeader));
        ASSERT_EQ(reader.CountFrames(), 8);

        std::vector<int> correct(8, 0);
        std::vector<std::thread> workers;
        for (int w = 0; w < 4; ++w) {
            workers.emplace_back([&, w] {
                for (int f = w; f < 8; f += 4) {
                    Frame frame(layout, f % 3 == 0);
                    Y4mFrameHeader fh;
                    reader.ReadFrameAt(f, fh, frame.Dest(0), frame.Dest(1), frame.Dest(2));
                    correct[f] = frame.Holds(f) && fh.params == params[f];
                }
            });
        }
        for (std::thread& worker : workers) worker.join();
        EXPECT_EQ(correct, std::vector<int>(8, 1));

        // Counting left the sequential position alone.
        Frame frame(layout, false);
        ASSERT_TRUE(ReadInto(reader, frame, frameHeader));
        EXPECT_TRUE(frame.Holds(1));
        EXPECT_EQ(reader.NextFrameNumber(), 2);
        ExpectMediaError(
            [&] { reader.ReadFrameAt(8, frameHeader, frame.Dest(0), frame.Dest(1), frame.Dest(2)); },
            {"no frame 8", "has 8 frames"});
    }
}

TEST(Y4mHeaderTest, AcceptsSupportedHeadersAndExplainsTheRest) {
    EXPECT_EQ(ParseY4mHeader("YUV4MPEG2 W8192 H4320 C420paldv", "x").width, 8192);
    EXPECT_EQ(ParseY4mHeader("YUV4MPEG2  W4  H2", "x").params,
              (std::vector<std::string>{"W4", "H2"}));
    EXPECT_EQ(ParseY4mHeader("YUV4MPEG2 W4 H2 C420mpeg2", "x").chroma, Y4mChroma::Yuv420);
    // Every colour space ffmpeg writes, with its chroma and depth.
    for (const char* chroma : {"420", "422", "444"}) {
        for (const int depth : {8, 9, 10, 12, 14, 16}) {
            const std::string space =
                std::string(chroma) + (depth == 8 ? "" : "p" + std::to_string(depth));
            SCOPED_TRACE(space);
            const Y4mHeader header = ParseY4mHeader("YUV4MPEG2 W4 H2 C" + space, "x");
            EXPECT_EQ(header.bitDepth, depth);
            EXPECT_EQ(header.BytesPerSample(), depth == 8 ? 1 : 2);
            EXPECT_EQ(header.ChromaWidth(), chroma[1] == '4' ? 4 : 2);
            EXPECT_EQ(header.ChromaHeight(), chroma[1] == '2' && chroma[2] == '0' ? 1 : 2);
            EXPECT_EQ(header.FrameBytes(),
                      static_cast<std::size_t>(8 + 2 * header.ChromaWidth() *
                                                       header.ChromaHeight()) *
                          header.BytesPerSample());
        }
    }
    for (const int depth : {8, 9, 10, 12, 16}) {
        const Y4mHeader header = ParseY4mHeader(
            "YUV4MPEG2 W3 H1 Cmono" + (depth == 8 ? std::string() : std::to_string(depth)), "x");
        EXPECT_EQ(header.chroma, Y4mChroma::Mono);
        EXPECT_EQ(header.bitDepth, depth);
        EXPECT_EQ(header.PlaneCount(), 1);
        EXPECT_EQ(header.FrameBytes(), depth == 8 ? 3u : 6u);
    }
    EXPECT_EQ(ParseY4mHeader("YUV4MPEG2 W5 H3 C444p10", "x").MaxSample(), 1023);

    const std::string supported =
        "(supported: 420, 420jpeg, 420mpeg2, 420paldv, 422, 444, mono; 420p, 422p or 444p "
        "followed by 9, 10, 12, 14 or 16; mono9, mono10, mono12, mono16)";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"YUV4MPEG2 H4 C420", "no width (W)"},
        {"YUV4MPEG2 W4", "no height (H)"},
        {"YUV4MPEG2 Wabc H4", "bad width 'Wabc'"},
        {"YUV4MPEG2 W0 H4", "bad width 'W0'"},
        {"YUV4MPEG2 W4 H-2", "bad height 'H-2'"},
        {"YUV4MPEG2 W4 H4 C411", "colour space C411 is not supported " + supported},
        {"YUV4MPEG2 W4 H4 C444alpha", "colour space C444alpha is not supported"},
        // ffmpeg reads Cmono14 as 8-bit mono; it never writes it.
        {"YUV4MPEG2 W4 H4 Cmono14", "colour space Cmono14 is not supported"},
        {"YUV4MPEG2 W4 H4 C420p11", "colour space C420p11 is not supported"},
        {"YUV4MPEG2 W4 H4 C420p8", "colour space C420p8 is not supported"},
        {"YUV4MPEG2 W4 H4 C444p", "colour space C444p is not supported"},
        {"YUV4MPEG2 W4 H4 C422p010", "colour space C422p010 is not supported"},
        {"YUV4MPEG2 W5 H4", "4:2:0 video needs an even width and height, not 5x4"},
        {"YUV4MPEG2 W4 H5 C420jpeg", "even width and height"},
        {"YUV4MPEG2 W4 H5 C420p12", "even width and height"},
        {"YUV4MPEG2 W5 H4 C422", "4:2:2 video needs an even width"},
        {"YUV4MPEG2 W5 H4 C422p16", "4:2:2 video needs an even width"},
        {"YUV4MPEG2 W100000 H100000", "picture size 100000x100000 exceeds the maximum"},
        {"YUV4MPEG2 W16384 H16384 Cmono16", "exceeds the maximum"},
        {"YUV4MPEG2W4 H4", "not a YUV4MPEG2 file"},
        {"YUV4MPEG2 W4 H4 C420\r", "header ends in \\r\\n (a Windows line end), not \\n"},
        {"YUV4MPEG2 W4 H4 C\x1b[2J", "colour space C\\x1b[2J is not supported"},
        {"YUV4MPEG2 W4 H\x9b" "6n", "bad height 'H\\x9b6n'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        ExpectMediaError([&] { ParseY4mHeader(c.first, "in.y4m"); }, {"in.y4m: ", c.second});
    }
}

// A sample beyond the depth is refused the same way however the frame is read, naming the
// frame, the plane and where in it; the writer will not write one either.
TEST_F(Y4mTest, SamplesBeyondTheDepthAreRefused) {
    const std::string file = Path("bad.y4m");
    std::string bytes = BuildY4m(k420p10, {"", "", ""});
    // Frame 1's U plane (3 x 2 samples after 6 x 4 of Y), column 1 of row 1: 1024.
    const std::size_t frameBytes = (24 + 2 * 6) * 2;
    const std::size_t at = (k420p10.headerLine.size() + 1) + 2 * (6 + frameBytes) - frameBytes +
                           (24 + 3 + 1) * 2;
    bytes[at] = 0x00;
    bytes[at + 1] = 0x04;
    WriteFile(file, bytes);
    const std::string message =
        file + ": frame 1: sample 1024 in the U plane at column 1, row 1 is beyond the 10-bit "
               "maximum 1023 (C420p10)";

    Y4mReader sequential(file);
    Frame frame(k420p10, true);
    Y4mFrameHeader frameHeader;
    ASSERT_TRUE(ReadInto(sequential, frame, frameHeader));
    ExpectMediaError([&] { ReadInto(sequential, frame, frameHeader); }, {message});

    Y4mReader skipping(file);
    ASSERT_TRUE(skipping.SkipFrame());
    ExpectMediaError([&] { skipping.SkipFrame(); }, {message});

    Y4mReader numbered(file);
    ASSERT_EQ(numbered.CountFrames(), 3);
    numbered.ReadFrameAt(2, frameHeader, frame.Dest(0), frame.Dest(1), frame.Dest(2));
    EXPECT_TRUE(frame.Holds(2));
    ExpectMediaError(
        [&] { numbered.ReadFrameAt(1, frameHeader, frame.Dest(0), frame.Dest(1), frame.Dest(2)); },
        {message});

    // Every 16-bit word is a 16-bit sample.
    std::string deep = BuildY4m(k444p16, {""});
    deep.replace(deep.size() - 2, 2, "\xff\xff");
    WriteFile(file, deep);
    Y4mReader full(file);
    Frame deepFrame(k444p16, false);
    EXPECT_TRUE(ReadInto(full, deepFrame, frameHeader));

    FILE* sink = fopen("/dev/null", "wb");
    ASSERT_NE(sink, nullptr);
    Y4mWriter writer(sink, "out.y4m");
    writer.WriteHeader(ParseY4mHeader(k420p10.headerLine, "x"));
    Frame clean(k420p10, true);
    uint16_t tooLarge = 1024;
    std::memcpy(clean.planes[2].data() + clean.Pitch(2) + 2, &tooLarge, 2);
    EXPECT_THROW(writer.WriteFrame({}, clean.Source(0), clean.Source(1), clean.Source(2)),
                 std::invalid_argument);
    fclose(sink);
}

TEST_F(Y4mTest, DamagedStreamsNameTheFileAndFrame) {
    const std::string file = Path("bad.y4m");
    const std::string twoFrames = BuildY4m(k420, {"", ""});
    const std::vector<std::pair<std::string, std::string>> headerCases{
        {"", "empty file"},
        {"YUV4MPEG2 W4 H2", "header is truncated"},
        {"YUV4MPEG2 W4 H2 X" + std::string(5000, 'a') + "\n", "longer than 4096 bytes"},
        {"\x89PNG\r\n\x1a\n", "not a YUV4MPEG2 file"},
    };
    for (const auto& [bytes, message] : headerCases) {
        WriteFile(file, bytes);
        ExpectMediaError([&] { Y4mReader reader(file); }, {file + ": ", message});
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
        WriteFile(file, bytes);
        Y4mReader sequential(file);
        Frame frame(k420, false);
        Y4mFrameHeader frameHeader;
        ASSERT_TRUE(ReadInto(sequential, frame, frameHeader));
        ASSERT_TRUE(ReadInto(sequential, frame, frameHeader));
        ExpectMediaError([&] { ReadInto(sequential, frame, frameHeader); },
                         {file + ": " + message});
        Y4mReader counting(file);
        ExpectMediaError([&] { counting.CountFrames(); }, {file + ": " + message});
    }

    ExpectMediaError([&] { Y4mReader reader(Path("missing.y4m")); },
                     {"missing.y4m: cannot open for reading: No such file or directory"});

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string header = k420.headerLine + "\n";
    ASSERT_EQ(write(fds[1], header.data(), header.size()), static_cast<ssize_t>(header.size()));
    close(fds[1]);
    FILE* pipeIn = fdopen(fds[0], "rb");
    Y4mReader piped(pipeIn, "pipe");
    ExpectMediaError([&] { piped.CountFrames(); },
                     {"pipe: frames can only be counted in a regular file"});
    fclose(pipeIn);
}

TEST(Y4mWriterTest, ReportsTheSystemReasonForAFailedWrite) {
    FILE* full = fopen("/dev/full", "wb");
    if (!full) GTEST_SKIP() << "no /dev/full here";
    Y4mWriter writer(full, "out.y4m");
    writer.WriteHeader(ParseY4mHeader(k420.headerLine, "x"));
    const Frame frame(k420, false);
    ExpectMediaError(
        [&] { writer.WriteFrame({}, frame.Source(0), frame.Source(1), frame.Source(2)); },
        {"out.y4m: write error: No space left on device"});
    fclose(full);
}

// Files from a widely used encoder, with the header parameters it writes, read and
// rewritten unchanged; and what it makes of the files written here. Needs ffmpeg; everything
// else here does not.
TEST_F(Y4mTest, RoundTripsFilesWrittenByFfmpegAndFfmpegReadsThemBack) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not found";
    const struct {
        const char* pixelFormat;
        Y4mChroma chroma;
        int bitDepth;
    } cases[] = {
        {"yuv420p", Y4mChroma::Yuv420, 8},      {"yuv422p", Y4mChroma::Yuv422, 8},
        {"yuv444p", Y4mChroma::Yuv444, 8},      {"gray", Y4mChroma::Mono, 8},
        {"yuv420p10le", Y4mChroma::Yuv420, 10}, {"yuv422p12le", Y4mChroma::Yuv422, 12},
        {"yuv444p16le", Y4mChroma::Yuv444, 16}, {"yuv420p9le", Y4mChroma::Yuv420, 9},
        {"yuv444p14le", Y4mChroma::Yuv444, 14}, {"gray10le", Y4mChroma::Mono, 10},
        {"gray12le", Y4mChroma::Mono, 12},   {"gray16le", Y4mChroma::Mono, 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pixelFormat);
        const std::string in = Path(std::string(c.pixelFormat) + ".y4m");
        const std::string command =
            "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 3 "
            "-pix_fmt " + std::string(c.pixelFormat) + " -strict -1 '" + in + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        Y4mReader reader(in);
        EXPECT_EQ(reader.Header().chroma, c.chroma);
        EXPECT_EQ(reader.Header().bitDepth, c.bitDepth);
        EXPECT_EQ(reader.Header().frameRateNum, 25);
        ASSERT_EQ(reader.CountFrames(), 3);
        const int chromaWidth = c.chroma == Y4mChroma::Yuv444 ? 64 : 32;
        const Layout layout{"",
                            64,
                            48,
                            c.chroma == Y4mChroma::Mono ? 0 : chromaWidth,
                            c.chroma == Y4mChroma::Mono  ? 0
                            : c.chroma == Y4mChroma::Yuv420 ? 24
                                                          : 48,
                            c.chroma == Y4mChroma::Mono ? 1 : 3,
                            c.bitDepth};
        CopyY4m(reader, layout, Path("copy.y4m"));
        EXPECT_EQ(ReadFile(Path("copy.y4m")), ReadFile(in));

        // Frames written here from samples in memory, decoded by ffmpeg to raw planes.
        Frame frame(layout, true);
        for (int plane = 0; plane < layout.planes; ++plane) {
            const std::vector<uint8_t> samples = NativeBytes(layout, plane, plane);
            for (int row = 0; row < frame.Rows(plane); ++row)
                std::memcpy(frame.planes[plane].data() + row * frame.Pitch(plane),
                            samples.data() + row * frame.RowBytes(plane), frame.RowBytes(plane));
        }
        {
            FilePtr file = OpenOutputFile(Path("ours.y4m"));
            Y4mWriter writer(file.get(), "ours.y4m");
            writer.WriteHeader(reader.Header());
            writer.WriteFrame({}, frame.Source(0), frame.Source(1), frame.Source(2));
            writer.Close();
            CloseOutputFile(std::move(file), "ours.y4m");
        }
        const std::string decode = "ffmpeg -loglevel error -y -i '" + Path("ours.y4m") +
                                   "' -f rawvideo -pix_fmt " + c.pixelFormat + " '" +
                                   Path("ours.raw") + "'";
        ASSERT_EQ(std::system(decode.c_str()), 0);
        std::string expected;  // the file's order is little-endian, as is rawvideo's "le"
        for (int plane = 0; plane < layout.planes; ++plane) {
            const std::vector<uint8_t> bytes = PlaneBytes(layout, plane, plane);
            expected.append(bytes.begin(), bytes.end());
        }
        EXPECT_EQ(ReadFile(Path("ours.raw")), expected);
    }
}

}  // namespace
