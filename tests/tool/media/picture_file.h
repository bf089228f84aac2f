// Writing a picture to a named file by its extension: what the tests need to make their
// inputs. The tool itself never does this; it writes through its safe output.
#pragma once

#include <string>

#include "file_io.h"
#include "formats.h"

inline void WritePictureFile(const std::string& path, const media::Picture& picture,
                             media::WriteDepth depth = media::WriteDepth::Picture) {
    media::FilePtr file = media::OpenOutputFile(path);
    media::MediaFormatOf(path).write(file.get(), path, picture, depth);
    media::CloseOutputFile(std::move(file), path);
}
