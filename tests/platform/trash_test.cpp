// The desktop's trash: the home trash, a volume's own trash, and the refusal
// that leaves everything in place when no trash can take an entry.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>

#include "platform/folders.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using korvel_test::ReadFile;
using korvel_test::WriteFile;

// A product data folder with a nested user file.
void MakeDataFolder(const std::string& folder) {
    fs::create_directories(folder + "/Presets/mine");
    WriteFile(folder + "/notes.txt", "keep me");
    WriteFile(folder + "/Presets/mine/look.preset", "preset");
}

void ExpectDataFolder(const std::string& folder) {
    EXPECT_EQ("keep me", ReadFile(folder + "/notes.txt")) << folder;
    EXPECT_EQ("preset", ReadFile(folder + "/Presets/mine/look.preset")) << folder;
}

// The three lines of a .trashinfo with the given Path= value.
void ExpectTrashInfo(const std::string& infoFile, const std::string& path) {
    const std::string info = ReadFile(infoFile);
    const std::regex form(
        "\\[Trash Info\\]\nPath=(.*)\nDeletionDate="
        "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\n");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(info, match, form)) << info;
    EXPECT_EQ(path, match[1].str());
}

}  // namespace

TEST(Trash, HomeTrashKeepsEveryFileAndRecordsTheOrigin) {
    korvel_test::TempDir tmp;
    korvel_test::ScopedEnv data("XDG_DATA_HOME", tmp.Sub("data").c_str());
    const std::string folder = tmp.Sub("Documents/Korvel 12");
    MakeDataFolder(folder);

    std::wstring trashed;
    ASSERT_TRUE(MoveToTrash(Utf8ToWide(folder + "/"), trashed));
    const std::string trash = tmp.Sub("data/Trash");
    EXPECT_EQ(trash + "/files/Korvel 12", WideToUtf8(trashed));
    EXPECT_FALSE(fs::exists(folder));
    ExpectDataFolder(trash + "/files/Korvel 12");
    ExpectTrashInfo(trash + "/info/Korvel 12.trashinfo", tmp.Sub("Documents/Korvel%2012"));
    EXPECT_EQ(fs::perms::owner_all, fs::status(trash).permissions() & fs::perms::all);

    // A second folder of the same name gets the next free name.
    MakeDataFolder(folder);
    WriteFile(folder + "/notes.txt", "second");
    ASSERT_TRUE(MoveToTrash(Utf8ToWide(folder), trashed));
    EXPECT_EQ(trash + "/files/Korvel 12 2", WideToUtf8(trashed));
    EXPECT_EQ("second", ReadFile(trash + "/files/Korvel 12 2/notes.txt"));
    ExpectDataFolder(trash + "/files/Korvel 12");
    ExpectTrashInfo(trash + "/info/Korvel 12 2.trashinfo", tmp.Sub("Documents/Korvel%2012"));
}

TEST(Trash, OriginPathIsPercentEncoded) {
    korvel_test::TempDir tmp;
    korvel_test::ScopedEnv data("XDG_DATA_HOME", tmp.Sub("data").c_str());
    const std::string folder = tmp.Sub("Dokumente/Körvel #1%");
    MakeDataFolder(folder);
    std::wstring trashed;
    ASSERT_TRUE(MoveToTrash(Utf8ToWide(folder), trashed));
    ExpectTrashInfo(tmp.Sub("data/Trash/info/Körvel #1%.trashinfo"),
                    tmp.Sub("Dokumente/K%C3%B6rvel%20%231%25"));
}

// No trash can be made (its parent is a file): false, nothing moved.
TEST(Trash, WithoutAUsableTrashNothingMoves) {
    korvel_test::TempDir tmp;
    WriteFile(tmp.Sub("not-a-folder"), "x");
    korvel_test::ScopedEnv data("XDG_DATA_HOME", tmp.Sub("not-a-folder/share").c_str());
    const std::string folder = tmp.Sub("Documents/Korvel 12");
    MakeDataFolder(folder);
    std::wstring trashed;
    EXPECT_FALSE(MoveToTrash(Utf8ToWide(folder), trashed));
    EXPECT_TRUE(trashed.empty());
    ExpectDataFolder(folder);
    EXPECT_FALSE(MoveToTrash(Utf8ToWide(tmp.Sub("Documents/absent")), trashed));
    EXPECT_FALSE(MoveToTrash(L"relative/path", trashed));
}

// A folder on another file system goes to that volume's .Trash-$UID, with a
// path relative to the volume's top.
TEST(Trash, OtherFileSystemUsesTheVolumeTrash) {
    korvel_test::TempDir tmp;
    const std::string volume = tmp.Sub("volume");
    fs::create_directories(volume);
    if (mount("tmpfs", volume.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=4m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root): " << strerror(errno);
    }
    struct Unmount {
        std::string at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{volume};
    korvel_test::ScopedEnv data("XDG_DATA_HOME", tmp.Sub("data").c_str());
    const std::string folder = volume + "/Documents/Korvel 12";
    MakeDataFolder(folder);

    std::wstring trashed;
    ASSERT_TRUE(MoveToTrash(Utf8ToWide(folder), trashed));
    const std::string trash = volume + "/.Trash-" + std::to_string(getuid());
    EXPECT_EQ(trash + "/files/Korvel 12", WideToUtf8(trashed));
    ExpectDataFolder(trash + "/files/Korvel 12");
    ExpectTrashInfo(trash + "/info/Korvel 12.trashinfo", "Documents/Korvel%2012");
    EXPECT_FALSE(fs::exists(tmp.Sub("data/Trash/files/Korvel 12")));
    // The volume's top itself cannot be renamed anywhere.
    EXPECT_FALSE(MoveToTrash(Utf8ToWide(volume), trashed));
}
