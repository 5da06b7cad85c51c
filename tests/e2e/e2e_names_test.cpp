// The installer for a user whose home folder and chosen install folder are
// not ASCII, with a payload whose file names come from many scripts: every
// name and byte arrives, the desktop entries are valid, the uninstall entry
// points at the folder, and the run reports success.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "install/package.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tests/e2e/e2e_fixture.h"
#include "tools/korvel-pack/pack.h"

using namespace korvel_e2e;

namespace {

constexpr int kEditX = 200, kEditY = 473;

const char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel 12 (x64)";

std::string UninstallValue(const char* name) {
    std::string value;
    for (DWORD view : {DWORD(0), KEY_WOW64_64KEY}) {
        CMyRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_READ | view) == ERROR_SUCCESS &&
            key.QueryString(name, value) == ERROR_SUCCESS)
            return value;
    }
    return value;
}

std::string WithoutTrailingSeparator(std::string path) {
    while (!path.empty() && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    return path;
}

std::vector<std::string> DesktopEntries(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->path().extension() == ".desktop")
            out.push_back(it->path().string());
    return out;
}

class NonAsciiRoadTest : public InstallerTest {
protected:
    NonAsciiRoadTest() : InstallerTest(Addresses::kOwn, "Jos\xC3\xA9") {}

    void SetUp() override {
        InstallerTest::SetUp();
        m_tuning.nBeforeInstallPassMs = 100;
    }

    // The demo package with the many-script files added to its payload.
    std::string PackageWithNonAsciiPayload() {
        int32_t offset = 0;
        memcpy(&offset, &m_package[kHeaderOffsetPosition], sizeof(offset));
        PackageHeader header;
        memcpy(&header, &m_package[static_cast<size_t>(offset)], sizeof(header));
        const std::string work = Home() + "/payload work";
        std::filesystem::create_directories(work);
        korvel_test::WriteFile(work + "/demo.7z",
                               m_package.substr(static_cast<size_t>(header.nPayloadOffset),
                                                static_cast<size_t>(header.nPayloadSize)));
        const std::string unpack = "LC_ALL=C.UTF-8 7zz x -y -bd -o'" + work + "/payload' '" + work +
                                   "/demo.7z' >/dev/null";
        EXPECT_EQ(0, system(unpack.c_str()));
        korvel_test::WriteNonAsciiPayload(work + "/payload");
        PackInput in;
        in.strPayloadFolder = work + "/payload";
        in.nLevel = 1;
        in.nMtime = 0;
        std::string archive, error;
        EXPECT_TRUE(BuildPayloadArchive(in, archive, error)) << error;
        EXPECT_TRUE(CheckPayload(archive).ok);
        m_payloadFolder = in.strPayloadFolder;
        return AssemblePackage("", header, archive,
                               m_package.substr(static_cast<size_t>(header.nUninstallOffset),
                                                static_cast<size_t>(header.nUninstallSize)));
    }

    std::string m_payloadFolder;
};

TEST_F(NonAsciiRoadTest, HomeInstallFolderAndPayloadNamesBeyondAscii) {
    m_package = PackageWithNonAsciiPayload();
    korvel_mirror::MirrorSettings mirror;
    mirror.address = "127.0.0.1";
    StartOwnMirrors(m_package, {mirror}, nullptr);
    const std::string chosen = Home() + "/Programme f\xC3\xBCr/Korvel 12";

    RunInstaller([&](SetupDlg& d) {
        HWND h = d.GetHwnd();
        ASSERT_TRUE(OpenCustomPanel(h, kCustomX, kCustomY));
        Click(h, kEditX, kEditY);
        HWND edit = GetDlgItem(h, kCmdFolderEdit);
        ASSERT_NE(nullptr, edit);
        InjectKey(edit, VK_END);
        for (int i = 0; i < 300; ++i)
            InjectKey(edit, VK_BACK);
        const std::wstring wide = Utf8ToWide(chosen);
        InjectText(edit, wide.c_str());
        ASSERT_TRUE(WaitFor(
            [&] { return GetWindowTextLengthW(edit) == static_cast<int>(wide.size()); }, 5000));
        Click(h, kMainX, kMainY);
        ASSERT_TRUE(WaitFor([&] { return d.GetInstallStage() == kStageFinished; }, 120000))
            << "stage " << d.GetInstallStage();
        ASSERT_TRUE(WaitFor([&] { return d.GetProgressPhase() == kPhaseDone; }, 30000));
        Click(h, kCloseX, kCloseY);
    });

    // Downloads and Documents of the non-ASCII home.
    EXPECT_TRUE(DownloadedPackage() == m_package) << "the package below Downloads differs";
    const std::string log = InstallLog();
    EXPECT_NE(std::string::npos, log.find("lpszProgram path :" + chosen)) << log;
    EXPECT_TRUE(IsValidUtf8(log));

    // Every file name for name, byte for byte.
    for (const std::string& name : korvel_test::NonAsciiPayloadNames())
        EXPECT_EQ(korvel_test::ReadFile(m_payloadFolder + "/" + name),
                  korvel_test::ReadFile(chosen + "/" + name))
            << name;
    EXPECT_TRUE(PathFileExists(Utf8ToWide(chosen + "/Korvel64.exe")));

    // Desktop entries that desktop environments accept, pointing at the folder.
    std::vector<std::string> entries = DesktopEntries(Home() + "/Desktop");
    for (const std::string& e : DesktopEntries(Home() + "/.local/share/applications"))
        entries.push_back(e);
    ASSERT_FALSE(entries.empty());
    int pointing = 0;
    for (const std::string& e : entries) {
        const std::string validate = "desktop-file-validate '" + e + "' 2>&1";
        std::string output;
        FILE* p = popen(validate.c_str(), "r");
        ASSERT_NE(nullptr, p);
        char buf[512];
        while (fgets(buf, sizeof(buf), p))
            output += buf;
        EXPECT_EQ(0, pclose(p)) << e << ": " << output;
        EXPECT_EQ(std::string::npos, output.find("error")) << e << ": " << output;
        const std::string text = korvel_test::ReadFile(e);
        EXPECT_TRUE(IsValidUtf8(text)) << e;
        pointing += text.find("Programme f\xC3\xBCr") != std::string::npos ? 1 : 0;
    }
    EXPECT_GT(pointing, 0) << "no entry starts the installed program";

    // The uninstall entry names the folder and its uninstaller.
    EXPECT_EQ(chosen, WithoutTrailingSeparator(UninstallValue("InstallLocation")));
    EXPECT_EQ("\"" + chosen + "/uninstall.exe\"", UninstallValue("UninstallString"));

    const std::vector<StoredRun> runs = Reports();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ("success", runs.back().status);
    EXPECT_TRUE(IsValidUtf8(runs.back().json));
    cJSON* doc = cJSON_Parse(runs.back().json.c_str());
    EXPECT_NE(nullptr, doc) << runs.back().json;
    cJSON_Delete(doc);
}

}  // namespace
