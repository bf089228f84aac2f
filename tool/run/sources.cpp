#include "sources.h"

#include <cstring>

#include "media_error.h"

namespace cli {

namespace {

const engine::PixelFormat& PixelsOf(media::Y4mChroma chroma) {
    switch (chroma) {
        case media::Y4mChroma::Yuv420: return engine::kYuv420;
        case media::Y4mChroma::Yuv422: return engine::kYuv422;
        case media::Y4mChroma::Yuv444: return engine::kYuv444;
        case media::Y4mChroma::Mono: return engine::kGray;
    }
    return engine::kGray;
}

media::PlaneDest DestOf(const Frame& frame, int p) {
    if (p >= frame.PlaneCount()) return {nullptr, 0};  // mono's missing chroma
    return {frame.Plane(p).data, static_cast<int>(frame.Plane(p).pitch)};
}

// One row between a picture's R G B (A) order and the frame's B G R (A); the same swap both
// ways. Separate loops per count let the compiler unroll each.
template <typename Sample>
void SwapRedBlue(const Sample* __restrict src, Sample* __restrict dst, int width, int channels) {
    if (channels == 3) {
        for (int x = 0; x < width; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    } else {
        for (int x = 0; x < width; ++x, src += 4, dst += 4) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            dst[3] = src[3];
        }
    }
}

template <typename Sample>
void PictureIntoFrame(const Sample* pixels, const media::Picture& picture, const Frame& frame) {
    const FramePlane& plane = frame.Plane(0);
    for (int y = 0; y < picture.height; ++y)
        SwapRedBlue(pixels + static_cast<size_t>(y) * picture.Stride(),
                    reinterpret_cast<Sample*>(plane.data + (picture.height - 1 - y) * plane.pitch),
                    picture.width, picture.Channels());
}

template <typename Sample>
void FrameIntoPicture(const Frame& frame, Sample* pixels, const media::Picture& picture) {
    const FramePlane& plane = frame.Plane(0);
    for (int y = 0; y < picture.height; ++y)
        SwapRedBlue(reinterpret_cast<const Sample*>(plane.data + (picture.height - 1 - y) * plane.pitch),
                    pixels + static_cast<size_t>(y) * picture.Stride(), picture.width,
                    picture.Channels());
}

// A picture of this shape whose samples are yet to be written.
media::Picture UnwrittenPicture(int width, int height, bool hasAlpha, int bitDepth) {
    media::Picture picture;
    picture.width = width;
    picture.height = height;
    picture.hasAlpha = hasAlpha;
    picture.bitDepth = bitDepth;
    const size_t samples = picture.Stride() * static_cast<size_t>(height);
    if (bitDepth == 8)
        picture.pixels.resize(samples);
    else
        picture.pixels16.resize(samples);
    return picture;
}

}  // namespace

engine::VideoFormat FormatOf(const media::Y4mHeader& header) {
    return {&PixelsOf(header.chroma), engine::IntegerSamples(header.bitDepth)};
}

VideoSource::VideoSource(const std::string& path)
    : reader_(path), stream_(path == "-"), format_(FormatOf(reader_.Header())) {
    if (!stream_) count_ = reader_.CountFrames();
    pool_ = std::make_shared<FramePool>(format_, Header().width, Header().height);
}

SourceFrame VideoSource::Get(int n) {
    if (stream_) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = read_.find(n);
        // A stream cannot go back: each frame serves the one request it was read for.
        if (it == read_.end())
            media::ThrowMediaError(Name(), "frame " + std::to_string(n) + " was requested out of order");
        SourceFrame frame = std::move(it->second);
        read_.erase(it);
        return frame;
    }
    SourceFrame out{pool_->Acquire(), {}};
    media::Y4mFrameHeader frameHeader;
    reader_.ReadFrameAt(n, frameHeader, DestOf(*out.frame, 0), DestOf(*out.frame, 1),
                        DestOf(*out.frame, 2));
    out.params = std::move(frameHeader.params);
    return out;
}

bool VideoSource::ReadNext() {
    const int n = reader_.NextFrameNumber();
    SourceFrame out{pool_->Acquire(), {}};
    media::Y4mFrameHeader frameHeader;
    if (!reader_.ReadFrame(frameHeader, DestOf(*out.frame, 0), DestOf(*out.frame, 1),
                           DestOf(*out.frame, 2)))
        return false;
    out.params = std::move(frameHeader.params);
    std::lock_guard<std::mutex> lock(mutex_);
    read_[n] = std::move(out);
    return true;
}

void WriteFrame(media::Y4mWriter& writer, const Frame& frame, const std::string& params) {
    const auto source = [&](int p) -> media::PlaneSource {
        const media::PlaneDest d = DestOf(frame, p);
        return {d.data, d.pitch};
    };
    writer.WriteFrame(media::Y4mFrameHeader{params}, source(0), source(1), source(2));
}

engine::VideoFormat FormatOf(const media::Picture& picture) {
    return {picture.hasAlpha ? &engine::kBgr32 : &engine::kBgr24,
            engine::IntegerSamples(picture.bitDepth)};
}

FramePtr FrameOfPicture(const media::Picture& picture) {
    auto frame = std::make_shared<Frame>(FormatOf(picture), picture.width, picture.height);
    if (picture.bitDepth == 8)
        PictureIntoFrame(picture.pixels.data(), picture, *frame);
    else
        PictureIntoFrame(picture.pixels16.data(), picture, *frame);
    return frame;
}

Frame FrameOverPicture(media::Picture& picture) {
    const ptrdiff_t rowBytes =
        static_cast<ptrdiff_t>(picture.Stride()) * (picture.bitDepth == 8 ? 1 : 2);
    uint8_t* const top = picture.bitDepth == 8
                             ? picture.pixels.data()
                             : reinterpret_cast<uint8_t*>(picture.pixels16.data());
    return Frame(FormatOf(picture), picture.width, picture.height,
                 top + (picture.height - 1) * rowBytes, -rowBytes);
}

media::Picture PictureShapedAs(const media::Picture& picture) {
    return UnwrittenPicture(picture.width, picture.height, picture.hasAlpha, picture.bitDepth);
}

media::Picture PictureOf(const Frame& frame) {
    media::Picture picture = UnwrittenPicture(frame.Width(), frame.Height(),
                                              frame.Format().pixels->alpha,
                                              frame.Format().samples.bits);
    if (picture.bitDepth == 8)
        FrameIntoPicture(frame, picture.pixels.data(), picture);
    else
        FrameIntoPicture(frame, picture.pixels16.data(), picture);
    return picture;
}

}  // namespace cli
