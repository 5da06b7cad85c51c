// Startup: debug settings, the sticky test-mode flag and the startup log lines.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using korvel_test::ReadFile;
using korvel_test::SandboxHome;
using korvel_test::WriteFile;

const std::string kHeader =
    "\n\n----------------------------------------\n00:00:00 : Init Log OK.\n";

std::vector<std::string>& Echoed() {
    static std::vector<std::string> lines;
    return lines;
}

int EchoToList(const char* message) {
    Echoed().push_back(message);
    return 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct StartupRun {
    SandboxHome home;
    ILog log{[] { return 0u; }};  // every record at 00:00:00
    SetupTestModeFlag flag;

    std::string Documents() const { return home.home() + "/Documents"; }
    std::string LogFile() const { return Documents() + "/Korvel/Korvel12/Log/install.log"; }
    void WriteIni(const std::string& body) const {
        WriteFile(Documents() + "/KorDebugConfig.ini", "[root]\n" + body);
    }
    StartupResult Run(std::function<bool()> createInfoView = nullptr) {
        StartupOptions options;
        options.log = &log;
        options.testMode = &flag;
        options.echo = &EchoToList;
        options.createInfoView = std::move(createInfoView);
        return RunStartupSequence(options);
    }
};

std::string SystemModeRecord() {
    return std::string("00:00:00 : System Mode : ") + (Is64BitWindows() ? "x64" : "x86") + "\n";
}

TEST(Startup, FreshHomeGetsFolderChainHeaderAndLines) {
    StartupRun run;
    ASSERT_FALSE(IsDirectory(run.Documents() + "/Korvel"));
    Echoed().clear();
    bool asked = false;
    const StartupResult result = run.Run([&] { return asked = true; });

    EXPECT_TRUE(IsDirectory(run.Documents() + "/Korvel/Korvel12/Log"));
    EXPECT_EQ(Utf8ToWide(run.LogFile()), result.logPath);
    EXPECT_EQ(kHeader + "00:00:00 : Setup Init. Version 1.0.6.0\n" + SystemModeRecord(),
              ReadFile(run.LogFile()));
    EXPECT_FALSE(asked);
    EXPECT_FALSE(result.infoViewRequested);
    EXPECT_FALSE(result.testMode);
    EXPECT_EQ(Is64BitWindows(), result.is64Bit);
    EXPECT_EQ((std::vector<std::string>{
                  "Setup Init. Version 1.0.6.0",
                  std::string("System Mode : ") + (Is64BitWindows() ? "x64" : "x86")}),
              Echoed());
}

TEST(Startup, SecondRunAppendsAnotherHeader) {
    StartupRun run;
    run.Run();
    run.Run();
    const std::string once =
        kHeader + "00:00:00 : Setup Init. Version 1.0.6.0\n" + SystemModeRecord();
    EXPECT_EQ(once + once, ReadFile(run.LogFile()));
}

TEST(Startup, TestModeLineLeavesAnEmptyLine) {
    StartupRun run;
    run.WriteIni("setup_test_mode=1\n");
    const StartupResult result = run.Run();
    EXPECT_TRUE(result.testMode);
    EXPECT_EQ(kHeader + "00:00:00 : Setup Init. Version 1.0.6.0\n" + SystemModeRecord() +
                  "00:00:00 : Test Mode : true\n\n",
              ReadFile(run.LogFile()));
}

TEST(Startup, OnlyTheValueOneOpensTheInfoView) {
    for (const char* value : {"2", "-1", "0", "yes", "1"}) {
        StartupRun run;
        run.WriteIni(std::string("show_info_view=") + value + "\nsetup_test_mode=2\n");
        bool logExistedAtCreation = true;
        const StartupResult result = run.Run([&] {
            logExistedAtCreation = !ReadFile(run.LogFile()).empty();
            return true;
        });
        const bool on = std::string(value) == "1";
        EXPECT_EQ(on, result.infoViewRequested) << value;
        EXPECT_EQ(on, result.infoViewCreated) << value;
        if (on) {
            EXPECT_FALSE(logExistedAtCreation);  // the view exists before the first line
        }
        EXPECT_FALSE(result.testMode) << value;
    }
}

TEST(DebugSettings, MissingFileLeavesEverythingOff) {
    SandboxHome home;
    const DebugSettings settings = ReadDebugSettings(GetDebugConfigPath());
    EXPECT_FALSE(settings.showInfoView);
    EXPECT_FALSE(settings.testMode);
    EXPECT_EQ(0, settings.testLanguage);

    WriteFile(home.home() + "/Documents/KorDebugConfig.ini",
              "[other]\nsetup_test_mode=1\n[root]\nsetup_test_language=2052\nshow_info_view=1\n");
    const DebugSettings read = ReadDebugSettings(GetDebugConfigPath());
    EXPECT_TRUE(read.showInfoView);
    EXPECT_FALSE(read.testMode);  // set only in another section
    EXPECT_EQ(2052, read.testLanguage);
}

TEST(SetupTestMode, ReadsAgainUntilSetThenStaysSet) {
    korvel_test::TempDir dir;
    const std::string ini = dir.Sub("KorDebugConfig.ini");
    SetupTestModeFlag flag;
    EXPECT_FALSE(flag.Query(Utf8ToWide(ini)));
    WriteFile(ini, "[root]\nsetup_test_mode=0\n");
    EXPECT_FALSE(flag.Query(Utf8ToWide(ini)));
    WriteFile(ini, "[root]\nsetup_test_mode=1\n");  // appears while running
    EXPECT_TRUE(flag.Query(Utf8ToWide(ini)));
    ASSERT_EQ(0, remove(ini.c_str()));
    EXPECT_TRUE(flag.Query(Utf8ToWide(ini)));
    EXPECT_TRUE(flag.Query(L""));

    SetupTestModeFlag other;  // flags do not share state
    EXPECT_FALSE(other.Query(Utf8ToWide(ini)));
}

}  // namespace
