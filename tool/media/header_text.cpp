#include "header_text.h"

namespace media {

bool parseDecimal(std::string_view text, long long& value) {
    if (text.empty() || text.size() > 18) return false;
    long long result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + (c - '0');
    }
    value = result;
    return true;
}

}  // namespace media
