// Payloads made by 7-Zip with every method chain a vendor may choose: the
// ones the installer's engine extracts are wrapped byte for byte and install
// intact; the others are refused at build time, naming the entry and chain,
// and reported by `check`.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "tests/install/install_fixture.h"
#include "tests/support/test_support.h"
#include "tools/korvel-pack/pack.h"

using namespace korvel_test;

namespace {

struct Chain {
    const char* label;
    const char* switches;  // for 7zz a
    const char* method;    // a chain the archive must hold
    // nullptr: the engine extracts it; else the entry it fails on first ("*"
    // any entry with data, "" the archive header).
    const char* refusedEntry;
};

const Chain kChains[] = {
    {"lzma", "-m0=LZMA -mf=off", "LZMA", nullptr},
    {"lzma2", "-m0=LZMA2 -mf=off", "LZMA2", nullptr},
    {"bcj", "-m0=LZMA2 -mf=BCJ", "BCJ+LZMA2", nullptr},
    {"bcj2", "-mx9 -mmt2", "BCJ2+LZMA2+LZMA+LZMA", nullptr},
    {"bzip2", "-m0=BZip2 -mf=off", "BZip2", nullptr},
    {"deflate", "-m0=Deflate -mf=off", "Deflate", nullptr},
    {"ppmd", "-m0=PPMd -mf=off", "PPMd", nullptr},
    {"bcj-ppmd", "-m0=PPMd", "BCJ+PPMd", "bin/tool.exe"},
    {"arm64", "-m0=LZMA2 -mf=ARM64", "ARM64+LZMA2", "*"},
    {"encrypted-header", "-pSecret -mhe=on", "", ""},
    {"encrypted-data", "-m0=LZMA2 -mf=off -pSecret", "LZMA2+7zAES", "*"},
};

// Per entry, the chain 7-Zip itself lists, in the builder's spelling:
// coder parameters dropped, "+" between coders.
std::map<std::string, std::string> SevenZipMethods(const std::string& archive,
                                                   const std::string& password) {
    const ToolRun list = RunCommand("7zz l -slt " + password + " " + ShellQuote(archive) +
                                    " | grep -E '^(Path|Method) = '");
    std::map<std::string, std::string> methods;
    std::istringstream lines(list.out);
    std::string line, path;
    while (std::getline(lines, line)) {
        if (line.compare(0, 7, "Path = ") == 0) {
            path = line.substr(7);
            continue;
        }
        std::istringstream coders(line.substr(9));
        std::string coder, chain;
        while (coders >> coder)
            chain += (chain.empty() ? "" : "+") + coder.substr(0, coder.find(':'));
        methods[path] = chain;
    }
    return methods;
}

bool SameNoCase(std::string a, std::string b) {
    for (std::string* s : {&a, &b})
        for (char& c : *s)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return a == b;
}

class PayloadCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, RunCommand("command -v 7zz").status) << "7zz (Debian package 7zip) missing";
        // A real x86-64 program: 7-Zip's filters pick up executables by content.
        std::filesystem::create_directories(dir.Sub("payload/bin"));
        std::filesystem::copy_file("/usr/bin/7zz", dir.Sub("payload/bin/tool.exe"));
        std::string text;
        for (int i = 0; i < 20000; ++i)
            text += "line " + std::to_string(i) + "\n";
        WriteFile(dir.Sub("payload/text.txt"), text);
        WriteFile(dir.Sub("uninstall.exe"), "MZ uninstaller");
    }

    std::string MakeArchive(const Chain& c) {
        const std::string archive = dir.Sub(std::string(c.label) + ".7z");
        const ToolRun r =
            RunCommand("cd " + ShellQuote(dir.Sub("payload")) + " && 7zz a -t7z -bd " + c.switches +
                       " " + ShellQuote(archive) + " . >/dev/null");
        EXPECT_EQ(0, r.status) << c.label;
        return archive;
    }

    ToolRun Build(const std::string& archive, const std::string& package) {
        return RunPack("build --payload-7z " + ShellQuote(archive) + " --uninstaller " +
                           ShellQuote(dir.Sub("uninstall.exe")) +
                           " --registry-name K --short-name K --version 1.0.0.1"
                           " --product-name K --release-date 2021-01-01"
                           " --web-address https://example.com/ --publisher P -o " +
                           ShellQuote(package),
                       "", true);
    }

    TempDir dir;
    TempDir temp;
    ScopedEnv tmpdir{"TMPDIR", temp.path().c_str()};
};

