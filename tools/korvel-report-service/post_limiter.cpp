#include "post_limiter.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

// Beyond this many addresses the buckets that are full again are dropped.
constexpr size_t kMaxTrackedAddresses = 65536;

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

PostLimiter::PostLimiter(int postsPerMinute, Clock clock)
    : m_nPerMinute(postsPerMinute), m_clock(clock ? std::move(clock) : Clock(SteadyMs)) {}

void PostLimiter::Refill(Bucket& bucket, int64_t nowMs) const {
    const double earned = static_cast<double>(std::max<int64_t>(0, nowMs - bucket.updatedMs)) *
                          m_nPerMinute / 60000.0;
    bucket.tokens = std::min<double>(m_nPerMinute, bucket.tokens + earned);
    bucket.updatedMs = nowMs;
}

void PostLimiter::DropIdle(int64_t nowMs) {
    for (auto it = m_buckets.begin(); it != m_buckets.end();) {
        Refill(it->second, nowMs);
        it = it->second.tokens >= m_nPerMinute ? m_buckets.erase(it) : std::next(it);
    }
}

bool PostLimiter::Admit(const std::string& address) {
    if (m_nPerMinute <= 0)
        return true;
    const int64_t nowMs = m_clock();
    std::lock_guard<std::mutex> guard(m_lock);
    // A sweep walks every bucket: at most one a second, however many addresses post.
    if (m_buckets.size() >= kMaxTrackedAddresses && nowMs - m_nLastSweepMs >= 1000) {
        DropIdle(nowMs);
        m_nLastSweepMs = nowMs;
    }
    auto [it, fresh] = m_buckets.try_emplace(address, Bucket{double(m_nPerMinute), nowMs});
    Bucket& bucket = it->second;
    if (!fresh)
        Refill(bucket, nowMs);
    if (bucket.tokens < 1.0)
        return false;
    bucket.tokens -= 1.0;
    return true;
}
