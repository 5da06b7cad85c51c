// Mirror probing (MirrorProber): ICMP echo, header-only size request and the
// capacity probe "/flag.php"; the engine's probe slots hand over to it.
#include <curl/curl.h>

#include <algorithm>
#include <cstring>

#include "download/downloader_curl.h"
#include "download/mirror_choice.h"
#include "download/mirror_prober.h"
#include "platform/log.h"
#include "platform/ping.h"

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

const char* const kSchemes[] = {"http://", "https://"};

}  // namespace

bool GetUrlHostPart(const std::string& url, std::string& host) {
    for (const char* scheme : kSchemes) {
        const size_t length = strlen(scheme);
        if (url.compare(0, length, scheme) != 0)
            continue;
        const size_t at = url.find("/download/", length);
        if (at == std::string::npos)
            return false;
        host = url.substr(length, at - length);
        return true;
    }
    return false;
}

bool ParseMirrorEndpoint(const std::string& url, MirrorEndpoint& out) {
    std::string part;
    if (!GetUrlHostPart(url, part))
        return false;
    out.scheme = url.compare(0, 8, "https://") == 0 ? "https" : "http";
    out.port = out.scheme == "https" ? 443 : 80;
    std::string portText;
    if (!part.empty() && part[0] == '[') {
        // "[addr]" or "[addr]:port"
        const size_t close = part.find(']');
        if (close == std::string::npos)
            return false;
        out.host = part.substr(1, close - 1);
        if (close + 1 < part.size()) {
            if (part[close + 1] != ':')
                return false;
            portText = part.substr(close + 2);
        }
    } else {
        const size_t colon = part.find(':');
        out.host = part.substr(0, colon);
        if (colon != std::string::npos)
            portText = part.substr(colon + 1);
    }
    if (out.host.empty())
        return false;
    if (!portText.empty()) {
        if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const int port = std::stoi(portText);
        if (port == 0 || port > 65535)
            return false;
        out.port = static_cast<uint16_t>(port);
    }
    return true;
}

MirrorProber::MirrorProber(const DownloaderTuning& tuning, std::string proxy)
    : m_tuning(tuning), m_proxy(std::move(proxy)) {}

EasyHandleOptions MirrorProber::Options(const char* url, bool viaProxy) const {
    EasyHandleOptions o;
    o.url = url;
    o.caFile = m_tuning.caFile;
    if (viaProxy)
        o.proxy = m_proxy;
    return o;
}

bool IsCdnUrl(const DownloaderTuning& tuning, const char* url) {
    if (!url)
        return false;
    const std::string& a = tuning.cdnMarkerDomain;
    const std::string& b = tuning.cdnMarkerPrefix;
    return (!a.empty() && strstr(url, a.c_str())) || (!b.empty() && strstr(url, b.c_str()));
}

bool MirrorProber::IsCdnUrl(const char* url) const {
    return ::IsCdnUrl(m_tuning, url);
}

bool MirrorProber::CheckPing(const std::string& url, int* pingTime) const {
    MirrorEndpoint at;
    if (!ParseMirrorEndpoint(url, at))
        return false;
    int ms = 0;
    bool ok = false;
    if (m_tuning.pinger) {
        ok = m_tuning.pinger(at.host, &ms);
    } else {
        // The port only matters where ICMP is not permitted and a TCP
        // connection's round trip stands in for the echo.
        PingRequest request;
        request.timeoutMs = m_tuning.pingTimeoutMs;
        request.tcpPort = at.port;
        ok = PingAddress(at.host, request, &ms);
        if (!ok) {
            const std::vector<std::string> addresses = ResolveHost(at.host);
            ok = !addresses.empty() && PingAddress(addresses.front(), request, &ms);
        }
    }
    if (ok && pingTime)
        *pingTime = ms;
    return ok;
}

int64_t MirrorProber::GetDownloadFileLength(const char* url) const {
    CURL* h = curl_easy_init();
    if (!h)
        return -1;
    EasyHandleOptions o = Options(url, true);
    o.userAgent = kProbeUserAgent;
    o.followRedirects = true;
    // A mirror that never answers must not hold the download at 0 %.
    o.connectTimeoutMs = static_cast<long>(m_tuning.probeConnectTimeoutMs);
    o.timeoutMs = static_cast<long>(m_tuning.probeTimeoutMs);
    ApplyEasyOptions(h, o);
    curl_easy_setopt(h, CURLOPT_HEADER, 1L);
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, DiscardBody);
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

std::string MirrorProber::HttpGetText(const std::string& url) const {
    CURL* h = curl_easy_init();
    if (!h)
        return "error";
    std::string body;
    // No user agent, redirect or proxy: the flag answers the mirror's own
    // capacity, asked directly.
    EasyHandleOptions o = Options(url.c_str(), false);
    o.connectTimeoutMs = static_cast<long>(m_tuning.probeConnectTimeoutMs);
    o.timeoutMs = static_cast<long>(m_tuning.flagTimeoutMs);
    ApplyEasyOptions(h, o);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    CURLcode r = curl_easy_perform(h);
    curl_easy_cleanup(h);
    return r == CURLE_OK ? body : std::string("error");
}

