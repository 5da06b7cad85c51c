// Shortcut files. On POSIX a shortcut is a freedesktop desktop entry
// ("<link name>.desktop", executable, written atomically): an application
// target gives Type=Application, a web address ("scheme://") Type=Link.
// A Windows backend writes .lnk and .url files here instead.
#pragma once

#include <string>

// The file name of the shortcut called linkName inside a folder.
std::wstring ShellLinkFileName(const std::wstring& linkName);

// Writes the shortcut file at path (made with ShellLinkFileName), replacing
// one that exists. workFolder, description, iconFile and arguments may be
// null or empty. False when it cannot be written; nothing half-written stays.
bool WriteShellLink(const std::wstring& path, const std::wstring& target, const wchar_t* workFolder,
                    const std::wstring& linkName, const wchar_t* description,
                    const wchar_t* iconFile, const wchar_t* arguments);

// Removes the shortcut files of a folder (nothing else), then the folder
// itself when that left it empty.
void RemoveShellLinkFolder(const std::wstring& folder);

// The desktop entry text for a shortcut: Exec holds the target and the
// arguments (split by the Windows rules), each quoted when it holds a
// reserved character, '%' doubled, then the string-value escapes.
std::string BuildDesktopEntry(const std::wstring& target, const wchar_t* workFolder,
                              const std::wstring& linkName, const wchar_t* description,
                              const wchar_t* iconFile, const wchar_t* arguments);
