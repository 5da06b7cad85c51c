// A throwaway PostgreSQL server for the tests: initdb into a temporary
// folder and pg_ctl on a free loopback port, as an unprivileged user when
// the tests run as root (the server refuses to run as root).
#pragma once

#include <string>

#include "tests/support/test_support.h"

class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer();  // stops the server
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool IsRunning() const { return m_nPort > 0; }
    // Why the server is not running (for GTEST_SKIP).
    const std::string& Problem() const { return m_problem; }
    // A new empty database; its URL, or "" on failure.
    std::string CreateDatabase(const std::string& name);

private:
    bool Start();
    int RunTool(const std::string& tool, const std::vector<std::string>& args, std::string& output);

    korvel_test::TempDir m_dir;
    std::string m_binDir;
    std::string m_user;  // whom the server runs as, empty for ourselves
    std::string m_dataDir;
    int m_nPort = 0;
    std::string m_problem;
};
