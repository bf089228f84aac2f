// What the real-host tests share: the cases file that a host program runs and the test judges
// (one call a line, "name | clip | sclip | arguments", blank lines and lines beginning with #
// skipped), and reading back what the host program wrote.
#pragma once

#include <string>
#include <vector>

namespace hosttest {

struct Case {
    std::string name, clip, sclip, arguments;
};

// Throws std::runtime_error for a file that cannot be read or a line that is not a case.
std::vector<Case> ReadCases(const std::string& path);

// The parts of text between separators, blanks trimmed; an empty text has none.
std::vector<std::string> Split(const std::string& text, char separator);

// The text without blanks, tabs and carriage returns at either end.
std::string Trim(const std::string& text);

// The whole file, or "" when it cannot be read.
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// A frames file as the host programs write it: a line "BLFRAMES fields..." and the bytes of
// every frame after it. False when the file is missing or not one.
bool ReadFramesFile(const std::string& path, std::string& fields, std::string& bytes);

}  // namespace hosttest
