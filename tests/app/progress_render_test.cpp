#include "app/progress_render.h"

#include <gtest/gtest.h>

namespace {

PixelImage Solid(int w, int h, uint32_t colour) {
    PixelImage img;
    img.width = w;
    img.height = h;
    img.pixels.assign(static_cast<size_t>(w) * h, colour);
    return img;
}

uint32_t At(const FrameBuffer& f, int x, int y) {
    return f[static_cast<size_t>(y) * kFrameWidth + x];
}

// A frame as the animation defines it, pixel by pixel from the exact
// distances, for the animation's current disc radius and colour table.
FrameBuffer DefinedFrame(const ProgressGeometry& g, const InstallAnimation& anim,
                         const PixelImage& logo, const PixelImage& finished) {
    FrameBuffer f = MakeWhiteFrame();
    for (size_t k = 0; k < f.size(); ++k) {
        f[k] = anim.ColourTable()[std::min(static_cast<int>(g.distance[k]), 1023)];
    }
    const int r = anim.Radius();
    if (r < g.logoCornerDistance) {
        CopyNonWhite(logo, g.logoX, g.logoY, f);
    }
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            const double dist = g.DistanceAt(x, y);
            const int d = static_cast<int>(dist);
            if (d >= r) {
                continue;
            }
            uint32_t& px = f[static_cast<size_t>(y) * kFrameWidth + x];
            const uint32_t back = finished.At(x, y);
            if (r != d + 1) {
                px = back;
                continue;
            }
            const double frac = dist - d;
            uint32_t out = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const double a = (px >> shift) & 0xFF, b = (back >> shift) & 0xFF;
                out |= (static_cast<uint32_t>(frac * a + (1.0 - frac) * b) & 0xFF) << shift;
            }
            px = out;
        }
    }
    return f;
}

}  // namespace

TEST(ProgressGeometry, CentreRadiusAndLogoPlace) {
    ProgressGeometry g(311, 311);
    EXPECT_EQ(471, g.maxRadius);  // sqrt(311^2 + 355^2) = 471.96
    EXPECT_EQ(156, g.logoX);
    EXPECT_EQ(24, g.logoY);
    EXPECT_EQ(365, g.logoCornerDistance);  // sqrt(155^2 + 331^2)
    EXPECT_DOUBLE_EQ(0.0, g.DistanceAt(311, 355));
    EXPECT_DOUBLE_EQ(5.0, g.DistanceAt(314, 351));
}

TEST(CopyNonWhite, KeepsLowBytesSkipsWhiteAndClips) {
    PixelImage img = Solid(4, 4, 0xFF123456);
    img.pixels[0] = 0x00FFFFFF;  // white stays out
    FrameBuffer f = MakeWhiteFrame();
    CopyNonWhite(img, kFrameWidth - 2, kFrameHeight - 2, f);  // mostly outside
    EXPECT_EQ(0xFFFFFFu, At(f, kFrameWidth - 2, kFrameHeight - 2));
    EXPECT_EQ(0x123456u, At(f, kFrameWidth - 1, kFrameHeight - 1));
    CopyNonWhite(img, -3, -3, f);
    EXPECT_EQ(0x123456u, At(f, 0, 0));
    EXPECT_EQ(0xFFFFFFu, At(f, 1, 0));
}

