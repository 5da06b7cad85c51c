// korvel-report-service as a child process: started with its arguments, its
// first output line (the bound address) read, stopped with SIGTERM.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace service_test {

class ServiceProcess {
public:
    ServiceProcess() = default;
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;
    ~ServiceProcess() { Stop(); }

    // Starts the program with `args` after its name; false when it could not
    // be started. The line it printed first is in FirstLine().
    bool Start(const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out) != 0)
            return false;
        std::vector<char*> argv{const_cast<char*>(KORVEL_REPORT_SERVICE_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            execv(KORVEL_REPORT_SERVICE_PATH, argv.data());
            _exit(127);
        }
        close(out[1]);
        m_out = out[0];
        char c;
        while (m_pid > 0 && read(m_out, &c, 1) == 1 && c != '\n')
            m_line += c;
        return m_pid > 0;
    }

    const std::string& FirstLine() const { return m_line; }

    // SIGTERM, then the exit status as waitpid gives it; -1 when not running.
    int Stop() {
        if (m_pid <= 0)
            return -1;
        kill(m_pid, SIGTERM);
        int status = -1;
        if (waitpid(m_pid, &status, 0) != m_pid)
            status = -1;
        close(m_out);
        m_pid = -1;
        return status;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_line;
};

}  // namespace service_test
