// HTTP transport of the report service (cpp-httplib): routes, multipart
// parsing, size limits and JSON error bodies for everything httplib rejects.
// Thread rule: Bind, Start, Run and Stop from one owning thread; requests are
// served on httplib's worker pool and go to the ReportService concurrently.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "read_access.h"

class ReportService;

// Both set: the server speaks HTTPS with this PEM certificate and key.
struct TlsFiles {
    std::string certFile;
    std::string keyFile;
};

struct HttpOptions {
    // Reads (everything but the two posts) need the token it holds; open without one.
    ReadAccess readAccess;
    // A TLS proxy in front: requests from this peer address carry the
    // installer's address as the last entry of X-Forwarded-For.
    std::string trustedProxy;
    // Served over HTTPS when set.
    TlsFiles tls;
};

class ReportHttpServer {
public:
    explicit ReportHttpServer(ReportService& service, HttpOptions options = {});
    // False when the TLS certificate or key could not be used.
    bool IsValid() const;
    ~ReportHttpServer();  // stops and joins a server started with Start
    ReportHttpServer(const ReportHttpServer&) = delete;
    ReportHttpServer& operator=(const ReportHttpServer&) = delete;

    // Binds host:port (port 0: any free port); the bound port, or -1.
    int Bind(const std::string& host, int port);
    // Serves until Stop; returns false when the server could not run.
    bool Run();
    // Serves on a thread of its own.
    void Start();
    void Stop();

    // One raw HTTP request handled in-process without a socket (tests, fuzzing);
    // returns the raw response bytes.
    std::string HandleRaw(const std::string& rawRequest,
                          const std::string& clientAddr = "127.0.0.1");

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::thread m_thread;
};

// "ADDR:PORT" or "[v6]:PORT" into host and port; false when malformed.
bool ParseListenAddress(const std::string& text, std::string& host, int& port);
