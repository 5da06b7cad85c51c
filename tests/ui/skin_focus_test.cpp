// Keyboard focus among skinned controls: tab order, the focus cue and its
// drawing, presses, and the message box answering Tab, Space, Return and Escape.
#include <gtest/gtest.h>

#include <memory>

#include "tests/ui/ui_test_support.h"
#include "ui/skin_focus.h"
#include "ui/skin_message_box.h"

using ui_test::CommandSink;
using ui_test::MemorySurface;
using ui_test::TimerScript;

namespace {

// Four buttons in a row (ids 1..4) fed to a SkinFocus owned by a sink window.
class FocusTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_focus.SetOwner(m_sink.hwnd());
        for (int i = 0; i < 4; ++i) {
            m_buttons.push_back(
                std::make_unique<ButtonCtrlEx>(m_sink.hwnd(), i * 20, 0, i * 20 + 18, 18));
            m_buttons.back()->SetID(i + 1);
            m_focus.Add(m_buttons.back().get());
        }
    }
    int FocusedId() const {
        ButtonCtrlEx* b = m_focus.Focused();
        return b ? b->GetID() : 0;
    }

    CommandSink m_sink;
    std::vector<std::unique_ptr<ButtonCtrlEx>> m_buttons;
    SkinFocus m_focus;
};

TEST_F(FocusTest, TabOrderSkipsHiddenAndDisabledControlsAndGoesRound) {
    m_buttons[1]->SetVisible(false);
    m_buttons[2]->SetEnable(false);
    EXPECT_EQ(0, FocusedId());
    std::vector<int> forward, backward;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(m_focus.Move(false));
        forward.push_back(FocusedId());
    }
    EXPECT_EQ((std::vector<int>{1, 4, 1}), forward);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(m_focus.Move(true));
        backward.push_back(FocusedId());
    }
    EXPECT_EQ((std::vector<int>{4, 1, 4}), backward);
    EXPECT_EQ(m_sink.hwnd(), GetFocus()) << "keys reach the controls through their owner";

    // A focused control that goes away holds the focus no more.
    m_buttons[3]->SetVisible(false);
    EXPECT_EQ(0, FocusedId());
    EXPECT_FALSE(m_focus.Press());
    for (auto& b : m_buttons) {
        b->SetVisible(false);
    }
    EXPECT_FALSE(m_focus.Move(false)) << "nothing can take the focus";
}

TEST_F(FocusTest, ShiftTabFromNowhereStartsAtTheLast) {
    ASSERT_TRUE(m_focus.Move(true));
    EXPECT_EQ(4, FocusedId());
}

TEST_F(FocusTest, TheCueFollowsTheFocusOnlyOnceTheKeyboardIsUsed) {
    m_focus.Take(m_buttons[2].get());  // a click
    EXPECT_EQ(3, FocusedId());
    EXPECT_FALSE(m_buttons[2]->HasFocusCue()) << "nothing shows for the mouse";
    LRESULT answer = 0;
    EXPECT_FALSE(
        m_focus.HandleMessage(WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0, answer))
        << "the layer still passes the state on";
    EXPECT_TRUE(m_buttons[2]->HasFocusCue());
    ASSERT_TRUE(m_focus.HandleMessage(WM_NEXTDLGCTL, 0, 0, answer));
    EXPECT_FALSE(m_buttons[2]->HasFocusCue());
    EXPECT_TRUE(m_buttons[3]->HasFocusCue());
    ASSERT_TRUE(m_focus.HandleMessage(WM_NEXTDLGCTL, 1, 0, answer));
    EXPECT_EQ(3, FocusedId());
}

