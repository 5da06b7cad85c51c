// The archive engine: archives of several solid blocks decoded by several
// threads must install exactly what one pass installs, report only on the
// calling thread, and end a damaged run the same way.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "install/archive_engine.h"
#include "install/decode_plan.h"
#include "install/seven_zip_headers.h"
#include "tests/install/install_fixture.h"
#include "tests/support/test_support.h"

using namespace korvel_test;

namespace {

// What an engine run told its callbacks, and on which threads.
struct Calls {
    std::vector<int> codes;
    std::vector<int> progress;
    std::vector<std::thread::id> threads;
    static void OnError(void* ctx, int code) {
        auto* c = static_cast<Calls*>(ctx);
        c->codes.push_back(code);
        c->threads.push_back(std::this_thread::get_id());
    }
    static void OnProgress(void* ctx, int low, int) {
        auto* c = static_cast<Calls*>(ctx);
        c->progress.push_back(low);
        c->threads.push_back(std::this_thread::get_id());
    }
    bool AllOn(std::thread::id id) const {
        for (const std::thread::id& t : threads)
            if (t != id)
                return false;
        return true;
    }
};

int RunEngine(const std::string& archive, const std::string& folder, unsigned decoders,
              Calls& calls) {
    const std::string out = "-o" + folder;
    const char* argv[] = {"korvel", "x", archive.c_str(), out.c_str(), nullptr};
    ArchiveEngineOptions options;
    options.decoders = decoders;
    return ArchiveEngineMain(4, argv, &calls, Calls::OnError, Calls::OnProgress, options);
}

std::map<std::string, std::string> Tree(const std::string& root) {
    return DescribeTree(root, true);
}

// The paths where two trees differ, with both sides ("-" where one lacks it).
std::vector<std::string> Differences(const std::map<std::string, std::string>& a,
                                     const std::map<std::string, std::string>& b) {
    std::vector<std::string> out;
    std::map<std::string, std::string> both = a;
    both.insert(b.begin(), b.end());
    for (const auto& kv : both) {
        const auto x = a.find(kv.first), y = b.find(kv.first);
        const std::string left = x == a.end() ? "-" : x->second;
        const std::string right = y == b.end() ? "-" : y->second;
        if (left != right)
            out.push_back(kv.first + ": " + left + " | " + right);
    }
    return out;
}

class ArchiveBlocks : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, RunCommand("command -v 7zz").status) << "7zz (Debian package 7zip) missing";
        const std::string p = dir.Sub("payload");
        WriteNonAsciiPayload(p);
        ASSERT_EQ(0, RunCommand("cd " + ShellQuote(p) + " && mkdir lib void locked").status);
        std::mt19937 rng(7);
        for (int i = 0; i < 14; ++i) {
            std::string bytes(20000 + rng() % 60000, '\0');
            for (char& c : bytes)
                c = static_cast<char>(rng() % 7 == 0 ? rng() : 'a' + rng() % 4);
            WriteFile(p + "/lib/part" + std::to_string(i) + ".bin", bytes);
        }
        WriteFile(p + "/empty.txt", "");
        ASSERT_EQ(0, RunCommand("echo x > " + ShellQuote(p + "/locked/inside.txt") +
                                " && chmod 0555 " + ShellQuote(p + "/locked") + " && chmod 0750 " +
                                ShellQuote(p + "/lib/part3.bin") + " && touch -d 2019-05-04 " +
                                ShellQuote(p + "/void") + " " + ShellQuote(p + "/locked") + " " +
                                ShellQuote(p + "/lib"))
                         .status);
    }
    void TearDown() override { RunCommand("chmod -R u+w " + ShellQuote(dir.path())); }
    // switches for 7zz a; "-ms=2f" puts two files in each solid block.
    std::string Archive(const std::string& switches) {
        const std::string path = dir.Sub("a" + std::to_string(++m_count) + ".7z");
        EXPECT_EQ(0, RunCommand("cd " + ShellQuote(dir.Sub("payload")) +
                                " && LC_ALL=C.UTF-8 7zz a -t7z -bd " + switches + " " +
                                ShellQuote(path) + " . >/dev/null")
                         .status);
        return path;
    }
    TempDir dir;
    int m_count = 0;
};

