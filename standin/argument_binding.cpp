#include "argument_binding.h"

#include "format.h"
#include "host_error.h"

namespace standin {
namespace {

const char* TypeName(char type) {
    switch (type) {
        case 'c': return "a clip";
        case 'i': return "an integer";
        case 'b': return "a boolean";
        case 'f': return "a float";
        case 's': return "a string";
        default: return "a value";
    }
}

bool Accepts(char type, const AVSValue& value) {
    switch (type) {
        case 'c': return value.IsClip();
        case 'i': return value.IsInt();
        case 'b': return value.IsBool();
        case 'f': return value.IsFloat();
        case 's': return value.IsString() && value.AsString() != nullptr;
        default: return !value.IsString() || value.AsString() != nullptr;
    }
}

std::string Describe(const Parameter& parameter, size_t index) {
    if (parameter.Optional()) return "parameter \"" + parameter.name + "\"";
    return Format("argument %zu", index + 1);
}

}  // namespace

std::vector<AVSValue> BindArguments(const FunctionEntry& function,
                                    const std::vector<AVSValue>& positional,
                                    const NamedArguments& named) {
    const std::string& name = function.function.name;
    const std::vector<Parameter>& parameters = function.parameters;
    const auto invalid = [&](const std::string& what) {
        return HostError("Script error: Invalid arguments to function \"" + name + "\": " + what);
    };

    for (const Parameter& parameter : parameters)
        if (parameter.repeat)
            throw HostError("Script error: function \"" + name +
                            "\" has repeated parameters, which the stand-in host cannot bind");
    if (positional.size() > parameters.size())
        throw invalid(Format("too many arguments (%zu given, at most %zu)", positional.size(),
                             parameters.size()));

    std::vector<AVSValue> bound(parameters.size());
    std::vector<bool> given(parameters.size(), false);
    for (size_t i = 0; i < positional.size(); ++i) {
        bound[i] = positional[i];
        given[i] = true;
    }
    for (const auto& [argumentName, value] : named) {
        size_t index = 0;
        while (index < parameters.size() &&
               !(parameters[index].Optional() && EqualNoCase(parameters[index].name, argumentName)))
            ++index;
        if (index == parameters.size())
            throw invalid("there is no parameter named \"" + argumentName + "\"");
        if (given[index]) throw invalid(Describe(parameters[index], index) + " is given twice");
        bound[index] = value;
        given[index] = true;
    }

    for (size_t i = 0; i < parameters.size(); ++i) {
        const Parameter& parameter = parameters[i];
        AVSValue& value = bound[i];
        if (!value.Defined()) {
            if (!parameter.Optional())
                throw invalid(Describe(parameter, i) + " is missing (expects " +
                              TypeName(parameter.type) + ")");
            continue;
        }
        if (!Accepts(parameter.type, value))
            throw invalid(Describe(parameter, i) + " expects " + TypeName(parameter.type));
        if (parameter.type == 'f' && value.IsInt())
            value = AVSValue(static_cast<float>(value.AsInt()));
    }
    return bound;
}

}  // namespace standin
