#include "media_clips.h"

#include "image_frames.h"
#include "media_format.h"
#include "memory_clip.h"
#include "y4m_clips.h"

namespace cli {

PClip pictureClip(IScriptEnvironment& env, const media::RgbImage& image) {
    const VideoInfo vi = videoInfoOf(image);
    PVideoFrame frame = env.NewVideoFrame(vi);
    imageIntoFrame(image, *frame.get());
    return PClip(new standin::MemoryClip(vi, {frame}));
}

OpenedClip openClip(IScriptEnvironment& env, const std::string& path, PlanarOrder order) {
    if (media::isVideo(media::mediaFormatOf(path)))
        return {Y4mFileClip::open(path, order, false), false};
    const media::RgbImage image = media::readImage(path);
    return {pictureClip(env, image), image.hasAlpha};
}

}  // namespace cli
