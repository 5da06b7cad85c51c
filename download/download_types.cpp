#include "download/download_types.h"

DownloadItem& DownloadItem::operator=(const DownloadItem& other) {
    id = other.id;
    start = other.start;
    pos = other.pos;
    end = other.end;
    url = other.url;
    handle = other.handle;
    result = other.result;
    file = other.file;
    owner = other.owner;
    thread = other.thread;
    lastTick.store(other.lastTick.load());
    startTick = other.startTick;
    finishTick = other.finishTick;
    speed = other.speed;
    sampleTick = other.sampleTick;
    sampleBytes = other.sampleBytes;
    state.store(other.state.load());
    return *this;
}

std::string DownloadErrorName(int code) {
    static const char* const kNames[] = {
        "NoError",
        "NoNeedDownload",
        "NeedUpdateDownload",
        "ConfigDownloadError",
        "ConfigLoadError",
        "ConfigLoadVersionError",
        "ConfigLoadFileSizeError",
        "ConfigLoadUrlSizeError",
        "ConfigLoadUrlError",
        "ConfigLoadHashSizeError",
        "ConfigLoadHashError",
        "DownloadCheckUrlError",
        "DownloadMallocError",
        "DownloadUrlCountError",
        "DownloadExeError",
        "DispatchSuccessError",
        "DispatchFailError",
        "DispatchTimeoutError",
        "RepairSuccessError",
        "RepairFailError",
        "RepairTimeoutError",
        "CheckHashError",
    };
    if (code >= 0 && code < static_cast<int>(sizeof(kNames) / sizeof(kNames[0]))) {
        return kNames[code];
    }
    return std::to_string(code);
}
