// A minimal plug-in for loading tests: one filter, a failing function and a load counter.
#include <avisynth.h>

#include <new>

namespace {

int loadCount = 0;

// Inverts the Y (or interleaved) plane; writes into a writable copy of the child's frame.
class InvertFirstPlane : public GenericVideoFilter {
public:
    using GenericVideoFilter::GenericVideoFilter;

    PVideoFrame* AVS_STDCALL GetFrame_(PVideoFrame* result, int n,
                                       IScriptEnvironment* env) override {
        PVideoFrame frame = child->GetFrame(n, env);
        env->MakeWritable(&frame);
        uint8_t* row = frame->GetWritePtr();
        for (int y = 0; y < frame->GetHeight(); ++y, row += frame->GetPitch())
            for (int x = 0; x < frame->GetRowSize(); ++x) row[x] = static_cast<uint8_t>(255 - row[x]);
        return new (result) PVideoFrame(frame);
    }
};

AVSValue* AVS_CDECL CreateInvert(AVSValue* result, AVSValueArg raw, void*, IScriptEnvironment*) {
    const AVSValue args = AVSValue::Adopt(raw);
    return new (result) AVSValue(new InvertFirstPlane(args[0].AsClip()));
}

AVSValue* AVS_CDECL Fail(AVSValue*, AVSValueArg raw, void*, IScriptEnvironment* env) {
    const AVSValue args = AVSValue::Adopt(raw);
    env->ThrowError("dummy failure %d", args[0].AsInt());
    return nullptr;  // not reached; GCC does not see [[noreturn]] through the virtual call
}

AVSValue* AVS_CDECL LoadCount(AVSValue* result, AVSValueArg raw, void*, IScriptEnvironment*) {
    AVSValue::Adopt(raw);
    return new (result) AVSValue(loadCount);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const char* AVS_STDCALL
AvisynthPluginInit2(IScriptEnvironment* env) {
    env->CheckVersion(AVISYNTH_INTERFACE_VERSION);
    ++loadCount;
    env->AddFunction("DummyInvert", "c", CreateInvert, nullptr);
    env->AddFunction("DummyFail", "i", Fail, nullptr);
    env->AddFunction("DummyLoadCount", "", LoadCount, nullptr);
    return "stand-in test plug-in";
}
