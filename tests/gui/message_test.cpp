// The message core: sending across threads, posting order, timers, painting
// from other threads, capture, dragging by HTCAPTION, destruction order.
#include <gtest/gtest.h>

#include <cairo.h>
#include <atomic>

#include <cstdio>
#include <thread>

#include "tests/gui/gui_test_util.h"

using gui_test::MakeChild;
using gui_test::MakeWindow;
using gui_test::Pump;
using gui_test::PumpFor;
using gui_test::Recorder;

namespace {

constexpr UINT kAsk = WM_USER + 1;
constexpr UINT kOrder = WM_USER + 2;

class MessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        Recorder::Get().Clear();
        m_hwnd = MakeWindow(100, 80, 200, 120);
        ASSERT_NE(m_hwnd, nullptr);
    }
    void TearDown() override {
        if (IsWindow(m_hwnd))
            DestroyWindow(m_hwnd);
        Recorder::Get().Clear();
    }
    HWND m_hwnd = nullptr;
};

TEST_F(MessageTest, SendFromAnotherThreadRunsOnTheOwnerAndReturnsTheResult) {
    Recorder::Get().Answer(kAsk, 4242);
    std::atomic<LRESULT> result{0};
    std::atomic<bool> done{false};
    std::thread sender([&] {
        result = SendMessageW(m_hwnd, kAsk, 7, 9);
        done = true;
    });
    ASSERT_TRUE(Pump(5000, [&] { return done.load(); }));
    sender.join();
    EXPECT_EQ(result.load(), 4242);
    auto seen = Recorder::Get().Of(kAsk);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].thread, std::this_thread::get_id());
    EXPECT_EQ(seen[0].wParam, 7u);
    EXPECT_EQ(seen[0].lParam, 9);
    // On the owner's own thread the call is direct.
    EXPECT_EQ(SendMessageW(m_hwnd, kAsk, 0, 0), 4242);
    EXPECT_EQ(SendMessageW(reinterpret_cast<HWND>(0x7777), kAsk, 0, 0), 0) << "no such window";
}

TEST_F(MessageTest, PostedMessagesArriveInOrderFromAnyThread) {
    for (int i = 0; i < 5; ++i)
        PostMessageW(m_hwnd, kOrder, static_cast<WPARAM>(i), 0);
    std::thread poster([&] {
        for (int i = 5; i < 10; ++i)
            PostMessageW(m_hwnd, kOrder, static_cast<WPARAM>(i), 0);
    });
    poster.join();
    ASSERT_TRUE(Pump(5000, [] { return Recorder::Get().Count(kOrder) == 10; }));
    auto seen = Recorder::Get().Of(kOrder);
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i].wParam, i);
    EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(0x7777), kOrder, 0, 0));
}

TEST_F(MessageTest, TimersFireUntilKilled) {
    ASSERT_NE(SetTimer(m_hwnd, 5, 20, nullptr), 0u);
    ASSERT_TRUE(Pump(5000, [] { return Recorder::Get().Count(WM_TIMER) >= 3; }));
    for (const auto& s : Recorder::Get().Of(WM_TIMER))
        EXPECT_EQ(s.wParam, 5u);
    EXPECT_TRUE(KillTimer(m_hwnd, 5));
    EXPECT_FALSE(KillTimer(m_hwnd, 5));
    size_t count = Recorder::Get().Count(WM_TIMER);
    PumpFor(100);
    EXPECT_EQ(Recorder::Get().Count(WM_TIMER), count);
    // A timer of a destroyed window goes with it.
    SetTimer(m_hwnd, 6, 10, nullptr);
    DestroyWindow(m_hwnd);
    PumpFor(50);
    EXPECT_EQ(Recorder::Get().Count(WM_TIMER), count);
}

