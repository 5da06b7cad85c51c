// Skin controls: the button state machine as the mouse sees it, hit testing,
// and what each control paints into a memory surface.
#include <gtest/gtest.h>

#include "tests/ui/ui_test_support.h"
#include "ui/bm_data.h"
#include "ui/skin_ctrl.h"

using ui_test::CommandSink;
using ui_test::MemorySurface;
using ui_test::SolidBitmap;

namespace {

constexpr COLORREF kRed = RGB(200, 30, 30);
constexpr COLORREF kBlue = RGB(30, 30, 200);
constexpr COLORREF kGreen = RGB(30, 160, 60);
constexpr COLORREF kBlack = RGB(0, 0, 0);

TEST(SkinButton, PressDragOutDragBackAndRelease) {
    CommandSink sink;
    ButtonCtrlEx button(sink.hwnd(), 10, 10, 50, 30);
    button.SetID(77);

    EXPECT_EQ(1, button.OnMouseMove(20, 20));
    EXPECT_EQ(kStateHover, button.GetState());
    EXPECT_EQ(1, button.OnLButtonDown(20, 20));
    EXPECT_EQ(kStatePressed, button.GetState());

    // Leaving with the button held forgets the press: releasing inside later is no click.
    EXPECT_EQ(0, button.OnMouseMove(80, 80));
    EXPECT_EQ(kStateNormal, button.GetState());
    EXPECT_EQ(1, button.OnMouseMove(20, 20));
    EXPECT_EQ(kStateHover, button.GetState());
    EXPECT_EQ(0, button.OnLButtonUp(20, 20));
    EXPECT_TRUE(sink.commands().empty());

    // The owner passes button-held moves as presses, so dragging back re-arms it.
    button.OnLButtonDown(20, 20);
    button.OnLButtonDown(80, 80);
    EXPECT_EQ(kStateNormal, button.GetState());
    button.OnLButtonDown(25, 25);
    button.OnMouseMove(25, 25);
    EXPECT_EQ(kStatePressed, button.GetState());
    EXPECT_EQ(1, button.OnLButtonUp(25, 25));
    EXPECT_EQ(kStateHover, button.GetState());
    ASSERT_EQ(1u, sink.commands().size());
    EXPECT_EQ(77, sink.commands()[0]);
}

TEST(SkinButton, ReleaseOutsideSendsNothing) {
    CommandSink sink;
    ButtonCtrlEx button(sink.hwnd(), 10, 10, 50, 30);
    button.SetID(5);
    button.OnLButtonDown(12, 12);
    EXPECT_EQ(0, button.OnLButtonUp(100, 12));
    EXPECT_EQ(kStateNormal, button.GetState());
    // The latch is gone: a later release inside is no click either.
    EXPECT_EQ(0, button.OnLButtonUp(12, 12));
    EXPECT_TRUE(sink.commands().empty());
}

TEST(SkinButton, DisabledKeepsItsLookUntilTheMouseRecomputesIt) {
    CommandSink sink;
    CheckButtonCtrl check(sink.hwnd(), 0, 0, 20, 20);
    check.SetID(9);
    check.OnMouseMove(5, 5);
    check.SetEnable(false);
    EXPECT_EQ(kStateDisabled, check.GetState());
    EXPECT_EQ(0, check.OnMouseMove(5, 5));
    EXPECT_EQ(0, check.OnLButtonDown(5, 5));
    EXPECT_EQ(0, check.OnLButtonUp(5, 5));
    EXPECT_EQ(kStateDisabled, check.GetState());
    EXPECT_TRUE(sink.commands().empty());

    check.SetEnable(true);
    EXPECT_EQ(kStateDisabled, check.GetState());
    check.OnMouseMove(5, 5);
    EXPECT_EQ(kStateHover, check.GetState());
    // A click does not toggle the box: the dialog does on WM_COMMAND.
    check.OnLButtonDown(5, 5);
    check.OnLButtonUp(5, 5);
    EXPECT_EQ(0, check.GetCheck());
    EXPECT_EQ(std::vector<int>{9}, sink.commands());
}

TEST(SkinButton, InvisibleIgnoresTheMouse) {
    ButtonCtrlEx button(nullptr, 0, 0, 10, 10);
    button.SetVisible(false);
    EXPECT_EQ(0, button.OnLButtonDown(5, 5));
    EXPECT_EQ(kStateNormal, button.GetState());
    MemorySurface surface(20, 20, RGB(0, 0, 0));
    EXPECT_EQ(0, button.Draw(surface.dc()));
}

TEST(SkinRect, HitTestIncludesEveryEdge) {
    StaticCtrl label(nullptr, 10, 20, 30, 40);
    EXPECT_TRUE(label.PtInRect(10, 20));
    EXPECT_TRUE(label.PtInRect(30, 40));
    EXPECT_TRUE(label.PtInRect(30, 20));
    EXPECT_FALSE(label.PtInRect(31, 30));
    EXPECT_FALSE(label.PtInRect(20, 41));
    EXPECT_FALSE(label.PtInRect(9, 30));

    label.SetRect(RECT{0, 0, 5, 5});
    EXPECT_EQ(5, label.GetRect()->width);
    EXPECT_FALSE(label.PtInRect(10, 20));
}

TEST(SkinRect, DeflateKeepsLeftAndTopOnTheSurface) {
    CommonRect r(1, 2, 11, 22);
    r.Deflate(2);
    EXPECT_EQ(3, r.left);
    EXPECT_EQ(4, r.top);
    EXPECT_EQ(6, r.width);
    EXPECT_EQ(16, r.height);
    EXPECT_EQ(16, r.local.bottom);
    CommonRect edge(0, 1, 10, 10);
    edge.Deflate(-3);
    EXPECT_EQ(0, edge.left);
    EXPECT_EQ(0, edge.top);
    EXPECT_EQ(13, edge.right);
}

TEST(SkinPaint, ColorButtonDrawsATwoPixelFrame) {
    MemorySurface surface(40, 30, RGB(255, 255, 255));
    ButtonColorCtrlEx button(nullptr, 5, 5, 25, 20);
    button.SetBorderWidth(2);
    button.SetBorderColors(kRed, kRed, kRed, kRed);
    button.SetFillColors(kBlue, kGreen, kGreen, kGreen);
    EXPECT_EQ(1, button.Draw(surface.dc()));

    EXPECT_EQ(kRed, surface.Pixel(5, 5));
    EXPECT_EQ(kRed, surface.Pixel(6, 12));
    EXPECT_EQ(kRed, surface.Pixel(24, 19));
    EXPECT_EQ(kRed, surface.Pixel(23, 18));
    EXPECT_EQ(kBlue, surface.Pixel(7, 7));
    EXPECT_EQ(kBlue, surface.Pixel(22, 17));
    EXPECT_EQ(RGB(255, 255, 255), surface.Pixel(25, 12));
    EXPECT_EQ(RGB(255, 255, 255), surface.Pixel(4, 12));
    // frame: 20 x 15 minus the 16 x 11 inside
    EXPECT_EQ(20 * 15 - 16 * 11, surface.Count(kRed, 0, 0, 40, 30));
}

TEST(SkinPaint, ColorButtonTreatsZeroAsNoColour) {
    MemorySurface surface(30, 30, RGB(255, 255, 255));
    ButtonColorCtrlEx button(nullptr, 0, 0, 20, 20);
    button.SetBorderWidth(3);
    button.SetFillColors(kGreen, kGreen, kGreen, kGreen);
    button.Draw(surface.dc());
    EXPECT_EQ(RGB(255, 255, 255), surface.Pixel(1, 1));  // no border colour: left alone
    EXPECT_EQ(kGreen, surface.Pixel(10, 10));
}

TEST(SkinPaint, ProgressBarFillsByPosition) {
    MemorySurface surface(320, 20, RGB(255, 255, 255));
    ProcessCtrl bar(nullptr, 0, 0, 303, 10);
    bar.SetBorder(1, kBlack);
    bar.SetBarColors(kBlue, kGreen);
    bar.SetRange(0, 100);
    bar.SetPos(50);
    EXPECT_EQ(1, bar.Draw(surface.dc()));
    // inner width 301: 150 done pixels from x = 1
    EXPECT_EQ(150, surface.Count(kBlue, 0, 5, 320, 6));
    EXPECT_EQ(kBlue, surface.Pixel(150, 5));
    EXPECT_EQ(kGreen, surface.Pixel(151, 5));
    EXPECT_EQ(kBlack, surface.Pixel(0, 5));
    EXPECT_EQ(kBlack, surface.Pixel(302, 5));
}

TEST(SkinPaint, ProgressBarOverflowsAboveTheMaximum) {
    EXPECT_EQ(150, ProcessCtrl::FilledWidth(50, 0, 100, 301));
    EXPECT_EQ(451, ProcessCtrl::FilledWidth(150, 0, 100, 301));
    EXPECT_EQ(0, ProcessCtrl::FilledWidth(50, 7, 7, 301));  // empty range
    MemorySurface surface(120, 10, RGB(255, 255, 255));
    ProcessCtrl bar(nullptr, 0, 0, 50, 10);
    bar.SetBarColors(kBlue, kGreen);
    bar.SetPos(200);
    bar.Draw(surface.dc());
    EXPECT_EQ(kBlue, surface.Pixel(80, 5));  // past the bar's own right edge
}

TEST(SkinPaint, ProgressBarBitmapsShowTheDonePart) {
    MemorySurface surface(120, 10, RGB(255, 255, 255));
    HBITMAP rest = SolidBitmap(100, 10, kGreen);
    HBITMAP done = SolidBitmap(100, 10, kRed);
    ProcessCtrl bar(nullptr, 0, 0, 100, 10);
    bar.SetDrawBitmap(1);
    bar.SetStateBitmaps(rest, done, nullptr, nullptr);
    bar.SetPos(25);
    bar.Draw(surface.dc());
    EXPECT_EQ(25, surface.Count(kRed, 0, 5, 120, 6));
    EXPECT_EQ(75, surface.Count(kGreen, 0, 5, 120, 6));
    DeleteObject(rest);
    DeleteObject(done);
}

TEST(SkinPaint, EmptyButtonTextDrawsOnlyTheBitmap) {
    MemorySurface surface(40, 40, RGB(255, 255, 255));
    HBITMAP normal = SolidBitmap(20, 20, kBlue);
    HBITMAP hover = SolidBitmap(20, 20, kGreen);
    ButtonCtrlEx button(nullptr, 10, 10, 30, 30);
    button.SetDrawBitmap(1);
    button.SetStateBitmaps(normal, hover, nullptr, nullptr);
    EXPECT_EQ(1, button.Draw(surface.dc()));
    EXPECT_EQ(400, surface.Count(kBlue, 0, 0, 40, 40));
    EXPECT_EQ(40 * 40 - 400, surface.Count(RGB(255, 255, 255), 0, 0, 40, 40));

    button.OnMouseMove(15, 15);
    button.Draw(surface.dc());
    EXPECT_EQ(400, surface.Count(kGreen, 0, 0, 40, 40));
    // pressed has no bitmap: nothing is drawn over the hover picture
    button.OnLButtonDown(15, 15);
    EXPECT_EQ(1, button.Draw(surface.dc()));
    EXPECT_EQ(400, surface.Count(kGreen, 0, 0, 40, 40));
    DeleteObject(normal);
    DeleteObject(hover);
}

TEST(SkinPaint, ButtonTextTakesTheColourOfItsState) {
    MemorySurface surface(120, 40, RGB(255, 255, 255));
    ButtonCtrlEx button(nullptr, 0, 0, 120, 40);
    button.SetText(L"MMMM");
    button.SetStateColors(kRed, kBlue, kGreen, kBlack);
    button.Draw(surface.dc());
    EXPECT_GT(surface.Count(kRed, 0, 0, 120, 40), 10);
    button.OnMouseMove(3, 3);
    MemorySurface hovered(120, 40, RGB(255, 255, 255));
    button.Draw(hovered.dc());
    EXPECT_GT(hovered.Count(kBlue, 0, 0, 120, 40), 10);
    EXPECT_EQ(0, hovered.Count(kRed, 0, 0, 120, 40));
}

TEST(SkinPaint, CheckBoxPicksTheCheckedBitmap) {
    MemorySurface surface(60, 20, RGB(255, 255, 255));
    HBITMAP unchecked = SolidBitmap(14, 14, kGreen);
    HBITMAP checked = SolidBitmap(14, 14, kRed);
    CheckButtonCtrlEx box(nullptr, 10, 2, 60, 18);
    box.SetDrawBitmap(1);
    box.SetStateBitmaps(unchecked, unchecked, unchecked, unchecked);
    box.SetCheckedBitmaps(checked, checked, checked, checked);
    box.SetBoxRect(2, 1, 14, 14);
    box.Draw(surface.dc());
    EXPECT_EQ(196, surface.Count(kGreen, 0, 0, 60, 20));
    EXPECT_EQ(kGreen, surface.Pixel(12, 3));
    box.SetCheck(1);
    box.Draw(surface.dc());
    EXPECT_EQ(196, surface.Count(kRed, 0, 0, 60, 20));
    DeleteObject(unchecked);
    DeleteObject(checked);
}

// Two wrapped lines in a box four lines high start one line down.
TEST(SkinPaint, EditControlTextIsCentredVertically) {
    LOGFONTW lf = {};
    lf.lfHeight = -14;
    wcscpy(lf.lfFaceName, L"Arial");
    HFONT font = CreateFontIndirectW(&lf);
    MemorySurface probe(10, 10, RGB(0, 0, 0));
    SelectObject(probe.dc(), font);
    RECT one{0, 0, 200, 0};
    DrawTextW(probe.dc(), L"Ag", -1, &one, DT_CALCRECT | DT_SINGLELINE);
    const int line = one.bottom - one.top;
    ASSERT_GT(line, 5);

    const int boxHeight = 4 * line;
    auto firstInk = [&](UINT format) {
        MemorySurface surface(200, boxHeight + 10, RGB(255, 255, 255));
        StaticCtrl label(nullptr, 0, 0, 200, boxHeight);
        label.SetFont(font);
        label.SetTextColor(kBlack);
        label.SetTextFormat(format);
        label.SetText(L"Ag first line\nAg second line");
        EXPECT_EQ(1, label.Draw(surface.dc()));
        std::vector<int> rows = surface.InkedRows(RGB(255, 255, 255), 0, 200);
        return rows.empty() ? -1 : rows.front();
    };
    int top = firstInk(DT_WORDBREAK);
    int centred = firstInk(DT_EDITCONTROL | DT_WORDBREAK);
    ASSERT_GE(top, 0);
    EXPECT_NEAR(line, centred - top, 1);
    DeleteObject(font);
}

TEST(SkinPaint, NothingToDrawWithoutADc) {
    ButtonCtrlEx button(nullptr, 0, 0, 10, 10);
    EXPECT_EQ(0, button.Draw(nullptr));
    HyLinkCtrlEx link(nullptr, 0, 0, 10, 10);
    EXPECT_EQ(0, link.Draw(nullptr));
    MemorySurface surface(10, 10, RGB(0, 0, 0));
    EXPECT_EQ(0, button.DrawBitmapAt(surface.dc(), nullptr, 0, 0, 5, 5));
}

}  // namespace

