// Renders the frames that the conformance test expects: the plug-in built natively from the
// same sources, driven through its registered creation function with the same clips and
// arguments as the 32-bit test host uses, writes every plane of every compared frame to the
// file named on the command line (format in conformance_cases.h).
//
// A minimal host: just what the plug-in calls (AddFunction, NewVideoFrame, BitBlt,
// ThrowError); anything else is a fault here and stops the program.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "avisynth.h"
#include "conformance_cases.h"

namespace {

[[noreturn]] void Die(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::fprintf(stderr, "native reference: ");
    std::vfprintf(stderr, fmt, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::exit(1);
}

// A frame and its buffer, owned by the host for the whole run.
struct FrameStore {
    std::vector<std::unique_ptr<uint8_t[]>> buffers;
    std::vector<std::unique_ptr<VideoFrameBuffer>> vfbs;
    std::vector<std::unique_ptr<VideoFrame>> frames;

    VideoFrame* Make(int pixel_type, int width, int height) {
        const bool planar = AbiPlaneCount(pixel_type) == 3;
        const int rowSize = AbiRowSize(pixel_type, width, 0);
        const int pitch = (rowSize + 15) / 16 * 16 + 16;
        const int pitchUV = planar ? pitch / 2 : 0;
        const int size = pitch * height + 2 * pitchUV * (height / 2) + 64;
        buffers.emplace_back(new uint8_t[size]);
        std::memset(buffers.back().get(), 0x5A, size);
        vfbs.emplace_back(new VideoFrameBuffer{buffers.back().get(), size, 0, 0});
        const int offset = 32;
        const int offsetU = offset + pitch * height;
        const int offsetV = planar ? offsetU + pitchUV * (height / 2) : offset;
        frames.emplace_back(new VideoFrame(vfbs.back().get(), offset, pitch, rowSize, height,
                                           planar ? offsetU : offset, offsetV, pitchUV));
        return frames.back().get();
    }
};

class NativeEnv final : public IScriptEnvironment {
public:
    explicit NativeEnv(FrameStore& store) : frames(store) {}

    std::string name, params;
    ApplyFunc apply = nullptr;
    void* userData = nullptr;

    void* DeletingDtor_(unsigned) override { Die("DeletingDtor_ called"); }
    int GetCPUFlags() override { Die("GetCPUFlags called"); }
    char* SaveString(const char*, int) override { Die("SaveString called"); }
    char* Sprintf(const char*, ...) override { Die("Sprintf called"); }
    char* VSprintf(const char*, void*) override { Die("VSprintf called"); }
    [[noreturn]] void ThrowError(const char* fmt, ...) override {
        char text[1024];
        va_list args;
        va_start(args, fmt);
        std::vsnprintf(text, sizeof text, fmt, args);
        va_end(args);
        Die("the plug-in raised an error: %s", text);
    }
    void AddFunction(const char* n, const char* p, ApplyFunc f, void* u) override {
        name = n;
        params = p;
        apply = f;
        userData = u;
    }
    // A classic host: only its own functions exist (no frame properties, no AviSynth+).
    bool FunctionExists(const char* n) override { return name == n; }
    AVSValue* Invoke_(AVSValue*, const char*, AVSValueArg, const char* const*) override {
        Die("Invoke called");
    }
    AVSValue* GetVar_(AVSValue*, const char*) override { Die("GetVar called"); }
    bool SetVar(const char*, const AVSValue&) override { Die("SetVar called"); }
    bool SetGlobalVar(const char*, const AVSValue&) override { Die("SetGlobalVar called"); }
    void PushContext(int) override { Die("PushContext called"); }
    void PopContext() override { Die("PopContext called"); }
    PVideoFrame* NewVideoFrame_(PVideoFrame* result, const VideoInfo& vi, int) override {
        return new (result) PVideoFrame(frames.Make(vi.pixel_type, vi.width, vi.height));
    }
    bool MakeWritable(PVideoFrame*) override { Die("MakeWritable called"); }
    void BitBlt(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, int rowSize,
                int height) override {
        for (int y = 0; y < height; ++y)
            std::memcpy(dst + y * dstPitch, src + y * srcPitch, rowSize);
    }
    void AtExit(ShutdownFunc, void*) override { Die("AtExit called"); }
    void CheckVersion(int) override { Die("CheckVersion called"); }
    PVideoFrame* Subframe_(PVideoFrame*, PVideoFrameArg, int, int, int, int) override {
        Die("Subframe called");
    }
    int SetMemoryMax(int) override { Die("SetMemoryMax called"); }
    int SetWorkingDir(const char*) override { Die("SetWorkingDir called"); }
    void* ManageCache(int, void*) override { Die("ManageCache called"); }
    bool PlanarChromaAlignment(int) override { Die("PlanarChromaAlignment called"); }
    PVideoFrame* SubframePlanar_(PVideoFrame*, PVideoFrameArg, int, int, int, int, int, int,
                                 int) override {
        Die("SubframePlanar called");
    }

private:
    FrameStore& frames;
};

// The pattern clip of the test host, frame for frame.
class PatternClip final : public IClip {
public:
    PatternClip(FrameStore& store, int pixelType, int width, int height, unsigned seed_)
        : frames(store), seed(seed_) {
        vi = VideoInfo{};
        vi.width = width;
        vi.height = height;
        vi.fps_numerator = 25;
        vi.fps_denominator = 1;
        vi.num_frames = kAbiFrames;
        vi.pixel_type = pixelType;
    }
    PVideoFrame* GetFrame_(PVideoFrame* result, int n, IScriptEnvironment*) override {
        VideoFrame* frame = frames.Make(vi.pixel_type, vi.width, vi.height);
        VideoFrameBuffer* vfb = frame->GetFrameBuffer();
        const int planes = AbiPlaneCount(vi.pixel_type);
        static const int kSelectors[] = {PLANAR_Y, PLANAR_U, PLANAR_V};
        for (int plane = 0; plane < planes; ++plane) {
            const int selector = planes == 3 ? kSelectors[plane] : 0;
            uint8_t* base = vfb->data + (frame->GetReadPtr(selector) - vfb->data);
            for (int y = 0; y < frame->GetHeight(selector); ++y)
                for (int x = 0; x < frame->GetRowSize(selector); ++x)
                    base[y * frame->GetPitch(selector) + x] = AbiPattern(seed, n, plane, x, y);
        }
        return new (result) PVideoFrame(frame);
    }
    bool GetParity(int) override { return false; }
    void GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
    void SetCacheHints(int, int) override {}
    const VideoInfo& GetVideoInfo() override { return vi; }

private:
    FrameStore& frames;
    unsigned seed;
    VideoInfo vi;
};

void PutWord(std::FILE* out, uint32_t w) {
    const unsigned char b[4] = {static_cast<unsigned char>(w), static_cast<unsigned char>(w >> 8),
                                static_cast<unsigned char>(w >> 16),
                                static_cast<unsigned char>(w >> 24)};
    if (std::fwrite(b, 1, 4, out) != 4) Die("write failed");
}

AVSValue Arg(int value) { return value == ABI_UNSET ? AVSValue() : AVSValue(value); }
AVSValue BoolArg(int value) { return value == ABI_UNSET ? AVSValue() : AVSValue(value != 0); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) Die("usage: %s EXPECTED-FILE", argv[0]);
    FrameStore store;
    NativeEnv env(store);
    AvisynthPluginInit2(&env);
    if (env.name != "BasinLift" || !env.apply) Die("the plug-in registered no BasinLift");

    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) Die("cannot write %s", argv[1]);
    PutWord(out, kAbiExpectedMagic);
    PutWord(out, kAbiCaseCount);

