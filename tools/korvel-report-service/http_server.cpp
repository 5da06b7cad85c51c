// The only translation unit of the service that includes httplib.h.
#include "http_server.h"

#include <httplib.h>

#include <chrono>
#include <cstring>

#include "report_service.h"

namespace {

// Headroom above the log limit for the other parts and the multipart framing.
constexpr size_t kFormOverhead = 1024 * 1024;
constexpr const char* kReportPath = "/api/install/online.php";
constexpr const char* kLogPath = "/api/install/index_log.php";
constexpr int kListenBacklog = 256;

std::vector<FormField> ToFields(const httplib::Request& req) {
    std::vector<FormField> fields;
    for (const auto& [name, part] : req.files) {
        fields.push_back({part.name, part.filename, part.content_type, part.content});
    }
    return fields;
}

void Send(httplib::Response& res, const ServiceReply& reply) {
    res.status = reply.status;
    res.set_content(reply.body, reply.contentType.c_str());
}

// A request held in memory: reads come from the text, writes go to `out`.
class MemoryStream : public httplib::Stream {
public:
    MemoryStream(const std::string& in, std::string& out, std::string addr)
        : m_in(in), m_out(out), m_addr(std::move(addr)) {}
    bool is_readable() const override { return true; }
    bool is_writable() const override { return true; }
    ssize_t read(char* ptr, size_t size) override {
        const size_t n = std::min(size, m_in.size() - m_pos);
        memcpy(ptr, m_in.data() + m_pos, n);
        m_pos += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        m_out.append(ptr, size);
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = m_addr;
        port = 40000;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 0;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

private:
    const std::string& m_in;
    std::string& m_out;
    std::string m_addr;
    size_t m_pos = 0;
};

// What the service needs beyond httplib's public face, for both server kinds.
class ServerExtras {
public:
    virtual ~ServerExtras() = default;
    virtual void WidenBacklog() = 0;
    virtual std::string Process(const std::string& raw, const std::string& addr) = 0;
};

template <class Base>
class ServiceServer : public Base, public ServerExtras {
public:
    using Base::Base;

    // httplib listens with a backlog of 5; a burst of installers closing at
    // once would overflow it and see reset connections.
    void WidenBacklog() override {
        const socket_t sock = this->svr_sock_;
        if (sock != INVALID_SOCKET)
            ::listen(sock, kListenBacklog);
    }

