// The installer's less-travelled roads on the real window: the licence box
// unchecked, every pre-install refusal, a configuration that asks for a newer
// installer, a missing configuration, and test mode. None of them downloads:
// the configurations used here are refused before any request, so the cases
// need no mirror and run beside others (report service on a port the system
// picks).
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "app/product_info.h"
#include "lang/lang.h"
#include "platform/folders.h"
#include "platform/resource.h"
#include "platform/text.h"
#include "tests/e2e/e2e_fixture.h"
#include "ui/skin_message_box.h"

using namespace korvel_e2e;

namespace {

namespace fs = std::filesystem;

constexpr int kLicenceX = 50, kLicenceY = 435;
// The skinned box's button, in its own client coordinates.
constexpr int kBoxButtonX = 210, kBoxButtonY = 183;

// Configurations the engine refuses before any request. Resources are kept by
// pointer, so the texts live as long as the process.
const char kNewerInstallerConfig[] = "<download version=\"2\"/>";
const char kEmptyConfig[] = "";

void UseConfig(const char* text) {
    for (int id : {501, 502}) {
        RegisterResource(id, L"xml", text, strlen(text));
    }
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A standard message box as the workflow asked for it.
struct StandardBox {
    bool owned = false;
    std::wstring text;
    std::wstring title;
};

class RoadsTest : public InstallerTest {
protected:
    RoadsTest() : InstallerTest(Addresses::kOwn) {}

    void SetUp() override {
        InstallerTest::SetUp();
        m_tuning.messageBox = [this](HWND owner, const wchar_t* text, const wchar_t* title) {
            std::lock_guard<std::mutex> lock(m_standardLock);
            m_standard.push_back({owner != nullptr, text, title});
        };
    }

    std::vector<StandardBox> StandardBoxes() {
        std::lock_guard<std::mutex> lock(m_standardLock);
        return m_standard;
    }

    // Waits for the skinned box, keeps its title and text, takes its picture
    // and presses its button; false when no box came.
    static bool AnswerSkinBox(std::wstring& title, std::wstring& text, const std::string& shot) {
        SkinMessageBox* box = nullptr;
        if (!WaitFor(
                [&] {
                    box = LiveSkinMessageBox();
                    return box && box->GetHwnd() && IsWindowVisible(box->GetHwnd());
                },
                10000)) {
            ADD_FAILURE() << "no box shown: " << (box ? "hidden" : "none");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // painted
        title = box->DrawList().at(0)->GetText();
        text = box->DrawList().at(2)->GetText();
        Screenshot(box->GetHwnd(), shot);
        Click(box->GetHwnd(), kBoxButtonX, kBoxButtonY);
        const bool closed = WaitFor([] { return LiveSkinMessageBox() == nullptr; }, 10000);
        EXPECT_TRUE(closed) << "the box's button did not close it";
        return closed;
    }

    // Clicks install and expects the refusal `textId`, the page unchanged.
    void ExpectRefusal(SetupDlg& d, LangStringId textId, const std::string& shot) {
        Click(d.GetHwnd(), kMainX, kMainY);
        std::wstring title, text;
        ASSERT_TRUE(AnswerSkinBox(title, text, shot)) << "no refusal box";
        EXPECT_EQ(std::wstring(GetLangString(textId)), text);
        EXPECT_EQ(Utf8ToWide(GetProductInfo()->GetShortName()), title);
        EXPECT_EQ(kStageWaiting, d.GetInstallStage());
        EXPECT_TRUE(d.IsCommandShown(kCmdMain));
        EXPECT_EQ(std::wstring(GetLangString(kStrInstall)), d.CommandText(kCmdMain));
        Click(d.GetHwnd(), kCloseX, kCloseY);
    }

    std::string ProgramFiles() const { return Home() + "/ProgramFiles"; }

    std::mutex m_standardLock;
    std::vector<StandardBox> m_standard;
};

// A tmpfs over a folder for the life of the object (root only).
class SmallDisk {
public:
    SmallDisk(const std::string& folder, const std::string& options) : m_folder(folder) {
        if (mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            m_error = std::string("mount -t tmpfs -o ") + options + ": " + strerror(errno);
        }
    }
    ~SmallDisk() {
        if (m_error.empty()) {
            umount2(m_folder.c_str(), MNT_DETACH);
        }
    }
    const std::string& Error() const { return m_error; }

private:
    std::string m_folder;
    std::string m_error;
};

}  // namespace

// The licence box cleared: the main button does nothing at all.
TEST_F(RoadsTest, LicenceUncheckedMainButtonDoesNothing) {
    RunInstaller(
        [&](SetupDlg& d) {
            HWND h = d.GetHwnd();
            ASSERT_TRUE(OpenCustomPanel(h, kCustomX, kCustomY));
            Click(h, kLicenceX, kLicenceY);
            Screenshot(h, "licence-unchecked");
            Click(h, kMainX, kMainY);
            Click(h, kMainX, kMainY);
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            EXPECT_EQ(kStageWaiting, d.GetInstallStage());
            EXPECT_EQ(nullptr, LiveSkinMessageBox());
            Click(h, kCloseX, kCloseY);
        },
        [] { UseConfig(kNewerInstallerConfig); });
    const std::string log = InstallLog();
    EXPECT_FALSE(Contains(log, "OnBtnInstall")) << log;
    EXPECT_TRUE(Contains(log, "OnBtnClose(user close)")) << log;
    EXPECT_TRUE(StandardBoxes().empty());
}

TEST_F(RoadsTest, PackageForA64BitSystemIsRefusedOn32Bit) {
    m_tuning.is64BitSystem = [] { return false; };
    RunInstaller([&](SetupDlg& d) { ExpectRefusal(d, kStr64BitOnly, "refusal-64-bit-system"); },
                 [] { UseConfig(kNewerInstallerConfig); });
    const std::string log = InstallLog();
    EXPECT_TRUE(Contains(log, "OnBtnInstall(MySkinMessagxBox)")) << log;
    EXPECT_FALSE(Contains(log, "Install Path Info")) << log;
}

TEST_F(RoadsTest, UnsupportedSystemIsRefused) {
    m_tuning.isSupportedSystem = [] { return false; };
    RunInstaller(
        [&](SetupDlg& d) { ExpectRefusal(d, kStrVistaUnsupported, "refusal-system-version"); },
        [] { UseConfig(kNewerInstallerConfig); });
    const std::string log = InstallLog();
    EXPECT_TRUE(Contains(log, "OnBtnInstall(MySkinMessagxBox)")) << log;
    EXPECT_FALSE(Contains(log, "Install Path Info")) << log;
}

// The program folder's parent is a file: the folder cannot be created.
TEST_F(RoadsTest, FolderThatCannotBeCreatedIsRefused) {
    fs::remove_all(ProgramFiles());
    korvel_test::WriteFile(ProgramFiles(), "not a folder");
    RunInstaller([&](SetupDlg& d) { ExpectRefusal(d, kStrInvalidPath, "refusal-folder"); },
                 [] { UseConfig(kNewerInstallerConfig); });
    const std::string log = InstallLog();
    EXPECT_TRUE(Contains(log, "Install Path Info : " + ProgramFiles() + "/Korvel/Korvel 12 ."))
        << log;
    EXPECT_FALSE(Contains(log, "OnBtnInstall(MySkinMessagxBox)")) << log;
    EXPECT_FALSE(Contains(log, "FreeSpace Info")) << log;
}

// Exactly 256 MB free is refused; the folder is created all the same.
TEST_F(RoadsTest, ExactlyTheMinimumFreeSpaceIsRefused) {
    SmallDisk disk(ProgramFiles(), "size=256m,mode=0755");
    if (!disk.Error().empty()) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): " << disk.Error();
    }
    RunInstaller([&](SetupDlg& d) { ExpectRefusal(d, kStrNoFreeSpace, "refusal-free-space"); },
                 [] { UseConfig(kNewerInstallerConfig); });
    const std::string log = InstallLog();
    EXPECT_TRUE(Contains(log, "FreeSpace Info : 256 MB in " + ProgramFiles())) << log;
    EXPECT_FALSE(Contains(log, "OnBtnInstall(OnInstall)")) << log;
    EXPECT_TRUE(PathIsDirectory(Utf8ToWide(ProgramFiles() + "/Korvel/Korvel 12")));
}

