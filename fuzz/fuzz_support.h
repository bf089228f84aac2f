// What the fuzz targets share: stopping on a broken property, and turning the fuzzer's bytes
// into a stdio stream for readers that take one.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzz {

// A broken property is reported like a crash, so that libFuzzer saves the input.
[[noreturn]] inline void Fail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "\n%s:%d: property broken: %s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_REQUIRE(condition, what)                                                  \
    do {                                                                               \
        if (!(condition))                                                              \
            ::fuzz::Fail(__FILE__, __LINE__, std::string(#condition " -- ") + (what)); \
    } while (0)

// The fuzzer's input as a target takes it apart: read front to back; past its end every
// read gives 0.
class Bytes {
public:
    Bytes(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    int Int32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
        return static_cast<int>(v);
    }
    std::vector<uint8_t> Rest() {
        std::vector<uint8_t> rest(data_ + pos_, data_ + size_);
        pos_ = size_;
        return rest;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A regular, already unlinked file that holds the current input. One per process, reused
// for every input: the stream is rewound and truncated rather than reopened, which keeps
// the cost per input to a few system calls. Regular, because some readers only work on one
// (seeking, pread).
class ScratchFile {
public:
    ScratchFile() : file_(std::tmpfile()) {
        if (!file_) Fail(__FILE__, __LINE__, "cannot create a temporary file");
    }
    ~ScratchFile() { std::fclose(file_); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Replaces the contents with the bytes and returns the stream, positioned at the start.
    std::FILE* Load(const uint8_t* data, std::size_t size) {
        std::rewind(file_);
        std::clearerr(file_);
        if (ftruncate(fileno(file_), 0) != 0 ||
            (size != 0 && std::fwrite(data, 1, size, file_) != size) || std::fflush(file_) != 0)
            Fail(__FILE__, __LINE__, "cannot write the temporary file");
        std::rewind(file_);
        return file_;
    }

private:
    std::FILE* file_;
};

}  // namespace fuzz
