// The frame server's classic C++ plug-in interface (interface version 3), written for binary
// compatibility with the real hosts, each in the layout of the compiler that built it.
//
// Microsoft's layout (32-bit Windows, where the classic host is built with Microsoft's compiler,
// and the MSVC-ABI conformance build, AVS_MICROSOFT_LAYOUT): plug-ins are built with GCC, so
// wherever the two compilers would lay out or call a naively declared interface differently,
// this header spells out the Microsoft conventions by hand:
//   - every interface method carries an explicit calling convention;
//   - where the host declares a virtual destructor, Microsoft's ABI has one slot holding a
//     thiscall "scalar deleting destructor" that takes a flags word; GCC would emit two slots
//     there. That slot is declared as DeletingDtor_; GCC's own destructors come after the
//     host's slots, where the host never looks;
//   - a method that returns a class by value gets `this` before the hidden result pointer
//     from Microsoft but after it from GCC, so such methods are declared with an explicit
//     result pointer (GetFrame_, NewVideoFrame_, ...) and wrapped by inline functions;
//   - classes passed by value are constructed in the argument area and destroyed by the
//     callee under Microsoft's rules, so those parameters use trivially copyable stand-ins
//     (AVSValueArg, PVideoFrameArg) and the references they carry are handed over by hand;
//   - no virtual function is overloaded (Microsoft groups overloads in the vtable);
//   - 64-bit fields are 8-aligned, as under Microsoft's packing.
//
// GCC's layout (every other target: AviSynth+ on Linux and macOS is built by GCC or clang with
// the Itanium C++ ABI): the interface is declared plainly, as the host declares it, so the
// compiler lays it out and calls it the host's way: two destructor slots, the hidden result
// pointer before `this`, class arguments passed by address and destroyed by the caller, and
// reference counts of `long`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(_WIN32) || defined(AVS_MICROSOFT_LAYOUT)
#define AVS_MSVC_LAYOUT 1
#else
#define AVS_MSVC_LAYOUT 0
#endif

#if defined(__i386__) || defined(_M_IX86)
#define AVS_ABI_X86_32 1
#define AVS_STDCALL __attribute__((__stdcall__))
#define AVS_CDECL __attribute__((__cdecl__))
#define AVS_THISCALL __attribute__((__thiscall__))
#else
#define AVS_ABI_X86_32 0
#define AVS_STDCALL
#define AVS_CDECL
#define AVS_THISCALL
#endif

enum { AVISYNTH_INTERFACE_VERSION = 3 };
enum { FRAME_ALIGN = 16 };

// Plane selectors of VideoFrame's accessors.
enum { PLANAR_Y = 1, PLANAR_U = 2, PLANAR_V = 4, PLANAR_ALIGNED = 8 };

// Audio sample types.
enum { SAMPLE_INT8 = 1, SAMPLE_INT16 = 2, SAMPLE_INT24 = 4, SAMPLE_INT32 = 8, SAMPLE_FLOAT = 16 };

// Hints of IClip::SetCacheHints.
enum { CACHE_NOTHING = 0, CACHE_RANGE = 1, CACHE_ALL = 2 };

class IClip;
class IScriptEnvironment;
class PClip;
class PVideoFrame;
class AVSValue;

// ---------------------------------------------------------------------------------------------
// Reference counts of host objects change by interlocked operations.
// The hosts' counts are `long`: 32 bits under Microsoft's compiler, 64 bits under GCC on 64-bit
// targets.
namespace avs_detail {
#if AVS_MSVC_LAYOUT
typedef int Count;
#else
typedef long Count;
#endif
inline Count AtomicIncrement(Count* p) { return __atomic_add_fetch(p, 1, __ATOMIC_ACQ_REL); }
inline Count AtomicDecrement(Count* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_ACQ_REL); }
inline Count AtomicLoad(const Count* p) { return __atomic_load_n(p, __ATOMIC_ACQUIRE); }
}  // namespace avs_detail

// ---------------------------------------------------------------------------------------------
struct VideoInfo {
    int width;  // pixels; 0 means no video
    int height;
    unsigned fps_numerator;
    unsigned fps_denominator;
    int num_frames;
    int pixel_type;
    int audio_samples_per_second;  // 0 means no audio
    int sample_type;
    alignas(8) int64_t num_audio_samples;
    int nchannels;
    int image_type;

