// A picture: one BGR frame, filtered once.
#include "conversion.h"
#include "image_frames.h"
#include "media_clips.h"
#include "media_error.h"
#include "output_target.h"
#include "plugin_host.h"
#include "png_io.h"
#include "pnm_io.h"
#include "usage_error.h"

namespace cli {
namespace {

void writePicture(OutputTarget& target, media::MediaFormat format, const media::RgbImage& image) {
    try {
        switch (format) {
            case media::MediaFormat::Png:
                media::writePng(target.stream(), target.name(), image);
                break;
            case media::MediaFormat::Ppm: media::writePpm(target.writePath(), image); break;
            case media::MediaFormat::Pam: media::writePam(target.writePath(), image); break;
            case media::MediaFormat::Y4m: throw std::logic_error("a picture written as video");
        }
    } catch (const media::MediaError& e) {
        throw media::MediaError(target.withOutputName(e.what()));
    }
}

}  // namespace

void convertPicture(const Conversion& c) {
    const media::RgbImage image = media::readImage(c.options.input);
    if (image.hasAlpha && c.outputFormat == media::MediaFormat::Ppm) {
        throw UsageError(c.options.input + " has alpha, which PPM cannot hold; use .png or .pam");
    }
    const PClip source = pictureClip(c.env, image);
    const standin::NamedArguments arguments =
        hostArguments(c.env, c.arguments, c.options.planarOrder);
    const PClip filter = invokeFilter(c.env, source, arguments);
    media::RgbImage result;
    {
        const PVideoFrame frame = filter->GetFrame(0, &c.env);
        result = frameToImage(*frame.get(), image.width, image.height, image.hasAlpha);
    }
    OutputTarget target(c.options.output);
    writePicture(target, c.outputFormat, result);
    target.commit();
}

}  // namespace cli
