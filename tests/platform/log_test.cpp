#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/folders.h"
#include "platform/jfile.h"
#include "platform/log.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

using korvel_test::ReadFile;
using korvel_test::SandboxHome;
using korvel_test::TempDir;
using korvel_test::WriteFile;

namespace {

const std::string kRunHeader = "\n\n" + std::string(40, '-') + "\n" + "00:00:00 : Init Log OK.\n";

// A tick source the test moves by hand.
struct FakeClock {
    std::atomic<uint32_t> now{0};
    ILog::TickSource Source() {
        return [this] { return now.load(); };
    }
};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

}  // namespace

TEST(LogFileTest, FreshFileStartsWithTheRunHeader) {
    TempDir dir;
    ASSERT_EQ(43u + 24u, kRunHeader.size());
    FakeClock clock;
    ILog log(clock.Source());
    // The folders of the path do not exist yet: the open creates them.
    const std::string path = dir.Sub("Korvel/Korvel12/Log/install.log");
    EXPECT_EQ(1, log.InitLog(Utf8ToWide(path)));
    EXPECT_EQ(kRunHeader, ReadFile(path));
}

TEST(LogFileTest, SecondRunAppendsItsHeaderBelowTheFirstRun) {
    TempDir dir;
    const std::string path = dir.Sub("install.log");
    FakeClock clock;
    {
        ILog first(clock.Source());
        first.InitLog(Utf8ToWide(path));
        first.WriteLine("first run");
    }
    clock.now = 90000;
    ILog second(clock.Source());
    second.InitLog(Utf8ToWide(path));
    second.WriteLine("second run");
    EXPECT_EQ(kRunHeader + "00:00:00 : first run\n" + kRunHeader + "00:00:00 : second run\n",
              ReadFile(path));
}

TEST(LogFileTest, PrefixIsTheTimeSinceInit) {
    TempDir dir;
    const std::string path = dir.Sub("install.log");
    FakeClock clock;
    clock.now = 5000;
    ILog log(clock.Source());
    log.InitLog(Utf8ToWide(path));
    clock.now = 5000 + 999;  // whole seconds only
    log.WriteLine("a");
    clock.now = 5000 + 3725 * 1000;
    log.WriteLine("b");
    clock.now = 5000 + 360000u * 1000u;  // hours are not limited to two digits
    log.WriteLine("c");
    clock.now = 5000 + 3725 * 1000;
    log.WriteLine("ends in a break\n");
    EXPECT_EQ(kRunHeader + "00:00:00 : a\n01:02:05 : b\n100:00:00 : c\n" +
                  "01:02:05 : ends in a break\n\n",
              ReadFile(path));
}

TEST(LogFileTest, PrefixSurvivesTheTickCounterWrapping) {
    TempDir dir;
    const std::string path = dir.Sub("install.log");
    FakeClock clock;
    clock.now = 0xFFFFFFFFu - 1000;
    ILog log(clock.Source());
    log.InitLog(Utf8ToWide(path));
    clock.now = 61000 - 1001;  // 61 s later, after the wrap
    log.WriteLine("wrapped");
    EXPECT_EQ(kRunHeader + "00:01:01 : wrapped\n", ReadFile(path));
}

namespace {
std::vector<std::string> g_echoed;
int Echo(const char* message) {
    g_echoed.push_back(message);
    return 0;
}
}  // namespace

TEST(LogFileTest, MessagesBeforeInitReachOnlyTheCallback) {
    TempDir dir;
    g_echoed.clear();
    FakeClock clock;
    ILog log(clock.Source());
    log.SetLogCallback(&Echo);
    log.WriteLine("early");
    EXPECT_EQ(std::vector<std::string>{"early"}, g_echoed);
    const std::string path = dir.Sub("install.log");
    EXPECT_FALSE(PathFileExists(Utf8ToWide(path)));
    log.InitLog(Utf8ToWide(path));
    log.WriteLine("late");
    log.SetLogCallback(nullptr);
    log.WriteLine("unechoed");
    EXPECT_EQ((std::vector<std::string>{"early", "late"}), g_echoed);
    EXPECT_EQ(kRunHeader + "00:00:00 : late\n00:00:00 : unechoed\n", ReadFile(path));
}

