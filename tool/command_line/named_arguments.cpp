#include "named_arguments.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "command_line.h"
#include "format.h"
#include "parameter_list.h"

namespace cli {
namespace {

[[noreturn]] void Refuse(const std::string& word, const std::string& why) {
    throw UsageError("'" + word + "': " + why);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

enum class IntParse { Ok, Malformed, OutOfRange };

// Optional sign, then decimal digits only: no spaces, no hexadecimal, no trailing text.
IntParse ParseInt32(const std::string& text, int& value) {
    const bool hasSign = !text.empty() && (text[0] == '-' || text[0] == '+');
    const size_t first = hasSign ? 1 : 0;
    if (first == text.size()) return IntParse::Malformed;
    long long magnitude = 0;
    bool tooLarge = false;
    for (size_t pos = first; pos < text.size(); ++pos) {
        if (!IsDigit(text[pos])) return IntParse::Malformed;
        // Past 2^31 the value is out of range whatever follows; stop growing it.
        if (!tooLarge) magnitude = magnitude * 10 + (text[pos] - '0');
        tooLarge = tooLarge || magnitude > static_cast<long long>(INT_MAX) + 1;
    }
    const long long result = text[0] == '-' ? -magnitude : magnitude;
    if (tooLarge || result < INT_MIN || result > INT_MAX) return IntParse::OutOfRange;
    value = static_cast<int>(result);
    return IntParse::Ok;
}

bool ParseFloat(const std::string& text, double& value) {
    if (text.empty() || text.front() == ' ' || text.front() == '\t') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && errno == 0 && std::isfinite(value);
}

void ParseValue(const std::string& word, const std::string& value, NamedArgument& argument) {
    const std::string& name = argument.name;
    switch (argument.type) {
        case 'i':
            switch (ParseInt32(value, argument.integer)) {
                case IntParse::Ok: return;
                case IntParse::Malformed: Refuse(word, name + " takes an integer");
                case IntParse::OutOfRange:
                    Refuse(word, name +
                                     " is out of range (integers from -2147483648 to "
                                     "2147483647)");
            }
            return;
        case 'b':
            // Any case, as the names themselves and a script's true and false.
            if (!standin::EqualNoCase(value, "true") && !standin::EqualNoCase(value, "false"))
                Refuse(word, name + " takes true or false");
            argument.boolean = standin::EqualNoCase(value, "true");
            return;
        case 'f':
            if (!ParseFloat(value, argument.floating)) Refuse(word, name + " takes a number");
            return;
        case 's': argument.text = value; return;
        case 'c':
            if (value.empty()) Refuse(word, name + " takes the path of a video or picture file");
            if (value == "-")
                Refuse(word, name +
                                 " cannot be read from standard input, which streams the "
                                 "input; give a file");
            argument.text = value;
            return;
        default: Refuse(word, name + " cannot be given on the command line");
    }
}

std::string NamesOf(const std::vector<standin::Parameter>& parameters) {
    std::string names;
    for (const standin::Parameter& p : parameters) {
        if (!p.Optional()) continue;
        if (!names.empty()) names += ", ";
        names += p.name;
    }
    return names;
}

}  // namespace

std::vector<NamedArgument> BindNamedArguments(const std::vector<std::string>& words,
                                              const std::string& params) {
    const std::vector<standin::Parameter> parameters = standin::ParseParameters(params);
    std::vector<NamedArgument> bound;
    for (const std::string& word : words) {
        const size_t equals = word.find('=');
        if (equals == std::string::npos || equals == 0)
            throw UsageError("'" + word + "' is not of the form name=value");
        const std::string name = word.substr(0, equals);
        const standin::Parameter* parameter = nullptr;
        for (const standin::Parameter& p : parameters)
            if (p.Optional() && standin::EqualNoCase(p.name, name)) parameter = &p;
        if (!parameter)
            throw UsageError("unknown argument '" + name + "' (the filter takes " +
                             NamesOf(parameters) + ")");
        for (const NamedArgument& earlier : bound)
            if (earlier.name == parameter->name)
                throw UsageError("argument '" + parameter->name + "' is given twice");
        NamedArgument argument;
        argument.name = parameter->name;
        argument.type = parameter->repeat ? '.' : parameter->type;  // repeats never bind by name
        ParseValue(word, word.substr(equals + 1), argument);
        bound.push_back(std::move(argument));
    }
    return bound;
}

}  // namespace cli
