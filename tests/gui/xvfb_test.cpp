// One end-to-end run on a real X server: a window under Xvfb takes a real
// click made with xdotool. The X11 part runs in a child process of this test
// binary, because SDL picks its video driver once per process.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/gui/gui_test_util.h"
#include "tests/support/test_support.h"
#include "tests/support/xvfb.h"

extern char** environ;

namespace {

using gui_test::Recorder;

bool InChild() {
    return std::getenv("KORVEL_GUI_XVFB_CHILD") != nullptr;
}

TEST(Xvfb, ARealClickReachesAButtonOfAWindow) {
    if (InChild())
        GTEST_SKIP() << "runs in the parent only";
    korvel_test::XvfbSession xvfb;
    if (!xvfb.Started())
        GTEST_SKIP() << "Xvfb is not available";
    korvel_test::ScopedEnv marker("KORVEL_GUI_XVFB_CHILD", "1");
    korvel_test::ScopedEnv driver("SDL_VIDEODRIVER", "x11");
    std::string self(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
    ASSERT_GT(n, 0);
    self.resize(static_cast<size_t>(n));
    std::string filter = "--gtest_filter=XvfbChild.*";
    char* argv[] = {self.data(), filter.data(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the X11 run failed; its output is above";
}

TEST(XvfbChild, ClickWithXdotool) {
    if (!InChild())
        GTEST_SKIP() << "runs inside the Xvfb child process";
    Recorder::Get().Clear();
    HWND window = gui_test::MakeWindow(100, 100, 300, 200);
    ASSERT_NE(window, nullptr);
    HWND button = gui_test::MakeChild(window, L"Button", 1629, 50, 50, 100, 30);
    SetWindowTextW(button, L"OK");
    gui_test::PumpFor(300);  // let the X server map the window
    bool clicked = false;
    for (int attempt = 0; attempt < 3 && !clicked; ++attempt) {
        ASSERT_EQ(std::system("xdotool mousemove --sync 200 165 click 1"), 0);
        clicked = gui_test::Pump(3000, [&] {
            for (const auto& s : Recorder::Get().Of(WM_COMMAND))
                if (s.wParam == MAKEWPARAM(1629, BN_CLICKED) &&
                    reinterpret_cast<HWND>(s.lParam) == button)
                    return true;
            return false;
        });
    }
    EXPECT_TRUE(clicked);
    BOOL composed = TRUE;
    DwmIsCompositionEnabled(&composed);
    EXPECT_FALSE(composed) << "Xvfb runs no compositing manager";
    // A layered window goes through Xlib (an ARGB window, left unmapped here).
    HWND layered = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT, L"GuiTestWindow", L"",
                                   WS_POPUPWINDOW, 0, 0, 0, 0, window, nullptr, nullptr, nullptr);
    ASSERT_NE(layered, nullptr);
    uint32_t* bits = nullptr;
    HBITMAP dib = gui_test::MakeDib(360, 260, &bits);
    EXPECT_TRUE(gui_test::UpdateLayeredFromDib(layered, dib, {70, 70}, {360, 260}));
    ShowWindow(layered, SW_SHOWNA);
    gui_test::PumpFor(50);
    SetWindowPos(layered, nullptr, 80, 80, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    gui_test::PumpFor(50);
    DeleteObject(dib);
    std::string png = ::testing::TempDir() + "/xvfb_window.png";
    EXPECT_TRUE(CaptureWindowPng(window, png));
    std::remove(png.c_str());
    EXPECT_EQ(GuiOffThreadCallCount(), 0u);
    DestroyWindow(window);
}

INT_PTR DragProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            MoveWindow(hwnd, 300, 300, 200, 150, FALSE);
            SetTimer(hwnd, 1, 300, nullptr);
            SetTimer(hwnd, 2, 20000, nullptr);  // a guard against a lost release, not a limit
            return TRUE;
        case WM_USER + 1:
            if (wParam != 0)
                EndDialog(hwnd, 0);  // xdotool failed
            return TRUE;
        case WM_TIMER: {
            if (wParam == 2) {
                EndDialog(hwnd, 0);
                return TRUE;
            }
            KillTimer(hwnd, 1);
            // Press inside, pull by (40, 30), release: all real X input.
            int pressed = std::system(
                "xdotool mousemove --sync 350 350 mousedown 1 "
                "mousemove --sync 390 380 mouseup 1");
            PostMessageW(hwnd, WM_USER + 1, static_cast<WPARAM>(pressed), 0);
            return TRUE;
        }
        case WM_LBUTTONDOWN: {
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ClientToScreen(hwnd, &p);
            SendMessageW(hwnd, WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTCAPTION),
                         MAKELPARAM(p.x, p.y));
            return TRUE;
        }
        case WM_EXITSIZEMOVE: {
            RECT r;
            GetWindowRect(hwnd, &r);
            EndDialog(hwnd, MAKELONG(r.left, r.top));
            return TRUE;
        }
        default:
            return FALSE;
    }
}

TEST(XvfbChild, DragByAnyPointWithXdotool) {
    if (!InChild())
        GTEST_SKIP() << "runs inside the Xvfb child process";
    INT_PTR where = DialogBoxParamW(nullptr, MAKEINTRESOURCEW(7501), nullptr, DragProc, 0);
    EXPECT_EQ(LOWORD(where), 340);
    EXPECT_EQ(HIWORD(where), 330);
}

}  // namespace
