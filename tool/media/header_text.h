// The text of untrusted headers (YUV4MPEG2, PNM): strict parsing of their numbers.
#pragma once

#include <string_view>

namespace media {

// True if text is 1 to 18 ASCII digits (so the value cannot overflow); stores the value.
// Signs, spaces, and anything else make it false.
bool parseDecimal(std::string_view text, long long& value);

}  // namespace media