    for (int c = 0; c < kAbiCaseCount; ++c) {
        const AbiCase& k = kAbiCases[c];
        PClip filter;
        {
            const PClip input(new PatternClip(store, k.pixel_type, k.width, k.height, k.seed));
            PClip sclip;
            if (k.seg_seed)
                sclip = PClip(new PatternClip(store, k.pixel_type, k.width, k.height, k.seg_seed));
            const AVSValue args[8] = {AVSValue(input), Arg(k.sh),      Arg(k.sm),
                                      BoolArg(k.c4),   BoolArg(k.useclip),
                                      sclip ? AVSValue(sclip) : AVSValue(),
                                      Arg(k.smu),      Arg(k.smv)};
            alignas(AVSValue) unsigned char raw[sizeof(AVSValue)];
            AVSValue* result = env.apply(reinterpret_cast<AVSValue*>(raw),
                                         AVSValue(args, 8).PassRef(), env.userData, &env);
            filter = result->AsClip();
            result->~AVSValue();
        }
        if (!filter) Die("case %s: no clip created", k.name);
        for (int f = 0; f < kAbiFrameCount; ++f) {
            const int n = kAbiFrameNumbers[f];
            const PVideoFrame frame = filter->GetFrame(n, &env);
            const int planes = AbiPlaneCount(k.pixel_type);
            static const int kSelectors[] = {PLANAR_Y, PLANAR_U, PLANAR_V};
            for (int plane = 0; plane < planes; ++plane) {
                const int selector = planes == 3 ? kSelectors[plane] : 0;
                const int rowSize = frame->GetRowSize(selector);
                const int height = frame->GetHeight(selector);
                if (rowSize != AbiRowSize(k.pixel_type, k.width, plane) ||
                    height != AbiPlaneHeight(k.pixel_type, k.height, plane))
                    Die("case %s: unexpected plane size %dx%d", k.name, rowSize, height);
                PutWord(out, c);
                PutWord(out, n);
                PutWord(out, plane);
                PutWord(out, rowSize);
                PutWord(out, height);
                for (int y = 0; y < height; ++y)
                    if (std::fwrite(frame->GetReadPtr(selector) + y * frame->GetPitch(selector),
                                    1, rowSize, out) != static_cast<size_t>(rowSize))
                        Die("write failed");
            }
        }
    }
    if (std::fclose(out) != 0) Die("write failed");
    std::printf("native reference: %d cases written to %s\n", kAbiCaseCount, argv[1]);
    return 0;
}
