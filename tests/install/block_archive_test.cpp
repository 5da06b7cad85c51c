// The payload archive in solid blocks: 7-Zip must find it sound and list the
// blocks as written, the installer's engine must install exactly the payload
// from it, and bad input must fail with a reason instead of a broken archive.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <random>
#include <sstream>

#include "install/archive_engine.h"
#include "install/seven_zip_headers.h"
#include "tests/install/install_fixture.h"
#include "tests/support/test_support.h"
#include "tools/korvel-pack/block_archive.h"
#include "tools/korvel-pack/pack.h"

using namespace korvel_test;

namespace {

constexpr int64_t kTime = 1602720000;

class BlockArchive : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, RunCommand("command -v 7zz").status) << "7zz (Debian package 7zip) missing";
        const std::string p = dir.Sub("payload");
        WriteNonAsciiPayload(p);  // an emoji name among them: a surrogate pair in UTF-16
        ASSERT_EQ(0, RunCommand("cd " + ShellQuote(p) + " && mkdir -p bin void").status);
        std::mt19937 rng(3);
        for (int i = 0; i < 9; ++i) {
            std::string bytes(30000 + rng() % 90000, '\0');
            for (char& c : bytes)
                c = static_cast<char>(rng() % 3 == 0 ? rng() : 'k' + i);
            WriteFile(p + "/bin/lib" + std::to_string(i) + ".dll", bytes);
        }
        WriteFile(p + "/bin/big.dat", std::string(700000, 'b'));  // beyond one block
        WriteFile(p + "/empty.txt", "");
        chmod((p + "/bin/lib2.dll").c_str(), 0750);
        ASSERT_EQ(0, symlink("bin/lib2.dll", (p + "/current").c_str()));
    }
    std::string Build(uint64_t blockBytes, int level) {
        PackInput in;
        in.strPayloadFolder = dir.Sub("payload");
        in.nLevel = level;
        in.nMtime = kTime;
        in.nSolidBlockBytes = blockBytes;
        std::string archive, error;
        EXPECT_TRUE(BuildPayloadArchive(in, archive, error)) << error;
        const std::string path = dir.Sub("p" + std::to_string(++m_count) + ".7z");
        WriteFile(path, archive);
        return path;
    }
    static std::map<std::string, std::string> Tree(const std::string& root) {
        return DescribeTree(root, false);
    }
    TempDir dir;
    int m_count = 0;
};

TEST_F(BlockArchive, SevenZipTestsItSoundAndTheEngineInstallsThePayload) {
    for (int level : {0, 1, 6}) {
        SCOPED_TRACE(level);
        const std::string archive = Build(200000, level);
        const ToolRun test = RunCommand("7zz t " + ShellQuote(archive), true);
        EXPECT_EQ(0, test.status) << test.out;
        EXPECT_NE(std::string::npos, test.out.find("Everything is Ok")) << test.out;

        const std::string out = dir.Sub("out" + std::to_string(level));
        const std::string o = "-o" + out;
        const char* argv[] = {"korvel", "x", archive.c_str(), o.c_str(), nullptr};
        ArchiveEngineOptions options;
        options.decoders = 2;
        EXPECT_EQ(0, ArchiveEngineMain(4, argv, nullptr, nullptr, nullptr, options));
        EXPECT_EQ(Tree(dir.Sub("payload")), Tree(out));
        const std::string byTool = dir.Sub("7zz" + std::to_string(level));
        EXPECT_EQ(0, RunCommand("LC_ALL=C.UTF-8 7zz x -y -bso0 -bsp0 " + ShellQuote(archive) +
                                " -o" + ShellQuote(byTool))
                         .status);
        EXPECT_EQ(Tree(dir.Sub("payload")), Tree(byTool));
        struct stat st;
        ASSERT_EQ(0, lstat((out + "/bin/lib5.dll").c_str(), &st));
        EXPECT_EQ(kTime, st.st_mtime);
        ASSERT_EQ(0, lstat((out + "/void").c_str(), &st));
        EXPECT_EQ(kTime, st.st_mtime);
    }
}

