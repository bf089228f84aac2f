#include "script_environment.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "format.h"
#include "frame_tools.h"

namespace standin {
namespace {

std::string LowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// VSprintf receives the caller's va_list as void*. Where va_list is a pointer type (x86)
// the void* is that pointer; where it is an array (x86-64) the caller's va_list decayed to
// the array's address, and where it is a struct only its address can be passed: either way
// the void* then addresses a va_list object.
template <class List = va_list>
std::string FormatFromVoid(const char* fmt, void* args) {
    if constexpr (std::is_pointer_v<List>)
        return FormatV(fmt, static_cast<List>(args));
    else
        return FormatV(fmt, *static_cast<List*>(args));
}

}  // namespace

ScriptEnvironment::~ScriptEnvironment() {
    // Callbacks may still call back into the environment, so nothing is torn down before.
    for (auto it = exitCallbacks_.rbegin(); it != exitCallbacks_.rend(); ++it)
        it->first(it->second, this);
}

void ScriptEnvironment::Fail(const std::string& message) {
    throw AvisynthError(strings_.Save(message));
}

char* ScriptEnvironment::SaveString(const char* s, int length) { return strings_.Save(s, length); }

char* ScriptEnvironment::Sprintf(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string text = FormatV(fmt, args);
    va_end(args);
    return strings_.Save(text);
}

char* ScriptEnvironment::VSprintf(const char* fmt, void* args) {
    return strings_.Save(FormatFromVoid(fmt, args));
}

void ScriptEnvironment::ThrowError(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string text = FormatV(fmt, args);
    va_end(args);
    Fail(text);
}

void ScriptEnvironment::AddFunction(const char* name, const char* params, ApplyFunc apply,
                                    void* userData) {
    Guarded([&] { registry_.Add(name, params, apply, userData); });
}

bool ScriptEnvironment::FunctionExists(const char* name) {
    return name && registry_.Find(name).has_value();
}

AVSValue ScriptEnvironment::Invoke(const char* name, const AVSValue adopted,
                                   const char* const* argNames) {
    if (!name) Fail("Invoke: no function name");

    const int count = adopted.IsArray() ? adopted.ArraySize() : adopted.Defined() ? 1 : 0;
    std::vector<AVSValue> positional;
    NamedArguments named;
    for (int i = 0; i < count; ++i) {
        const char* argumentName = argNames ? argNames[i] : nullptr;
        if (argumentName)
            named.emplace_back(argumentName, adopted[i]);
        else
            positional.push_back(adopted[i]);
    }
    return Invoke(std::string(name), positional, named);
}

AVSValue ScriptEnvironment::Invoke(const std::string& name, const std::vector<AVSValue>& positional,
                                   const NamedArguments& named) {
    const std::optional<FunctionEntry> entry = registry_.Find(name);
    if (!entry) Fail("Script error: there is no function named \"" + name + "\"");
    return Call(*entry, Guarded([&] { return BindArguments(*entry, positional, named); }));
}

AVSValue ScriptEnvironment::Call(const FunctionEntry& entry, std::vector<AVSValue> args) {
    // Strings in scripts live as long as the host; filters may keep the pointers.
    for (AVSValue& arg : args) arg = Stored(arg);
    const AVSValue packed(args.data(), static_cast<int>(args.size()));
    AVSValue value = entry.function.apply(packed, entry.function.userData, this);
    // AviSynth+ releases every clip of the argument array once more after a classic plug-in's
    // creation call returns (it balances a copy that Microsoft's conventions leave to the
    // callee); plug-ins make up for it on these targets, and must find the same here.
    for (const AVSValue& arg : args)
        if (arg.IsClip()) ReleaseClipReference(arg.AsClip().get());
    return value;
}

AVSValue ScriptEnvironment::Stored(const AVSValue& value) {
    if (value.IsString() && value.AsString())
        return AVSValue(static_cast<const char*>(strings_.Save(value.AsString(), -1)));
    return value;
}

AVSValue ScriptEnvironment::GetVar(const char* name) {
    if (!name) Fail("GetVar: no variable name");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = variables_.find(LowerCase(name));
        if (it != variables_.end()) return it->second;
    }
    Fail(Format("GetVar: there is no variable named \"%s\"", name));
}