bool MirrorProber::GetNetworkNotFull(const std::string& url) const {
    if (IsCdnUrl(url.c_str()))
        return true;
    std::string host;
    if (!GetUrlHostPart(url, host))
        return false;
    // Same scheme as the mirror: an HTTPS-only host has no plain flag.
    const std::string scheme = url.compare(0, 8, "https://") == 0 ? "https://" : "http://";
    const std::string text = HttpGetText(scheme + host + "/flag.php");
    WriteLog("Download : GetNetworkNotFull IP(%s), Result(%s).\n", host.c_str(), text.c_str());
    return text.size() >= 2 && text[0] == '1';
}

namespace {
void LogMirrorChoice(CdnReserve cdn) {
    if (cdn == CdnReserve::kNotNeeded)
        return;
    const bool alone = cdn == CdnReserve::kAlone || cdn == CdnReserve::kMissingAlone;
    if (alone) {
        WriteLog("Download_CheckDownload: Warring, m_vecUrlCfg.size() <= 0.\n");
        WriteLog("Download_CheckDownload: Using Ama now.\n");
    } else {
        WriteLog("Download_CheckDownload: Warring, m_vecUrlCfg.size() <= 2.\n");
    }
    if (cdn == CdnReserve::kMissingAlone)
        WriteLog("Download_CheckDownload: ERROR : con't find Ama now.\n");
    else if (cdn == CdnReserve::kAdded)
        WriteLog("Download_CheckDownload: Add Ama now.\n");
    else if (cdn == CdnReserve::kMissingAdded)
        WriteLog("Download_CheckDownload: Add Ama fail.\n");
}

bool SizeMatches(int64_t length, int size) {
    return static_cast<int32_t>(static_cast<uint32_t>(length)) == size;
}
}  // namespace

MirrorProbeResults MirrorProber::ProbeAll(DownloadTask& siItem) const {
    MirrorProbeResults r;
    for (int i = 0; i < kMaxMirrors; ++i) {
        UrlCfg& e = siItem.urls[i];
        if (!e.fileSizeConsistent)
            continue;
        if (IsCdnUrl(e.url) && !r.haveCdn) {
            e.fileSizeConsistent = SizeMatches(GetDownloadFileLength(e.url), siItem.size);
            e.domain = m_tuning.cdnMarkerDomain;
            if (e.fileSizeConsistent) {
                r.cdn = e;
                r.haveCdn = true;
            }
            r.checked.push_back(e);
            continue;
        }
        const bool ok = CheckPing(e.url, &e.pingTime);
        WriteLog("Download_CheckPing: ID(%d), Invalid(%s), time(%d).\n", i, TrueFalse(ok),
                 e.pingTime);
        std::string host;
        if (GetUrlHostPart(e.url, host))
            e.domain = host;
        r.checked.push_back(e);
        if (!ok) {
            e.fileSizeConsistent = false;
            continue;
        }
        e.fileSizeConsistent = SizeMatches(GetDownloadFileLength(e.url), siItem.size);
        if (e.fileSizeConsistent && !IsCdnUrl(e.url)) {
            e.networkNotFull = GetNetworkNotFull(e.url);
            r.candidates.push_back(e);
        }
        WriteLog("Download_CheckDownload: ID(%d), FileSizeConsistent(%s) NetworkNotFull(%s).\n", i,
                 TrueFalse(e.fileSizeConsistent), TrueFalse(e.networkNotFull));
    }
    return r;
}

// ---------------------------------------------------------------- the engine's probe slots

MirrorProber DownloaderCurl::Prober() {
    AutoMutex lock(m_hMutex);
    return MirrorProber(m_tuning, proxy);
}

EasyHandleOptions DownloaderCurl::EasyOptions(const char* url, bool viaProxy) {
    return Prober().Options(url, viaProxy);
}

bool DownloaderCurl::IsCdnUrl(const char* url) const {
    return ::IsCdnUrl(m_tuning, url);
}

bool DownloaderCurl::CheckPing(std::string url, int* pingTime) {
    return Prober().CheckPing(url, pingTime);
}

int64_t DownloaderCurl::GetDownloadFileLenth(const char* url) {
    return Prober().GetDownloadFileLength(url);
}

bool DownloaderCurl::GetNetworkNotFull(std::string url) {
    return Prober().GetNetworkNotFull(url);
}

std::string DownloaderCurl::HttpGetText(const std::string& url) {
    return Prober().HttpGetText(url);
}

HRESULT DownloaderCurl::CheckDownload(DownloadTask& siItem) {
    usingCdn = false;
    const MirrorProbeResults probed = Prober().ProbeAll(siItem);
    MirrorChoice choice = ChooseMirrors(probed.candidates, probed.haveCdn ? &probed.cdn : nullptr);
    LogMirrorChoice(choice.cdn);
    if (choice.threadsPerUrl > 0)
        task.threadsPerUrl = choice.threadsPerUrl;
    usingCdn = choice.UsingCdn();
    AutoMutex lock(m_hMutex);
    m_vecUrlCfg = std::move(choice.used);
    checkedUrls = probed.checked;
    if (probed.haveCdn)
        cdnUrl = probed.cdn;
    return m_vecUrlCfg.empty() ? E_FAIL : 0;
}
