// One real round trip under the X server the suite started: the skinned
// message box opens, a real pointer click from outside the process (xdotool)
// lands on its button, and the box closes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "tests/ui/ui_test_support.h"
#include "ui/skin_message_box.h"

namespace {

bool HaveXdotool() {
    return std::system("command -v xdotool >/dev/null 2>&1") == 0;
}

TEST(MessageBoxOnX, RealClickOnTheButtonClosesIt) {
    ui_test::RegisterMessageBoxBitmaps();
    ui_test::CommandSink host;
    const bool xdotool = HaveXdotool();
    std::thread clicker;
    bool clicked = false;
    auto box = [] {
        SkinMessageBox* live = LiveSkinMessageBox();
        return live ? live->GetHwnd() : nullptr;
    };
    ui_test::TimerScript script(host.hwnd(),
                                {[&] { return box() && IsWindowVisible(box()); },
                                 [&] {
                                     RECT r{0, 0, 0, 0};
                                     GetWindowRect(box(), &r);
                                     if (xdotool) {
                                         std::string command =
                                             "xdotool mousemove --sync 1 1 mousemove --sync " +
                                             std::to_string(r.left + 210) + " " +
                                             std::to_string(r.top + 183) + " click 1";
                                         clicker = std::thread([command, &clicked] {
                                             clicked = std::system(command.c_str()) == 0;
                                         });
                                     } else {
                                         InjectMouse(box(), SyntheticMouse::LeftDown, 210, 183);
                                         InjectMouse(box(), SyntheticMouse::LeftUp, 210, 183);
                                         clicked = true;
                                     }
                                     return true;
                                 },
                                 [] { return false; }},  // only the click may end the box
                                [&] {
                                    if (box()) {
                                        PostMessageW(box(), WM_CLOSE, 0, 0);
                                    }
                                });
    int result = MySkinMessageBox(host.hwnd(), L"Korvel Setup", L"Install Failed!", L"OK");
    if (clicker.joinable()) {
        clicker.join();
    }
    EXPECT_EQ(1628, result);
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(script.TimedOut()) << "the box stayed open after the click";
    EXPECT_EQ(nullptr, LiveSkinMessageBox());
}

}  // namespace
