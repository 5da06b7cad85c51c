#include "download/easy_handle.h"

#include <curl/curl.h>

const char* const kTransferUserAgent = "Downloader";
const char* const kProbeUserAgent = "Lavf/55.13.102";

void ApplyEasyOptions(CURL* h, const EasyHandleOptions& o) {
    curl_easy_setopt(h, CURLOPT_URL, o.url);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    if (o.userAgent)
        curl_easy_setopt(h, CURLOPT_USERAGENT, o.userAgent);
    if (o.followRedirects)
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    if (!o.caFile.empty())
        curl_easy_setopt(h, CURLOPT_CAINFO, o.caFile.c_str());
    if (!o.proxy.empty()) {
        curl_easy_setopt(h, CURLOPT_PROXY, o.proxy.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    }
    if (o.connectTimeoutMs > 0)
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, o.connectTimeoutMs);
    if (o.timeoutMs > 0)
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, o.timeoutMs);
    if (o.timeoutS > 0)
        curl_easy_setopt(h, CURLOPT_TIMEOUT, o.timeoutS);
    if (o.lowSpeedLimit > 0) {
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, o.lowSpeedLimit);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, o.lowSpeedTimeS);
    }
}