namespace {

TEST(BitmapHolder, LoadsPixelsAndReloadsCleanly) {
    ui_test::RegisterSolidPng(9301, 6, 4, RGB(10, 20, 30));
    ui_test::RegisterSolidPng(9302, 3, 2, RGB(200, 100, 50));
    BMData holder;
    ASSERT_TRUE(holder.Load(9301));
    EXPECT_EQ(6, holder.m_nWidth);
    EXPECT_EQ(4, holder.m_nHeight);
    ASSERT_EQ(6u * 4u * 4u, holder.m_pixels.size());
    // blue in the low byte
    EXPECT_EQ(30, holder.m_pixels[0]);
    EXPECT_EQ(20, holder.m_pixels[1]);
    EXPECT_EQ(10, holder.m_pixels[2]);

    ASSERT_TRUE(holder.Load(9302));
    EXPECT_EQ(3, holder.m_nWidth);
    EXPECT_EQ(3u * 2u * 4u, holder.m_pixels.size());
    EXPECT_EQ(50, holder.m_pixels[0]);

    EXPECT_FALSE(holder.Load(9399));  // no such resource: nothing stale is left
    EXPECT_EQ(nullptr, holder.m_hBitmap);
    EXPECT_TRUE(holder.m_pixels.empty());
}

}  // namespace

namespace {

// SetPos paints through the window's own DC, without waiting for the owner's repaint.
TEST(SkinWindowPaint, ProgressPositionReachesTheWindowAtOnce) {
    CommandSink sink;
    ShowWindow(sink.hwnd(), SW_SHOW);
    ProcessCtrl bar(sink.hwnd(), 10, 10, 110, 20);
    bar.SetBarColors(kBlue, kGreen);
    EXPECT_EQ(1, bar.SetPos(40));
    EXPECT_TRUE(PumpMessagesUntil(
        [&] { return ui_test::PresentedPixel(sink.hwnd(), 49, 15) == kBlue; }, 5000));
    EXPECT_EQ(kGreen, ui_test::PresentedPixel(sink.hwnd(), 50, 15));
    bar.SetPos(80);
    EXPECT_TRUE(PumpMessagesUntil(
        [&] { return ui_test::PresentedPixel(sink.hwnd(), 89, 15) == kBlue; }, 5000));
}

}  // namespace
