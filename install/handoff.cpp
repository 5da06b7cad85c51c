#include "install/handoff.h"

#include <cwchar>

#include "platform/folders.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

constexpr int kWaitCount = 100;
constexpr int kMaxAsideNames = 1000;

}  // namespace

std::wstring BuildInstallCommandLine(bool newInstall, const HandOffValues& values) {
    std::wstring line = L"/install";
    if (values.bJoinPlan)
        line += L" /add_plan";
    if (!values.strInstallId.empty())
        line += L" /ID:" + AnsiToWide(values.strInstallId);
    if (newInstall)
        line += L" /new ";
    if (!values.strOption.empty())
        line += L" /option:" + AnsiToWide(values.strOption);
    if (!values.strSource.empty())
        line += L" /source:" + AnsiToWide(values.strSource);
    if (values.nDownloadSeconds != 0) {
        wchar_t time[128];
        swprintf(time, 128, L" /time:%d ", values.nDownloadSeconds);
        line += time;
    }
    return line;
}

ProcessWaitResult RunProcessAndWait(const std::wstring& path, const std::wstring& parameters,
                                    const std::wstring& waitName, int pollMs) {
    ProcessWaitResult result;
    ChildProcess child;
    if (!ChildProcess::Start(path, parameters, nullptr, true, child))
        return result;
    result.bStarted = true;
    // The wait watches the name, not the started process: any process of that name keeps it.
    int count = kWaitCount;
    for (;;) {
        DWORD pid = 0;
        if (!FindProcessByName(waitName.c_str(), &pid) || pid == 0) {
            // As the query returned it: 259 says the started program is
            // still running under another name.
            result.nExitCode = child.GetExitCode();
            break;
        }
        Sleep(static_cast<uint32_t>(pollMs));
        if (count-- < 0)
            break;
    }
    result.nWaitCount = count;
    if (count < -1)
        child.Terminate(0);
    return result;
}

bool RunMainExe(const std::wstring& folder, const std::wstring& mainExe, bool newInstall,
                const HandOffValues& values, int pollMs) {
    const std::wstring path = JoinPath(folder, mainExe);
    WriteLog("Run MainExe.exe /install");
    if (!PathFileExists(path)) {
        WriteLog("Run exe failed. main exe con't found\n.");
        return false;
    }
    const std::wstring line = BuildInstallCommandLine(newInstall, values);
    WriteLog("Run Install Params: %s.\n", WideToOem(line).c_str());
    const ProcessWaitResult r = RunProcessAndWait(path, line, mainExe, pollMs);
    WriteLog("Run main exe install : ExitCode(%d), nWaitCount(%d).\n",
             static_cast<int>(r.nExitCode), r.nWaitCount);
    return true;
}

std::wstring MoveFolderAside(const std::wstring& folder) {
    if (!PathIsDirectory(folder))
        return std::wstring();
    std::wstring base = folder;
    while (base.size() > 1 && base.back() == kPathSep)
        base.pop_back();
    for (int i = 1; i <= kMaxAsideNames; ++i) {
        const std::wstring name =
            base + (i == 1 ? std::wstring(L" (old)") : L" (old " + std::to_wstring(i) + L")");
        if (PathFileExists(name))
            continue;
        return MoveFilePath(base, name) ? name : std::wstring();
    }
    return std::wstring();
}

void ResetProductDataFolder(const std::wstring& folder) {
    if (!PathIsDirectory(folder))
        return;
    // The folder is meant for the product's data, but a user may have kept
    // files there: it goes to the trash, where a file manager restores it.
    std::wstring trashed;
    if (MoveToTrash(folder, trashed)) {
        WriteLog("Moved %s to the trash as %s.", WideToOem(folder).c_str(),
                 WideToOem(trashed).c_str());
        return;
    }
    const std::wstring aside = MoveFolderAside(folder);
    if (!aside.empty()) {
        WriteLog("No trash for %s: moved aside to %s.", WideToOem(folder).c_str(),
                 WideToOem(aside).c_str());
    } else {
        WriteLog("No trash for %s and no free name beside it: left in place.",
                 WideToOem(folder).c_str());
    }
}

bool RunProductMainExe(const std::wstring& folder, const std::wstring& mainExe, bool newInstall,
                       const HandOffValues& values, const InstallProductFacts& facts, int pollMs) {
    ResetProductDataFolder(BuildDocumentsPath(facts.strProductTitle, L"", false));
    const std::wstring repair = JoinPath(folder, facts.strRepairTool);
    WriteLog("Run KorRepair.exe");
    if (PathFileExists(repair))
        RunProcessAndWait(repair, L"", facts.strRepairTool, pollMs);
    return RunMainExe(folder, mainExe, newInstall, values, pollMs);
}