    static constexpr int CS_BGR = 1 << 28;
    static constexpr int CS_YUV = 1 << 29;
    static constexpr int CS_INTERLEAVED = 1 << 30;
    static constexpr int CS_PLANAR = static_cast<int>(1u << 31);
    static constexpr int CS_UNKNOWN = 0;
    static constexpr int CS_BGR24 = 1 | CS_BGR | CS_INTERLEAVED;  // 0x50000001
    static constexpr int CS_BGR32 = 2 | CS_BGR | CS_INTERLEAVED;  // 0x50000002
    static constexpr int CS_YUY2 = 4 | CS_YUV | CS_INTERLEAVED;   // 0x60000004
    static constexpr int CS_YV12 = 8 | CS_YUV | CS_PLANAR;        // 0xA0000008, V plane first
    static constexpr int CS_I420 = 16 | CS_YUV | CS_PLANAR;       // 0xA0000010, U plane first

    bool HasVideo() const { return width != 0; }
    bool HasAudio() const { return audio_samples_per_second != 0; }
    bool IsPlanar() const { return (pixel_type & CS_PLANAR) != 0; }
    // Bits per pixel of the five classic types (exact values only), else 0.
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
};

// ---------------------------------------------------------------------------------------------
// Frames are owned by the host. The plug-in only reads their fields and changes reference
// counts; it never creates, copies or deletes one.
struct VideoFrameBuffer {
    uint8_t* data;
    int data_size;
    avs_detail::Count sequence_number;  // bumped by every write-pointer request
    avs_detail::Count refcount;
#if !AVS_MSVC_LAYOUT
    void* device;  // AviSynth+'s; never read by plug-ins
#endif
};

class VideoFrame {
    avs_detail::Count refcount;  // PVideoFrame references
    VideoFrameBuffer* vfb;
    int offset, pitch, row_size, height;  // Y plane or interleaved data
    int offsetU, offsetV, pitchUV;        // chroma planes; pitchUV is 0 for interleaved frames

    friend class PVideoFrame;
    friend struct AvsLayoutChecks;
    void AddRef() { avs_detail::AtomicIncrement(&refcount); }
    void Release() {
        // The host recycles frames whose count reaches 0; the buffer is shared by frames that
        // refer to the same pixels, and is released with the frame's last reference.
        if (avs_detail::AtomicLoad(&refcount) == 1) avs_detail::AtomicDecrement(&vfb->refcount);
        avs_detail::AtomicDecrement(&refcount);
    }

    int OffsetOf(int plane) const {
        switch (plane) {
            case PLANAR_U: return offsetU;
            case PLANAR_V: return offsetV;
            default: return offset;
        }
    }
    static bool IsChroma(int plane) { return plane == PLANAR_U || plane == PLANAR_V; }

public:
    // Host side: a frame over a buffer, with no references yet. The buffer's count counts the
    // frames that use it.
    VideoFrame(VideoFrameBuffer* buffer, int offset_, int pitch_, int rowSize, int height_,
               int offsetU_, int offsetV_, int pitchUV_)
        : refcount(0), vfb(buffer), offset(offset_), pitch(pitch_), row_size(rowSize),
          height(height_), offsetU(offsetU_), offsetV(offsetV_), pitchUV(pitchUV_) {
        avs_detail::AtomicIncrement(&vfb->refcount);
    }