    // Runs httplib's own request processing on an in-memory stream.
    std::string Process(const std::string& raw, const std::string& addr) override {
        std::string out;
        MemoryStream stream(raw, out, addr);
        bool closed = false;
        this->process_request(stream, true, closed,
                              [&](httplib::Request& req) { req.remote_addr = addr; });
        return out;
    }
};

bool IsPostEndpoint(const httplib::Request& req) {
    return req.method == "POST" && (req.path == kReportPath || req.path == kLogPath);
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

// Plain HTTP, or HTTPS when certificate and key are given.
std::unique_ptr<httplib::Server> MakeServer(const TlsFiles& tls, ServerExtras*& extras) {
    if (tls.certFile.empty()) {
        auto plain = std::make_unique<ServiceServer<httplib::Server>>();
        extras = plain.get();
        return plain;
    }
    auto secure = std::make_unique<ServiceServer<httplib::SSLServer>>(tls.certFile.c_str(),
                                                                      tls.keyFile.c_str());
    extras = secure.get();
    return secure;
}

struct ReportHttpServer::Impl {
    Impl(ReportService& s, HttpOptions o)
        : service(s),
          options(std::move(o)),
          owned(MakeServer(options.tls, extras)),
          server(*owned),
          secure(!options.tls.certFile.empty()) {}
    void Route();
    void GuardReads();
    std::string ClientAddress(const httplib::Request& req) const;
    ReportService& service;
    const HttpOptions options;
    ServerExtras* extras = nullptr;
    std::unique_ptr<httplib::Server> owned;
    httplib::Server& server;
    const bool secure;
};

std::string ReportHttpServer::Impl::ClientAddress(const httplib::Request& req) const {
    if (options.trustedProxy.empty() || req.remote_addr != options.trustedProxy ||
        !req.has_header("X-Forwarded-For")) {
        return req.remote_addr;
    }
    // The proxy appends the address it saw; earlier entries are the client's word.
    const std::string forwarded = req.get_header_value("X-Forwarded-For");
    const size_t comma = forwarded.rfind(',');
    const std::string last =
        Trim(comma == std::string::npos ? forwarded : forwarded.substr(comma + 1));
    return last.empty() ? req.remote_addr : last;
}

// Every request but the two posts needs the vendor token; the refusal says
// nothing about the data.
void ReportHttpServer::Impl::GuardReads() {
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (IsPostEndpoint(req) || options.readAccess.Allows(req.get_header_value("Authorization")))
            return httplib::Server::HandlerResponse::Unhandled;
        res.set_header("WWW-Authenticate", "Basic realm=\"Korvel reports\", charset=\"UTF-8\"");
        Send(res, ReportService::Rejected(401, "authorization required"));
        return httplib::Server::HandlerResponse::Handled;
    });
}

void ReportHttpServer::Impl::Route() {
    server.set_payload_max_length(service.MaxLogBytes() + kFormOverhead);
    GuardReads();
    server.Post(kReportPath, [this](const httplib::Request& req, httplib::Response& res) {
        if (!req.is_multipart_form_data()) {
            return Send(res, ReportService::Rejected(400, "expected multipart/form-data"));
        }
        Send(res, service.HandleReport(ToFields(req), ClientAddress(req)));
    });
    server.Post(kLogPath, [this](const httplib::Request& req, httplib::Response& res) {
        if (!req.is_multipart_form_data()) {
            return Send(res, ReportService::Rejected(400, "expected multipart/form-data"));
        }
        Send(res, service.HandleLogUpload(ToFields(req), ClientAddress(req)));
    });
    server.Get("/", [this](const httplib::Request& req, httplib::Response& res) {
        Send(res, service.HandlePage(req.get_param_value("days")));
    });
    server.Get("/api/install/reports.json",
               [this](const httplib::Request&, httplib::Response& res) {
                   Send(res, service.HandleReportsJson());
               });
    server.Get(R"(/logs/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
        Send(res, service.HandleLogDownload(req.matches[1]));
    });
    // Requests httplib refuses itself (bad multipart, too large, unknown path)
    // still get the service's JSON answer; an oversized body counts as a bad request.
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            const int status = res.status == 413 ? 400 : res.status;
            const std::string reason = res.status == 413   ? "request too large"
                                       : res.status == 404 ? "not found"
                                                           : "bad request";
            Send(res, ReportService::Rejected(status, reason));
            return httplib::Server::HandlerResponse::Handled;
        }));
}

ReportHttpServer::ReportHttpServer(ReportService& service, HttpOptions options)
    : m_impl(new Impl(service, std::move(options))) {
    m_impl->Route();
}

bool ReportHttpServer::IsValid() const {
    return !m_impl->secure || static_cast<httplib::SSLServer&>(m_impl->server).is_valid();
}

ReportHttpServer::~ReportHttpServer() {
    Stop();
    if (m_thread.joinable())
        m_thread.join();
}

int ReportHttpServer::Bind(const std::string& host, int port) {
    int bound = -1;
    if (port == 0) {
        bound = m_impl->server.bind_to_any_port(host);
    } else if (m_impl->server.bind_to_port(host, port)) {
        bound = port;
    }
    if (bound > 0)
        m_impl->extras->WidenBacklog();
    return bound;
}

bool ReportHttpServer::Run() {
    return m_impl->server.listen_after_bind();
}

void ReportHttpServer::Start() {
    m_thread = std::thread([this] { m_impl->server.listen_after_bind(); });
    // stop() is a no-op until the accept loop runs, so wait for it.
    for (int i = 0; i < 5000 && !m_impl->server.is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void ReportHttpServer::Stop() {
    m_impl->server.stop();
}

std::string ReportHttpServer::HandleRaw(const std::string& rawRequest,
                                        const std::string& clientAddr) {
    return m_impl->extras->Process(rawRequest, clientAddr);
}

bool ParseListenAddress(const std::string& text, std::string& host, int& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size())
        return false;
    host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const std::string portText = text.substr(colon + 1);
    if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    port = std::stoi(portText);
    return port <= 65535 && !host.empty();
}
