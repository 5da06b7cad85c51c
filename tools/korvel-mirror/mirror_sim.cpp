// A deliberately small HTTP/1.1 server: the faults need byte-level control of
// each response (announced lengths that lie, resets and stalls mid-body),
// which a general-purpose server library hides.
#include "tools/korvel-mirror/mirror_sim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>

namespace korvel_mirror {

namespace {

constexpr size_t kMaxHeader = 16384;
constexpr int kPollMs = 100;

using Clock = std::chrono::steady_clock;

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ParseUint(const std::string& text, uint64_t& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoull(text);
    return true;
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 404:
            return "Not Found";
        case 416:
            return "Range Not Satisfiable";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

}  // namespace

std::shared_ptr<const std::string> MakeContent(size_t size, uint64_t seed) {
    auto content = std::make_shared<std::string>(size, '\0');
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
    char* p = &(*content)[0];
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        memcpy(p + i, &x, 8);
    }
    for (; i < size; ++i)
        p[i] = static_cast<char>(x >> ((i % 8) * 8));
    return content;
}

bool ParseMirrorOptions(const std::string& options, MirrorSettings& out, std::string& error) {
    std::stringstream parts(options);
    std::string part;
    bool first = true;
    while (std::getline(parts, part, ',')) {
        if (first) {
            first = false;
            const size_t colon = part.rfind(':');
            uint64_t port = 0;
            if (colon == std::string::npos || !ParseUint(part.substr(colon + 1), port) ||
                port > 65535) {
                error = "mirror address must be ADDR:PORT: " + part;
                return false;
            }
            out.address = part.substr(0, colon);
            if (out.address.size() > 2 && out.address.front() == '[' && out.address.back() == ']')
                out.address = out.address.substr(1, out.address.size() - 2);
            out.port = static_cast<int>(port);
            continue;
        }
        const size_t eq = part.find('=');
        const std::string key = part.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : part.substr(eq + 1);
        uint64_t n = 0;
        bool ok = true;
        if (key == "rate") {
            ok = ParseUint(value, n);
            out.rateBytesPerSec = n;
        } else if (key == "latency") {
            ok = ParseUint(value, n);
            out.latencyMs = static_cast<uint32_t>(n);
        } else if (key == "stall") {
            ok = ParseUint(value, n);
            out.stallAfter = static_cast<int64_t>(n);
        } else if (key == "reset") {
            ok = ParseUint(value, n);
            out.resetAfter = static_cast<int64_t>(n);
        } else if (key == "corrupt") {
            std::stringstream offsets(value);
            std::string o;
            while (ok && std::getline(offsets, o, ';')) {
                ok = ParseUint(o, n);
                out.corruptOffsets.push_back(n);
            }
        } else if (key == "ignore-range") {
            out.ignoreRange = true;
        } else if (key == "status") {
            ok = ParseUint(value, n) && n >= 100 && n <= 599;
            out.errorStatus = static_cast<int>(n);
        } else if (key == "head-length") {
            ok = ParseUint(value, n);
            out.headLength = static_cast<int64_t>(n);
        } else if (key == "refuse") {
            out.refuse = true;
        } else if (key == "flag") {
            out.flagBody = value;
        } else if (key == "tls-cert") {
            out.tlsCert = value;
            ok = !value.empty();
        } else if (key == "tls-key") {
            out.tlsKey = value;
            ok = !value.empty();
        } else {
            error = "unknown mirror option: " + key;
            return false;
        }
        if (!ok) {
            error = "bad value for " + key + ": " + value;
            return false;
        }
    }
    if (first) {
        error = "empty mirror options";
        return false;
    }
    return true;
}

struct MirrorServer::Request {
    std::string method;
    std::string path;
    std::string range;
    bool close = false;
};

MirrorServer::MirrorServer(const MirrorSettings& settings, std::shared_ptr<const FileSet> files)
    : m_settings(settings), m_files(std::move(files)), m_address(settings.address) {}

MirrorServer::~MirrorServer() {
    Stop();
}

namespace {

// A bound socket on an IPv4 or IPv6 address; -1 with the error otherwise.
int BindTo(const std::string& address, int port, std::string& error) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        length = sizeof(*v4);
    } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof(*v6);
    } else {
        error = "not an IP address: " + address;
        return -1;
    }
    const int fd = socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        error = "cannot bind " + address + ": " + strerror(errno);
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

int BoundPort(int fd) {
    sockaddr_storage storage{};
    socklen_t length = sizeof(storage);
    getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
    return storage.ss_family == AF_INET6
               ? ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port)
               : ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
}

