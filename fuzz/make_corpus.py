#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are checked in; this script is how they were made, and remakes the same bytes.
Each seed is a small valid input (or, for the argument words and the filter, a small mix of
valid and refused calls) from which the fuzzer mutates.
"""
import os
import random
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
rng = random.Random(20240611)


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def noise(n):
    return bytes(rng.randrange(256) for _ in range(n))


# ---- YUV4MPEG2 -------------------------------------------------------------------------
def y4m(header, width, height, chroma_rows, frames, frame_params=b""):
    frame_bytes = width * height + 2 * (width // 2) * chroma_rows
    out = header + b"\n"
    for _ in range(frames):
        out += b"FRAME" + frame_params + b"\n" + noise(frame_bytes)
    return out


write("y4m_reader", "420jpeg_2x2_2frames.y4m",
      y4m(b"YUV4MPEG2 W2 H2 F25:1 Ip A1:1 C420jpeg", 2, 2, 1, 2))
write("y4m_reader", "422_4x2_1frame.y4m",
      y4m(b"YUV4MPEG2 W4 H2 F30000:1001 It C422 XYSCSS=422", 4, 2, 2, 1, b" Ib"))
write("y4m_reader", "default420_4x4_3frames.y4m", y4m(b"YUV4MPEG2 W4 H4 F25:1", 4, 4, 2, 3))
write("y4m_reader", "420mpeg2_6x2_1frame.y4m",
      y4m(b"YUV4MPEG2 W6 H2 F50:1 Im A0:0 C420mpeg2", 6, 2, 1, 1, b" Xframe"))
write("y4m_reader", "420paldv_header_only.y4m", b"YUV4MPEG2 W8 H8 C420paldv\n")

# ---- PPM and PAM -----------------------------------------------------------------------
write("pnm_reader", "rgb_2x2_comment.ppm", b"P6\n# seed\n2 2\n255\n" + noise(12))
write("pnm_reader", "rgb_3x1.ppm", b"P6 3 1 255\n" + noise(9))
write("pnm_reader", "rgb_2x1.pam",
      b"P7\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n" + noise(6))
write("pnm_reader", "rgb_alpha_2x2.pam",
      b"P7\n# seed\nWIDTH 2\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n" +
      noise(16))


# ---- PNG -------------------------------------------------------------------------------
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(width, height, depth, colour, rows, extra=b"", interlace=0, filters=None):
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace)
    filters = filters or [0] * len(rows)  # filter type None on every row unless given
    raw = b"".join(bytes([kind]) + row for kind, row in zip(filters, rows))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def rows_of(width, height, bytes_per_pixel):
    return [noise(width * bytes_per_pixel) for _ in range(height)]


def adam7_rows(width, height, bytes_per_pixel, pixels):
    """The reduced images of Adam7 interlacing, concatenated, from a full 8-bit image."""
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4),
              (1, 0, 2, 2), (0, 1, 1, 2)]
    rows = []
    for x0, y0, dx, dy in passes:
        for y in range(y0, height, dy):
            row = b"".join(pixels[y][x * bytes_per_pixel:(x + 1) * bytes_per_pixel]
                           for x in range(x0, width, dx))
            if row:
                rows.append(row)
    return rows


write("png_reader", "rgb8_2x2.png", png(2, 2, 8, 2, rows_of(2, 2, 3)))
write("png_reader", "rgba8_2x1.png", png(2, 1, 8, 6, rows_of(2, 1, 4)))
write("png_reader", "grey8_3x2.png", png(3, 2, 8, 0, rows_of(3, 2, 1)))
write("png_reader", "grey1_8x2.png", png(8, 2, 1, 0, rows_of(1, 2, 1)))
write("png_reader", "grey_alpha8_2x2.png", png(2, 2, 8, 4, rows_of(2, 2, 2)))
write("png_reader", "grey8_trns_2x2.png",
      png(2, 2, 8, 0, rows_of(2, 2, 1), chunk(b"tRNS", b"\x00\x10")))
write("png_reader", "palette2_trns_4x2.png",
      png(4, 2, 2, 3, rows_of(1, 2, 1),
          chunk(b"PLTE", noise(12)) + chunk(b"tRNS", b"\xff\x80\x00")))
write("png_reader", "rgb16_2x1.png", png(2, 1, 16, 2, rows_of(2, 1, 6)))
image = rows_of(5, 5, 3)
write("png_reader", "rgb8_adam7_5x5.png",
      png(5, 5, 8, 2, adam7_rows(5, 5, 3, image), interlace=1))

# ---- name=value words ------------------------------------------------------------------
words = {
    "all_arguments.txt": b"sh=-2\nsm=2\nc4=true\nuseclip=false\nsclip=other.y4m\nsmu=3\nsmv=10\n",
    "case_and_signs.txt": b"SH=+007\nSm=-0\nC4=false\n",
    "int_limits.txt": b"sm=2147483647\nsh=-2147483648\n",
    "out_of_range.txt": b"smu=2147483648\n",
    "no_value.txt": b"sm\n",
    "no_name.txt": b"=3\n",
    "unknown_name.txt": b"strength=1\n",
    "twice.txt": b"sh=1\nSH=2\n",
    "bad_bool.txt": b"c4=TRUE\n",
    "clip_from_stdin.txt": b"sclip=-\n",
    "empty_clip.txt": b"useclip=true\nsclip=\n",
    "own_signature.txt": b"![x]f[y]s[z]i*[w]c\nx=1.5e3\ny=hello world\n",
    "own_signature_bad.txt": b"![x]q\nx=1\n",
}
for name, data in words.items():
    write("script_arguments", name, data)

# ---- filter calls ----------------------------------------------------------------------
TYPES = {"bgr24": 0, "bgr32": 1, "yuy2": 2, "yv12": 3, "i420": 4}


def int_arg(present, value, low):
    """presence, kind (in range), pick; value must lie in the valid range."""
    return bytes([1 if present else 0, 0, value - low])


def bool_arg(present, value):
    return bytes([(4 if value else 1) if present else 0])


def filter_call(kind, width, height, frames, sh=None, sm=None, smu=None, smv=None, c4=None,
                useclip=None, sclip=0, variant=0, chosen=0, pixels=48):
    out = bytes([TYPES[kind], width, height, frames - 1, 0, 31])
    out += int_arg(sh is not None, sh if sh is not None else 0, -10)
    out += int_arg(sm is not None, sm if sm is not None else 0, 0)
    out += int_arg(smu is not None, smu if smu is not None else 0, 0)
    out += int_arg(smv is not None, smv if smv is not None else 0, 0)
    out += bool_arg(c4 is not None, bool(c4))
    out += bool_arg(useclip is not None, bool(useclip))
    out += bytes([sclip, variant, chosen]) + noise(pixels)
    return out


write("filter", "bgr24_defaults.bin", filter_call("bgr24", 8, 6, 1))
write("filter", "bgr32_sh3_sm0_c4false.bin", filter_call("bgr32", 7, 5, 2, sh=3, sm=0, c4=False))
write("filter", "yuy2_chroma.bin", filter_call("yuy2", 10, 4, 2, sh=-4, sm=5, smu=2, smv=7))
write("filter", "yv12_all.bin", filter_call("yv12", 12, 8, 3, sh=10, sm=10, smu=10, smv=10))
write("filter", "i420_useclip_copy.bin",
      filter_call("i420", 8, 8, 2, sh=1, sm=1, smu=1, smv=1, useclip=True, sclip=2))
write("filter", "bgr24_useclip_same.bin", filter_call("bgr24", 4, 4, 1, useclip=True, sclip=1))
write("filter", "yuy2_useclip_other_size.bin",
      filter_call("yuy2", 6, 6, 1, smu=3, useclip=True, sclip=3, variant=1))
write("filter", "yuy2_odd_width.bin", filter_call("yuy2", 5, 4, 1))
write("filter", "yv12_odd_height.bin", filter_call("yv12", 4, 3, 1))
write("filter", "bgr24_one_pixel.bin", filter_call("bgr24", 1, 1, 1, sh=-10, sm=1, pixels=3))
write("filter", "bgr32_flat.bin", filter_call("bgr32", 16, 16, 1, sm=10, pixels=1))

# ---- Deeper samples and more layouts ---------------------------------------------------
# From a generator of their own, so that the seeds above keep their bytes.
rng = random.Random(20250301)


def samples_le(count, depth):
    return b"".join(struct.pack("<H", rng.randrange(1 << depth)) for _ in range(count))


def deep_y4m(header, depth, luma, chroma, frames, frame_params=b""):
    out = header + b"\n"
    for _ in range(frames):
        out += b"FRAME" + frame_params + b"\n"
        out += noise(luma + 2 * chroma) if depth == 8 else samples_le(luma + 2 * chroma, depth)
    return out


write("y4m_reader", "444_3x2_2frames.y4m",
      deep_y4m(b"YUV4MPEG2 W3 H2 F25:1 Ip A1:1 C444 XYSCSS=444", 8, 6, 6, 2))
write("y4m_reader", "mono_5x1_2frames.y4m",
      deep_y4m(b"YUV4MPEG2 W5 H1 F25:1 Cmono XCOLORRANGE=FULL", 8, 5, 0, 2, b" Ip"))
write("y4m_reader", "420p10_4x2_2frames.y4m",
      deep_y4m(b"YUV4MPEG2 W4 H2 F25:1 Ip A1:1 C420p10 XYSCSS=420P10", 10, 8, 2, 2))
write("y4m_reader", "422p12_2x3_1frame.y4m",
      deep_y4m(b"YUV4MPEG2 W2 H3 F30000:1001 C422p12 XYSCSS=422P12", 12, 6, 3, 1))
write("y4m_reader", "444p16_2x2_2frames.y4m",
      deep_y4m(b"YUV4MPEG2 W2 H2 F25:1 C444p16 XYSCSS=444P16", 16, 4, 4, 2))
write("y4m_reader", "mono16_3x2_2frames.y4m",
      deep_y4m(b"YUV4MPEG2 W3 H2 F25:1 Cmono16", 16, 6, 0, 2))
write("y4m_reader", "mono9_2x2_1frame.y4m", deep_y4m(b"YUV4MPEG2 W2 H2 Cmono9", 9, 4, 0, 1))
write("y4m_reader", "mono10_beyond_depth.y4m",
      b"YUV4MPEG2 W2 H1 Cmono10\nFRAME\n\xff\x03\x00\x04FRAME\n\x01\x00\x02\x00")
write("y4m_reader", "420p14_2x2_1frame.y4m",
      deep_y4m(b"YUV4MPEG2 W2 H2 C420p14", 14, 4, 1, 1))

write("pnm_reader", "rgb16_2x1.ppm", b"P6\n2 1\n65535\n" + noise(12))
write("pnm_reader", "rgb16_1x2.pam",
      b"P7\nWIDTH 1\nHEIGHT 2\nDEPTH 3\nMAXVAL 65535\nTUPLTYPE RGB\nENDHDR\n" + noise(12))
write("pnm_reader", "rgb_alpha16_2x1.pam",
      b"P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n" + noise(16))

write("png_reader", "rgba16_2x2.png", png(2, 2, 16, 6, rows_of(2, 2, 8)))
write("png_reader", "grey16_trns_3x1.png",
      png(3, 1, 16, 0, rows_of(3, 1, 2), chunk(b"tRNS", b"\x12\x34")))
write("png_reader", "grey_alpha16_2x1.png", png(2, 1, 16, 4, rows_of(2, 1, 4)))
write("png_reader", "rgb16_trns_2x2.png",
      png(2, 2, 16, 2, rows_of(2, 2, 6), chunk(b"tRNS", b"\x00\x01\x00\x02\x00\x03")))
image16 = rows_of(3, 3, 6)
write("png_reader", "rgb16_adam7_3x3.png",
      png(3, 3, 16, 2, adam7_rows(3, 3, 6, image16), interlace=1))
# Plain files (decoded without libpng) with rows of every filter type.
write("png_reader", "rgb8_filters_4x5.png",
      png(4, 5, 8, 2, rows_of(4, 5, 3), chunk(b"PLTE", noise(6)), filters=[0, 1, 2, 3, 4]))
write("png_reader", "rgba16_filters_3x5.png",
      png(3, 5, 16, 6, rows_of(3, 5, 8), filters=[4, 3, 2, 1, 0]))

# ---- The engine on its own -------------------------------------------------------------
# Again from a generator of its own. The call's header is laid out as engine_fuzz.cpp's
# Call::Read reads it.
rng = random.Random(20250415)
ENGINE_FORMATS = ["BGR24", "BGR32", "YUY2", "Y", "YUV420", "YUV422", "YUV444", "YUV411",
                  "YUV410", "RGBP", "RGBAP", "YUV440", "YUVA420", "YUVA422", "YUVA444"]
RAW, MIXED, COARSE = 0, 1, 2


def far(index):
    """The side value that picks entry `index` of Side's sizes far outside."""
    return 240 + (index - 240) % 9


