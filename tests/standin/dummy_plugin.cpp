// A minimal plug-in for loading tests: one filter, a failing function and a load counter.
#include <avisynth.h>

#include <new>

namespace {

int loadCount = 0;

// Inverts the Y (or interleaved) plane; writes into a writable copy of the child's frame.
class InvertFirstPlane : public GenericVideoFilter {
public:
    using GenericVideoFilter::GenericVideoFilter;

    PVideoFrame GetFrame(int n, IScriptEnvironment* env) override {
        PVideoFrame frame = child->GetFrame(n, env);
        env->MakeWritable(&frame);
        uint8_t* row = frame->GetWritePtr();
        for (int y = 0; y < frame->GetHeight(); ++y, row += frame->GetPitch())
            for (int x = 0; x < frame->GetRowSize(); ++x) row[x] = static_cast<uint8_t>(255 - row[x]);
        return frame;
    }
};

AVSValue CreateInvert(AVSValue args, void*, IScriptEnvironment*) {
    // The host releases the argument's clip once more after this call returns.
    AddClipReference(args[0].AsClip().get());
    return AVSValue(new InvertFirstPlane(args[0].AsClip()));
}

AVSValue Fail(AVSValue args, void*, IScriptEnvironment* env) {
    env->ThrowError("dummy failure %d", args[0].AsInt());
    return AVSValue();  // not reached; GCC does not see [[noreturn]] through the virtual call
}

AVSValue LoadCount(AVSValue, void*, IScriptEnvironment*) { return AVSValue(loadCount); }

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
