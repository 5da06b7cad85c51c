// DrawTextW through pango: alignment flags, line breaking, measuring,
// clipping and the Windows face names resolving to installed fonts.
#include <gtest/gtest.h>

#include "tests/gui/gui_test_util.h"
#include "tests/support/memory_surface.h"

using korvel_test::MemorySurface;

namespace {

class TextTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_font =
            CreateFontW(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
        ASSERT_NE(m_font, nullptr);
    }
    void TearDown() override { DeleteObject(m_font); }
    // Draws black text into a fresh white canvas and returns the ink box.
    RECT Draw(MemorySurface& canvas, const wchar_t* text, RECT rect, UINT format,
              int* result = nullptr) {
        HGDIOBJ old = SelectObject(canvas.dc(), m_font);
        SetBkMode(canvas.dc(), TRANSPARENT);
        SetTextColor(canvas.dc(), RGB(0, 0, 0));
        int height = DrawTextW(canvas.dc(), text, -1, &rect, format);
        if (result)
            *result = height;
        SelectObject(canvas.dc(), old);
        return canvas.Ink();
    }
    int LineHeight() {
        MemorySurface c(10, 10);
        RECT r{0, 0, 1000, 0};
        SelectObject(c.dc(), m_font);
        return DrawTextW(c.dc(), L"Hg", -1, &r, DT_SINGLELINE | DT_CALCRECT);
    }
    HFONT m_font = nullptr;
};

TEST_F(TextTest, HorizontalAlignmentFollowsLeftCentreAndRight) {
    RECT area{20, 10, 380, 50};
    MemorySurface left(400, 60), centre(400, 60), right(400, 60);
    RECT l = Draw(left, L"Korvel", area, DT_SINGLELINE | DT_LEFT);
    RECT c = Draw(centre, L"Korvel", area, DT_SINGLELINE | DT_CENTER);
    RECT r = Draw(right, L"Korvel", area, DT_SINGLELINE | DT_RIGHT);
    ASSERT_GT(l.right, l.left);
    EXPECT_LE(l.left, area.left + 3);
    EXPECT_GE(l.left, area.left);
    EXPECT_NEAR((c.left + c.right) / 2, (area.left + area.right) / 2, 3);
    EXPECT_GE(r.right, area.right - 3);
    EXPECT_LE(r.right, area.right);
    // The same word at three places: equal widths.
    EXPECT_NEAR(l.right - l.left, r.right - r.left, 1);
}

TEST_F(TextTest, VerticalPlacementOnlyWithSingleLine) {
    RECT area{0, 0, 300, 100};
    MemorySurface top(300, 100), middle(300, 100), bottom(300, 100), ignored(300, 100);
    int heightTop = 0, heightMiddle = 0, heightBottom = 0;
    RECT t = Draw(top, L"Mx", area, DT_SINGLELINE, &heightTop);
    RECT m = Draw(middle, L"Mx", area, DT_SINGLELINE | DT_VCENTER, &heightMiddle);
    RECT b = Draw(bottom, L"Mx", area, DT_SINGLELINE | DT_BOTTOM, &heightBottom);
    RECT i = Draw(ignored, L"Mx", area, DT_VCENTER | DT_BOTTOM | DT_WORDBREAK);
    EXPECT_LT(t.bottom, 30);
    EXPECT_NEAR((m.top + m.bottom) / 2, 50, 4);
    EXPECT_GT(b.bottom, 90);
    EXPECT_LE(b.bottom, 100);
    EXPECT_EQ(i.top, t.top) << "without DT_SINGLELINE the vertical flags do nothing, as on Windows";
    // The result is the text height, or with vertical placement the offset to its bottom.
    EXPECT_EQ(heightTop, LineHeight());
    EXPECT_EQ(heightBottom, 100);
    EXPECT_EQ(heightMiddle, (100 - heightTop) / 2 + heightTop);
}

