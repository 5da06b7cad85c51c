#include "app/startup.h"

#include <cstdarg>
#include <cstdio>

#include "app/product_info.h"
#include "platform/folders.h"
#include "platform/system.h"

namespace {

const wchar_t kDebugSection[] = L"root";

bool ReadSwitch(const wchar_t* key, const std::wstring& iniPath) {
    if (iniPath.empty()) {
        return false;
    }
    return GetPrivateProfileInt(kDebugSection, key, 0, iniPath) == 1;
}

void LogTo(ILog* log, const char* format, ...) __attribute__((format(printf, 2, 3)));
void LogTo(ILog* log, const char* format, ...) {
    char buffer[kMaxLogMessage + 1];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    log->WriteLine(buffer);
}

}  // namespace

std::wstring GetDebugConfigPath() {
    const std::wstring documents = GetDocumentsFolder();
    if (documents.empty()) {
        return std::wstring();
    }
    return JoinPath(documents, L"KorDebugConfig.ini");
}

DebugSettings ReadDebugSettings(const std::wstring& iniPath) {
    DebugSettings settings;
    settings.showInfoView = ReadSwitch(L"show_info_view", iniPath);
    settings.testMode = ReadSwitch(L"setup_test_mode", iniPath);
    if (!iniPath.empty()) {
        settings.testLanguage =
            GetPrivateProfileInt(kDebugSection, L"setup_test_language", 0, iniPath);
    }
    return settings;
}

bool SetupTestModeFlag::Query(const std::wstring& iniPath) {
    if (m_bSet.load()) {
        return true;
    }
    if (ReadSwitch(L"setup_test_mode", iniPath)) {
        m_bSet.store(true);
        return true;
    }
    return false;
}

bool IsSetupTestMode() {
    static SetupTestModeFlag flag;
    return flag.Query(GetDebugConfigPath());
}

StartupResult RunStartupSequence(const StartupOptions& options) {
    StartupResult result;
    const std::wstring iniPath =
        options.debugConfigPath.empty() ? GetDebugConfigPath() : options.debugConfigPath;
    ILog* log = options.log ? options.log : ILog::GetInstance();

    result.infoViewRequested = ReadSwitch(L"show_info_view", iniPath);
    if (result.infoViewRequested && options.createInfoView) {
        result.infoViewCreated = options.createInfoView();
    }

    result.logPath = GetInstallLogPath(true);
    log->InitLog(result.logPath);
    log->SetLogCallback(options.echo);

    LogTo(log, "Setup Init. Version %s", kSetupVersion);
    result.is64Bit = Is64BitWindows();
    LogTo(log, "System Mode : %s", result.is64Bit ? "x64" : "x86");

    result.testMode = options.testMode ? options.testMode->Query(iniPath) : IsSetupTestMode();
    if (result.testMode) {
        LogTo(log, "Test Mode : true\n");
    }
    return result;
}
