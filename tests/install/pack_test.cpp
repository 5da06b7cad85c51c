// korvel-pack: build, config, inspect and extract as one round trip.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/shared_ptr.hpp>
#include <cstdio>
#include <cstring>
#include <random>

#include "data/xml_parse.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/text.h"
#include "tests/install/install_fixture.h"
#include "tests/support/test_support.h"
#include "tools/korvel-pack/pack.h"

using namespace korvel_test;

namespace {

ToolRun Pack(const std::string& args) {
    return RunPack(args);
}

std::string Noise(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

class PackTool : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string p = dir.Sub("payload");
        CreateFolderChain(Utf8ToWide(p + "/bin/"));
        CreateFolderChain(Utf8ToWide(p + "/empty/"));
        WriteFile(p + "/bin/Korvel64.exe", Noise(1600000, 1));
        chmod((p + "/bin/Korvel64.exe").c_str(), 0755);
        WriteFile(p + "/readme.txt", std::string(300000, 'k'));
        WriteFile(p + "/key.pem", "private");
        chmod((p + "/key.pem").c_str(), 0600);
        symlink("bin/Korvel64.exe", (p + "/current").c_str());
        WriteFile(dir.Sub("uninstall.exe"), "MZ uninstaller");
    }
    std::string BuildArgs(const std::string& out) {
        return "build --payload '" + dir.Sub("payload") + "' --uninstaller '" +
               dir.Sub("uninstall.exe") +
               "' --registry-name 'Korvel 12' --short-name 'Korvel 12' --version 12.0.0.2"
               " --product-name Korvel --release-date 2020-10-15 --web-address"
               " https://www.example.com/ --publisher '(c) Korvel' --x64 --level 1 -o '" +
               out + "'";
    }
    TempDir dir;
    TempDir temp;
    ScopedEnv tmpdir{"TMPDIR", temp.path().c_str()};
};

TEST_F(PackTool, BuildConfigExtractRoundTripByteForByte) {
    ASSERT_EQ(0, Pack(BuildArgs(dir.Sub("a.exe"))).status);
    ASSERT_EQ(0, Pack(BuildArgs(dir.Sub("b.exe"))).status);
    const std::string package = ReadFile(dir.Sub("a.exe"));
    EXPECT_EQ(package, ReadFile(dir.Sub("b.exe")));  // the same inputs, the same bytes

    const ToolRun inspect = Pack("inspect '" + dir.Sub("a.exe") + "'");
    ASSERT_EQ(0, inspect.status);
    EXPECT_NE(std::string::npos, inspect.out.find("\"checks\":{\"header_in_file\":1,\"magic_ok\":1,"
                                                  "\"payload_in_file\":1,\"payload_is_7z\":1,"
                                                  "\"uninstaller_in_file\":1}"));
    EXPECT_NE(std::string::npos, inspect.out.find("\"header_offset\":64,"));

    ASSERT_EQ(0, Pack("config '" + dir.Sub("a.exe") +
                      "' --mirror http://m1/download/a.exe"
                      " --mirror http://m2/download/a.exe --name-prefix korvel12_x64 -o '" +
                      dir.Sub("a.xml") + "'")
                     .status);
    boost::shared_ptr<IXMLParse> xml;
    ASSERT_EQ(S_OK, CreateXMLParse(xml));
    ASSERT_EQ(1, xml->LoadFromFile(dir.WSub("a.xml")));
    int version = 0, size = 0, urls = 0, hashes = 0;
    std::string url1, whole, last, name;
    EXPECT_EQ(1, xml->GetInt("download.version", version));
    EXPECT_EQ(1, xml->GetInt("download.size", size));
    EXPECT_EQ(1, xml->GetInt("download.url.size", urls));
    EXPECT_EQ(1, xml->GetString("download.url.item_1.value", url1));
    EXPECT_EQ(1, xml->GetInt("download.hash.size", hashes));
    EXPECT_EQ(1, xml->GetString("download.hash.item_0.value", whole));
    EXPECT_EQ(1, xml->GetString("download.name", name));
    const size_t blocks = (package.size() + 1048575) / 1048576;
    EXPECT_EQ(1, xml->GetString("download.hash.item_" + std::to_string(blocks) + ".value", last));
    EXPECT_EQ(1, version);
    EXPECT_EQ(static_cast<int>(package.size()), size);
    EXPECT_EQ(2, urls);
    EXPECT_EQ("http://m2/download/a.exe", url1);
    EXPECT_EQ(static_cast<int>(blocks + 1), hashes);
    EXPECT_EQ(Md5Hex(package.data(), package.size(), true), whole);
    const size_t tail = (blocks - 1) * 1048576;
    EXPECT_EQ(Md5Hex(package.data() + tail, package.size() - tail, true), last);
    EXPECT_EQ(PackageNameFor("korvel12_x64", whole), name);
    std::string lower = whole.substr(0, 8);
    for (char& c : lower)
        c = static_cast<char>(tolower(c));
    EXPECT_EQ("korvel12_x64_" + lower + ".exe", name);

    const ToolRun extract = Pack("extract '" + dir.Sub("a.exe") + "' '" + dir.Sub("out") + "'");
    EXPECT_EQ(0, extract.status);
    EXPECT_EQ(0u, extract.out.find("{\"event\":0,\"value\":0}\n{\"event\":100,"));
    EXPECT_NE(
        std::string::npos,
        extract.out.find("{\"event\":1,\"value\":0}\n{\"result\":\"0x00000000\",\"ok\":true,"));
    EXPECT_EQ(std::string::npos, extract.out.find("Temp File"));  // chatter kept off the JSON
    std::vector<std::string> files = ListFiles(dir.Sub("payload"));
    for (const std::string& f : files) {
        EXPECT_EQ(ReadFile(dir.Sub("payload/" + f)), ReadFile(dir.Sub("out/" + f))) << f;
        struct stat a, b;
        ASSERT_EQ(0, lstat(dir.Sub("payload/" + f).c_str(), &a));
        ASSERT_EQ(0, lstat(dir.Sub("out/" + f).c_str(), &b));
        EXPECT_EQ(a.st_mode, b.st_mode) << f;
    }
    files.insert(files.end(), {"uninstall.exe", "uninstall.exe.bin", "uninstall.list"});
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, ListFiles(dir.Sub("out")));
    struct stat st;
    EXPECT_EQ(0, stat(dir.Sub("out/empty").c_str(), &st));
}

