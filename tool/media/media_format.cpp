#include "media_format.h"

#include "media_error.h"
#include "png_io.h"
#include "pnm_io.h"

namespace media {

namespace {

std::string lowerCaseExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

[[noreturn]] void throwNotAnImage(const std::string& path) {
    throwMediaError(path, "is video, not an image (images: .png, .ppm, .pam)");
}

}  // namespace

MediaFormat mediaFormatOf(const std::string& path) {
    if (path == "-") return MediaFormat::Y4m;
    const std::string extension = lowerCaseExtension(path);
    if (extension == ".y4m") return MediaFormat::Y4m;
    if (extension == ".png") return MediaFormat::Png;
    if (extension == ".ppm") return MediaFormat::Ppm;
    if (extension == ".pam") return MediaFormat::Pam;
    throwMediaError(path,
                    "unsupported file type (supported: .y4m or - for video; .png, .ppm, "
                    ".pam for images)");
}

RgbImage readImage(const std::string& path) {
    switch (mediaFormatOf(path)) {
        case MediaFormat::Png:
            return readPng(path);
        case MediaFormat::Ppm:
        case MediaFormat::Pam:
            return readPnm(path);
        case MediaFormat::Y4m:
            break;
    }
    throwNotAnImage(path);
}

void writeImage(const std::string& path, const RgbImage& image) {
    switch (mediaFormatOf(path)) {
        case MediaFormat::Png:
            writePng(path, image);
            return;
        case MediaFormat::Ppm:
            writePpm(path, image);
            return;
        case MediaFormat::Pam:
            writePam(path, image);
            return;
        case MediaFormat::Y4m:
            break;
    }
    throwNotAnImage(path);
}

}  // namespace media
