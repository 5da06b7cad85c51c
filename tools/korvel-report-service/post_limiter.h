// Per-client-address bound on posts: a token bucket per address that holds
// one minute's allowance and refills continuously, so a burst of an
// installer's retries passes while one client in a loop is slowed to the
// bound.
// Thread rule: Admit may be called from any thread (one lock).
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

class PostLimiter {
public:
    // Milliseconds of a steady clock; tests pass their own.
    using Clock = std::function<int64_t()>;

    // postsPerMinute 0 admits everything.
    explicit PostLimiter(int postsPerMinute, Clock clock = {});

    // True when `address` may post now; takes one post from its allowance.
    bool Admit(const std::string& address);

private:
    struct Bucket {
        double tokens = 0;
        int64_t updatedMs = 0;
    };
    void Refill(Bucket& bucket, int64_t nowMs) const;
    void DropIdle(int64_t nowMs);

    const int m_nPerMinute;
    Clock m_clock;
    std::mutex m_lock;  // guards m_buckets and m_nLastSweepMs
    std::unordered_map<std::string, Bucket> m_buckets;
    int64_t m_nLastSweepMs = INT64_MIN / 2;
};