TEST_F(MessageTest, FramesPaintedOnAnotherThreadAreHandedToTheWindow) {
    const uint64_t offThread = GuiOffThreadCallCount();
    std::atomic<bool> done{false};
    std::thread painter([&] {
        for (int round = 0; round < 30; ++round) {
            HDC window = GetDC(m_hwnd);
            HDC memory = CreateCompatibleDC(window);
            HBITMAP frame = CreateCompatibleBitmap(window, 200, 120);
            HGDIOBJ old = SelectObject(memory, frame);
            RECT all{0, 0, 200, 120};
            HBRUSH brush = CreateSolidBrush(RGB(10, 20, round));
            FillRect(memory, &all, brush);
            DeleteObject(brush);
            BitBlt(window, 0, 0, 200, 120, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteObject(frame);
            DeleteDC(memory);
            ReleaseDC(m_hwnd, window);
            InvalidateRect(m_hwnd, nullptr, FALSE);
            // Changing the window from here is forwarded to its thread.
            if (round == 10)
                ShowWindow(m_hwnd, SW_SHOWNA);
        }
        done = true;
    });
    ASSERT_TRUE(Pump(10000, [&] { return done.load(); }));
    painter.join();
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    ASSERT_TRUE(CaptureWindowPixels(m_hwnd, pixels, width, height));
    ASSERT_EQ(width, 200);
    ASSERT_EQ(height, 120);
    EXPECT_EQ(pixels[0] & 0xFFFFFF, 0x0A141Du) << "the last frame (round 29 = 0x1D in blue)";
    EXPECT_EQ(GuiOffThreadCallCount(), offThread) << "no SDL or X call off the UI thread";
}

TEST_F(MessageTest, CaptureSendsTheMouseToTheCapturingWindowEvenOutside) {
    HWND child = MakeChild(m_hwnd, L"GuiTestWindow", 3, 50, 40, 60, 30);
    ASSERT_NE(child, nullptr);
    InjectMouse(m_hwnd, SyntheticMouse::Move, 60, 50);
    ASSERT_TRUE(Pump(3000, [] { return Recorder::Get().Count(WM_MOUSEMOVE) >= 1; }));
    auto moves = Recorder::Get().Of(WM_MOUSEMOVE);
    EXPECT_EQ(moves.back().hwnd, child) << "the child under the point gets it";
    EXPECT_EQ(GET_X_LPARAM(moves.back().lParam), 10);
    EXPECT_EQ(GET_Y_LPARAM(moves.back().lParam), 10);
    Recorder::Get().Clear();
    SetCapture(child);
    EXPECT_EQ(GetCapture(), child);
    InjectMouse(m_hwnd, SyntheticMouse::Move, 5, 5);
    ASSERT_TRUE(Pump(3000, [] { return Recorder::Get().Count(WM_MOUSEMOVE) >= 1; }));
    moves = Recorder::Get().Of(WM_MOUSEMOVE);
    EXPECT_EQ(moves.back().hwnd, child);
    EXPECT_EQ(GET_X_LPARAM(moves.back().lParam), -45)
        << "client coordinates of the capturing window";
    ReleaseCapture();
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Recorder::Get().Count(WM_CAPTURECHANGED), 1u);
}

TEST_F(MessageTest, CaptionDragMovesTheWindowWithTheMouse) {
    // The test window starts a caption drag on every press, as the dialogs do.
    InjectMouse(m_hwnd, SyntheticMouse::LeftDown, 20, 20);
    ASSERT_TRUE(Pump(3000, [] { return Recorder::Get().Count(WM_LBUTTONDOWN) == 1; }));
    POINT p{20, 20};
    ClientToScreen(m_hwnd, &p);
    SendMessageW(m_hwnd, WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTCAPTION), MAKELPARAM(p.x, p.y));
    InjectMouse(m_hwnd, SyntheticMouse::Move, 50, 40);
    InjectMouse(m_hwnd, SyntheticMouse::LeftUp, 50, 40);
    ASSERT_TRUE(Pump(3000, [] { return Recorder::Get().Count(WM_EXITSIZEMOVE) == 1; }));
    RECT r;
    GetWindowRect(m_hwnd, &r);
    EXPECT_EQ(r.left, 130);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.right - r.left, 200);
    auto moves = Recorder::Get().Of(WM_MOVE);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(GET_X_LPARAM(moves.back().lParam), 130);
    EXPECT_EQ(GET_Y_LPARAM(moves.back().lParam), 100);
    EXPECT_EQ(Recorder::Get().Count(WM_LBUTTONUP), 0u) << "the drag swallows the release";
    // Without the button held there is nothing to drag.
    SendMessageW(m_hwnd, WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTCAPTION), MAKELPARAM(p.x, p.y));
    InjectMouse(m_hwnd, SyntheticMouse::Move, 0, 0);
    PumpFor(50);
    GetWindowRect(m_hwnd, &r);
    EXPECT_EQ(r.left, 130);
}

