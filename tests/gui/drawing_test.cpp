// Pixels: fills and blits in the 32-bit DIB layout, bitmaps of both row
// orders, PNG bitmap resources, object lifetime rules, regions and blending.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>

#include "platform/resource.h"
#include "tests/gui/gui_test_util.h"
#include "tests/support/memory_surface.h"
#include "tests/support/test_support.h"

using korvel_test::MemorySurface;

namespace {

void Fill(HDC dc, RECT r, COLORREF c) {
    HBRUSH brush = CreateSolidBrush(c);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

TEST(Drawing, FillAndBitBltKeepBlueInTheLowByte) {
    MemorySurface src(4, 3), dst(6, 5, RGB(0, 0, 0));
    Fill(src.dc(), {0, 0, 4, 3}, RGB(0x11, 0x22, 0x33));
    Fill(src.dc(), {1, 1, 2, 2}, RGB(0xFF, 0, 0));
    EXPECT_EQ(src.At(0, 0), 0x112233u);
    EXPECT_EQ(src.At(1, 1), 0xFF0000u);
    // Copy the 3 x 2 area from (1, 1) to (4, 4): only 2 x 1 fit into the target.
    ASSERT_TRUE(BitBlt(dst.dc(), 4, 4, 3, 2, src.dc(), 1, 1, SRCCOPY));
    EXPECT_EQ(dst.At(4, 4), 0xFF0000u);
    EXPECT_EQ(dst.At(5, 4), 0x112233u);
    EXPECT_EQ(dst.At(3, 4), 0u);
    EXPECT_EQ(dst.At(4, 3), 0u);
    // A source area partly outside the source copies only what exists.
    MemorySurface edge(4, 4, RGB(1, 2, 3));
    BitBlt(edge.dc(), 0, 0, 4, 4, src.dc(), 2, 1, SRCCOPY);
    EXPECT_EQ(edge.At(0, 0), 0x112233u);
    EXPECT_EQ(edge.At(2, 0), 0x010203u);
    EXPECT_EQ(edge.At(0, 2), 0x010203u);
    EXPECT_FALSE(BitBlt(dst.dc(), 0, 0, 1, 1, src.dc(), 0, 0, 0x00EE0086)) << "only SRCCOPY";
}

TEST(Drawing, BitmapBitsAreRowsFromTheTopInBothRowOrders) {
    const uint32_t rows[2][3] = {{0x010101, 0x020202, 0x030303}, {0x0A0A0A, 0x0B0B0B, 0x0C0C0C}};
    HBITMAP ddb = CreateCompatibleBitmap(nullptr, 3, 2);
    EXPECT_EQ(SetBitmapBits(ddb, sizeof rows, rows), static_cast<LONG>(sizeof rows));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biHeight = 2;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    ASSERT_NE(bits, nullptr);
    HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
    HGDIOBJ oldA = SelectObject(a, ddb), oldB = SelectObject(b, dib);
    BitBlt(b, 0, 0, 3, 2, a, 0, 0, SRCCOPY);
    // In memory the bottom-up DIB holds the lower row first.
    const auto* memory = static_cast<const uint32_t*>(bits);
    EXPECT_EQ(memory[0], 0x0A0A0Au);
    EXPECT_EQ(memory[3], 0x010101u);
    uint32_t back[6] = {};
    EXPECT_EQ(GetBitmapBits(dib, sizeof back, back), static_cast<LONG>(sizeof back));
    EXPECT_EQ(std::memcmp(back, rows, sizeof back), 0);
    EXPECT_EQ(GetBitmapBits(ddb, 8, back), 8) << "a short buffer gets only what it asks for";
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(dib, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBits, bits);
    EXPECT_EQ(bm.bmWidthBytes, 12);
    SelectObject(a, oldA);
    SelectObject(b, oldB);
    DeleteDC(a);
    DeleteDC(b);
    EXPECT_TRUE(DeleteObject(ddb));
    EXPECT_TRUE(DeleteObject(dib));
}

TEST(Drawing, SelectedAndDeletedObjectsAreRefusedInsteadOfUsed) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 2, 2);
    HGDIOBJ old = SelectObject(dc, bitmap);
    EXPECT_FALSE(DeleteObject(bitmap)) << "still selected";
    SelectObject(dc, old);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap)) << "already gone";
    EXPECT_EQ(SelectObject(dc, bitmap), nullptr);
    EXPECT_EQ(GetObjectW(bitmap, sizeof(BITMAP), nullptr), 0);
    EXPECT_FALSE(DeleteObject(GetStockObject(WHITE_BRUSH)));
    EXPECT_TRUE(DeleteDC(dc));
    RECT r{0, 0, 1, 1};
    EXPECT_EQ(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 0);
}

