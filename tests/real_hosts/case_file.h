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

// The cases named "base@depth" ("yuv420_factors@10", "...@float") hold the picture of the 8-bit
// case `base` at another depth: words shifted up, floats divided by 255 (less 0.5 for chroma).
struct DepthCase {
    std::string base;
    int bits;  // 32 for float
};
// False for a case without "@".
bool DepthOf(const std::string& name, DepthCase& depth);

// One plane of a frame as a frames file holds it: its samples, and whether it is chroma.
struct PlaneSamples {
    size_t samples;
    bool chroma;
};

// Whether `wide` (frames of `bits`-bit words or floats) is `bytes` (the same frames in 8 bits)
// scaled: every word shifted right by bits - 8 equals its byte, every float times 255 (its
// chroma offset added back) lies within 1 of it. "" when it is, else where it is not.
std::string CompareScaled(const std::string& wide, const std::string& bytes,
                          const std::vector<PlaneSamples>& frame, int bits);

}  // namespace hosttest