TEST_F(PackTool, FailedExtractionExitsNonZeroWithTheErrorName) {
    const ToolRun r = Pack("extract '" + dir.Sub("missing.exe") + "' '" + dir.Sub("out") + "'");
    EXPECT_EQ(1, r.status);
    EXPECT_NE(
        std::string::npos,
        r.out.find("\"ok\":false,\"last_install_error\":-1,\"last_install_error_name\":\"-1\"}"));
    EXPECT_EQ(2, Pack("build --payload x").status);  // usage
}

// Mirror URLs of both schemes, IPv6 literals included; anything the installer
// could not probe is refused before a configuration is written.
TEST_F(PackTool, ConfigTakesHttpAndHttpsMirrorsOnly) {
    const std::string package = "'" + dir.Sub("uninstall.exe") + "'";
    ASSERT_EQ(0, Pack("config " + package +
                      " --mirror https://dl.example.com/download/a.exe"
                      " --mirror 'http://[::1]:18891/download/a.exe' -o '" +
                      dir.Sub("ok.xml") + "'")
                     .status);
    boost::shared_ptr<IXMLParse> xml;
    ASSERT_EQ(S_OK, CreateXMLParse(xml));
    ASSERT_EQ(1, xml->LoadFromFile(dir.WSub("ok.xml")));
    std::string url;
    EXPECT_EQ(1, xml->GetString("download.url.item_0.value", url));
    EXPECT_EQ("https://dl.example.com/download/a.exe", url);
    for (const char* bad : {"ftp://dl.example.com/download/a.exe", "https://dl.example.com/a.exe",
                            "https:///download/a.exe", "http://dl.example.com/download/"}) {
        EXPECT_EQ(
            1, Pack("config " + package + " --mirror '" + bad + "' -o '" + dir.Sub("bad.xml") + "'")
                   .status)
            << bad;
        EXPECT_FALSE(PathFileExists(dir.WSub("bad.xml"))) << bad;
    }
}

// Files that are no package: the report says what they hold, and the exit
// code says they are not packages.
TEST_F(PackTool, InspectOfANonPackageReportsItAndExitsNonZero) {
    WriteFile(dir.Sub("zeros.bin"), std::string(100, '\0'));
    WriteFile(dir.Sub("notes.txt"), "These are my notes, not an installer.\n");
    for (const char* name : {"zeros.bin", "notes.txt"}) {
        const ToolRun inspect = Pack(std::string("inspect '") + dir.Sub(name) + "'");
        EXPECT_NE(0, inspect.status) << name;
        EXPECT_NE(std::string::npos,
                  inspect.out.find("\"checks\":{\"header_in_file\":0,\"magic_ok\":0,"
                                   "\"payload_in_file\":0,\"payload_is_7z\":0,"
                                   "\"uninstaller_in_file\":0}"))
            << name << ": " << inspect.out;
        EXPECT_NE(std::string::npos, inspect.out.find("\"magic\":\"\",")) << inspect.out;
    }

    // A package whose magic is damaged: its header is there, the magic is not.
    ASSERT_EQ(0, Pack(BuildArgs(dir.Sub("a.exe"))).status);
    std::string package = ReadFile(dir.Sub("a.exe"));
    int32_t headerAt = 0;
    memcpy(&headerAt, package.data() + kHeaderOffsetPosition, sizeof headerAt);
    package[static_cast<size_t>(headerAt)] ^= 0x55;
    WriteFile(dir.Sub("damaged.exe"), package);
    const ToolRun inspect = Pack("inspect '" + dir.Sub("damaged.exe") + "'");
    EXPECT_NE(0, inspect.status);
    EXPECT_NE(std::string::npos, inspect.out.find("\"header_in_file\":1,\"magic_ok\":0,"))
        << inspect.out;
}

}  // namespace
