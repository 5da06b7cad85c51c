// korvel-report-service: the vendor's web service that receives the
// installers' status reports and install logs.
//   korvel-report-service [--listen ADDR:PORT] [--db FILE] [--log-dir DIR] [--max-log-bytes N]
//                         [--tls-cert FILE --tls-key FILE]
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "http_server.h"
#include "report_service.h"

namespace {

void Usage() {
    fprintf(stderr,
            "usage: korvel-report-service [--listen ADDR:PORT] [--db FILE] [--log-dir DIR]"
            " [--max-log-bytes N]\n"
            "                             [--tls-cert FILE --tls-key FILE]\n"
            "  --listen         address to serve on, port 0 picks a free port (127.0.0.1:18090)\n"
            "  --db             SQLite database of the reports (korvel-reports.db)\n"
            "  --log-dir        folder for uploaded install logs (korvel-logs)\n"
            "  --max-log-bytes  largest accepted log upload (10485760)\n"
            "  --tls-cert       PEM certificate (chain): serve HTTPS instead of HTTP\n"
            "  --tls-key        PEM private key of that certificate\n");
}

struct Arguments {
    std::string listen = "127.0.0.1:18090";
    ServiceOptions options;
    TlsFiles tls;
};

bool ParseArguments(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h")
            return false;
        if (i + 1 >= argc) {
            fprintf(stderr, "korvel-report-service: %s needs a value\n", flag.c_str());
            return false;
        }
        const std::string value = argv[++i];
        if (flag == "--listen") {
            args.listen = value;
        } else if (flag == "--tls-cert") {
            args.tls.certFile = value;
        } else if (flag == "--tls-key") {
            args.tls.keyFile = value;
        } else if (flag == "--db") {
            args.options.dbPath = value;
        } else if (flag == "--log-dir") {
            args.options.logDir = value;
        } else if (flag == "--max-log-bytes") {
            char* end = nullptr;
            const unsigned long long n = strtoull(value.c_str(), &end, 10);
            if (value.empty() || *end || n == 0) {
                fprintf(stderr, "korvel-report-service: bad --max-log-bytes %s\n", value.c_str());
                return false;
            }
            args.options.maxLogBytes = static_cast<size_t>(n);
        } else {
            fprintf(stderr, "korvel-report-service: unknown option %s\n", flag.c_str());
            return false;
        }
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
    // Block the stop signals before any thread starts; one thread waits for them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    ReportService service;
    std::string error;
    if (!service.Open(args.options, error)) {
        fprintf(stderr, "korvel-report-service: %s\n", error.c_str());
        return 1;
    }
    if (args.tls.certFile.empty() != args.tls.keyFile.empty()) {
        fprintf(stderr, "korvel-report-service: --tls-cert and --tls-key go together\n");
        return 2;
    }
    ReportHttpServer server(service, args.tls);
    if (!server.IsValid()) {
        fprintf(stderr, "korvel-report-service: cannot use certificate %s with key %s\n",
                args.tls.certFile.c_str(), args.tls.keyFile.c_str());
        return 1;
    }
    const int bound = server.Bind(host, port);
    if (bound <= 0) {
        fprintf(stderr, "korvel-report-service: cannot listen on %s\n", args.listen.c_str());
        return 1;
    }
    const bool v6 = host.find(':') != std::string::npos;
    printf("korvel-report-service listening on %s://%s%s%s:%d\n",
           args.tls.certFile.empty() ? "http" : "https", v6 ? "[" : "", host.c_str(), v6 ? "]" : "",
           bound);
    fflush(stdout);
    server.Start();
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    printf("korvel-report-service stopped (signal %d)\n", signal);
    return 0;
}
