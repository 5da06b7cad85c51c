// The positional file operations: what the download engine's destination
// relies on, and what another implementation of the seam must keep.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/file_io.h"
#include "tests/support/test_support.h"

namespace {

using korvel_test::ReadFile;
using korvel_test::TempDir;
using korvel_test::WriteFile;

TEST(FileIo, RefusesLinksAndAnythingButARegularFile) {
    TempDir dir;
    WriteFile(dir.Sub("target"), "kept");
    ASSERT_EQ(0, symlink(dir.Sub("target").c_str(), dir.Sub("link").c_str()));
    ASSERT_EQ(0, mkfifo(dir.Sub("fifo").c_str(), 0600));
    ASSERT_EQ(0, mkdir(dir.Sub("folder").c_str(), 0700));
    for (const char* name : {"link", "fifo", "folder"}) {
        NativeFile f = kNoNativeFile;
        const RegularOpenResult r = OpenRegularFile(dir.Sub(name), 0, f);
        // A folder cannot even be opened for writing: a plain failure.
        EXPECT_EQ(std::string(name) == "folder" ? RegularOpenResult::kFailed
                                                : RegularOpenResult::kNotRegular,
                  r)
            << name;
        EXPECT_EQ(kNoNativeFile, f) << name;
        char byte = 0;
        EXPECT_EQ(-1, ReadRegularFile(dir.Sub(name), &byte, 1)) << name;
    }
    EXPECT_EQ("kept", ReadFile(dir.Sub("target"))) << "the link's target stays untouched";
    NativeFile f = kNoNativeFile;
    EXPECT_EQ(RegularOpenResult::kFailed, OpenRegularFile(dir.Sub("missing/pkg"), 0, f));
    EXPECT_EQ(kNoNativeFile, CreateFileForWrite(dir.Sub("missing/pkg")));
    EXPECT_EQ(-1, CloseNativeFile(kNoNativeFile));
}

TEST(FileIo, OpenKeepsAtMostTheGivenBytesAndReadStopsAtTheEnd) {
    TempDir dir;
    const std::string path = dir.Sub("pkg");
    WriteFile(path, "0123456789");
    NativeFile f = kNoNativeFile;
    ASSERT_EQ(RegularOpenResult::kOpened, OpenRegularFile(path, 4, f));
    EXPECT_EQ(0, CloseNativeFile(f));
    EXPECT_EQ("0123", ReadFile(path));
    ASSERT_EQ(RegularOpenResult::kOpened, OpenRegularFile(path, 100, f));  // shorter: unchanged
    EXPECT_EQ(0, CloseNativeFile(f));
    char buffer[16] = {};
    EXPECT_EQ(4, ReadRegularFile(path, buffer, sizeof(buffer)));
    EXPECT_EQ(2, ReadRegularFile(path, buffer, 2));
    EXPECT_EQ("01", std::string(buffer, 2));
    ASSERT_EQ(RegularOpenResult::kOpened, OpenRegularFile(path, 0, f));
    EXPECT_EQ(0, CloseNativeFile(f));
    EXPECT_EQ("", ReadFile(path));
}

// Threads write their own ranges through one handle at once, out of order;
// a created file starts empty.
TEST(FileIo, ConcurrentWritesAtOffsetsLandWhereAsked) {
    TempDir dir;
    const std::string path = dir.Sub("pkg");
    WriteFile(path, std::string(100, 'x'));
    const NativeFile f = CreateFileForWrite(path);
    ASSERT_NE(kNoNativeFile, f);
    constexpr int kThreads = 4;
    constexpr size_t kChunk = 64 * 1024;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([f, t] {
            const std::string chunk(kChunk, static_cast<char>('a' + t));
            const uint64_t at = static_cast<uint64_t>(kThreads - 1 - t) * kChunk;
            EXPECT_TRUE(WriteFileAt(f, at, chunk.data(), chunk.size()));
        });
    }
    for (auto& w : writers)
        w.join();
    EXPECT_EQ(0, CloseNativeFile(f));
    const std::string content = ReadFile(path);
    ASSERT_EQ(kThreads * kChunk, content.size());
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(std::string(kChunk, static_cast<char>('a' + t)),
                  content.substr((kThreads - 1 - t) * kChunk, kChunk));
    }
}

}  // namespace