TEST_F(ArchiveBlocks, HeadersTellEachEntrysBlockAsSevenZipListsIt) {
    const std::string archive = Archive("-ms=3f");
    ArchiveHeaders h;
    std::string error;
    ASSERT_TRUE(ReadArchiveHeadersFromFile(archive, h, error)) << error;
    const ToolRun list = RunCommand("LC_ALL=C.UTF-8 7zz l -slt " + ShellQuote(archive));
    std::map<std::string, std::string> blockOf;
    std::istringstream lines(list.out);
    std::string path;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Path = ", 0) == 0)
            path = line.substr(7);
        if (line.rfind("Block = ", 0) == 0)
            blockOf[path] = line.substr(8);
    }
    size_t withData = 0;
    for (const ArchiveHeaderEntry& e : h.entries) {
        SCOPED_TRACE(e.name);
        ASSERT_EQ(1u, blockOf.count(e.name));
        EXPECT_EQ(blockOf[e.name], e.folder < 0 ? "" : std::to_string(e.folder));
        withData += e.folder >= 0;
    }
    EXPECT_GT(withData, 20u);
    EXPECT_EQ((withData + 2) / 3, h.folderSizes.size());
}

TEST_F(ArchiveBlocks, SeveralDecodersInstallWhatOnePassInstalls) {
    for (const char* switches : {"-ms=2f", "-ms=5f -m0=PPMd", "-ms=e", "-ms=on"}) {
        SCOPED_TRACE(switches);
        const std::string archive = Archive(switches);
        std::map<std::string, std::string> trees[2];
        const unsigned decoders[2] = {1, 3};
        for (int i = 0; i < 2; ++i) {
            Calls calls;
            const std::string out =
                dir.Sub("out" + std::to_string(m_count) + "_" + std::to_string(decoders[i]));
            EXPECT_EQ(0, RunEngine(archive, out, decoders[i], calls));
            EXPECT_TRUE(calls.codes.empty());
            EXPECT_TRUE(calls.AllOn(std::this_thread::get_id()));
            ASSERT_FALSE(calls.progress.empty());
            EXPECT_EQ(100, calls.progress.back());
            for (size_t k = 1; k < calls.progress.size(); ++k)
                EXPECT_LT(calls.progress[k - 1], calls.progress[k]);
            trees[i] = Tree(out);
        }
        EXPECT_EQ(std::vector<std::string>(), Differences(trees[0], trees[1]));
        // Times and modes as packed; a read-only folder still got its files.
        EXPECT_EQ(std::vector<std::string>(), Differences(Tree(dir.Sub("payload")), trees[1]));
        EXPECT_EQ(1u, trees[1].count("locked/inside.txt"));
    }
}

TEST_F(ArchiveBlocks, ADamagedBlockFailsTheRunOnTheCallingThread) {
    const std::string archive = Archive("-ms=2f -mhc=off");
    std::string bytes = ReadFile(archive);
    ArchiveHeaders h;
    std::string error;
    ASSERT_TRUE(ReadArchiveHeaders(bytes, h, error)) << error;
    // The packed data starts after the 32-byte signature header; hit a block
    // in the middle of it.
    for (size_t i = 0; i < 64; ++i)
        bytes[bytes.size() / 3 + i] ^= 0x5A;
    WriteFile(archive, bytes);
    for (unsigned decoders : {1u, 2u, 4u}) {
        SCOPED_TRACE(decoders);
        Calls calls;
        const std::string out = dir.Sub("broken" + std::to_string(decoders));
        EXPECT_EQ(2, RunEngine(archive, out, decoders, calls));
        ASSERT_FALSE(calls.codes.empty());
        EXPECT_EQ(262, calls.codes.back());
        EXPECT_NE(calls.codes.end(), std::find(calls.codes.begin(), calls.codes.end(), 261));
        EXPECT_TRUE(calls.AllOn(std::this_thread::get_id()));
    }
}