TEST(DownloadSweep, BaseSwitchesAtFiftyAndQuadrantsFollowTheClock) {
    ProgressGeometry g(100, 100);
    const PixelImage grey = Solid(100, 100, 0x808080);
    const PixelImage colour = Solid(100, 100, 0x0000FF);
    FrameBuffer f = MakeWhiteFrame();
    auto logo = [&](int x, int y) { return At(f, g.logoX + x, g.logoY + y); };

    DrawDownloadSweep(0, grey, colour, g, f);
    EXPECT_EQ(0x808080u, logo(10, 90));

    // 24 %: the lower-left quadrant nearly done, the rest grey.
    DrawDownloadSweep(24, grey, colour, g, f);
    EXPECT_EQ(0x0000FFu, logo(10, 60));  // lower left, near nine o'clock
    EXPECT_EQ(0x808080u, logo(10, 40));  // upper left
    EXPECT_EQ(0x808080u, logo(90, 90));  // lower right

    // 49 %: both left quadrants coloured on the grey base.
    DrawDownloadSweep(49, grey, colour, g, f);
    EXPECT_EQ(0x0000FFu, logo(10, 10));
    EXPECT_EQ(0x808080u, logo(90, 10));

    // 50 %: coloured base, grey remains on the right.
    DrawDownloadSweep(50, grey, colour, g, f);
    EXPECT_EQ(0x0000FFu, logo(10, 10));
    EXPECT_EQ(0x808080u, logo(90, 10));
    EXPECT_EQ(0x808080u, logo(90, 90));

    // 80 %: only the lower right still (partly) grey.
    DrawDownloadSweep(80, grey, colour, g, f);
    EXPECT_EQ(0x0000FFu, logo(90, 10));
    EXPECT_EQ(0x808080u, logo(60, 90));

    DrawDownloadSweep(100, grey, colour, g, f);
    EXPECT_EQ(0x0000FFu, logo(60, 90));
    EXPECT_EQ(0xFFFFFFu, At(f, 0, 0));  // outside the logo stays white
}

// The angles computed once give the same sweep as computing them per pixel.
TEST(DownloadSweep, AngleTableGivesTheSamePixels) {
    ProgressGeometry table(60, 60);
    ProgressGeometry direct(60, 60);
    direct.sweepWidth = direct.sweepHeight = 0;
    direct.sweepAngle.clear();
    PixelImage grey = Solid(60, 60, 0x808080), colour = Solid(60, 60, 0x0000FF);
    for (size_t k = 0; k < grey.pixels.size(); ++k) {
        grey.pixels[k] = static_cast<uint32_t>(k * 2654435761u) & 0x7F7F7F;
        colour.pixels[k] = static_cast<uint32_t>(k * 40503u) | 0x800000;
    }
    for (int p = 0; p <= 100; ++p) {
        FrameBuffer a = MakeWhiteFrame(), b = MakeWhiteFrame();
        DrawDownloadSweep(p, grey, colour, table, a);
        DrawDownloadSweep(p, grey, colour, direct, b);
        ASSERT_EQ(b, a) << p << " %";
    }
}

TEST(InstallAnimation, DiscGrowsOnePixelPerFrameUpToTarget) {
    ProgressGeometry g;
    InstallAnimation anim(g);
    const PixelImage logo = Solid(311, 311, 0x00AA00);
    const PixelImage finished = Solid(kFrameWidth, kFrameHeight, 0x112233);
    FrameBuffer scratch = MakeWhiteFrame();
    for (int i = 0; i < 20; ++i) {
        anim.Render(0, 1000 + i * 16, logo, finished, scratch);
    }
    EXPECT_EQ(15, anim.Radius());                 // P = 0 holds the disc at 15
    EXPECT_EQ(0x112233u, At(scratch, 311, 350));  // inside the disc
    EXPECT_EQ(0x00AA00u, At(scratch, 311, 100));  // logo still drawn

    for (int i = 0; i < 600; ++i) {
        anim.Render(1000, 2000 + i * 16, logo, finished, scratch);
    }
    EXPECT_EQ(g.maxRadius, anim.Radius());
    EXPECT_EQ(0x112233u, At(scratch, 311, 100));  // logo gone under the disc
    EXPECT_EQ(0x112233u, At(scratch, 5, 5));
}

