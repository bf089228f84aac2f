// Compiled by the mingw-w64 i686 compiler only (check-mingw-layout.sh), never linked.
//
// The static_asserts pin the field offsets that the host reads in place. The probe classes
// implement every virtual function of the interface classes with a key function defined out
// of line, so that the compiler emits their vtables into the assembly; the script then reads
// each vtable's entries in order and compares them, slot by slot, with the host's vtables.
// The stdcall decoration of an entry ("@N", the bytes of stack arguments including `this`)
// shows the convention and the argument size as well: thiscall and cdecl members carry none.
#include <cstddef>
#include <cstdint>

#include "avisynth.h"

#if !defined(__MINGW32__) || !defined(__i386__)
#error "this probe describes the 32-bit Windows build"
#endif

// ---------------------------------------------------------------------------------------------
// Structures that the host and the plug-in both read in place.
static_assert(sizeof(VideoInfo) == 48 && alignof(VideoInfo) == 8, "VideoInfo: 48 bytes, 8-aligned");
static_assert(offsetof(VideoInfo, width) == 0 && offsetof(VideoInfo, height) == 4 &&
                  offsetof(VideoInfo, fps_numerator) == 8 &&
                  offsetof(VideoInfo, fps_denominator) == 12 &&
                  offsetof(VideoInfo, num_frames) == 16 && offsetof(VideoInfo, pixel_type) == 20 &&
                  offsetof(VideoInfo, audio_samples_per_second) == 24 &&
                  offsetof(VideoInfo, sample_type) == 28 &&
                  offsetof(VideoInfo, num_audio_samples) == 32 &&
                  offsetof(VideoInfo, nchannels) == 40 && offsetof(VideoInfo, image_type) == 44,
              "VideoInfo fields at the host's offsets");
static_assert(sizeof(VideoFrameBuffer) == 16 && offsetof(VideoFrameBuffer, data) == 0 &&
                  offsetof(VideoFrameBuffer, data_size) == 4 &&
                  offsetof(VideoFrameBuffer, sequence_number) == 8 &&
                  offsetof(VideoFrameBuffer, refcount) == 12,
              "VideoFrameBuffer fields at the host's offsets");
static_assert(sizeof(VideoFrame) == 36 && alignof(VideoFrame) == 4, "VideoFrame: nine 4-byte fields");

// AVSValue's fields are private; its by-value stand-in has the same bytes and public fields.
static_assert(sizeof(AVSValue) == 8 && alignof(AVSValue) == 4, "AVSValue: 8 bytes, 4-aligned");
static_assert(sizeof(AVSValueArg) == 8 && alignof(AVSValueArg) == 4 &&
                  offsetof(AVSValueArg, type) == 0 && offsetof(AVSValueArg, array_size) == 2 &&
                  offsetof(AVSValueArg, clip) == 4 && offsetof(AVSValueArg, integer) == 4,
              "AVSValue: type at 0, array size at 2, value at 4");
static_assert(sizeof(AVSValueArg::type) == 2 && sizeof(AVSValueArg::array_size) == 2 &&
                  sizeof(AVSValueArg::floating_pt) == 4 && sizeof(AVSValueArg::boolean) == 1,
              "AVSValue: 16-bit type and size, 4-byte float, 1-byte bool");
static_assert(sizeof(PVideoFrameArg) == 4 && sizeof(PVideoFrame) == 4 && sizeof(PClip) == 4,
              "handles are one pointer");
static_assert(sizeof(IClip) == 8, "IClip: vtable pointer and reference count");
static_assert(sizeof(bool) == 1 && sizeof(int) == 4 && sizeof(void*) == 4, "ILP32");

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
// ---------------------------------------------------------------------------------------------
// IClip's own slots, as a direct implementation sees them.
class ProbeClip final : public IClip {
public:
    int AVS_STDCALL GetVersion() override;
    PVideoFrame* AVS_STDCALL GetFrame_(PVideoFrame* result, int, IScriptEnvironment*) override {
        return result;
    }
    bool AVS_STDCALL GetParity(int) override { return false; }
    void AVS_STDCALL GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
    void AVS_STDCALL SetCacheHints(int, int) override {}
    const VideoInfo& AVS_STDCALL GetVideoInfo() override { return vi; }
    IClip* AVS_THISCALL DeletingDtor_(unsigned flags) override { return IClip::DeletingDtor_(flags); }

