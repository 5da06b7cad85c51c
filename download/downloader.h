// IDownloader: fetches one file from several HTTP mirrors in parallel ranged
// transfers, verifies it block by block against MD5 digests and repairs bad
// blocks. One engine serves one download; create a fresh one per attempt.
//
// Threads: every method may be called from any thread. Events arrive on the
// engine's own threads (transfers, dispatcher, configuration thread), often
// with the engine lock held: the callback must return quickly and must not
// call back into the engine except for the read-only getters.
#pragma once

#include <boost/function.hpp>

#include <string>
#include <vector>

#include "download/download_types.h"

typedef boost::function<int(int event, int a, int b)> DownloadCallback;

class IDownloader {
public:
    virtual ~IDownloader() = default;
    // Copies xmlText (the caller's buffer may die after the call), starts the
    // configuration thread and returns 0 at once.
    virtual HRESULT StartWithConfigText(const char* xmlText, int xmlLength,
                                        std::string destPath) = 0;
    virtual HRESULT BeginDownloadConfig(std::string cfgUrl, std::string destPath) = 0;
    virtual HRESULT LoadConfigFile(std::wstring cfgPath, std::string destPath) = 0;
    virtual HRESULT BeginDownload(const DownloadTask& siItem) = 0;
    // Refuses every later write, aborts the transfers and frees the image; no
    // event. Does not wait for the threads (the destructor does).
    virtual HRESULT StopDownload() = 0;
    virtual bool IsDownloading() = 0;
    virtual HRESULT SetCallback(DownloadCallback callback) = 0;
    virtual HRESULT GetDownloadStats(DownloadStats& stats) = 0;
    virtual int GetDownloadState() = 0;
    virtual void SetProxy(std::string proxy) = 0;
    virtual bool IsUsingCdn() = 0;
    virtual int GetErrorCode() = 0;
    virtual std::string GetErrorString() = 0;
    virtual std::string GetFailedLink() = 0;
    virtual std::string GetRepairLink() = 0;
    virtual int GetFailedResult() = 0;
    virtual void GetCheckedUrls(std::vector<UrlCfg>& out) = 0;
    virtual void GetUsedUrls(std::vector<UrlCfg>& out) = 0;
};

// A new engine with the product's timings; true when *out is set.
bool CreateDownloader(IDownloader** out);
// The same with chosen timings and markers (tests, tools).
bool CreateDownloader(IDownloader** out, const DownloaderTuning& tuning);
// Destroys the engine on a short thread of its own and returns 1 at once. The
// destruction stops the download and joins every thread the engine started.
int ReleaseDownloader(IDownloader* d);
// Waits until every engine handed to ReleaseDownloader is destroyed; true when
// none is left within the time. Call it before the process exits.
bool WaitForReleasedDownloaders(uint32_t timeoutMs);
