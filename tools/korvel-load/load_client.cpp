#include "tools/korvel-load/load_client.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>

namespace {

size_t AppendReply(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// 32 upper-case hex digits, unique per client and post.
std::string RunUuid(int client, uint64_t serial) {
    char text[33];
    snprintf(text, sizeof(text), "%08X%08X%016llX", 0x4B4F5256u, static_cast<unsigned>(client),
             static_cast<unsigned long long>(serial));
    return text;
}

std::string ReportDocument(const std::string& uuid, uint64_t serial) {
    const char* status =
        serial % 5 == 0 ? "start" : (serial % 7 == 0 ? "downLoad_fail" : "success");
    return "{\"version\":1015,\"user_id\":\"00-16-3E-00-00-01\",\"system_language\":\"English\","
           "\"uuid\":\"" +
           uuid + "\",\"app_id\":\"Korvel 12\",\"install_status\":\"" + status +
           "\",\"download_second\":" + std::to_string(30 + serial % 60) +
           ",\"speed\":" + std::to_string(1000000 + serial % 1000) +
           ",\"average_speed\":900000,\"used_url_info\":[{\"invalid\":1,\"domain\":\"127.0.0.41\","
           "\"ping_time\":3}]}";
}

class Poster {
public:
    Poster() : m_curl(curl_easy_init()) {}
    ~Poster() {
        if (m_curl)
            curl_easy_cleanup(m_curl);
    }
    Poster(const Poster&) = delete;
    Poster& operator=(const Poster&) = delete;

    // One multipart POST; the reply in `reply`, false on a transport error.
    bool Post(const std::string& url, curl_mime* form, long timeoutSec, std::string& reply) {
        if (!m_curl)
            return false;
        reply.clear();
        curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(m_curl, CURLOPT_MIMEPOST, form);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, AppendReply);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &reply);
        curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, timeoutSec);
        return curl_easy_perform(m_curl) == CURLE_OK;
    }
    CURL* Handle() { return m_curl; }

private:
    CURL* m_curl;
};

void AddText(curl_mime* form, const char* name, const std::string& value) {
    curl_mimepart* part = curl_mime_addpart(form);
    curl_mime_name(part, name);
    curl_mime_data(part, value.data(), value.size());
}

void Tally(bool sent, const std::string& reply, uint64_t& acked, ClientTally& tally) {
    if (!sent)
        ++tally.transportErrors;
    else if (reply == "{\"result\":{\"res\":true}}")
        ++acked;
    else
        ++tally.refused;
}

}  // namespace

void RunLoadClient(const LoadOptions& o, int id, const std::atomic<bool>& stop,
                   ClientTally& tally) {
    const std::string& baseUrl = o.baseUrls[static_cast<size_t>(id) % o.baseUrls.size()];
    const std::string reportUrl = baseUrl + "/api/install/online.php";
    const std::string logUrl = baseUrl + "/api/install/index_log.php";
    const std::string log(o.logBytes, 'L');
    std::string reply;
    for (uint64_t serial = 1; !stop.load(); ++serial) {
        const std::string uuid = RunUuid(id, serial);
        const bool withLog = o.logEvery > 0 && serial % static_cast<uint64_t>(o.logEvery) == 0;
        // A fresh transfer per post, as the installer's reporter makes one:
        // every post opens its own connection.
        Poster poster;
        curl_mime* form = curl_mime_init(poster.Handle());
        if (withLog) {
            AddText(form, "app_id", "Korvel 12");
            AddText(form, "log_type", "downLoad_fail");
            curl_mimepart* part = curl_mime_addpart(form);
            curl_mime_name(part, "install_log");
            curl_mime_filename(part, uuid.c_str());
            curl_mime_data(part, log.data(), log.size());
        } else {
            AddText(form, "json_data", ReportDocument(uuid, serial));
            AddText(form, "app_id", "Korvel 12");
        }
        const auto begin = std::chrono::steady_clock::now();
        const bool sent = poster.Post(withLog ? logUrl : reportUrl, form, o.timeoutSec, reply);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - begin;
        curl_mime_free(form);
        tally.latenciesMs.push_back(took.count());
        Tally(sent, reply, withLog ? tally.logsAcked : tally.reportsAcked, tally);
    }
}
