// Product processes of other users: an ordinary user neither finds nor ends
// them, and they do not hide the user's own.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "tests/support/test_support.h"

namespace {

constexpr wchar_t kProbeName[] = L"KorvelOwnerProbe.exe";
constexpr uid_t kOtherUid = 65533;  // no account needed: ids alone
constexpr uid_t kOrdinaryUid = 65532;

pid_t StartProbeAs(const std::string& program, uid_t uid) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (uid != geteuid() && (setgid(uid) != 0 || setuid(uid) != 0))
            _exit(126);
        execl(program.c_str(), "KorvelOwnerProbe.exe", "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Runs as the ordinary user; the exit code names the first broken rule.
int OrdinaryUserChecks(const std::string& program) {
    DWORD id = 0;
    if (FindProcessByName(kProbeName, &id))
        return 1;  // another user's instance was listed
    if (KillProcessByName(kProbeName))
        return 2;
    const pid_t own = StartProbeAs(program, geteuid());
    if (!korvel_test::WaitUntil(
            [&] { return FindProcessByName(kProbeName, &id) && id == DWORD(own); }, 2000, 10))
        return 3;  // the own instance was not found
    if (!KillProcessByName(kProbeName))
        return 4;
    int status = 0;
    if (waitpid(own, &status, 0) != own || !WIFSIGNALED(status) || WTERMSIG(status) != SIGKILL)
        return 5;
    return 0;
}

TEST(ProcessOwner, AnOrdinaryUserFindsAndEndsOnlyItsOwnInstances) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to start processes as two other users";
    korvel_test::TempDir dir;
    ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));
    const std::string program = dir.Sub("KorvelOwnerProbe.exe");
    korvel_test::WriteFile(program, korvel_test::ReadFile("/bin/sleep"));
    ASSERT_EQ(0, chmod(program.c_str(), 0755));

    const pid_t other = StartProbeAs(program, kOtherUid);
    ASSERT_GT(other, 0);
    DWORD id = 0;
    ASSERT_TRUE(
        korvel_test::WaitUntil([&] { return FindProcessByName(kProbeName, &id); }, 2000, 10));
    const pid_t checker = fork();
    if (checker == 0) {
        if (setgid(kOrdinaryUid) != 0 || setuid(kOrdinaryUid) != 0)
            _exit(126);
        _exit(OrdinaryUserChecks(program));
    }
    int status = -1;
    ASSERT_EQ(checker, waitpid(checker, &status, 0));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << "rule broken as an ordinary user (see OrdinaryUserChecks)";
    EXPECT_EQ(0, kill(other, 0)) << "the other user's instance was ended";
    kill(other, SIGKILL);
    waitpid(other, &status, 0);
}

}  // namespace