    int GetPitch(int plane = 0) const { return IsChroma(plane) ? pitchUV : pitch; }
    int GetRowSize(int plane = 0) const {
        if (IsChroma(plane)) return pitchUV ? row_size >> 1 : 0;
        return row_size;
    }
    int GetHeight(int plane = 0) const {
        if (IsChroma(plane)) return pitchUV ? height >> 1 : 0;
        return height;
    }
    const uint8_t* GetReadPtr(int plane = 0) const { return vfb->data + OffsetOf(plane); }
    bool IsWritable() const {
        return avs_detail::AtomicLoad(&refcount) == 1 && avs_detail::AtomicLoad(&vfb->refcount) == 1;
    }
    // As in the real host: the Y (or whole-frame) pointer is null unless the frame is writable;
    // chroma pointers are handed out unchecked, so take the Y pointer first.
    uint8_t* GetWritePtr(int plane = 0) const {
        if (IsChroma(plane)) return vfb->data + OffsetOf(plane);
        if (!IsWritable()) return nullptr;
        avs_detail::AtomicIncrement(&vfb->sequence_number);
        return vfb->data + offset;
    }
    VideoFrameBuffer* GetFrameBuffer() const { return vfb; }
    long RefCount() const { return avs_detail::AtomicLoad(&refcount); }
};

// ---------------------------------------------------------------------------------------------
// Counted handle to a frame.
class PVideoFrame {
    VideoFrame* p;

public:
    PVideoFrame() : p(nullptr) {}
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
    explicit operator bool() const { return p != nullptr; }
    bool operator!() const { return p == nullptr; }
    void reset() { *this = PVideoFrame(); }
};

#if AVS_MSVC_LAYOUT
// Trivially copyable stand-in for a PVideoFrame passed by value across the interface. The
// caller hands over one reference, which the callee must release.
struct PVideoFrameArg {
    VideoFrame* frame;
};
#endif

// ---------------------------------------------------------------------------------------------
class IClip {
    avs_detail::Count refcnt;  // after the vtable pointer

    friend class PClip;
    friend class AVSValue;
    friend struct AvsLayoutChecks;
    friend void AddClipReference(IClip* clip);
    friend void ReleaseClipReference(IClip* clip);
    void AddRef() { avs_detail::AtomicIncrement(&refcnt); }
#if AVS_MSVC_LAYOUT
    void Release() {
        if (avs_detail::AtomicDecrement(&refcnt) == 0) DeletingDtor_(1);
    }
#else
    void Release() {
        if (avs_detail::AtomicDecrement(&refcnt) == 0) delete this;
    }
#endif

public:
    IClip() : refcnt(0) {}
    IClip(const IClip&) = delete;
    IClip& operator=(const IClip&) = delete;

    // Slots 0 to 6, in the host's order.
    virtual int AVS_STDCALL GetVersion() { return AVISYNTH_INTERFACE_VERSION; }
#if AVS_MSVC_LAYOUT
    virtual PVideoFrame* AVS_STDCALL GetFrame_(PVideoFrame* result, int n,
                                               IScriptEnvironment* env) = 0;
#else
    virtual PVideoFrame GetFrame(int n, IScriptEnvironment* env) = 0;
#endif
    virtual bool AVS_STDCALL GetParity(int n) = 0;
    virtual void AVS_STDCALL GetAudio(void* buf, int64_t start, int64_t count,
                                      IScriptEnvironment* env) = 0;
    virtual void AVS_STDCALL SetCacheHints(int cachehints, int frame_range) = 0;
    virtual const VideoInfo& AVS_STDCALL GetVideoInfo() = 0;
#if AVS_MSVC_LAYOUT
    // The host's virtual destructor: destroys the object and frees it when bit 0 of flags is
    // set, in the module that created it. Whoever drops the last reference calls it.
    virtual IClip* AVS_THISCALL DeletingDtor_(unsigned flags) {
        // Bit 1 would ask for an array delete; clips are never allocated as arrays.
        if (flags & 1)
            delete this;
        else
            this->~IClip();
        return this;
    }
    // GCC's own destructor slots follow the host's; the host never reaches them.
    virtual ~IClip() = default;

    // GetFrame_ constructs one reference in *result and returns result.
    PVideoFrame GetFrame(int n, IScriptEnvironment* env);
#else
    // Slots 6 and 7 (complete and deleting destructor); the host's delete calls 7.
    virtual ~IClip() = default;
#endif

    long RefCount() const { return avs_detail::AtomicLoad(&refcnt); }
};

// One reference more or less on a clip, without a handle: for making up for a host that
// releases a reference it never took, and for a host that does so.
inline void AddClipReference(IClip* clip) {
    if (clip) clip->AddRef();
}
inline void ReleaseClipReference(IClip* clip) {
    if (clip) clip->Release();
}

