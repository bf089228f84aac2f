// The parameter strings of registered functions, e.g. "c[sh]i[c4]b": one type letter per
// parameter (b bool, i int, f float, s string, c clip, . anything), optionally followed by
// * (zero or more) or + (one or more); "[name]" before a letter makes the parameter optional
// and passable by name.
#pragma once

#include <string>
#include <vector>

namespace standin {

struct Parameter {
    std::string name;  // empty for positional-only parameters
    char type = '.';
    char repeat = 0;   // 0, '*' or '+'

    bool Optional() const { return !name.empty(); }
};

// Throws HostError("invalid parameter string ...") for anything outside the grammar,
// including a name given twice (names are compared without regard to case).
std::vector<Parameter> ParseParameters(const std::string& params);

}  // namespace standin