std::shared_ptr<void> MakeTlsContext(const MirrorSettings& s, std::string& error) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, s.tlsCert.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, s.tlsKey.c_str(), SSL_FILETYPE_PEM) != 1) {
        char text[256] = {0};
        ERR_error_string_n(ERR_get_error(), text, sizeof(text));
        error = "cannot use certificate " + s.tlsCert + " / key " + s.tlsKey + ": " + text;
        SSL_CTX_free(ctx);
        return nullptr;
    }
    return std::shared_ptr<void>(ctx, [](void* p) { SSL_CTX_free(static_cast<SSL_CTX*>(p)); });
}

}  // namespace

bool MirrorServer::Start(std::string& error) {
    if (!m_settings.tlsCert.empty() || !m_settings.tlsKey.empty()) {
        m_tls = MakeTlsContext(m_settings, error);
        if (!m_tls)
            return false;
    }
    m_listenFd = BindTo(m_address, m_settings.port, error);
    if (m_listenFd < 0)
        return false;
    m_port = BoundPort(m_listenFd);
    // A refusing mirror keeps its port bound without listening on it.
    if (m_settings.refuse)
        return true;
    if (listen(m_listenFd, 64) != 0) {
        error = std::string("listen: ") + strerror(errno);
        return false;
    }
    m_acceptThread = std::thread(&MirrorServer::AcceptLoop, this);
    return true;
}

void MirrorServer::Stop() {
    m_stop = true;
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (int fd : m_openFds)
            shutdown(fd, SHUT_RDWR);
        connections.swap(m_connections);
    }
    for (std::thread& t : connections)
        t.join();
    if (m_listenFd >= 0) {
        close(m_listenFd);
        m_listenFd = -1;
    }
}

std::string MirrorServer::BaseUrl() const {
    const bool v6 = m_address.find(':') != std::string::npos;
    return std::string(m_tls ? "https://" : "http://") + (v6 ? "[" + m_address + "]" : m_address) +
           ":" + std::to_string(m_port);
}

std::string MirrorServer::FileUrl(const std::string& name) const {
    return BaseUrl() + "/download/" + name;
}

void MirrorServer::UpdateSettings(const std::function<void(MirrorSettings&)>& change) {
    std::lock_guard<std::mutex> lock(m_lock);
    change(m_settings);
}

MirrorSettings MirrorServer::Settings() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_settings;
}

std::vector<RequestRecord> MirrorServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_records;
}

std::string MirrorServer::StatusJson() const {
    std::lock_guard<std::mutex> lock(m_lock);
    std::map<std::string, int> byMethod;
    uint64_t sent = 0;
    int ranged = 0;
    for (const RequestRecord& r : m_records) {
        ++byMethod[r.method];
        sent += r.bodyBytesSent;
        if (r.hasRange)
            ++ranged;
    }
    std::ostringstream out;
    out << "{\"mirror\":\"" << m_address << ":" << m_port << "\",\"requests\":" << m_records.size()
        << ",\"get\":" << byMethod["GET"] << ",\"head\":" << byMethod["HEAD"]
        << ",\"ranged\":" << ranged << ",\"body_bytes\":" << sent << "}";
    return out.str();
}

size_t MirrorServer::Record(const RequestRecord& r) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_records.push_back(r);
    return m_records.size() - 1;
}

void MirrorServer::SetRecord(size_t index, int status, uint64_t sent) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (status >= 0)
        m_records[index].status = status;
    m_records[index].bodyBytesSent = sent;
}

void MirrorServer::AcceptLoop() {
    while (!m_stop) {
        pollfd p{m_listenFd, POLLIN, 0};
        if (poll(&p, 1, kPollMs) <= 0)
            continue;
        int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, 1 /* TCP_NODELAY */, &one, sizeof(one));
        std::lock_guard<std::mutex> lock(m_lock);
        m_openFds.insert(fd);
        if (!m_tls) {
            m_connections.emplace_back(&MirrorServer::Serve, this, fd);
            continue;
        }
        // TLS ends here; the HTTP code serves the plain side of a socket pair,
        // so every fault behaves as on a plain mirror.
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
            m_openFds.erase(fd);
            close(fd);
            continue;
        }
        m_openFds.insert(pair[0]);
        m_openFds.insert(pair[1]);
        m_connections.emplace_back(&MirrorServer::Serve, this, pair[0]);
        m_connections.emplace_back(&MirrorServer::RelayTls, this, fd, pair[1]);
    }
}

