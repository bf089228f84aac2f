#include "formats.h"

#include "file_io.h"
#include "media_error.h"
#include "png_io.h"
#include "pnm_io.h"

namespace media {

namespace {

std::string LowerCaseExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

std::string Joined(const std::vector<std::string>& items, const char* last) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? last : ", ";
        text += items[i];
    }
    return text;
}

}  // namespace

const std::vector<MediaFormat>& MediaFormats() {
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
         ReadPng, WritePng},
        {"PPM", ".ppm", false, false,
         "binary PPM (P6), maxval 255 or 65535 (16 bits); without alpha.\n", ReadPnm,
         WritePpm},
        {"PAM", ".pam", false, true,
         "PAM (P7), TUPLTYPE RGB or RGB_ALPHA, MAXVAL 255 or 65535 (16 bits).\n",
         ReadPnm, WritePam},
    };
    return formats;
}

const MediaFormat& MediaFormatOf(const std::string& path) {
    const std::string extension = path == "-" ? ".y4m" : LowerCaseExtension(path);
    std::vector<std::string> video;
    for (const MediaFormat& format : MediaFormats()) {
        if (extension == format.extension) return format;
        if (format.isVideo) video.push_back(format.extension);
    }
    ThrowMediaError(path, "unsupported file type (supported: " + Joined(video, ", ") +
                              " or - for video; " + PictureExtensions(", ") +
                              " for pictures)");
}

std::string PictureExtensions(const char* last, bool holdingAlphaOnly) {
    std::vector<std::string> extensions;
    for (const MediaFormat& format : MediaFormats())
        if (!format.isVideo && (format.holdsAlpha || !holdingAlphaOnly))
            extensions.push_back(format.extension);
    return Joined(extensions, last);
}

Picture ReadPicture(const std::string& path) {
    const MediaFormat& format = MediaFormatOf(path);
    if (format.isVideo)
        ThrowMediaError(path,
                        "is video, not a picture (pictures: " + PictureExtensions(", ") + ")");
    FilePtr file = OpenInputFile(path);
    return format.read(file.get(), path);
}

}  // namespace media
