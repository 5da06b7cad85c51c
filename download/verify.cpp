// Block verification and repair on the memory image. The repair bound: a block
// is repaired at most maxRepairPasses times (3); a block still wrong after that
// ends the download as failed ("RepairFailError"). A mirror that served a block
// wrong is not asked for that block again while another mirror is available.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "download/downloader_curl.h"
#include "platform/log.h"
#include "platform/system.h"
#include "platform/text.h"

DownloaderCurl::HashCheck DownloaderCurl::RunHashCheck(bool startRepairs) {
    HashCheck check;
    if (!image) {
        check.verified = false;
        return check;
    }
    // The block checker may be reading; a repair started below must not write
    // under it. It picks nothing new while this thread holds the engine lock.
    { std::lock_guard<std::mutex> settle(m_imageReadLock); }
    const BlockVerifier::Verdict v =
        m_verifier.Check(image.get(), totalBytes, task.fileHash, task.blockHashes);
    if (v.verified)
        return check;
    check.verified = false;
    if (v.unplaceable) {
        check.unplaceable = true;
        return check;
    }
    repairStarted = true;
    check.boundReached = m_verifier.BoundReached(v.bad, m_tuning.maxRepairPasses);
    if (!startRepairs || check.boundReached)
        return check;
    for (const BlockVerifier::BadBlock& b : v.bad) {
        if (RepairBlock(b.start, b.end, m_verifier.RepairOf(b.block)) == 0)
            ++check.repairsStarted;
    }
    return check;
}

namespace {
// The first item, in id order, whose range holds start..end (the block's owner).
DownloadItem* FindOwner(RangeTable& ranges, uint32_t start, uint32_t end) {
    for (auto& kv : ranges) {
        if (kv.second.start <= start && kv.second.end >= end)
            return &kv.second;
    }
    return nullptr;
}
}  // namespace

HRESULT DownloaderCurl::RepairBlock(uint32_t start, uint32_t end, BlockVerifier::Repair& repair) {
    if (m_ranges.Empty())
        return E_INVALIDARG;
    DownloadItem* owner = FindOwner(m_ranges, start, end);
    // The mirrors that delivered these bytes wrong are left out for this block.
    if (repair.passes == 0) {
        if (owner && owner->url) {
            repair.badUrls.insert(owner->url);
            repair.failedUrls.insert(owner->url);
        } else {
            for (const auto& kv : m_ranges) {
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
    DownloadItem* base = owner ? owner : &m_ranges.First();
    DownloadItem* next = AddItem(*base, start, end, u);
    m_repairItems.insert(next->id);
    m_verifier.Invalidate(static_cast<int>(start / kBlockSize));
    WriteLog("Download_RepairData : GetBestURL Info, start(%d), end(%d), ID(%d).\n",
             static_cast<int>(start), static_cast<int>(end), next->id);
    return BeginDownloadItem(next);
}

HRESULT DownloaderCurl::RepairData(uint32_t start, uint32_t end) {
    return RepairBlock(start, end, m_verifier.RepairOf(static_cast<int>(start / kBlockSize)));
}

// ---------------------------------------------------------------- early checks

namespace {
constexpr uint32_t kBlockCheckPeriodMs = 50;
constexpr size_t kBlocksPerRound = 16;  // bounds how long a stop waits for the checker
}  // namespace

void DownloaderCurl::StartBlockChecks() {
    if (!m_verifier.Reset(totalBytes, task.blockHashes.size()))
        return;
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
            const size_t block = static_cast<size_t>(k);
            good.push_back(
                BlockVerifier::BlockMatches(image.get(), total, block, task.blockHashes[block]));
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
    std::vector<BlockVerifier::ByteSpan> owed;
    for (const auto& kv : m_ranges) {
        const DownloadItem& it = kv.second;
        if ((it.state == kItemRunning || it.state == kItemFailed) && it.pos <= it.end)
            owed.emplace_back(it.pos, it.end);
    }
    owed.insert(owed.end(), m_pendingRanges.begin(), m_pendingRanges.end());
    m_verifier.PickSettled(owed, totalBytes, kBlocksPerRound, picked);
}

// A bad block is fetched again at once while passes remain; the final check
// still decides, so a block that stays wrong ends the download there.
void DownloaderCurl::StoreBlockResults(const std::vector<int>& picked,
                                       const std::vector<char>& good) {
    for (size_t i = 0; i < picked.size(); ++i) {
        const int k = picked[i];
        if (!m_verifier.StoreResult(k, good[i] != 0) || !running || m_bStopped)
            continue;
        BlockVerifier::Repair& repair = m_verifier.RepairOf(k);
        if (repair.passes >= m_tuning.maxRepairPasses)
            continue;
        repairStarted = true;
        const BlockVerifier::ByteSpan span =
            BlockVerifier::BlockSpan(static_cast<size_t>(k), totalBytes);
        RepairBlock(span.first, span.second, repair);
    }
}