// Counted handle to a clip.
class PClip {
    IClip* p;

public:
    PClip() : p(nullptr) {}
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
    explicit operator bool() const { return p != nullptr; }
    bool operator!() const { return p == nullptr; }
    bool operator==(const PClip& other) const { return p == other.p; }
    bool operator!=(const PClip& other) const { return p != other.p; }
    void reset() { *this = PClip(); }
};

#if AVS_MSVC_LAYOUT
// Builds the result of GetFrame_ in raw storage, as the host's convention asks.
inline PVideoFrame IClip::GetFrame(int n, IScriptEnvironment* env) {
    alignas(PVideoFrame) unsigned char raw[sizeof(PVideoFrame)];
    PVideoFrame* slot = GetFrame_(reinterpret_cast<PVideoFrame*>(raw), n, env);
    PVideoFrame frame(*slot);
    slot->~PVideoFrame();
    return frame;
}

// ---------------------------------------------------------------------------------------------
// Trivially copyable stand-in for an AVSValue passed by value across the interface; same
// bytes as AVSValue. A clip in it carries one reference, which belongs to the callee.
struct AVSValueArg {
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
};
#endif

// A script value: void ('v'), clip ('c'), bool ('b'), int ('i'), float ('f'), string ('s')
// or array ('a'). Strings and arrays are not owned; clips are counted.
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

    void AddRefClip() const {
        if (type == 'c' && clip) clip->AddRef();
    }
    void ReleaseClip() const {
        if (type == 'c' && clip) clip->Release();
    }

public:
    AVSValue() : type('v'), array_size(0), clip(nullptr) {}
    AVSValue(IClip* c) : type('c'), array_size(0), clip(c) { AddRefClip(); }
    AVSValue(const PClip& c) : type('c'), array_size(0), clip(c.get()) { AddRefClip(); }
    AVSValue(bool b) : type('b'), array_size(0), clip(nullptr) { boolean = b; }
    AVSValue(int i) : type('i'), array_size(0), clip(nullptr) { integer = i; }
    AVSValue(float f) : type('f'), array_size(0), clip(nullptr) { floating_pt = f; }
    AVSValue(double f) : type('f'), array_size(0), clip(nullptr) {
        floating_pt = static_cast<float>(f);
    }
    AVSValue(const char* s) : type('s'), array_size(0), clip(nullptr) { string = s; }
    AVSValue(const AVSValue* a, int size)
        : type('a'), array_size(static_cast<short>(size)), clip(nullptr) {
        array = a;
    }
    AVSValue(const AVSValue& other) { std::memcpy(static_cast<void*>(this), &other, sizeof *this); AddRefClip(); }
    AVSValue& operator=(const AVSValue& other) {
        other.AddRefClip();
        ReleaseClip();
        std::memcpy(static_cast<void*>(this), &other, sizeof *this);
        return *this;
    }
    ~AVSValue() { ReleaseClip(); }

    bool Defined() const { return type != 'v'; }
    bool IsClip() const { return type == 'c'; }
    bool IsBool() const { return type == 'b'; }
    bool IsInt() const { return type == 'i'; }
    bool IsFloat() const { return type == 'f' || type == 'i'; }
    bool IsString() const { return type == 's'; }
    bool IsArray() const { return type == 'a'; }

    PClip AsClip() const { return IsClip() ? PClip(clip) : PClip(); }
    bool AsBool() const { return boolean; }
    bool AsBool(bool def) const { return IsBool() ? boolean : def; }
    int AsInt() const { return integer; }
    int AsInt(int def) const { return IsInt() ? integer : def; }
    const char* AsString(const char* def = nullptr) const { return IsString() ? string : def; }
    double AsFloat() const { return IsInt() ? integer : floating_pt; }
    double AsFloat(double def) const { return IsFloat() ? AsFloat() : def; }

    int ArraySize() const { return IsArray() ? array_size : 1; }
    const AVSValue& operator[](int index) const {
        return (IsArray() && index >= 0 && index < array_size) ? array[index] : *this;
    }

