#include "plugin_host.h"

#include <stdexcept>

#include "arguments.h"
#include "format.h"

namespace cli {

std::string LoadFilterPlugin(standin::ScriptEnvironment& env, const std::string& path) {
    env.LoadPlugin(path);
    for (const standin::RegisteredFunction& function : env.Functions())
        if (standin::EqualNoCase(function.name, engine::kFunctionName)) return function.params;
    throw std::runtime_error(path + ": the plug-in does not register " + engine::kFunctionName);
}

standin::NamedArguments HostArguments(const std::vector<NamedArgument>& arguments) {
    standin::NamedArguments named;
    for (const NamedArgument& a : arguments) {
        switch (a.type) {
            case 'i': named.emplace_back(a.name, AVSValue(a.integer)); break;
            case 'b': named.emplace_back(a.name, AVSValue(a.boolean)); break;
            case 'f': named.emplace_back(a.name, AVSValue(a.floating)); break;
            case 's': named.emplace_back(a.name, AVSValue(a.text.c_str())); break;
            case 'c': break;
            default: throw std::logic_error("an argument of a type that was never bound");
        }
    }
    return named;
}

}  // namespace cli
