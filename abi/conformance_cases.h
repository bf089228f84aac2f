// What the conformance test feeds the filter, shared by its two programs: the 32-bit test
// host compiled for Microsoft's ABI, and the native program that renders the expected frames
// from the same plug-in sources. Plain C types only: the Microsoft side has no system headers.
#pragma once

// Pixel types, as the host numbers them.
enum {
    ABI_BGR24 = 0x50000001,
    ABI_BGR32 = 0x50000002,
    ABI_YUY2 = 0x60000004,
    ABI_YV12 = (int)0xA0000008u,
    ABI_I420 = (int)0xA0000010u,
};

// An argument that the script left out.
enum { ABI_UNSET = -1000 };

struct AbiCase {
    const char* name;
    int pixel_type;
    int width, height;
    unsigned seed;      // of the input clip
    unsigned seg_seed;  // of a separate segmentation clip (sclip), 0 for none
    // The script's arguments after the clip, ABI_UNSET where left out; c4 and useclip are
    // 0 or 1.
    int sh, sm, c4, useclip, smu, smv;
};

// Odd sizes where the format allows them, so that no row is a multiple of any alignment.
static const AbiCase kAbiCases[] = {
    {"BGR24 defaults", ABI_BGR24, 37, 23, 11, 0, ABI_UNSET, ABI_UNSET, ABI_UNSET, ABI_UNSET,
     ABI_UNSET, ABI_UNSET},
    {"BGR32 named", ABI_BGR32, 33, 20, 12, 0, 3, 5, 0, ABI_UNSET, ABI_UNSET, ABI_UNSET},
    {"YUY2 named", ABI_YUY2, 38, 21, 13, 0, 3, 5, 0, ABI_UNSET, 2, 1},
    {"YV12 defaults", ABI_YV12, 36, 22, 14, 0, ABI_UNSET, ABI_UNSET, ABI_UNSET, ABI_UNSET,
     ABI_UNSET, ABI_UNSET},
    {"I420 named", ABI_I420, 34, 18, 15, 0, 3, 5, 0, ABI_UNSET, 2, 1},
    {"YV12 sclip", ABI_YV12, 30, 26, 16, 61, -4, 3, ABI_UNSET, 1, 1, 0},
    {"YUY2 sclip", ABI_YUY2, 26, 17, 17, 62, 2, 0, 1, 1, 0, 3},
    {"BGR24 sclip", ABI_BGR24, 29, 19, 18, 63, 0, 4, ABI_UNSET, 1, ABI_UNSET, ABI_UNSET},
};
enum { kAbiCaseCount = sizeof(kAbiCases) / sizeof(kAbiCases[0]) };

// Frames rendered and compared in every case (each clip has kAbiFrames frames).
static const int kAbiFrameNumbers[] = {0, 2};
enum { kAbiFrameCount = sizeof(kAbiFrameNumbers) / sizeof(kAbiFrameNumbers[0]), kAbiFrames = 3 };

// Byte x of row y of a plane (0 = Y or interleaved, 1 = U, 2 = V) of frame n of a clip: flat
// blocks of 5 x 4 bytes at random levels, with a little noise, so the watershed finds real
// regions. Top-down rows for every format; only 32-bit unsigned arithmetic.
static inline unsigned char AbiPattern(unsigned seed, int n, int plane, int x, int y) {
    unsigned h = seed * 0x9E3779B1u ^ (unsigned)n * 0x85EBCA77u ^ (unsigned)plane * 0xC2B2AE3Du;
    unsigned b = h ^ (unsigned)(x / 5) * 0x27D4EB2Fu ^ (unsigned)(y / 4) * 0x165667B1u;
    b ^= b >> 15;
    b *= 0x2C1B3C6Du;
    b ^= b >> 12;
    unsigned p = h ^ (unsigned)x * 0x7FEB352Du ^ (unsigned)y * 0x846CA68Bu;
    p ^= p >> 16;
    p *= 0x31848BABu;
    p ^= p >> 14;
    return (unsigned char)((b & 0xF0u) + (p & 0x07u));
}

// Planes of a format and the bytes per row and rows of each, for a width x height frame.
static inline int AbiPlaneCount(int pixel_type) {
    return (pixel_type == ABI_YV12 || pixel_type == ABI_I420) ? 3 : 1;
}
static inline int AbiRowSize(int pixel_type, int width, int plane) {
    switch (pixel_type) {
        case ABI_BGR24: return width * 3;
        case ABI_BGR32: return width * 4;
        case ABI_YUY2: return width * 2;
        default: return plane == 0 ? width : width / 2;
    }
}
static inline int AbiPlaneHeight(int pixel_type, int height, int plane) {
    return (AbiPlaneCount(pixel_type) == 3 && plane != 0) ? height / 2 : height;
}

// The expected-frames file: for every case, every frame number and every plane, a record of
// five 32-bit little-endian words (case, frame, plane, row size, height) followed by the
// rows without padding. It starts with the magic word below and the case count.
enum { kAbiExpectedMagic = 0x4C534142 };  // "BASL"
