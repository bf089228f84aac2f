#include "y4m_io.h"

#include <cstring>
#include <stdexcept>

#include "media_error.h"
#include "sample_order.h"

namespace media {

namespace {

uint8_t* AppendPlane(uint8_t* out, const PlaneSource& source, std::size_t rowBytes, int height) {
    if (static_cast<std::size_t>(source.pitch) == rowBytes) {
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

void Y4mWriter::WriteHeader(const Y4mHeader& header) {
    if (headerWritten_) throw std::logic_error("Y4mWriter: header written twice");
    const std::string text = FormatY4mHeader(header);
    if (text.size() - 1 > kMaxY4mLineLength) {
        throw std::invalid_argument("Y4mWriter: header longer than a reader accepts");
    }
    // Parsing what is about to be written both validates it and gives the geometry the
    // frames must have; text.size() - 1 drops the '\n'.
    Y4mHeader written = ParseY4mHeader(std::string_view(text).substr(0, text.size() - 1), name_);
    if (written.width != header.width || written.height != header.height ||
        written.chroma != header.chroma || written.bitDepth != header.bitDepth) {
        throw std::invalid_argument("Y4mWriter: header fields disagree with its parameter tokens");
    }
    WriteBytes(file_, text.data(), text.size(), name_);
    header_ = std::move(written);
    headerWritten_ = true;
}

void Y4mWriter::WriteFrame(const Y4mFrameHeader& frameHeader, const PlaneSource& y,
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
    const auto bytesPerSample = static_cast<std::size_t>(header_.BytesPerSample());
    const std::size_t lumaRow = static_cast<std::size_t>(header_.width) * bytesPerSample;
    const std::size_t chromaRow = static_cast<std::size_t>(header_.ChromaWidth()) * bytesPerSample;
    const bool chromaMissing =
        header_.PlaneCount() == 3 &&
        (!u.data || !v.data || u.pitch < 0 || v.pitch < 0 ||
         static_cast<std::size_t>(u.pitch) < chromaRow ||
         static_cast<std::size_t>(v.pitch) < chromaRow);
    if (!y.data || y.pitch < 0 || static_cast<std::size_t>(y.pitch) < lumaRow || chromaMissing) {
        throw std::invalid_argument("Y4mWriter: plane source missing or narrower than the plane");
    }
    const std::string line = "FRAME" + params + "\n";
    frameBuffer_.resize(line.size() + header_.FrameBytes());
    uint8_t* out = frameBuffer_.data();
    std::memcpy(out, line.data(), line.size());
    uint8_t* const planes = out + line.size();
    out = AppendPlane(planes, y, lumaRow, header_.height);
    if (header_.PlaneCount() == 3) {
        out = AppendPlane(out, u, chromaRow, header_.ChromaHeight());
        AppendPlane(out, v, chromaRow, header_.ChromaHeight());
    }
    if (bytesPerSample == 2) {
        const std::size_t samples = header_.FrameBytes() / 2;
        if (header_.bitDepth < 16 &&
            LargestSample(planes, samples) > static_cast<uint16_t>(header_.MaxSample())) {
            throw std::invalid_argument("Y4mWriter: a sample beyond the video's bit depth");
        }
        MatchByteOrder(planes, samples, true);
    }
    WriteBytes(file_, frameBuffer_.data(), frameBuffer_.size(), name_);
    FlushOutput(file_, name_);
}

void Y4mWriter::Close() {
    if (closed_) return;
    closed_ = true;
    FlushOutput(file_, name_);
}

}  // namespace media
