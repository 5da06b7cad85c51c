// A report service on a free loopback port for the service tests, and the
// posts an installer makes.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>
#include <string>

#include "http_server.h"
#include "report_service.h"

namespace service_test {

constexpr const char* kRunUuid = "89ABCDEF0123456789ABCDEF01234567";

// A report document of one run; `extra` holds further members (",\"k\":v").
inline std::string ReportJson(const std::string& status, const std::string& uuid = kRunUuid,
                              const std::string& extra = "") {
    return "{\"version\":1015,\"uuid\":\"" + uuid + "\",\"app_id\":\"Korvel 12\"," +
           "\"install_status\":\"" + status + "\"" + extra + "}";
}

inline httplib::Result PostReport(httplib::Client& client, const std::string& json) {
    return client.Post("/api/install/online.php",
                       httplib::MultipartFormDataItems{{"json_data", json, "", ""},
                                                       {"app_id", "Korvel 12", "", ""}});
}

inline httplib::Result PostLog(httplib::Client& client, const std::string& content,
                               const std::string& uuid = kRunUuid) {
    return client.Post("/api/install/index_log.php",
                       httplib::MultipartFormDataItems{
                           {"app_id", "Korvel 12", "", ""},
                           {"log_type", "downLoad_fail", "", ""},
                           {"install_log", content, uuid, "application/octet-stream"}});
}

inline int Status(const httplib::Result& result) {
    return result ? result->status : -1;
}

// A service with its HTTP server, serving until destroyed.
class RunningService {
public:
    RunningService(const ServiceOptions& options, HttpOptions http = {}) {
        std::string error;
        m_bOpen = service.Open(options, error);
        EXPECT_TRUE(m_bOpen) << error;
        server = std::make_unique<ReportHttpServer>(service, std::move(http));
        port = server->Bind("127.0.0.1", 0);
        EXPECT_GT(port, 0);
        server->Start();
    }
    bool IsServing() const { return m_bOpen && port > 0; }
    std::unique_ptr<httplib::Client> Client() const {
        return std::make_unique<httplib::Client>("127.0.0.1", port);
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }

    ReportService service;
    std::unique_ptr<ReportHttpServer> server;
    int port = 0;

private:
    bool m_bOpen = false;
};

}  // namespace service_test
