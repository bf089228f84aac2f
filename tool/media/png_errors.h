// libpng error plumbing shared by the PNG reader and writer (internal to the library).
//
// libpng reports a fatal error by calling the error function, which must not return. It
// records the message and longjmps back to the setjmp in the function that called libpng.
// C++ exceptions must not cross libpng's C frames, and a longjmp must not skip a C++
// destructor, so each function that calls setjmp owns only plain data; the libpng
// structures and every buffer belong to its caller.
#pragma once

#include <png.h>

namespace media {

struct PngFailure {
    char message[256];  // libpng's reason, or the one our I/O callbacks gave
    int systemError;    // errno of a failed read or write, else 0
    bool truncated;     // the input ended early
};

// Error and warning functions for png_create_*_struct, with a PngFailure as error pointer.
// Warnings are dropped: they do not stop decoding and the tool's output is its own.
void onPngError(png_structp png, png_const_charp message);
void onPngWarning(png_structp png, png_const_charp message);

}  // namespace media
