// Resuming: the blocks an earlier run left in the destination file are kept
// when their digest proves them, and only the missing blocks are fetched.
#include <algorithm>
#include <cstring>
#include <thread>

#include "download/downloader_curl.h"
#include "platform/log.h"
#include "platform/system.h"

std::vector<std::pair<uint32_t, uint32_t>> LayOutRanges(
    const std::vector<std::pair<uint32_t, uint32_t>>& spans, size_t count) {
    if (spans.size() >= count)
        return spans;
    // Each further transfer goes to the span with the most bytes per transfer.
    std::vector<uint64_t> parts(spans.size(), 1);
    for (size_t extra = count - spans.size(); extra > 0; --extra) {
        size_t best = 0;
        uint64_t bestShare = 0;
        for (size_t i = 0; i < spans.size(); ++i) {
            const uint64_t share = (uint64_t{spans[i].second} - spans[i].first + 1) / parts[i];
            if (share > bestShare) {
                bestShare = share;
                best = i;
            }
        }
        if (bestShare <= 1)
            break;  // no span has a byte to spare for another transfer
        ++parts[best];
    }
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (size_t i = 0; i < spans.size(); ++i) {
        const uint64_t length = uint64_t{spans[i].second} - spans[i].first + 1;
        const uint64_t piece = length / parts[i];
        for (uint64_t j = 0; j < parts[i]; ++j) {
            const uint64_t first = spans[i].first + j * piece;
            const uint64_t last = j + 1 == parts[i] ? spans[i].second : first + piece - 1;
            out.emplace_back(static_cast<uint32_t>(first), static_cast<uint32_t>(last));
        }
    }
    return out;
}

int64_t DownloaderCurl::ReadExistingFile(const std::string& path, uint32_t total) {
    // The image cannot be freed meanwhile: a stop waits for this lock.
    std::lock_guard<std::mutex> reading(m_imageReadLock);
    if (!image)
        return 0;
    return std::max<int64_t>(ReadRegularFile(path, image.get(), total), 0);
}

std::vector<DownloaderCurl::ByteSpan> DownloaderCurl::PlanResume(uint64_t existing) {
    const uint32_t total = totalBytes;
    const size_t blocks = BlockCount(total);
    // Only whole blocks with a digest can be proven; the torn last one of an
    // interrupted run is fetched again.
    size_t candidates = std::min(task.blockHashes.size(), blocks);
    while (candidates > 0 &&
           std::min<uint64_t>(uint64_t{candidates} * kBlockSize, total) > existing) {
        --candidates;
    }
    m_provingBlocks = candidates;
    for (size_t k = 0; k < candidates; ++k)
        m_verifier.SetStatus(
            k, BlockVerifier::kHashing);  // the block checker leaves them to the prover
    const uint64_t firstMissing = uint64_t{candidates} * kBlockSize;
    if (firstMissing >= total)
        return {};
    // A torn block's stale bytes are not evidence of anything.
    if (existing > firstMissing)
        memset(image.get() + firstMissing, 0, std::min<uint64_t>(existing, total) - firstMissing);
    return {{static_cast<uint32_t>(firstMissing), total - 1}};
}

void DownloaderCurl::ProveExistingBlocks() {
    const uint32_t total = totalBytes;
    const size_t candidates = m_provingBlocks;
    std::vector<char> good;
    {
        std::lock_guard<std::mutex> reading(m_imageReadLock);
        if (!image)
            return;
        std::vector<size_t> blocks(candidates);
        for (size_t k = 0; k < candidates; ++k)
            blocks[k] = k;
        // Two threads halve the wait on a large file; a small one is not worth it.
        good = BlockVerifier::HashBlocks(image.get(), total, task.blockHashes, blocks, 8);
    }
    // The engine lock only after the image lock is let go: lock order.
    AutoMutex lock(m_hMutex);
    ApplyProvenBlocks(good);
}

void DownloaderCurl::ApplyProvenBlocks(const std::vector<char>& good) {
    m_resumeProving = false;
    if (!running || !image || m_bStopped)
        return;
    const uint32_t total = totalBytes;
    std::vector<ByteSpan> missing;
    uint64_t keptBytes = 0;
    int keptCount = 0;
    for (size_t k = 0; k < good.size(); ++k) {
        const auto [first, last] = BlockVerifier::BlockSpan(k, total);
        const bool kept = good[k] != 0;
        m_verifier.SetStatus(k, kept ? BlockVerifier::kGood : BlockVerifier::kUnknown);
        if (kept) {
            keptBytes += uint64_t{last} - first + 1;
            ++keptCount;
            continue;
        }
        // Whatever an earlier run left here is not proven: it is fetched anew.
        memset(image.get() + first, 0, uint64_t{last} - first + 1);
        if (!missing.empty() && missing.back().second + 1 == first) {
            missing.back().second = last;
        } else {
            missing.emplace_back(first, last);
        }
    }
    WriteLog("Download resume : kept %d of %d blocks.\n", keptCount,
             static_cast<int>(BlockCount(total)));
    m_keptBytes = static_cast<uint32_t>(keptBytes);
    // Progress was held back while the blocks were proven: the window's
    // percentage starts where the earlier run stopped, then moves on.
    downloadedBytes = static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{downloadedBytes} + keptBytes, totalBytes));
    RaiseEvent(kEventProgress, static_cast<int>(keptBytes), static_cast<int>(total));
    if (downloadedBytes > keptBytes)
        RaiseEvent(kEventProgress, static_cast<int>(downloadedBytes.load()),
                   static_cast<int>(total));
    if (!missing.empty())
        StartRanges(missing);
    TryComplete();
}

void DownloaderCurl::StartPendingRanges() {
    const size_t mirrors = m_vecUrlCfg.size();
    while (!m_pendingRanges.empty() && CountRunning() < itemCount && !m_ranges.Empty() &&
           mirrors > 0) {
        const ByteSpan range = m_pendingRanges.front();
        m_pendingRanges.pop_front();
        const char* url = GetBestURL(nullptr);
        if (!url)
            url = m_vecUrlCfg[m_ranges.Size() % mirrors].url;
        DownloadItem* next = AddItem(m_ranges.First(), range.first, range.second, url);
        BeginDownloadItem(next);
    }
}
