#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <string>

#include "platform/folders.h"
#include "platform/log.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

using korvel_test::ReadFile;
using korvel_test::SandboxHome;
using korvel_test::ScopedEnv;
using korvel_test::TempDir;
using korvel_test::WriteFile;

namespace {
std::string Folder(int kind) {
    wchar_t buf[kMaxPath];
    if (!GetShellFolder(kind, buf))
        return "<none>";
    return WideToUtf8(buf);
}

std::string AppData() {
    wchar_t buf[kMaxPath];
    if (!GetAppDataFolder(buf))
        return "<none>";
    return WideToUtf8(buf);
}
}  // namespace

TEST(FoldersTest, DocumentsAndDesktopComeFromUserDirs) {
    SandboxHome sandbox;
    const std::string home = sandbox.home();
    EXPECT_EQ(home + "/Documents", WideToUtf8(GetDocumentsFolder()));
    EXPECT_EQ(home + "/Desktop", Folder(kFolderDesktop));
    WriteFile(home + "/.config/user-dirs.dirs",
              "# written by xdg-user-dirs-update\n"
              "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
              "XDG_DOCUMENTS_DIR=\"/data/papers/\"\n");
    EXPECT_EQ("/data/papers", WideToUtf8(GetDocumentsFolder()));
    EXPECT_EQ(home + "/Schreibtisch", Folder(kFolderDesktop));
    EXPECT_EQ(home + "/Schreibtisch", Folder(kFolderDesktop + 7));  // any higher kind

    // The file follows XDG_CONFIG_HOME.
    ScopedEnv config("XDG_CONFIG_HOME", sandbox.dir().Sub("elsewhere").c_str());
    EXPECT_EQ(home + "/Documents", WideToUtf8(GetDocumentsFolder()));
}

TEST(FoldersTest, DownloadsSitBesideDocuments) {
    SandboxHome sandbox;
    const std::string home = sandbox.home();
    WriteFile(home + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/docs/mine\"\n");
    EXPECT_EQ(home + "/docs/Downloads/Korvel/Korvel12",
              WideToUtf8(GetDownloadsPath(L"Korvel/Korvel12", nullptr, false)));
    EXPECT_FALSE(PathFileExists(Utf8ToWide(home + "/docs/Downloads")));
    EXPECT_EQ(home + "/docs/Downloads/Korvel/Korvel12/setup.pkg",
              WideToUtf8(GetDownloadsPath(L"Korvel/Korvel12", L"setup.pkg", true)));
    EXPECT_TRUE(PathIsDirectory(Utf8ToWide(home + "/docs/Downloads/Korvel/Korvel12")));
    EXPECT_FALSE(PathFileExists(Utf8ToWide(home + "/docs/Downloads/Korvel/Korvel12/setup.pkg")));
}

TEST(FoldersTest, ShellFoldersFollowTheXdgVariables) {
    SandboxHome sandbox;
    const std::string home = sandbox.home();
    ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    ScopedEnv data("XDG_DATA_HOME", "/xdg/data");
    ScopedEnv dirs("XDG_DATA_DIRS", "/first/share/:/second/share");
    EXPECT_EQ("/cfg", AppData());
    EXPECT_EQ("/cfg/Microsoft/Internet Explorer/Quick Launch", Folder(kFolderQuickLaunch));
    EXPECT_EQ("/cfg/Microsoft/Internet Explorer/Quick Launch/User Pinned/TaskBar",
              Folder(kFolderPinnedTaskbar));
    EXPECT_EQ("/xdg/data/applications", Folder(kFolderUserPrograms));
    EXPECT_EQ("/first/share/applications", Folder(kFolderCommonPrograms));
}

TEST(FoldersTest, UnsetOrRelativeXdgVariablesFallBackToTheDefaults) {
    SandboxHome sandbox;
    const std::string home = sandbox.home();
    ScopedEnv config("XDG_CONFIG_HOME", "relative/cfg");
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    ScopedEnv dirs("XDG_DATA_DIRS", nullptr);
    EXPECT_EQ(home + "/.config", AppData());
    EXPECT_EQ(home + "/.local/share/applications", Folder(kFolderUserPrograms));
    EXPECT_EQ("/usr/local/share/applications", Folder(kFolderCommonPrograms));
}

