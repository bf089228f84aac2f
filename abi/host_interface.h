// The frame server's classic C++ plug-in interface (version 3) as the real host declares it,
// for the host side of the conformance test. It is compiled for Microsoft's C++ ABI, so the
// compiler itself applies Microsoft's rules here: a virtual destructor takes one vtable slot
// (a thiscall "scalar deleting destructor"), methods returning a class by value get `this`
// before the hidden result pointer, class arguments passed by value are built in the argument
// area and destroyed by the callee, and variadic members are cdecl. Nothing here mirrors the
// plug-in's header; it is the plain form that the host's own code is written against.
#pragma once

typedef unsigned char BYTE;
typedef long long int64;

enum { AVISYNTH_INTERFACE_VERSION = 3 };
enum { FRAME_ALIGN = 16 };
enum { PLANAR_Y = 1, PLANAR_U = 2, PLANAR_V = 4 };
enum { SAMPLE_INT16 = 2 };
enum { CACHE_NOTHING = 0, CACHE_RANGE = 1, CACHE_ALL = 2 };

class IClip;
class IScriptEnvironment;
class PClip;
class PVideoFrame;
class AVSValue;

#pragma pack(push, 8)

struct VideoInfo {
    int width;
    int height;
    unsigned fps_numerator;
    unsigned fps_denominator;
    int num_frames;
    int pixel_type;
    int audio_samples_per_second;
    int sample_type;
    int64 num_audio_samples;
    int nchannels;
    int image_type;

    enum {
        CS_BGR = 1 << 28,
        CS_YUV = 1 << 29,
        CS_INTERLEAVED = 1 << 30,
        CS_PLANAR = 1 << 31,
        CS_BGR24 = 1 | CS_BGR | CS_INTERLEAVED,
        CS_BGR32 = 2 | CS_BGR | CS_INTERLEAVED,
        CS_YUY2 = 4 | CS_YUV | CS_INTERLEAVED,
        CS_YV12 = 8 | CS_YUV | CS_PLANAR,
        CS_I420 = 16 | CS_YUV | CS_PLANAR,
    };
    bool IsPlanar() const { return (pixel_type & CS_PLANAR) != 0; }
    int BitsPerPixel() const {
        switch (pixel_type) {
            case CS_BGR24: return 24;
            case CS_BGR32: return 32;
            case CS_YUY2: return 16;
            case CS_YV12:
            case CS_I420: return 12;
            default: return 0;
        }
    }
    int RowSize() const { return IsPlanar() ? width : width * (BitsPerPixel() >> 3); }
};

class VideoFrameBuffer {
public:
    BYTE* data;
    int data_size;
    long sequence_number;
    long refcount;
};

class VideoFrame {
public:
    int refcount;
    VideoFrameBuffer* vfb;
    int offset, pitch, row_size, height, offsetU, offsetV, pitchUV;

    void AddRef() { __sync_add_and_fetch(&refcount, 1); }
    void Release() {
        if (refcount == 1) __sync_sub_and_fetch(&vfb->refcount, 1);
        __sync_sub_and_fetch(&refcount, 1);
    }
    bool IsChroma(int plane) const { return plane == PLANAR_U || plane == PLANAR_V; }
    int GetPitch(int plane = 0) const { return IsChroma(plane) ? pitchUV : pitch; }
    int GetRowSize(int plane = 0) const {
        return IsChroma(plane) ? (pitchUV ? row_size >> 1 : 0) : row_size;
    }
    int GetHeight(int plane = 0) const {
        return IsChroma(plane) ? (pitchUV ? height >> 1 : 0) : height;
    }
    int GetOffset(int plane = 0) const {
        return plane == PLANAR_U ? offsetU : plane == PLANAR_V ? offsetV : offset;
    }
    const BYTE* GetReadPtr(int plane = 0) const { return vfb->data + GetOffset(plane); }
    bool IsWritable() const { return refcount == 1 && vfb->refcount == 1; }
    BYTE* GetWritePtr(int plane = 0) const {
        if (IsChroma(plane)) return vfb->data + GetOffset(plane);
        if (!IsWritable()) return 0;
        ++vfb->sequence_number;
        return vfb->data + offset;
    }
};

