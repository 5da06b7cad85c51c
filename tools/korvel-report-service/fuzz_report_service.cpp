// libFuzzer target: raw HTTP requests through httplib's parser and the
// service's handlers, against a store in a scratch folder.
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "http_server.h"
#include "report_service.h"

namespace {

ReportHttpServer& Server() {
    static ReportService service;
    static ReportHttpServer* server = [] {
        const std::filesystem::path dir =
            std::filesystem::temp_directory_path() / ("korvel-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        ServiceOptions options;
        options.dbPath = (dir / "reports.db").string();
        options.maxLogBytes = 64 * 1024;
        options.maxPostsPerMinute = 0;  // one address posts everything here
        std::string error;
        if (!service.Open(options, error))
            abort();
        return new ReportHttpServer(service);
    }();
    return *server;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);
    const std::string reply = Server().HandleRaw(raw);
    // Every answer the service writes is a complete HTTP response.
    if (!reply.empty() && reply.rfind("HTTP/1.1 ", 0) != 0)
        abort();
    return 0;
}
