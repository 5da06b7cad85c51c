// Writes pictures of the skinned message box and the info view, as the window
// layer presents them, for the documentation:
//   ui_screenshots <folder>   ->  <folder>/messagebox.png, <folder>/infoview.png
// Runs on whatever display the environment names (an Xvfb of its own when
// started with --xvfb).
#include <cstdio>
#include <string>

#include "resources/resources.h"
#include "tests/support/xvfb.h"
#include "tests/ui/ui_test_support.h"
#include "ui/dialog_templates.h"
#include "ui/info_view.h"
#include "ui/skin_message_box.h"

namespace {

bool ShootMessageBox(const std::string& path) {
    ui_test::CommandSink host;
    bool written = false;
    auto box = [] {
        SkinMessageBox* live = LiveSkinMessageBox();
        return live ? live->GetHwnd() : nullptr;
    };
    ui_test::TimerScript script(
        host.hwnd(),
        {[&] { return box() && ui_test::PresentedPixel(box(), 200, 10) == RGB(74, 71, 181); },
         [&] {
             InjectMouse(box(), SyntheticMouse::Move, 205, 180);  // the hover look
             return true;
         },
         [&] {
             static int frames = 0;
             return ++frames > 5;  // a few repaints with the hover state
         },
         [&] {
             written = CaptureWindowPng(box(), path);
             PostMessageW(box(), WM_CLOSE, 0, 0);
             return true;
         }},
        [&] { PostMessageW(box(), WM_CLOSE, 0, 0); });
    MySkinMessageBox(host.hwnd(), L"Korvel Setup",
                     L"There is not enough free space on the selected drive. Please choose "
                     L"another install folder and try again.",
                     L"OK");
    return written;
}

InfoViewItem Item(int id, uint32_t start, uint32_t done, uint32_t speed, int state,
                  const char* url) {
    InfoViewItem item;
    item.id = id;
    item.start = start;
    item.end = start + 8 * 1048576 - 1;
    item.pos = start + done;
    item.speed = speed;
    item.state = state;
    item.url = url;
    return item;
}

bool ShootInfoView(const std::string& path) {
    HWND view = OpenInfoView();
    if (!view) {
        return false;
    }
    InfoViewLogEcho("Log file opened: install version 1.0.6.0");
    InfoViewStats stats;
    const char* a = "http://mirror1.korvel.example/korvel12/KorvelSetup_x64_12.0.3.exe";
    const char* b = "http://mirror2.korvel.example/korvel12/KorvelSetup_x64_12.0.3.exe";
    stats.items = {
        Item(0, 0, 8 * 1048576, 0, 3, a), Item(1, 8 * 1048576, 5 * 1048576 + 1234, 2310000, 0, a),
        Item(2, 16 * 1048576, 3 * 1048576, 1710000, 0, b), Item(3, 24 * 1048576, 700000, 0, 1, b),
        Item(4, 32 * 1048576, 12000, 0, 2, "http://cdn.korvel.example/k12.exe")};
    RefreshInfoView(&stats);
    PumpMessagesUntil([] { return false; }, 600);
    bool written = CaptureWindowPng(view, path);
    DestroyWindow(view);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_screenshots <folder> [--xvfb]\n");
        return 2;
    }
    std::string folder = argv[1];
    std::unique_ptr<korvel_test::XvfbSession> xvfb;
    if (argc > 2 && std::string(argv[2]) == "--xvfb") {
        xvfb = std::make_unique<korvel_test::XvfbSession>();
    }
    RegisterBuiltinBitmaps();
    RegisterUiDialogTemplates();
    bool box = ShootMessageBox(folder + "/messagebox.png");
    bool view = ShootInfoView(folder + "/infoview.png");
    std::printf("messagebox.png %s, infoview.png %s\n", box ? "written" : "FAILED",
                view ? "written" : "FAILED");
    return box && view ? 0 : 1;
}
