// Thin, error-checked wrappers over stdio and pread shared by the readers and writers.
// Every failure becomes a MediaError naming the file; the C library's reason is kept.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

namespace media {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
// An owned stdio stream. Dropping it closes the file without reporting errors, which is
// right for inputs and for outputs abandoned after an earlier error; finished outputs go
// through closeOutputFile.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenInputFile(const std::string& path);
FilePtr OpenOutputFile(const std::string& path);

// Flushes and closes an output, reporting write errors that stdio held back (a full disk
// is often only noticed here).
void CloseOutputFile(FilePtr file, const std::string& name);

// Flushes an output that stays open (standard output, or a stream the caller owns).
void FlushOutput(std::FILE* file, const std::string& name);

// Reads up to size bytes; returns fewer only at the end of the file.
std::size_t ReadBytes(std::FILE* file, void* data, std::size_t size, const std::string& name);

// Writes all bytes or throws.
void WriteBytes(std::FILE* file, const void* data, std::size_t size, const std::string& name);

// Reads up to size bytes at offset without moving the file position, so that several
// threads may read one descriptor at once. Returns fewer only at the end of the file.
std::size_t ReadBytesAt(int fd, void* data, std::size_t size, long long offset,
                        const std::string& name);

// Bytes from the current position to the end of a regular file, or -1 when the stream is not
// a regular file (a pipe, a terminal) or its size cannot be told.
long long BytesLeftInRegularFile(std::FILE* file);

enum class LineStatus {
    Complete,   // line holds the text before '\n'; the '\n' is consumed
    EndOfFile,  // nothing was left to read
    Truncated,  // the file ended before '\n'; line holds what was there
    TooLong,    // more than maxLength bytes without '\n'; line holds the first maxLength + 1
};

// Reads one '\n'-terminated header line. Stdio's buffer makes the byte-wise scan cheap; it
// only ever covers short header lines, never picture data.
LineStatus ReadLine(std::FILE* file, std::size_t maxLength, std::string& line,
                    const std::string& name);

}  // namespace media
