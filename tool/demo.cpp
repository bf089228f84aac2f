#include "demo.h"

#include <cstdio>
#include <filesystem>

#include "demo_scene.h"
#include "image_frames.h"
#include "media_clips.h"
#include "output_target.h"
#include "plugin_host.h"
#include "png_io.h"

namespace cli {
namespace {

void writePngFile(const std::string& path, const media::RgbImage& image) {
    OutputTarget target(path);
    media::writePng(target.stream(), target.name(), image);
    target.commit();
    std::printf("wrote %s\n", path.c_str());
}

}  // namespace

void runDemo(standin::ScriptEnvironment& env, const std::string& directory) {
    const media::RgbImage scene = demoScene();
    media::RgbImage filtered;
    {
        const PClip filter = invokeFilter(env, pictureClip(env, scene), {});
        const PVideoFrame frame = filter->GetFrame(0, &env);
        filtered = frameToImage(*frame.get(), scene.width, scene.height, false);
    }
    std::filesystem::create_directories(directory);
    const std::string prefix = directory + "/";
    writePngFile(prefix + "input.png", scene);
    writePngFile(prefix + "output.png", filtered);
    writePngFile(prefix + "comparison.png", sideBySide(scene, filtered));
    std::printf("comparison.png shows the input (left) beside the output (right)\n");
}

}  // namespace cli