class PVideoFrame {
    VideoFrame* p;

public:
    PVideoFrame() : p(0) {}
    PVideoFrame(VideoFrame* frame) : p(frame) {
        if (p) p->AddRef();
    }
    PVideoFrame(const PVideoFrame& other) : p(other.p) {
        if (p) p->AddRef();
    }
    PVideoFrame& operator=(const PVideoFrame& other) {
        if (other.p) other.p->AddRef();
        if (p) p->Release();
        p = other.p;
        return *this;
    }
    ~PVideoFrame() {
        if (p) p->Release();
    }
    VideoFrame* operator->() const { return p; }
    VideoFrame* get() const { return p; }
    bool operator!() const { return p == 0; }
};

class IClip {
    friend class PClip;
    friend class AVSValue;
    int refcnt;
    void AddRef() { __sync_add_and_fetch(&refcnt, 1); }
    void Release() {
        if (__sync_sub_and_fetch(&refcnt, 1) == 0) delete this;
    }

public:
    IClip() : refcnt(0) {}
    int RefCount() const { return refcnt; }

    virtual int __stdcall GetVersion() { return AVISYNTH_INTERFACE_VERSION; }
    virtual PVideoFrame __stdcall GetFrame(int n, IScriptEnvironment* env) = 0;
    virtual bool __stdcall GetParity(int n) = 0;
    virtual void __stdcall GetAudio(void* buf, int64 start, int64 count,
                                    IScriptEnvironment* env) = 0;
    virtual void __stdcall SetCacheHints(int cachehints, int frame_range) = 0;
    virtual const VideoInfo& __stdcall GetVideoInfo() = 0;
    // The host writes __stdcall here; Microsoft's compiler ignores a convention on a destructor.
    virtual ~IClip() {}
};

class PClip {
    IClip* p;

public:
    PClip() : p(0) {}
    PClip(IClip* clip) : p(clip) {
        if (p) p->AddRef();
    }
    PClip(const PClip& other) : p(other.p) {
        if (p) p->AddRef();
    }
    PClip& operator=(const PClip& other) {
        if (other.p) other.p->AddRef();
        if (p) p->Release();
        p = other.p;
        return *this;
    }
    ~PClip() {
        if (p) p->Release();
    }
    IClip* operator->() const { return p; }
    IClip* get() const { return p; }
    bool operator!() const { return p == 0; }
};

class AVSValue {
    short type;
    short array_size;
    union {
        IClip* clip;
        bool boolean;
        int integer;
        float floating_pt;
        const char* string;
        const AVSValue* array;
    };

public:
    AVSValue() : type('v'), array_size(0) { clip = 0; }
    AVSValue(IClip* c) : type('c'), array_size(0) {
        clip = c;
        if (c) c->AddRef();
    }
    AVSValue(const PClip& c) : type('c'), array_size(0) {
        clip = c.get();
        if (clip) clip->AddRef();
    }
    AVSValue(bool b) : type('b'), array_size(0) {
        clip = 0;
        boolean = b;
    }
    AVSValue(int i) : type('i'), array_size(0) { integer = i; }
    AVSValue(const char* s) : type('s'), array_size(0) { string = s; }
    AVSValue(const AVSValue* a, int size) : type('a'), array_size((short)size) { array = a; }
    AVSValue(const AVSValue& other) : type(other.type), array_size(other.array_size) {
        clip = other.clip;
        if (type == 'c' && clip) clip->AddRef();
    }
    AVSValue& operator=(const AVSValue& other) {
        if (other.type == 'c' && other.clip) other.clip->AddRef();
        if (type == 'c' && clip) clip->Release();
        type = other.type;
        array_size = other.array_size;
        clip = other.clip;
        return *this;
    }
    ~AVSValue() {
        if (type == 'c' && clip) clip->Release();
    }

