// Block verification and repair on the memory image. The repair bound: a block
// is repaired at most maxRepairPasses times (3); a block still wrong after that
// ends the download as failed ("RepairFailError"). A mirror that served a block
// wrong is not asked for that block again while another mirror is available.
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "download/downloader_curl.h"
#include "platform/log.h"
#include "platform/system.h"
#include "platform/text.h"

int Md5Hex(const void* data, unsigned length, char* out, int outSize) {
    if (!out || outSize < 33)
        return 0;
    memset(out, 0, static_cast<size_t>(outSize));
    unsigned char digest[16];
    Md5Digest(data, length, digest);
    for (int i = 0; i < 16; ++i)
        snprintf(out + i * 2, 3, "%02X", digest[i]);
    return 1;
}

bool DownloaderCurl::BlockMatches(uint32_t offset, uint32_t length,
                                  const std::string& digest) const {
    char text[64];
    Md5Hex(image.get() + offset, length, text, sizeof(text));
    return digest == text;
}

// The blocks whose digest does not match, using what the early checks know.
// Blocks not yet known are hashed on two threads: this runs at the end of the
// download, between the last byte and the final event.
std::vector<DownloaderCurl::BadBlock> DownloaderCurl::FindBadBlocks() {
    const uint32_t total = totalBytes;
    const size_t count =
        std::min<size_t>(task.blockHashes.size(), (uint64_t{total} + kBlockSize - 1) / kBlockSize);
    std::vector<char> good(count, 0);
    std::vector<size_t> unknown;
    for (size_t k = 0; k < count; ++k) {
        const BlockStatus known = k < m_blockStatus.size() ? m_blockStatus[k] : kBlockUnknown;
        if (known == kBlockGood || known == kBlockBad) {
            good[k] = known == kBlockGood;
        } else {
            unknown.push_back(k);
        }
    }
    auto hash = [this, total, &good, &unknown](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            const size_t k = unknown[i];
            const uint32_t offset = static_cast<uint32_t>(k * kBlockSize);
            const uint32_t length = std::min<uint32_t>(kBlockSize, total - offset);
            good[k] = BlockMatches(offset, length, task.blockHashes[k]) ? 1 : 0;
        }
    };
    const size_t half = unknown.size() / 2;
    if (half >= 4) {
        std::thread other(hash, half, unknown.size());
        hash(0, half);
        other.join();
    } else {
        hash(0, unknown.size());
    }
    std::vector<BadBlock> bad;
    for (size_t k = 0; k < count; ++k) {
        if (k < m_blockStatus.size())
            m_blockStatus[k] = good[k] ? kBlockGood : kBlockBad;
        if (!good[k]) {
            const uint32_t offset = static_cast<uint32_t>(k * kBlockSize);
            const uint32_t length = std::min<uint32_t>(kBlockSize, total - offset);
            bad.push_back({static_cast<int>(k), offset, offset + length - 1});
        }
    }
    return bad;
}

bool DownloaderCurl::WholeFileMatches() const {
    char text[64];
    Md5Hex(image.get(), totalBytes, text, sizeof(text));
    return task.fileHash == text;
}

DownloaderCurl::HashCheck DownloaderCurl::RunHashCheck(bool startRepairs) {
    HashCheck check;
    if (!image) {
        check.verified = false;
        return check;
    }
    // The block checker may be reading; a repair started below must not write
    // under it. It picks nothing new while this thread holds the engine lock.
    { std::lock_guard<std::mutex> settle(m_imageReadLock); }
    // Without any digest there is nothing to compare; the callers accept
    // such a file only when every range arrived.
    if (task.fileHash.empty() && task.blockHashes.empty())
        return check;
    std::vector<BadBlock> bad;
    if (!m_blockStatus.empty()) {
        // Digests cover every block and most are known already: when all
        // match, the whole-file digest could not change the verdict.
        bad = FindBadBlocks();
        if (bad.empty() || WholeFileMatches())
            return check;
    } else {
        if (WholeFileMatches())
            return check;
        // Block digests cover part of the file at most: a mismatch that no
        // block explains lies where nothing can prove or repair it.
        bad = FindBadBlocks();
        if (bad.empty()) {
            check.verified = false;
            check.unplaceable = true;
            return check;
        }
    }
    check.verified = false;
    repairStarted = true;
    for (const BadBlock& b : bad) {
        if (m_repairs[b.block].passes >= m_tuning.maxRepairPasses)
            check.boundReached = true;
    }
    if (!startRepairs || check.boundReached)
        return check;
    for (const BadBlock& b : bad) {
        if (RepairBlock(b.start, b.end, m_repairs[b.block]) == 0)
            ++check.repairsStarted;
    }
    return check;
}