TEST_F(PayloadCheckTest, EveryChainIsWrappedAndInstalledOrRefusedByName) {
    for (const Chain& c : kChains) {
        SCOPED_TRACE(c.label);
        const std::string archive = MakeArchive(c);
        const std::string bytes = ReadFile(archive);
        const PayloadCheck check = CheckPayload(bytes);
        const bool supported = c.refusedEntry == nullptr;
        EXPECT_EQ(supported, check.ok) << check.message;

        // The chains read from the headers are the ones 7-Zip lists.
        if (std::string(c.label) != "encrypted-header") {
            const auto listed = SevenZipMethods(archive, "-pSecret");
            ASSERT_EQ(listed.size(), check.entries.size() + 1);  // 7-Zip lists the archive too
            for (const PayloadEntryCheck& e : check.entries)
                EXPECT_TRUE(SameNoCase(listed.at(e.name), e.method))
                    << e.name << ": " << listed.at(e.name) << " vs " << e.method;
            EXPECT_NE(check.methods.end(),
                      std::find(check.methods.begin(), check.methods.end(), c.method));
        }

        const std::string package = dir.Sub(std::string(c.label) + ".exe");
        const ToolRun build = Build(archive, package);
        struct stat st;
        if (!supported) {
            EXPECT_EQ(1, build.status);
            EXPECT_NE(0, stat(package.c_str(), &st)) << "a refused build wrote a package";
            if (std::string(c.refusedEntry) == "*")
                EXPECT_TRUE(check.failureName == "bin/tool.exe" || check.failureName == "text.txt")
                    << check.failureName;
            else
                EXPECT_EQ(c.refusedEntry, check.failureName);
            const std::string who = *c.refusedEntry ? check.failureName : "archive header";
            EXPECT_NE(std::string::npos,
                      build.out.find("korvel-pack: " + who + ": method " + check.failureMethod +
                                     " is not supported by the installer's engine"))
                << build.out;
            if (*c.refusedEntry)
                EXPECT_EQ(c.method, check.failureMethod);
            else
                EXPECT_NE(std::string::npos, check.failureMethod.find("7zAES"));
            continue;
        }
        ASSERT_EQ(0, build.status) << build.out;
        // The archive travels byte for byte, right after the header.
        const std::string file = ReadFile(package);
        ASSERT_GE(file.size(), 64 + 4096 + bytes.size());
        EXPECT_EQ(bytes, file.substr(64 + 4096, bytes.size()));
        const ToolRun checked = RunPack("check " + ShellQuote(package));
        EXPECT_EQ(0, checked.status) << checked.out;
        EXPECT_NE(std::string::npos, checked.out.find("\"ok\":1")) << checked.out;
        const std::string out = dir.Sub(std::string("out-") + c.label);
        ASSERT_EQ(0, RunPack("extract " + ShellQuote(package) + " " + ShellQuote(out)).status);
        for (const std::string& f : ListFiles(dir.Sub("payload")))
            EXPECT_EQ(ReadFile(dir.Sub("payload/" + f)), ReadFile(out + "/" + f)) << f;
    }
}

// A package made before the builder checked: `check` names what fails.
TEST_F(PayloadCheckTest, CheckReportsTheFirstFailureOfAnExistingPackage) {
    const std::string archive = MakeArchive(kChains[7]);  // BCJ+PPMd
    const std::string package = dir.Sub("old.exe");
    WriteFile(package, AssemblePackage("", MakePackageHeader(KorvelFacts(true)), ReadFile(archive),
                                       "MZ uninstaller"));
    const ToolRun r = RunPack("check " + ShellQuote(package));
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.out.find("\"ok\":0")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\"methods\":{")) << r.out;
    EXPECT_NE(std::string::npos,
              r.out.find("\"first_failure\":{\"name\":\"bin/tool.exe\",\"method\":\"BCJ+PPMd\""))
        << r.out;
    EXPECT_NE(std::string::npos,
              r.out.find("{\"name\":\"text.txt\",\"method\":\"PPMd\",\"extracted\":1}"))
        << r.out;
    // The installer itself fails on it the same way.
    EXPECT_EQ(1, RunPack("extract " + ShellQuote(package) + " " + ShellQuote(dir.Sub("o"))).status);
}

TEST_F(PayloadCheckTest, BuildRefusalsLeaveNothingBehind) {
    const std::string package = dir.Sub("p.exe");
    struct stat st;
    // Not a 7z archive.
    WriteFile(dir.Sub("plain.7z"), "PK\x03\x04 not 7z");
    ToolRun r = Build(dir.Sub("plain.7z"), package);
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.out.find("plain.7z is not a 7z archive")) << r.out;
    // Both payload forms at once is a usage error.
    EXPECT_EQ(
        2, RunPack("build --payload-7z a.7z --payload d --uninstaller u -o " + ShellQuote(package))
               .status);
    // A folder whose link points outside the program folder: the installer
    // would refuse the entry, so the builder refuses the package.
    symlink("/etc/passwd", dir.Sub("payload/passwd").c_str());
    r = RunPack("build --payload " + ShellQuote(dir.Sub("payload")) + " --uninstaller " +
                    ShellQuote(dir.Sub("uninstall.exe")) + " --level 0 -o " + ShellQuote(package),
                "", true);
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos,
              r.out.find("passwd: cannot be extracted by the installer's engine (unsafe name or "
                         "link target)"))
        << r.out;
    EXPECT_NE(0, stat(package.c_str(), &st));
}

TEST_F(PayloadCheckTest, WrappingIsReproducible) {
    const std::string archive = MakeArchive(kChains[1]);
    ASSERT_EQ(0, Build(archive, dir.Sub("a.exe")).status);
    ASSERT_EQ(0, Build(archive, dir.Sub("b.exe")).status);
    EXPECT_EQ(ReadFile(dir.Sub("a.exe")), ReadFile(dir.Sub("b.exe")));
    const ToolRun inspect = RunPack("inspect " + ShellQuote(dir.Sub("a.exe")));
    EXPECT_NE(std::string::npos, inspect.out.find("\"payload_is_7z\":1")) << inspect.out;
}

}  // namespace
