// Window-less part of the installer's start: debug settings, the test-mode
// flag, the log file and the startup lines. Runs on the main thread before any
// other thread starts; only the test-mode query is called from other threads.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "platform/log.h"

// The installer's own version, distinct from the product version.
constexpr char kSetupVersion[] = "1.0.6.0";

// Documents/KorDebugConfig.ini; empty when the Documents folder is unknown.
std::wstring GetDebugConfigPath();

// The debug switches of section "root"; a missing file leaves all off.
struct DebugSettings {
    bool showInfoView = false;  // only the value 1 switches it on
    bool testMode = false;      // only the value 1 switches it on
    int testLanguage = 0;       // a LANGID when not 0
};
DebugSettings ReadDebugSettings(const std::wstring& iniPath);

// Test mode that, once read as set, stays set; until then every query reads
// the file again (the file may appear while the installer runs). Thread-safe.
class SetupTestModeFlag {
public:
    bool Query(const std::wstring& iniPath);

private:
    std::atomic<bool> m_bSet{false};
};

// The process-wide flag read from GetDebugConfigPath().
bool IsSetupTestMode();

struct StartupOptions {
    // Called before the log opens when the debug settings ask for the info
    // view; returns whether the view now exists. Null: no view is made.
    std::function<bool()> createInfoView;
    // Receives every logged message (without time prefix), on the logging thread.
    LogCallback echo = nullptr;
    ILog* log = nullptr;                    // null: the process-wide log
    SetupTestModeFlag* testMode = nullptr;  // null: the process-wide flag
    std::wstring debugConfigPath;           // empty: GetDebugConfigPath()
};

struct StartupResult {
    bool infoViewRequested = false;  // show_info_view read 1
    bool infoViewCreated = false;
    bool is64Bit = false;
    bool testMode = false;
    std::wstring logPath;
};

// Steps up to the installer window: optional info view, log path with its
// folders, InitLog, echo callback, "Setup Init. Version", "System Mode", and
// the test-mode line.
StartupResult RunStartupSequence(const StartupOptions& options);
