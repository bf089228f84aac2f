#include "tool_test.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "frame_tools.h"
#include "memory_clip.h"
#include "y4m_io.h"
#include "planes.h"

namespace {

uint32_t HashOf(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h = a * 73856093u ^ b * 19349663u ^ c * 83492791u;
    h ^= h >> 13;
    return h * 0x5bd1e995u;
}

// Few levels in small blocks, so regions, plateaus and ties are everywhere.
uint8_t Sample(uint32_t seed, int x, int y) {
    return static_cast<uint8_t>(40 * (HashOf(seed, x / 3, y / 2) % 5) + HashOf(seed, x, y) % 4);
}

media::PlaneDest PlaneOf(VideoFrame& frame, int plane) {
    return {frame.GetWritePtr(plane), frame.GetPitch(plane)};
}

}  // namespace

std::string MakeY4m(const std::string& header, int frames, uint32_t seed) {
    const media::Y4mHeader h = media::ParseY4mHeader(header, "test");
    std::string bytes = header + "\n";
    for (int n = 0; n < frames; ++n) {
        bytes += n % 2 ? "FRAME XNOTE=" + std::to_string(n) + "\n" : "FRAME\n";
        const int widths[] = {h.width, h.ChromaWidth(), h.ChromaWidth()};
        const int heights[] = {h.height, h.ChromaHeight(), h.ChromaHeight()};
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < heights[p]; ++y)
                for (int x = 0; x < widths[p]; ++x)
                    bytes += static_cast<char>(Sample(seed * 31 + n * 3 + p, x, y));
    }
    return bytes;
}

media::Picture MakePicture(int width, int height, bool alpha, uint32_t seed) {
    media::Picture picture;
    picture.width = width;
    picture.height = height;
    picture.hasAlpha = alpha;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * picture.Channels(); ++x)
            picture.pixels.push_back(
                Sample(seed + x % picture.Channels(), x / picture.Channels(), y));
    return picture;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Frames ReadY4mFrames(const std::string& path, std::vector<std::string>* frameParams) {
    media::Y4mReader reader(path);
    const media::Y4mHeader& h = reader.Header();
    Frames frames;
    for (;;) {
        std::vector<uint8_t> planes(h.FrameBytes());
        const int cw = h.ChromaWidth();
        media::Y4mFrameHeader frameHeader;
        if (!reader.ReadFrame(frameHeader, {planes.data(), h.width},
                              {planes.data() + h.LumaBytes(), cw},
                              {planes.data() + h.LumaBytes() + h.ChromaBytes(), cw}))
            return frames;
        frames.push_back(std::move(planes));
        if (frameParams) frameParams->push_back(frameHeader.params);
    }
}

void ToolTest::SetUp() {
    std::string pattern = ::testing::TempDir() + "basinlift_tool_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    env_.LoadPlugin(BASINLIFT_PLUGIN_PATH);
}

void ToolTest::TearDown() { std::filesystem::remove_all(dir_); }

std::vector<std::string> ToolTest::Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

PClip ToolTest::VideoClip(const std::string& y4mPath, int pixelType) {
    media::Y4mReader reader(y4mPath);
    const media::Y4mHeader h = reader.Header();
    const int count = reader.CountFrames();
    const bool packed = h.chroma == media::Y4mChroma::Yuv422;
    const VideoInfo vi =
        standin::MakeVideoInfo(h.width, h.height, packed ? VideoInfo::CS_YUY2 : pixelType, count);
    return standin::MemoryClip::Generate(env_, vi, [&](int, VideoFrame& frame) {
        media::Y4mFrameHeader ignored;
        if (!packed) {
            PlaneOf(frame, PLANAR_Y);  // the writability check comes first
            reader.ReadFrame(ignored, PlaneOf(frame, PLANAR_Y), PlaneOf(frame, PLANAR_U),
                             PlaneOf(frame, PLANAR_V));
            return;
        }
        std::vector<uint8_t> p(h.FrameBytes());
        const int cw = h.ChromaWidth();
        uint8_t *y = p.data(), *u = y + h.LumaBytes(), *v = u + h.ChromaBytes();
        reader.ReadFrame(ignored, {y, h.width}, {u, cw}, {v, cw});
        media::PackYuy2(h.width, h.height, {y, h.width}, {u, cw}, {v, cw}, PlaneOf(frame, 0));
    });
}

PClip ToolTest::PictureClip(const media::Picture& picture, bool bottomUp) {
    const VideoInfo vi = standin::MakeVideoInfo(
        picture.width, picture.height,
        picture.hasAlpha ? VideoInfo::CS_BGR32 : VideoInfo::CS_BGR24);
    const int c = picture.Channels();
    return standin::MemoryClip::Generate(env_, vi, [&](int, VideoFrame& frame) {
        standin::FillFrame(frame, [&](int, int x, int y) {
            const int row = bottomUp ? picture.height - 1 - y : y;
            const int channel = x % c < 3 ? 2 - x % c : 3;  // B G R A from R G B A
            const size_t start = static_cast<size_t>(row) * picture.Stride();
            return picture.pixels[start + x - x % c + channel];
        });
    });
}

Frames ToolTest::FilteredFrames(const PClip& input, const NamedArguments& args) {
    const PClip filter = env_.Invoke("BasinLift", {AVSValue(input)}, args).AsClip();
    const VideoInfo& vi = filter->GetVideoInfo();
    Frames frames;
    for (int n = 0; n < vi.num_frames; ++n) {
        const PVideoFrame frame = filter->GetFrame(n, &env_);
        std::vector<uint8_t> bytes;
        if (vi.pixel_type == VideoInfo::CS_YUY2) {
            const size_t luma = static_cast<size_t>(vi.width) * vi.height;
            bytes.resize(2 * luma);
            media::UnpackYuy2(vi.width, vi.height, {frame->GetReadPtr(), frame->GetPitch()},
                              {bytes.data(), vi.width}, {bytes.data() + luma, vi.width / 2},
                              {bytes.data() + luma * 3 / 2, vi.width / 2});
        } else {
            for (int plane : {PLANAR_Y, PLANAR_U, PLANAR_V}) {
                const standin::PlaneView p = standin::ReadPlane(*frame.get(), plane);
                for (int y = 0; y < p.height; ++y)
                    bytes.insert(bytes.end(), p.data + y * p.pitch,
                                 p.data + y * p.pitch + p.rowSize);
            }
        }
        frames.push_back(std::move(bytes));
    }
    return frames;
}

media::Picture ToolTest::FilteredPicture(const media::Picture& picture, const NamedArguments& args,
                                          bool bottomUp) {
    const PClip filter =
        env_.Invoke("BasinLift", {AVSValue(PictureClip(picture, bottomUp))}, args).AsClip();
    const PVideoFrame frame = filter->GetFrame(0, &env_);
    media::Picture result = picture;
    const int c = picture.Channels();
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* row =
            frame->GetReadPtr() + (bottomUp ? picture.height - 1 - y : y) * frame->GetPitch();
        for (int x = 0; x < picture.width * c; ++x) {
            const int channel = x % c < 3 ? 2 - x % c : 3;
            result.pixels[static_cast<size_t>(y) * picture.Stride() + x] = row[x - x % c + channel];
        }
    }
    return result;
}

std::string ToolTest::Refusal(const PClip& input, const NamedArguments& args) {
    try {
        env_.Invoke("BasinLift", {AVSValue(input)}, args);
    } catch (const AvisynthError& e) {
        return e.msg;
    }
    return "";
}