TEST_F(BlockArchive, BlocksAreCutAtTheSizeAndListedAsSevenZipSeesThem) {
    ArchiveHeaders h;
    std::string error;
    ASSERT_TRUE(ReadArchiveHeadersFromFile(Build(200000, 1), h, error)) << error;
    // 9 files of 30-120 kB, one of 700 kB alone, the link and the names' files.
    ASSERT_GE(h.folderSizes.size(), 4u);
    int64_t bigBlock = -1;
    for (const ArchiveHeaderEntry& e : h.entries) {
        if (e.name == "bin/big.dat")
            bigBlock = e.folder;
        if (e.name == "void" || e.name == "empty.txt") {
            EXPECT_EQ(-1, e.folder);
        }
    }
    ASSERT_GE(bigBlock, 0);
    EXPECT_EQ(700000u, h.folderSizes[static_cast<size_t>(bigBlock)]);  // a block of its own
    // A block closes at the size, or early before a file that stands alone.
    for (size_t i = 0; i + 1 < h.folderSizes.size(); ++i)
        if (static_cast<int64_t>(i) + 1 != bigBlock) {
            EXPECT_GE(h.folderSizes[i], 200000u) << i;
        }
    // The same folder gives the same bytes.
    EXPECT_EQ(ReadFile(Build(200000, 1)), ReadFile(Build(200000, 1)));
    ASSERT_TRUE(ReadArchiveHeadersFromFile(Build(0, 1), h, error)) << error;
    EXPECT_EQ(1u, h.folderSizes.size());  // the archive library's one block
}

TEST(BlockArchiveWriter, ASourceThatChangedOrVanishedIsAnErrorAndAnEmptyListAnArchive) {
    TempDir dir;
    WriteFile(dir.Sub("a"), "12345");
    BlockArchiveItem item;
    item.name = "a";
    item.source = dir.Sub("a");
    item.mode = S_IFREG | 0644;
    std::string out, error;
    for (uint64_t claimed : {4u, 6u}) {
        item.size = claimed;
        EXPECT_FALSE(WriteBlockArchive({item}, 1 << 20, 6, out, error));
        EXPECT_NE(std::string::npos, error.find(dir.Sub("a"))) << error;
    }
    item.source = dir.Sub("gone");
    item.size = 5;
    EXPECT_FALSE(WriteBlockArchive({item}, 1 << 20, 6, out, error));

    ASSERT_TRUE(WriteBlockArchive({}, 1 << 20, 6, out, error)) << error;
    WriteFile(dir.Sub("empty.7z"), out);
    EXPECT_EQ(0, RunCommand("7zz t " + ShellQuote(dir.Sub("empty.7z")) + " >/dev/null").status);
}

TEST(BlockArchiveWriter, OnlyALargeSingleBlockGetsTheVendorAdvice) {
    TempDir dir;
    ASSERT_EQ(0, mkdir(dir.Sub("payload").c_str(), 0755));
    WriteFile(dir.Sub("payload/big.bin"), std::string(33 << 20, 'z'));
    WriteFile(dir.Sub("payload/small.txt"), "small");
    PackInput in;
    in.strPayloadFolder = dir.Sub("payload");
    in.nLevel = 1;
    std::string archive, error;
    for (uint64_t block : {uint64_t{0}, PackInput::kDefaultSolidBlockBytes}) {
        in.nSolidBlockBytes = block;
        ASSERT_TRUE(BuildPayloadArchive(in, archive, error)) << error;
        const PayloadCheck check = CheckPayload(archive);
        EXPECT_TRUE(check.ok);
        const std::string advice = SolidBlockAdvice(check);
        if (block == 0) {
            EXPECT_EQ(1u, check.blockSizes.size());
            EXPECT_NE(std::string::npos, advice.find("one solid block of 33 MB")) << advice;
        } else {
            EXPECT_EQ(2u, check.blockSizes.size());  // the large file alone, then the small one
            EXPECT_EQ("", advice);
        }
    }
    ASSERT_EQ(0, unlink(dir.Sub("payload/big.bin").c_str()));
    in.nSolidBlockBytes = 0;
    ASSERT_TRUE(BuildPayloadArchive(in, archive, error)) << error;
    EXPECT_EQ("", SolidBlockAdvice(CheckPayload(archive)));  // one small block is fine
}

}  // namespace
