// korvel-report-service: the vendor's web service that receives the
// installers' status reports and install logs.
//   korvel-report-service [--listen ADDR:PORT] [--db FILE|postgresql://…] [options…]
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "http_server.h"
#include "read_access.h"
#include "report_service.h"

namespace {

void Usage() {
    fprintf(stderr,
            "usage: korvel-report-service [--listen ADDR:PORT] [--db FILE|postgresql://...]\n"
            "         [--admin-token-file FILE] [--public-read] [--trusted-proxy ADDR]\n"
            "         [--max-log-bytes N] [--max-log-store-bytes N] [--max-posts-per-minute N]\n"
            "         [--log-dir DIR] [--tls-cert FILE --tls-key FILE]\n"
            "  --listen               address to serve on, port 0 picks a free port "
            "(127.0.0.1:18090)\n"
            "  --db                   SQLite file, or a PostgreSQL URL shared by several "
            "instances\n"
            "                         (korvel-reports.db)\n"
            "  --admin-token-file     file with the vendor token every read needs\n"
            "  --public-read          allow reads without a token on a non-loopback address\n"
            "  --trusted-proxy        peer address of a TLS proxy whose X-Forwarded-For is "
            "believed\n"
            "  --max-log-bytes        largest accepted log upload (10485760)\n"
            "  --max-log-store-bytes  all stored logs together (1073741824)\n"
            "  --max-posts-per-minute posts per client address, 0 for no bound (120)\n"
            "  --log-dir              also write every stored log as a file into DIR\n"
            "  --tls-cert             PEM certificate (chain): serve HTTPS instead of HTTP\n"
            "  --tls-key              PEM private key of that certificate\n");
}

struct Arguments {
    std::string listen = "127.0.0.1:18090";
    std::string tokenFile;
    bool publicRead = false;
    ServiceOptions service;
    HttpOptions http;
};

bool ParseCount(const std::string& flag, const std::string& value, bool allowZero,
                unsigned long long& out) {
    char* end = nullptr;
    errno = 0;
    out = strtoull(value.c_str(), &end, 10);
    if (value.empty() || value[0] == '-' || *end || errno || (out == 0 && !allowZero)) {
        fprintf(stderr, "korvel-report-service: bad %s %s\n", flag.c_str(), value.c_str());
        return false;
    }
    return true;
}

// One option with its value; false (with a message) when it is unknown or bad.
bool ApplyOption(const std::string& flag, const std::string& value, Arguments& args) {
    unsigned long long n = 0;
    if (flag == "--listen") {
        args.listen = value;
    } else if (flag == "--db") {
        args.service.dbPath = value;
    } else if (flag == "--admin-token-file") {
        args.tokenFile = value;
    } else if (flag == "--trusted-proxy") {
        args.http.trustedProxy = value;
    } else if (flag == "--log-dir") {
        args.service.logDir = value;
    } else if (flag == "--tls-cert") {
        args.http.tls.certFile = value;
    } else if (flag == "--tls-key") {
        args.http.tls.keyFile = value;
    } else if (flag == "--max-log-bytes") {
        if (!ParseCount(flag, value, false, n))
            return false;
        args.service.maxLogBytes = static_cast<size_t>(n);
    } else if (flag == "--max-log-store-bytes") {
        if (!ParseCount(flag, value, false, n) || n > INT64_MAX)
            return false;
        args.service.logQuota.nStoreBytes = static_cast<int64_t>(n);
    } else if (flag == "--max-posts-per-minute") {
        if (!ParseCount(flag, value, true, n) || n > 1000000)
            return false;
        args.service.maxPostsPerMinute = static_cast<int>(n);
    } else {
        fprintf(stderr, "korvel-report-service: unknown option %s\n", flag.c_str());
        return false;
    }
    return true;
}

bool ParseArguments(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h")
            return false;
        if (flag == "--public-read") {
            args.publicRead = true;
            continue;
        }
        if (i + 1 >= argc) {
            fprintf(stderr, "korvel-report-service: %s needs a value\n", flag.c_str());
            return false;
        }
        if (!ApplyOption(flag, argv[++i], args))
            return false;
    }
    return true;
}

// The token, and the rule that an address others can reach is not read-open by accident.
bool SetUpReadAccess(Arguments& args, const std::string& host) {
    std::string error;
    if (!args.tokenFile.empty() && !args.http.readAccess.LoadTokenFile(args.tokenFile, error)) {
        fprintf(stderr, "korvel-report-service: %s\n", error.c_str());
        return false;
    }
    if (args.http.readAccess.IsOpen() && !args.publicRead && !IsLoopbackHost(host)) {
        fprintf(stderr,
                "korvel-report-service: %s is reachable from other machines; give "
                "--admin-token-file FILE to protect the reports (or --public-read to serve "
                "them to anyone)\n",
                host.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!ParseArguments(argc, argv, args)) {
        Usage();
        return 2;
    }
    std::string host;
    int port = 0;
    if (!ParseListenAddress(args.listen, host, port)) {
        fprintf(stderr, "korvel-report-service: bad --listen %s\n", args.listen.c_str());
        return 2;
    }
    if (!SetUpReadAccess(args, host))
        return 2;
    // Block the stop signals before any thread starts; one thread waits for them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    ReportService service;
    std::string error;
    if (!service.Open(args.service, error)) {
        fprintf(stderr, "korvel-report-service: %s\n", error.c_str());
        return 1;
    }
    if (args.http.tls.certFile.empty() != args.http.tls.keyFile.empty()) {
        fprintf(stderr, "korvel-report-service: --tls-cert and --tls-key go together\n");
        return 2;
    }
    ReportHttpServer server(service, args.http);
    if (!server.IsValid()) {
        fprintf(stderr, "korvel-report-service: cannot use certificate %s with key %s\n",
                args.http.tls.certFile.c_str(), args.http.tls.keyFile.c_str());
        return 1;
    }
    const int bound = server.Bind(host, port);
    if (bound <= 0) {
        fprintf(stderr, "korvel-report-service: cannot listen on %s\n", args.listen.c_str());
        return 1;
    }
    const bool v6 = host.find(':') != std::string::npos;
    printf("korvel-report-service listening on %s://%s%s%s:%d\n",
           args.http.tls.certFile.empty() ? "http" : "https", v6 ? "[" : "", host.c_str(),
           v6 ? "]" : "", bound);
    fflush(stdout);
    server.Start();
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    printf("korvel-report-service stopped (signal %d)\n", signal);
    return 0;
}
