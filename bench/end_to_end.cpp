// The command-line tool end to end, as users run it: generated 1080p 4:2:0 video and a 1080p
// RGB picture (the benchmark's synthetic scene with grain), timed as whole processes beside the
// channel pass itself. It reports the pass, the steady cost of a video frame, what the first
// frame costs beyond it, one picture end to end (PPM and PNG, in and out) against its three
// channel passes and on two threads, and the throughput of video with one and two threads.
// Times are the fastest of several runs, wall clock and CPU (user + system) of the process; on a
// busy machine CPU time is the steadier of the two. The runs of commands that are compared take
// turns, so that a ratio compares runs made in the same minutes.
//
// Usage: basinlift_end_to_end [--tool PATH] [--frames N] [--runs R]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "arguments.h"
#include "file_io.h"
#include "formats.h"
#include "frame_render.h"
#include "process_timing.h"
#include "synthetic_channel.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

using Timing = ProcessTiming;

void WriteVideo(const std::string& path, int frames) {
    std::ofstream out(path, std::ios::binary);
    out << "YUV4MPEG2 W" << kWidth << " H" << kHeight << " F25:1 Ip A1:1 C420jpeg\n";
    for (int n = 0; n < frames; ++n) {
        out << "FRAME\n";
        const auto y = MakeSyntheticChannel(kWidth, kHeight, 1000 + n);
        const auto u = MakeSyntheticChannel(kWidth / 2, kHeight / 2, 2000 + n);
        const auto v = MakeSyntheticChannel(kWidth / 2, kHeight / 2, 3000 + n);
        for (const auto* plane : {&y, &u, &v})
            out.write(reinterpret_cast<const char*>(plane->data()), static_cast<std::streamsize>(plane->size()));
    }
}

std::vector<std::vector<uint8_t>> PictureChannels() {
    return {MakeSyntheticChannel(kWidth, kHeight, 11), MakeSyntheticChannel(kWidth, kHeight, 12),
            MakeSyntheticChannel(kWidth, kHeight, 13)};
}

// The picture as PPM at `path`, and as PNG beside it (".png" for ".ppm").
void WritePicture(const std::string& path) {
    const auto channels = PictureChannels();
    media::Picture picture;
    picture.width = kWidth;
    picture.height = kHeight;
    picture.pixels.resize(static_cast<size_t>(kWidth) * kHeight * 3);
    for (size_t i = 0; i < picture.pixels.size() / 3; ++i)
        for (size_t c = 0; c < 3; ++c) picture.pixels[i * 3 + c] = channels[c][i];
    for (const std::string& name : {path, path.substr(0, path.size() - 4) + ".png"}) {
        media::FilePtr file = media::OpenOutputFile(name);
        media::MediaFormatOf(name).write(file.get(), name, picture, media::WriteDepth::Picture);
        media::CloseOutputFile(std::move(file), name);
    }
}

// The channel pass with the defaults (sm 2, sh -2, 4-connected), warm, in this process and in
// the working buffers the filter uses: the fastest of the runs, in milliseconds.
double PassTime(const std::vector<uint8_t>& source, int runs) {
    const engine::FramePlan plan({&engine::kGray, engine::kByteSamples}, kWidth, kHeight,
                                 engine::DefaultSettings());
    const engine::WorkingBuffers buffers(kWidth, kHeight, engine::kByteSamples);
    std::vector<uint8_t> out(source.size());
    engine::FrameRefs frame{};
    frame.src[0] = frame.seg[0] = {source.data(), kWidth};
    frame.dst[0] = {out.data(), kWidth};
    double best = 1e30;
    for (int r = 0; r <= runs; ++r) {  // the first run only warms the buffers
        const auto start = std::chrono::steady_clock::now();
        engine::RenderFrame(plan, buffers, frame);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (r > 0) best = std::min(best, ms);
    }
    return best;
}


}  // namespace

