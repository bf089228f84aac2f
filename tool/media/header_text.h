// The text of untrusted input (YUV4MPEG2 and PNM headers, and whatever a message quotes):
// strict parsing of numbers, and a form that is safe to print.
#pragma once

#include <string>
#include <string_view>

namespace media {

// True if text is 1 to 18 ASCII digits (so the value cannot overflow); stores the value.
// Signs, spaces, and anything else make it false.
bool ParseDecimal(std::string_view text, long long& value);

// text with every byte that a terminal would not simply show escaped: \n, \r and \t by name,
// other control bytes, DEL and bytes that are not valid UTF-8 (or encode a C1 control) as
// \xHH. Printable ASCII and printable UTF-8 pass unchanged, so the result is text as it was
// whenever it was harmless, and escape sequences from a crafted file never reach the
// terminal. Idempotent: its output passes through unchanged.
std::string Printable(std::string_view text);

}  // namespace media
