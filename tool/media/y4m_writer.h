// Writes 8-bit YUV4MPEG2 video, reproducing a read header's parameters byte for byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "file_io.h"
#include "plane_buffer.h"
#include "y4m_header.h"

namespace media {

class Y4mWriter {
public:
    // Creates path; "-" writes to standard output.
    explicit Y4mWriter(const std::string& path);
    // Writes to file, which the caller keeps ownership of; displayName goes into messages.
    Y4mWriter(std::FILE* file, std::string displayName);
    // Closes an owned file without reporting errors: call close() to learn of them.
    ~Y4mWriter() = default;

    Y4mWriter(const Y4mWriter&) = delete;
    Y4mWriter& operator=(const Y4mWriter&) = delete;

    // Writes "YUV4MPEG2" and header.params. The frame geometry is taken from the tokens,
    // so header's width, height and chroma must agree with them (std::invalid_argument
    // otherwise): a header from Y4mReader or parseY4mHeader always does.
    void writeHeader(const Y4mHeader& header);

    // Writes "FRAME", frameHeader.params, '\n' and the planes (sizes as in the header),
    // then flushes, so that a reader at the other end of a pipe gets whole frames and a
    // failing write is reported at the frame that caused it.
    void writeFrame(const Y4mFrameHeader& frameHeader, const PlaneSource& y, const PlaneSource& u,
                    const PlaneSource& v);

    // Flushes, and closes the file if this writer opened it. Throws MediaError on a write
    // error. Later calls do nothing.
    void close();

private:
    FilePtr ownedFile_;
    std::FILE* file_ = nullptr;
    std::string name_;
    Y4mHeader header_;
    bool headerWritten_ = false;
    bool closed_ = false;
    std::vector<uint8_t> frameBuffer_;  // one whole frame, so that it goes out in one write
};

}  // namespace media
