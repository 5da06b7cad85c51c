// System facts, time and small process-wide services.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

// Native architecture is 64-bit (the process's own bitness does not count).
bool Is64BitWindows();
// Logs "Window Version : %d,%d"; true for 6.1 and above (POSIX: always true).
bool IsWindows7OrLater();
bool IsVistaOrLater();
// Member of the administrators (POSIX: effective uid 0).
bool IsUserAdmin();

// Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount).
uint32_t GetTickCount();
void Sleep(uint32_t milliseconds);
// Names the calling thread for debuggers and process listings (POSIX: the
// first 15 bytes, as /proc/self/task/<tid>/comm shows them).
void NameCurrentThread(const char* name);

// Path of the running program (GetModuleFileName of the main module).
std::wstring GetModuleFilePath();
// Debugger output; on POSIX written to stderr when KORVEL_DEBUG_OUTPUT is set.
void OutputDebugStringA(const char* text);

// GetPrivateProfileInt: integer key of an INI section; the default when the
// file, section or key is missing; leading digits only ("12ab" is 12).
int GetPrivateProfileInt(const wchar_t* section, const wchar_t* key, int defaultValue,
                         const std::wstring& iniPath);

// Environment variable as narrow text; false when unset.
bool GetEnvironmentVariableA(const char* name, std::string& value);

// The user's language as a Windows LANGID (POSIX: from LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG); 0x0409 when unknown.
LANGID GetUserDefaultUILanguage();
