// What the programs that drive the real VapourSynth share: the API, a core that loads only the
// plug-ins it is told to (none from the system's folders), our plug-in loaded through the
// host's own LoadPlugin, and source clips whose frames a function of the program makes.
// They use VapourSynth4.h and nothing else of the host.
#pragma once

#include <VapourSynth4.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace vstest {

// A failure of the host, with its text.
struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Makes frame n of a source clip; the result is the caller's reference.
using MakeFrame = std::function<const VSFrame*(int n, VSCore* core, const VSAPI* api)>;

class Session {
public:
    // A core with `threads` worker threads and the plug-in at pluginPath loaded.
    Session(const std::string& pluginPath, int threads);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const VSAPI* Api() const { return api_; }
    VSCore* Core() const { return core_; }
    VSPlugin* Plugin() const { return plugin_; }

    // A clip of vi whose frames come from make, called on any worker thread. The caller owns
    // the node.
    VSNode* Source(const VSVideoInfo& vi, MakeFrame make);

    // basinlift.BasinLift(args): the node, or HostError with the host's or the plug-in's text.
    VSNode* BasinLift(const VSMap* args);

private:
    const VSAPI* api_ = nullptr;
    VSCore* core_ = nullptr;
    VSPlugin* plugin_ = nullptr;
};

// The host's description of a preset format, such as pfYUV420P8.
VSVideoFormat Format(const Session& session, int presetId);

}  // namespace vstest
