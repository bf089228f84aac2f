#include "y4m_io.h"

#include <cstring>
#include <stdexcept>

#include "media_error.h"

namespace media {

namespace {

uint8_t* appendPlane(uint8_t* out, const PlaneSource& source, int width, int height) {
    const auto rowBytes = static_cast<std::size_t>(width);
    if (source.pitch == width) {
        const std::size_t bytes = rowBytes * static_cast<std::size_t>(height);
        std::memcpy(out, source.data, bytes);
        return out + bytes;
    }
    for (int row = 0; row < height; ++row) {
        std::memcpy(out, source.data + static_cast<std::ptrdiff_t>(row) * source.pitch, rowBytes);
        out += rowBytes;
    }
    return out;
}

}  // namespace

Y4mWriter::Y4mWriter(std::FILE* file, std::string displayName)
    : file_(file), name_(std::move(displayName)) {
    if (!file_) throw std::invalid_argument("Y4mWriter: no output stream");
}

void Y4mWriter::writeHeader(const Y4mHeader& header) {
    if (headerWritten_) throw std::logic_error("Y4mWriter: header written twice");
    const std::string text = formatY4mHeader(header);
    if (text.size() - 1 > kMaxY4mLineLength) {
        throw std::invalid_argument("Y4mWriter: header longer than a reader accepts");
    }
    // Parsing what is about to be written both validates it and gives the geometry the
    // frames must have; text.size() - 1 drops the '\n'.
    Y4mHeader written = parseY4mHeader(std::string_view(text).substr(0, text.size() - 1), name_);
    if (written.width != header.width || written.height != header.height ||
        written.chroma != header.chroma) {
        throw std::invalid_argument("Y4mWriter: header fields disagree with its parameter tokens");
    }
    writeBytes(file_, text.data(), text.size(), name_);
    header_ = std::move(written);
    headerWritten_ = true;
}

void Y4mWriter::writeFrame(const Y4mFrameHeader& frameHeader, const PlaneSource& y,
                           const PlaneSource& u, const PlaneSource& v) {
    if (!headerWritten_ || closed_) {
        throw std::logic_error("Y4mWriter: frame written before the header or after close()");
    }
    const std::string& params = frameHeader.params;
    if ((!params.empty() && params[0] != ' ') || params.find('\n') != std::string::npos ||
        params.size() + 5 > kMaxY4mLineLength) {
        throw std::invalid_argument(
            "Y4mWriter: frame parameters must be empty or start with a "
            "space, and be one short line");
    }
    const int chromaWidth = header_.chromaWidth();
    if (!y.data || !u.data || !v.data || y.pitch < header_.width || u.pitch < chromaWidth ||
        v.pitch < chromaWidth) {
        throw std::invalid_argument("Y4mWriter: plane source missing or narrower than the plane");
    }
    const std::string line = "FRAME" + params + "\n";
    frameBuffer_.resize(line.size() + header_.frameBytes());
    uint8_t* out = frameBuffer_.data();
    std::memcpy(out, line.data(), line.size());
    out += line.size();
    out = appendPlane(out, y, header_.width, header_.height);
    out = appendPlane(out, u, chromaWidth, header_.chromaHeight());
    appendPlane(out, v, chromaWidth, header_.chromaHeight());
    writeBytes(file_, frameBuffer_.data(), frameBuffer_.size(), name_);
    flushOutput(file_, name_);
}

void Y4mWriter::close() {
    if (closed_) return;
    closed_ = true;
    flushOutput(file_, name_);
}

}  // namespace media
