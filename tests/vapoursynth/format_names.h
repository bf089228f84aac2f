// VapourSynth's names of video formats ("YUV420P10", "Gray16", "RGB30", "RGBS", "YUV444PH"),
// taken apart: the cases file names its clips so, and the host writes them so.
#pragma once

#include <optional>
#include <string>

namespace vstest {

// VapourSynth's colour families (cfGray, cfRGB, cfYUV), for code that does not include its
// header.
enum FamilyId { kGrayFamily = 1, kRgbFamily = 2, kYuvFamily = 3 };

struct FormatParts {
    int colorFamily;  // a FamilyId
    bool isFloat;
    int bits;  // per sample
    int subSamplingW, subSamplingH;
};

inline std::optional<FormatParts> ParseFormatName(const std::string& name) {
    // The sample part: digits for integers, S for 32-bit and H for 16-bit floats.
    const auto samples = [](const std::string& text, int divisor, FormatParts parts) -> std::optional<FormatParts> {
        if (text == "S" || text == "H") {
            parts.isFloat = true;
            parts.bits = text == "S" ? 32 : 16;
            return parts;
        }
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
        parts.bits = std::stoi(text) / divisor;
        return parts;
    };
    if (name.rfind("Gray", 0) == 0) return samples(name.substr(4), 1, {kGrayFamily, false, 0, 0, 0});
    if (name.rfind("RGB", 0) == 0) return samples(name.substr(3), name.size() > 4 ? 3 : 1, {kRgbFamily, false, 0, 0, 0});
    if (name.rfind("YUV", 0) != 0 || name.size() < 8 || name[6] != 'P') return std::nullopt;
    const std::string kind = name.substr(3, 3);
    const struct { const char* kind; int w, h; } kSubsampling[] = {
        {"420", 1, 1}, {"422", 1, 0}, {"444", 0, 0}, {"410", 2, 2}, {"411", 2, 0}, {"440", 0, 1}};
    for (const auto& s : kSubsampling)
        if (kind == s.kind) return samples(name.substr(7), 1, {kYuvFamily, false, 0, s.w, s.h});
    return std::nullopt;
}

}  // namespace vstest