TEST_F(MessageTest, GeometryVisibilityAndStateFollowTheCalls) {
    RECT r;
    GetWindowRect(m_hwnd, &r);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.bottom, 200);
    GetClientRect(m_hwnd, &r);
    EXPECT_EQ(r.right, 200);
    EXPECT_EQ(r.bottom, 120);
    MoveWindow(m_hwnd, 10, 20, 300, 150, TRUE);
    auto sizes = Recorder::Get().Of(WM_SIZE);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(LOWORD(sizes.back().lParam), 300);
    EXPECT_EQ(HIWORD(sizes.back().lParam), 150);
    EXPECT_TRUE(IsWindowVisible(m_hwnd));
    EXPECT_TRUE(ShowWindow(m_hwnd, SW_MINIMIZE));
    EXPECT_TRUE(IsIconic(m_hwnd));
    EXPECT_EQ(Recorder::Get().Of(WM_SIZE).back().wParam, SIZE_MINIMIZED);
    ShowWindow(m_hwnd, SW_RESTORE);
    EXPECT_FALSE(IsIconic(m_hwnd));
    ShowWindow(m_hwnd, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(m_hwnd));
    auto shows = Recorder::Get().Of(WM_SHOWWINDOW);
    ASSERT_FALSE(shows.empty());
    EXPECT_EQ(shows.back().wParam, static_cast<WPARAM>(FALSE));
    HWND child = MakeChild(m_hwnd, L"GuiTestWindow", 9, 5, 5, 10, 10);
    EXPECT_EQ(GetDlgItem(m_hwnd, 9), child);
    EXPECT_FALSE(IsWindowVisible(child)) << "hidden with its parent";
    EXPECT_FALSE(EnableWindow(child, FALSE));
    EXPECT_FALSE(IsWindowEnabled(child));
    EXPECT_TRUE(EnableWindow(child, TRUE));
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 1234);
    EXPECT_EQ(GetWindowLongPtrW(m_hwnd, GWLP_USERDATA), 1234);
    SetWindowTextW(m_hwnd, L"Korvel 12 Installer");
    wchar_t title[64];
    EXPECT_EQ(GetWindowTextW(m_hwnd, title, 64), 19);
    EXPECT_STREQ(title, L"Korvel 12 Installer");
    EXPECT_EQ(GetWindowTextW(m_hwnd, title, 7), 6) << "truncated to the buffer";
}

TEST_F(MessageTest, DestroyTellsParentThenChildrenAndInvalidatesHandles) {
    HWND child = MakeChild(m_hwnd, L"GuiTestWindow", 1, 0, 0, 10, 10);
    Recorder::Get().Clear();
    EXPECT_TRUE(DestroyWindow(m_hwnd));
    auto destroys = Recorder::Get().Of(WM_DESTROY);
    auto finals = Recorder::Get().Of(WM_NCDESTROY);
    ASSERT_EQ(destroys.size(), 2u);
    ASSERT_EQ(finals.size(), 2u);
    EXPECT_EQ(destroys[0].hwnd, m_hwnd);
    EXPECT_EQ(finals[0].hwnd, child);
    EXPECT_EQ(finals[1].hwnd, m_hwnd);
    EXPECT_FALSE(IsWindow(m_hwnd));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(DestroyWindow(m_hwnd));
    HWND next = MakeWindow(0, 0, 10, 10);
    EXPECT_NE(next, m_hwnd) << "handles are never reused";
    DestroyWindow(next);
}

