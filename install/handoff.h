// Hand-off to the installed main application: started once with "/install"
// and what the installer knows, waited for by name, ended when it lingers.
#pragma once

#include <string>

#include "install/product_facts.h"
#include "platform/types.h"

// What the installer hands over besides the new-installation flag.
struct HandOffValues {
    bool bJoinPlan = false;    // the "Join" box (user experience programme)
    std::string strInstallId;  // NewRandomId of this installation
    std::string strOption;     // words from the installer's file name
    std::string strSource;
    int nDownloadSeconds = 0;  // 1: package was already complete; 0: no download ran
};

constexpr int kWaitPollMs = 100;  // the product's pause between two looks for the process

std::wstring BuildInstallCommandLine(bool newInstall, const HandOffValues& values);

struct ProcessWaitResult {
    bool bStarted = false;
    // The started program's exit code as the process query returned it (259:
    // still active); 0 when none was obtained (the wait ran out).
    DWORD nExitCode = 0;
    int nWaitCount = 100;  // -2 when the wait ran out and the program was ended
};

// Starts the program hidden ("elevated": a plain start on POSIX, already root
// or not) and waits while any process named waitName runs, up to 102 pauses.
ProcessWaitResult RunProcessAndWait(const std::wstring& path, const std::wstring& parameters,
                                    const std::wstring& waitName, int pollMs = kWaitPollMs);

// True when the main executable exists (whatever happens to it afterwards).
bool RunMainExe(const std::wstring& folder, const std::wstring& mainExe, bool newInstall,
                const HandOffValues& values, int pollMs = kWaitPollMs);
// The product's hand-off: resets the Documents folder named after the
// product title (ResetProductDataFolder), runs the repair tool, then RunMainExe.
bool RunProductMainExe(const std::wstring& folder, const std::wstring& mainExe, bool newInstall,
                       const HandOffValues& values, const InstallProductFacts& facts,
                       int pollMs = kWaitPollMs);

// Moves the product data folder out of the way without losing a file: to the
// desktop's trash (MoveToTrash), or where no trash can take it renamed beside
// itself (MoveFolderAside); the log says which.
void ResetProductDataFolder(const std::wstring& folder);

// Renames folder to "<folder> (old)", "<folder> (old 2)", ... (first free name);
// the new name, or "" when there was nothing to move or the move failed.
std::wstring MoveFolderAside(const std::wstring& folder);
