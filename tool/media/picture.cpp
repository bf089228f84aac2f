#include "picture.h"

#include <stdexcept>

#include "media_error.h"

namespace media {

Picture ToEightBits(Picture picture) {
    if (picture.bitDepth != 16) return picture;
    CheckPictureConsistent(picture);
    picture.pixels.resize(picture.pixels16.size());
    for (std::size_t i = 0; i < picture.pixels16.size(); ++i)
        picture.pixels[i] = EightBitSample(picture.pixels16[i]);
    picture.pixels16 = PixelWords();
    picture.bitDepth = 8;
    return picture;
}

void CheckPictureSize(const std::string& name, long long width, long long height) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width < 1 || height < 1) ThrowMediaError(name, "picture size " + size + " is empty");
    // Sides first: once both are at most kMaxDimension their product cannot overflow.
    if (width > kMaxDimension || height > kMaxDimension || width * height > kMaxPixels) {
        ThrowMediaError(name, "picture size " + size + " exceeds the maximum (each side at most " +
                                  std::to_string(kMaxDimension) + ", at most " +
                                  std::to_string(kMaxPixels) + " pixels)");
    }
}

std::size_t CheckedProduct(const std::string& name, std::size_t a, std::size_t b, std::size_t c) {
    std::size_t ab = 0;
    std::size_t abc = 0;
    if (__builtin_mul_overflow(a, b, &ab) || __builtin_mul_overflow(ab, c, &abc)) {
        ThrowMediaError(name, "picture size overflows the address space");
    }
    return abc;
}

void CheckPictureConsistent(const Picture& picture) {
    if (picture.width < 1 || picture.height < 1 || picture.width > kMaxDimension ||
        picture.height > kMaxDimension ||
        static_cast<long long>(picture.width) * picture.height > kMaxPixels) {
        throw std::invalid_argument("Picture: size out of range");
    }
    const std::size_t samples = picture.Stride() * static_cast<std::size_t>(picture.height);
    const bool consistent =
        picture.bitDepth == 8    ? picture.pixels.size() == samples && picture.pixels16.empty()
        : picture.bitDepth == 16 ? picture.pixels16.size() == samples && picture.pixels.empty()
                                 : false;
    if (!consistent)
        throw std::invalid_argument("Picture: bit depth not 8 or 16, or sample count inconsistent");
}

}  // namespace media
