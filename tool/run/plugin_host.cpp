#include "plugin_host.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "clips.h"
#include "format.h"
#include "formats.h"
#include "media_error.h"

namespace cli {

std::string pluginBesideExecutable() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size())
        throw std::runtime_error(std::string("cannot find the plug-in beside this program (") +
                                 std::strerror(errno) + "); name it with --plugin");
    path.resize(static_cast<size_t>(length));
    return path.substr(0, path.rfind('/') + 1) + "BasinLift.so";
}

std::string loadFilterPlugin(standin::ScriptEnvironment& env, const std::string& path) {
    env.LoadPlugin(path);
    for (const standin::RegisteredFunction& function : env.Functions())
        if (standin::EqualNoCase(function.name, kFilterFunction)) return function.params;
    throw std::runtime_error(path + ": the plug-in does not register " + kFilterFunction);
}

standin::NamedArguments hostArguments(standin::ScriptEnvironment& env,
                                      const std::vector<NamedArgument>& arguments,
                                      PlanarOrder order) {
    // The plug-in reads sclip only to segment it instead of the clip: without useclip=true
    // the file is neither opened nor checked, and the user hears that it was not used.
    const bool segmentsSclip = isSetTrue(arguments, "useclip");
    standin::NamedArguments named;
    for (const NamedArgument& a : arguments) {
        if (a.type == 'c' && standin::EqualNoCase(a.name, "sclip") && !segmentsSclip) {
            warn(a.name + "=" + a.text + " is not used without useclip=true");
            continue;
        }
        switch (a.type) {
            case 'i': named.emplace_back(a.name, AVSValue(a.integer)); break;
            case 'b': named.emplace_back(a.name, AVSValue(a.boolean)); break;
            case 'f': named.emplace_back(a.name, AVSValue(a.floating)); break;
            case 's': named.emplace_back(a.name, AVSValue(a.text.c_str())); break;
            case 'c': {
                try {
                    media::mediaFormatOf(a.text);
                } catch (const media::MediaError& e) {
                    throw UsageError(a.name + "=" + a.text + ": " + e.what());
                }
                named.emplace_back(a.name, AVSValue(openClip(env, a.text, order)));
                break;
            }
            default: throw std::logic_error("an argument of a type that was never bound");
        }
    }
    return named;
}

bool isSetTrue(const std::vector<NamedArgument>& arguments, const std::string& name) {
    for (const NamedArgument& a : arguments)
        if (a.type == 'b' && standin::EqualNoCase(a.name, name)) return a.boolean;
    return false;
}

PClip invokeFilter(standin::ScriptEnvironment& env, const PClip& input,
                   const standin::NamedArguments& arguments) {
    return env.Invoke(kFilterFunction, {AVSValue(input)}, arguments).AsClip();
}

}  // namespace cli
