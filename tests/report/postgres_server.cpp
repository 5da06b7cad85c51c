#include "tests/report/postgres_server.h"

#include <fcntl.h>
#include <glob.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

// The newest Debian server binaries, else whatever initdb PATH knows.
std::string FindBinDir() {
    glob_t found{};
    std::string dir;
    if (glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &found) == 0 && found.gl_pathc > 0) {
        std::vector<std::string> paths(found.gl_pathv, found.gl_pathv + found.gl_pathc);
        std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        dir = std::filesystem::path(paths.back()).parent_path().string();
    }
    globfree(&found);
    return dir;
}

int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    close(s);
    return port;
}

}  // namespace

PostgresServer::PostgresServer() {
    m_binDir = FindBinDir();
    if (m_binDir.empty()) {
        m_problem = "PostgreSQL server binaries not found (Debian package postgresql, ./run deps)";
        return;
    }
    if (geteuid() == 0) {
        // The server refuses root: the Debian package's own user, else nobody.
        m_user = getpwnam("postgres") ? "postgres" : "nobody";
        if (!getpwnam(m_user.c_str())) {
            m_problem = "running as root and no unprivileged user to run PostgreSQL as";
            return;
        }
        chmod(m_dir.path().c_str(), 0711);  // the user must reach its data folder
    }
    m_dataDir = m_dir.Sub("pgdata");
    mkdir(m_dataDir.c_str(), 0700);
    if (!m_user.empty()) {
        const passwd* pw = getpwnam(m_user.c_str());
        if (chown(m_dataDir.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
            m_problem = "cannot hand the data folder to " + m_user;
            return;
        }
    }
    std::string output;
    if (RunTool("initdb",
                {"-D", m_dataDir, "-U", "korvel", "--auth=trust", "-E", "UTF8", "--no-sync",
                 "--locale=C"},
                output) != 0) {
        m_problem = "initdb failed: " + output;
        return;
    }
    for (int attempt = 0; attempt < 3 && !Start(); ++attempt) {
    }
}

bool PostgresServer::Start() {
    const int port = FreePort();
    std::string output;
    const std::string options = "-p " + std::to_string(port) + " -k " + m_dataDir +
                                " -c listen_addresses=127.0.0.1 -c fsync=off"
                                " -c max_connections=60";
    if (RunTool("pg_ctl",
                {"-D", m_dataDir, "-o", options, "-l", m_dataDir + "/server.log", "-w", "-t", "60",
                 "start"},
                output) != 0) {
        m_problem =
            "pg_ctl start failed: " + output + korvel_test::ReadFile(m_dataDir + "/server.log");
        return false;
    }
    m_nPort = port;
    m_problem.clear();
    return true;
}

PostgresServer::~PostgresServer() {
    if (!IsRunning())
        return;
    std::string output;
    RunTool("pg_ctl", {"-D", m_dataDir, "-m", "fast", "-w", "stop"}, output);
}

int PostgresServer::RunTool(const std::string& tool, const std::vector<std::string>& args,
                            std::string& output) {
    int out[2];
    if (pipe(out) != 0)
        return -1;
    const std::string path = m_binDir + "/" + tool;
    const passwd* pw = m_user.empty() ? nullptr : getpwnam(m_user.c_str());
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        if (pw && (setgid(pw->pw_gid) != 0 || setuid(pw->pw_uid) != 0))
            _exit(126);
        if (chdir(m_dir.path().c_str()) != 0)
            _exit(126);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        // A server started by pg_ctl must not hold the test's pipe open.
        for (int fd = 3; fd < 1024; ++fd)
            fcntl(fd, F_SETFD, FD_CLOEXEC);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof(buffer))) > 0)
        output.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string PostgresServer::CreateDatabase(const std::string& name) {
    const std::string base = "postgresql://korvel@127.0.0.1:" + std::to_string(m_nPort) + "/";
    PGconn* conn = PQconnectdb((base + "postgres").c_str());
    PGresult* res = PQexec(conn, ("CREATE DATABASE " + name).c_str());
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
    PQclear(res);
    PQfinish(conn);
    return ok ? base + name : std::string();
}
