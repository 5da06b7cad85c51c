#include "tests/support/test_support.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/folders.h"
#include "platform/text.h"

namespace korvel_test {

TempDir::TempDir() {
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/korvel-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = buf.data();
}

TempDir::~TempDir() {
    DeleteDirectoryTree(Utf8ToWide(m_path));
}

std::wstring TempDir::wpath() const {
    return Utf8ToWide(m_path);
}
std::wstring TempDir::WSub(const std::string& relative) const {
    return Utf8ToWide(Sub(relative));
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    const char* old = getenv(name);
    m_hadValue = old != nullptr;
    if (old)
        m_oldValue = old;
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (m_hadValue) {
        setenv(m_name.c_str(), m_oldValue.c_str(), 1);
    } else {
        unsetenv(m_name.c_str());
    }
}

SandboxHome::SandboxHome() {
    const std::string h = home();
    for (const char* sub : {"", "/Documents", "/.config", "/.local/share"}) {
        mkdir((h + sub).c_str(), 0755);
    }
    m_env.push_back(std::make_unique<ScopedEnv>("HOME", h.c_str()));
    m_env.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", (h + "/.config").c_str()));
    m_env.push_back(std::make_unique<ScopedEnv>("XDG_DATA_HOME", (h + "/.local/share").c_str()));
    m_env.push_back(
        std::make_unique<ScopedEnv>("XDG_DATA_DIRS", m_dir.Sub("system-share").c_str()));
    m_env.push_back(
        std::make_unique<ScopedEnv>("KORVEL_REGISTRY_DB", m_dir.Sub("registry.db").c_str()));
}

SandboxHome::~SandboxHome() {
    while (!m_env.empty())
        m_env.pop_back();
}

void PrepareInstallerHome(const SandboxHome& sandbox,
                          std::vector<std::unique_ptr<ScopedEnv>>& env) {
    const std::string home = sandbox.home();
    const std::string opener = home + "/open-url";
    WriteFile(opener, "#!/bin/sh\necho \"$1\" >> \"" + home + "/opened-urls.txt\"\n");
    chmod(opener.c_str(), 0755);
    auto set = [&env](const char* name, const std::string& value) {
        env.push_back(std::make_unique<ScopedEnv>(name, value.c_str()));
    };
    set("ProgramW6432", home + "/ProgramFiles");
    set("XDG_DATA_DIRS", home + "/system-share:/usr/share");
    set("KORVEL_URL_OPENER", opener);
    set("KORVEL_DEMO_RECORD", home + "/launches.jsonl");
    set("SDL_VIDEODRIVER", "x11");
    for (const char* dir : {"/ProgramFiles", "/system-share/applications", "/Desktop", "/Documents",
                            "/Downloads", "/.local/share/applications"}) {
        std::filesystem::create_directories(home + dir);
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool HasIpv6Loopback() {
    const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
    close(fd);
    return ok;
}

}  // namespace korvel_test
