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

std::vector<char> DownloaderCurl::ReadExistingBlocks(const std::string& path,
                                                     const std::vector<std::string>& hashes,
                                                     uint32_t total) {
    const size_t blocks = (uint64_t{total} + kBlockSize - 1) / kBlockSize;
    std::vector<char> kept(blocks, 0);
    // The image cannot be freed meanwhile: a stop waits for this lock.
    std::lock_guard<std::mutex> reading(m_imageReadLock);
    if (!image)
        return kept;
    const int64_t read = ReadRegularFile(path, image.get(), total);
    const uint64_t existing = read > 0 ? static_cast<uint64_t>(read) : 0;
    // Only whole blocks with a digest can be proven; the torn last one of an
    // interrupted run is fetched again.
    size_t candidates = std::min(hashes.size(), blocks);
    while (candidates > 0 &&
           std::min<uint64_t>(uint64_t{candidates} * kBlockSize, total) > existing) {
        --candidates;
    }
    auto hashRange = [this, total, &kept, &hashes](size_t from, size_t to) {
        for (size_t k = from; k < to; ++k) {
            const uint32_t offset = static_cast<uint32_t>(k * kBlockSize);
            const uint32_t length = std::min<uint32_t>(kBlockSize, total - offset);
            kept[k] = BlockMatches(offset, length, hashes[k]) ? 1 : 0;
        }
    };
    // Two threads halve the wait on a large file; a small one is not worth it.
    const size_t half = candidates / 2;
    if (half >= 8) {
        std::thread other(hashRange, half, candidates);
        hashRange(0, half);
        other.join();
    } else {
        hashRange(0, candidates);
    }
    return kept;
}

std::vector<DownloaderCurl::ByteSpan> DownloaderCurl::ApplyKeptBlocks() {
    const uint32_t total = totalBytes;
    std::vector<ByteSpan> missing;
    uint64_t keptBytes = 0;
    int keptCount = 0;
    const size_t blocks = (uint64_t{total} + kBlockSize - 1) / kBlockSize;
    for (size_t k = 0; k < blocks; ++k) {
        const uint32_t first = static_cast<uint32_t>(k * kBlockSize);
        const uint32_t last = std::min<uint32_t>(first + (kBlockSize - 1), total - 1);
        if (k < m_keptBlocks.size() && m_keptBlocks[k]) {
            keptBytes += uint64_t{last} - first + 1;
            ++keptCount;
            if (k < m_blockStatus.size())
                m_blockStatus[k] = kBlockGood;
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
    if (!task.blockHashes.empty()) {
        WriteLog("Download resume : kept %d of %d blocks.\n", keptCount, static_cast<int>(blocks));
    }
    m_keptBytes = static_cast<uint32_t>(keptBytes);
    downloadedBytes = static_cast<uint32_t>(keptBytes);
    return missing;
}

void DownloaderCurl::StartPendingRanges() {
    const size_t mirrors = m_vecUrlCfg.size();
    while (!m_pendingRanges.empty() && CountRunning() < itemCount && !items.empty() &&
           mirrors > 0) {
        const ByteSpan range = m_pendingRanges.front();
        m_pendingRanges.pop_front();
        const char* url = GetBestURL(nullptr);
        if (!url)
            url = m_vecUrlCfg[items.size() % mirrors].url;
        DownloadItem* next = AddItem(items.begin()->second, range.first, range.second, url);
        BeginDownloadItem(next);
    }
}