// A PNG made in memory and registered as a resource, like the compiled-in artwork.
std::vector<unsigned char> MakePng(int width, int height, const std::vector<uint32_t>& argb) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < height; ++y)
        std::memcpy(data + y * stride, &argb[static_cast<size_t>(y) * width], width * 4u);
    cairo_surface_mark_dirty(s);
    std::vector<unsigned char> png;
    cairo_surface_write_to_png_stream(
        s,
        [](void* closure, const unsigned char* bytes, unsigned int length) {
            auto* out = static_cast<std::vector<unsigned char>*>(closure);
            out->insert(out->end(), bytes, bytes + length);
            return CAIRO_STATUS_SUCCESS;
        },
        &png);
    cairo_surface_destroy(s);
    return png;
}

TEST(Drawing, PngResourcesLoadAsBitmapsWithTheirPixels) {
    static const std::vector<unsigned char> png =
        MakePng(3, 2, {0xFF112233, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF000000});
    RegisterResource(9101, L"PNG", png.data(), png.size());
    static const unsigned char broken[] = {0x89, 'P', 'N', 'G', 0, 1, 2};
    RegisterResource(9102, L"PNG", broken, sizeof broken);

    HBITMAP bitmap = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(9101));
    ASSERT_NE(bitmap, nullptr);
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 3);
    EXPECT_EQ(bm.bmHeight, 2);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_EQ(bm.bmWidthBytes, 12);
    uint32_t pixels[6] = {};
    ASSERT_EQ(GetBitmapBits(bitmap, sizeof pixels, pixels), 24);
    const uint32_t expected[6] = {0x112233, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(pixels[i] & 0xFFFFFF, expected[i]) << i;
    DeleteObject(bitmap);
    EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCEW(9102)), nullptr) << "damaged PNG";
    EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCEW(9199)), nullptr) << "missing resource";
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(9101));
    EXPECT_NE(icon, nullptr);
    DestroyIcon(icon);
}

TEST(Drawing, RegionsAnswerPointTestsOverUnionsAndDifferences) {
    HRGN a = CreateRectRgn(0, 0, 10, 10);
    HRGN b = CreateRectRgn(5, 5, 20, 20);
    HRGN out = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(out, a, b, RGN_OR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(out, 15, 15));
    EXPECT_TRUE(PtInRegion(out, 0, 0));
    EXPECT_FALSE(PtInRegion(out, 15, 2));
    EXPECT_FALSE(PtInRegion(out, 20, 20)) << "right and bottom edges are outside";
    CombineRgn(out, a, b, RGN_DIFF);
    EXPECT_TRUE(PtInRegion(out, 2, 2));
    EXPECT_FALSE(PtInRegion(out, 7, 7));
    CombineRgn(out, a, b, RGN_AND);
    RECT box{};
    EXPECT_EQ(GetRgnBox(out, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 5);
    EXPECT_EQ(box.right, 10);
    for (HRGN r : {a, b, out})
        DeleteObject(r);
}

TEST(Drawing, AlphaBlendUsesPremultipliedSourceAlpha) {
    uint32_t* bits = nullptr;
    HBITMAP dib = gui_test::MakeDib(1, -1, &bits);
    *bits = 0x80400000;  // red 0x80 at half alpha, premultiplied: 0x40
    HDC src = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(src, dib);
    MemorySurface dst(1, 1, RGB(0, 0, 200));
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ASSERT_TRUE(AlphaBlend(dst.dc(), 0, 0, 1, 1, src, 0, 0, 1, 1, blend));
    uint32_t p = dst.At(0, 0);
    EXPECT_EQ((p >> 16) & 0xFF, 0x40u);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 200 * 127 / 255, 1);
    SelectObject(src, old);
    DeleteDC(src);
    DeleteObject(dib);
}

TEST(Drawing, DisplayDpiOverrideScalesLikeTheDialogs) {
    SetGuiDpiOverride(144);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 144);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 144);
    EXPECT_EQ(420 * GetDeviceCaps(screen, LOGPIXELSX) / 96, 630);
    EXPECT_EQ(MulDiv(14, GetDeviceCaps(screen, LOGPIXELSY), 96), 21);
    ReleaseDC(nullptr, screen);
    SetGuiDpiOverride(0);
    EXPECT_EQ(GetDisplayDpi(), 96);
    {
        korvel_test::ScopedEnv env("KORVEL_DPI", "120");
        EXPECT_EQ(GetDisplayDpi(), 120);
        SetGuiDpiOverride(144);
        EXPECT_EQ(GetDisplayDpi(), 144) << "the explicit override wins";
        SetGuiDpiOverride(0);
    }
    EXPECT_EQ(MulDiv(-5, 1, 2), -3) << "halves round away from zero";
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

}  // namespace
