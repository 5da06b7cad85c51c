#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cwctype>
#include <string>
#include <thread>
#include <vector>

#include "platform/folders.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

using korvel_test::ReadFile;
using korvel_test::ScopedEnv;
using korvel_test::TempDir;
using korvel_test::WriteFile;

namespace {

// Longer than the 15 characters the kernel keeps as the process's comm, and
// unique to this test process, since tests run in parallel.
const std::string kProbeName = "KorvelProbe-Sleeper-" + std::to_string(getpid()) + ".bin";

std::wstring Upper(const std::string& s) {
    std::wstring out = Utf8ToWide(s);
    for (auto& c : out)
        c = static_cast<wchar_t>(towupper(c));
    return out;
}

std::string CopyExecutable(const TempDir& dir, const char* from, const std::string& name) {
    const std::string to = dir.Sub(name);
    WriteFile(to, ReadFile(from));
    chmod(to.c_str(), 0755);
    return to;
}

std::string WriteScript(const TempDir& dir, const std::string& name, const std::string& body) {
    const std::string path = dir.Sub(name);
    WriteFile(path, "#!/bin/sh\n" + body + "\n");
    chmod(path.c_str(), 0755);
    return path;
}

// Waits for a helper's output file to be complete (it is renamed into place).
std::string AwaitFile(const std::string& path) {
    for (int i = 0; i < 2000 && !PathFileExists(Utf8ToWide(path)); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadFile(path);
}

// Waits until one of the children has ended; returns its index or -1.
int AwaitOneEnded(std::vector<ChildProcess>& children) {
    for (int round = 0; round < 1000; ++round) {
        for (size_t i = 0; i < children.size(); ++i) {
            if (children[i].Wait(0))
                return static_cast<int>(i);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

}  // namespace

TEST(SplitCommandLineTest, FollowsCommandLineToArgvRules) {
    using V = std::vector<std::wstring>;
    EXPECT_EQ(V{}, SplitCommandLine(L""));
    EXPECT_EQ(V{}, SplitCommandLine(L"  \t "));
    EXPECT_EQ((V{L"/install", L"/ID:abc"}), SplitCommandLine(L"  /install \t/ID:abc "));
    EXPECT_EQ((V{L"/path:C:\\Program Files\\Korvel", L"x"}),
              SplitCommandLine(L"/path:\"C:\\Program Files\\Korvel\" x"));
    EXPECT_EQ((V{L"a\\\\b", L"c\"d"}), SplitCommandLine(L"a\\\\b c\\\"d"));
    EXPECT_EQ((V{L"a\\", L"b"}), SplitCommandLine(L"\"a\\\\\" b"));  // 2n backslashes + quote
    EXPECT_EQ((V{L"a\\\"b"}), SplitCommandLine(L"a\\\\\\\"b"));      // 2n+1 backslashes + quote
    EXPECT_EQ((V{L"", L"x"}), SplitCommandLine(L"\"\" x"));
    EXPECT_EQ((V{L"a\"b"}), SplitCommandLine(L"\"a\"\"b\""));        // "" inside quotes
    EXPECT_EQ((V{L"a\"b", L"c"}), SplitCommandLine(L"\"a\"\"b c"));  // and quoting ends
    EXPECT_EQ((V{L"\""}), SplitCommandLine(L"\"\"\"\""));
    EXPECT_EQ((V{L"open end"}), SplitCommandLine(L"\"open end"));
}

TEST(ChildProcessTest, WaitsAndReportsTheExitCode) {
    ChildProcess child;
    ASSERT_TRUE(ChildProcess::Start(L"/bin/sh", L"-c \"exit 7\"", nullptr, true, child));
    EXPECT_TRUE(child.IsValid());
    EXPECT_TRUE(child.Wait(-1));
    EXPECT_EQ(7u, child.GetExitCode());
    EXPECT_TRUE(child.Wait(0));  // still ended
    EXPECT_FALSE(child.Terminate(1));
}

TEST(ChildProcessTest, TimesOutAndTerminatesWithTheGivenCode) {
    ChildProcess child;
    ASSERT_TRUE(ChildProcess::Start(L"sleep", L"30", nullptr, true, child));  // found in PATH
    EXPECT_FALSE(child.Wait(20));
    EXPECT_EQ(STILL_ACTIVE_CODE, child.GetExitCode());
    EXPECT_TRUE(child.Terminate(5));
    EXPECT_TRUE(child.Wait(0));
    EXPECT_EQ(5u, child.GetExitCode());
}

TEST(ChildProcessTest, ArgumentsAndFolderReachTheProgram) {
    TempDir dir;
    ASSERT_TRUE(CreateFolderChain(dir.WSub("work")));
    const std::string script =
        WriteScript(dir, "args.sh",
                    "out=$1; shift; { pwd; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } "
                    "> \"$out\"");
    ChildProcess child;
    const std::wstring params =
        Utf8ToWide(dir.Sub("out.txt")) + L" plain \"two words\" quo\\\"te \"\" \"C:\\dir\\\\\"";
    ASSERT_TRUE(
        ChildProcess::Start(Utf8ToWide(script), params, dir.WSub("work").c_str(), true, child));
    ASSERT_TRUE(child.Wait(-1));
    EXPECT_EQ(0u, child.GetExitCode());
    EXPECT_EQ(dir.Sub("work") + "\n[plain]\n[two words]\n[quo\"te]\n[]\n[C:\\dir\\]\n",
              ReadFile(dir.Sub("out.txt")));
}

TEST(ChildProcessTest, ChildrenInheritNoDescriptorsBeyondTheStandardOnes) {
    TempDir dir;
    WriteFile(dir.Sub("held"), "x");
    const int fd = open(dir.Sub("held").c_str(), O_RDONLY);  // without close-on-exec
    ASSERT_GE(fd, 0);
    ASSERT_EQ(77, dup2(fd, 77));
    ChildProcess child;
    ASSERT_TRUE(
        ChildProcess::Start(L"/bin/sh", L"-c \"test ! -e /proc/$$/fd/77\"", nullptr, true, child));
    ASSERT_TRUE(child.Wait(-1));
    EXPECT_EQ(0u, child.GetExitCode()) << "descriptor 77 reached the child";
    close(77);
    close(fd);
}

TEST(ChildProcessTest, StartFailuresAreReported) {
    TempDir dir;
    WriteFile(dir.Sub("not-executable"), "#!/bin/sh\nexit 0\n");
    ChildProcess child;
    EXPECT_FALSE(ChildProcess::Start(dir.WSub("missing"), L"", nullptr, true, child));
    EXPECT_FALSE(child.IsValid());
    EXPECT_FALSE(child.Wait(0));
    EXPECT_FALSE(ChildProcess::Start(dir.WSub("not-executable"), L"", nullptr, true, child));
    EXPECT_FALSE(
        ChildProcess::Start(L"/bin/true", L"", dir.WSub("no-such-folder").c_str(), true, child));
    EXPECT_FALSE(ChildProcess::Start(L"", L"", nullptr, true, child));
}

TEST(ChildProcessTest, MovingKeepsTheProcess) {
    ChildProcess first;
    ASSERT_TRUE(ChildProcess::Start(L"/bin/sh", L"-c \"exit 3\"", nullptr, true, first));
    const int pid = first.Pid();
    ChildProcess second(std::move(first));
    EXPECT_FALSE(first.IsValid());
    EXPECT_EQ(pid, second.Pid());
    ChildProcess third;
    third = std::move(second);
    ASSERT_TRUE(third.Wait(-1));
    EXPECT_EQ(3u, third.GetExitCode());
}

TEST(ProcessByNameTest, FindsByExecutableNameIgnoringCase) {
    TempDir dir;
    const std::string probe = CopyExecutable(dir, "/bin/sleep", kProbeName);
    ChildProcess child;
    ASSERT_TRUE(ChildProcess::Start(Utf8ToWide(probe), L"30", nullptr, true, child));
    DWORD pid = 0;
    EXPECT_TRUE(FindProcessByName(Upper(kProbeName).c_str(), &pid));
    EXPECT_EQ(static_cast<DWORD>(child.Pid()), pid);
    const std::wstring prefix = Utf8ToWide(kProbeName.substr(0, kProbeName.size() - 4));
    EXPECT_FALSE(FindProcessByName(prefix.c_str(), &pid));  // no prefix matches
    const std::wstring comm = Utf8ToWide(kProbeName.substr(0, 15));
    EXPECT_FALSE(FindProcessByName(comm.c_str(), &pid));  // nor the short comm
    // This very program (or a sibling running other cases in parallel).
    EXPECT_TRUE(FindProcessByName(L"PLATFORM_TESTS", &pid));
    char exe[4096] = {0};
    ASSERT_GT(readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), exe, sizeof(exe) - 1), 0);
    EXPECT_EQ("platform_tests", WideToUtf8(PathFindFileName(Utf8ToWide(exe))));
    child.Terminate(0);
    // An ended child that nobody has reaped yet is no running process.
    ASSERT_TRUE(ChildProcess::Start(Utf8ToWide(probe), L"0", nullptr, true, child));
    for (int i = 0; i < 1000 && FindProcessByName(Utf8ToWide(kProbeName).c_str(), &pid); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(FindProcessByName(Utf8ToWide(kProbeName).c_str(), &pid));
    EXPECT_TRUE(child.Wait(-1));
}

TEST(ProcessByNameTest, FindsAProgramWhoseFileWasReplaced) {
    TempDir dir;
    const std::string probe = CopyExecutable(dir, "/bin/sleep", kProbeName);
    ChildProcess child;
    ASSERT_TRUE(ChildProcess::Start(Utf8ToWide(probe), L"30", nullptr, true, child));
    ASSERT_EQ(0, unlink(probe.c_str()));  // the exe link now ends in " (deleted)"
    DWORD pid = 0;
    EXPECT_TRUE(FindProcessByName(Utf8ToWide(kProbeName).c_str(), &pid));
    EXPECT_EQ(static_cast<DWORD>(child.Pid()), pid);
    child.Terminate(0);
}

TEST(ProcessByNameTest, KillEndsOneInstancePerCall) {
    TempDir dir;
    const std::string probe = CopyExecutable(dir, "/bin/sleep", kProbeName);
    std::vector<ChildProcess> children(2);
    for (auto& c : children)
        ASSERT_TRUE(ChildProcess::Start(Utf8ToWide(probe), L"30", nullptr, true, c));
    const std::wstring upper = Upper(kProbeName);

    ASSERT_TRUE(KillProcessByName(upper.c_str()));
    const int ended = AwaitOneEnded(children);
    ASSERT_GE(ended, 0);
    const int other = 1 - ended;
    EXPECT_FALSE(children[other].Wait(0)) << "one call ended both instances";
    EXPECT_EQ(STILL_ACTIVE_CODE, children[other].GetExitCode());

    ASSERT_TRUE(KillProcessByName(upper.c_str()));
    EXPECT_TRUE(children[other].Wait(10000));
    EXPECT_FALSE(KillProcessByName(upper.c_str()));
    EXPECT_FALSE(KillProcessByName(L""));
    EXPECT_FALSE(KillProcessByName(nullptr));
}

TEST(RunAsShellUserTest, PlainStartWhenNotElevated) {
    TempDir dir;
    ScopedEnv noSudo("SUDO_UID", nullptr);
    ScopedEnv noPkexec("PKEXEC_UID", nullptr);
    const std::string out = dir.Sub("id.txt");
    const std::wstring params =
        Utf8ToWide("-c \"{ id -u; pwd; } > " + out + ".part && mv " + out + ".part " + out + "\"");
    ASSERT_TRUE(CreateFolderChain(dir.WSub("cwd")));
    EXPECT_TRUE(RunAsShellUser(L"/bin/sh", params.c_str(), dir.WSub("cwd").c_str(), 1));
    EXPECT_EQ(std::to_string(geteuid()) + "\n" + dir.Sub("cwd") + "\n", AwaitFile(out));
    EXPECT_FALSE(RunAsShellUser(dir.WSub("missing").c_str(), nullptr, nullptr, 1));
    EXPECT_FALSE(RunAsShellUser(nullptr, nullptr, nullptr, 1));
}

namespace {
void ExpectStartedAs(const char* variable, uid_t uid) {
    TempDir dir;
    chmod(dir.path().c_str(), 0777);  // the dropped user writes its answer here
    ScopedEnv noSudo("SUDO_UID", nullptr);
    ScopedEnv noPkexec("PKEXEC_UID", nullptr);
    ScopedEnv user(variable, std::to_string(uid).c_str());
    const std::string out = dir.Sub("id.txt");
    const std::wstring params = Utf8ToWide("-c \"{ id -u; id -G; echo $HOME; } > " + out +
                                           ".part && mv " + out + ".part " + out + "\"");
    ASSERT_TRUE(RunAsShellUser(L"/bin/sh", params.c_str(), nullptr, 1));
    const std::string text = AwaitFile(out);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t next = text.find('\n', pos);
        if (next == std::string::npos)
            next = text.size();
        lines.push_back(text.substr(pos, next - pos));
        pos = next + 1;
    }
    ASSERT_EQ(3u, lines.size()) << text;
    EXPECT_EQ(std::to_string(uid), lines[0]);
    EXPECT_EQ(std::string::npos, (" " + lines[1] + " ").find(" 0 ")) << "kept root's group";
    if (struct passwd* pw = getpwuid(uid)) {
        EXPECT_EQ(pw->pw_dir, lines[2]);
    }
}
}  // namespace

TEST(RunAsShellUserTest, RootStartsTheProgramAsTheSudoUser) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    ExpectStartedAs("SUDO_UID", 65534);
}

TEST(RunAsShellUserTest, RootStartsTheProgramAsThePkexecUser) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    ExpectStartedAs("PKEXEC_UID", 65534);
}

