#include "tests/support/test_support.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

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
    PrepareInstallerHome(sandbox.home(), env);
}

void PrepareInstallerHome(const std::string& home, std::vector<std::unique_ptr<ScopedEnv>>& env) {
    const std::string opener = home + "/open-url";
    WriteFile(opener, "#!/bin/sh\necho \"$1\" >> \"" + home + "/opened-urls.txt\"\n");
    chmod(opener.c_str(), 0755);
    auto set = [&env](const char* name, const std::string& value) {
        env.push_back(std::make_unique<ScopedEnv>(name, value.c_str()));
    };
    const char* current = getenv("HOME");
    if (!current || home != current) {
        for (const char* dir : {"/.config", "/.local/share"})
            std::filesystem::create_directories(home + dir);
        set("HOME", home);
        set("XDG_CONFIG_HOME", home + "/.config");
        set("XDG_DATA_HOME", home + "/.local/share");
    }
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

std::vector<std::string> NonAsciiPayloadNames() {
    std::string longName;
    for (int i = 0; i < 40; ++i)
        longName += "\xC3\xBC";  // ü: 200 characters in 244 bytes, below the 255-byte limit
    longName += std::string(156, 'n') + ".txt";
    std::vector<std::string> names = {
        "Benutzerhandbuch f\xC3\xBCr/\xC3\xBCn\xC3\xAF"
        "c\xC3\xB6"
        "d\xC3\xA9.txt",
        "Fran\xC3\xA7"
        "ais/\xC3\xA9l\xC3\xA8ve \xC3\xA0 l'\xC3\xA9"
        "cole.txt",
        "\xC3\xA9"
        "cole.txt",  // composed
        "e\xCC\x81"
        "cole.txt",  // the same with a combining accent: another file
        "\xE8\xAF\xB4\xE6\x98\x8E.txt",
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E/\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.txt",
        "\xD0\x9A\xD0\xB8\xD1\x80\xD0\xB8\xD0\xBB\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0.txt",
        "\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A.txt",
        "\xF0\x9F\x98\x80 smile.txt",
        longName,
    };
    std::string deep;
    for (int level = 0; level < 24; ++level)
        deep += "Ebene \xC3\x9F" + std::to_string(level) + "/";
    names.push_back(deep + "tief unten.txt");
    return names;
}

void WriteNonAsciiPayload(const std::string& folder) {
    std::mt19937 rng(7);
    for (const std::string& name : NonAsciiPayloadNames()) {
        const std::string path = folder + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::string content = name + "\n";
        for (int i = 0; i < 3000; ++i)
            content += static_cast<char>(rng());
        WriteFile(path, content);
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

bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return true;
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

namespace {

// The names of this process's threads, one per thread.
std::vector<std::string> ThreadNameList() {
    std::vector<std::string> names;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            const std::string name =
                ReadFile(std::string("/proc/self/task/") + entry->d_name + "/comm");
            names.push_back(name.substr(0, name.find('\n')));
        }
        closedir(dir);
    }
    return names;
}

}  // namespace

int CurrentThreadCount() {
    return static_cast<int>(ThreadNameList().size());
}

std::string ThreadNames() {
    std::string names;
    for (const std::string& name : ThreadNameList())
        names += (names.empty() ? "" : ", ") + name;
    return names;
}

bool WaitForThreadsNamedToEnd(const std::string& name, int timeoutMs) {
    return WaitUntil(
        [&name] {
            const std::vector<std::string> names = ThreadNameList();
            return std::find(names.begin(), names.end(), name) == names.end();
        },
        timeoutMs, 5);
}

}  // namespace korvel_test
