// A picture: one BGR frame, filtered (or its regions shown) once.
#include "clips.h"
#include "output_target.h"
#include "plugin_host.h"
#include "regions_view.h"
#include "runs.h"

namespace cli {

void runPicture(const Run& run) {
    // The classic plug-in filters 8-bit RGB: 16-bit pictures are scaled to it.
    const media::Picture picture = media::toEightBits(media::readPicture(run.options.input));
    if (picture.hasAlpha && !run.outputFormat.holdsAlpha) {
        throw UsageError(run.options.input + " has alpha, which " + run.outputFormat.name +
                         " cannot hold; use " + media::pictureExtensions(" or ", true));
    }
    const PClip source = pictureClip(run.env, picture);
    const standin::NamedArguments arguments =
        hostArguments(run.env, run.arguments, run.options.planarOrder);
    const PClip filter = outputClips(run, source, arguments, 1).front();
    media::Picture result;
    {
        const PVideoFrame frame = filter->GetFrame(0, &run.env);
        result = frameToPicture(*frame.get(), picture.width, picture.height, picture.hasAlpha);
    }
    OutputTarget target(run.options.output);
    run.outputFormat.write(target.stream(), target.name(), result, media::WriteDepth::kPicture);
    target.commit();
}

}  // namespace cli
