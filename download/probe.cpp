// Mirror probing: ICMP echo, header-only size request and the capacity probe
// "/flag.php", then the choice and order of the mirrors the download uses.
#include <curl/curl.h>

#include <algorithm>
#include <cstring>

#include "download/downloader_curl.h"
#include "download/icmp_ping.h"
#include "platform/log.h"

namespace {

size_t DiscardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

size_t AppendBody(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

const char* TrueFalse(bool v) {
    return v ? "true" : "false";
}

}  // namespace

bool GetUrlHostPart(const std::string& url, std::string& host) {
    static const std::string kScheme = "http://";
    if (url.compare(0, kScheme.size(), kScheme) != 0)
        return false;
    const size_t at = url.find("/download/", kScheme.size());
    if (at == std::string::npos)
        return false;
    host = url.substr(kScheme.size(), at - kScheme.size());
    return true;
}

bool DownloaderCurl::IsCdnUrl(const char* url) const {
    if (!url)
        return false;
    const std::string& a = m_tuning.cdnMarkerDomain;
    const std::string& b = m_tuning.cdnMarkerPrefix;
    return (!a.empty() && strstr(url, a.c_str())) || (!b.empty() && strstr(url, b.c_str()));
}

bool DownloaderCurl::CheckPing(std::string url, int* pingTime) {
    std::string host;
    if (!GetUrlHostPart(url, host))
        return false;
    // ICMP has no ports: "host:port" pings the host.
    const size_t colon = host.find(':');
    if (colon != std::string::npos)
        host.resize(colon);
    int ms = 0;
    bool ok = false;
    if (m_tuning.pinger) {
        ok = m_tuning.pinger(host, &ms);
    } else {
        ok = PingAddress(host, m_tuning.pingTimeoutMs, &ms);
        if (!ok) {
            const std::string address = ResolveIPv4(host);
            ok = !address.empty() && PingAddress(address, m_tuning.pingTimeoutMs, &ms);
        }
    }
    if (ok && pingTime)
        *pingTime = ms;
    return ok;
}

int64_t DownloaderCurl::GetDownloadFileLenth(const char* url) {
    CURL* h = curl_easy_init();
    if (!h)
        return -1;
    std::string proxyUrl;
    {
        AutoMutex lock(m_hMutex);
        proxyUrl = proxy;
    }
    curl_easy_setopt(h, CURLOPT_URL, url);
    curl_easy_setopt(h, CURLOPT_HEADER, 1L);
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, DiscardBody);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Lavf/55.13.102");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // A mirror that never answers must not hold the download at 0 %.
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(m_tuning.probeConnectTimeoutMs));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(m_tuning.probeTimeoutMs));
    if (!proxyUrl.empty()) {
        curl_easy_setopt(h, CURLOPT_PROXY, proxyUrl.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    }
    CURLcode r = curl_easy_perform(h);
    curl_off_t length = -1;
    if (r != CURLE_OK ||
        curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) {
        length = -1;
    }
    curl_easy_cleanup(h);
    WriteLog("Download_GetDownloadFileLenth : result(%d), url_err(%d).\n", static_cast<int>(length),
             static_cast<int>(r));
    return static_cast<int64_t>(length);
}

std::string DownloaderCurl::HttpGetText(const std::string& url) {
    CURL* h = curl_easy_init();
    if (!h)
        return "error";
    std::string body;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(m_tuning.probeConnectTimeoutMs));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(m_tuning.flagTimeoutMs));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    CURLcode r = curl_easy_perform(h);
    curl_easy_cleanup(h);
    return r == CURLE_OK ? body : std::string("error");
}

bool DownloaderCurl::GetNetworkNotFull(std::string url) {
    if (IsCdnUrl(url.c_str()))
        return true;
    std::string host;
    if (!GetUrlHostPart(url, host))
        return false;
    const std::string text = HttpGetText("http://" + host + "/flag.php");
    WriteLog("Download : GetNetworkNotFull IP(%s), Result(%s).\n", host.c_str(), text.c_str());
    return text.size() >= 2 && text[0] == '1';
}

namespace {
bool SizeMatches(int64_t length, int size) {
    return static_cast<int32_t>(static_cast<uint32_t>(length)) == size;
}
}  // namespace

HRESULT DownloaderCurl::CheckDownload(DownloadTask& siItem) {
    std::vector<UrlCfg> checked, candidates, used;
    UrlCfg cdn;
    bool haveCdn = false;
    usingCdn = false;
    for (int i = 0; i < kMaxMirrors; ++i) {
        UrlCfg& e = siItem.urls[i];
        if (!e.fileSizeConsistent)
            continue;
        if (IsCdnUrl(e.url) && !haveCdn) {
            e.fileSizeConsistent = SizeMatches(GetDownloadFileLenth(e.url), siItem.size);
            e.domain = m_tuning.cdnMarkerDomain;
            if (e.fileSizeConsistent) {
                cdn = e;
                haveCdn = true;
            }
            checked.push_back(e);
            continue;
        }
        const bool ok = CheckPing(e.url, &e.pingTime);
        WriteLog("Download_CheckPing: ID(%d), Invalid(%s), time(%d).\n", i, TrueFalse(ok),
                 e.pingTime);
        std::string host;
        if (GetUrlHostPart(e.url, host))
            e.domain = host;
        checked.push_back(e);
        if (!ok) {
            e.fileSizeConsistent = false;
            continue;
        }
        e.fileSizeConsistent = SizeMatches(GetDownloadFileLenth(e.url), siItem.size);
        if (e.fileSizeConsistent && !IsCdnUrl(e.url)) {
            e.networkNotFull = GetNetworkNotFull(e.url);
            candidates.push_back(e);
        }
        WriteLog("Download_CheckDownload: ID(%d), FileSizeConsistent(%s) NetworkNotFull(%s).\n", i,
                 TrueFalse(e.fileSizeConsistent), TrueFalse(e.networkNotFull));
    }
    // Stable, so mirrors with equal times keep the configuration's order.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const UrlCfg& a, const UrlCfg& b) { return a.pingTime < b.pingTime; });
    for (const UrlCfg& c : candidates) {
        if (c.networkNotFull)
            used.push_back(c);
    }
    if (used.empty()) {
        WriteLog("Download_CheckDownload: Warring, m_vecUrlCfg.size() <= 0.\n");
        WriteLog("Download_CheckDownload: Using Ama now.\n");
        if (haveCdn) {
            used.push_back(cdn);
            task.threadsPerUrl = 5;
            usingCdn = true;  // every byte comes from it
        } else {
            WriteLog("Download_CheckDownload: ERROR : con't find Ama now.\n");
        }
    } else if (used.size() <= 2) {
        WriteLog("Download_CheckDownload: Warring, m_vecUrlCfg.size() <= 2.\n");
        if (haveCdn) {
            used.push_back(cdn);
            usingCdn = true;  // it serves ranges from the start
            WriteLog("Download_CheckDownload: Add Ama now.\n");
        } else {
            WriteLog("Download_CheckDownload: Add Ama fail.\n");
        }
    }
    if (used.size() > 5)
        used.resize(5);
    AutoMutex lock(m_hMutex);
    m_vecUrlCfg = used;
    checkedUrls = checked;
    if (haveCdn)
        cdnUrl = cdn;
    return m_vecUrlCfg.empty() ? E_FAIL : 0;
}
