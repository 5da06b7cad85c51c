// Mirror simulator: HTTP listeners on loopback addresses, each one mirror with
// its own faults, serving files below /download/, "/flag.php" and "/status".
// Used by the engine tests in-process and by the korvel-mirror tool.
//
// Threads: each listener runs an accept thread and one thread per connection;
// Stop() (or the destructor) shuts every connection down and joins them all.
// Settings may be changed while running (UpdateSettings); Requests() may be
// read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace korvel_mirror {

// What a mirror does, and how it misbehaves.
struct MirrorSettings {
    std::string address = "127.0.0.1";
    int port = 0;                          // 0: the system chooses
    uint64_t rateBytesPerSec = 0;          // per connection; 0 unlimited
    uint32_t latencyMs = 0;                // before every response
    int64_t stallAfter = -1;               // body bytes, then the connection is held open silent
    int64_t resetAfter = -1;               // body bytes, then the connection is reset
    std::vector<uint64_t> corruptOffsets;  // file offsets sent with their bits flipped
    bool ignoreRange = false;              // answer ranged GETs with 200 and the whole file
    int errorStatus = 0;                   // answer file GETs with this status and an HTML page
    int64_t headLength = -1;               // Content-Length announced on HEAD; -1 the true size
    bool refuse = false;                   // bound but not listening: connections are refused
    std::string flagBody = "10";           // body of /flag.php
    // Both set: the mirror speaks HTTPS with this PEM certificate and key.
    std::string tlsCert;
    std::string tlsKey;
};

// One request as the mirror saw it.
struct RequestRecord {
    std::string method;
    std::string path;
    bool hasRange = false;
    uint64_t rangeStart = 0;
    uint64_t rangeEnd = 0;  // inclusive; UINT64_MAX for an open range
    int status = 0;
    uint64_t bodyBytesSent = 0;
};

typedef std::map<std::string, std::shared_ptr<const std::string>> FileSet;

// Deterministic pseudo-random content of the given size.
std::shared_ptr<const std::string> MakeContent(size_t size, uint64_t seed);

// Parses "key=value" options of one mirror ("127.0.0.11:8080,rate=4000000,stall=100";
// an IPv6 address in brackets: "[::1]:8080");
// false with a message for an unknown or malformed option.
bool ParseMirrorOptions(const std::string& options, MirrorSettings& out, std::string& error);

class MirrorServer {
public:
    MirrorServer(const MirrorSettings& settings, std::shared_ptr<const FileSet> files);
    ~MirrorServer();
    MirrorServer(const MirrorServer&) = delete;
    MirrorServer& operator=(const MirrorServer&) = delete;

    bool Start(std::string& error);
    void Stop();

    int Port() const { return m_port; }
    const std::string& Address() const { return m_address; }
    std::string BaseUrl() const;                         // "http://addr:port", "https://[v6]:port"
    std::string FileUrl(const std::string& name) const;  // ".../download/name"

    void UpdateSettings(const std::function<void(MirrorSettings&)>& change);
    MirrorSettings Settings() const;
    std::vector<RequestRecord> Requests() const;
    std::string StatusJson() const;

private:
    struct Request;
    void AcceptLoop();
    void Serve(int fd);
    void RelayTls(int outer, int inner);
    bool ReadRequest(int fd, std::string& buffer, Request& req);
    bool Respond(int fd, const Request& req);
    bool SendFile(int fd, const Request& req, const std::string& content, const MirrorSettings& s);
    bool SendBody(int fd, const std::string& content, uint64_t first, uint64_t length,
                  const MirrorSettings& s, size_t record);
    bool SendAll(int fd, const char* data, size_t n);
    void HoldOpen(int fd);
    size_t Record(const RequestRecord& r);
    void SetRecord(size_t index, int status, uint64_t sent);

    MirrorSettings m_settings;
    std::shared_ptr<const FileSet> m_files;
    std::string m_address;
    int m_port = 0;
    int m_listenFd = -1;
    std::shared_ptr<void> m_tls;  // SSL_CTX of an HTTPS mirror
    std::atomic<bool> m_stop{false};
    std::thread m_acceptThread;
    mutable std::mutex m_lock;  // settings, records, connections
    std::vector<RequestRecord> m_records;
    std::vector<std::thread> m_connections;
    std::set<int> m_openFds;
};

// Several mirrors over one file set.
class MirrorSet {
public:
    explicit MirrorSet(FileSet files = FileSet());
    ~MirrorSet() { StopAll(); }
    void AddFile(const std::string& name, std::shared_ptr<const std::string> content);
    // Starts a mirror; null with the error when it could not start.
    MirrorServer* Add(const MirrorSettings& settings, std::string* error = nullptr);
    void StopAll();
    size_t Size() const { return m_servers.size(); }
    MirrorServer& At(size_t i) { return *m_servers.at(i); }

private:
    std::shared_ptr<FileSet> m_files;
    std::vector<std::unique_ptr<MirrorServer>> m_servers;
};

}  // namespace korvel_mirror
