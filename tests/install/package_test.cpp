// Reading setup packages and installing their payload: layout bounds, the
// failure reports, hostile archives, and what a successful run leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <thread>

#include "install/archive_engine.h"
#include "install/package.h"
#include "install/seven_zip.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/install/install_fixture.h"
#include "tests/support/test_support.h"
#include "tools/korvel-pack/pack.h"

using namespace korvel_test;

namespace {

std::string SamplePayload() {
    std::string big;
    for (int i = 0; i < 20000; ++i)
        big += "line " + std::to_string(i * 7919 % 10007) + "\n";
    return RawArchive({{"bin", 'd', "", 0755},
                       {"bin/Korvel64.exe", 'f', "MZ main program", 0755},
                       {"readme.txt", 'f', big, 0644},
                       {"private.key", 'f', "secret", 0600}});
}

struct Installed {
    HRESULT result;
    EventLog log;
};

Installed Install(const std::string& package, const std::wstring& folder, bool removeTemp = true) {
    Installed r;
    r.result =
        InstallPackage(package.empty() ? nullptr : Utf8ToWide(package).c_str(), r.log.Callback(),
                       folder.empty() ? nullptr : folder.c_str(),
                       removeTemp ? InstallOptions::kSetup : InstallOptions::kWriteUninstaller);
    return r;
}

int32_t ReadInt(const std::string& bytes, size_t at) {
    int32_t v;
    memcpy(&v, &bytes[at], sizeof(v));
    return v;
}

void WriteInt(std::string& bytes, size_t at, int32_t v) {
    memcpy(&bytes[at], &v, sizeof(v));
}

class PackageTest : public ::testing::Test {
protected:
    TempDir dir;
    TempDir temp;  // the extraction's temporary path
    ScopedEnv tmpdir{"TMPDIR", temp.path().c_str()};
    std::string pkg = dir.Sub("setup.exe");
    std::wstring out = dir.WSub("Program/Korvel 12");
};

TEST_F(PackageTest, HeaderMayEndTheFileButNotReachPastIt) {
    std::string bytes = PackageAround(SamplePayload(), "UNINSTALL", true, true);
    const int32_t offset = ReadInt(bytes, 32);
    ASSERT_EQ(static_cast<int64_t>(bytes.size()) - kPackageHeaderSize, offset);
    WriteFile(pkg, bytes);
    PackageHeader header;
    EXPECT_EQ(S_OK, ReadPackageHeader(Utf8ToWide(pkg).c_str(), header));
    EXPECT_EQ("Korvel 12", HeaderText(header.szRegistryName));
    EXPECT_EQ(S_OK, Install(pkg, out).result);

    WriteInt(bytes, 32, offset + 1);
    WriteFile(pkg, bytes);
    EXPECT_EQ(E_FAIL, ReadPackageHeader(Utf8ToWide(pkg).c_str(), header));
    LogCapture capture;
    Installed r = Install(pkg, out);
    EXPECT_EQ(E_FAIL, r.result);
    EXPECT_EQ(kInstallOffsetError, GetLastInstallError());
    EXPECT_EQ("OffsetError", GetLastInstallErrorText());
    EXPECT_EQ((std::vector<std::pair<int, int>>{{0, 0}, {2, 10001}}), r.log.events);
    EXPECT_TRUE(capture.Contains("Offset error 10006  Offset - " + std::to_string(offset + 1) +
                                 "  file length- " + std::to_string(bytes.size()) + ".\n"));

    WriteInt(bytes, 32, -4096);  // a negative offset would seek before the start
    WriteFile(pkg, bytes);
    EXPECT_EQ(E_FAIL, Install(pkg, out).result);
    EXPECT_EQ(kInstallOffsetError, GetLastInstallError());
}

TEST_F(PackageTest, PayloadMayEndAtTheFileEndButNotOneBytePast) {
    std::string bytes = PackageAround(SamplePayload(), "", true);  // no uninstaller after it
    const size_t header = static_cast<size_t>(ReadInt(bytes, 32));
    const size_t sizeField = header + offsetof(PackageHeader, nPayloadSize);
    ASSERT_EQ(bytes.size(),
              static_cast<size_t>(ReadInt(bytes, header + 16) + ReadInt(bytes, sizeField)));
    WriteFile(pkg, bytes);
    EXPECT_EQ(S_OK, Install(pkg, out).result);

    WriteInt(bytes, sizeField, ReadInt(bytes, sizeField) + 1);
    WriteFile(pkg, bytes);
    Installed r = Install(pkg, out);
    EXPECT_EQ(E_FAIL, r.result);
    EXPECT_EQ(kInstallReadFileError, GetLastInstallError());
    EXPECT_EQ(std::make_pair(2, 10001), r.log.events.back());

    WriteInt(bytes, sizeField, 0x7fffffff);  // offset + size overflows 32 bits
    WriteFile(pkg, bytes);
    EXPECT_EQ(E_FAIL, Install(pkg, out).result);
    EXPECT_EQ(kInstallReadFileError, GetLastInstallError());
}

// A header claiming an uninstaller the file cannot hold (found by fuzzing: it
// allocated 2 GB and would have written them as zeros) fails before anything
// is unpacked.
TEST_F(PackageTest, UninstallerPastTheEndIsRefusedBeforeUnpacking) {
    std::string bytes = PackageAround(SamplePayload(), "MZ uninstaller", true);
    const size_t header = static_cast<size_t>(ReadInt(bytes, 32));
    const size_t sizeField = header + offsetof(PackageHeader, nUninstallSize);
    WriteInt(bytes, sizeField, ReadInt(bytes, sizeField) + 1);
    WriteFile(pkg, bytes);
    Installed r = Install(pkg, out);
    EXPECT_EQ(E_FAIL, r.result);
    EXPECT_EQ(kInstallReadFileError, GetLastInstallError());
    EXPECT_FALSE(PathFileExists((out + L"/uninstall.exe").c_str()));

    WriteInt(bytes, sizeField, 0x7ff00000);
    WriteFile(pkg, bytes);
    EXPECT_EQ(E_FAIL, Install(pkg, out).result);
    EXPECT_EQ(kInstallReadFileError, GetLastInstallError());
}

TEST_F(PackageTest, MissingPackageNullPathAndUncreatableFolder) {
    LogCapture capture;
    Installed missing = Install(dir.Sub("absent.exe"), out);
    EXPECT_EQ(E_FAIL, missing.result);
    EXPECT_EQ(-1, GetLastInstallError());
    EXPECT_EQ("-1", GetLastInstallErrorText());
    EXPECT_TRUE(capture.Contains("Open file error -1.\n"));
    EXPECT_EQ((std::vector<std::pair<int, int>>{{0, 0}, {2, 10001}}), missing.log.events);

    Installed null = Install("", out);
    EXPECT_EQ(E_POINTER, null.result);
    EXPECT_EQ(kInstallPointNull, GetLastInstallError());
    EXPECT_TRUE(null.log.events.empty());

    WriteFile(pkg, PackageAround(SamplePayload(), "U"));
    WriteFile(dir.Sub("plainfile"), "x");
    Installed blocked = Install(pkg, dir.WSub("plainfile/below"));
    EXPECT_EQ(E_FAIL, blocked.result);
    EXPECT_EQ(kInstallDirWriteError, GetLastInstallError());
    EXPECT_EQ("DirWriteError", GetLastInstallErrorText());
    EXPECT_EQ((std::vector<std::pair<int, int>>{{0, 0}, {2, 10002}}), blocked.log.events);
}

TEST_F(PackageTest, CorruptPayloadIsReportedAndTheErrorOutlivesALaterSuccess) {
    std::string payload = SamplePayload();
    for (size_t i = 64; i < 96; ++i)
        payload[i] = static_cast<char>(payload[i] ^ 0x5a);
    WriteFile(pkg, PackageAround(payload, "U"));
    Installed r = Install(pkg, out);
    EXPECT_EQ(E_FAIL, r.result);
    bool engineError = false;
    for (const auto& e : r.log.events)
        engineError = engineError || (e.first == 101 && (e.second == 261 || e.second == 262));
    EXPECT_TRUE(engineError);
    EXPECT_EQ(std::make_pair(2, 10001), r.log.events.back());
    EXPECT_EQ("UnzipFileError", GetLastInstallErrorText());

    WriteFile(pkg, PackageAround(SamplePayload(), "U"));
    EXPECT_EQ(S_OK, Install(pkg, out).result);
    EXPECT_EQ(kInstallUnzipFileError, GetLastInstallError());  // never reset on success
}

TEST_F(PackageTest, HostileEntriesAreRefusedAndNothingIsWrittenOutside) {
    const std::string absolute = dir.Sub("absolute.txt");
    std::string payload = RawArchive({{"good.txt", 'f', "fine"},
                                      {"../escape.txt", 'f', "out"},
                                      {"sub/../../escape2.txt", 'f', "out"},
                                      {absolute, 'f', "out"},
                                      {"link-out", 'l', "../../outside"},
                                      {"link-abs", 'l', "/etc"},
                                      {"self", 'l', "."},
                                      {"twisty", 'l', "self/../escape3"},
                                      {"link-in", 'l', "good.txt"},
                                      {"up/back", 'l', "../good.txt"}});
    WriteFile(pkg, PackageAround(payload, "U"));
    const std::vector<std::string> before = ListFiles(dir.path());
    Installed r = Install(pkg, out);
    EXPECT_EQ(E_FAIL, r.result);
    EXPECT_EQ(kInstallUnzipFileError, GetLastInstallError());
    int refused = 0;
    for (const auto& e : r.log.events)
        refused += e == std::make_pair(101, 261);
    EXPECT_EQ(6, refused);
    EXPECT_NE(r.log.events.end(),
              std::find(r.log.events.begin(), r.log.events.end(), std::make_pair(101, 262)));

    std::vector<std::string> outside;
    for (const std::string& f : ListFiles(dir.path()))
        if (f.rfind("Program/", 0) != 0)
            outside.push_back(f);
    EXPECT_EQ(before, outside);
    const std::string folder = dir.Sub("Program/Korvel 12");
    EXPECT_EQ("fine", ReadFile(folder + "/good.txt"));
    EXPECT_EQ("fine", ReadFile(folder + "/link-in"));
    EXPECT_EQ("fine", ReadFile(folder + "/up/back"));
    struct stat st;
    EXPECT_NE(0, lstat((folder + "/link-out").c_str(), &st));
    EXPECT_NE(0, lstat((folder + "/twisty").c_str(), &st));
}

TEST_F(PackageTest, ExistingLinkInTheProgramFolderIsNotFollowed) {
    TempDir elsewhere;
    CreateFolderChainA(dir.Sub("Program/Korvel 12/"));
    ASSERT_EQ(0, symlink(elsewhere.path().c_str(), dir.Sub("Program/Korvel 12/bin").c_str()));
    WriteFile(pkg, PackageAround(SamplePayload(), "U"));
    EXPECT_EQ(E_FAIL, Install(pkg, out).result);
    EXPECT_TRUE(ListFiles(elsewhere.path()).empty());
}

TEST_F(PackageTest, SuccessfulRunReportsInOrderAndLeavesUninstallerAndHeaderCopy) {
    const std::string bytes = PackageAround(SamplePayload(), "UNINSTALLER BYTES");
    WriteFile(pkg, bytes);
    Installed r = Install(pkg, out);
    ASSERT_EQ(S_OK, r.result);
    ASSERT_GE(r.log.events.size(), 3u);
    EXPECT_EQ(std::make_pair(0, 0), r.log.events.front());
    EXPECT_EQ(std::make_pair(1, 0), r.log.events.back());
    int last = 0;
    for (size_t i = 1; i + 1 < r.log.events.size(); ++i) {
        EXPECT_EQ(100, r.log.events[i].first);
        EXPECT_GT(r.log.events[i].second, last);
        last = r.log.events[i].second;
    }
    EXPECT_EQ(100, last);

    const std::string folder = dir.Sub("Program/Korvel 12");
    EXPECT_EQ(out, GetProgramPath());
    EXPECT_EQ("UNINSTALLER BYTES", ReadFile(folder + "/uninstall.exe"));
    const std::string bin = ReadFile(folder + "/uninstall.exe.bin");
    ASSERT_EQ(static_cast<size_t>(kPackageHeaderSize), bin.size());
    EXPECT_EQ(bytes.substr(static_cast<size_t>(ReadInt(bytes, 32)), kPackageHeaderSize), bin);
    struct stat st;
    ASSERT_EQ(0, stat((folder + "/bin/Korvel64.exe").c_str(), &st));
    EXPECT_EQ(0755u, st.st_mode & 07777);
    ASSERT_EQ(0, stat((folder + "/private.key").c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 07777);
    EXPECT_TRUE(ListFiles(temp.path()).empty());
    struct stat tempStat;
    EXPECT_EQ(0, stat(temp.path().c_str(), &tempStat));
}

// Large files reach the disk in gathered pieces on the writer's thread: every
// byte lands at its place, and what the disk refuses is a failed item that is
// still reported on the installing thread.
TEST_F(PackageTest, LargeFilesArriveWholeAndRefusedWritesAreFailedItems) {
    std::mt19937 rng(7);
    std::string big(5 * 1024 * 1024 + 12345, '\0');
    for (char& c : big)
        c = static_cast<char>(rng());
    const std::string payload = RawArchive({{"data/first.bin", 'f', big},
                                            {"data/blocked.txt", 'f', "cannot land"},
                                            {"data/second.bin", 'f', big.substr(777)},
                                            {"data/small.txt", 'f', "small"}});
    WriteFile(pkg, PackageAround(payload, "U"));
    const std::string folder = dir.Sub("Program/Korvel 12");
    // A non-empty folder where a file should go: the disk writer refuses it.
    ASSERT_TRUE(CreateFolderChainA(folder + "/data/blocked.txt/"));
    WriteFile(folder + "/data/blocked.txt/keep", "mine");
    const std::thread::id caller = std::this_thread::get_id();
    bool otherThread = false;
    EventLog log;
    const InstallCallback record = [&](int e, int v, int r) {
        otherThread = otherThread || std::this_thread::get_id() != caller;
        return log.Callback()(e, v, r);
    };
    EXPECT_EQ(E_FAIL,
              InstallPackage(Utf8ToWide(pkg).c_str(), record, out.c_str(), InstallOptions::kSetup));
    EXPECT_FALSE(otherThread);
    EXPECT_EQ(1, std::count(log.events.begin(), log.events.end(), std::make_pair(101, 261)));
    EXPECT_NE(log.events.end(),
              std::find(log.events.begin(), log.events.end(), std::make_pair(101, 262)));
    EXPECT_TRUE(ReadFile(folder + "/data/first.bin") == big);
    EXPECT_TRUE(ReadFile(folder + "/data/second.bin") == big.substr(777));
    EXPECT_EQ("small", ReadFile(folder + "/data/small.txt"));
    EXPECT_EQ("mine", ReadFile(folder + "/data/blocked.txt/keep"));
}

TEST_F(PackageTest, KeptTemporaryArchiveFollowsTheNamingRules) {
    WriteFile(pkg, PackageAround(SamplePayload(), "U"));
    ASSERT_EQ(S_OK, Install(pkg, out, false).result);
    const std::vector<std::string> left = ListFiles(temp.path());
    ASSERT_EQ(1u, left.size());
    const std::string tick = left[0].substr(0, left[0].find('/'));
    EXPECT_EQ(tick + "/korvel_7z/Kor7ZFile.7z", left[0]);
    EXPECT_EQ(std::string::npos, tick.find_first_not_of("0123456789abcdef"));
}

TEST_F(PackageTest, TemporaryFolderIsNeverOneThatAlreadyExists) {
    const std::string base = temp.path() + "/";
    std::vector<std::string> taken;
    const uint32_t now = GetTickCount();
    for (uint32_t t = now; t < now + 30; ++t) {
        char name[64];
        snprintf(name, sizeof(name), "%x/", t);
        taken.push_back(base + name);
        mkdir(taken.back().c_str(), 0755);
    }
    const std::string made = MakeTickTempFolder(base);
    ASSERT_FALSE(made.empty());
    EXPECT_EQ(taken.end(), std::find(taken.begin(), taken.end(), made));
    struct stat st;
    ASSERT_EQ(0, stat(made.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
}

TEST_F(PackageTest, TruncatedPackagesFailCleanly) {
    const std::string bytes = PackageAround(SamplePayload(), "UNINSTALLER");
    for (size_t cut = 0; cut < bytes.size(); cut += 397) {
        WriteFile(pkg, bytes.substr(0, cut));
        Installed r = Install(pkg, out);
        EXPECT_EQ(E_FAIL, r.result) << cut;
        ASSERT_FALSE(r.log.events.empty());
        EXPECT_EQ(2, r.log.events.back().first) << cut;
    }
    EXPECT_TRUE(ListFiles(temp.path()).empty());  // no temporary archive is left behind
}

TEST_F(PackageTest, RandomlyDamagedPayloadsNeverEscapeOrLeaveTemporaryFiles) {
    const std::string bytes = PackageAround(SamplePayload(), "U");
    const size_t start = static_cast<size_t>(ReadInt(bytes, 32)) + kPackageHeaderSize;
    std::mt19937 rng(4242);
    for (int round = 0; round < 40; ++round) {
        std::string damaged = bytes;
        for (int i = 0; i < 1 + round % 4; ++i) {
            const size_t at = start + rng() % (damaged.size() - start - 1);
            damaged[at] = static_cast<char>(damaged[at] ^ (1 + rng() % 255));
        }
        WriteFile(pkg, damaged);
        Installed r = Install(pkg, dir.WSub("Program/run" + std::to_string(round)));
        ASSERT_FALSE(r.log.events.empty());
        if (r.result != S_OK) {
            EXPECT_EQ(std::make_pair(2, 10001), r.log.events.back()) << round;
        }
    }
    for (const std::string& f : ListFiles(dir.path()))
        EXPECT_TRUE(f == "setup.exe" || f.rfind("Program/run", 0) == 0) << f;
    EXPECT_TRUE(ListFiles(temp.path()).empty());
}

TEST_F(PackageTest, WithoutAFolderTheDefaultProgramFolderIsUsed) {
    ScopedEnv programs("ProgramW6432", dir.Sub("Programs").c_str());
    WriteFile(pkg, PackageAround(SamplePayload(), "U", true));
    LogCapture capture;
    ASSERT_EQ(S_OK, Install(pkg, L"").result);
    EXPECT_EQ(dir.WSub("Programs/Korvel 12"), GetProgramPath());
    EXPECT_TRUE(capture.Contains("GetProgramPath lpszProgram. \n"));
    EXPECT_EQ("U", ReadFile(dir.Sub("Programs/Korvel 12/uninstall.exe")));

    wchar_t buffer[kMaxPath];
    EXPECT_TRUE(GetDefaultProgramPath(buffer, L"Other", false, true));
    EXPECT_EQ(dir.WSub("Programs/Other"), std::wstring(buffer));
    EXPECT_FALSE(PathFileExists(buffer));  // not created without the flag
}

}  // namespace
