// The shadow picture: geometry, the soft edge and the cut-out under the parent.
#include <gtest/gtest.h>

#include <vector>

#include "ui/shadow_image.h"

namespace {

// The image of a parent, read back top-down.
struct ShadowPicture {
    int width;
    int height;
    std::vector<uint32_t> pixels;

    ShadowPicture(int w, int h, const ShadowParams& p, const ShapeTest& shape)
        : width(w + 2 * p.size), height(h + 2 * p.size), pixels(size_t(width) * height, 0) {
        ComputeShadowImage(pixels.data(), w, h, p, shape);
    }
    uint32_t At(int x, int y) const { return pixels[size_t(height - 1 - y) * width + x]; }
    int Alpha(int x, int y) const { return int(At(x, y) >> 24); }
};

bool Whole(int, int) {
    return true;
}

TEST(ShadowImage, PremultipliesEachChannel) {
    EXPECT_EQ(0x050505u, PreMultiply(RGB(50, 50, 50), 29));
    EXPECT_EQ(0xFF8000u, PreMultiply(RGB(255, 128, 0), 255));
    // red goes to bits 16-23, blue to 0-7
    EXPECT_EQ(0x7F0000u, PreMultiply(RGB(255, 0, 0), 127));
    EXPECT_EQ(0x00007Fu, PreMultiply(RGB(0, 0, 255), 127));
    EXPECT_EQ(0u, PreMultiply(RGB(255, 255, 255), 0));
}

TEST(ShadowImage, SoftEdgeAroundAClearWindow) {
    ShadowParams p;
    ShadowPicture s(600, 400, p, Whole);
    ASSERT_EQ(660, s.width);
    ASSERT_EQ(460, s.height);

    int inked = 0;
    for (int y = 30; y < 430; ++y) {
        for (int x = 30; x < 630; ++x) {
            inked += s.At(x, y) != 0;
        }
    }
    EXPECT_EQ(0, inked);

    // Just outside each edge: alpha 29 (30 x 30 / 31), colour 50 x 29 / 255.
    EXPECT_EQ(0x1D050505u, s.At(29, 200));
    EXPECT_EQ(0x1D050505u, s.At(630, 200));
    EXPECT_EQ(0x1D050505u, s.At(300, 29));
    EXPECT_EQ(0x1D050505u, s.At(300, 430));
    // Thirty pixels out the shadow has faded away.
    EXPECT_EQ(0u, s.At(0, 200));
    EXPECT_EQ(0u, s.At(659, 200));
    EXPECT_EQ(0u, s.At(300, 0));
    EXPECT_EQ(0u, s.At(300, 459));
    // It fades steadily outwards.
    for (int x = 1; x < 30; ++x) {
        EXPECT_LE(s.Alpha(x - 1, 200), s.Alpha(x, 200)) << x;
    }
    EXPECT_EQ(s.At(10, 200), s.At(649, 200));
}

TEST(ShadowImage, StoresRowsBottomUp) {
    ShadowParams p;
    p.yOffset = 10;  // pushes the shadow downwards: more of it below the window
    ShadowPicture s(100, 100, p, Whole);
    const int stored = int(s.pixels[size_t(s.height - 1 - 150) * s.width + 80] >> 24);
    EXPECT_EQ(s.Alpha(80, 150), stored);
    EXPECT_GT(s.Alpha(80, 135), s.Alpha(80, 24));
}

TEST(ShadowImage, FollowsTheParentShape) {
    ShadowParams p;
    // A window whose top-right 50 x 50 corner is cut away.
    auto notched = [](int x, int y) { return !(x >= 150 && y < 50); };
    ShadowPicture s(200, 200, p, notched);
    EXPECT_EQ(0u, s.At(100, 40));                   // under the window
    EXPECT_GT(s.Alpha(185, 40), 20);                // inside the notch, next to the window
    EXPECT_LT(s.Alpha(215, 40), s.Alpha(185, 40));  // fading away from it
    EXPECT_EQ(0u, s.At(200, 150));                  // under the window's lower part
    EXPECT_EQ(0x1D050505u, s.At(230, 150));
}

TEST(ShadowImage, SharperThanItsMarginErodesTheShape) {
    ShadowParams p;
    p.size = 10;
    p.sharpness = 20;
    ShadowPicture s(100, 100, p, Whole);
    EXPECT_EQ(0u, s.At(50, 50));
    EXPECT_GT(s.Alpha(9, 60), 0);
    EXPECT_LT(s.Alpha(9, 60), 30);
}

TEST(ShadowImage, NothingForAnEmptyParent) {
    std::vector<uint32_t> pixels(60 * 60, 7);
    ComputeShadowImage(pixels.data(), 0, 0, ShadowParams{}, Whole);
    EXPECT_EQ(7u, pixels[0]);
}

}  // namespace