namespace {
ILog* g_nestedLog = nullptr;
std::string g_nestedPath;
std::atomic<bool> g_recordOnDisk{false};
std::atomic<bool> g_lockFree{false};

// Runs inside WriteLine's callback: the record must already be in the file,
// and another thread must be able to log meanwhile (the lock is released).
int CheckOutsideLock(const char* message) {
    if (std::string(message) != "outer")
        return 0;
    g_recordOnDisk = ReadFile(g_nestedPath).find("outer\n") != std::string::npos;
    std::atomic<bool> done{false};
    std::thread([&done] {
        g_nestedLog->WriteLine("inner");
        done = true;
    }).detach();
    for (int i = 0; i < 2000 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    g_lockFree = done.load();
    while (!done)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 0;
}
}  // namespace

TEST(LogFileTest, CallbackRunsAfterTheRecordAndOutsideTheLock) {
    TempDir dir;
    FakeClock clock;
    ILog log(clock.Source());
    g_nestedLog = &log;
    g_nestedPath = dir.Sub("install.log");
    log.InitLog(Utf8ToWide(g_nestedPath));
    log.SetLogCallback(&CheckOutsideLock);
    log.WriteLine("outer");
    EXPECT_TRUE(g_recordOnDisk);
    EXPECT_TRUE(g_lockFree);
    EXPECT_EQ(kRunHeader + "00:00:00 : outer\n00:00:00 : inner\n", ReadFile(g_nestedPath));
}

TEST(LogFileTest, WriteLogCutsLongMessagesAt12999Characters) {
    TempDir dir;
    const std::string path = dir.Sub("install.log");
    ILog::GetInstance()->InitLog(Utf8ToWide(path));
    const std::string longText(20000, 'x');
    WriteLog("%s", longText.c_str());
    WriteLog("value %d of %s", 42, "fmt");
    const std::vector<std::string> lines = SplitLines(ReadFile(path));
    ASSERT_EQ(6u, lines.size());
    EXPECT_EQ(11u + 12999u, lines[4].size());
    EXPECT_EQ(std::string(12999, 'x'), lines[4].substr(11));
    EXPECT_EQ("value 42 of fmt", lines[5].substr(11));
}

TEST(LogFileTest, RecordsFromEightThreadsNeverInterleave) {
    TempDir dir;
    const std::string path = dir.Sub("install.log");
    FakeClock clock;
    ILog log(clock.Source());
    log.InitLog(Utf8ToWide(path));
    constexpr int kThreads = 8;
    constexpr int kRecords = 100;
    constexpr size_t kLength = 10000;  // longer than a stream buffer
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            // Long records of one letter per thread: any interleaving mixes letters.
            const std::string text(kLength, static_cast<char>('a' + t));
            for (int i = 0; i < kRecords; ++i)
                log.WriteLine(text.c_str());
        });
    }
    for (auto& th : threads)
        th.join();
    std::vector<std::string> lines = SplitLines(ReadFile(path));
    ASSERT_EQ(4u + kThreads * kRecords, lines.size());
    std::map<char, int> counts;
    for (size_t i = 4; i < lines.size(); ++i) {
        ASSERT_EQ("00:00:00 : ", lines[i].substr(0, 11)) << "line " << i;
        const std::string text = lines[i].substr(11);
        ASSERT_EQ(std::string(kLength, text[0]), text) << "line " << i;
        ++counts[text[0]];
    }
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(kRecords, counts[static_cast<char>('a' + t)]);
}

TEST(LogFileTest, UnwritableLogLosesRecordsSilently) {
    TempDir dir;
    WriteFile(dir.Sub("blocker"), "a file where a folder should be");
    FakeClock clock;
    ILog log(clock.Source());
    g_echoed.clear();
    log.SetLogCallback(&Echo);
    EXPECT_EQ(1, log.InitLog(Utf8ToWide(dir.Sub("blocker/install.log"))));
    log.WriteLine("lost");
    EXPECT_EQ(std::vector<std::string>{"lost"}, g_echoed);
    EXPECT_FALSE(PathFileExists(Utf8ToWide(dir.Sub("blocker/install.log"))));
}

TEST(DocumentsPathTest, BuildsBelowDocumentsAndCreatesOnRequest) {
    SandboxHome sandbox;
    const std::string docs = sandbox.home() + "/Documents";
    EXPECT_EQ(Utf8ToWide(docs + "/Korvel/Korvel12/Log"),
              BuildDocumentsPath(L"Korvel/Korvel12/Log", L"", false));
    EXPECT_FALSE(PathIsDirectory(Utf8ToWide(docs + "/Korvel")));
    EXPECT_EQ(Utf8ToWide(docs + "/Korvel/Korvel12/Log/install.log"),
              BuildDocumentsPath(L"Korvel/Korvel12/Log", L"install.log", true));
    EXPECT_TRUE(PathIsDirectory(Utf8ToWide(docs + "/Korvel/Korvel12/Log")));
    EXPECT_FALSE(PathFileExists(Utf8ToWide(docs + "/Korvel/Korvel12/Log/install.log")));
}

TEST(DocumentsPathTest, FolderChainRules) {
    TempDir dir;
    // Every folder along the way; the last component too unless the path ends in a separator.
    EXPECT_TRUE(CreateFolderChain(dir.WSub("a/b/c")));
    EXPECT_TRUE(PathIsDirectory(dir.WSub("a/b/c")));
    EXPECT_TRUE(CreateFolderChain(dir.WSub("d/e/")));
    EXPECT_TRUE(PathIsDirectory(dir.WSub("d/e")));
    // A file path: only its parents.
    EXPECT_TRUE(CreateParentFolders(dir.WSub("f/g/file.txt")));
    EXPECT_TRUE(PathIsDirectory(dir.WSub("f/g")));
    EXPECT_FALSE(PathFileExists(dir.WSub("f/g/file.txt")));
    // Over 260 characters: refused, nothing created.
    std::string tooLong = dir.Sub("long/") + std::string(261, 'n');
    EXPECT_FALSE(CreateFolderChain(Utf8ToWide(tooLong)));
    EXPECT_FALSE(PathFileExists(dir.WSub("long")));
    EXPECT_FALSE(CreateParentFolders(Utf8ToWide(tooLong + "/file")));
    EXPECT_FALSE(PathFileExists(dir.WSub("long")));
}

