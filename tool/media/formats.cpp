#include "formats.h"

#include "file_io.h"
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

std::string joined(const std::vector<std::string>& items, const char* last) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? last : ", ";
        text += items[i];
    }
    return text;
}

}  // namespace

const std::vector<MediaFormat>& mediaFormats() {
    static const std::vector<MediaFormat> formats{
        {"YUV4MPEG2", ".y4m", true, false,
         "YUV4MPEG2 video: 4:2:0 (C420, C420jpeg, C420mpeg2, C420paldv, or no C),\n"
         "         4:2:2 (C422), 4:4:4 (C444) or mono (Cmono) at 8 bits, and at 9 to 16 bits as\n"
         "         ffmpeg writes them (C420p10, C422p12, C444p16, Cmono16, ...). The output keeps\n"
         "         the stream's depth and format, and its and every frame's parameters.\n",
         nullptr, nullptr},
        {"PNG", ".png", false, true,
         "PNG of any colour type, as RGB or RGBA at 8 or 16 bits: grey and palettes\n"
         "         expanded, a tRNS chunk becomes alpha.\n",
         readPng, writePng},
        {"PPM", ".ppm", false, false,
         "binary PPM (P6), maxval 255 or 65535 (16 bits); without alpha.\n", readPnm,
         writePpm},
        {"PAM", ".pam", false, true,
         "PAM (P7), TUPLTYPE RGB or RGB_ALPHA, MAXVAL 255 or 65535 (16 bits).\n",
         readPnm, writePam},
    };
    return formats;
}

const MediaFormat& mediaFormatOf(const std::string& path) {
    const std::string extension = path == "-" ? ".y4m" : lowerCaseExtension(path);
    std::vector<std::string> video;
    for (const MediaFormat& format : mediaFormats()) {
        if (extension == format.extension) return format;
        if (format.isVideo) video.push_back(format.extension);
    }
    throwMediaError(path, "unsupported file type (supported: " + joined(video, ", ") +
                              " or - for video; " + pictureExtensions(", ") +
                              " for pictures)");
}

std::string pictureExtensions(const char* last, bool holdingAlphaOnly) {
    std::vector<std::string> extensions;
    for (const MediaFormat& format : mediaFormats())
        if (!format.isVideo && (format.holdsAlpha || !holdingAlphaOnly))
            extensions.push_back(format.extension);
    return joined(extensions, last);
}

Picture readPicture(const std::string& path) {
    const MediaFormat& format = mediaFormatOf(path);
    if (format.isVideo)
        throwMediaError(path,
                        "is video, not a picture (pictures: " + pictureExtensions(", ") + ")");
    FilePtr file = openInputFile(path);
    return format.read(file.get(), path);
}

}  // namespace media