#if AVS_MSVC_LAYOUT
    // Handing a value across the interface by value: PassRef copies it with a reference of
    // its own for the callee; Adopt takes over the reference that an argument carries.
    AVSValueArg PassRef() const {
        AddRefClip();
        AVSValueArg arg;
        std::memcpy(&arg, this, sizeof arg);
        return arg;
    }
    static AVSValue Adopt(const AVSValueArg& arg) {
        AVSValue value;
        std::memcpy(static_cast<void*>(&value), &arg, sizeof value);
        return value;
    }
#endif
};

#if AVS_MSVC_LAYOUT
static_assert(sizeof(AVSValueArg) == sizeof(AVSValue), "AVSValueArg mirrors AVSValue");
#endif

// ---------------------------------------------------------------------------------------------
// The host's error, thrown by ThrowError. The message belongs to the host.
class AvisynthError {
public:
    const char* const msg;
    explicit AvisynthError(const char* message) : msg(message) {}
};

#if AVS_MSVC_LAYOUT
// A registered script function: builds its result in *result and returns result.
typedef AVSValue*(AVS_CDECL* ApplyFunc)(AVSValue* result, AVSValueArg args, void* user_data,
                                        IScriptEnvironment* env);
typedef void(AVS_CDECL* ShutdownFunc)(void* user_data, IScriptEnvironment* env);

class IScriptEnvironment {
public:
    // Slot 0: the host's virtual destructor. Plug-ins never delete the environment.
    virtual void* AVS_THISCALL DeletingDtor_(unsigned flags) = 0;
    virtual int AVS_STDCALL GetCPUFlags() = 0;
    virtual char* AVS_STDCALL SaveString(const char* s, int length) = 0;
    virtual char* AVS_CDECL Sprintf(const char* fmt, ...) = 0;
    virtual char* AVS_STDCALL VSprintf(const char* fmt, void* args) = 0;
    // Raises the host's script error with the formatted text; does not return.
    [[noreturn]] virtual void AVS_CDECL ThrowError(const char* fmt, ...) = 0;
    virtual void AVS_STDCALL AddFunction(const char* name, const char* params, ApplyFunc apply,
                                         void* user_data) = 0;
    virtual bool AVS_STDCALL FunctionExists(const char* name) = 0;
    virtual AVSValue* AVS_STDCALL Invoke_(AVSValue* result, const char* name, AVSValueArg args,
                                          const char* const* arg_names) = 0;
    virtual AVSValue* AVS_STDCALL GetVar_(AVSValue* result, const char* name) = 0;
    virtual bool AVS_STDCALL SetVar(const char* name, const AVSValue& val) = 0;
    virtual bool AVS_STDCALL SetGlobalVar(const char* name, const AVSValue& val) = 0;
    virtual void AVS_STDCALL PushContext(int level) = 0;
    virtual void AVS_STDCALL PopContext() = 0;
    virtual PVideoFrame* AVS_STDCALL NewVideoFrame_(PVideoFrame* result, const VideoInfo& vi,
                                                    int align) = 0;
    virtual bool AVS_STDCALL MakeWritable(PVideoFrame* pvf) = 0;
    virtual void AVS_STDCALL BitBlt(uint8_t* dstp, int dst_pitch, const uint8_t* srcp,
                                    int src_pitch, int row_size, int height) = 0;
    virtual void AVS_STDCALL AtExit(ShutdownFunc function, void* user_data) = 0;
    virtual void AVS_STDCALL CheckVersion(int version) = 0;
    virtual PVideoFrame* AVS_STDCALL Subframe_(PVideoFrame* result, PVideoFrameArg src,
                                               int rel_offset, int new_pitch, int new_row_size,
                                               int new_height) = 0;
    virtual int AVS_STDCALL SetMemoryMax(int mem) = 0;
    virtual int AVS_STDCALL SetWorkingDir(const char* newdir) = 0;
    virtual void* AVS_STDCALL ManageCache(int key, void* data) = 0;
    virtual bool AVS_STDCALL PlanarChromaAlignment(int key) = 0;
    virtual PVideoFrame* AVS_STDCALL SubframePlanar_(PVideoFrame* result, PVideoFrameArg src,
                                                     int rel_offset, int new_pitch,
                                                     int new_row_size, int new_height,
                                                     int rel_offsetU, int rel_offsetV,
                                                     int new_pitchUV) = 0;