TEST_F(TextTest, WordBreakWrapsAndCalcRectMeasuresWithoutDrawing) {
    const wchar_t* text = L"one two three four five six seven eight nine ten";
    MemorySurface canvas(120, 300);
    RECT measured{0, 0, 120, 0};
    SelectObject(canvas.dc(), m_font);
    int height = DrawTextW(canvas.dc(), text, -1, &measured, DT_WORDBREAK | DT_CALCRECT);
    SelectObject(canvas.dc(), GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_EQ(canvas.Ink().right, 0) << "DT_CALCRECT draws nothing";
    EXPECT_GE(height, 3 * LineHeight());
    EXPECT_EQ(measured.bottom, height);
    EXPECT_LE(measured.right, 120);
    EXPECT_GT(measured.right, 40);
    int drawn = 0;
    RECT ink = Draw(canvas, text, {0, 0, 120, 300}, DT_WORDBREAK, &drawn);
    EXPECT_EQ(drawn, height);
    EXPECT_LE(ink.bottom, height);
    EXPECT_GT(ink.bottom, height - LineHeight());
    RECT single{0, 0, 0, 0};
    SelectObject(canvas.dc(), m_font);
    DrawTextW(canvas.dc(), L"wide text", -1, &single, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_GT(single.right, 30) << "a single line widens the rectangle to the text";
    EXPECT_EQ(single.bottom, LineHeight());
    SelectObject(canvas.dc(), GetStockObject(DEFAULT_GUI_FONT));
}

TEST_F(TextTest, DrawingIsClippedToTheRectangleUnlessNoClip) {
    const wchar_t* text = L"a long line that cannot fit into the small box";
    RECT box{40, 20, 100, 32};
    MemorySurface clipped(300, 80), free(300, 80);
    RECT c = Draw(clipped, text, box, DT_SINGLELINE);
    EXPECT_GE(c.left, box.left);
    EXPECT_GE(c.top, box.top);
    EXPECT_LE(c.right, box.right);
    EXPECT_LE(c.bottom, box.bottom);
    RECT f = Draw(free, text, box, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_GT(f.right, box.right + 50);
}

TEST_F(TextTest, EditControlDropsAPartlyVisibleLastLine) {
    const int line = LineHeight();
    const wchar_t* text = L"first line\nsecond line\nthird line";
    MemorySurface canvas(300, 200);
    RECT area{0, 0, 300, line * 2 + line / 2};
    int height = 0;
    RECT ink = Draw(canvas, text, area, DT_EDITCONTROL | DT_WORDBREAK, &height);
    EXPECT_EQ(height, 2 * line);
    EXPECT_LE(ink.bottom, 2 * line);
}

TEST_F(TextTest, PrefixesAreHiddenUnlessNoPrefix) {
    MemorySurface canvas(10, 10);
    SelectObject(canvas.dc(), m_font);
    RECT a{0, 0, 0, 0}, b{0, 0, 0, 0}, c{0, 0, 0, 0};
    DrawTextW(canvas.dc(), L"Save", -1, &a, DT_SINGLELINE | DT_CALCRECT);
    DrawTextW(canvas.dc(), L"&Save", -1, &b, DT_SINGLELINE | DT_CALCRECT);
    DrawTextW(canvas.dc(), L"&Save", -1, &c, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
    SelectObject(canvas.dc(), GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_EQ(a.right, b.right);
    EXPECT_GT(c.right, a.right);
}

TEST_F(TextTest, WindowsFaceNamesRenderChineseJapaneseAndCyrillic) {
    for (const wchar_t* face : {L"微软雅黑", L"ArialMT", L"Tahoma", L"宋体"}) {
        HFONT font =
            CreateFontW(-18, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, face);
        for (const wchar_t* text : {L"安装失败", L"インストール", L"Установка"}) {
            MemorySurface canvas(300, 40);
            HGDIOBJ old = SelectObject(canvas.dc(), font);
            SetTextColor(canvas.dc(), RGB(0, 0, 0));
            RECT r{0, 0, 300, 40};
            DrawTextW(canvas.dc(), text, -1, &r, DT_SINGLELINE | DT_VCENTER);
            SelectObject(canvas.dc(), old);
            RECT ink = canvas.Ink();
            // Missing glyphs would come out as narrow boxes or nothing at all.
            EXPECT_GT(ink.right - ink.left, 40) << "face " << static_cast<int>(face[0]);
            EXPECT_GT(ink.bottom - ink.top, 8);
        }
        DeleteObject(font);
    }
}

TEST_F(TextTest, OpaqueModeFillsBehindTheTextAndColourIsKept) {
    MemorySurface canvas(200, 60);
    HFONT big = CreateFontW(-48, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    HGDIOBJ old = SelectObject(canvas.dc(), big);
    SetBkMode(canvas.dc(), OPAQUE);
    SetBkColor(canvas.dc(), RGB(0, 0, 255));
    SetTextColor(canvas.dc(), RGB(255, 0, 0));
    RECT r{10, 5, 190, 55};
    DrawTextW(canvas.dc(), L"MM", -1, &r, DT_SINGLELINE);
    SelectObject(canvas.dc(), old);
    DeleteObject(big);
    EXPECT_EQ(canvas.At(10, 6), 0x0000FFu) << "the background box is blue (low byte)";
    bool red = false;
    for (uint32_t p : canvas.Pixels())
        red = red || (p & 0xFFFFFF) == 0xFF0000;
    EXPECT_TRUE(red) << "some text pixels carry the full text colour";
}

}  // namespace
