#include "app/workflow_rules.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/folders.h"
#include "platform/text.h"

namespace {

std::vector<std::string> SplitNonEmpty(const std::string& text, char sep) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(sep, start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

// A piece counts as the marker only when it parses completely as an int.
bool IsWholeInt(const std::string& piece) {
    if (piece.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(piece.c_str(), &end, 10);
    return *end == '\0' && errno == 0 && v >= INT32_MIN && v <= INT32_MAX;
}

std::string Join(const std::vector<std::string>& pieces, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < to; ++i) {
        if (!out.empty()) {
            out += '_';
        }
        out += pieces[i];
    }
    return out;
}

}  // namespace

std::string MakePackageFileName(const std::string& packageName, const std::string& releaseText) {
    std::string name = packageName;
    if (releaseText.size() >= 9) {
        name += "(" + releaseText.substr(0, 8) + ")";
    }
    return name + ".exe";
}

LaunchWords ParseLaunchWords(const std::string& lowerStem) {
    LaunchWords words;
    const std::vector<std::string> pieces = SplitNonEmpty(lowerStem, '_');
    if (pieces.size() < 2) {
        return words;
    }
    for (size_t i = 1; i + 1 < pieces.size(); ++i) {
        if (IsWholeInt(pieces[i])) {
            words.option = Join(pieces, 1, i);
            words.source = Join(pieces, i + 1, pieces.size() - 1);
            break;
        }
    }
    return words;
}

std::string AppendClientParam(const std::string& url, const std::string& encodedMac) {
    if (url.find('?') != std::string::npos) {
        return ReplaceAll(url, "?", "?client_m=" + encodedMac + "&");
    }
    return url + "?client_m=" + encodedMac;
}

std::wstring BrowsedInstallFolder(const std::wstring& chosen, const std::wstring& registryName) {
    if (chosen.find(registryName) != std::wstring::npos) {
        return chosen;
    }
    return JoinPath(chosen, registryName);
}

std::wstring FormatCountdown(const std::wstring& text, int counter) {
    return ReplaceAll(text, L"XXX", std::to_wstring(counter));
}

std::string TranslateReleaseText(const std::string& releaseText, const std::string& channelWord) {
    return ReplaceAll(releaseText, "official", channelWord);
}

int DownloadPercent(int64_t downloaded, int64_t total) {
    if (total <= 0) {
        return 0;
    }
    return static_cast<int>(downloaded * 100.0 / total);
}

int InstallProgressAfterEvent(int event, int value, int current) {
    switch (event) {
        case 0:
            return 0;
        case 1:
            return 1000;
        case 3:
            return value <= 1000 ? value : current;
        case 100:
            return value * 10 < 0 ? 0 : value * 10;
        default:
            return current;
    }
}
