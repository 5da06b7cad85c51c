// korvel-art as the build and the integrator run it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "platform/resource.h"
#include "resources/resources.h"
#include "tests/art/art_fixture.h"
#include "tests/support/test_support.h"

using art_test::DecodePng;
using art_test::ExpectedBitmaps;
using art_test::Image;
using korvel_test::ReadFile;
using korvel_test::TempDir;

namespace {

int RunTool(const std::string& arguments) {
    const std::string command =
        "ASAN_OPTIONS=detect_leaks=0 '" KORVEL_ART_TOOL "' " + arguments + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::set<std::string> FileNames(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

}  // namespace

TEST(ArtGenerator, DrawsTheSameBytesThatAreCompiledIn) {
    TempDir first, second;
    ASSERT_EQ(RunTool("--out " + first.Sub("png") + " --payload-icons " + first.Sub("icons")), 0);
    ASSERT_EQ(RunTool("--out " + second.Sub("png") + " --payload-icons " + second.Sub("icons")), 0);

    std::set<std::string> expectedNames;
    for (const auto& expected : ExpectedBitmaps())
        expectedNames.insert(std::to_string(expected.id) + ".png");
    EXPECT_EQ(FileNames(first.Sub("png")), expectedNames);

    RegisterBuiltinBitmaps();
    for (const auto& expected : ExpectedBitmaps()) {
        const std::string name = "png/" + std::to_string(expected.id) + ".png";
        const std::string bytes = ReadFile(first.Sub(name));
        EXPECT_EQ(bytes, ReadFile(second.Sub(name))) << name;
        // No modification time or other chunk that changes from run to run.
        EXPECT_EQ(bytes.find("tIME"), std::string::npos) << name;
        ResourceBlob blob;
        ASSERT_TRUE(FindResourceBlob(expected.id, L"PNG", blob)) << name;
        EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(blob.data), blob.size)) << name;
    }
    for (const std::string& icon : FileNames(first.Sub("icons")))
        EXPECT_EQ(ReadFile(first.Sub("icons/" + icon)), ReadFile(second.Sub("icons/" + icon)));
}

TEST(ArtGenerator, PayloadIconsAreDistinctTransparentSquares) {
    TempDir dir;
    ASSERT_EQ(RunTool("--payload-icons " + dir.path()), 0);
    const std::set<std::string> names = {"Korvel.png", "KorvelMini.ico", "KorvelMini64.ico"};
    ASSERT_EQ(FileNames(dir.path()), names);
    std::set<std::string> contents;
    for (const std::string& name : names) {
        const std::string bytes = ReadFile(dir.Sub(name));
        contents.insert(bytes);
        const Image icon = DecodePng(bytes);
        ASSERT_TRUE(icon.ok) << name;
        EXPECT_EQ(icon.width, 256) << name;
        EXPECT_EQ(icon.height, 256) << name;
        ASSERT_TRUE(icon.hasAlpha) << name;
        EXPECT_EQ(icon.Alpha(0, 0), 0) << name;
        EXPECT_EQ(icon.Alpha(128, 128), 255) << name;
    }
    EXPECT_EQ(contents.size(), names.size());
}

TEST(ArtGenerator, SheetAndRefusals) {
    TempDir dir;
    ASSERT_EQ(RunTool("--sheet " + dir.Sub("docs/sheet.png")), 0);
    const Image sheet = DecodePng(ReadFile(dir.Sub("docs/sheet.png")));
    ASSERT_TRUE(sheet.ok);
    // The widest bitmap, the 622-pixel background, fits on it.
    EXPECT_GT(sheet.width, 622);

    EXPECT_EQ(RunTool(""), 2);
    EXPECT_EQ(RunTool("--colour " + dir.path()), 2);
    EXPECT_EQ(RunTool("--out"), 2);
    korvel_test::WriteFile(dir.Sub("plain"), "x");
    EXPECT_EQ(RunTool("--out " + dir.Sub("plain/below")), 1);
}
