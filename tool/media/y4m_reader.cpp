#include "y4m_io.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "media_error.h"
#include "sample_order.h"

namespace media {

namespace {

void CopyRows(const uint8_t* source, std::size_t rowBytes, int height, const PlaneDest& dest) {
    for (int row = 0; row < height; ++row) {
        std::memcpy(dest.data + static_cast<std::ptrdiff_t>(row) * dest.pitch,
                    source + static_cast<std::size_t>(row) * rowBytes, rowBytes);
    }
}

// Fills one plane of rowBytes x height from fetch(buffer, bytes), which returns the bytes it
// got. Rows exactly as wide as the pitch take one read straight into the destination; padded
// rows take one read into scratch and a copy per row, which beats a read call per row.
template <typename Fetch>
std::size_t ReadPlane(Fetch& fetch, const PlaneDest& dest, std::size_t rowBytes, int height,
                      std::vector<uint8_t>& scratch) {
    const std::size_t bytes = rowBytes * static_cast<std::size_t>(height);
    if (static_cast<std::size_t>(dest.pitch) == rowBytes) return fetch(dest.data, bytes);
    scratch.resize(bytes);
    const std::size_t got = fetch(scratch.data(), bytes);
    if (got == bytes) CopyRows(scratch.data(), rowBytes, height, dest);
    return got;
}

// Reads the planes in file order; returns the bytes got, short only when the data ran out.
template <typename Fetch>
std::size_t ReadPlanes(Fetch& fetch, const Y4mHeader& header, const PlaneDest& y,
                       const PlaneDest& u, const PlaneDest& v, std::vector<uint8_t>& scratch) {
    const auto bytesPerSample = static_cast<std::size_t>(header.BytesPerSample());
    std::size_t got = ReadPlane(fetch, y, static_cast<std::size_t>(header.width) * bytesPerSample,
                                header.height, scratch);
    if (got < header.LumaBytes() || header.PlaneCount() == 1) return got;
    const std::size_t chromaRow = static_cast<std::size_t>(header.ChromaWidth()) * bytesPerSample;
    const std::size_t gotU = ReadPlane(fetch, u, chromaRow, header.ChromaHeight(), scratch);
    got += gotU;
    if (gotU < header.ChromaBytes()) return got;
    return got + ReadPlane(fetch, v, chromaRow, header.ChromaHeight(), scratch);
}

std::string DisplayNameOf(const std::string& path) { return path == "-" ? "standard input" : path; }

}  // namespace

Y4mReader::Y4mReader(const std::string& path) : name_(DisplayNameOf(path)) {
    if (path == "-") {
        file_ = stdin;
    } else {
        ownedFile_ = OpenInputFile(path);
        file_ = ownedFile_.get();
    }
    ReadStreamHeader();
}

Y4mReader::Y4mReader(std::FILE* file, std::string displayName)
    : file_(file), name_(std::move(displayName)) {
    if (!file_) throw std::invalid_argument("Y4mReader: no input stream");
    ReadStreamHeader();
}

void Y4mReader::ReadStreamHeader() {
    std::string line;
    const LineStatus status = ReadLine(file_, kMaxY4mLineLength, line, name_);
    if (status == LineStatus::EndOfFile) ThrowMediaError(name_, "empty file (no YUV4MPEG2 header)");
    if (status != LineStatus::Complete) {
        const std::string magic = "YUV4MPEG2";
        // Either the file stops inside the magic word, or it starts with the whole of it.
        const bool looksLikeY4m = line.compare(0, magic.size(), magic, 0, line.size()) == 0;
        if (!looksLikeY4m) ThrowMediaError(name_, "not a YUV4MPEG2 file");
        if (status == LineStatus::Truncated) {
            ThrowMediaError(name_, "the YUV4MPEG2 header is truncated (no end of line)");
        }
        ThrowMediaError(name_, "the YUV4MPEG2 header line is longer than " +
                                   std::to_string(kMaxY4mLineLength) + " bytes");
    }
    header_ = ParseY4mHeader(line, name_);
    firstFrameOffset_ = ftello(file_);
}

void Y4mReader::CheckDestinations(const PlaneDest& y, const PlaneDest& u,
                                  const PlaneDest& v) const {
    const long long lumaRow = static_cast<long long>(header_.width) * header_.BytesPerSample();
    const long long chromaRow =
        static_cast<long long>(header_.ChromaWidth()) * header_.BytesPerSample();
    const bool chromaMissing = header_.PlaneCount() == 3 && (!u.data || !v.data ||
                                                             u.pitch < chromaRow ||
                                                             v.pitch < chromaRow);
    if (!y.data || y.pitch < lumaRow || chromaMissing) {
        throw std::invalid_argument(
            "Y4mReader: plane destination missing or narrower than the plane");
    }
}

void Y4mReader::FinishSamples(int frameNumber, const PlaneDest& y, const PlaneDest& u,
                              const PlaneDest& v) const {
    if (header_.BytesPerSample() == 1) return;
    // Every 16-bit value is in range; only the byte order may need work.
    const bool checked = header_.bitDepth < 16;
    if (!checked && kLittleEndianHost) return;
    const auto maxSample = static_cast<uint16_t>(header_.MaxSample());
    const PlaneDest* planes[] = {&y, &u, &v};
    std::size_t planeStart = 0;  // samples in the frame before this plane
    for (int p = 0; p < header_.PlaneCount(); ++p) {
        const auto width = static_cast<std::size_t>(p == 0 ? header_.width : header_.ChromaWidth());
        const int height = p == 0 ? header_.height : header_.ChromaHeight();
        for (int row = 0; row < height; ++row) {
            uint8_t* samples = planes[p]->data + static_cast<std::ptrdiff_t>(row) * planes[p]->pitch;
            MatchByteOrder(samples, width, true);
            if (!checked || LargestSample(samples, width) <= maxSample) continue;
            std::size_t column = 0;
            while (LoadSample(samples + 2 * column) <= maxSample) ++column;
            ThrowSampleBeyond(frameNumber,
                              planeStart + static_cast<std::size_t>(row) * width + column,
                              LoadSample(samples + 2 * column));
        }
        planeStart += width * static_cast<std::size_t>(height);
    }
}

void Y4mReader::ThrowSampleBeyond(int frameNumber, std::size_t index, unsigned value) const {
    const char* plane = "Y";
    std::size_t width = static_cast<std::size_t>(header_.width);
    const std::size_t luma = width * static_cast<std::size_t>(header_.height);
    if (index >= luma) {
        width = static_cast<std::size_t>(header_.ChromaWidth());
        const std::size_t chroma = width * static_cast<std::size_t>(header_.ChromaHeight());
        plane = index - luma < chroma ? "U" : "V";
        index = (index - luma) % chroma;
    }
    ThrowMediaError(name_, "frame " + std::to_string(frameNumber) + ": sample " +
                               std::to_string(value) + " in the " + plane + " plane at column " +
                               std::to_string(index % width) + ", row " +
                               std::to_string(index / width) + " is beyond the " +
                               std::to_string(header_.bitDepth) + "-bit maximum " +
                               std::to_string(header_.MaxSample()) + " (C" +
                               header_.colourSpace + ")");
}

void Y4mReader::ThrowTruncated(int frameNumber, std::size_t got) const {
    ThrowMediaError(name_, "frame " + std::to_string(frameNumber) + " is truncated (expected " +
                               std::to_string(header_.FrameBytes()) + " bytes, got " +
                               std::to_string(got) + ")");
}

bool Y4mReader::ReadFrameLine(Y4mFrameHeader& frameHeader) {
    const int frameNumber = nextFrame_;
    std::string line;
    switch (ReadLine(file_, kMaxY4mLineLength, line, name_)) {
        case LineStatus::EndOfFile:
            return false;
        case LineStatus::Truncated:
            ThrowMediaError(name_, "frame " + std::to_string(frameNumber) +
                                       " is truncated (the file ends inside its FRAME line)");
        case LineStatus::TooLong:
            ThrowMediaError(name_, "frame " + std::to_string(frameNumber) +
                                       ": FRAME line longer than " +
                                       std::to_string(kMaxY4mLineLength) + " bytes");
        case LineStatus::Complete:
            break;
    }
    frameHeader.params = ParseFrameLine(line, name_, frameNumber);
    return true;
}

bool Y4mReader::ReadFrame(Y4mFrameHeader& frameHeader, const PlaneDest& y, const PlaneDest& u,
                          const PlaneDest& v) {
    CheckDestinations(y, u, v);
    if (!ReadFrameLine(frameHeader)) return false;
    auto fetch = [this](void* data, std::size_t bytes) {
        return ReadBytes(file_, data, bytes, name_);
    };
    const std::size_t got = ReadPlanes(fetch, header_, y, u, v, rowScratch_);
    if (got < header_.FrameBytes()) ThrowTruncated(nextFrame_, got);
    FinishSamples(nextFrame_, y, u, v);
    ++nextFrame_;
    return true;
}

bool Y4mReader::AtEnd() {
    errno = 0;
    const int c = getc_unlocked(file_);
    if (c == EOF) {
        if (std::ferror(file_)) ThrowSystemError(name_, "read error", errno != 0 ? errno : EIO);
        return true;
    }
    ungetc(c, file_);
    return false;
}

bool Y4mReader::SkipFrame() {
    Y4mFrameHeader ignored;
    if (!ReadFrameLine(ignored)) return false;
    // In slices, so that skipping never holds a whole (up to 128 MiB) frame in memory.
    // Samples are checked against the depth as readFrame does, and a truncated frame is
    // reported before a bad sample, so that skipping a frame fails where and as reading it
    // would. The slice size is even: no sample straddles two slices.
    uint8_t slice[64 * 1024];
    const bool checked = header_.BytesPerSample() == 2 && header_.bitDepth < 16;
    std::size_t badIndex = 0;
    unsigned badValue = 0;
    std::size_t got = 0;
    while (got < header_.FrameBytes()) {
        const std::size_t wanted = std::min(sizeof slice, header_.FrameBytes() - got);
        const std::size_t read = ReadBytes(file_, slice, wanted, name_);
        if (read < wanted) ThrowTruncated(nextFrame_, got + read);
        for (std::size_t i = 0; checked && badValue == 0 && i < read; i += 2) {
            const unsigned value = slice[i] | slice[i + 1] << 8;
            if (value > static_cast<unsigned>(header_.MaxSample())) {
                badIndex = (got + i) / 2;
                badValue = value;
            }
        }
        got += read;
    }
    if (badValue != 0) ThrowSampleBeyond(nextFrame_, badIndex, badValue);
    ++nextFrame_;
    return true;
}

int Y4mReader::CountFrames() {
    if (counted_) return static_cast<int>(frames_.size());
    const int fd = fileno(file_);
    struct stat info {};
    if (firstFrameOffset_ < 0 || fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ThrowMediaError(name_, "frames can only be counted in a regular file, not a pipe");
    }
    const long long fileSize = info.st_size;
    const long long frameBytes = static_cast<long long>(header_.FrameBytes());
    std::vector<FrameLocation> frames;
    char line[kMaxY4mLineLength + 1];
    long long offset = firstFrameOffset_;
    while (offset < fileSize) {
        if (frames.size() == static_cast<std::size_t>(INT_MAX)) {
            ThrowMediaError(name_, "more frames than this tool can number");
        }
        const int frameNumber = static_cast<int>(frames.size());
        const std::size_t got = ReadBytesAt(fd, line, sizeof line, offset, name_);
        const void* newline = std::memchr(line, '\n', got);
        if (!newline) {
            ThrowMediaError(name_, "frame " + std::to_string(frameNumber) +
                                       (got < sizeof line
                                            ? " is truncated (the file ends inside its FRAME line)"
                                            : ": FRAME line longer than " +
                                                  std::to_string(kMaxY4mLineLength) + " bytes"));
        }
        const std::size_t lineLength =
            static_cast<std::size_t>(static_cast<const char*>(newline) - line);
        FrameLocation frame;
        frame.params = ParseFrameLine(std::string_view(line, lineLength), name_, frameNumber);
        frame.dataOffset = offset + static_cast<long long>(lineLength) + 1;
        if (fileSize - frame.dataOffset < frameBytes) {
            ThrowTruncated(frameNumber, static_cast<std::size_t>(fileSize - frame.dataOffset));
        }
        offset = frame.dataOffset + frameBytes;
        frames.push_back(std::move(frame));
    }
    frames_ = std::move(frames);
    counted_ = true;
    return static_cast<int>(frames_.size());
}

void Y4mReader::ReadFrameAt(int frameNumber, Y4mFrameHeader& frameHeader, const PlaneDest& y,
                            const PlaneDest& u, const PlaneDest& v) const {
    if (!counted_) throw std::logic_error("Y4mReader::readFrameAt needs countFrames() first");
    CheckDestinations(y, u, v);
    if (frameNumber < 0 || static_cast<std::size_t>(frameNumber) >= frames_.size()) {
        ThrowMediaError(name_, "there is no frame " + std::to_string(frameNumber) +
                                   " (the file has " + std::to_string(frames_.size()) + " frames)");
    }
    const FrameLocation& frame = frames_[static_cast<std::size_t>(frameNumber)];
    const int fd = fileno(file_);
    long long offset = frame.dataOffset;
    auto fetch = [&](void* data, std::size_t bytes) {
        const std::size_t got = ReadBytesAt(fd, data, bytes, offset, name_);
        offset += static_cast<long long>(got);
        return got;
    };
    std::vector<uint8_t> scratch;  // per call, so that threads share nothing
    const std::size_t got = ReadPlanes(fetch, header_, y, u, v, scratch);
    // Only if the file shrank after it was counted.
    if (got < header_.FrameBytes()) ThrowTruncated(frameNumber, got);
    FinishSamples(frameNumber, y, u, v);
    frameHeader.params = frame.params;
}

}  // namespace media
