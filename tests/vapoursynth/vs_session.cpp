#include "vs_session.h"

#include <memory>

namespace vstest {

namespace {

struct SourceData {
    VSVideoInfo vi;
    MakeFrame make;
};

const VSFrame* VS_CC SourceGetFrame(int n, int activationReason, void* instanceData, void**,
                                    VSFrameContext*, VSCore* core, const VSAPI* api) {
    if (activationReason != arInitial) return nullptr;
    return static_cast<SourceData*>(instanceData)->make(n, core, api);
}

void VS_CC SourceFree(void* instanceData, VSCore*, const VSAPI*) {
    delete static_cast<SourceData*>(instanceData);
}

// The result map's error text, or "" when it holds none.
std::string ErrorOf(const VSAPI* api, const VSMap* result) {
    const char* error = api->mapGetError(result);
    return error ? error : "";
}

}  // namespace

Session::Session(const std::string& pluginPath, int threads) {
    api_ = getVapourSynthAPI(VAPOURSYNTH_API_VERSION);
    if (!api_) throw HostError("VapourSynth gave no API " + std::to_string(VAPOURSYNTH_API_VERSION));
    core_ = api_->createCore(ccfDisableAutoLoading);
    api_->setThreadCount(threads, core_);
    VSPlugin* std = api_->getPluginByID("com.vapoursynth.std", core_);
    VSMap* args = api_->createMap();
    api_->mapSetData(args, "path", pluginPath.c_str(), -1, dtUtf8, maReplace);
    VSMap* loaded = api_->invoke(std, "LoadPlugin", args);
    api_->freeMap(args);
    const std::string error = ErrorOf(api_, loaded);
    api_->freeMap(loaded);
    if (!error.empty()) {
        api_->freeCore(core_);
        throw HostError("LoadPlugin: " + error);
    }
    plugin_ = api_->getPluginByID("com.basinlift.basinlift", core_);
}

Session::~Session() { api_->freeCore(core_); }

VSNode* Session::Source(const VSVideoInfo& vi, MakeFrame make) {
    auto data = std::make_unique<SourceData>(SourceData{vi, std::move(make)});
    VSNode* node = api_->createVideoFilter2("TestSource", &data->vi, SourceGetFrame, SourceFree,
                                            fmParallel, nullptr, 0, data.get(), core_);
    if (!node) throw HostError("TestSource: the host refused the clip's description");
    data.release();  // the node's now
    return node;
}

VSNode* Session::BasinLift(const VSMap* args) {
    if (!plugin_) throw HostError("the plug-in did not register com.basinlift.basinlift");
    VSMap* result = api_->invoke(plugin_, "BasinLift", args);
    const std::string error = ErrorOf(api_, result);
    VSNode* node = error.empty() ? api_->mapGetNode(result, "clip", 0, nullptr) : nullptr;
    api_->freeMap(result);
    if (!node) throw HostError(error);
    return node;
}

VSVideoFormat Format(const Session& session, int presetId) {
    VSVideoFormat format{};
    session.Api()->getVideoFormatByID(&format, static_cast<uint32_t>(presetId), session.Core());
    return format;
}

}  // namespace vstest