    PVideoFrame NewVideoFrame(const VideoInfo& vi, int align = FRAME_ALIGN) {
        alignas(PVideoFrame) unsigned char raw[sizeof(PVideoFrame)];
        PVideoFrame* slot = NewVideoFrame_(reinterpret_cast<PVideoFrame*>(raw), vi, align);
        PVideoFrame frame(*slot);
        slot->~PVideoFrame();
        return frame;
    }
    AVSValue Invoke(const char* name, const AVSValue& args,
                    const char* const* arg_names = nullptr) {
        alignas(AVSValue) unsigned char raw[sizeof(AVSValue)];
        AVSValue* slot = Invoke_(reinterpret_cast<AVSValue*>(raw), name, args.PassRef(), arg_names);
        AVSValue value(*slot);
        slot->~AVSValue();
        return value;
    }

protected:
    ~IScriptEnvironment() = default;
};

#else
// A registered script function: the arguments arrive as one array value.
typedef AVSValue (*ApplyFunc)(AVSValue args, void* user_data, IScriptEnvironment* env);
typedef void (*ShutdownFunc)(void* user_data, IScriptEnvironment* env);

class IScriptEnvironment {
public:
    // Slots 0 and 1. Plug-ins never delete the environment.
    virtual ~IScriptEnvironment() {}
    virtual int GetCPUFlags() = 0;
    virtual char* SaveString(const char* s, int length = -1) = 0;
    virtual char* Sprintf(const char* fmt, ...) = 0;
    // `args` is a va_list, which decays to a pointer as an argument on these targets.
    virtual char* VSprintf(const char* fmt, void* args) = 0;
    // Raises the host's script error with the formatted text; does not return.
    [[noreturn]] virtual void ThrowError(const char* fmt, ...) = 0;
    virtual void AddFunction(const char* name, const char* params, ApplyFunc apply,
                             void* user_data) = 0;
    virtual bool FunctionExists(const char* name) = 0;
    virtual AVSValue Invoke(const char* name, const AVSValue args,
                            const char* const* arg_names = nullptr) = 0;
    virtual AVSValue GetVar(const char* name) = 0;
    virtual bool SetVar(const char* name, const AVSValue& val) = 0;
    virtual bool SetGlobalVar(const char* name, const AVSValue& val) = 0;
    virtual void PushContext(int level = 0) = 0;
    virtual void PopContext() = 0;
    virtual PVideoFrame NewVideoFrame(const VideoInfo& vi, int align = FRAME_ALIGN) = 0;
    virtual bool MakeWritable(PVideoFrame* pvf) = 0;
    virtual void BitBlt(uint8_t* dstp, int dst_pitch, const uint8_t* srcp, int src_pitch,
                        int row_size, int height) = 0;
    virtual void AtExit(ShutdownFunc function, void* user_data) = 0;
    virtual void CheckVersion(int version = AVISYNTH_INTERFACE_VERSION) = 0;
    virtual PVideoFrame Subframe(PVideoFrame src, int rel_offset, int new_pitch,
                                 int new_row_size, int new_height) = 0;
    virtual int SetMemoryMax(int mem) = 0;
    virtual int SetWorkingDir(const char* newdir) = 0;
    virtual void* ManageCache(int key, void* data) = 0;
    virtual bool PlanarChromaAlignment(int key) = 0;
    virtual PVideoFrame SubframePlanar(PVideoFrame src, int rel_offset, int new_pitch,
                                       int new_row_size, int new_height, int rel_offsetU,
                                       int rel_offsetV, int new_pitchUV) = 0;
};

#endif

