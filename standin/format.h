// printf-style formatting into std::string.
#pragma once

#include <cstdarg>
#include <string>

namespace standin {

// Leaves `args` untouched (works on a copy), so callers may format twice from one list.
std::string FormatV(const char* fmt, va_list args);
[[gnu::format(printf, 1, 2)]] std::string Format(const char* fmt, ...);

// The script language is case-insensitive for function and parameter names.
bool EqualNoCase(const std::string& a, const std::string& b);

}  // namespace standin