TEST_F(MessageTest, CaptureToPngWritesThePresentedFrame) {
    gui_test::FillWindow(m_hwnd, {0, 0, 200, 30}, RGB(74, 71, 181));
    std::string path = ::testing::TempDir() + "/gui_capture.png";
    ASSERT_TRUE(CaptureWindowPng(m_hwnd, path));
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), 200);
    EXPECT_EQ(cairo_image_surface_get_height(png), 120);
    cairo_surface_flush(png);
    auto* row = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(png));
    EXPECT_EQ(row[0] & 0xFFFFFF, 0x4A47B5u);
    cairo_surface_destroy(png);
    std::remove(path.c_str());
    EXPECT_FALSE(CaptureWindowPng(reinterpret_cast<HWND>(0x7777), path));
}

TEST_F(MessageTest, LayeredWindowsTakePremultipliedPixelsAndFollowTheirPlace) {
    HWND layered =
        CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT, L"GuiTestWindow", L"", WS_POPUPWINDOW,
                        CW_USEDEFAULT, 0, 0, 0, m_hwnd, nullptr, nullptr, nullptr);
    ASSERT_NE(layered, nullptr);
    uint32_t* px = nullptr;
    HBITMAP dib = gui_test::MakeDib(4, 3, &px);  // bottom-up, as the shadow builds it
    for (int i = 0; i < 12; ++i)
        px[i] = 0x1E050505;
    px[0] = 0;  // bottom-left pixel transparent
    ASSERT_TRUE(gui_test::UpdateLayeredFromDib(layered, dib, {70, 70}, {4, 3}));
    RECT r;
    GetWindowRect(layered, &r);
    EXPECT_EQ(r.left, 70);
    EXPECT_EQ(r.right, 74);
    EXPECT_EQ(r.bottom, 73);
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    ASSERT_TRUE(CaptureWindowPixels(layered, pixels, width, height));
    ASSERT_EQ(pixels.size(), 12u);
    EXPECT_EQ(pixels[8], 0u) << "bottom-left in top-down order";
    EXPECT_EQ(pixels[0], 0x1E050505u) << "alpha is kept";
    SetWindowPos(layered, nullptr, 90, 95, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    GetWindowRect(layered, &r);
    EXPECT_EQ(r.left, 90);
    BOOL composed = TRUE;
    EXPECT_EQ(DwmIsCompositionEnabled(&composed), S_OK);
    EXPECT_FALSE(composed) << "no compositing manager in a headless run";
    EXPECT_FALSE(gui_test::UpdateLayeredFromDib(m_hwnd, dib, {70, 70}, {4, 3}))
        << "not a layered window";
    DeleteObject(dib);
    DestroyWindow(m_hwnd);
    EXPECT_FALSE(IsWindow(layered)) << "owned windows go with their owner";
}

}  // namespace

namespace {

TEST_F(MessageTest, ASendToAWindowDestroyedMeanwhileReturnsZeroInsteadOfHanging) {
    Recorder::Get().Answer(kAsk, 77);
    std::atomic<bool> started{false}, done{false};
    std::atomic<LRESULT> result{-1};
    std::thread sender([&] {
        started = true;
        result = SendMessageW(m_hwnd, kAsk, 0, 0);
        done = true;
    });
    while (!started)
        std::this_thread::yield();
    DestroyWindow(m_hwnd);
    ASSERT_TRUE(Pump(5000, [&] { return done.load(); }));
    sender.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(Recorder::Get().Count(kAsk), 0u);
}

}  // namespace
