// The 7z header reader: exact names and chains from archives 7-Zip made, and
// hostile bytes (the installer reads every payload's headers) refused safely.
#include <gtest/gtest.h>

#include <random>

#include "install/seven_zip_headers.h"
#include "tests/install/install_fixture.h"
#include "tests/support/test_support.h"

using namespace korvel_test;

namespace {

class SevenZipHeaders : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, RunCommand("command -v 7zz").status) << "7zz (Debian package 7zip) missing";
        WriteNonAsciiPayload(dir.Sub("payload"));
    }
    // switches: for 7zz a; "-mhc=off" keeps the header unpacked.
    std::string Archive(const std::string& switches) {
        const std::string path = dir.Sub("a" + std::to_string(++m_count) + ".7z");
        const ToolRun r = RunCommand("cd " + ShellQuote(dir.Sub("payload")) +
                                     " && LC_ALL=C.UTF-8 7zz a -t7z -bd " + switches + " " +
                                     ShellQuote(path) + " . >/dev/null");
        EXPECT_EQ(0, r.status);
        return ReadFile(path);
    }
    TempDir dir;
    int m_count = 0;
};

TEST_F(SevenZipHeaders, PackedAndPlainHeadersGiveTheNamesAsStored) {
    for (const char* switches : {"-mhc=off -m0=LZMA2", "-m0=LZMA2", "-m0=PPMd -mf=off"}) {
        SCOPED_TRACE(switches);
        ArchiveHeaders h;
        std::string error;
        ASSERT_TRUE(ReadArchiveHeaders(Archive(switches), h, error)) << error;
        EXPECT_EQ(std::string(switches).find("-mhc=off") == 0 ? "" : "LZMA", h.headerMethod);
        std::vector<std::string> files;
        for (const ArchiveHeaderEntry& e : h.entries)
            if (!e.method.empty())
                files.push_back(e.name);
        std::vector<std::string> expected = NonAsciiPayloadNames();
        std::sort(files.begin(), files.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, files);  // the decomposed name too, unchanged
    }
}

TEST_F(SevenZipHeaders, CutAndDamagedArchivesAreRefusedWithoutHarm) {
    std::mt19937 rng(11);
    for (const char* switches : {"-mhc=off", "-mx1"}) {
        const std::string intact = Archive(switches);
        ArchiveHeaders h;
        std::string error;
        ASSERT_TRUE(ReadArchiveHeaders(intact, h, error)) << error;
        for (size_t cut = 0; cut < intact.size(); cut += 1 + cut / 8) {
            ArchiveHeaders partial;
            EXPECT_FALSE(ReadArchiveHeaders(intact.substr(0, cut), partial, error)) << cut;
        }
        // Damage in the header region: whatever it reads, it stays in bounds
        // (the sanitizer builds watch) and never claims more entries than bytes.
        for (int round = 0; round < 400; ++round) {
            std::string damaged = intact;
            const size_t from = damaged.size() > 600 ? damaged.size() - 600 : 32;
            for (int k = 0; k < 3; ++k)
                damaged[from + rng() % (damaged.size() - from)] = static_cast<char>(rng());
            ArchiveHeaders out;
            if (ReadArchiveHeaders(damaged, out, error)) {
                EXPECT_LE(out.entries.size(), damaged.size());
            }
        }
    }
    ArchiveHeaders out;
    std::string error;
    EXPECT_FALSE(ReadArchiveHeaders(std::string("PK\x03\x04", 4), out, error));
    EXPECT_EQ("not a 7z archive", error);
}

}  // namespace