// One megabyte more and the install starts.
TEST_F(RoadsTest, OneMegabyteAboveTheMinimumStartsTheInstall) {
    SmallDisk disk(ProgramFiles(), "size=257m,mode=0755");
    if (!disk.Error().empty()) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): " << disk.Error();
    }
    RunInstaller(
        [&](SetupDlg& d) {
            Click(d.GetHwnd(), kMainX, kMainY);
            EXPECT_TRUE(WaitFor([&] { return d.GetInstallStage() == kStageFailed; }, 30000));
            EXPECT_EQ(nullptr, LiveSkinMessageBox());
            Click(d.GetHwnd(), kCloseX, kCloseY);
        },
        [] { UseConfig(kNewerInstallerConfig); });
    const std::string log = InstallLog();
    EXPECT_TRUE(Contains(log, "FreeSpace Info : 257 MB in " + ProgramFiles())) << log;
    EXPECT_TRUE(Contains(log, "OnBtnInstall(OnInstall)")) << log;
}

// The configuration asks for a newer installer: the ownerless "ERROR" box,
// the retry page, a "downLoad_fail" report naming the reason, one log upload.
TEST_F(RoadsTest, NewerInstallerNeededShowsTheBoxThenTheRetryPage) {
    // This case shows the real box, for its picture.
    m_tuning.messageBox = [this](HWND owner, const wchar_t* text, const wchar_t* title) {
        {
            std::lock_guard<std::mutex> lock(m_standardLock);
            m_standard.push_back({owner != nullptr, text, title});
        }
        MessageBoxW(owner, text, title, MB_OK);
    };
    RunInstaller(
        [&](SetupDlg& d) {
            Click(d.GetHwnd(), kMainX, kMainY);
            HWND box = nullptr;
            ASSERT_TRUE(WaitFor(
                [&] {
                    box = GetForegroundWindow();
                    wchar_t title[16] = L"";
                    return box && box != d.GetHwnd() && IsWindowVisible(box) &&
                           GetWindowTextW(box, title, 16) > 0 && std::wstring(title) == L"ERROR";
                },
                30000))
                << "no ERROR box";
            EXPECT_EQ(nullptr, GetParent(box)) << "the box must have no owner";
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            Screenshot(box, "newer-installer-box");
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            ASSERT_TRUE(WaitFor([&] { return d.GetInstallStage() == kStageFailed; }, 30000));
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            EXPECT_TRUE(d.IsCommandShown(kCmdClose));
            EXPECT_TRUE(d.IsCommandShown(kCmdMain));
            EXPECT_EQ(std::wstring(GetLangString(kStrTryAgain)), d.CommandText(kCmdMain));
            Screenshot(d.GetHwnd(), "retry-page");
            Click(d.GetHwnd(), kCloseX, kCloseY);
        },
        [] { UseConfig(kNewerInstallerConfig); });

    const std::vector<StandardBox> boxes = StandardBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_FALSE(boxes[0].owned);
    EXPECT_EQ(L"ERROR", boxes[0].title);
    EXPECT_EQ(std::wstring(GetLangString(kStrOutOfDate)), boxes[0].text);
    EXPECT_NE(std::wstring::npos, boxes[0].text.find(GetWebHostW()))
        << "the box names the deployment's web host";
    const std::string log = InstallLog();
    EXPECT_TRUE(Contains(log, "Download Finish Result : failed(3).")) << log;
    EXPECT_TRUE(Contains(log, "Download Failed. App need update.")) << log;
    EXPECT_FALSE(Contains(log, "Download Failed. Show retry.")) << log;
    const auto runs = Reports();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ("downLoad_fail", runs.back().status);
    EXPECT_TRUE(Contains(runs.back().json, "NeedUpdateDownload")) << runs.back().json;
    EXPECT_EQ(1, StoredLogCount());
}

