// The compiled-in bitmaps as the windows will use them: registered, sized for
// their rectangles, opaque, seamless against the ground painted around them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "resources/resource_ids.h"
#include "resources/resources.h"
#include "tests/art/art_fixture.h"

using art_test::ExpectedBitmaps;
using art_test::Image;
using art_test::LoadBitmapResource;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kWindowBand = 0xF7FBFD;  // COLORREF 0xFDFBF7 painted as RGB
constexpr uint32_t kBoxTitleBand = 0x4A47B5;
constexpr uint32_t kBoxBottomBand = 0xF7FBFD;

class BuiltinBitmaps : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterBuiltinBitmaps(); }

    static Image Load(int id) {
        Image image = LoadBitmapResource(id);
        EXPECT_TRUE(image.ok) << "bitmap " << id;
        return image;
    }
};

int DifferingPixels(const Image& a, const Image& b) {
    int n = 0;
    for (size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i)
        n += a.pixels[i] != b.pixels[i];
    return n;
}

// Contrast ratio of two colours as readability guidelines define it.
double Contrast(uint32_t a, uint32_t b) {
    auto luminance = [](uint32_t rgb) {
        double sum = 0;
        const double weights[3] = {0.2126, 0.7152, 0.0722};
        for (int i = 0; i < 3; ++i) {
            const double c = ((rgb >> (16 - 8 * i)) & 0xFF) / 255.0;
            sum += weights[i] * (c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return sum;
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::vector<uint32_t> Corners(const Image& image) {
    const int r = image.width - 1, b = image.height - 1;
    return {image.Rgb(0, 0), image.Rgb(r, 0), image.Rgb(0, b), image.Rgb(r, b)};
}

}  // namespace

TEST_F(BuiltinBitmaps, EachIdDecodesAtTheSizeOfItsRectangle) {
    for (const auto& expected : ExpectedBitmaps()) {
        const Image image = Load(expected.id);
        EXPECT_EQ(image.width, expected.width) << "bitmap " << expected.id;
        EXPECT_EQ(image.height, expected.height) << "bitmap " << expected.id;
    }
    // Other resource kinds are not shadowed by the bitmaps.
    EXPECT_FALSE(LoadBitmapResource(IDD_SETUP).ok);
}

TEST_F(BuiltinBitmaps, OnlyTheWindowIconHasTransparency) {
    // The window layer keeps the colour bytes of bitmap pixels only, so any
    // transparency in a bitmap would turn black on screen.
    for (const auto& expected : ExpectedBitmaps()) {
        if (expected.id != IDI_KORVEL) {
            EXPECT_FALSE(Load(expected.id).hasAlpha) << "bitmap " << expected.id;
        }
    }
    const Image icon = Load(IDI_KORVEL);
    ASSERT_TRUE(icon.hasAlpha);
    EXPECT_EQ(icon.Alpha(0, 0), 0);
    EXPECT_EQ(icon.Alpha(icon.width / 2, icon.height / 2), 255);
}

TEST_F(BuiltinBitmaps, TilesMeetTheGroundPaintedAroundThem) {
    struct Ground {
        std::initializer_list<int> ids;
        uint32_t colour;
    };
    const Ground grounds[] = {
        {{IDB_CLOSE_NORMAL, IDB_MIN_NORMAL}, kWhite},
        {{IDB_INSTALL_LOGO, IDB_LARGE_LOGO_OUTLINE, IDB_FAILED_LOGO, IDB_LARGE_LOGO_COLOUR,
          IDB_LARGE_LOGO_DONE, IDB_LARGE_LOGO_GREY, IDB_PRODUCT_LOGO, IDB_PRODUCT_LOGO_X64,
          IDB_MSGBOX_ICON},
         kWhite},
        {{IDB_CUSTOM_CLOSED, IDB_CUSTOM_CLOSED_HOVER, IDB_CUSTOM_OPEN, IDB_CUSTOM_OPEN_HOVER},
         kWindowBand},
        {{IDB_MSGBOX_BUTTON_NORMAL, IDB_MSGBOX_BUTTON_HOVER, IDB_MSGBOX_BUTTON_PRESSED},
         kBoxBottomBand},
        {{IDB_MSGBOX_CLOSE_NORMAL}, kBoxTitleBand},
    };
    for (const Ground& ground : grounds) {
        for (int id : ground.ids) {
            for (uint32_t corner : Corners(Load(id)))
                EXPECT_EQ(corner, ground.colour) << "bitmap " << id;
        }
    }
}

TEST_F(BuiltinBitmaps, FinishedButtonsContinueTheFinishedBackground) {
    const Image background = Load(IDB_FINISHED_BACKGROUND);
    for (auto [id, left] : {std::pair{IDB_CLOSE_FINISHED, 600}, {IDB_MIN_FINISHED, 580}}) {
        const Image tile = Load(id);
        // The glyph sits in the middle; the two outer rings of pixels are ground.
        for (int y = 0; y < tile.height; ++y) {
            for (int x = 0; x < tile.width; ++x) {
                const bool edge = x < 2 || y < 2 || x >= tile.width - 2 || y >= tile.height - 2;
                if (edge) {
                    ASSERT_EQ(tile.Rgb(x, y), background.Rgb(left + x, y))
                        << "bitmap " << id << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST_F(BuiltinBitmaps, GreyAndColouredLogoShareOneOutline) {
    // The download sweep shows parts of one over the other, so any pixel that
    // is ground in one must be ground in the other, or seams appear.
    const Image grey = Load(IDB_LARGE_LOGO_GREY);
    const Image colour = Load(IDB_LARGE_LOGO_COLOUR);
    int inked = 0;
    for (int y = 0; y < grey.height; ++y) {
        for (int x = 0; x < grey.width; ++x) {
            ASSERT_EQ(grey.Rgb(x, y) == kWhite, colour.Rgb(x, y) == kWhite) << x << "," << y;
            inked += grey.Rgb(x, y) != kWhite;
        }
    }
    EXPECT_GT(inked, grey.width * grey.height / 3);
    EXPECT_GT(DifferingPixels(grey, colour), inked / 2);
}

TEST_F(BuiltinBitmaps, CopiedLogosHaveNoHolesInTheirMark) {
    // The window skips white pixels when it copies these over the rings or
    // the other logo, so a white letter would let whatever is below show.
    for (int id : {IDB_LARGE_LOGO_GREY, IDB_LARGE_LOGO_COLOUR, IDB_INSTALL_LOGO}) {
        const Image logo = Load(id);
        const double centre = logo.width / 2.0;
        for (int y = 0; y < logo.height; ++y) {
            for (int x = 0; x < logo.width; ++x) {
                if (std::hypot(x + 0.5 - centre, y + 0.5 - centre) < 110) {
                    ASSERT_NE(logo.Rgb(x, y), kWhite) << "bitmap " << id << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST_F(BuiltinBitmaps, StatesOfOneControlLookDifferent) {
    const std::initializer_list<int> groups[] = {
        {IDB_CLOSE_NORMAL, IDB_CLOSE_HOVER, IDB_CLOSE_PRESSED},
        {IDB_CLOSE_FINISHED, IDB_CLOSE_HOVER, IDB_CLOSE_PRESSED},
        {IDB_MIN_NORMAL, IDB_MIN_HOVER, IDB_MIN_PRESSED},
        {IDB_MIN_FINISHED, IDB_MIN_FINISHED_HOVER, IDB_MIN_FINISHED_PRESSED},
        {IDB_CHECK_OFF, IDB_CHECK_OFF_HOVER, IDB_CHECK_ON, IDB_CHECK_ON_HOVER},
        {IDB_CUSTOM_CLOSED, IDB_CUSTOM_CLOSED_HOVER, IDB_CUSTOM_OPEN, IDB_CUSTOM_OPEN_HOVER},
        {IDB_BROWSE_NORMAL, IDB_BROWSE_HOVER, IDB_BROWSE_PRESSED},
        {IDB_MSGBOX_BUTTON_NORMAL, IDB_MSGBOX_BUTTON_HOVER, IDB_MSGBOX_BUTTON_PRESSED},
        {IDB_MSGBOX_CLOSE_NORMAL, IDB_MSGBOX_CLOSE_HOVER, IDB_MSGBOX_CLOSE_PRESSED},
        {IDB_PRODUCT_LOGO, IDB_PRODUCT_LOGO2, IDB_PRODUCT_LOGO_X64, IDB_PRODUCT_LOGO2_X64},
    };
    for (const auto& group : groups) {
        std::vector<std::pair<int, Image>> states;
        for (int id : group)
            states.emplace_back(id, Load(id));
        for (size_t i = 0; i < states.size(); ++i) {
            for (size_t j = i + 1; j < states.size(); ++j) {
                // At least a glyph's worth of pixels, not a stray one.
                EXPECT_GE(DifferingPixels(states[i].second, states[j].second), 12)
                    << states[i].first << " vs " << states[j].first;
            }
        }
    }
}

TEST_F(BuiltinBitmaps, LogosStayClearWhereTheWindowWritesOverThem) {
    // The version label starts at y 39, inside the product logo's rectangle.
    for (int id : {IDB_PRODUCT_LOGO, IDB_PRODUCT_LOGO_X64}) {
        const Image logo = Load(id);
        for (int y = 39; y < logo.height; ++y) {
            for (int x = 0; x < logo.width; ++x)
                ASSERT_EQ(logo.Rgb(x, y), kWhite) << "bitmap " << id << " at " << x << "," << y;
        }
    }
    // The countdown label (window y 311 to 348) reaches into the large logo,
    // which the window draws at y 24.
    for (int id : {IDB_LARGE_LOGO_GREY, IDB_LARGE_LOGO_COLOUR, IDB_INSTALL_LOGO}) {
        const Image logo = Load(id);
        for (int y = 311 - 24; y < logo.height; ++y) {
            for (int x = 0; x < logo.width; ++x)
                ASSERT_EQ(logo.Rgb(x, y), kWhite) << "bitmap " << id << " at " << x << "," << y;
        }
    }
    // The failure text (0x373737, body size) runs across the failure logo's
    // rows 80 to 160 and must stay readable on every pixel there.
    const Image failed = Load(IDB_FAILED_LOGO);
    for (int y = 80; y < 160; ++y) {
        for (int x = 0; x < failed.width; ++x)
            ASSERT_GE(Contrast(failed.Rgb(x, y), 0x373737), 4.5) << x << "," << y;
    }
    // The white percentage (large text) sits on the finished background as
    // the installation disc uncovers it.
    const Image background = Load(IDB_FINISHED_BACKGROUND);
    for (int y = 325; y < 385; ++y) {
        for (int x = 261; x < 361; ++x)
            ASSERT_GE(Contrast(background.Rgb(x, y), kWhite), 3.0) << x << "," << y;
    }
}