// Rendering skips the ring colours where the disc covers them and works from
// truncated distances; every frame must still be the defined one, whatever
// the scratch buffer held before.
TEST(InstallAnimation, FramesEqualThePixelByPixelDefinition) {
    ProgressGeometry g;
    InstallAnimation anim(g);
    PixelImage logo = Solid(311, 311, 0x00AA00);
    PixelImage finished = Solid(kFrameWidth, kFrameHeight, 0);
    for (size_t k = 0; k < logo.pixels.size(); ++k) {
        logo.pixels[k] =
            k % 7 == 0 ? 0xFFFFFFFFu : 0xFF000000u | static_cast<uint32_t>(k * 2654435761u);
    }
    for (size_t k = 0; k < finished.pixels.size(); ++k) {
        finished.pixels[k] = 0xFF000000u | static_cast<uint32_t>(k * 40503u);  // high byte set
    }
    FrameBuffer scratch(static_cast<size_t>(kFrameWidth) * kFrameHeight, 0xDEADBEEFu);
    uint32_t now = 5000;
    int checked = 0;
    for (int frame = 0; frame < 520; ++frame, now += 17) {
        const int progress = frame < 30 ? 0 : (frame < 200 ? 400 : 1000);
        anim.Render(progress, now, logo, finished, scratch);
        if (frame % 9 == 0 || frame == 519) {
            ASSERT_EQ(DefinedFrame(g, anim, logo, finished), scratch) << "frame " << frame;
            ++checked;
        }
    }
    EXPECT_EQ(g.maxRadius, anim.Radius());
    EXPECT_GT(checked, 50);
}

TEST(InstallAnimation, RingsAgeFadeAndDie) {
    ProgressGeometry g;
    InstallAnimation anim(g);
    anim.UpdateRings(10000);
    ASSERT_EQ(1u, anim.Rings().size());
    anim.UpdateRings(10699);  // not yet older than 699 ms
    EXPECT_EQ(1u, anim.Rings().size());
    anim.UpdateRings(12000);
    ASSERT_EQ(2u, anim.Rings().size());
    EXPECT_EQ(356, anim.Rings()[0].radius);  // 0.178 * 2000
    EXPECT_FLOAT_EQ(0.05f, anim.Rings()[0].alpha);

    InstallAnimation steady(g);
    int most = 0;
    for (uint32_t t = 0; t <= 20000; t += 10) {
        steady.UpdateRings(t);
        most = std::max<int>(most, static_cast<int>(steady.Rings().size()));
        for (const ProgressRing& r : steady.Rings()) {
            ASSERT_LT(t - r.birthTick, InstallAnimation::kRingLifeMs);
        }
    }
    EXPECT_EQ(8, most);

    InstallAnimation fading(g);
    fading.UpdateRings(0);
    fading.UpdateRings(4000);  // first ring has 1000 ms left
    EXPECT_NEAR(0.025f, fading.Rings()[0].alpha, 1e-6);
}

TEST(InstallAnimation, ColourTableBandsTowardsGrey) {
    ProgressGeometry g;
    InstallAnimation anim(g);
    anim.UpdateRings(0);
    anim.UpdateRings(1000);  // ring 0 radius 178, ring 1 radius 0
    anim.BuildColourTable();
    const auto& t = anim.ColourTable();
    // First band: white moved 5 % towards 0x99 per channel: 0.05*153 + 0.95*255 = 249.9.
    EXPECT_EQ(0xF9F9F9u, t[100]);
    EXPECT_EQ(0xFFFFFFFFu, t[178]);  // beyond the oldest ring: untouched
    EXPECT_EQ(0xFFFFFFFFu, t[1023]);
}

TEST(Speeds, SampledAndAverage) {
    SpeedSampler s;
    EXPECT_EQ(0u, s.Sample(0, 0));  // no time passed: no division
    EXPECT_EQ(1000u, s.Sample(500, 500));
    EXPECT_EQ(1000u, s.Sample(900, 900));  // within a second: unchanged
    EXPECT_EQ(2000u, s.Sample(4500, 2500));
    EXPECT_EQ(0u, s.Sample(100, 4000));  // a new download starts lower
    EXPECT_EQ(2621440u, AverageSpeed(10ull * 1024 * 1024, 1000, 5000));
    EXPECT_EQ(0u, AverageSpeed(100, 7, 7));
}
