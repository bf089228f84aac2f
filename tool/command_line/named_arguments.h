// Binding the command line's name=value words to the named parameters of a registered
// function, typed by its parameter string ("c[sh]i[c4]b..."), as a script passes arguments
// by name. Nothing here touches the host, so a fuzz target can drive it directly.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct NamedArgument {
    std::string name;  // as the signature spells it
    char type = 0;     // the parameter's letter: 'i', 'b', 'f', 's' or 'c'
    int integer = 0;
    bool boolean = false;
    double floating = 0;
    std::string text;  // 's': the string; 'c': the path of the file that makes the clip
};

// Throws UsageError for a word without '=', an unknown name, a name given twice, a value
// not of the parameter's type (integers: signed 32-bit decimal; booleans: true or false;
// clips: a file path other than "-", which is standard input and streams), or a parameter
// that cannot be given on a command line. Names and true and false match without regard to
// case, as in a script. Throws standin::HostError when params itself is malformed.
std::vector<NamedArgument> BindNamedArguments(const std::vector<std::string>& words,
                                              const std::string& params);

}  // namespace cli