TEST_F(FocusTest, SpaceAndTheDefaultIdPressTheFocusedControl) {
    LRESULT answer = 0;
    EXPECT_FALSE(m_focus.HandleMessage(DM_GETDEFID, 0, 0, answer)) << "no focus: the dialog's own";
    EXPECT_FALSE(m_focus.HandleMessage(WM_KEYDOWN, VK_SPACE, 0, answer));
    m_focus.Move(false);
    m_focus.Move(false);
    ASSERT_TRUE(m_focus.HandleMessage(DM_GETDEFID, 0, 0, answer));
    EXPECT_EQ(MAKELONG(2, DC_HASDEFID), answer);
    EXPECT_TRUE(m_focus.HandleMessage(WM_KEYDOWN, VK_SPACE, 0, answer));
    EXPECT_FALSE(m_focus.HandleMessage(WM_KEYDOWN, 'A', 0, answer));
    EXPECT_EQ(std::vector<int>{2}, m_sink.commands());
}

TEST_F(FocusTest, AChildWindowBetweenTheControlsTakesTheRealFocus) {
    HWND edit = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 30, 100, 20,
                                m_sink.hwnd(), nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, edit);
    ShowWindow(m_sink.hwnd(), SW_SHOWNOACTIVATE);  // a child of a hidden window cannot be focused
    SkinFocus focus(m_sink.hwnd());
    focus.Add(m_buttons[0].get());
    focus.AddWindow(edit);
    focus.Add(m_buttons[1].get());
    focus.Move(false);
    focus.Move(false);
    EXPECT_EQ(edit, GetFocus());
    EXPECT_EQ(nullptr, focus.Focused());
    EXPECT_FALSE(focus.Press()) << "Space belongs to the edit box there";
    focus.Move(false);
    EXPECT_EQ(m_sink.hwnd(), GetFocus());
    EXPECT_EQ(m_buttons[1].get(), focus.Focused());
    // Starting from the edit box the user clicked into, Shift+Tab goes back to the first.
    SetFocus(edit);
    focus.Move(true);
    EXPECT_EQ(m_buttons[0].get(), focus.Focused());
    DestroyWindow(edit);
    ShowWindow(m_sink.hwnd(), SW_HIDE);
}

// ---- The cue as drawn ----

constexpr COLORREF kGround = RGB(0, 0, 0);
constexpr COLORREF kText = RGB(0x77, 0x77, 0x77);

TEST(FocusCueDrawing, ADottedRectangleInsideACheckBoxInItsTextColour) {
    MemorySurface surface(100, 40, kGround);
    CheckButtonCtrlEx box(nullptr, 10, 10, 60, 30);
    box.SetStateColors(kText, kText, kText, kText);
    box.Draw(surface.dc());
    EXPECT_EQ(0, surface.Count(kText, 0, 0, 100, 40)) << "no cue, no text: nothing drawn";

    box.SetFocusCue(true);
    box.Draw(surface.dc());
    // Every other pixel of the control's edge rows and columns, nothing outside.
    EXPECT_EQ(kText, surface.Pixel(10, 10));
    EXPECT_EQ(kGround, surface.Pixel(11, 10));
    EXPECT_EQ(kText, surface.Pixel(12, 10));
    EXPECT_EQ(kText, surface.Pixel(59, 29));
    EXPECT_EQ(kGround, surface.Pixel(9, 10));
    EXPECT_EQ(kGround, surface.Pixel(60, 29));
    EXPECT_EQ(25, surface.Count(kText, 10, 10, 60, 11));
    EXPECT_EQ(0, surface.Count(kText, 11, 11, 59, 29)) << "the inside stays as it was";
    const int edge = surface.Count(kText, 10, 10, 60, 30);
    EXPECT_EQ(25 + 25 + 9 + 9, edge);
}

