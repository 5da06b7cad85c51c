// Hand-off to the main application: the command line, the wait by name, and
// the product's variant with the repair tool and the Documents folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "install/handoff.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tests/install/install_fixture.h"
#include "tests/support/test_support.h"

using namespace korvel_test;

namespace {

constexpr int kFastPoll = 2;  // ms between looks, instead of the product's 100

void PlaceFakeApp(const std::string& path) {
    WriteFile(path, ReadFile(KORVEL_FAKE_APP));
    chmod(path.c_str(), 0755);
}

TEST(HandOff, CommandLineIsBuiltPieceByPiece) {
    HandOffValues v;
    EXPECT_EQ(L"/install", BuildInstallCommandLine(false, v));
    v.nDownloadSeconds = 1;  // the package was already complete on disk
    EXPECT_EQ(L"/install /time:1 ", BuildInstallCommandLine(false, v));
    v = HandOffValues{true, "0123abcd", "opt", "src", 42};
    EXPECT_EQ(L"/install /add_plan /ID:0123abcd /new  /option:opt /source:src /time:42 ",
              BuildInstallCommandLine(true, v));
    v.strOption.clear();
    v.bJoinPlan = false;
    EXPECT_EQ(L"/install /ID:0123abcd /source:src /time:42 ", BuildInstallCommandLine(false, v));
}

class HandOffRun : public ::testing::Test {
protected:
    SandboxHome home;
    TempDir dir;
    ScopedEnv record{"KORVEL_FAKE_APP_RECORD", dir.Sub("record.txt").c_str()};
    std::wstring folder = dir.WSub("Program");
    void SetUp() override { CreateFolderChain(folder); }
};

TEST_F(HandOffRun, MainApplicationGetsTheLineAndItsExitIsLogged) {
    PlaceFakeApp(dir.Sub("Program/Korvel.exe"));
    LogCapture capture;
    HandOffValues v{false, "id1", "o", "", 7};
    EXPECT_TRUE(RunMainExe(folder, L"Korvel.exe", true, v, kFastPoll));
    EXPECT_EQ("/install|/ID:id1|/new|/option:o|/time:7\n", ReadFile(dir.Sub("record.txt")));
    EXPECT_TRUE(
        capture.Contains("Run Install Params: /install /ID:id1 /new  /option:o /time:7 .\n"));
    bool logged = false;
    for (const std::string& line : capture.Lines()) {
        int code = -1, count = -100;
        if (sscanf(line.c_str(), "Run main exe install : ExitCode(%d), nWaitCount(%d).", &code,
                   &count) == 2) {
            logged = true;
            EXPECT_EQ(7, code);
            EXPECT_GE(count, 0);
        }
    }
    EXPECT_TRUE(logged);
}

TEST_F(HandOffRun, ProgramGoneBeforeTheFirstLookKeepsTheFullCount) {
    PlaceFakeApp(dir.Sub("Program/Korvel.exe"));
    const ProcessWaitResult r = RunProcessAndWait(dir.WSub("Program/Korvel.exe"), L"/install",
                                                  L"NotRunning.exe", kFastPoll);
    EXPECT_TRUE(r.bStarted);
    EXPECT_EQ(100, r.nWaitCount);
}

TEST_F(HandOffRun, LingeringMainApplicationIsEndedAfterTheLastLook) {
    // A name of its own: the wait looks at every process of the name.
    PlaceFakeApp(dir.Sub("Program/KorvelLinger.exe"));
    ScopedEnv seconds("KORVEL_FAKE_APP_SECONDS", "60");
    LogCapture capture;
    EXPECT_TRUE(RunMainExe(folder, L"KorvelLinger.exe", false, HandOffValues(), kFastPoll));
    EXPECT_TRUE(capture.Contains("Run main exe install : ExitCode(0), nWaitCount(-2).\n"));
    DWORD pid = 0;
    EXPECT_FALSE(FindProcessByName(L"KorvelLinger.exe", &pid));
}

TEST_F(HandOffRun, MissingMainExecutableStartsNothingButTheRepairToolStillRuns) {
    PlaceFakeApp(dir.Sub("Program/KorRepair.exe"));
    LogCapture capture;
    EXPECT_FALSE(RunProductMainExe(folder, L"Korvel64.exe", true, HandOffValues(),
                                   KorvelFacts(true), kFastPoll));
    EXPECT_TRUE(capture.Contains("Run exe failed. main exe con't found\n."));
    EXPECT_EQ("\n", ReadFile(dir.Sub("record.txt")));  // the repair tool, without arguments
}

TEST_F(HandOffRun, UserFilesInTheProductDocumentsFolderSurvive) {
    const std::string docs = home.home() + "/Documents/Korvel 12";
    WriteFile((CreateFolderChain(Utf8ToWide(docs)), docs + "/my notes.txt"), "mine");
    PlaceFakeApp(dir.Sub("Program/Korvel64.exe"));
    EXPECT_TRUE(RunProductMainExe(folder, L"Korvel64.exe", false, HandOffValues(),
                                  KorvelFacts(true), kFastPoll));
    EXPECT_FALSE(PathFileExists(Utf8ToWide(docs)));
    // In the desktop's trash, where a file manager restores it.
    const std::string trash = home.home() + "/.local/share/Trash/files/Korvel 12";
    EXPECT_EQ("mine", ReadFile(trash + "/my notes.txt"));

    WriteFile((CreateFolderChain(Utf8ToWide(docs)), docs + "/second.txt"), "two");
    RunProductMainExe(folder, L"Korvel64.exe", false, HandOffValues(), KorvelFacts(true),
                      kFastPoll);
    EXPECT_EQ("mine", ReadFile(trash + "/my notes.txt"));
    EXPECT_EQ("two", ReadFile(trash + " 2/second.txt"));
    EXPECT_FALSE(PathFileExists(Utf8ToWide(docs + " (old)")));
}

}  // namespace
