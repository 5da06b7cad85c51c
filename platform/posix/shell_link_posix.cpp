#include "platform/shell_link.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "platform/process.h"
#include "platform/text.h"

namespace {

constexpr char kDesktopSuffix[] = ".desktop";
constexpr size_t kDesktopSuffixLength = sizeof(kDesktopSuffix) - 1;

bool IsWebAddress(const std::wstring& target) {
    return target.find(L"://") != std::wstring::npos && target.find(L"://") < 10;
}

// Escapes of a string value (backslash first, then the control characters).
std::string EscapeValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// One Exec argument: quoted when it holds a reserved character; inside the
// quotes '"', '`', '$' and '\' take a backslash; '%' is doubled everywhere.
std::string QuoteExecArgument(const std::string& arg) {
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote = arg.empty() || arg.find_first_of(reserved) != std::string::npos;
    std::string out = quote ? "\"" : "";
    for (char c : arg) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += '\\';
        out += c;
        if (c == '%')
            out += '%';
    }
    if (quote)
        out += '"';
    return out;
}

bool WriteExecutableFile(const std::string& path, const std::string& content) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out.flush())
            return false;
    }
    // Desktops launch only entries marked executable.
    if (chmod(temp.c_str(), 0755) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
        remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::wstring ShellLinkFileName(const std::wstring& linkName) {
    // '/' cannot be part of a file name.
    return ReplaceAll(linkName, L"/", L"_") + Utf8ToWide(kDesktopSuffix);
}

std::string BuildDesktopEntry(const std::wstring& target, const wchar_t* workFolder,
                              const std::wstring& linkName, const wchar_t* description,
                              const wchar_t* iconFile, const wchar_t* arguments) {
    std::string text = "[Desktop Entry]\n";
    if (IsWebAddress(target)) {
        text += "Type=Link\nURL=" + EscapeValue(WideToUtf8(target)) + "\n";
        if (iconFile && *iconFile)
            text += "Icon=" + EscapeValue(WideToUtf8(iconFile)) + "\n";
    } else {
        std::string exec = QuoteExecArgument(WideToUtf8(target));
        if (arguments && *arguments)
            for (const std::wstring& arg : SplitCommandLine(arguments))
                exec += " " + QuoteExecArgument(WideToUtf8(arg));
        text += "Type=Application\nExec=" + EscapeValue(exec) + "\n";
        if (workFolder && *workFolder)
            text += "Path=" + EscapeValue(WideToUtf8(workFolder)) + "\n";
        const std::wstring icon = iconFile && *iconFile ? iconFile : target;
        text += "Icon=" + EscapeValue(WideToUtf8(icon)) + "\n";
    }
    if (description && *description)
        text += "Comment=" + EscapeValue(WideToUtf8(description)) + "\n";
    text += "Name=" + EscapeValue(WideToUtf8(linkName)) + "\n";
    return text;
}

bool WriteShellLink(const std::wstring& path, const std::wstring& target, const wchar_t* workFolder,
                    const std::wstring& linkName, const wchar_t* description,
                    const wchar_t* iconFile, const wchar_t* arguments) {
    return WriteExecutableFile(
        WideToUtf8(path),
        BuildDesktopEntry(target, workFolder, linkName, description, iconFile, arguments));
}

void RemoveShellLinkFolder(const std::wstring& folder) {
    const std::string sub = WideToUtf8(folder);
    DIR* dir = opendir(sub.c_str());
    if (!dir)
        return;
    std::vector<std::string> entries;
    while (struct dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() > kDesktopSuffixLength &&
            name.compare(name.size() - kDesktopSuffixLength, kDesktopSuffixLength,
                         kDesktopSuffix) == 0)
            entries.push_back(sub + "/" + name);
    }
    closedir(dir);
    for (const std::string& path : entries)
        unlink(path.c_str());
    rmdir(sub.c_str());
}