TEST(FoldersTest, FoldersThatDoNotFitTheBufferAreRefused) {
    SandboxHome sandbox;
    const std::string deep = "/" + std::string(300, 'd');
    ScopedEnv config("XDG_CONFIG_HOME", deep.c_str());
    EXPECT_EQ("<none>", AppData());
    EXPECT_EQ("<none>", Folder(kFolderQuickLaunch));
}

TEST(FoldersTest, ProgramFilesAndTemp) {
    SandboxHome sandbox;
    const std::string expected = geteuid() == 0 ? "/opt" : sandbox.home() + "/.local/opt";
    EXPECT_EQ(expected, WideToUtf8(GetProgramFilesFolder()));
    {
        ScopedEnv tmp("TMPDIR", "/var/tmp/korvel");
        EXPECT_EQ("/var/tmp/korvel/", WideToUtf8(GetTempFolder()));
    }
    {
        ScopedEnv tmp("TMPDIR", "/var/tmp/");
        EXPECT_EQ("/var/tmp/", WideToUtf8(GetTempFolder()));
    }
    ScopedEnv tmp("TMPDIR", nullptr);
    EXPECT_EQ("/tmp/", WideToUtf8(GetTempFolder()));
}

TEST(FoldersTest, FreeSpaceIsTheFileSystemsFreeBytes) {
    TempDir dir;
    struct statvfs st;
    ASSERT_EQ(0, statvfs(dir.path().c_str(), &st));
    const double mib = 1024.0 * 1024.0;
    const int64_t total = static_cast<int64_t>(st.f_bfree * static_cast<double>(st.f_frsize) / mib);
    const int64_t quota =
        static_cast<int64_t>(st.f_bavail * static_cast<double>(st.f_frsize) / mib);
    const int64_t got = GetFreeSpaceMB(dir.wpath());
    // Other processes write meanwhile: allow a little drift, but it must be
    // the free total (which includes the blocks reserved for root).
    EXPECT_NEAR(static_cast<double>(total), static_cast<double>(got), 64.0);
    EXPECT_GE(got + 64, quota);
    // A folder that does not exist yet counts with the file system it would be on.
    EXPECT_NEAR(static_cast<double>(got),
                static_cast<double>(GetFreeSpaceMB(dir.WSub("not/yet/there"))), 64.0);
    EXPECT_EQ(0, GetFreeSpaceMB(L""));
    EXPECT_EQ(0, GetFreeSpaceMB(L"relative-name-that-does-not-exist"));
}

TEST(FoldersTest, JoinPathAppendsOneSeparatorAndFoldsDots) {
    EXPECT_EQ(L"/opt/korvel/bin", JoinPath(L"/opt/korvel", L"bin"));
    EXPECT_EQ(L"/opt/korvel/bin", JoinPath(L"/opt/korvel/", L"/bin"));
    EXPECT_EQ(L"/opt/bin", JoinPath(L"/opt/korvel", L"../bin"));
    EXPECT_EQ(L"/opt/korvel/bin", JoinPath(L"/opt/./korvel", L"./bin"));
    EXPECT_EQ(L"/", JoinPath(L"/", L"../.."));
    EXPECT_EQ(L"/opt/korvel", JoinPath(L"/opt/korvel", L""));
    EXPECT_EQ(L"/opt/korvel", JoinPath(L"/opt/korvel", L"sub/.."));
    EXPECT_EQ(L"a/c", JoinPath(L"a/b", L"../c"));
    EXPECT_EQ(L"name", JoinPath(L"", L"name"));
}

TEST(FoldersTest, PathPieces) {
    EXPECT_EQ(L"/home/u", PathRemoveFileSpec(L"/home/u/Documents"));
    EXPECT_EQ(L"/", PathRemoveFileSpec(L"/Documents"));
    EXPECT_EQ(L"", PathRemoveFileSpec(L"Documents"));
    EXPECT_EQ(L"install.log", PathFindFileName(L"/a/b/install.log"));
    EXPECT_EQ(L"plain", PathFindFileName(L"plain"));
}

