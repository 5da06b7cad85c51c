// Block verification and repair on the memory image. The repair bound: a block
// is repaired at most maxRepairPasses times (3); a block still wrong after that
// ends the download as failed ("RepairFailError"). A mirror that served a block
// wrong is not asked for that block again while another mirror is available.
#include <openssl/evp.h>

#include <cstring>
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

DownloaderCurl::HashCheck DownloaderCurl::RunHashCheck(bool startRepairs) {
    HashCheck check;
    const uint32_t total = totalBytes;
    if (!image) {
        check.verified = false;
        return check;
    }
    char text[64];
    Md5Hex(image.get(), total, text, sizeof(text));
    if (task.fileHash == text)
        return check;

    struct Bad {
        int block;
        uint32_t start, end;
    };
    std::vector<Bad> bad;
    uint32_t offset = 0;
    for (size_t k = 0; k < task.blockHashes.size(); ++k) {
        const bool last = !(static_cast<uint64_t>(offset) + kBlockSize < total);
        const uint32_t length = last ? total - offset : kBlockSize;
        if (!BlockMatches(offset, length, task.blockHashes[k])) {
            bad.push_back({static_cast<int>(k), offset, offset + length - 1});
        }
        if (last)
            break;
        offset += kBlockSize;
    }
    if (bad.empty())
        return check;
    check.verified = false;
    repairStarted = true;
    for (const Bad& b : bad) {
        if (m_repairs[b.block].passes >= m_tuning.maxRepairPasses)
            check.boundReached = true;
    }
    if (!startRepairs || check.boundReached)
        return check;
    for (const Bad& b : bad) {
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
    WriteLog("Download_RepairData : GetBestURL Info, start(%d), end(%d), ID(%d).\n",
             static_cast<int>(start), static_cast<int>(end), next->id);
    return BeginDownloadItem(next);
}

HRESULT DownloaderCurl::RepairData(uint32_t start, uint32_t end) {
    BlockRepair& repair = m_repairs[static_cast<int>(start / kBlockSize)];
    return RepairBlock(start, end, repair);
}
