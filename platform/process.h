// Process control: finding, ending and starting programs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

// First process whose executable file name equals the name, ignoring case.
bool FindProcessByName(const wchar_t* exeName, DWORD* processId);
// Terminates the first such process; one per call.
bool KillProcessByName(const wchar_t* exeName);

// Starts a program with the rights of the signed-in desktop user (POSIX: when
// root with SUDO_UID or PKEXEC_UID set, as that user). Not waited for.
bool RunAsShellUser(const wchar_t* file, const wchar_t* parameters, const wchar_t* folder,
                    int showCommand);

// Opens a document or web address with the desktop's handler (ShellExecute
// "open"; POSIX: xdg-open, or the program named by KORVEL_URL_OPENER). Detached.
bool ShellOpen(const std::wstring& target);

// A started child process (ShellExecuteEx with SEE_MASK_NOCLOSEPROCESS).
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ~ChildProcess();  // does not wait; the child keeps running

    // Starts file with a Windows-style command-line parameter string (split by
    // the Windows quoting rules), in the folder (null: the current one).
    // "Elevated": on POSIX a plain start (already elevated when root).
    static bool Start(const std::wstring& file, const std::wstring& parameters,
                      const wchar_t* folder, bool hidden, ChildProcess& out);

    bool IsValid() const { return m_pid > 0; }
    // Waits up to timeoutMs (-1 infinite); true when the process has ended.
    bool Wait(int64_t timeoutMs);
    bool Terminate(int exitCode);
    // Exit code once ended; STILL_ACTIVE (259) while running.
    DWORD GetExitCode();
    int Pid() const { return m_pid; }

private:
    int m_pid = -1;
    bool m_reaped = false;
    int m_status = 0;
};

constexpr DWORD STILL_ACTIVE_CODE = 259;

// Splits a Windows command-line parameter string into arguments (CommandLineToArgvW rules).
std::vector<std::wstring> SplitCommandLine(const std::wstring& parameters);
