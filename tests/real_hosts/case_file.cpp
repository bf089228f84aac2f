#include "case_file.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace hosttest {

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : std::string();
}

bool Exists(const std::string& path) { return static_cast<bool>(std::ifstream(path)); }

bool ReadFramesFile(const std::string& path, std::string& fields, std::string& bytes) {
    static const std::string kMagic = "BLFRAMES ";
    const std::string text = ReadFile(path);
    const size_t eol = text.find('\n');
    if (eol == std::string::npos || text.compare(0, kMagic.size(), kMagic) != 0) return false;
    fields = text.substr(kMagic.size(), eol - kMagic.size());
    bytes = text.substr(eol + 1);
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(Trim(part));
    if (!text.empty() && text.back() == separator) parts.push_back("");  // getline drops it
    return parts;
}

std::vector<Case> ReadCases(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<Case> cases;
    for (std::string line; std::getline(in, line);) {
        const std::string text = Trim(line);
        if (text.empty() || text[0] == '#') continue;
        const std::vector<std::string> f = Split(text, '|');
        if (f.size() != 4) throw std::runtime_error("not a case: " + line);
        cases.push_back({f[0], f[1], f[2], f[3]});
    }
    return cases;
}

bool DepthOf(const std::string& name, DepthCase& depth) {
    const size_t at = name.find('@');
    if (at == std::string::npos) return false;
    const std::string bits = name.substr(at + 1);
    depth = {name.substr(0, at), bits == "float" ? 32 : std::stoi(bits)};
    return true;
}

std::string CompareScaled(const std::string& wide, const std::string& bytes,
                          const std::vector<PlaneSamples>& frame, int bits) {
    const size_t sampleBytes = bits == 32 ? 4 : 2;
    if (wide.size() != bytes.size() * sampleBytes) return "the frames differ in size";
    size_t at = 0;
    for (size_t byte = 0; byte < bytes.size();)
        for (size_t p = 0; p < frame.size(); ++p)
            for (size_t i = 0; i < frame[p].samples; ++i, ++byte, at += sampleBytes) {
                const int expected = static_cast<uint8_t>(bytes[byte]);
                bool same;
                if (bits == 32) {
                    float value;
                    std::memcpy(&value, &wide[at], 4);
                    same = std::fabs((value + (frame[p].chroma ? 0.5f : 0.0f)) * 255.0f - expected) <= 1.0f;
                } else {
                    uint16_t value;
                    std::memcpy(&value, &wide[at], 2);
                    same = value >> (bits - 8) == expected;
                }
                if (!same)
                    return "plane " + std::to_string(p) + " sample " + std::to_string(i) +
                           " of the frame at byte " + std::to_string(byte - i) + " differs";
            }
    return "";
}

}  // namespace hosttest
