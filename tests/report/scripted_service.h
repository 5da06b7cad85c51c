// A stand-in for the vendor's web service that answers report posts from a
// script and records every request's form parts in the order they arrived.
#pragma once

#include <httplib.h>

#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedService {
public:
    struct Part {
        std::string name;
        std::string filename;
        std::string content;
    };

    ScriptedService() {
        m_server.Post("/api/install/online.php",
                      [this](const httplib::Request&, httplib::Response& res,
                             const httplib::ContentReader& reader) {
                          std::vector<Part> parts = ReadParts(reader);
                          std::lock_guard<std::mutex> guard(m_lock);
                          m_reports.push_back(parts);
                          std::string reply = "{\"result\":{\"res\":true}}";
                          if (!m_replies.empty()) {
                              reply = m_replies.front();
                              m_replies.pop_front();
                          }
                          res.set_content(reply, "application/json");
                      });
        m_server.Post("/api/install/index_log.php",
                      [this](const httplib::Request&, httplib::Response& res,
                             const httplib::ContentReader& reader) {
                          std::vector<Part> parts = ReadParts(reader);
                          std::lock_guard<std::mutex> guard(m_lock);
                          m_uploads.push_back(parts);
                          res.set_content("{\"result\":{\"res\":true}}", "application/json");
                      });
        m_nPort = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::yield();
    }
    ~ScriptedService() {
        m_server.stop();
        m_thread.join();
    }

    // Replies for the next report posts, in order; afterwards every post is accepted.
    void QueueReplies(const std::vector<std::string>& replies) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_replies.insert(m_replies.end(), replies.begin(), replies.end());
    }
    std::string ReportUrl() const { return Base() + "/api/install/online.php"; }
    std::string UploadUrl() const { return Base() + "/api/install/index_log.php"; }
    std::vector<std::vector<Part>> Reports() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_reports;
    }
    std::vector<std::vector<Part>> Uploads() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_uploads;
    }

private:
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_nPort); }

    static std::vector<Part> ReadParts(const httplib::ContentReader& reader) {
        std::vector<Part> parts;
        reader(
            [&](const httplib::MultipartFormData& file) {
                parts.push_back({file.name, file.filename, ""});
                return true;
            },
            [&](const char* data, size_t length) {
                parts.back().content.append(data, length);
                return true;
            });
        return parts;
    }

    httplib::Server m_server;
    int m_nPort = 0;
    std::thread m_thread;
    std::mutex m_lock;
    std::deque<std::string> m_replies;
    std::vector<std::vector<Part>> m_reports;
    std::vector<std::vector<Part>> m_uploads;
};
