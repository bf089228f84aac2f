#include "file_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "media_error.h"

namespace media {

FilePtr OpenInputFile(const std::string& path) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) ThrowSystemError(path, "cannot open for reading", errno);
    return file;
}

FilePtr OpenOutputFile(const std::string& path) {
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) ThrowSystemError(path, "cannot open for writing", errno);
    return file;
}

void CloseOutputFile(FilePtr file, const std::string& name) {
    const bool earlierError = std::ferror(file.get()) != 0;
    if (std::fclose(file.release()) != 0) ThrowSystemError(name, "write error", errno);
    if (earlierError) ThrowMediaError(name, "write error");
}

void FlushOutput(std::FILE* file, const std::string& name) {
    if (std::fflush(file) != 0) ThrowSystemError(name, "write error", errno);
}

std::size_t ReadBytes(std::FILE* file, void* data, std::size_t size, const std::string& name) {
    errno = 0;
    const std::size_t got = std::fread(data, 1, size, file);
    if (got < size && std::ferror(file)) {
        ThrowSystemError(name, "read error", errno != 0 ? errno : EIO);
    }
    return got;
}

void WriteBytes(std::FILE* file, const void* data, std::size_t size, const std::string& name) {
    errno = 0;
    if (std::fwrite(data, 1, size, file) != size) {
        ThrowSystemError(name, "write error", errno != 0 ? errno : EIO);
    }
}

std::size_t ReadBytesAt(int fd, void* data, std::size_t size, long long offset,
                        const std::string& name) {
    auto* bytes = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, bytes + done, size - done,
                                    static_cast<off_t>(offset + static_cast<long long>(done)));
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowSystemError(name, "read error", errno);
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

LineStatus ReadLine(std::FILE* file, std::size_t maxLength, std::string& line,
                    const std::string& name) {
    line.clear();
    errno = 0;
    for (;;) {
        const int c = getc_unlocked(file);
        if (c == EOF) {
            if (std::ferror(file)) ThrowSystemError(name, "read error", errno != 0 ? errno : EIO);
            return line.empty() ? LineStatus::EndOfFile : LineStatus::Truncated;
        }
        if (c == '\n') return LineStatus::Complete;
        line.push_back(static_cast<char>(c));
        if (line.size() > maxLength) return LineStatus::TooLong;
    }
}

long long BytesLeftInRegularFile(std::FILE* file) {
    struct stat info {};
    const int fd = fileno(file);
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    const long long position = ftello(file);
    if (position < 0 || position > info.st_size) return -1;
    return info.st_size - position;
}

}  // namespace media
