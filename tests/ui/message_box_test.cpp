// The skinned message box and the dialog base, in real windows of the layer.
#include <gtest/gtest.h>

#include "tests/ui/ui_test_support.h"
#include "ui/common_dlg.h"
#include "ui/skin_message_box.h"

using ui_test::CommandSink;
using ui_test::MessageBoxBitmapColour;
using ui_test::PresentedPixel;
using ui_test::TimerScript;

namespace {

constexpr COLORREF kTitleBand = RGB(74, 71, 181);
constexpr COLORREF kButtonBand = RGB(247, 251, 253);
constexpr COLORREF kWhite = RGB(255, 255, 255);

HWND BoxWindow() {
    SkinMessageBox* box = LiveSkinMessageBox();
    return box ? box->GetHwnd() : nullptr;
}

// Waits until the box has been presented at least once.
TimerScript::Step WaitForFirstFrame() {
    return [] {
        HWND hwnd = BoxWindow();
        return hwnd && PresentedPixel(hwnd, 200, 10) == kTitleBand;
    };
}

TimerScript::Step Mouse(SyntheticMouse kind, int x, int y) {
    return [kind, x, y] {
        InjectMouse(BoxWindow(), kind, x, y);
        return true;
    };
}

void CloseLiveBox() {
    if (HWND hwnd = BoxWindow()) {
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
}

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override { ui_test::RegisterMessageBoxBitmaps(); }
    void TearDown() override { SetGuiDpiOverride(0); }

    int Show(std::vector<TimerScript::Step> steps) {
        TimerScript script(m_sink.hwnd(), std::move(steps), CloseLiveBox);
        int result = MySkinMessageBox(m_sink.hwnd(), L"Korvel Setup",
                                      L"The installation folder cannot be created.", L"OK");
        EXPECT_FALSE(script.TimedOut());
        EXPECT_TRUE(script.Finished());
        EXPECT_EQ(nullptr, LiveSkinMessageBox());
        return result;
    }

    CommandSink m_sink;
};

TEST_F(MessageBoxTest, BandsBitmapsAndPlace) {
    RECT window{0, 0, 0, 0};
    std::vector<COLORREF> seen;
    const POINT probes[] = {{200, 10}, {30, 60},  {20, 190},  {419, 150},
                            {47, 105}, {409, 10}, {170, 190}, {250, 170}};
    int result =
        Show({WaitForFirstFrame(),
              // Off the buttons, whatever the pointer did before the box opened.
              Mouse(SyntheticMouse::Move, 30, 60),
              [] { return PresentedPixel(BoxWindow(), 170, 190) == MessageBoxBitmapColour(176); },
              [&] {
                  GetWindowRect(BoxWindow(), &window);
                  for (const POINT& p : probes) {
                      seen.push_back(PresentedPixel(BoxWindow(), p.x, p.y));
                  }
                  return true;
              },
              Mouse(SyntheticMouse::LeftDown, 210, 183), Mouse(SyntheticMouse::LeftUp, 210, 183)});
    EXPECT_EQ(1628, result);

    EXPECT_EQ(420, window.right - window.left);
    EXPECT_EQ(210, window.bottom - window.top);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 420) / 2, window.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - 210) / 2, window.top);
    ASSERT_EQ(8u, seen.size());
    EXPECT_EQ(kTitleBand, seen[0]);
    EXPECT_EQ(kWhite, seen[1]);
    EXPECT_EQ(kButtonBand, seen[2]);  // the band of the last 54 rows
    EXPECT_EQ(kWhite, seen[3]);       // just above it
    EXPECT_EQ(MessageBoxBitmapColour(175), seen[4]);
    EXPECT_EQ(MessageBoxBitmapColour(179), seen[5]);
    EXPECT_EQ(MessageBoxBitmapColour(176), seen[6]);
    EXPECT_EQ(MessageBoxBitmapColour(176), seen[7]);
}

TEST_F(MessageBoxTest, HighDpiScalesTheWindowButNotTheContent) {
    SetGuiDpiOverride(144);
    RECT window{0, 0, 0, 0};
    COLORREF insideBand = 0, pastContent = 0, below = 0;
    Show({WaitForFirstFrame(),
          [&] {
              GetWindowRect(BoxWindow(), &window);
              insideBand = PresentedPixel(BoxWindow(), 419, 10);
              pastContent = PresentedPixel(BoxWindow(), 440, 10);
              below = PresentedPixel(BoxWindow(), 200, 205);
              return true;
          },
          Mouse(SyntheticMouse::LeftDown, 210, 183), Mouse(SyntheticMouse::LeftUp, 210, 183)});
    EXPECT_EQ(630, window.right - window.left);
    EXPECT_EQ(315, window.bottom - window.top);
    EXPECT_EQ(kTitleBand, insideBand);
    EXPECT_NE(kTitleBand, pastContent);
    // The button band sits in the last 54 rows of the 315-row client, outside the copy.
    EXPECT_EQ(kWhite, below);
}

