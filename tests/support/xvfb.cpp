#include "tests/support/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace korvel_test {

XvfbSession::XvfbSession() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    // Xvfb writes the display number to this descriptor when it is ready.
    const int childFd = 3;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], childFd);
    // Nothing of the caller's output either: a server left behind by a
    // crashed test must not hold CTest's output pipe open.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args{"Xvfb",      "-displayfd", std::to_string(childFd),
                                  "-screen",   "0",          "1280x1024x24",
                                  "-nolisten", "tcp",        "-noreset"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string number;
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        if (pid < 0 || poll(&p, 1, 10000) <= 0)
            break;
        char c;
        ssize_t n = read(fds[0], &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    m_pid = pid;
    if (number.empty()) {
        return;
    }
    m_display = ":" + number;
    m_env = std::make_unique<ScopedEnv>("DISPLAY", m_display.c_str());
}

XvfbSession::~XvfbSession() {
    m_env.reset();
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

}  // namespace korvel_test
