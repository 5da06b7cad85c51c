// The small rules of the install workflow that need no window, engine or
// registry: names, texts and address forms. Kept apart so each can be checked
// on its own.
#pragma once

#include <cstdint>
#include <string>

// The package's file name: the profile's package name, the release text's
// first eight characters in parentheses when the text has nine or more, ".exe".
std::string MakePackageFileName(const std::string& packageName, const std::string& releaseText);

// The report words carried in the installer's own file name (lower-cased stem,
// pieces split at "_"): the first whole decimal integer among the inner pieces
// is the marker; inner pieces before it form the option, after it the source.
struct LaunchWords {
    std::string option;
    std::string source;
};
LaunchWords ParseLaunchWords(const std::string& lowerStem);

// `client_m=<m>` as the first query parameter of `url`.
std::string AppendClientParam(const std::string& url, const std::string& encodedMac);

// The install folder a browsed folder stands for: the chosen path, with the
// registry name appended as a last component unless the path already contains
// it. Case counts: on this platform "korvel 12" and "Korvel 12" are different
// folders.
std::wstring BrowsedInstallFolder(const std::wstring& chosen, const std::wstring& registryName);

// Every "XXX" of the countdown text replaced by the counter.
std::wstring FormatCountdown(const std::wstring& text, int counter);

// The release text for the version label: every "official" replaced by the
// translated channel word.
std::string TranslateReleaseText(const std::string& releaseText, const std::string& channelWord);

// More than 256 MB free is needed; exactly 256 is refused.
constexpr int64_t kMinimumFreeSpaceMB = 256;
inline bool EnoughFreeSpace(int64_t freeMB) {
    return freeMB > kMinimumFreeSpaceMB;
}

// The download percentage the engine's progress event stands for.
int DownloadPercent(int64_t downloaded, int64_t total);

// Installation progress (0-1000) after an installation event; `current` when
// the event does not change it.
int InstallProgressAfterEvent(int event, int value, int current);
