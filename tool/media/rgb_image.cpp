#include "rgb_image.h"

#include <stdexcept>

#include "media_limits.h"

namespace media {

void checkImageConsistent(const RgbImage& image) {
    if (image.width < 1 || image.height < 1 || image.width > kMaxDimension ||
        image.height > kMaxDimension ||
        static_cast<long long>(image.width) * image.height > kMaxPixels ||
        image.pixels.size() != image.stride() * static_cast<std::size_t>(image.height)) {
        throw std::invalid_argument("RgbImage: size out of range or pixel count inconsistent");
    }
}

}  // namespace media
