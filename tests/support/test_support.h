// Shared test fixtures: a fresh temporary folder per test and scoped
// environment variables, so tests never touch the real user's home.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvel_test {

// A new empty folder below $TMPDIR, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::wstring wpath() const;
    std::string Sub(const std::string& relative) const { return m_path + "/" + relative; }
    std::wstring WSub(const std::string& relative) const;

private:
    std::string m_path;
};

// Sets (or unsets, with a null value) an environment variable until destroyed.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    bool m_hadValue = false;
    std::string m_oldValue;
};

// A sandbox home: HOME, XDG_* and the registry store all point below a TempDir.
class SandboxHome {
public:
    SandboxHome();
    ~SandboxHome();
    const TempDir& dir() const { return m_dir; }
    std::string home() const { return m_dir.Sub("home"); }

private:
    TempDir m_dir;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;  // restored in reverse order
};

// Sets up a sandbox home the way the installer runs on this desktop: its
// program folder (ProgramW6432), the menu data dirs, a URL opener that records
// instead of starting a browser, the demo application's launch record and the
// folders shortcuts go to. The variables live as long as `env`.
void PrepareInstallerHome(const SandboxHome& sandbox, std::vector<std::unique_ptr<ScopedEnv>>& env);
// The same for another home folder (HOME and the XDG homes point there too).
void PrepareInstallerHome(const std::string& home, std::vector<std::unique_ptr<ScopedEnv>>& env);

// Relative names of a payload in many scripts (German, French, Chinese,
// Japanese, Cyrillic, Arabic), a name with a combining accent beside its
// composed twin, an emoji, a 200-character name and a deep tree; UTF-8.
std::vector<std::string> NonAsciiPayloadNames();
// Writes those files below `folder`, each with its name and noise as content.
void WriteNonAsciiPayload(const std::string& folder);

std::string ReadFile(const std::string& path);
// True when a socket can be bound on ::1 (the machine has IPv6 loopback).
bool HasIpv6Loopback();
// Asks `done` every pollMs until it holds (true) or timeoutMs have passed (false).
bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs = 50);
void WriteFile(const std::string& path, const std::string& content);

// Threads of this process (/proc/self/task), and their names for a message.
int CurrentThreadCount();
std::string ThreadNames();
// Waits up to timeoutMs until no thread of this process has the name
// (e.g. an engine's release thread, which signals just before it ends);
// true when none is left.
bool WaitForThreadsNamedToEnd(const std::string& name, int timeoutMs);

}  // namespace korvel_test
