// korvel-load: N concurrent clients posting reports and logs to the report
// service for a while; prints one JSON line with what was acknowledged and
// the latency percentiles.
//   korvel-load [--url http://HOST:PORT[,http://HOST2:PORT2…]] [--clients N] [--seconds S]
//               [--log-every K]
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tools/korvel-load/load_client.h"

namespace {

bool ParseInt(const char* text, int& out) {
    char* end = nullptr;
    const long v = strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 100000)
        return false;
    out = static_cast<int>(v);
    return true;
}

// "URL[,URL…]" into its non-empty entries.
std::vector<std::string> SplitUrls(const std::string& text) {
    std::vector<std::string> urls;
    size_t begin = 0;
    while (begin <= text.size()) {
        const size_t comma = std::min(text.find(',', begin), text.size());
        if (comma > begin)
            urls.push_back(text.substr(begin, comma - begin));
        begin = comma + 1;
    }
    return urls;
}

bool ParseArguments(int argc, char** argv, LoadOptions& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        const char* value = argv[i + 1];
        int n = 0;
        if (flag == "--url") {
            o.baseUrls = SplitUrls(value);
            if (o.baseUrls.empty()) {
                fprintf(stderr, "korvel-load: bad --url %s\n", value);
                return false;
            }
        } else if (flag == "--clients" && ParseInt(value, n) && n > 0) {
            o.clients = n;
        } else if (flag == "--seconds" && ParseInt(value, n) && n > 0) {
            o.seconds = n;
        } else if (flag == "--log-every" && ParseInt(value, n)) {
            o.logEvery = n;
        } else {
            fprintf(stderr, "korvel-load: bad option %s %s\n", flag.c_str(), value);
            return false;
        }
    }
    return argc % 2 == 1;
}

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0;
    const size_t at = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(at, sorted.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    LoadOptions o;
    if (!ParseArguments(argc, argv, o)) {
        fprintf(stderr,
                "usage: korvel-load [--url http://HOST:PORT[,...]] [--clients N] [--seconds S]"
                " [--log-every K]\n");
        return 2;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::atomic<bool> stop{false};
    std::vector<ClientTally> tallies(static_cast<size_t>(o.clients));
    std::vector<std::thread> clients;
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < o.clients; ++i) {
        clients.emplace_back(RunLoadClient, std::cref(o), i, std::cref(stop),
                             std::ref(tallies[static_cast<size_t>(i)]));
    }
    std::this_thread::sleep_for(std::chrono::seconds(o.seconds));
    stop = true;
    for (std::thread& t : clients)
        t.join();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    ClientTally all;
    for (const ClientTally& t : tallies) {
        all.reportsAcked += t.reportsAcked;
        all.logsAcked += t.logsAcked;
        all.refused += t.refused;
        all.transportErrors += t.transportErrors;
        all.latenciesMs.insert(all.latenciesMs.end(), t.latenciesMs.begin(), t.latenciesMs.end());
    }
    std::sort(all.latenciesMs.begin(), all.latenciesMs.end());
    printf(
        "{\"clients\":%d,\"instances\":%zu,\"seconds\":%.1f,\"posts\":%zu,\"reports_acked\":%llu,"
        "\"logs_acked\":%llu,\"refused\":%llu,\"transport_errors\":%llu,"
        "\"posts_per_second\":%.1f,\"p50_ms\":%.2f,\"p99_ms\":%.2f,\"max_ms\":%.2f}\n",
        o.clients, o.baseUrls.size(), elapsed, all.latenciesMs.size(),
        static_cast<unsigned long long>(all.reportsAcked),
        static_cast<unsigned long long>(all.logsAcked),
        static_cast<unsigned long long>(all.refused),
        static_cast<unsigned long long>(all.transportErrors),
        static_cast<double>(all.latenciesMs.size()) / elapsed, Percentile(all.latenciesMs, 0.5),
        Percentile(all.latenciesMs, 0.99), all.latenciesMs.empty() ? 0 : all.latenciesMs.back());
    curl_global_cleanup();
    return all.refused == 0 && all.transportErrors == 0 ? 0 : 1;
}
