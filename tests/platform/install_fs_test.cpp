// The installation's file-system calls: the kernel copy of a file section,
// folder creation, link-aware removal.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/install_fs.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

using namespace korvel_test;

namespace {

bool PathExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

unsigned FileMode(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(InstallFs, SectionCopyTakesExactlyItsBytesAndRefusesAShortSource) {
    TempDir dir;
    std::string source;
    for (int i = 0; i < 3 * 1024 * 1024 / 7; ++i)
        source += "abcdef" + std::string(1, static_cast<char>('0' + i % 10));
    WriteFile(dir.Sub("package"), source);
    WriteFile(dir.Sub("target"), std::string(10 * 1024 * 1024, 'x'));  // replaced, not merged
    ASSERT_TRUE(CopyFileSection(dir.WSub("package"), 1000, 2000000, dir.WSub("target")));
    EXPECT_TRUE(ReadFile(dir.Sub("target")) == source.substr(1000, 2000000));
    ASSERT_TRUE(CopyFileSection(dir.WSub("package"), 5, 0, dir.WSub("empty")));
    EXPECT_EQ("", ReadFile(dir.Sub("empty")));

    // Past the source's end: refused, and no partial file stays behind.
    EXPECT_FALSE(CopyFileSection(dir.WSub("package"), static_cast<int64_t>(source.size()) - 10, 11,
                                 dir.WSub("short")));
    EXPECT_FALSE(PathExists(dir.Sub("short")));
    EXPECT_FALSE(CopyFileSection(dir.WSub("package"), -1, 10, dir.WSub("negative")));
    EXPECT_FALSE(CopyFileSection(dir.WSub("missing"), 0, 10, dir.WSub("none")));
    EXPECT_FALSE(PathExists(dir.Sub("none")));
}

TEST(InstallFs, FoldersLinksAndRemoval) {
    TempDir dir;
    EXPECT_EQ(FolderCreation::kCreated, CreateOneFolder(dir.Sub("a"), false));
    EXPECT_EQ(FolderCreation::kExisted, CreateOneFolder(dir.Sub("a"), true));
    EXPECT_EQ(FolderCreation::kFailed, CreateOneFolder(dir.Sub("missing/b"), false));
    EXPECT_EQ(FolderCreation::kCreated, CreateOneFolder(dir.Sub("private"), true));
    EXPECT_EQ(0700u, FileMode(dir.Sub("private")));

    WriteFile(dir.Sub("a/file"), "x");
    ASSERT_EQ(0, symlink(dir.Sub("a").c_str(), dir.Sub("link").c_str()));
    EXPECT_EQ(PathKind::kFolder, GetPathKindNoFollow(dir.Sub("a")));
    EXPECT_EQ(PathKind::kOther, GetPathKindNoFollow(dir.Sub("link")));
    EXPECT_EQ(PathKind::kMissing, GetPathKindNoFollow(dir.Sub("nothing")));
    EXPECT_EQ(ResolveRealPath(dir.Sub("a")) + "/file", ResolveRealPath(dir.Sub("link/file")));
    EXPECT_EQ("", ResolveRealPath(dir.Sub("nothing")));

    EXPECT_FALSE(RemoveEmptyFolder(dir.Sub("a")));     // not empty
    EXPECT_FALSE(RemoveFileNoFollow(dir.Sub("a")));    // a folder
    EXPECT_TRUE(RemoveFileNoFollow(dir.Sub("link")));  // the link, not its folder
    EXPECT_EQ("x", ReadFile(dir.Sub("a/file")));
    EXPECT_TRUE(RenameReplacing(dir.Sub("a/file"), dir.Sub("moved")));
    EXPECT_TRUE(RemoveEmptyFolder(dir.Sub("a")));
    EXPECT_EQ("x", ReadFile(dir.Sub("moved")));
}

}  // namespace
