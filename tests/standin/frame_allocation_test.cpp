// Geometry of new frames and the requests the host refuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <ostream>

#include "frame_tools.h"
#include "script_environment.h"
#include "test_support.h"

using standin::MakeVideoInfo;
using standin::ScriptEnvironment;
using ::testing::HasSubstr;

namespace {

struct GeometryCase {
    const char* name;
    int pixelType;
    int bytesPerPixel;  // of the first plane
    int width, height, align, extraPitch;
};

void PrintTo(const GeometryCase& c, std::ostream* os) { *os << c.name; }

int RoundUp(int value, int multiple) { return (value + multiple - 1) / multiple * multiple; }

class FrameGeometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(FrameGeometry, PlanesAreAlignedSizedAndPlacedLikeTheHosts) {
    const GeometryCase& c = GetParam();
    ScriptEnvironment env;
    env.SetExtraPitch(c.extraPitch);
    const VideoInfo vi = MakeVideoInfo(c.width, c.height, c.pixelType);
    const PVideoFrame frame = env.NewVideoFrame(vi, c.align);
    const int boundary = c.align < 0 ? -c.align : std::max(c.align, 16);

    const int rowSize = c.width * c.bytesPerPixel;
    EXPECT_EQ(frame->GetRowSize(), rowSize);
    EXPECT_EQ(frame->GetHeight(), c.height);
    EXPECT_EQ(frame->GetPitch(), RoundUp(rowSize, boundary) + RoundUp(c.extraPitch, boundary));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(frame->GetReadPtr()) % boundary, 0u);

    const uint8_t* y = frame->GetReadPtr(PLANAR_Y);
    const uint8_t* u = frame->GetReadPtr(PLANAR_U);
    const uint8_t* v = frame->GetReadPtr(PLANAR_V);
    if (vi.IsPlanar()) {
        const int pitchUV = frame->GetPitch() / 2;
        for (int plane : {PLANAR_U, PLANAR_V}) {
            EXPECT_EQ(frame->GetPitch(plane), pitchUV);
            EXPECT_EQ(frame->GetRowSize(plane), c.width / 2);
            EXPECT_EQ(frame->GetHeight(plane), c.height / 2);
        }
        const bool uFirst = c.pixelType == VideoInfo::CS_I420;
        const uint8_t* first = uFirst ? u : v;
        const uint8_t* second = uFirst ? v : u;
        EXPECT_EQ(first - y, frame->GetPitch() * c.height);
        EXPECT_EQ(second - first, pitchUV * (c.height / 2));
    } else {
        EXPECT_EQ(frame->GetPitch(PLANAR_U), 0);
        EXPECT_EQ(frame->GetRowSize(PLANAR_V), 0);
        EXPECT_EQ(u, y);
        EXPECT_EQ(v, y);
    }

    // New memory holds the junk byte; planes written in full do not overlap.
    EXPECT_EQ(frame->GetReadPtr()[0], ScriptEnvironment::kJunkByte);
    standin::FillFrame(*frame.get(), [](int plane, int, int) { return uint8_t(plane + 1); });
    for (const standin::PlaneView& plane : standin::ReadPlanes(*frame.get()))
        for (int row = 0; row < plane.height; ++row)
            for (int x = 0; x < plane.rowSize; ++x)
                ASSERT_EQ(plane.data[row * plane.pitch + x], plane.plane + 1)
                    << "plane " << plane.plane << " row " << row << " byte " << x;
}

INSTANTIATE_TEST_SUITE_P(
    AllPixelTypes, FrameGeometry,
    ::testing::Values(GeometryCase{"Bgr24", VideoInfo::CS_BGR24, 3, 33, 7, 16, 0},
                      GeometryCase{"Bgr32Align32Padded", VideoInfo::CS_BGR32, 4, 17, 5, 32, 8},
                      GeometryCase{"Yuy2OddHeightPadded", VideoInfo::CS_YUY2, 2, 18, 3, 0, 5},
                      GeometryCase{"Yv12", VideoInfo::CS_YV12, 1, 34, 6, 16, 0},
                      GeometryCase{"Yv12Align64Padded", VideoInfo::CS_YV12, 1, 20, 4, 64, 3},
                      GeometryCase{"I420Padded", VideoInfo::CS_I420, 1, 34, 6, 16, 16},
                      GeometryCase{"I420ExactAlign4", VideoInfo::CS_I420, 1, 6, 2, -4, 0}),
    [](const ::testing::TestParamInfo<GeometryCase>& info) { return info.param.name; });

TEST(FrameRequests, AreRefusedWithTheHostsMessages) {
    ScriptEnvironment env;
    const auto request = [&](int width, int height, int pixelType, int align = 16) {
        return ErrorFrom([&] { env.NewVideoFrame(MakeVideoInfo(width, height, pixelType), align); });
    };
    EXPECT_THAT(request(16, 16, 0x12345), HasSubstr("invalid pixel_type"));
    EXPECT_THAT(request(16, 16, VideoInfo::CS_YV12 | VideoInfo::CS_I420), HasSubstr("invalid pixel_type"));
    EXPECT_THAT(request(0, 16, VideoInfo::CS_BGR24), HasSubstr("invalid frame size"));
    EXPECT_THAT(request(16, -2, VideoInfo::CS_YV12), HasSubstr("invalid frame size"));
    EXPECT_EQ(request(15, 4, VideoInfo::CS_YUY2),
              "Attempted to request a YUY2 frame that wasn't mod2 in width!");
    const char* planarMessage =
        "Attempted to request an YV12 frame that wasn't mod2 in width and height!";
    EXPECT_EQ(request(15, 4, VideoInfo::CS_YV12), planarMessage);
    EXPECT_EQ(request(16, 5, VideoInfo::CS_I420), planarMessage);
    // Byte counts past int: by the product, and already by the row.
    EXPECT_THAT(request(1 << 20, 1 << 12, VideoInfo::CS_BGR32), HasSubstr("too large"));
    EXPECT_THAT(request(INT_MAX, 1, VideoInfo::CS_BGR32), HasSubstr("too large"));
    EXPECT_THAT(request(16, 16, VideoInfo::CS_BGR24, INT_MIN), HasSubstr("alignment"));
    EXPECT_EQ(env.LiveFrameCount(), 0u);
}

}  // namespace
