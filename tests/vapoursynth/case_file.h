// The cases file that the host program runs and the test judges: one call a line,
// "name | clip | sclip | arguments", blank lines and lines beginning with # skipped.
#pragma once

#include <string>
#include <vector>

namespace vstest {

struct Case {
    std::string name, clip, sclip, arguments;
};

// Throws std::runtime_error for a file that cannot be read or a line that is not a case.
std::vector<Case> ReadCases(const std::string& path);

// The parts of text between separators, blanks trimmed; an empty text has none.
std::vector<std::string> Split(const std::string& text, char separator);

}  // namespace vstest