def engine_call(fmt, depth, width, height, sh=-2, sm=2, smu=0, smv=0, c4=True, useclip=False,
                sclip=0, vapoursynth=False, padding=None, walk=0, encodings=(MIXED, MIXED),
                samples=64):
    """depth: 8 to 16 or "float"; a side given by far() is one far outside."""
    out = bytes([ENGINE_FORMATS.index(fmt), 9 if depth == "float" else depth - 8, width, height])
    for value, low in ((sh, -10), (sm, 0), (smu, 0), (smv, 0)):
        out += bytes([0, value - low])  # kind: within the range
    out += bytes([int(c4), int(useclip), sclip, int(vapoursynth)])
    out += bytes(padding if padding is not None else [rng.randrange(256) for _ in range(12)])
    out += bytes([walk, encodings[0], encodings[1]])
    return out + noise(samples)


write("engine", "yuv420_8bit_defaults.bin", engine_call("YUV420", 8, 8, 6))
write("engine", "yuy2_10bit_chroma.bin", engine_call("YUY2", 10, 10, 4, sh=-4, sm=5, smu=2, smv=7))
write("engine", "bgr32_16bit_raw.bin",
      engine_call("BGR32", 16, 7, 5, sh=3, sm=0, c4=False, encodings=(RAW, RAW), samples=256))