int main(int argc, char** argv) {
    std::string tool = BesideThisProgram("basinlift");
    int frames = 15, runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--tool") tool = argv[i + 1];
        else if (flag == "--frames") frames = std::max(2, std::atoi(argv[i + 1]));
        else if (flag == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    }
    char dirTemplate[] = "/tmp/basinlift-e2e-XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (!dir) return 1;
    const std::string video = std::string(dir) + "/video.y4m", one = std::string(dir) + "/one.y4m",
                      picture = std::string(dir) + "/picture.ppm", png = std::string(dir) + "/picture.png",
                      out = std::string(dir) + "/out";
    WriteVideo(video, frames);
    WriteVideo(one, 1);
    WritePicture(picture);

    // Each command writes a file of its own (see TimeProcesses).
    int outputs = 0;
    const auto command = [&](const std::string& in, const std::string& ext, int threads) {
        return std::vector<std::string>{tool, "--quiet", "--threads", std::to_string(threads),
                                        in, out + std::to_string(outputs++) + ext};
    };
    const double lumaPass = PassTime(MakeSyntheticChannel(kWidth, kHeight, 1000), runs);
    double picturePasses = 0;
    for (const auto& channel : PictureChannels()) picturePasses += PassTime(channel, runs);
    // The runs of the video commands take turns, and then those of the picture commands: the
    // figures of each group are compared with each other.
    const std::vector<std::vector<std::string>> videoCommands = {
        command(one, ".y4m", 1), command(video, ".y4m", 1), command(video, ".y4m", 2)};
    const std::vector<std::vector<std::string>> pictureCommands = {
        command(picture, ".ppm", 1), command(picture, ".ppm", 2), command(picture, ".png", 1),
        command(png, ".png", 1)};
    const std::vector<Timing> videoTimings = TimeProcesses(videoCommands, runs);
    const std::vector<Timing> pictureTimings = TimeProcesses(pictureCommands, runs);
    const Timing &first = videoTimings[0], &whole1 = videoTimings[1], &whole2 = videoTimings[2];
    const Timing &still = pictureTimings[0], &still2 = pictureTimings[1],
                 &toPng = pictureTimings[2], &pngToPng = pictureTimings[3];

    const double steadyWall = (whole1.wall - first.wall) / (frames - 1);
    const double steadyCpu = (whole1.cpu - first.cpu) / (frames - 1);
    std::printf("end to end, 1920x1080, %s, fastest of %d runs (wall / CPU ms)\n", tool.c_str(), runs);
    std::printf("  channel pass, warm, in process          %8.1f\n", lumaPass);
    std::printf("  video 4:2:0, one frame, whole run       %8.1f / %6.1f\n", first.wall, first.cpu);
    std::printf("  video 4:2:0, steady per frame           %8.1f / %6.1f  (pass + %.1f around it)\n",
                steadyWall, steadyCpu, steadyCpu - lumaPass);
    std::printf("  first frame beyond a steady one         %8.1f / %6.1f\n", first.wall - steadyWall,
                first.cpu - steadyCpu);
    std::printf("  picture RGB, PPM to PPM                 %8.1f / %6.1f  (%.2fx its three passes of %.1f)\n",
                still.wall, still.cpu, still.cpu / picturePasses, picturePasses);
    std::printf("  picture RGB, PPM to PPM, --threads 2    %8.1f / %6.1f  (%.2fx faster)\n",
                still2.wall, still2.cpu, still.wall / still2.wall);
    std::printf("  picture RGB, PPM to PNG                 %8.1f / %6.1f  (%.2fx PPM to PPM)\n",
                toPng.wall, toPng.cpu, toPng.cpu / still.cpu);
    std::printf("  picture RGB, PNG to PNG                 %8.1f / %6.1f  (%.2fx PPM to PPM)\n",
                pngToPng.wall, pngToPng.cpu, pngToPng.cpu / still.cpu);
    std::printf("  video %d frames, --threads 1            %8.1f frames/s\n", frames, frames * 1e3 / whole1.wall);
    std::printf("  video %d frames, --threads 2            %8.1f frames/s  (%.2fx)\n", frames,
                frames * 1e3 / whole2.wall, whole1.wall / whole2.wall);
    for (const std::string& f : {video, one, picture, png}) std::remove(f.c_str());
    for (const auto* commands : {&videoCommands, &pictureCommands})
        for (const std::vector<std::string>& c : *commands) std::remove(c.back().c_str());
    rmdir(dir);
    return 0;
}