void MirrorServer::RelayTls(int outer, int inner) {
    // A client gone mid-write must not end the process with SIGPIPE (OpenSSL
    // writes with plain send); blocked here, it stays pending on this thread.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(m_tls.get()));
    timeval handshakeLimit{5, 0};
    setsockopt(outer, SOL_SOCKET, SO_RCVTIMEO, &handshakeLimit, sizeof(handshakeLimit));
    if (ssl && SSL_set_fd(ssl, outer) == 1 && SSL_accept(ssl) == 1) {
        char buf[16384];
        while (!m_stop) {
            if (SSL_pending(ssl) == 0) {
                pollfd p[2] = {{outer, POLLIN, 0}, {inner, POLLIN, 0}};
                if (poll(p, 2, kPollMs) <= 0)
                    continue;
                if (p[1].revents) {
                    const ssize_t n = recv(inner, buf, sizeof(buf), 0);
                    if (n <= 0 || SSL_write(ssl, buf, static_cast<int>(n)) <= 0)
                        break;
                }
                if (!p[0].revents)
                    continue;
            }
            const int n = SSL_read(ssl, buf, sizeof(buf));
            if (n <= 0 || !SendAll(inner, buf, static_cast<size_t>(n)))
                break;
        }
    }
    SSL_free(ssl);
    std::lock_guard<std::mutex> lock(m_lock);
    m_openFds.erase(outer);
    m_openFds.erase(inner);
    close(outer);
    close(inner);
}

void MirrorServer::Serve(int fd) {
    std::string buffer;
    Request req;
    while (!m_stop && ReadRequest(fd, buffer, req)) {
        if (!Respond(fd, req) || req.close)
            break;
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_openFds.erase(fd);
    }
    close(fd);
}

bool MirrorServer::ReadRequest(int fd, std::string& buffer, Request& req) {
    size_t end;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (m_stop || buffer.size() > kMaxHeader)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kPollMs) <= 0)
            continue;
        char chunk[4096];
        ssize_t n = recv(fd, chunk, sizeof(chunk), 0);
        if (n <= 0)
            return false;
        buffer.append(chunk, static_cast<size_t>(n));
    }
    std::istringstream head(buffer.substr(0, end));
    buffer.erase(0, end + 4);
    req = Request();
    std::string line, version;
    std::getline(head, line);
    std::istringstream first(line);
    first >> req.method >> req.path >> version;
    while (std::getline(head, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = Lower(line.substr(0, colon));
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        if (name == "range")
            req.range = value;
        if (name == "connection" && Lower(value) == "close")
            req.close = true;
    }
    return !req.method.empty();
}

bool MirrorServer::SendAll(int fd, const char* data, size_t n) {
    while (n > 0) {
        if (m_stop)
            return false;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, kPollMs) <= 0)
            continue;
        ssize_t w = send(fd, data, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        data += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

void MirrorServer::HoldOpen(int fd) {
    // Silent until the client gives up or the server stops.
    char sink[4096];
    while (!m_stop) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kPollMs) <= 0)
            continue;
        if (recv(fd, sink, sizeof(sink), 0) <= 0)
            return;
    }
}

bool MirrorServer::Respond(int fd, const Request& req) {
    const MirrorSettings s = Settings();
    // In slices, so a stop does not wait out a long latency.
    const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.latencyMs);
    while (!m_stop && std::chrono::steady_clock::now() < due)
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min<uint32_t>(s.latencyMs, kPollMs)));
    if (m_stop)
        return false;
    RequestRecord rec;
    rec.method = req.method;
    rec.path = req.path;
    const bool head = req.method == "HEAD";
    auto simple = [&](int status, const std::string& type, const std::string& body) {
        rec.status = status;
        size_t index = Record(rec);
        std::string out = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
                          "\r\nContent-Type: " + type +
                          "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
        if (!head)
            out += body;
        SetRecord(index, status, head ? 0 : body.size());
        return SendAll(fd, out.data(), out.size());
    };
    if (req.path == "/flag.php")
        return simple(200, "text/plain", s.flagBody);
    if (req.path == "/status")
        return simple(200, "application/json", StatusJson());
    static const std::string kPrefix = "/download/";
    if (req.path.compare(0, kPrefix.size(), kPrefix) == 0) {
        auto it = m_files->find(req.path.substr(kPrefix.size()));
        if (it != m_files->end())
            return SendFile(fd, req, *it->second, s);
    }
    return simple(404, "text/html", "<html><body><h1>404 Not Found</h1></body></html>");
}