write("engine", "y_float_edges.bin", engine_call("Y", "float", 9, 7, sh=5, sm=6, samples=96))
write("engine", "yuva444_float_useclip.bin",
      engine_call("YUVA444", "float", 6, 6, sh=1, sm=1, smu=1, smv=1, useclip=True, walk=3,
                  encodings=(RAW, MIXED), samples=512))
write("engine", "rgbap_12bit_coarse.bin",
      engine_call("RGBAP", 12, 12, 8, sm=10, c4=False, encodings=(COARSE, COARSE), walk=1))
write("engine", "yuv410_9bit.bin", engine_call("YUV410", 9, 16, 8, smu=3, smv=10))
write("engine", "yuv411_14bit_vapoursynth.bin",
      engine_call("YUV411", 14, 8, 3, sh=10, sm=3, smv=4, vapoursynth=True, walk=2))
write("engine", "yuv440_float_chroma_only.bin",
      engine_call("YUV440", "float", 5, 4, sh=0, sm=0, smu=4, smv=0, walk=1))
write("engine", "bgr24_float_raw.bin",
      engine_call("BGR24", "float", 4, 3, sh=-10, sm=9, encodings=(RAW, RAW), samples=144))
write("engine", "yuva422_13bit_sclip_other_size.bin",
      engine_call("YUVA422", 13, 6, 4, smu=3, useclip=True, sclip=7))
write("engine", "yuv420_odd_height.bin", engine_call("YUV420", 8, 4, 3))
write("engine", "gray_too_large.bin", engine_call("Y", 16, far(5), far(5), samples=0))  # 23172^2
