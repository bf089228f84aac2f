// The classic plug-in's only export. The host calls it once per load of the library (the
// classic host loads, initialises, unloads and reloads every plug-in when it scans its
// folder), so it registers the function and keeps no state.
#include "arguments.h"
#include "avisynth.h"
#include "create_basinlift.h"

#if defined(__i386__) && !defined(_WIN32)
// The 32-bit conformance test links this file with callers compiled for Microsoft's ABI, which
// decorate a stdcall C function with a leading underscore and its argument bytes.
#define BASINLIFT_ENTRY_NAME __asm__("\"_AvisynthPluginInit2@4\"")
#else
#define BASINLIFT_ENTRY_NAME
#endif

extern "C" __attribute__((visibility("default"))) const char* AVS_STDCALL
AvisynthPluginInit2(IScriptEnvironment* env) BASINLIFT_ENTRY_NAME;

extern "C" const char* AVS_STDCALL AvisynthPluginInit2(IScriptEnvironment* env) {
    env->AddFunction(engine::kFunctionName, engine::kAvisynthSignature, CreateBasinLift, nullptr);
    return engine::kPluginDescription;
}