TEST(FoldersTest, DeleteDirectoryTreeRemovesEverythingButFollowsNoLinks) {
    TempDir dir;
    EXPECT_FALSE(DeleteDirectoryTree(dir.WSub("missing")));
    ASSERT_TRUE(CreateFolderChain(dir.WSub("tree/a/b")));
    ASSERT_TRUE(CreateFolderChain(dir.WSub("outside")));
    WriteFile(dir.Sub("tree/top.txt"), "t");
    WriteFile(dir.Sub("tree/a/b/deep.txt"), "d");
    WriteFile(dir.Sub("outside/precious.txt"), "p");
    ASSERT_EQ(0, symlink(dir.Sub("outside").c_str(), dir.Sub("tree/a/link").c_str()));
    EXPECT_TRUE(DeleteDirectoryTree(dir.WSub("tree")));  // no trailing separator
    EXPECT_FALSE(PathFileExists(dir.WSub("tree")));
    EXPECT_EQ("p", ReadFile(dir.Sub("outside/precious.txt")));
}

TEST(FoldersTest, WriteWholeFileReplacesAndLeavesNothingHalfWritten) {
    TempDir dir;
    const std::string big(3 * 1024 * 1024 + 17, 'k');
    WriteFile(dir.Sub("f"), std::string(5 * 1024 * 1024, 'o'));
    ASSERT_TRUE(WriteWholeFile(dir.WSub("f"), big.data(), big.size()));
    EXPECT_EQ(big, ReadFile(dir.Sub("f")));  // the longer old file is cut, not kept
    ASSERT_TRUE(WriteWholeFile(dir.WSub("empty"), "", 0));
    EXPECT_EQ("", ReadFile(dir.Sub("empty")));
    EXPECT_FALSE(WriteWholeFile(dir.WSub("missing/f"), "x", 1));

    // A full disk fails and leaves no partial file behind.
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    ASSERT_TRUE(CreateDirectoryPath(dir.WSub("small")));
    if (mount("tmpfs", dir.Sub("small").c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "no tmpfs mount here";
    }
    EXPECT_FALSE(WriteWholeFile(dir.WSub("small/f"), big.data(), big.size()));
    EXPECT_FALSE(PathFileExists(dir.WSub("small/f")));
    EXPECT_TRUE(WriteWholeFile(dir.WSub("small/g"), big.data(), 4096));
    umount(dir.Sub("small").c_str());
}

TEST(FoldersTest, SmallFileOperations) {
    TempDir dir;
    EXPECT_TRUE(CreateDirectoryPath(dir.WSub("d")));
    EXPECT_TRUE(CreateDirectoryPath(dir.WSub("d")));  // existing counts
    WriteFile(dir.Sub("f"), "x");
    EXPECT_FALSE(CreateDirectoryPath(dir.WSub("f")));  // a file is in the way
    EXPECT_TRUE(PathIsDirectory(dir.WSub("d")));
    EXPECT_FALSE(PathIsDirectory(dir.WSub("f")));
    EXPECT_TRUE(MoveFilePath(dir.WSub("f"), dir.WSub("d/g")));
    EXPECT_EQ("x", ReadFile(dir.Sub("d/g")));
    EXPECT_FALSE(MoveFilePath(dir.WSub("f"), dir.WSub("d/h")));
    EXPECT_TRUE(DeleteFilePath(dir.WSub("d/g")));
    EXPECT_FALSE(DeleteFilePath(dir.WSub("d/g")));
    EXPECT_FALSE(PathFileExists(L""));
}

TEST(FoldersTest, MoveAcrossFileSystemsCopies) {
    TempDir dir;
    struct stat a;
    struct stat b;
    if (stat("/dev/shm", &b) != 0 || stat(dir.path().c_str(), &a) != 0 || a.st_dev == b.st_dev ||
        access("/dev/shm", W_OK) != 0) {
        GTEST_SKIP() << "no second writable file system";
    }
    const std::string target = "/dev/shm/korvel-move-" + std::to_string(getpid());
    WriteFile(dir.Sub("src"), std::string(200000, 'm'));
    chmod(dir.Sub("src").c_str(), 0751);
    EXPECT_TRUE(MoveFilePath(dir.WSub("src"), Utf8ToWide(target)));
    EXPECT_FALSE(PathFileExists(dir.WSub("src")));
    EXPECT_EQ(std::string(200000, 'm'), ReadFile(target));
    struct stat st;
    ASSERT_EQ(0, stat(target.c_str(), &st));
    EXPECT_EQ(0751u, st.st_mode & 07777);
    unlink(target.c_str());
}