    bool Defined() const { return type != 'v'; }
    bool IsClip() const { return type == 'c'; }
    char Type() const { return (char)type; }
    PClip AsClip() const { return IsClip() ? PClip(clip) : PClip(); }
    IClip* RawClip() const { return IsClip() ? clip : 0; }
};

typedef AVSValue(__cdecl* ApplyFunc)(AVSValue args, void* user_data, IScriptEnvironment* env);
typedef void(__cdecl* ShutdownFunc)(void* user_data, IScriptEnvironment* env);

class IScriptEnvironment {
public:
    virtual ~IScriptEnvironment() {}
    virtual long __stdcall GetCPUFlags() = 0;
    virtual char* __stdcall SaveString(const char* s, int length = -1) = 0;
// The host declares its variadic members __stdcall too; the compiler makes them cdecl, with
// `this` as the first stack argument, and says so.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wignored-attributes"
    virtual char* __stdcall Sprintf(const char* fmt, ...) = 0;
    virtual char* __stdcall VSprintf(const char* fmt, void* val) = 0;
    __declspec(noreturn) virtual void __stdcall ThrowError(const char* fmt, ...) = 0;
#pragma clang diagnostic pop
    virtual void __stdcall AddFunction(const char* name, const char* params, ApplyFunc apply,
                                       void* user_data) = 0;
    virtual bool __stdcall FunctionExists(const char* name) = 0;
    virtual AVSValue __stdcall Invoke(const char* name, const AVSValue args,
                                      const char** arg_names = 0) = 0;
    virtual AVSValue __stdcall GetVar(const char* name) = 0;
    virtual bool __stdcall SetVar(const char* name, const AVSValue& val) = 0;
    virtual bool __stdcall SetGlobalVar(const char* name, const AVSValue& val) = 0;
    virtual void __stdcall PushContext(int level = 0) = 0;
    virtual void __stdcall PopContext() = 0;
    virtual PVideoFrame __stdcall NewVideoFrame(const VideoInfo& vi, int align = FRAME_ALIGN) = 0;
    virtual bool __stdcall MakeWritable(PVideoFrame* pvf) = 0;
    virtual void __stdcall BitBlt(BYTE* dstp, int dst_pitch, const BYTE* srcp, int src_pitch,
                                  int row_size, int height) = 0;
    virtual void __stdcall AtExit(ShutdownFunc function, void* user_data) = 0;
    virtual void __stdcall CheckVersion(int version = AVISYNTH_INTERFACE_VERSION) = 0;
    virtual PVideoFrame __stdcall Subframe(PVideoFrame src, int rel_offset, int new_pitch,
                                           int new_row_size, int new_height) = 0;
    virtual int __stdcall SetMemoryMax(int mem) = 0;
    virtual int __stdcall SetWorkingDir(const char* newdir) = 0;
    virtual void* __stdcall ManageCache(int key, void* data) = 0;
    virtual bool __stdcall PlanarChromaAlignment(int key) = 0;
    virtual PVideoFrame __stdcall SubframePlanar(PVideoFrame src, int rel_offset, int new_pitch,
                                                 int new_row_size, int new_height,
                                                 int rel_offsetU, int rel_offsetV,
                                                 int new_pitchUV) = 0;
};

#pragma pack(pop)

static_assert(sizeof(VideoInfo) == 48, "VideoInfo");
static_assert(sizeof(VideoFrame) == 36, "VideoFrame");
static_assert(sizeof(VideoFrameBuffer) == 16, "VideoFrameBuffer");
static_assert(sizeof(AVSValue) == 8, "AVSValue");
static_assert(sizeof(PVideoFrame) == 4 && sizeof(PClip) == 4, "handles");