TEST(JFileTest, AppendTextCreatesTheFolderChainAndAppends) {
    TempDir dir;
    const std::wstring path = dir.WSub("x/y/z/log.txt");
    for (const char* piece : {"one\n", "two\n"}) {
        JFile f;
        ASSERT_TRUE(f.Open(path, 0x103));
        EXPECT_EQ(0, f.GetLastOpenResult());
        EXPECT_EQ(4, f.Write(piece, 4));
        f.Close();
    }
    EXPECT_EQ("one\ntwo\n", ReadFile(dir.Sub("x/y/z/log.txt")));
}

TEST(JFileTest, TextWinsOverBinarySoTheFileIsAppendedNotTruncated) {
    TempDir dir;
    WriteFile(dir.Sub("f"), "keep");
    JFile f;
    ASSERT_TRUE(f.Open(dir.WSub("f"), 0x303));
    f.Write("+", 1);
    f.Close();
    EXPECT_EQ("keep+", ReadFile(dir.Sub("f")));
}

TEST(JFileTest, WriteBinaryTruncatesAndReadBinaryReadsBack) {
    TempDir dir;
    WriteFile(dir.Sub("f.bin"), std::string(100, 'o'));
    JFile w;
    ASSERT_TRUE(w.Open(dir.WSub("f.bin"), 0x202));
    const char bytes[] = {'a', '\0', '\n', '\r', 'b'};
    EXPECT_EQ(5, w.Write(bytes, 5));
    w.Close();
    JFile r;
    ASSERT_TRUE(r.Open(dir.WSub("f.bin"), 0x201));
    char back[16] = {0};
    EXPECT_EQ(5, r.Read(back, sizeof(back)));
    EXPECT_EQ(std::string(bytes, 5), std::string(back, 5));
    r.Close();
}

TEST(JFileTest, ReadingAMissingFileFailsWithMinusOne) {
    TempDir dir;
    WriteFile(dir.Sub("present"), "p");
    JFile f;
    ASSERT_TRUE(f.Open(dir.WSub("present"), 0x201));
    EXPECT_FALSE(f.Open(dir.WSub("missing"), 0x201));
    EXPECT_EQ(-1, f.GetLastOpenResult());
    EXPECT_FALSE(f.IsOpen());  // the old stream was closed
    EXPECT_FALSE(PathFileExists(dir.WSub("missing")));
}

TEST(JFileTest, OtherOpenFailuresKeepTheRuntimeError) {
    TempDir dir;
    WriteFile(dir.Sub("plain"), "not a folder");
    JFile f;
    EXPECT_FALSE(f.Open(dir.WSub("plain/child.bin"), 0x202));
    EXPECT_EQ(ENOTDIR, f.GetLastOpenResult());
    ASSERT_TRUE(f.Open(dir.WSub("plain"), 0x201));
    EXPECT_EQ(0, f.GetLastOpenResult());
    f.Close();
}

TEST(JFileTest, ClosedFileOperationsReturnMinusOne) {
    JFile f;
    char buf[4];
    EXPECT_EQ(0, f.GetLastOpenResult());
    EXPECT_EQ(-1, f.Read(buf, 4));
    EXPECT_EQ(-1, f.Write(buf, 4));
    EXPECT_EQ(-1, f.Seek(0, JFile::kBegin));
    EXPECT_EQ(-1, f.SeekToEnd());
    EXPECT_EQ(-1, f.GetPosition());
    EXPECT_EQ(-1, f.GetLength());
    f.Close();  // nothing to close: no effect
}

TEST(JFileTest, LengthKeepsThePositionAndSeeksWork) {
    TempDir dir;
    WriteFile(dir.Sub("f"), "0123456789");
    JFile f;
    ASSERT_TRUE(f.Open(dir.WSub("f"), 0x201));
    EXPECT_EQ(-1, f.Read(nullptr, 3));
    EXPECT_EQ(0, f.Seek(4, JFile::kBegin));
    EXPECT_EQ(10, f.GetLength());
    EXPECT_EQ(4, f.GetPosition());
    char c = 0;
    EXPECT_EQ(1, f.Read(&c, 1));
    EXPECT_EQ('4', c);
    EXPECT_EQ(0, f.Seek(-2, JFile::kEnd));
    EXPECT_EQ(8, f.GetPosition());
    EXPECT_EQ(0, f.SeekToBegin());
    EXPECT_NE(0, f.Seek(-5, JFile::kBegin));
    f.Close();
}