TEST(ShellOpenTest, HandsTheAddressToTheConfiguredOpener) {
    TempDir dir;
    const std::string out = dir.Sub("opened.txt");
    const std::string opener = WriteScript(
        dir, "record-opener",
        "printf '%s' \"$1\" > \"" + out + ".part\" && mv \"" + out + ".part\" \"" + out + "\"");
    ScopedEnv env("KORVEL_URL_OPENER", opener.c_str());
    const std::wstring url = L"http://127.0.0.1:8080/finish?ver=12&client_m=YWJj";
    EXPECT_TRUE(ShellOpen(url));
    EXPECT_EQ(WideToUtf8(url), AwaitFile(out));
}

TEST(ShellOpenTest, AnOpenerThatCannotStartIsAFalseResultAndLogged) {
    TempDir dir;
    const std::string logPath = dir.Sub("install.log");
    ILog::GetInstance()->InitLog(Utf8ToWide(logPath));
    ScopedEnv env("KORVEL_URL_OPENER", dir.Sub("no-such-opener").c_str());
    EXPECT_FALSE(ShellOpen(L"http://127.0.0.1/"));
    EXPECT_NE(std::string::npos, ReadFile(logPath).find("ShellOpen")) << ReadFile(logPath);
    EXPECT_FALSE(ShellOpen(L""));
}