namespace {
// The first item, in id order, whose range holds start..end (the block's owner).
DownloadItem* FindOwner(std::map<int, DownloadItem>& items, uint32_t start, uint32_t end) {
    for (auto& kv : items) {
        if (kv.second.start <= start && kv.second.end >= end)
            return &kv.second;
    }
    return nullptr;
}
}  // namespace

HRESULT DownloaderCurl::RepairBlock(uint32_t start, uint32_t end, BlockRepair& repair) {
    if (items.empty())
        return E_INVALIDARG;
    DownloadItem* owner = FindOwner(items, start, end);
    // The mirrors that delivered these bytes wrong are left out for this block.
    if (repair.passes == 0) {
        if (owner && owner->url) {
            repair.badUrls.insert(owner->url);
            repair.failedUrls.insert(owner->url);
        } else {
            for (const auto& kv : items) {
                const DownloadItem& it = kv.second;
                if (it.url && it.start <= end && it.pos > start)
                    repair.badUrls.insert(it.url);
            }
        }
    } else if (!repair.lastUrl.empty()) {
        repair.badUrls.insert(repair.lastUrl);
        repair.failedUrls.insert(repair.lastUrl);
    }
    const char* u = GetBestURLExcept(repair.badUrls);
    if (!u && cdnUrl.fileSizeConsistent && !repair.badUrls.count(cdnUrl.url)) {
        u = cdnUrl.url;
        usingCdn = true;
    }
    // A block pieced together from several ranges makes every contributor a
    // suspect; the one that delivered it wrong whole is known bad, so a
    // suspect not yet tried comes first. Otherwise the plain choice; the pass
    // bound still ends a mirror set that cannot deliver the block.
    if (!u)
        u = GetBestURLExcept(repair.failedUrls);
    if (!u)
        u = GetBestURL(owner ? owner->url : nullptr);
    if (!u && cdnUrl.fileSizeConsistent) {
        u = cdnUrl.url;
        usingCdn = true;
    }
    if (!u) {
        WriteLog("Download_RepairData : GetBestURL error, start(%d), end(%d).\n",
                 static_cast<int>(start), static_cast<int>(end));
        repairLink = "";
        return E_INVALIDARG;
    }
    repairLink = u;
    repair.lastUrl = u;
    ++repair.passes;
    DownloadItem* base = owner ? owner : &items.begin()->second;
    DownloadItem* next = AddItem(*base, start, end, u);
    m_repairItems.insert(next->id);
    InvalidateBlock(static_cast<int>(start / kBlockSize));
    WriteLog("Download_RepairData : GetBestURL Info, start(%d), end(%d), ID(%d).\n",
             static_cast<int>(start), static_cast<int>(end), next->id);
    return BeginDownloadItem(next);
}

HRESULT DownloaderCurl::RepairData(uint32_t start, uint32_t end) {
    BlockRepair& repair = m_repairs[static_cast<int>(start / kBlockSize)];
    return RepairBlock(start, end, repair);
}

// ---------------------------------------------------------------- early checks

namespace {
constexpr uint32_t kBlockCheckPeriodMs = 50;
constexpr size_t kBlocksPerRound = 16;  // bounds how long a stop waits for the checker
}  // namespace

void DownloaderCurl::StartBlockChecks() {
    const uint32_t total = totalBytes;
    const size_t blocks = (static_cast<uint64_t>(total) + kBlockSize - 1) / kBlockSize;
    m_blockStatus.clear();
    // Without a digest for every block only the whole-file digest can decide.
    if (blocks == 0 || task.blockHashes.size() < blocks)
        return;
    m_blockStatus.assign(blocks, kBlockUnknown);
    ++m_nThreadCount;
    StartThread(std::thread(&DownloaderCurl::BlockCheckThread, this));
}

