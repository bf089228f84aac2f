// Strict parsing of the unsigned decimal numbers found in YUV4MPEG2 and PNM headers.
#pragma once

#include <string_view>

namespace media {

// True if text is 1 to 18 ASCII digits (so the value cannot overflow); stores the value.
// Signs, spaces, and anything else make it false.
bool parseDecimal(std::string_view text, long long& value);

}  // namespace media