TEST(FocusCueDrawing, AColourButtonShowsItInsideItsBorder) {
    MemorySurface surface(100, 40, kGround);
    constexpr COLORREF kBorder = RGB(0, 0, 200), kFill = RGB(0, 200, 0),
                       kWhite = RGB(255, 255, 255);
    ButtonColorCtrlEx button(nullptr, 0, 0, 80, 30);
    button.SetStateColors(kWhite, kWhite, kWhite, kWhite);
    button.SetBorderColors(kBorder, kBorder, kBorder, kBorder);
    button.SetFillColors(kFill, kFill, kFill, kFill);
    button.SetBorderWidth(2);
    button.SetFocusCue(true);
    button.Draw(surface.dc());
    EXPECT_EQ(kBorder, surface.Pixel(0, 0));
    EXPECT_EQ(kBorder, surface.Pixel(1, 2));
    EXPECT_EQ(kFill, surface.Pixel(2, 2));
    EXPECT_EQ(kWhite, surface.Pixel(3, 3));
    EXPECT_EQ(kFill, surface.Pixel(4, 3));
    EXPECT_EQ(0, surface.Count(kWhite, 0, 0, 80, 3)) << "the border keeps its colour";
}

// ---- The message box and the keyboard ----

HWND BoxWindow() {
    SkinMessageBox* box = LiveSkinMessageBox();
    return box ? box->GetHwnd() : nullptr;
}

TimerScript::Step Press(int key) {
    return [key] {
        InjectKey(BoxWindow(), key);
        return true;
    };
}

class MessageBoxKeysTest : public ::testing::Test {
protected:
    void SetUp() override { ui_test::RegisterMessageBoxBitmaps(); }

    // Shows the box; the steps run once it is up. True when it closed.
    bool Show(std::vector<TimerScript::Step> steps) {
        steps.insert(steps.begin(), [] { return BoxWindow() && IsWindowVisible(BoxWindow()); });
        TimerScript script(m_sink.hwnd(), std::move(steps), [] {
            if (HWND hwnd = BoxWindow()) {
                PostMessageW(hwnd, WM_CLOSE, 0, 0);
            }
        });
        EXPECT_EQ(1628, MySkinMessageBox(m_sink.hwnd(), L"ERROR", L"Install Failed!", L"OK"));
        return script.Finished() && !script.TimedOut() && !LiveSkinMessageBox();
    }

    CommandSink m_sink;
};

TEST_F(MessageBoxKeysTest, EscapeAndReturnEachAnswerTheBox) {
    EXPECT_TRUE(Show({Press(VK_ESCAPE)}));
    EXPECT_TRUE(Show({Press(VK_RETURN)}));
}

TEST_F(MessageBoxKeysTest, TabShowsTheCueAndSpacePressesTheFocusedButton) {
    bool closeCue = false, buttonCue = true, buttonCueAfter = false;
    EXPECT_TRUE(Show({Press(VK_TAB),
                      [&] {
                          if (InputPending()) {
                              return false;
                          }
                          closeCue = LiveSkinMessageBox()->Buttons()[0]->HasFocusCue();
                          buttonCue = LiveSkinMessageBox()->Buttons()[1]->HasFocusCue();
                          return true;
                      },
                      Press(VK_TAB),
                      [&] {
                          if (InputPending()) {
                              return false;
                          }
                          buttonCueAfter = LiveSkinMessageBox()->Buttons()[1]->HasFocusCue();
                          return true;
                      },
                      Press(VK_SPACE)}));
    EXPECT_TRUE(closeCue) << "the close box comes first";
    EXPECT_FALSE(buttonCue);
    EXPECT_TRUE(buttonCueAfter);
}

TEST_F(MessageBoxKeysTest, AMouseUserSeesNoCue) {
    bool anyCue = true;
    EXPECT_TRUE(Show({[&] {
                          InjectMouse(BoxWindow(), SyntheticMouse::LeftDown, 210, 183);
                          return true;
                      },
                      [&] {
                          if (InputPending()) {
                              return false;
                          }
                          anyCue = LiveSkinMessageBox()->Buttons()[1]->HasFocusCue();
                          InjectMouse(BoxWindow(), SyntheticMouse::LeftUp, 210, 183);
                          return true;
                      }}));
    EXPECT_FALSE(anyCue);
}

}  // namespace
