// The stand-in host: an IScriptEnvironment for tests and the command-line tool.
//
// Owned by C++ code (on the stack or in a unique_ptr); plug-ins never delete it. Everything
// it handed out must be released before it is destroyed: clips first (their code may live in
// a plug-in library, which is closed at destruction), then frames (their memory is freed).
// Frame allocation, registration, invocation and the string store are thread-safe.
#pragma once

#include <avisynth.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "argument_binding.h"
#include "frame_pool.h"
#include "function_registry.h"
#include "host_error.h"
#include "plugin_libraries.h"
#include "string_store.h"

namespace standin {

class ScriptEnvironment final : public IScriptEnvironment {
public:
    // Every byte of a new frame starts as this, so that unwritten output shows in tests.
    static constexpr uint8_t kJunkByte = 0xCD;
    // Whether new frames are filled with kJunkByte (the default) or left as they come, as a
    // real host leaves them; the fill costs a pass over every frame.
    void FillNewFrames(bool fill) { fillNewFrames_ = fill; }

    ScriptEnvironment() = default;
    ScriptEnvironment(const ScriptEnvironment&) = delete;
    ScriptEnvironment& operator=(const ScriptEnvironment&) = delete;
    ~ScriptEnvironment();  // runs the AtExit callbacks, last registered first

    // ---- The interface's slots, in their order ----
    int AVS_STDCALL GetCPUFlags() override { return 0; }
    char* AVS_STDCALL SaveString(const char* s, int length) override;
    [[gnu::format(printf, 2, 3)]] char* AVS_CDECL Sprintf(const char* fmt, ...) override;
    // `args` is the caller's va_list cast to void*: where va_list is an array or a pointer
    // type (x86-64, x86) that is the pointer it decays to; where it is a struct, its address.
    char* AVS_STDCALL VSprintf(const char* fmt, void* args) override;
    [[noreturn, gnu::format(printf, 2, 3)]] void AVS_CDECL ThrowError(const char* fmt, ...) override;
    void AVS_STDCALL AddFunction(const char* name, const char* params, ApplyFunc apply,
                                 void* userData) override;
    bool AVS_STDCALL FunctionExists(const char* name) override;
    // An array argument gives one argument per element, named by the matching arg_names
    // entry (nullptr: positional); an undefined value gives no arguments; any other value
    // is the single argument.
    AVSValue Invoke(const char* name, const AVSValue args,
                    const char* const* argNames = nullptr) override;
    // Variables are one flat table; SetVar and SetGlobalVar both write it and return true
    // when the name is new. Reading an unknown name throws AvisynthError.
    AVSValue GetVar(const char* name) override;
    bool AVS_STDCALL SetVar(const char* name, const AVSValue& val) override;
    bool AVS_STDCALL SetGlobalVar(const char* name, const AVSValue& val) override;
    void AVS_STDCALL PushContext(int) override {}
    void AVS_STDCALL PopContext() override {}
    PVideoFrame NewVideoFrame(const VideoInfo& vi, int align = FRAME_ALIGN) override;
    bool AVS_STDCALL MakeWritable(PVideoFrame* pvf) override;
    void AVS_STDCALL BitBlt(uint8_t* dstp, int dstPitch, const uint8_t* srcp, int srcPitch,
                            int rowSize, int height) override;
    void AVS_STDCALL AtExit(ShutdownFunc function, void* userData) override;
    void AVS_STDCALL CheckVersion(int version) override;
    // Frames sharing a buffer are not made here: both release their argument and throw.
    PVideoFrame Subframe(PVideoFrame src, int relOffset, int newPitch, int newRowSize,
                         int newHeight) override;
    int AVS_STDCALL SetMemoryMax(int mem) override;
    int AVS_STDCALL SetWorkingDir(const char*) override { return 0; }
    void* AVS_STDCALL ManageCache(int, void*) override { return nullptr; }
    bool AVS_STDCALL PlanarChromaAlignment(int) override { return false; }
    PVideoFrame SubframePlanar(PVideoFrame src, int relOffset, int newPitch,
                               int newRowSize, int newHeight, int relOffsetU,
                               int relOffsetV, int newPitchUv) override;

    // ---- C++ API ----
    // The interface's Invoke(name, value, names) binds the same way; a braced single value
    // such as env.Invoke("F", {clip}) picks it.
    // Binds the arguments as the host does (see BindArguments), calls the function and
    // returns its result. Errors are AvisynthError, as is anything the function throws.
    AVSValue Invoke(const std::string& name, const std::vector<AVSValue>& positional,
                    const NamedArguments& named = {});
    std::vector<RegisteredFunction> Functions() const { return registry_.All(); }

    // Opens the library, calls its AvisynthPluginInit2 with this environment and returns
    // the description it gives. Throws AvisynthError when it cannot.
    std::string LoadPlugin(const std::string& path);

    // Bytes added to every new frame's pitch (rounded up to the frame's alignment), so that
    // pitches exceed row sizes and plug-ins that confuse the two show it.
    void SetExtraPitch(int bytes);

    size_t LiveFrameCount() const { return frames_.LiveCount(); }  // frames with references
    size_t HeldFrameCount() const { return frames_.HeldCount(); }  // frames not freed yet

    // ThrowError with a ready message.
    [[noreturn]] void Fail(const std::string& message);

private:
    // Runs f, turning HostError into the interface's error.
    template <class F>
    auto Guarded(F&& f) -> decltype(f()) {
        try {
            return f();
        } catch (const HostError& e) {
            Fail(e.what());
        }
    }
    VideoFrame* AllocateFrame(const FrameLayout& layout);
    AVSValue Call(const FunctionEntry& entry, std::vector<AVSValue> args);
    AVSValue Stored(const AVSValue& value);  // strings copied into the store

    // Destroyed last to first: the libraries must outlive everything holding their code.
    PluginLibraries plugins_;
    StringStore strings_;
    FramePool frames_;
    bool fillNewFrames_ = true;
    FunctionRegistry registry_;
    std::mutex mutex_;  // variables and exit callbacks
    std::map<std::string, AVSValue> variables_;  // keyed by lower-case name
    std::vector<std::pair<ShutdownFunc, void*>> exitCallbacks_;
    std::atomic<int> extraPitch_{0};
    std::atomic<int> memoryMax_{512};
};

}  // namespace standin