TEST_F(MessageBoxTest, ReleasingOffTheButtonKeepsItOpen) {
    bool openAfterDragOff = false;
    int stateAfterDragOff = -1;
    int result =
        Show({WaitForFirstFrame(), Mouse(SyntheticMouse::Move, 210, 183),
              Mouse(SyntheticMouse::LeftDown, 210, 183), Mouse(SyntheticMouse::Move, 300, 120),
              Mouse(SyntheticMouse::LeftUp, 300, 120),
              [&] {
                  openAfterDragOff = BoxWindow() != nullptr && IsWindow(BoxWindow());
                  stateAfterDragOff = LiveSkinMessageBox()->Buttons()[1]->GetState();
                  return true;
              },
              Mouse(SyntheticMouse::Move, 210, 183), Mouse(SyntheticMouse::LeftDown, 210, 183),
              Mouse(SyntheticMouse::LeftUp, 210, 183)});
    EXPECT_TRUE(openAfterDragOff);
    EXPECT_EQ(kStateNormal, stateAfterDragOff);
    EXPECT_EQ(1628, result);
}

TEST_F(MessageBoxTest, CloseBoxEndsItAndTheRepaintThreadStops) {
    SkinMessageBox* seen = nullptr;
    EXPECT_EQ(1628, Show({WaitForFirstFrame(),
                          [&] {
                              seen = LiveSkinMessageBox();
                              return seen->RepaintRunning();
                          },
                          Mouse(SyntheticMouse::LeftDown, 409, 10),
                          Mouse(SyntheticMouse::LeftUp, 409, 10)}));
    EXPECT_NE(nullptr, seen);
}

TEST_F(MessageBoxTest, DraggingTheFreeAreaMovesTheWindow) {
    RECT before{0, 0, 0, 0}, afterDrag{0, 0, 0, 0}, afterButton{0, 0, 0, 0};
    auto record = [](RECT* r) {
        return [r] {
            GetWindowRect(BoxWindow(), r);
            return true;
        };
    };
    Show({WaitForFirstFrame(), record(&before), Mouse(SyntheticMouse::LeftDown, 100, 100),
          Mouse(SyntheticMouse::Move, 130, 120), Mouse(SyntheticMouse::LeftUp, 130, 120),
          record(&afterDrag),
          // Client coordinates: the button is where it was inside the moved window.
          Mouse(SyntheticMouse::LeftDown, 210, 183), Mouse(SyntheticMouse::Move, 250, 150),
          record(&afterButton), Mouse(SyntheticMouse::LeftUp, 250, 150),
          Mouse(SyntheticMouse::LeftDown, 210, 183), Mouse(SyntheticMouse::LeftUp, 210, 183)});
    EXPECT_EQ(before.left + 30, afterDrag.left);
    EXPECT_EQ(before.top + 20, afterDrag.top);
    EXPECT_EQ(afterDrag.left, afterButton.left);  // a press on the button does not drag
    EXPECT_EQ(afterDrag.top, afterButton.top);
}

// A dialog that asks for IDCANCEL and then IDOK as soon as it opens.
class ProbeDlg : public CommonDlg {
public:
    explicit ProbeDlg(int mask) { SetCloseMask(mask); }
    int OnInitDialog(HWND hwnd) override {
        CommonDlg::OnInitDialog(hwnd);
        GetWindowRect(hwnd, &m_rect);
        PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
        PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
        PostMessageW(hwnd, WM_COMMAND, 4242, 0);
        return 1;
    }
    int OnCommand(WPARAM wParam, LPARAM) override {
        m_commands.push_back(int(LOWORD(wParam)));
        if (LOWORD(wParam) == 4242) {
            EndDialog(m_hWnd, 7);  // the last one: lets a mask that ends nothing finish
        }
        return 1;
    }
    std::vector<int> m_commands;
    RECT m_rect{0, 0, 0, 0};
};

ProbeDlg* g_probe = nullptr;

INT_PTR CALLBACK ProbeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return g_probe ? g_probe->DialogProc(hwnd, message, wParam, lParam) : FALSE;
}

INT_PTR RunProbe(ProbeDlg& dlg) {
    g_probe = &dlg;
    INT_PTR result =
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(4711), nullptr, ProbeProc, 0);
    g_probe = nullptr;
    return result;
}

TEST(CommonDlgTest, CloseMaskChoosesWhichCommandEndsTheDialog) {
    ProbeDlg both(kCloseOnCancel | kCloseOnOk);
    EXPECT_EQ(0, RunProbe(both));
    EXPECT_TRUE(both.m_commands.empty());  // IDCANCEL ended it before anything else

    ProbeDlg okOnly(kCloseOnOk);
    EXPECT_EQ(0, RunProbe(okOnly));
    EXPECT_EQ(std::vector<int>{IDCANCEL}, okOnly.m_commands);

    ProbeDlg none(0);
    EXPECT_EQ(7, RunProbe(none));
    EXPECT_EQ((std::vector<int>{IDCANCEL, IDOK, 4242}), none.m_commands);
}

TEST(CommonDlgTest, FixedSizeIsScaledAndCentred) {
    SetGuiDpiOverride(120);
    ProbeDlg dlg(kCloseOnCancel);
    dlg.SetFixedSize(200, 100);
    RunProbe(dlg);
    SetGuiDpiOverride(0);
    EXPECT_EQ(250, dlg.m_rect.right - dlg.m_rect.left);
    EXPECT_EQ(125, dlg.m_rect.bottom - dlg.m_rect.top);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 250) / 2, dlg.m_rect.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - 125) / 2, dlg.m_rect.top);
}

}  // namespace