TEST_F(ArchiveBlocks, RefusedWritesAreFailedItemsWithSeveralDecoders) {
    const std::string archive = Archive("-ms=2f");
    const std::string out = dir.Sub("out");
    // A folder where a file belongs, with something in it: the disk writer
    // cannot replace it.
    ASSERT_EQ(0, RunCommand("mkdir -p " + ShellQuote(out + "/lib/part5.bin/keep") + " " +
                            ShellQuote(out + "/lib/part9.bin/keep"))
                     .status);
    Calls calls;
    EXPECT_EQ(2, RunEngine(archive, out, 2, calls));
    EXPECT_EQ((std::vector<int>{261, 261, 262}), calls.codes);
    EXPECT_TRUE(calls.AllOn(std::this_thread::get_id()));
    EXPECT_EQ(ReadFile(dir.Sub("payload/lib/part6.bin")), ReadFile(out + "/lib/part6.bin"));
}

TEST(DecodePlan, BlocksLargestFirstAfterTheEntriesWithoutData) {
    const std::vector<PlanEntry> entries = {
        {-1, false, "bin/"}, {0, false, "bin/a"}, {0, false, "bin/b"}, {1, false, "c"},
        {-1, false, "e"},    {2, false, "d"},     {3, false, "f"},
    };
    const std::vector<DecodeUnit> units = PlanDecodeUnits(entries, {10, 30, 20, 30});
    ASSERT_EQ(5u, units.size());
    const int64_t folders[] = {-1, 1, 3, 2, 0};
    const size_t lasts[] = {4, 3, 6, 5, 2};
    for (size_t i = 0; i < units.size(); ++i) {
        EXPECT_EQ(folders[i], units[i].folder);
        EXPECT_EQ(lasts[i], units[i].last);
    }
}

TEST(DecodePlan, OnePassWhereOrderMattersOrThereIsNothingToShare) {
    const std::vector<uint64_t> sizes = {10, 10};
    // One block holds all the data (a second block without entries).
    EXPECT_TRUE(
        PlanDecodeUnits({{-1, false, "d/"}, {0, false, "d/a"}, {0, false, "b"}}, sizes).empty());
    // A link may be written through by a later entry.
    EXPECT_TRUE(PlanDecodeUnits({{0, false, "a"}, {1, true, "l"}}, sizes).empty());
    // A repeated name: the later entry must win; a folder and a file alike.
    EXPECT_TRUE(PlanDecodeUnits({{0, false, "a"}, {1, false, "a"}}, sizes).empty());
    EXPECT_TRUE(
        PlanDecodeUnits({{-1, false, "a/"}, {0, false, "b"}, {1, false, "a"}}, sizes).empty());
    // Headers that name a block the archive does not have.
    EXPECT_TRUE(PlanDecodeUnits({{0, false, "a"}, {2, false, "b"}}, sizes).empty());
    EXPECT_EQ(2u, PlanDecodeUnits({{0, false, "a"}, {1, false, "b"}}, sizes).size());
}

TEST(ArchiveEngine, RejectsAMalformedCommandLine) {
    std::vector<int> codes;
    auto onError = [](void* ctx, int code) {
        static_cast<std::vector<int>*>(ctx)->push_back(code);
    };
    const char* wrongVerb[] = {"korvel", "e", "a.7z", "-o/tmp/x", nullptr};
    EXPECT_EQ(255, ArchiveEngineMain(4, wrongVerb, &codes, onError, nullptr));
    const char* noFolder[] = {"korvel", "x", "a.7z", "/tmp/x", nullptr};
    EXPECT_EQ(255, ArchiveEngineMain(4, noFolder, &codes, onError, nullptr));
    EXPECT_EQ((std::vector<int>{255, 255}), codes);
}

TEST(ArchiveEngine, UnreadableArchiveEndsWithRunErrors) {
    TempDir dir;
    WriteFile(dir.Sub("bad.7z"), "not an archive at all");
    Calls calls;
    EXPECT_EQ(2, RunEngine(dir.Sub("bad.7z"), dir.Sub("out"), 0, calls));
    EXPECT_EQ((std::vector<int>{262}), calls.codes);
}

}  // namespace