    VideoInfo vi{};
};
int AVS_STDCALL ProbeClip::GetVersion() { return AVISYNTH_INTERFACE_VERSION; }

// GenericVideoFilter, the base of the plug-in's filter: what it forwards, and where its fields
// sit (the plug-in reads vi in place; the host never does, but its size is fixed).
class ProbeFilter final : public GenericVideoFilter {
public:
    explicit ProbeFilter(const PClip& c) : GenericVideoFilter(c) {}
    int AVS_STDCALL GetVersion() override;
};
int AVS_STDCALL ProbeFilter::GetVersion() {
    // Inside a member, where the class is complete and its protected fields are reachable.
    static_assert(offsetof(ProbeFilter, child) == 8, "GenericVideoFilter::child at 8");
    static_assert(offsetof(ProbeFilter, vi) == 16, "GenericVideoFilter::vi at 16");
    return AVISYNTH_INTERFACE_VERSION;
}
static_assert(sizeof(GenericVideoFilter) == 64, "GenericVideoFilter: 64 bytes");
#pragma GCC diagnostic pop

// ---------------------------------------------------------------------------------------------
// Every slot of the script environment.
class ProbeEnv final : public IScriptEnvironment {
public:
    void* AVS_THISCALL DeletingDtor_(unsigned flags) override;
    int AVS_STDCALL GetCPUFlags() override { return 0; }
    char* AVS_STDCALL SaveString(const char*, int) override { return nullptr; }
    char* AVS_CDECL Sprintf(const char*, ...) override { return nullptr; }
    char* AVS_STDCALL VSprintf(const char*, void*) override { return nullptr; }
    [[noreturn]] void AVS_CDECL ThrowError(const char*, ...) override { __builtin_trap(); }
    void AVS_STDCALL AddFunction(const char*, const char*, ApplyFunc, void*) override {}
    bool AVS_STDCALL FunctionExists(const char*) override { return false; }
    AVSValue* AVS_STDCALL Invoke_(AVSValue* result, const char*, AVSValueArg,
                                  const char* const*) override {
        return result;
    }
    AVSValue* AVS_STDCALL GetVar_(AVSValue* result, const char*) override { return result; }
    bool AVS_STDCALL SetVar(const char*, const AVSValue&) override { return false; }
    bool AVS_STDCALL SetGlobalVar(const char*, const AVSValue&) override { return false; }
    void AVS_STDCALL PushContext(int) override {}
    void AVS_STDCALL PopContext() override {}
    PVideoFrame* AVS_STDCALL NewVideoFrame_(PVideoFrame* result, const VideoInfo&, int) override {
        return result;
    }
    bool AVS_STDCALL MakeWritable(PVideoFrame*) override { return false; }
    void AVS_STDCALL BitBlt(uint8_t*, int, const uint8_t*, int, int, int) override {}
    void AVS_STDCALL AtExit(ShutdownFunc, void*) override {}
    void AVS_STDCALL CheckVersion(int) override {}
    PVideoFrame* AVS_STDCALL Subframe_(PVideoFrame* result, PVideoFrameArg, int, int, int,
                                       int) override {
        return result;
    }
    int AVS_STDCALL SetMemoryMax(int) override { return 0; }
    int AVS_STDCALL SetWorkingDir(const char*) override { return 0; }
    void* AVS_STDCALL ManageCache(int, void*) override { return nullptr; }
    bool AVS_STDCALL PlanarChromaAlignment(int) override { return false; }
    PVideoFrame* AVS_STDCALL SubframePlanar_(PVideoFrame* result, PVideoFrameArg, int, int, int,
                                             int, int, int, int) override {
        return result;
    }
};
void* AVS_THISCALL ProbeEnv::DeletingDtor_(unsigned) { return this; }
