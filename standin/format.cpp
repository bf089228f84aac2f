#include "format.h"

#include <cctype>
#include <cstdio>

namespace standin {

std::string FormatV(const char* fmt, va_list args) {
    if (!fmt) return {};
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (length < 0) return fmt;  // an encoding error: the raw format still says something

    std::string text(static_cast<size_t>(length), '\0');
    va_list print;
    va_copy(print, args);
    std::vsnprintf(text.data(), text.size() + 1, fmt, print);
    va_end(print);
    return text;
}

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string text = FormatV(fmt, args);
    va_end(args);
    return text;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (std::tolower(ca) != std::tolower(cb)) return false;
    }
    return true;
}

}  // namespace standin
