// The two multipart posts to the vendor's web service (libcurl mime API).
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>

#include "data/json_object.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/net.h"
#include "platform/text.h"
#include "report/install_reporter.h"

namespace {

size_t AppendReply(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void EnsureCurlGlobal() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Ends a transfer that delivered less than a floor rate over a sliding window.
// Delivered means acknowledged by the peer: what libcurl has handed to the
// socket minus what still waits in its send queue, so that a large send
// buffer draining into a slow link counts as the progress it is, and a dead
// peer behind a full buffer as none.
struct ProgressBound {
    using Clock = std::chrono::steady_clock;

    ProgressBound(long bytesPerSec, long seconds)
        : floorBytes(static_cast<int64_t>(bytesPerSec) * seconds), window(seconds) {}

    // libcurl's transfer-info callback (any non-zero result aborts the transfer).
    static int Check(void* user, curl_off_t, curl_off_t dlNow, curl_off_t, curl_off_t ulNow) {
        auto* self = static_cast<ProgressBound*>(user);
        return self->Stalled(self->Delivered(dlNow, ulNow), Clock::now()) ? 1 : 0;
    }

    // libcurl's socket-options callback: remembers the transfer's socket.
    static int KeepSocket(void* user, curl_socket_t socket, curlsocktype) {
        static_cast<ProgressBound*>(user)->socket = socket;
        return CURL_SOCKOPT_OK;
    }

    int64_t Delivered(curl_off_t dlNow, curl_off_t ulNow) const {
        const int64_t queued = socket == CURL_SOCKET_BAD ? 0 : SocketUnacknowledgedBytes(socket);
        return std::max<int64_t>(ulNow - std::max<int64_t>(queued, 0), 0) + dlNow;
    }

    // True once a whole window lies behind and it moved less than the floor.
    bool Stalled(int64_t delivered, Clock::time_point now) {
        samples.push_back({now, delivered});
        // Keep the newest sample that is at least one window old as the base.
        while (samples.size() > 1 && now - samples[1].first >= window)
            samples.pop_front();
        const auto& base = samples.front();
        return now - base.first >= window && delivered - base.second < floorBytes;
    }

    curl_socket_t socket = CURL_SOCKET_BAD;
    const int64_t floorBytes;
    const std::chrono::seconds window;
    std::deque<std::pair<Clock::time_point, int64_t>> samples;
};

// One easy handle with its form; both released on every road out.
class FormTransfer {
public:
    FormTransfer() {
        EnsureCurlGlobal();
        m_curl = curl_easy_init();
        if (m_curl)
            m_mime = curl_mime_init(m_curl);
    }
    ~FormTransfer() {
        if (m_mime)
            curl_mime_free(m_mime);
        if (m_curl)
            curl_easy_cleanup(m_curl);
    }
    FormTransfer(const FormTransfer&) = delete;
    FormTransfer& operator=(const FormTransfer&) = delete;

    bool IsValid() const { return m_curl && m_mime; }

    void AddText(const char* name, const std::string& value) {
        curl_mimepart* part = curl_mime_addpart(m_mime);
        curl_mime_name(part, name);
        curl_mime_data(part, value.data(), value.size());
    }

    bool AddFile(const char* name, const std::string& path, const std::string& fileName) {
        curl_mimepart* part = curl_mime_addpart(m_mime);
        curl_mime_name(part, name);
        if (curl_mime_filedata(part, path.c_str()) != CURLE_OK)
            return false;
        return curl_mime_filename(part, fileName.c_str()) == CURLE_OK;
    }

    // A transfer that moves less than `bytesPerSec` over the last `seconds`
    // ends; `bound` must outlive Perform.
    void SetLowSpeedBound(ProgressBound& bound) {
        curl_easy_setopt(m_curl, CURLOPT_SOCKOPTFUNCTION, ProgressBound::KeepSocket);
        curl_easy_setopt(m_curl, CURLOPT_SOCKOPTDATA, &bound);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, ProgressBound::Check);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, &bound);
        curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    }

    // Performs the POST bounded to `timeoutSec`; the reply lands in `reply`.
    CURLcode Perform(const std::string& url, long timeoutSec, const std::string& caFile,
                     std::string& reply) {
        if (!caFile.empty())
            curl_easy_setopt(m_curl, CURLOPT_CAINFO, caFile.c_str());
        curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(m_curl, CURLOPT_POST, 1L);
        curl_easy_setopt(m_curl, CURLOPT_MIMEPOST, m_mime);  // after CURLOPT_POST, which resets it
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, AppendReply);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &reply);
        curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, timeoutSec);
        return curl_easy_perform(m_curl);
    }

private:
    CURL* m_curl = nullptr;
    curl_mime* m_mime = nullptr;
};

}  // namespace

// Only {"result":{"res":true}} means the service took the report.
bool IsAcceptedReply(const std::string& reply) {
    CJsonObject root(reply);
    CJsonObject result;
    bool res = false;
    return root.Get("result", result) && result.Get("res", res) && res;
}

bool InstallReporter::PostReport(const std::string& url, const std::string& jsonText,
                                 const std::string& appId) const {
    FormTransfer transfer;
    if (!transfer.IsValid())
        return false;
    transfer.AddText("json_data", jsonText);
    transfer.AddText("app_id", appId);
    std::string reply;
    const CURLcode code = transfer.Perform(url, m_tuning.nPostTimeoutSec, m_tuning.caFile, reply);
    if (code != CURLE_OK) {
        WriteLog("InstallReporter::PostReport failed, curl code = %d", static_cast<int>(code));
        return false;
    }
    return IsAcceptedReply(reply);
}

bool InstallReporter::UploadLog(const std::string& url, const std::string& fileName,
                                const std::string& filePath, const std::string& appId,
                                const std::string& logType) const {
    if (fileName.empty() || filePath.empty() || !PathFileExists(AnsiToWide(filePath))) {
        return false;
    }
    FormTransfer transfer;
    if (!transfer.IsValid())
        return false;
    transfer.AddText("app_id", appId);
    transfer.AddText("log_type", logType);
    if (!transfer.AddFile("install_log", filePath, fileName))
        return false;
    // Bounded by progress: a large log on a slow link still arrives, a dead
    // link ends within the low-speed window.
    ProgressBound bound(m_tuning.nUploadLowSpeedBytesPerSec, m_tuning.nUploadLowSpeedSec);
    transfer.SetLowSpeedBound(bound);
    std::string reply;
    return transfer.Perform(url, m_tuning.nUploadCeilingSec, m_tuning.caFile, reply) == CURLE_OK;
}
