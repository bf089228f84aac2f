#include "parameter_list.h"

#include <cctype>
#include <climits>

#include "format.h"
#include "host_error.h"

namespace standin {
namespace {

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool IsTypeLetter(char c) { return std::string("bifsc.").find(c) != std::string::npos; }

}  // namespace

std::vector<Parameter> ParseParameters(const std::string& params) {
    const auto invalid = [&] {
        return HostError(Format("invalid parameter string \"%s\"", params.c_str()));
    };
    std::vector<Parameter> parsed;
    size_t pos = 0;
    while (pos < params.size()) {
        Parameter parameter;
        if (params[pos] == '[') {
            const size_t close = params.find(']', pos + 1);
            if (close == std::string::npos || close == pos + 1) throw invalid();
            parameter.name = params.substr(pos + 1, close - pos - 1);
            for (char c : parameter.name)
                if (!IsNameChar(c)) throw invalid();
            for (const Parameter& earlier : parsed)
                if (EqualNoCase(earlier.name, parameter.name)) throw invalid();
            pos = close + 1;
        }
        if (pos >= params.size() || !IsTypeLetter(params[pos])) throw invalid();
        parameter.type = params[pos++];
        if (pos < params.size() && (params[pos] == '*' || params[pos] == '+'))
            parameter.repeat = params[pos++];
        parsed.push_back(std::move(parameter));
    }
    // The argument array's size is a short in the interface.
    if (parsed.size() > SHRT_MAX) throw invalid();
    return parsed;
}

}  // namespace standin