bool DownloaderCurl::WaitBlockCheckPeriod() {
    std::unique_lock<std::mutex> lock(m_wakeLock);
    m_wake.wait_for(lock, std::chrono::milliseconds(kBlockCheckPeriodMs),
                    [this] { return !running || m_bStopped; });
    return running && !m_bStopped;
}

void DownloaderCurl::BlockCheckThread() {
    std::vector<int> picked;
    std::vector<char> good;
    // A full round means more blocks may be waiting: the next one follows at
    // once, so the checks keep up with a fast download and leave little to
    // the final check.
    while (picked.size() >= kBlocksPerRound ? running && !m_bStopped : WaitBlockCheckPeriod()) {
        std::unique_lock<std::mutex> reading(m_imageReadLock, std::defer_lock);
        {
            AutoMutex lock(m_hMutex);
            if (!running || !image)
                break;
            PickSettledBlocks(picked);
            if (picked.empty())
                continue;
            // Taken before the engine lock is let go, so the image cannot be
            // freed between the pick and the read.
            reading.lock();
        }
        const uint32_t total = totalBytes;
        good.clear();
        for (int k : picked) {
            const uint32_t offset = static_cast<uint32_t>(k) * kBlockSize;
            const uint32_t length = std::min<uint32_t>(kBlockSize, total - offset);
            good.push_back(BlockMatches(offset, length, task.blockHashes[k]) ? 1 : 0);
        }
        reading.unlock();
        AutoMutex lock(m_hMutex);
        StoreBlockResults(picked, good);
    }
}

// Blocks not yet checked that no transfer can write any more: every byte a
// running or failed (to be restarted) range still owes lies elsewhere, and
// new ranges are only cut from those owed bytes, except repairs.
void DownloaderCurl::PickSettledBlocks(std::vector<int>& picked) {
    picked.clear();
    std::vector<std::pair<uint32_t, uint32_t>> owed;
    for (const auto& kv : items) {
        const DownloadItem& it = kv.second;
        if ((it.state == kItemRunning || it.state == kItemFailed) && it.pos <= it.end)
            owed.emplace_back(it.pos, it.end);
    }
    owed.insert(owed.end(), m_pendingRanges.begin(), m_pendingRanges.end());
    const uint32_t total = totalBytes;
    for (size_t k = 0; k < m_blockStatus.size() && picked.size() < kBlocksPerRound; ++k) {
        if (m_blockStatus[k] != kBlockUnknown)
            continue;
        const uint32_t first = static_cast<uint32_t>(k) * kBlockSize;
        const uint32_t last = std::min<uint32_t>(first + (kBlockSize - 1), total - 1);
        bool settled = true;
        for (const auto& r : owed) {
            if (r.first <= last && r.second >= first) {
                settled = false;
                break;
            }
        }
        if (settled)
            picked.push_back(static_cast<int>(k));
    }
    for (int k : picked)
        m_blockStatus[static_cast<size_t>(k)] = kBlockHashing;
}

// A bad block is fetched again at once while passes remain; the final check
// still decides, so a block that stays wrong ends the download there.
void DownloaderCurl::StoreBlockResults(const std::vector<int>& picked,
                                       const std::vector<char>& good) {
    const uint32_t total = totalBytes;
    for (size_t i = 0; i < picked.size(); ++i) {
        const int k = picked[i];
        BlockStatus& status = m_blockStatus[static_cast<size_t>(k)];
        if (status != kBlockHashing)
            continue;  // a repair began meanwhile; the result is stale
        status = good[i] ? kBlockGood : kBlockBad;
        if (good[i] || !running || m_bStopped)
            continue;
        BlockRepair& repair = m_repairs[k];
        if (repair.passes >= m_tuning.maxRepairPasses)
            continue;
        repairStarted = true;
        const uint32_t start = static_cast<uint32_t>(k) * kBlockSize;
        const uint32_t end = std::min<uint32_t>(start + (kBlockSize - 1), total - 1);
        RepairBlock(start, end, repair);
    }
}

void DownloaderCurl::InvalidateBlock(int block) {
    if (block >= 0 && static_cast<size_t>(block) < m_blockStatus.size())
        m_blockStatus[static_cast<size_t>(block)] = kBlockUnknown;
}
