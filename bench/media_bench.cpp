// What writing a picture costs: PNG against PPM for the same 1080p RGB picture, the writer
// alone in this process and, for 8-bit pictures, the tool's whole run, with the files' sizes.
// Pictures: the benchmark's synthetic scene with grain (three channels) at 8 and 16 bits, and a
// frame of ffmpeg's testsrc2 (flat graphics) when ffmpeg is on PATH. Times are the fastest of several runs; for whole
// runs, CPU time (user + system) of the process, which is steadier than wall time on a busy
// machine.
//
// Usage: basinlift_media_bench [--tool PATH] [--runs R]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "file_io.h"
#include "formats.h"
#include "picture.h"
#include "png_io.h"
#include "pnm_io.h"
#include "process_timing.h"
#include "synthetic_channel.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

media::Picture SyntheticPicture() {
    const std::vector<uint8_t> channels[3] = {MakeSyntheticChannel(kWidth, kHeight, 11),
                                              MakeSyntheticChannel(kWidth, kHeight, 12),
                                              MakeSyntheticChannel(kWidth, kHeight, 13)};
    media::Picture picture;
    picture.width = kWidth;
    picture.height = kHeight;
    picture.pixels.resize(picture.Stride() * kHeight);
    for (size_t i = 0; i < static_cast<size_t>(kWidth) * kHeight; ++i)
        for (size_t c = 0; c < 3; ++c) picture.pixels[i * 3 + c] = channels[c][i];
    return picture;
}

// The synthetic scene at 16 bits: each 8-bit sample as the high byte, another channel's grain
// as the low one, as a 16-bit scan or render carries noise in its low bits.
media::Picture SixteenBitPicture(const media::Picture& eight) {
    const std::vector<uint8_t> low = MakeSyntheticChannel(kWidth * 3, kHeight, 14);
    media::Picture picture = eight;
    picture.bitDepth = 16;
    picture.pixels16.resize(eight.pixels.size());
    for (size_t i = 0; i < eight.pixels.size(); ++i)
        picture.pixels16[i] = static_cast<uint16_t>(eight.pixels[i] << 8 | low[i]);
    picture.pixels = media::PixelBytes();
    return picture;
}

// A frame of testsrc2 made by ffmpeg, or an empty picture without ffmpeg.
media::Picture TestsrcPicture(const std::string& path) {
    const std::string command = "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=" +
                                std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                " -frames:v 1 -pix_fmt rgb24 '" + path + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    return media::ReadPicture(path);
}

double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Written {
    double ms = 1e30;  // fastest run
    long long bytes = 0;
};

// The writer into a regular file, flushed, as the tool writes: the fastest of the runs.
Written TimeWriter(media::PictureWriter write, const media::Picture& picture,
                   const std::string& path, int runs) {
    Written best;
    for (int r = 0; r < runs; ++r) {
        media::FilePtr file = media::OpenOutputFile(path);
        const auto start = std::chrono::steady_clock::now();
        write(file.get(), path, picture, media::WriteDepth::Picture);
        best.ms = std::min(best.ms, Milliseconds(std::chrono::steady_clock::now() - start));
        best.bytes = ftello(file.get());
        media::CloseOutputFile(std::move(file), path);
    }
    return best;
}

void Report(const char* what, const media::Picture& picture, const std::string& dir,
            const std::string& tool, int runs) {
    const Written ppm = TimeWriter(media::WritePpm, picture, dir + "/w.ppm", runs);
    const Written png = TimeWriter(media::WritePng, picture, dir + "/w.png", runs);
    std::printf("%s, %dx%d RGB, %d bits\n", what, picture.width, picture.height,
                picture.bitDepth);
    std::printf("  writer alone     PPM %7.1f ms   PNG %7.1f ms   PNG %10lld bytes (%.1f%% of PPM)\n",
                ppm.ms, png.ms, png.bytes, 100.0 * png.bytes / ppm.bytes);
    // The tool filters 8-bit pictures only.
    if (picture.bitDepth != 8 || access(tool.c_str(), X_OK) != 0) return;
    const auto command = [&](const std::string& in, const std::string& out) {
        return std::vector<std::string>{tool, "--quiet", "--threads", "1", in, out};
    };
    // CPU time, the fastest of the runs, the three in turn, each writing a file of its own.
    const std::vector<ProcessTiming> t = TimeProcesses(
        {command(dir + "/w.ppm", dir + "/ppm.ppm"), command(dir + "/w.ppm", dir + "/ppm.png"),
         command(dir + "/w.png", dir + "/png.png")},
        runs);
    const double ppmToPpm = t[0].cpu, ppmToPng = t[1].cpu, pngToPng = t[2].cpu;
    std::printf("  tool, CPU ms     PPM->PPM %7.1f   PPM->PNG %7.1f (%.2fx)   PNG->PNG %7.1f (%.2fx)\n",
                ppmToPpm, ppmToPng, ppmToPng / ppmToPpm, pngToPng, pngToPng / ppmToPpm);
}

}  // namespace

int main(int argc, char** argv) {
    std::string tool = BesideThisProgram("basinlift");
    int runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--tool") tool = argv[i + 1];
        else if (flag == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    }
    char dirTemplate[] = "/tmp/basinlift-media-XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (!dir) return 1;
    const media::Picture synthetic = SyntheticPicture();
    Report("synthetic scene with grain", synthetic, dir, tool, runs);
    Report("synthetic scene with grain", SixteenBitPicture(synthetic), dir, tool, runs);
    const media::Picture testsrc = TestsrcPicture(std::string(dir) + "/testsrc.ppm");
    if (testsrc.width > 0) Report("ffmpeg testsrc2", testsrc, dir, tool, runs);
    else std::printf("ffmpeg testsrc2: skipped (no ffmpeg)\n");
    for (const char* name : {"/w.ppm", "/w.png", "/ppm.ppm", "/ppm.png", "/png.png", "/testsrc.ppm"})
        std::remove((std::string(dir) + name).c_str());
    rmdir(dir);
    return 0;
}