bool MirrorServer::SendFile(int fd, const Request& req, const std::string& content,
                            const MirrorSettings& s) {
    const uint64_t size = content.size();
    RequestRecord rec;
    rec.method = req.method;
    rec.path = req.path;
    uint64_t first = 0, last = size ? size - 1 : 0;
    if (req.range.compare(0, 6, "bytes=") == 0) {
        const std::string span = req.range.substr(6);
        const size_t dash = span.find('-');
        uint64_t a = 0, b = UINT64_MAX;
        if (dash != std::string::npos && ParseUint(span.substr(0, dash), a)) {
            rec.hasRange = true;
            rec.rangeStart = a;
            if (!ParseUint(span.substr(dash + 1), b))
                b = UINT64_MAX;
            rec.rangeEnd = b;
        }
    }
    std::ostringstream h;
    int status = 200;
    if (req.method == "GET" && s.errorStatus) {
        const std::string body = "<html><body><h1>" + std::to_string(s.errorStatus) + " " +
                                 Reason(s.errorStatus) + "</h1></body></html>";
        rec.status = s.errorStatus;
        size_t index = Record(rec);
        h << "HTTP/1.1 " << s.errorStatus << " " << Reason(s.errorStatus)
          << "\r\nContent-Type: text/html\r\nContent-Length: " << body.size() << "\r\n\r\n"
          << body;
        SetRecord(index, s.errorStatus, body.size());
        const std::string out = h.str();
        return SendAll(fd, out.data(), out.size());
    }
    if (rec.hasRange && !s.ignoreRange) {
        if (rec.rangeStart >= size || rec.rangeStart > rec.rangeEnd) {
            rec.status = 416;
            SetRecord(Record(rec), 416, 0);
            h << "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" << size
              << "\r\nContent-Length: 0\r\n\r\n";
            const std::string out = h.str();
            return SendAll(fd, out.data(), out.size());
        }
        first = rec.rangeStart;
        last = std::min(rec.rangeEnd, size - 1);
        status = 206;
    }
    const uint64_t length = size ? last - first + 1 : 0;
    const bool head = req.method == "HEAD";
    const uint64_t announced =
        head && s.headLength >= 0 ? static_cast<uint64_t>(s.headLength) : length;
    h << "HTTP/1.1 " << status << " " << Reason(status)
      << "\r\nContent-Type: application/octet-stream\r\nAccept-Ranges: bytes\r\nContent-Length: "
      << announced << "\r\n";
    if (status == 206)
        h << "Content-Range: bytes " << first << "-" << last << "/" << size << "\r\n";
    h << "\r\n";
    rec.status = status;
    const size_t index = Record(rec);
    const std::string out = h.str();
    if (!SendAll(fd, out.data(), out.size()))
        return false;
    if (head)
        return true;
    return SendBody(fd, content, first, length, s, index);
}

bool MirrorServer::SendBody(int fd, const std::string& content, uint64_t first, uint64_t length,
                            const MirrorSettings& s, size_t record) {
    // Rate-limited mirrors send in small slices so the pace stays even.
    const uint64_t slice =
        s.rateBytesPerSec ? std::max<uint64_t>(4096, s.rateBytesPerSec / 50) : (1u << 20);
    const Clock::time_point begin = Clock::now();
    uint64_t sent = 0;
    std::string scratch;
    while (sent < length) {
        uint64_t n = std::min(slice, length - sent);
        if (s.stallAfter >= 0 && sent + n > static_cast<uint64_t>(s.stallAfter)) {
            n = static_cast<uint64_t>(s.stallAfter) > sent ? s.stallAfter - sent : 0;
        }
        if (s.resetAfter >= 0 && sent + n > static_cast<uint64_t>(s.resetAfter)) {
            n = static_cast<uint64_t>(s.resetAfter) > sent ? s.resetAfter - sent : 0;
        }
        if (n == 0)
            break;
        const char* data = content.data() + first + sent;
        for (uint64_t off : s.corruptOffsets) {
            if (off >= first + sent && off < first + sent + n) {
                if (scratch.data() != data)
                    scratch.assign(data, n);
                scratch[off - first - sent] = static_cast<char>(~scratch[off - first - sent]);
                data = scratch.data();
            }
        }
        if (!SendAll(fd, data, n)) {
            SetRecord(record, -1, sent);
            return false;
        }
        sent += n;
        SetRecord(record, -1, sent);
        if (s.rateBytesPerSec) {
            const auto due = begin + std::chrono::microseconds(sent * 1000000 / s.rateBytesPerSec);
            std::this_thread::sleep_until(due);
        }
    }
    if (sent < length && s.resetAfter >= 0 && sent >= static_cast<uint64_t>(s.resetAfter)) {
        linger l{1, 0};  // close with a reset, not an orderly end
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof(l));
        return false;
    }
    if (sent < length) {
        HoldOpen(fd);
        return false;
    }
    return true;
}

MirrorSet::MirrorSet(FileSet files) : m_files(std::make_shared<FileSet>(std::move(files))) {}

void MirrorSet::AddFile(const std::string& name, std::shared_ptr<const std::string> content) {
    (*m_files)[name] = std::move(content);
}

MirrorServer* MirrorSet::Add(const MirrorSettings& settings, std::string* error) {
    auto server = std::make_unique<MirrorServer>(settings, m_files);
    std::string message;
    if (!server->Start(message)) {
        if (error)
            *error = message;
        return nullptr;
    }
    m_servers.push_back(std::move(server));
    return m_servers.back().get();
}

void MirrorSet::StopAll() {
    for (auto& s : m_servers)
        s->Stop();
}

}  // namespace korvel_mirror
