// The two multipart posts to the vendor's web service (libcurl mime API).
#include <curl/curl.h>

#include <mutex>

#include "data/json_object.h"
#include "platform/folders.h"
#include "platform/log.h"
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
    std::string reply;
    return transfer.Perform(url, m_tuning.nUploadTimeoutSec, m_tuning.caFile, reply) == CURLE_OK;
}
