#include <string>

#include "file_io.h"
#include "media_error.h"
#include "pnm_io.h"

namespace media {

namespace {

void writeNetpbm(const std::string& path, const std::string& header, const RgbImage& image) {
    FilePtr file = openOutputFile(path);
    writeBytes(file.get(), header.data(), header.size(), path);
    writeBytes(file.get(), image.pixels.data(), image.pixels.size(), path);
    closeOutputFile(std::move(file), path);
}

}  // namespace

void writePpm(const std::string& path, const RgbImage& image) {
    checkImageConsistent(image);
    if (image.hasAlpha)
        throwMediaError(path, "PPM cannot hold an alpha channel; write .png or .pam");
    writeNetpbm(
        path, "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n",
        image);
}

void writePam(const std::string& path, const RgbImage& image) {
    checkImageConsistent(image);
    writeNetpbm(path,
                "P7\nWIDTH " + std::to_string(image.width) + "\nHEIGHT " +
                    std::to_string(image.height) + "\nDEPTH " + std::to_string(image.channels()) +
                    "\nMAXVAL 255\nTUPLTYPE " + (image.hasAlpha ? "RGB_ALPHA" : "RGB") +
                    "\nENDHDR\n",
                image);
}

}  // namespace media
