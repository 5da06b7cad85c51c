// One simulated installer: posts status reports (and every few reports an
// install log) to the report service, each on a connection of its own as
// the installer's reporter posts them, and records each post's latency.
// Thread rule: one client per thread; the shared stop flag is atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct LoadOptions {
    // Service instances; client N posts to instance N modulo their count.
    std::vector<std::string> baseUrls = {"http://127.0.0.1:18090"};
    int clients = 200;
    int seconds = 30;
    int logEvery = 4;         // one log upload after this many reports
    size_t logBytes = 16384;  // size of each uploaded log
    long timeoutSec = 30;     // per post
};

struct ClientTally {
    uint64_t reportsAcked = 0;  // replies {"result":{"res":true}}
    uint64_t logsAcked = 0;
    uint64_t refused = 0;  // answered, but not accepted
    uint64_t transportErrors = 0;
    std::vector<double> latenciesMs;  // every post, accepted or not
};

// Posts until `stop` is set; `id` makes the client's run uuids unique.
void RunLoadClient(const LoadOptions& options, int id, const std::atomic<bool>& stop,
                   ClientTally& tally);
