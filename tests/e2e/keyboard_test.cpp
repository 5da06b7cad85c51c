// The installer driven by the keyboard alone, on the real window: keys typed
// on the X server reach the window the way a user's keys do.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/e2e/e2e_fixture.h"

using namespace korvel_e2e;

namespace {

constexpr COLORREF kOptionText = 0x777777;  // the licence box's text colour
// A dot of the focus rectangle on the licence box's top edge, which the
// unfocused box leaves as background.
constexpr int kLicenceCueX = 45, kLicenceCueY = 425;

bool LogHas(const std::string& log, const char* line) {
    return log.find(line) != std::string::npos;
}

// The status of the run's last report once it is not the start report.
std::string FinalStatus(const std::vector<StoredRun>& runs) {
    return runs.empty() || runs.back().status == "start" ? "" : runs.back().status;
}

COLORREF PixelAt(HWND hwnd, int x, int y) {
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    if (!CaptureWindowPixels(hwnd, pixels, width, height) || x >= width || y >= height) {
        return 0xFFFFFFFF;
    }
    const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

// Return on the install page is the main button; during the download it
// presses nothing, and Escape takes the close button's road and its report.
TEST_F(InstallerTest, ReturnInstallsAndEscapeClosesTheDownload) {
    StartMirrors(m_package,
                 [](int, korvel_mirror::MirrorSettings& s) { s.rateBytesPerSec = 20000; });
    RunInstaller([&](SetupDlg& d) {
        PressKey(VK_RETURN);
        ASSERT_TRUE(WaitFor([&] { return LogHas(InstallLog(), "OnBtnInstall(OnInstall)"); }, 15000))
            << "Return did not start the install";
        EXPECT_GT(d.GetCountdown(), 0) << "the countdown had not run out";
        ASSERT_TRUE(WaitFor([&] { return LogHas(InstallLog(), "Url : "); }, 30000));
        // The main button is hidden now: Return (IDOK) must not end the window.
        PressKey(VK_RETURN);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        EXPECT_TRUE(IsWindowVisible(d.GetHwnd())) << "Return ended the window";
        EXPECT_EQ(kStageRunning, d.GetInstallStage());
        PressKey(VK_ESCAPE);
        ASSERT_TRUE(WaitFor([&] { return !FinalStatus(Reports()).empty(); }, 60000))
            << "Escape did not close the window";
        StopMirrors();  // lets the abandoned download end
    });
    EXPECT_EQ("donwload_cancel", FinalStatus(Reports()));
    const std::string log = InstallLog();
    const size_t install = log.find("SetupDlg::OnBtnInstall, eInstall(0).");
    const size_t close = log.find("OnBtnClose(user close)");
    ASSERT_NE(std::string::npos, install);
    ASSERT_NE(std::string::npos, close) << "Escape must take the close button's road";
    EXPECT_LT(install, close);
    EXPECT_TRUE(LogHas(log, "Exit app."));
}

// Tab reaches the custom toggle, Space opens the panel, Tab reaches the
// licence box and Space unticks it, as clicks would; the focus shows.
TEST_F(InstallerTest, TabAndSpaceWorkTheCustomPanel) {
    StartMirrors(m_package);
    RunInstaller([&](SetupDlg& d) {
        const HWND hwnd = d.GetHwnd();
        PressKey(VK_TAB);  // the main button
        PressKey(VK_TAB);  // the custom toggle
        PressKey(VK_SPACE);
        ASSERT_TRUE(WaitFor(
            [&] {
                RECT r{};
                GetWindowRect(hwnd, &r);
                return r.bottom - r.top == kSetupCustomHeight;
            },
            10000))
            << "Space on the toggle did not open the panel";
        EXPECT_TRUE(d.IsMainButtonEnabled());
        EXPECT_NE(kOptionText, PixelAt(hwnd, kLicenceCueX, kLicenceCueY));
        PressKey(VK_TAB);  // the licence box
        ASSERT_TRUE(WaitFor(
            [&] { return PixelAt(hwnd, kLicenceCueX, kLicenceCueY) == kOptionText; }, 10000))
            << "no focus rectangle on the licence box";
        Screenshot(hwnd, "keyboard-focus");
        PressKey(VK_SPACE);
        ASSERT_TRUE(WaitFor([&] { return !d.IsMainButtonEnabled(); }, 10000))
            << "Space did not untick the licence box";
        PressKey(VK_SPACE);
        ASSERT_TRUE(WaitFor([&] { return d.IsMainButtonEnabled(); }, 10000));
        PressKey(VK_ESCAPE);
    });
    EXPECT_EQ("cancel", FinalStatus(Reports()));
    EXPECT_FALSE(LogHas(InstallLog(), "OnBtnInstall")) << "no key started the install";
    EXPECT_TRUE(LogHas(InstallLog(), "OnBtnClose(user close)"));
}

// Return starts the install of a damaged package; the "Install Failed!" box
// goes away with the given key, then the window closes with its report.
void AnswerTheFailureBoxWith(SetupDlg& d, int key) {
    InstallerTest::PressKey(VK_RETURN);
    HWND box = nullptr;
    ASSERT_TRUE(InstallerTest::WaitFor(
        [&] {
            box = GetActiveWindow();
            return box && box != d.GetHwnd() && IsWindowVisible(box);
        },
        120000))
        << "no box came up";
    wchar_t title[32] = L"";
    GetWindowTextW(box, title, 32);
    EXPECT_EQ(std::wstring(L"ERROR"), title);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    InstallerTest::PressKey(key);
    EXPECT_TRUE(InstallerTest::WaitFor([&] { return !IsWindow(box); }, 10000))
        << "the key left the box open";
    EXPECT_TRUE(
        InstallerTest::WaitFor([&] { return d.GetInstallStage() == kStageFinished; }, 30000));
    PostMessageW(d.GetHwnd(), WM_CLOSE, 0, 0);
}

TEST_F(InstallerTest, ReturnDismissesTheInstallFailedBox) {
    ShowRealMessageBoxes();
    const std::function<void()> useBadPackage = ServeCorruptPayload();
    ASSERT_FALSE(HasFatalFailure()) << "no mirrors";
    RunInstaller([&](SetupDlg& d) { AnswerTheFailureBoxWith(d, VK_RETURN); }, useBadPackage);
    EXPECT_EQ(std::vector<std::wstring>{L"Install Failed!"}, MessageBoxes());
    EXPECT_EQ("install_fail", FinalStatus(Reports()));
}

TEST_F(InstallerTest, EscapeDismissesTheInstallFailedBox) {
    ShowRealMessageBoxes();
    const std::function<void()> useBadPackage = ServeCorruptPayload();
    ASSERT_FALSE(HasFatalFailure()) << "no mirrors";
    RunInstaller([&](SetupDlg& d) { AnswerTheFailureBoxWith(d, VK_ESCAPE); }, useBadPackage);
    EXPECT_EQ(std::vector<std::wstring>{L"Install Failed!"}, MessageBoxes());
    EXPECT_EQ("install_fail", FinalStatus(Reports()));
}

}  // namespace
