// Plug-in libraries opened by LoadPlugin. They stay open until this object is destroyed:
// the plug-in's clips, functions and exit callbacks are code inside them.
#pragma once

#include <avisynth.h>

#include <mutex>
#include <string>
#include <vector>

namespace standin {

using PluginInitFunction = const char*(AVS_STDCALL*)(IScriptEnvironment*);

class PluginLibraries {
public:
    PluginLibraries() = default;
    PluginLibraries(const PluginLibraries&) = delete;
    PluginLibraries& operator=(const PluginLibraries&) = delete;
    ~PluginLibraries();  // closes the libraries, last opened first

    // Opens the library and finds its entry point. Opening a library again is allowed (the
    // system counts the opens). Throws HostError when the file cannot be loaded or has no
    // entry point.
    PluginInitFunction Open(const std::string& path);

private:
    std::mutex mutex_;  // also serialises dlerror(), whose text is shared state
    std::vector<void*> handles_;
};

}  // namespace standin
