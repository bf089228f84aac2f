// The host side of the 32-bit conformance test, compiled for Microsoft's C++ ABI.
//
// It is written against host_interface.h, the interface in the real host's plain form, so
// every call into the plug-in and every call the plug-in makes into this host goes through
// Microsoft's real call sequences: vtable slots, thiscall deleting destructors, `this` before
// the hidden result pointer, by-value classes in the argument area destroyed by the callee,
// variadic cdecl members. The plug-in is the one built from the project's sources by GCC,
// linked into the same program. The host's error is raised with longjmp, which like the real
// host's exception skips the plug-in's destructors.
//
// Frames are compared byte for byte with those of the natively built plug-in, read from the
// file named on the command line (see conformance_cases.h).
#include "msvc_libc.h"
#include "host_interface.h"
#include "conformance_cases.h"

extern "C" const char* __stdcall AvisynthPluginInit2(IScriptEnvironment* env);
extern "C" int HostLiveAllocations(void);    // msvc_rt.cpp
extern "C" int PluginLiveAllocations(void);  // plugin_heap_count.cpp (GCC side)

namespace {

// ---------------------------------------------------------------------------------------------
// Results.
int g_passed = 0;
int g_failed = 0;
const char* g_context = "start";

bool Check(bool ok, const char* fmt, ...) {
    if (ok) {
        ++g_passed;
        return true;
    }
    if (++g_failed > 100) return false;  // after a convention fault, the first ones tell
    char text[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    printf("FAIL [%s]: %s\n", g_context, text);
    fflush(0);
    return false;
}

// ---------------------------------------------------------------------------------------------
// Frames. The host owns every frame and buffer for the whole run, as the real host keeps them
// in its lists; the plug-in only changes their counts. Every byte of a new buffer is set to
// kCanary so that writes outside the rows of its planes show.
const BYTE kCanary = 0xA5;

struct HostFrame {
    VideoFrameBuffer vfb;
    VideoFrame frame;
    BYTE* allocation;
    HostFrame* next;
};
HostFrame* g_frames = 0;

// A frame of the given format with `slack` bytes of padding after every row (plus the
// rounding of the row up to 16 bytes) and 48 bytes before the first; YV12 keeps V before U,
// I420 U before V.
VideoFrame* MakeFrame(int pixelType, int width, int height, int slack) {
    const bool planar = AbiPlaneCount(pixelType) == 3;
    const int rowSize = AbiRowSize(pixelType, width, 0);
    const int pitch = (rowSize + 15) / 16 * 16 + slack;
    const int pitchUV = planar ? pitch / 2 : 0;
    const int offset = 48;
    const int chromaSize = pitchUV * (height / 2);
    const int size = offset + pitch * height + 2 * chromaSize + 32;

    // Outside the counted C++ heap: frames stay with the host until the end of the run.
    HostFrame* f = (HostFrame*)malloc(sizeof(HostFrame));
    f->allocation = (BYTE*)malloc(size + 16);
    BYTE* data = (BYTE*)(((unsigned)f->allocation + 15) & ~15u);
    memset(data, kCanary, size);
    f->vfb.data = data;
    f->vfb.data_size = size;
    f->vfb.sequence_number = 0;
    f->vfb.refcount = 1;  // the frame that uses it
    VideoFrame& v = f->frame;
    v.refcount = 0;
    v.vfb = &f->vfb;
    v.offset = offset;
    v.pitch = pitch;
    v.row_size = rowSize;
    v.height = height;
    if (!planar) {
        v.offsetU = v.offsetV = offset;
    } else if (pixelType == ABI_YV12) {
        v.offsetV = offset + pitch * height;
        v.offsetU = v.offsetV + chromaSize;
    } else {
        v.offsetU = offset + pitch * height;
        v.offsetV = v.offsetU + chromaSize;
    }
    v.pitchUV = pitchUV;
    f->next = g_frames;
    g_frames = f;
    return &f->frame;
}

bool IsHostFrame(const VideoFrame* frame) {
    for (HostFrame* f = g_frames; f; f = f->next)
        if (&f->frame == frame) return true;
    return false;
}

// Frames and buffers with references still raised; counts below zero are faults of their own.
int LiveFrames() {
    int n = 0;
    for (HostFrame* f = g_frames; f; f = f->next) n += f->frame.refcount != 0;
    return n;
}
int LiveBuffers() {
    int n = 0;
    for (HostFrame* f = g_frames; f; f = f->next) n += f->vfb.refcount != 0;
    return n;
}
int OverReleased() {
    int n = 0;
    for (HostFrame* f = g_frames; f; f = f->next)
        n += f->frame.refcount < 0 || f->vfb.refcount < 0;
    return n;
}

void FreeFrames() {
    while (g_frames) {
        HostFrame* f = g_frames;
        g_frames = f->next;
        free(f->allocation);
        free(f);
    }
}

const int kSelectors[3] = {PLANAR_Y, PLANAR_U, PLANAR_V};
int Selector(int pixelType, int plane) { return AbiPlaneCount(pixelType) == 3 ? kSelectors[plane] : 0; }

// Bytes outside the rows of the frame's planes that are no longer kCanary.
int CanaryDamage(const VideoFrame* frame, int pixelType) {
    const VideoFrameBuffer* b = frame->vfb;
    BYTE* inside = (BYTE*)malloc(b->data_size);
    memset(inside, 0, b->data_size);
    for (int plane = 0; plane < AbiPlaneCount(pixelType); ++plane) {
        const int s = Selector(pixelType, plane);
        for (int y = 0; y < frame->GetHeight(s); ++y)
            memset(inside + frame->GetOffset(s) + y * frame->GetPitch(s), 1, frame->GetRowSize(s));
    }
    int damaged = 0;
    for (int i = 0; i < b->data_size; ++i) damaged += !inside[i] && b->data[i] != kCanary;
    free(inside);
    return damaged;
}

// ---------------------------------------------------------------------------------------------
// The environment. Everything the plug-in may call is implemented as the real host does it;
// a call of a function it has no reason to call counts as a failure (a slot mismatch usually
// shows up this way, when it does not crash).
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wignored-attributes"  // __stdcall on variadic members
class HarnessEnv : public IScriptEnvironment {
public:
    JumpBuffer* catcher;
    char lastError[1024];
    int errors;
    int addCalls;
    char fnName[64];
    char fnParams[128];
    ApplyFunc apply;
    void* userData;
    int newFrameCalls;
    bool failNewFrame;
    VideoInfo lastNewFrameInfo;
    VideoFrame* lastNewFrame;
    int bitBltCalls;
    char* saved[64];
    int savedCount;

    HarnessEnv()
        : catcher(0), errors(0), addCalls(0), apply(0), userData(0), newFrameCalls(0),
          failNewFrame(false), lastNewFrame(0), bitBltCalls(0), savedCount(0) {
        lastError[0] = fnName[0] = fnParams[0] = 0;
        memset(&lastNewFrameInfo, 0, sizeof lastNewFrameInfo);
    }
    ~HarnessEnv() {
        for (int i = 0; i < savedCount; ++i) free(saved[i]);
    }

    void Unexpected(const char* what) { Check(false, "the plug-in called %s", what); }

    long __stdcall GetCPUFlags() { return 0x3F; }
    char* __stdcall SaveString(const char* s, int length) {
        if (length < 0) length = (int)strlen(s);
        if (savedCount == 64) ThrowError("SaveString: too many strings");
        char* copy = (char*)malloc(length + 1);
        memcpy(copy, s, length);
        copy[length] = 0;
        return saved[savedCount++] = copy;
    }
    char* __stdcall Sprintf(const char* fmt, ...) {
        char text[1024];
        va_list args;
        va_start(args, fmt);
        vsnprintf(text, sizeof text, fmt, args);
        va_end(args);
        return SaveString(text, -1);
    }
    char* __stdcall VSprintf(const char* fmt, void* val) {
        char text[1024];
        vsnprintf(text, sizeof text, fmt, (va_list)val);
        return SaveString(text, -1);
    }
    void __stdcall ThrowError(const char* fmt, ...) {
        va_list args;
        va_start(args, fmt);
        vsnprintf(lastError, sizeof lastError, fmt, args);
        va_end(args);
        ++errors;
        if (!catcher) {
            printf("FATAL [%s]: error raised where none may be: %s\n", g_context, lastError);
            exit(2);
        }
        JumpBuffer* target = catcher;
        catcher = 0;
        longjmp(target, 1);
    }
    void __stdcall AddFunction(const char* name, const char* params, ApplyFunc f, void* user) {
        ++addCalls;
        snprintf(fnName, sizeof fnName, "%s", name);
        snprintf(fnParams, sizeof fnParams, "%s", params);
        apply = f;
        userData = user;
    }
    bool __stdcall FunctionExists(const char* name) { return strcmp(name, fnName) == 0; }
    AVSValue __stdcall Invoke(const char*, const AVSValue, const char**) {
        Unexpected("Invoke");
        return AVSValue();
    }
    AVSValue __stdcall GetVar(const char*) {
        Unexpected("GetVar");
        return AVSValue();
    }
    bool __stdcall SetVar(const char*, const AVSValue&) {
        Unexpected("SetVar");
        return false;
    }
    bool __stdcall SetGlobalVar(const char*, const AVSValue&) {
        Unexpected("SetGlobalVar");
        return false;
    }
    void __stdcall PushContext(int) { Unexpected("PushContext"); }
    void __stdcall PopContext() { Unexpected("PopContext"); }
    PVideoFrame __stdcall NewVideoFrame(const VideoInfo& vi, int align) {
        ++newFrameCalls;
        lastNewFrameInfo = vi;
        if (failNewFrame) ThrowError("HarnessEnv: no memory for a %dx%d frame", vi.width, vi.height);
        if (align < 0 || align > 4096) ThrowError("HarnessEnv: alignment %d", align);
        lastNewFrame = MakeFrame(vi.pixel_type, vi.width, vi.height, 16);
        return PVideoFrame(lastNewFrame);
    }
    bool __stdcall MakeWritable(PVideoFrame*) {
        Unexpected("MakeWritable");
        return false;
    }
    void __stdcall BitBlt(BYTE* dst, int dstPitch, const BYTE* src, int srcPitch, int rowSize,
                          int height) {
        ++bitBltCalls;
        if (rowSize < 0 || height < 0) ThrowError("BitBlt: negative size");
        for (int y = 0; y < height; ++y) memcpy(dst + y * dstPitch, src + y * srcPitch, rowSize);
    }
    void __stdcall AtExit(ShutdownFunc, void*) { Unexpected("AtExit"); }
    void __stdcall CheckVersion(int version) {
        if (version > AVISYNTH_INTERFACE_VERSION)
            ThrowError("Plugin was designed for a later version of the host (%d)", version);
    }
    PVideoFrame __stdcall Subframe(PVideoFrame, int, int, int, int) {
        Unexpected("Subframe");
        return PVideoFrame();
    }
    int __stdcall SetMemoryMax(int) {
        Unexpected("SetMemoryMax");
        return 0;
    }
    int __stdcall SetWorkingDir(const char*) {
        Unexpected("SetWorkingDir");
        return 1;
    }
    void* __stdcall ManageCache(int, void*) {
        Unexpected("ManageCache");
        return 0;
    }
    bool __stdcall PlanarChromaAlignment(int) {
        Unexpected("PlanarChromaAlignment");
        return false;
    }
    PVideoFrame __stdcall SubframePlanar(PVideoFrame, int, int, int, int, int, int, int) {
        Unexpected("SubframePlanar");
        return PVideoFrame();
    }
};
#pragma clang diagnostic pop

HarnessEnv* g_env = 0;

// Runs body() so that the host's error lands back here: true if body returned, false if the
// error was raised (its text is in g_env->lastError).
template <class Body>
bool Guarded(Body body) {
    JumpBuffer buffer;
    JumpBuffer* volatile outer = g_env->catcher;
    if (setjmp(&buffer) != 0) {
        g_env->catcher = outer;
        return false;
    }
    g_env->catcher = &buffer;
    body();
    g_env->catcher = outer;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Source clips: the deterministic pattern of conformance_cases.h, in frames whose pitch is
// larger than the row (and differs from that of the plug-in's new frames). They record what
// arrives through the clip operations that a filter forwards.
class SourceClip : public IClip {
public:
    static int live;
    VideoInfo vi;
    unsigned seed;
    int failFrame;  // GetFrame of this frame raises the host's error
    int frameCalls;
    int parityCalls;
    int audioCalls;
    void* audioBuf;
    int64 audioStart;
    int64 audioCount;
    IScriptEnvironment* audioEnv;

    SourceClip(int pixelType, int width, int height, unsigned seed_)
        : seed(seed_), failFrame(-1), frameCalls(0), parityCalls(0), audioCalls(0), audioBuf(0),
          audioStart(0), audioCount(0), audioEnv(0) {
        ++live;
        memset(&vi, 0, sizeof vi);
        vi.width = width;
        vi.height = height;
        vi.fps_numerator = 30000;
        vi.fps_denominator = 1001;
        vi.num_frames = kAbiFrames;
        vi.pixel_type = pixelType;
        vi.audio_samples_per_second = 48000;
        vi.sample_type = SAMPLE_INT16;
        vi.num_audio_samples = 0x123456789ALL;
        vi.nchannels = 2;
        vi.image_type = 2;
    }
    ~SourceClip() { --live; }

    static bool Parity(unsigned seed, int n) { return ((unsigned)n + seed) % 3u == 0; }

    PVideoFrame __stdcall GetFrame(int n, IScriptEnvironment* env) {
        ++frameCalls;
        if (n == failFrame) env->ThrowError("SourceClip: frame %d of clip %u is unreadable", n, seed);
        VideoFrame* frame = MakeFrame(vi.pixel_type, vi.width, vi.height, 32 + (seed & 15));
        for (int plane = 0; plane < AbiPlaneCount(vi.pixel_type); ++plane) {
            const int s = Selector(vi.pixel_type, plane);
            BYTE* base = frame->vfb->data + frame->GetOffset(s);
            for (int y = 0; y < frame->GetHeight(s); ++y)
                for (int x = 0; x < frame->GetRowSize(s); ++x)
                    base[y * frame->GetPitch(s) + x] = AbiPattern(seed, n, plane, x, y);
        }
        return PVideoFrame(frame);
    }
    bool __stdcall GetParity(int n) {
        ++parityCalls;
        return Parity(seed, n);
    }
    void __stdcall GetAudio(void* buf, int64 start, int64 count, IScriptEnvironment* env) {
        ++audioCalls;
        audioBuf = buf;
        audioStart = start;
        audioCount = count;
        audioEnv = env;
    }
    void __stdcall SetCacheHints(int, int) {}
    const VideoInfo& __stdcall GetVideoInfo() { return vi; }
};
int SourceClip::live = 0;

// ---------------------------------------------------------------------------------------------
// Expected frames.
struct Expected {
    BYTE* file;
    unsigned size;
    const BYTE* planes[kAbiCaseCount][kAbiFrameCount][3];
};
Expected g_expected;

unsigned Word(const BYTE* p) {
    return p[0] | (unsigned)p[1] << 8 | (unsigned)p[2] << 16 | (unsigned)p[3] << 24;
}

bool LoadExpected(const char* path) {
    FILE* in = fopen(path, "rb");
    if (!in) {
        printf("FATAL: cannot read %s\n", path);
        return false;
    }
    unsigned capacity = 1 << 20;
    g_expected.file = (BYTE*)malloc(capacity);
    g_expected.size = 0;
    size_t got;
    while ((got = fread(g_expected.file + g_expected.size, 1, capacity - g_expected.size, in)) > 0) {
        g_expected.size += got;
        if (g_expected.size == capacity) {
            BYTE* bigger = (BYTE*)malloc(capacity * 2);
            memcpy(bigger, g_expected.file, capacity);
            free(g_expected.file);
            g_expected.file = bigger;
            capacity *= 2;
        }
    }
    fclose(in);
    const BYTE* p = g_expected.file;
    const BYTE* end = p + g_expected.size;
    if (g_expected.size < 8 || Word(p) != kAbiExpectedMagic || Word(p + 4) != kAbiCaseCount) {
        printf("FATAL: %s is not an expected-frames file for %d cases\n", path, kAbiCaseCount);
        return false;
    }
    memset(g_expected.planes, 0, sizeof g_expected.planes);
    for (p += 8; p + 20 <= end;) {
        const unsigned c = Word(p), n = Word(p + 4), plane = Word(p + 8);
        const unsigned bytes = Word(p + 12) * Word(p + 16);
        int f = -1;
        for (int i = 0; i < kAbiFrameCount; ++i)
            if ((unsigned)kAbiFrameNumbers[i] == n) f = i;
        if (c >= (unsigned)kAbiCaseCount || f < 0 || plane > 2 || p + 20 + bytes > end) {
            printf("FATAL: %s: bad record at byte %d\n", path, (int)(p - g_expected.file));
            return false;
        }
        g_expected.planes[c][f][plane] = p;
        p += 20 + bytes;
    }
    return p == end;
}

// Compares the rows of every plane of `frame` with the native plug-in's.
void CompareWithExpected(const VideoFrame* frame, int caseIndex, int frameIndex) {
    const AbiCase& k = kAbiCases[caseIndex];
    for (int plane = 0; plane < AbiPlaneCount(k.pixel_type); ++plane) {
        const BYTE* record = g_expected.planes[caseIndex][frameIndex][plane];
        const int s = Selector(k.pixel_type, plane);
        if (!Check(record != 0, "no expected data for frame %d plane %d",
                   kAbiFrameNumbers[frameIndex], plane))
            continue;
        const int rowSize = (int)Word(record + 12), height = (int)Word(record + 16);
        if (!Check(frame->GetRowSize(s) == rowSize && frame->GetHeight(s) == height,
                   "frame %d plane %d is %dx%d, the native build's %dx%d",
                   kAbiFrameNumbers[frameIndex], plane, frame->GetRowSize(s), frame->GetHeight(s),
                   rowSize, height))
            continue;
        const BYTE* want = record + 20;
        const BYTE* got = frame->GetReadPtr(s);
        int differing = 0, firstX = -1, firstY = -1;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < rowSize; ++x)
                if (got[y * frame->GetPitch(s) + x] != want[y * rowSize + x]) {
                    if (!differing++) firstX = x, firstY = y;
                }
        Check(differing == 0,
              "frame %d plane %d: %d of %d bytes differ from the native build (first at x %d, "
              "y %d: %d, expected %d)",
              kAbiFrameNumbers[frameIndex], plane, differing, rowSize * height, firstX, firstY,
              differing ? got[firstY * frame->GetPitch(s) + firstX] : 0,
              differing ? want[firstY * rowSize + firstX] : 0);
    }
}

// ---------------------------------------------------------------------------------------------
AVSValue IntArg(int v) { return v == ABI_UNSET ? AVSValue() : AVSValue(v); }
AVSValue BoolArg(int v) { return v == ABI_UNSET ? AVSValue() : AVSValue(v != 0); }

// Calls the registered creation function the way the host does: an eight-element array
// passed by value, the clip returned by value. Returns false if it raised the host's error.
bool Create(const AbiCase& k, IClip* input, IClip* sclip, AVSValue* result) {
    AVSValue args[8] = {AVSValue(input), IntArg(k.sh),      IntArg(k.sm),
                        BoolArg(k.c4),   BoolArg(k.useclip), sclip ? AVSValue(sclip) : AVSValue(),
                        IntArg(k.smu),   IntArg(k.smv)};
    return Guarded([&] { *result = g_env->apply(AVSValue(args, 8), g_env->userData, g_env); });
}

bool GetFrame(IClip* clip, int n, PVideoFrame* frame) {
    return Guarded([&] { *frame = clip->GetFrame(n, g_env); });
}

// Frame n of the filter of case c, compared with the native build's and checked for writes
// outside its rows; released again before returning.
void CheckFrame(IClip* filter, int c, int frameIndex) {
    const int n = kAbiFrameNumbers[frameIndex];
    PVideoFrame frame;
    const int newFramesBefore = g_env->newFrameCalls;
    if (!Check(GetFrame(filter, n, &frame), "GetFrame(%d) raised: %s", n, g_env->lastError)) return;
    if (!Check(frame.get() != 0, "GetFrame(%d) returned no frame", n)) return;
    Check(IsHostFrame(frame.get()), "GetFrame(%d) returned a frame the host did not make", n);
    Check(frame->refcount == 1 && frame->vfb->refcount == 1,
          "GetFrame(%d) result holds %d references (buffer %d), expected the caller's one", n,
          frame->refcount, (int)frame->vfb->refcount);
    Check(g_env->newFrameCalls > newFramesBefore &&
              g_env->lastNewFrameInfo.pixel_type == kAbiCases[c].pixel_type &&
              g_env->lastNewFrameInfo.width == kAbiCases[c].width &&
              g_env->lastNewFrameInfo.height == kAbiCases[c].height,
          "NewVideoFrame received the video info of a %dx%d frame of type %x",
          g_env->lastNewFrameInfo.width, g_env->lastNewFrameInfo.height,
          g_env->lastNewFrameInfo.pixel_type);
    CompareWithExpected(frame.get(), c, frameIndex);
    const int damage = CanaryDamage(frame.get(), kAbiCases[c].pixel_type);
    Check(damage == 0, "GetFrame(%d) wrote %d bytes outside the rows of its planes", n, damage);
}

void CheckNoReferencesLeft(int hostHeap, int pluginHeap, const char* when) {
    Check(LiveFrames() == 0 && LiveBuffers() == 0,
          "%s: %d frames and %d buffers still referenced", when, LiveFrames(), LiveBuffers());
    Check(OverReleased() == 0, "%s: %d frames or buffers released too often", when, OverReleased());
    Check(SourceClip::live == 0, "%s: %d host clips not deleted", when, SourceClip::live);
    Check(HostLiveAllocations() == hostHeap, "%s: host heap %d allocations, %d before", when,
          HostLiveAllocations(), hostHeap);
    Check(PluginLiveAllocations() == pluginHeap, "%s: plug-in heap %d allocations, %d before",
          when, PluginLiveAllocations(), pluginHeap);
}

// ---------------------------------------------------------------------------------------------
void TestRegistration() {
    g_context = "registration";
    printf("  registration\n");
    fflush(0);
    for (int load = 1; load <= 2; ++load) {  // the classic host initialises every plug-in twice
        const char* description = 0;
        const bool ok = Guarded([&] { description = AvisynthPluginInit2(g_env); });
        Check(ok, "AvisynthPluginInit2 raised: %s", g_env->lastError);
        Check(description && strcmp(description, "BasinLift  Plugin") == 0,
              "AvisynthPluginInit2 returned \"%s\"", description ? description : "(null)");
        Check(g_env->addCalls == load, "AddFunction called %d times after %d loads",
              g_env->addCalls, load);
        Check(strcmp(g_env->fnName, "BasinLift") == 0, "registered name \"%s\"", g_env->fnName);
        Check(strcmp(g_env->fnParams, "c[sh]i[sm]i[c4]b[useclip]b[sclip]c[smu]i[smv]i") == 0,
              "registered parameters \"%s\"", g_env->fnParams);
        Check(g_env->apply != 0, "registered no creation function");
    }
}

// Creation, every clip operation, the frames, and release with the host letting go first.
void TestCase(int c) {
    const AbiCase& k = kAbiCases[c];
    g_context = k.name;
    const int hostHeap = HostLiveAllocations();
    const int pluginHeap = PluginLiveAllocations();

    SourceClip* input = new SourceClip(k.pixel_type, k.width, k.height, k.seed);
    SourceClip* sclip = k.seg_seed ? new SourceClip(k.pixel_type, k.width, k.height, k.seg_seed) : 0;
    AVSValue filterValue;
    {
        const PClip holdInput(input), holdSclip(sclip);
        if (!Check(Create(k, input, sclip, &filterValue), "creation raised: %s", g_env->lastError))
            return;
    }
    // The host has dropped its own references: the filter holds the clips alone now.
    Check(input->RefCount() >= 1 && (!sclip || sclip->RefCount() >= 1),
          "the filter holds no reference to its clips (%d, %d)", input->RefCount(),
          sclip ? sclip->RefCount() : -1);
    IClip* filter = filterValue.RawClip();
    if (!Check(filterValue.Type() == 'c' && filter != 0, "creation returned a value of type '%c'",
               filterValue.Type()))
        return;
    Check(filter->RefCount() == 1, "the new filter has %d references, expected the result's one",
          filter->RefCount());

    Check(filter->GetVersion() == 3, "GetVersion() = %d", filter->GetVersion());
    const VideoInfo& vi = filter->GetVideoInfo();
    Check(memcmp(&vi, &input->vi, sizeof vi) == 0 && vi.num_audio_samples == 0x123456789ALL,
          "GetVideoInfo: %dx%d type %x, %d frames, %lld samples", vi.width, vi.height,
          vi.pixel_type, vi.num_frames, vi.num_audio_samples);
    for (int n = 0; n < 6; ++n)
        Check(filter->GetParity(n) == SourceClip::Parity(k.seed, n), "GetParity(%d)", n);
    Check(input->parityCalls == 6, "GetParity reached the input %d times of 6", input->parityCalls);

    char audio[16];
    const int64 start = 0x0000012345678ABCLL, count = 0x0000000700000011LL;
    filter->GetAudio(audio, start, count, g_env);
    Check(input->audioCalls == 1 && input->audioBuf == audio && input->audioStart == start &&
              input->audioCount == count && input->audioEnv == g_env,
          "GetAudio arrived as (%p, %llx, %llx, %p)", input->audioBuf, input->audioStart,
          input->audioCount, (void*)input->audioEnv);
    filter->SetCacheHints(CACHE_RANGE, 5);
    filter->SetCacheHints(CACHE_NOTHING, 0);
    Check(filter->GetVersion() == 3 && &filter->GetVideoInfo() == &vi,
          "the clip answers differently after SetCacheHints");

    for (int f = 0; f < kAbiFrameCount; ++f) {
        CheckFrame(filter, c, f);
        Check(LiveFrames() == 0, "%d frames still referenced after frame %d was released",
              LiveFrames(), kAbiFrameNumbers[f]);
    }

    // The last reference: the host deletes the filter through its destructor slot, and the
    // filter releases the host's clips through theirs.
    filterValue = AVSValue();
    CheckNoReferencesLeft(hostHeap, pluginHeap, "after release");
}

// Creation refused through the host's error, with the exact message, holding nothing.
void TestRefusal(const char* name, int pixelType, int sh, bool sameSclip, const char* message) {
    g_context = name;
    const int hostHeap = HostLiveAllocations();
    const int pluginHeap = PluginLiveAllocations();
    SourceClip* input = new SourceClip(pixelType, 20, 10, 5);
    {
        const PClip hold(input);
        AbiCase k = {name, pixelType, 20, 10, 5, 0, sh, ABI_UNSET, ABI_UNSET,
                     sameSclip ? 1 : ABI_UNSET, ABI_UNSET, ABI_UNSET};
        AVSValue result;
        const int errors = g_env->errors;
        Check(!Create(k, input, sameSclip ? input : 0, &result), "creation was not refused");
        Check(g_env->errors == errors + 1 && strcmp(g_env->lastError, message) == 0,
              "refused with \"%s\"", g_env->lastError);
        Check(!result.Defined(), "the refused creation left a result");
        Check(input->RefCount() == 1, "the input has %d references after the refusal, 1 expected",
              input->RefCount());
    }
    CheckNoReferencesLeft(hostHeap, pluginHeap, "after the refusal");
}

// The host's error raised while the plug-in holds frames from its input and from
// NewVideoFrame: the plug-in lets them go on its next GetFrame, or when it is deleted.
void TestErrorInGetFrame() {
    const int c = 5;  // a case with a separate segmentation clip
    const AbiCase& k = kAbiCases[c];
    g_context = "error from the segmentation clip";
    if (!Check(k.seg_seed != 0, "case %d has no segmentation clip", c)) return;
    const int hostHeap = HostLiveAllocations();
    const int pluginHeap = PluginLiveAllocations();
    SourceClip* input = new SourceClip(k.pixel_type, k.width, k.height, k.seed);
    SourceClip* sclip = new SourceClip(k.pixel_type, k.width, k.height, k.seg_seed);
    AVSValue filterValue;
    {
        const PClip holdInput(input), holdSclip(sclip);
        if (!Check(Create(k, input, sclip, &filterValue), "creation raised: %s", g_env->lastError))
            return;
    }
    IClip* filter = filterValue.RawClip();
    sclip->failFrame = 1;
    PVideoFrame frame;
    Check(!GetFrame(filter, 1, &frame), "GetFrame(1) returned although the host raised an error");
    Check(strcmp(g_env->lastError, "SourceClip: frame 1 of clip 61 is unreadable") == 0,
          "raised \"%s\"", g_env->lastError);
    Check(!frame, "a frame arrived from the failed call");
    Check(LiveFrames() > 0, "the plug-in held no frame when the error came (this test needs one)");
    printf("  %d frames held by the plug-in after the error\n", LiveFrames());
    fflush(0);

    // The next call succeeds, renders the right frame and leaves nothing behind.
    CheckFrame(filter, c, 0);
    Check(LiveFrames() == 0, "%d frames still referenced after the next GetFrame", LiveFrames());

    // Another error, then deletion.
    Check(!GetFrame(filter, 1, &frame), "GetFrame(1) returned although the host raised an error");
    Check(LiveFrames() > 0, "the plug-in held no frame when the error came (this test needs one)");
    filterValue = AVSValue();
    CheckNoReferencesLeft(hostHeap, pluginHeap, "after the error and release");

    g_context = "error from NewVideoFrame";
    const AbiCase& k0 = kAbiCases[0];
    input = new SourceClip(k0.pixel_type, k0.width, k0.height, k0.seed);
    {
        const PClip holdInput(input);
        if (!Check(Create(k0, input, 0, &filterValue), "creation raised: %s", g_env->lastError))
            return;
    }
    filter = filterValue.RawClip();
    g_env->failNewFrame = true;
    Check(!GetFrame(filter, 0, &frame), "GetFrame(0) returned although NewVideoFrame raised");
    g_env->failNewFrame = false;
    Check(strcmp(g_env->lastError, "HarnessEnv: no memory for a 37x23 frame") == 0,
          "raised \"%s\"", g_env->lastError);
    Check(LiveFrames() > 0, "the plug-in held no frame when the error came (this test needs one)");
    filterValue = AVSValue();
    CheckNoReferencesLeft(hostHeap, pluginHeap, "after the error and release");
}

// A convention mismatch usually ends in a crash, sometimes in an endless loop over a broken
// stack; say where, in the same closing format.
extern "C" void OnCrash(int signum) {
    printf("FATAL [%s]: signal %d\n%d passed, %d failed\n", g_context, signum, g_passed,
           g_failed + 1);
    fflush(0);
    _exit(3);
}

}  // namespace

int main(int argc, char** argv) {
    const int kCrashSignals[] = {SIGILL, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGALRM};
    for (int s : kCrashSignals) signal(s, OnCrash);
    alarm(30);  // a normal run takes well under a second, even under emulation
    if (argc != 2) {
        printf("usage: %s EXPECTED-FRAMES-FILE\n", argv[0]);
        return 2;
    }
    if (!LoadExpected(argv[1])) return 2;
    HarnessEnv* env = new HarnessEnv;
    g_env = env;

    TestRegistration();
    if (g_env->apply) {
        for (int c = 0; c < kAbiCaseCount; ++c) {
            TestCase(c);
            printf("  %s: done\n", kAbiCases[c].name);
            fflush(0);  // progress stays visible if a later step crashes
        }
        TestRefusal("refusal: sh 11", ABI_YV12, 11, false,
                    "BasinLift: RGB or Y sharpening factor sh must be between -10 and 10");
        TestRefusal("refusal: YV16", (int)0xA0000308u, ABI_UNSET, false,
                    "BasinLift: This color format is not supported by this old avisynth version");
        TestRefusal("refusal: sclip is the input", ABI_BGR32, ABI_UNSET, true,
                    "BasinLift:clip to be smoothed and sclip must not be identical");
        TestErrorInGetFrame();
    }
    g_context = "end";
    Check(g_env->catcher == 0, "an error handler is still set");

    delete env;
    FreeFrames();
    free(g_expected.file);
    printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed ? 1 : 0;
}