// A missing built-in configuration: the retry page without a message, both of
// its buttons shown every time, however the render thread's frames fall.
TEST_F(RoadsTest, MissingConfigurationShowsTheRetryPageEveryTime) {
    constexpr int kRounds = 20;
    RunInstaller(
        [&](SetupDlg& d) {
            for (int round = 0; round < kRounds; ++round) {
                SCOPED_TRACE("round " + std::to_string(round));
                Click(d.GetHwnd(), kMainX, kMainY);
                ASSERT_TRUE(WaitFor([&] { return d.GetInstallStage() == kStageFailed; }, 20000));
                // Longer than one waiting frame of the render thread.
                std::this_thread::sleep_for(std::chrono::milliseconds(450));
                ASSERT_TRUE(d.IsCommandShown(kCmdClose));
                ASSERT_TRUE(d.IsCommandShown(kCmdMain));
                ASSERT_EQ(std::wstring(GetLangString(kStrTryAgain)), d.CommandText(kCmdMain));
                ASSERT_TRUE(WaitFor([&] { return d.HasWorkerEnded(); }, 10000));
            }
            Click(d.GetHwnd(), kCloseX, kCloseY);
        },
        [] { UseConfig(kEmptyConfig); });
    const std::string log = InstallLog();
    EXPECT_EQ(kRounds, CountOf(log, "OnBtnInstall(OnInstall)")) << log;
    EXPECT_FALSE(Contains(log, "Url : ")) << log;
    EXPECT_FALSE(Contains(log, "Download Failed.")) << log;
    EXPECT_TRUE(StandardBoxes().empty());
}

// Test mode: logged at start, and the configuration address gets ".test".
TEST_F(RoadsTest, TestModeMarksTheLogAndTheConfigurationAddress) {
    korvel_test::WriteFile(Home() + "/Documents/KorDebugConfig.ini", "[root]\nsetup_test_mode=1\n");
    RunInstaller(
        [&](SetupDlg& d) {
            Click(d.GetHwnd(), kMainX, kMainY);
            ASSERT_TRUE(WaitFor([&] { return d.GetInstallStage() == kStageFailed; }, 30000));
            Click(d.GetHwnd(), kCloseX, kCloseY);
        },
        [] { UseConfig(kNewerInstallerConfig); });
    const std::string log = InstallLog();
    EXPECT_TRUE(Contains(log, "Test Mode : true\n\n")) << log;
    EXPECT_TRUE(Contains(log, std::string("Url : ") + GetProductInfo()->GetConfigUrl() + ".test\n"))
        << log;
}
