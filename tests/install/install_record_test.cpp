// Clearing a previous installation: only what the installation recorded goes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "install/install_record.h"
#include "install/package.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/text.h"
#include "tests/install/install_fixture.h"
#include "tests/support/test_support.h"

using namespace korvel_test;

namespace {

class ClearTest : public ::testing::Test {
protected:
    TempDir dir;
    TempDir temp;
    ScopedEnv tmpdir{"TMPDIR", temp.path().c_str()};
    std::string folder = dir.Sub("Korvel 12");
    std::wstring wfolder = dir.WSub("Korvel 12");

    void InstallVersion(const std::string& content) {
        WriteFile(dir.Sub("p.exe"), PackageAround(RawArchive({{"Korvel64.exe", 'f', content, 0755},
                                                              {"lang", 'd', "", 0755},
                                                              {"lang/en.txt", 'f', content},
                                                              {"plugins/a/b.dll", 'f', content}}),
                                                  "U"));
        ASSERT_EQ(S_OK, InstallPackage(dir.WSub("p.exe").c_str(), nullptr, wfolder.c_str(),
                                       InstallOptions::kSetup));
    }
};

TEST_F(ClearTest, UpdateKeepsTheUsersFilesAndRemovesOnlyRecordedOnes) {
    InstallVersion("v1");
    WriteFile(folder + "/my settings.ini", "mine");
    WriteFile(folder + "/lang/custom.txt", "mine too");
    EXPECT_GT(ClearPreviousInstall(wfolder), 0);
    EXPECT_EQ((std::vector<std::string>{"lang/custom.txt", "my settings.ini"}), ListFiles(folder));
    EXPECT_FALSE(PathFileExists(Utf8ToWide(folder + "/plugins")));  // recorded and emptied

    InstallVersion("v2");
    EXPECT_EQ("mine", ReadFile(folder + "/my settings.ini"));
    EXPECT_EQ("mine too", ReadFile(folder + "/lang/custom.txt"));
    EXPECT_EQ("v2", ReadFile(folder + "/Korvel64.exe"));
}

TEST_F(ClearTest, FolderWithoutUninstallerOrListIsLeftAlone) {
    InstallVersion("v1");
    DeleteFilePath(Utf8ToWide(folder + "/uninstall.exe"));
    const std::vector<std::string> before = ListFiles(folder);
    EXPECT_EQ(0, ClearPreviousInstall(wfolder));
    EXPECT_EQ(before, ListFiles(folder));

    WriteFile(folder + "/uninstall.exe", "U");
    DeleteFilePath(Utf8ToWide(folder + "/" + kInstalledListName));
    EXPECT_EQ(0, ClearPreviousInstall(wfolder));
    EXPECT_EQ(ListFiles(folder).size(), before.size());
}

TEST_F(ClearTest, TamperedListCannotReachOutsideTheFolder) {
    InstallVersion("v1");
    TempDir elsewhere;
    WriteFile(elsewhere.Sub("b.dll"), "keep");
    WriteFile(dir.Sub("outside.txt"), "keep");
    // A recorded folder replaced by a link to somewhere else.
    DeleteDirectoryTree(Utf8ToWide(folder + "/plugins/a"));
    ASSERT_EQ(0, symlink(elsewhere.path().c_str(), (folder + "/plugins/a").c_str()));
    WriteFile(folder + "/" + kInstalledListName,
              "../outside.txt\n" + dir.Sub("outside.txt") + "\nplugins/a/b.dll\nKorvel64.exe\n");
    ClearPreviousInstall(wfolder);
    EXPECT_EQ("keep", ReadFile(dir.Sub("outside.txt")));
    EXPECT_EQ("keep", ReadFile(elsewhere.Sub("b.dll")));
    EXPECT_FALSE(PathFileExists(Utf8ToWide(folder + "/Korvel64.exe")));
}

TEST_F(ClearTest, ListSurvivesNamesWithLineBreaksAndRemembersEarlierFiles) {
    CreateFolderChain(wfolder);
    WriteFile(folder + "/old.dll", "x");
    ASSERT_TRUE(WriteInstalledFilesList(wfolder, {"old.dll", "gone.dll"}));
    ASSERT_TRUE(WriteInstalledFilesList(wfolder, {"odd\nname\\.txt", "new.dll"}));
    std::vector<std::string> names;
    ASSERT_TRUE(ReadInstalledFilesList(wfolder, names));
    EXPECT_EQ((std::vector<std::string>{"old.dll", "odd\nname\\.txt", "new.dll"}), names);
}

// Names beyond ASCII are recorded as the extraction wrote them (a decomposed
// name as stored), so that an update removes them too.
TEST_F(ClearTest, NamesBeyondAsciiAreRecordedAndCleared) {
    const std::string composed =
        "Gr\xC3\xBC\xC3\x9F"
        "e.txt";                                                    // "Grüße.txt"
    const std::string decomposed = "Cafe\xCC\x81/men\xC3\xBC.txt";  // "e" + U+0301
    std::string payload;
    {
        const ScopedUtf8Names utf8Names;  // the archive library's names are UTF-8
        payload = RawArchive({{composed, 'f', "a"}, {decomposed, 'f', "b"}});
    }
    WriteFile(dir.Sub("p.exe"), PackageAround(payload, "U"));
    ASSERT_EQ(S_OK, InstallPackage(dir.WSub("p.exe").c_str(), nullptr, wfolder.c_str(),
                                   InstallOptions::kSetup));
    ASSERT_EQ("b", ReadFile(folder + "/" + decomposed));
    std::vector<std::string> names;
    ASSERT_TRUE(ReadInstalledFilesList(wfolder, names));
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), composed));
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), decomposed));
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "Cafe\xCC\x81/"));
    ClearPreviousInstall(wfolder);
    EXPECT_EQ("", ReadFile(folder + "/" + composed));
    EXPECT_EQ("", ReadFile(folder + "/" + decomposed));
}

// The payload is listed where it lies inside the package, as from memory.
TEST(InstalledFilesList, PayloadInsideAFileListsAsFromMemory) {
    TempDir dir;
    const std::string payload = RawArchive({{"a/b/c.dll", 'f', "x"},
                                            {"lang", 'd', ""},
                                            {"../bad.txt", 'f', "x"},
                                            {"top.exe", 'f', std::string(300000, 'z')}});
    const std::string before(4321, 'p');
    WriteFile(dir.Sub("p.bin"), before + payload + "TRAILER");
    const std::vector<std::string> expected = {"a/", "a/b/", "a/b/c.dll", "top.exe", "lang/"};
    EXPECT_EQ(expected, ListArchiveEntries(payload.data(), payload.size()));
    EXPECT_EQ(expected, ListArchiveEntries(dir.Sub("p.bin"), static_cast<int64_t>(before.size()),
                                           static_cast<int64_t>(payload.size())));
    // A section that misses the archive's end lists nothing.
    EXPECT_TRUE(ListArchiveEntries(dir.Sub("p.bin"), static_cast<int64_t>(before.size()),
                                   static_cast<int64_t>(payload.size()) - 40)
                    .empty());
    EXPECT_TRUE(ListArchiveEntries(dir.Sub("missing.bin"), 0, 100).empty());
}

}  // namespace
