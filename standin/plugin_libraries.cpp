#include "plugin_libraries.h"

#include <dlfcn.h>

#include "format.h"
#include "host_error.h"

namespace standin {

PluginLibraries::~PluginLibraries() {
    for (auto it = handles_.rbegin(); it != handles_.rend(); ++it) dlclose(*it);
}

PluginInitFunction PluginLibraries::Open(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        throw HostError(Format("LoadPlugin: unable to load \"%s\": %s", path.c_str(),
                               reason ? reason : "unknown error"));
    }
    dlerror();  // clear, so a null symbol can be told from a failed look-up
    void* symbol = dlsym(handle, "AvisynthPluginInit2");
    if (!symbol) {
        dlclose(handle);
        throw HostError(Format("LoadPlugin: \"%s\" is not an AviSynth 2.5 plugin", path.c_str()));
    }
    handles_.push_back(handle);
    // POSIX guarantees that a data pointer from dlsym converts to a function pointer.
    return reinterpret_cast<PluginInitFunction>(symbol);
}

}  // namespace standin