bool ScriptEnvironment::SetVar(const char* name, const AVSValue& val) {
    if (!name) Fail("SetVar: no variable name");
    const AVSValue stored = Stored(val);
    AVSValue replaced;  // released outside the lock: a clip's destructor may call back
    std::lock_guard<std::mutex> lock(mutex_);
    const auto [it, added] = variables_.try_emplace(LowerCase(name), stored);
    if (!added) {
        replaced = it->second;
        it->second = stored;
    }
    return added;
}

bool ScriptEnvironment::SetGlobalVar(const char* name, const AVSValue& val) {
    return SetVar(name, val);
}

PVideoFrame ScriptEnvironment::NewVideoFrame(const VideoInfo& vi, int align) {
    const FrameLayout layout =
        Guarded([&] { return ComputeFrameLayout(vi, align, extraPitch_.load()); });
    return PVideoFrame(AllocateFrame(layout));
}

VideoFrame* ScriptEnvironment::AllocateFrame(const FrameLayout& layout) {
    try {
        return frames_.Allocate(layout, fillNewFrames_ ? std::optional<uint8_t>(kJunkByte) : std::nullopt);
    } catch (const std::bad_alloc&) {
        Fail(Format("out of memory for a new frame of %d bytes", layout.dataSize));
    }
}

bool ScriptEnvironment::MakeWritable(PVideoFrame* pvf) {
    if (!pvf || !*pvf) Fail("MakeWritable: no frame");
    if ((*pvf)->IsWritable()) return false;
    const std::optional<FrameLayout> layout = frames_.LayoutOf(pvf->get());
    if (!layout) Fail("MakeWritable: the frame was not made by this environment");

    PVideoFrame copy(AllocateFrame(*layout));
    CopyVisibleBytes(*pvf->get(), *copy.get());
    *pvf = copy;
    return true;
}

void ScriptEnvironment::BitBlt(uint8_t* dstp, int dstPitch, const uint8_t* srcp, int srcPitch,
                               int rowSize, int height) {
    if (rowSize < 0 || height < 0)
        Fail(Format("BitBlt: invalid rectangle of %d bytes by %d rows", rowSize, height));
    if (rowSize == 0 || height == 0) return;
    if (!dstp || !srcp) Fail("BitBlt: null pointer");
    for (int y = 0; y < height; ++y)
        std::memmove(dstp + static_cast<ptrdiff_t>(y) * dstPitch,
                     srcp + static_cast<ptrdiff_t>(y) * srcPitch, static_cast<size_t>(rowSize));
}

void ScriptEnvironment::AtExit(ShutdownFunc function, void* userData) {
    if (!function) return;
    std::lock_guard<std::mutex> lock(mutex_);
    exitCallbacks_.emplace_back(function, userData);
}

void ScriptEnvironment::CheckVersion(int version) {
    if (version > AVISYNTH_INTERFACE_VERSION)
        ThrowError("Plugin was designed for a later version of Avisynth (%d)", version);
}

PVideoFrame ScriptEnvironment::Subframe(PVideoFrame, int, int, int, int) {
    Fail("Subframe is not supported by the stand-in host");
}

PVideoFrame ScriptEnvironment::SubframePlanar(PVideoFrame, int, int, int, int, int, int, int) {
    Fail("SubframePlanar is not supported by the stand-in host");
}

int ScriptEnvironment::SetMemoryMax(int mem) {
    if (mem > 0) memoryMax_.store(mem);
    return memoryMax_.load();
}

std::string ScriptEnvironment::LoadPlugin(const std::string& path) {
    const PluginInitFunction init = Guarded([&] { return plugins_.Open(path); });
    const char* description = init(this);
    return description ? description : "";
}

void ScriptEnvironment::SetExtraPitch(int bytes) {
    if (bytes < 0) throw std::invalid_argument("SetExtraPitch: negative padding");
    extraPitch_.store(bytes);
}

}  // namespace standin