// GenericVideoFilter: a clip over a child clip that forwards everything; filters override
// what they change.
class GenericVideoFilter : public IClip {
protected:
    PClip child;   // offset 8 on 32-bit targets
    VideoInfo vi;  // offset 16

public:
    explicit GenericVideoFilter(const PClip& c) : child(c), vi(c->GetVideoInfo()) {}

#if AVS_MSVC_LAYOUT
    PVideoFrame* AVS_STDCALL GetFrame_(PVideoFrame* result, int n,
                                       IScriptEnvironment* env) override {
        return child->GetFrame_(result, n, env);
    }
#else
    PVideoFrame GetFrame(int n, IScriptEnvironment* env) override {
        return child->GetFrame(n, env);
    }
#endif
    bool AVS_STDCALL GetParity(int n) override { return child->GetParity(n); }
    void AVS_STDCALL GetAudio(void* buf, int64_t start, int64_t count,
                              IScriptEnvironment* env) override {
        child->GetAudio(buf, start, count, env);
    }
    void AVS_STDCALL SetCacheHints(int, int) override {}
    const VideoInfo& AVS_STDCALL GetVideoInfo() override { return vi; }
};

// The plug-in's entry point, called once per load of the library with the environment;
// returns a constant description text.
extern "C" const char* AVS_STDCALL AvisynthPluginInit2(IScriptEnvironment* env);

#if AVS_MSVC_LAYOUT && AVS_ABI_X86_32
// The real host's layout on 32-bit x86.
static_assert(sizeof(VideoInfo) == 48, "VideoInfo is 48 bytes");
static_assert(offsetof(VideoInfo, num_audio_samples) == 32, "64-bit field at 32");
static_assert(offsetof(VideoInfo, image_type) == 44, "image_type at 44");
static_assert(sizeof(VideoFrameBuffer) == 16, "VideoFrameBuffer is 16 bytes");
static_assert(offsetof(VideoFrameBuffer, refcount) == 12, "buffer count at 12");
static_assert(sizeof(VideoFrame) == 36, "VideoFrame is 36 bytes");
static_assert(sizeof(AVSValue) == 8, "AVSValue is 8 bytes");
static_assert(sizeof(PClip) == 4 && sizeof(PVideoFrame) == 4, "handles are one pointer");
static_assert(sizeof(GenericVideoFilter) == 64, "GenericVideoFilter is 64 bytes");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct AvsLayoutChecks {
    static_assert(offsetof(VideoFrame, vfb) == 4 && offsetof(VideoFrame, offset) == 8 &&
                      offsetof(VideoFrame, pitch) == 12 && offsetof(VideoFrame, row_size) == 16 &&
                      offsetof(VideoFrame, height) == 20 && offsetof(VideoFrame, offsetU) == 24 &&
                      offsetof(VideoFrame, offsetV) == 28 && offsetof(VideoFrame, pitchUV) == 32,
                  "VideoFrame fields in the host's order");
    static_assert(offsetof(IClip, refcnt) == 4, "IClip's reference count at 4");
};
#pragma GCC diagnostic pop
#endif

#if !AVS_MSVC_LAYOUT && defined(__x86_64__)
// AviSynth+'s layout on x86-64 under GCC.
static_assert(sizeof(VideoInfo) == 48, "VideoInfo is 48 bytes");
static_assert(sizeof(VideoFrameBuffer) == 40, "VideoFrameBuffer is 40 bytes");
static_assert(offsetof(VideoFrameBuffer, sequence_number) == 16, "sequence number at 16");
static_assert(offsetof(VideoFrameBuffer, refcount) == 24, "buffer count at 24");
static_assert(sizeof(AVSValue) == 16, "AVSValue is 16 bytes");
static_assert(sizeof(PClip) == 8 && sizeof(PVideoFrame) == 8, "handles are one pointer");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct AvsLayoutChecks {
    static_assert(offsetof(VideoFrame, vfb) == 8 && offsetof(VideoFrame, offset) == 16 &&
                      offsetof(VideoFrame, pitch) == 20 && offsetof(VideoFrame, row_size) == 24 &&
                      offsetof(VideoFrame, height) == 28 && offsetof(VideoFrame, offsetU) == 32 &&
                      offsetof(VideoFrame, offsetV) == 36 && offsetof(VideoFrame, pitchUV) == 40,
                  "VideoFrame fields in the host's order");
    static_assert(offsetof(IClip, refcnt) == 8, "IClip's reference count at 8");
};
#pragma GCC diagnostic pop
#endif
