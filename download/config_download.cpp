// Fetching the configuration document from a URL into "<dest>.cfg" (up to
// three attempts), then reading it like a built-in one.
#include <curl/curl.h>

#include "download/downloader_curl.h"
#include "platform/log.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {
size_t ConfigWrite(char* data, size_t size, size_t count, void* user) {
    auto* item = static_cast<DownloadItem*>(user);
    if (!item || !item->owner || !item->file)
        return 0;
    const size_t n = size * count;
    if (!item->file->Write(item->pos, data, n))
        return 0;
    item->pos += static_cast<uint32_t>(n);
    return n;
}
}  // namespace

HRESULT DownloaderCurl::BeginDownloadConfig(std::string cfgUrl, std::string destPath) {
    const int64_t length = GetDownloadFileLenth(cfgUrl.c_str());
    {
        AutoMutex lock(m_hMutex);
        cfgItem.url = cfgUrl.substr(0, 519);
        cfgItem.cfgPath = (destPath + ".cfg").substr(0, kMaxPath - 1);
        cfgItem.destPath = destPath.substr(0, kMaxPath - 1);
        DownloadItem& it = cfgItem.item;
        it = DownloadItem();
        it.url = cfgItem.url.c_str();
        it.end = length > 0 ? static_cast<uint32_t>(length) : 0;
        it.lastTick = it.startTick = GetTickCount();
        it.owner = this;
        it.file = &cfgItem.cfgFile;
        // Kept apart from the range table: the download it leads to starts a fresh one.
        it.id = m_ranges.NextId();
        if (!cfgItem.cfgFile.Create(cfgItem.cfgPath))
            return E_INVALIDARG;
        it.thread = ++m_nThreadCount;
        WriteLog("Download_BeginDownload : Download link id(%d) thread(%d).\n", it.id, it.thread);
    }
    running = true;
    StartThread(std::thread(&DownloaderCurl::ConfigUrlThread, this));
    return 0;
}

HRESULT DownloaderCurl::ConfigUrlAttempt() {
    DownloadItem& it = cfgItem.item;
    if (!cfgItem.cfgFile.Create(cfgItem.cfgPath))
        return E_INVALIDARG;
    it.pos = 0;
    CURL* h = curl_easy_init();
    if (!h)
        return E_FAIL;
    EasyHandleOptions o = EasyOptions(cfgItem.url.c_str(), true);
    o.userAgent = kProbeUserAgent;
    o.followRedirects = true;
    o.timeoutS = 20000;
    o.lowSpeedLimit = m_tuning.lowSpeedLimit;
    o.lowSpeedTimeS = m_tuning.lowSpeedTimeS;
    ApplyEasyOptions(h, o);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, ConfigWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &it);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 1L);
    it.result = static_cast<int>(curl_easy_perform(h));
    it.finishTick = GetTickCount();
    it.state = it.result == 0 ? kItemSucceeded : kItemFailed;
    curl_easy_cleanup(h);
    if (it.result != 0) {
        cfgItem.cfgFile.Close();
        return E_FAIL;
    }
    return OnConfigDownloaded(&it);
}

HRESULT DownloaderCurl::OnConfigDownloaded(DownloadItem* item) {
    if (!item || !item->file)
        return E_POINTER;
    item->file->Close();
    FILE* f = fopen(cfgItem.cfgPath.c_str(), "rb");
    if (!f)
        return E_FAIL;
    fclose(f);
    return LoadConfigFile(Utf8ToWide(cfgItem.cfgPath), cfgItem.destPath);
}

void DownloaderCurl::ConfigUrlThread() {
    // One final event for the whole fetch: a failed attempt is retried
    // before the failure is reported.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (m_bStopped)
            break;
        HRESULT hr = ConfigUrlAttempt();
        if (hr == 0) {
            WriteLog("Download_Thread_Download_Cfg : succeed.\n");
            return;
        }
        WriteLog("Download_Thread_Download_Cfg : failed.\n");
        // A document that was fetched but refused will not change on retry.
        if (state == kStateNeedUpdate ||
            (errorCode >= kConfigLoadError && errorCode <= kDownloadExeError)) {
            EndWithConfigFailure();
            return;
        }
    }
    errorCode = kConfigDownloadError;
    WriteLog("Download_Thread_Download_Cfg : error.\n");
    EndWithConfigFailure();
}
