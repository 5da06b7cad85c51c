// MirrorProber: asks each configured mirror whether it can serve the file
// before any transfer starts: the echo (ICMP, or a TCP round trip where ICMP
// is not permitted), the header-only size request and the capacity flag
// "/flag.php". It holds no engine state: the tuning and the proxy are values
// given at construction, so it runs on the configuration thread without the
// engine lock. What the probe results mean for the download (which mirrors
// are used, the CDN reserve) is ChooseMirrors' decision.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/download_types.h"
#include "download/easy_handle.h"

// What probing the mirrors of a task found, in configuration order.
struct MirrorProbeResults {
    std::vector<UrlCfg> checked;     // every mirror probed, with its echo time
    std::vector<UrlCfg> candidates;  // ordinary mirrors serving the right size
    UrlCfg cdn;                      // the first CDN mirror of the right size
    bool haveCdn = false;
};

// Whether url names a CDN mirror by the tuning's host markers.
bool IsCdnUrl(const DownloaderTuning& tuning, const char* url);

class MirrorProber {
public:
    MirrorProber(const DownloaderTuning& tuning, std::string proxy);

    // Probes every mirror of task in order and marks the entries that failed
    // (fileSizeConsistent false) or whose capacity flag answered.
    MirrorProbeResults ProbeAll(DownloadTask& task) const;

    bool CheckPing(const std::string& url, int* pingTime) const;
    // The length the mirror announces for url, -1 when it does not answer
    // within the probe bounds.
    int64_t GetDownloadFileLength(const char* url) const;
    bool GetNetworkNotFull(const std::string& url) const;
    // The body of a plain GET, "error" when it fails.
    std::string HttpGetText(const std::string& url) const;
    bool IsCdnUrl(const char* url) const;
    EasyHandleOptions Options(const char* url, bool viaProxy) const;

private:
    const DownloaderTuning& m_tuning;
    const std::string m_proxy;
};
