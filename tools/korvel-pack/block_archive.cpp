#include "tools/korvel-pack/block_archive.h"

#include <lzma.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <mutex>
#include <system_error>
#include <thread>

#include "install/seven_zip_format.h"
#include "platform/text.h"

namespace {

using namespace seven_zip;

constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeUnixMode = 0x8000;  // the st_mode sits in the upper 16 bits
constexpr uint64_t kFileTimeAt1970 = 11644473600ULL;

class HeaderBytes {
public:
    void Byte(uint64_t b) { m_bytes += static_cast<char>(static_cast<uint8_t>(b)); }
    // 7-Zip's variable-length number: the first byte's leading ones count
    // the bytes that follow, low byte first.
    void Number(uint64_t value) {
        uint8_t first = 0, mask = 0x80;
        int extra = 0;
        for (; extra < 8; ++extra) {
            if (value < (1ULL << (7 * (extra + 1)))) {
                first |= static_cast<uint8_t>(value >> (8 * extra));
                break;
            }
            first |= mask;
            mask >>= 1;
        }
        Byte(first);
        for (int i = 0; i < extra; ++i)
            Byte(static_cast<uint8_t>(value >> (8 * i)));
    }
    void Fixed(uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            Byte(static_cast<uint8_t>(value >> (8 * i)));
    }
    void Bits(const std::vector<bool>& bits) {
        for (size_t i = 0; i < bits.size(); i += 8) {
            uint8_t b = 0;
            for (size_t k = 0; k < 8 && i + k < bits.size(); ++k)
                b |= bits[i + k] ? static_cast<uint8_t>(0x80 >> k) : 0;
            Byte(b);
        }
    }
    // A files-info property: its id, its size, its bytes.
    void Record(Property id, const HeaderBytes& body) {
        Byte(id);
        Number(body.m_bytes.size());
        m_bytes += body.m_bytes;
    }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

struct Block {
    std::vector<size_t> items;  // indices of the data items it holds, in order
    uint64_t unpacked = 0;
    std::string packed;
    std::string props;  // the coder's properties; none for a copy
    std::vector<uint32_t> crcs;
};

bool ReadItem(const BlockArchiveItem& item, std::string& data, std::string& error) {
    if (!item.link.empty()) {
        data += item.link;
        return true;
    }
    std::ifstream in(item.source, std::ios::binary);
    const size_t start = data.size();
    data.resize(start + item.size);
    if (!in || !in.read(&data[start], static_cast<std::streamsize>(item.size)) ||
        in.peek() != std::ifstream::traits_type::eof()) {
        error = "cannot read " + item.source + " (or its length changed)";
        return false;
    }
    return true;
}

bool Compress(const std::string& plain, int level, Block& block, std::string& error) {
    if (level <= 0) {
        block.packed = plain;
        return true;
    }
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, static_cast<uint32_t>(std::min(level, 9)))) {
        error = "no LZMA2 preset " + std::to_string(level);
        return false;
    }
    // A dictionary beyond the block's bytes would only cost the installer memory.
    options.dict_size = static_cast<uint32_t>(std::max<uint64_t>(
        LZMA_DICT_SIZE_MIN, std::min<uint64_t>(options.dict_size, plain.size())));
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    uint32_t propsSize = 0;
    uint8_t props[8];
    if (lzma_properties_size(&propsSize, &filters[0]) != LZMA_OK || propsSize > sizeof(props) ||
        lzma_properties_encode(&filters[0], props) != LZMA_OK) {
        error = "LZMA2 properties cannot be encoded";
        return false;
    }
    block.props.assign(reinterpret_cast<const char*>(props), propsSize);
    block.packed.resize(lzma_stream_buffer_bound(plain.size()));
    size_t used = 0;
    if (lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t*>(plain.data()),
                               plain.size(), reinterpret_cast<uint8_t*>(&block.packed[0]), &used,
                               block.packed.size()) != LZMA_OK) {
        error = "the LZMA2 encoder failed";
        return false;
    }
    block.packed.resize(used);
    return true;
}

bool PackBlock(const std::vector<BlockArchiveItem>& items, int level, Block& block,
               std::string& error) {
    std::string plain;
    plain.reserve(block.unpacked);
    for (size_t index : block.items) {
        const size_t start = plain.size();
        if (!ReadItem(items[index], plain, error))
            return false;
        block.crcs.push_back(lzma_crc32(reinterpret_cast<const uint8_t*>(plain.data()) + start,
                                        plain.size() - start, 0));
    }
    return Compress(plain, level, block, error);
}

std::vector<Block> LayOutBlocks(const std::vector<BlockArchiveItem>& items, uint64_t blockBytes) {
    std::vector<Block> blocks;
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].size == 0)
            continue;
        // A file of a block's size or more stands alone, so blocks stay even.
        if (blocks.empty() || blocks.back().unpacked >= blockBytes || items[i].size >= blockBytes)
            blocks.emplace_back();
        blocks.back().items.push_back(i);
        blocks.back().unpacked += items[i].size;
    }
    return blocks;
}

// Every block on the first free thread; the first failure stops the rest.
bool PackBlocks(const std::vector<BlockArchiveItem>& items, int level, std::vector<Block>& blocks,
                std::string& error) {
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex errorLock;
    const auto work = [&] {
        for (size_t b = next++; b < blocks.size() && !failed; b = next++) {
            std::string why;
            if (!PackBlock(items, level, blocks[b], why)) {
                std::lock_guard<std::mutex> lock(errorLock);
                if (!failed.exchange(true))
                    error = why;
            }
        }
    };
    const size_t threads =
        std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), blocks.size());
    std::vector<std::thread> workers;
    for (size_t t = 1; t < threads; ++t) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads; this one takes the rest
        }
    }
    work();
    for (std::thread& t : workers)
        t.join();
    return !failed;
}

void WriteStreamsInfo(HeaderBytes& h, const std::vector<BlockArchiveItem>& items,
                      const std::vector<Block>& blocks) {
    h.Byte(kMainStreamsInfo);
    h.Byte(kPackInfo);
    h.Number(0);  // the packed blocks follow the signature directly
    h.Number(blocks.size());
    h.Byte(kSize);
    for (const Block& b : blocks)
        h.Number(b.packed.size());
    h.Byte(kEnd);
    h.Byte(kUnpackInfo);
    h.Byte(kFolder);
    h.Number(blocks.size());
    h.Byte(0);  // folders inline
    for (const Block& b : blocks) {
        h.Number(1);  // one coder: LZMA2, or a copy
        if (b.props.empty()) {
            h.Byte(0x01);  // a one-byte id, no properties
            h.Byte(static_cast<uint8_t>(kCopyId));
        } else {
            h.Byte(0x21);  // a one-byte id with properties
            h.Byte(static_cast<uint8_t>(kLzma2Id));
            h.Number(b.props.size());
            for (char c : b.props)
                h.Byte(static_cast<uint8_t>(c));
        }
    }
    h.Byte(kCodersUnpackSize);
    for (const Block& b : blocks)
        h.Number(b.unpacked);
    h.Byte(kEnd);
    h.Byte(kSubStreamsInfo);
    h.Byte(kNumUnpackStream);
    for (const Block& b : blocks)
        h.Number(b.items.size());
    h.Byte(kSize);  // every item's size but each block's last
    for (const Block& b : blocks)
        for (size_t i = 0; i + 1 < b.items.size(); ++i)
            h.Number(items[b.items[i]].size);
    h.Byte(kCrc);
    h.Byte(1);  // all defined
    for (const Block& b : blocks)
        for (uint32_t crc : b.crcs)
            h.Fixed(crc, 4);
    h.Byte(kEnd);
    h.Byte(kEnd);
}

void WriteFilesInfo(HeaderBytes& h, const std::vector<BlockArchiveItem>& items) {
    std::vector<bool> emptyStream, emptyFile;
    HeaderBytes names, times, attributes;
    names.Byte(0);  // inline
    times.Byte(1);  // all defined
    times.Byte(0);  // inline
    attributes.Byte(1);
    attributes.Byte(0);
    for (const BlockArchiveItem& item : items) {
        const bool folder = S_ISDIR(item.mode);
        emptyStream.push_back(item.size == 0);
        if (item.size == 0)
            emptyFile.push_back(!folder);
        for (wchar_t c : Utf8ToWide(item.name)) {
            uint32_t u = static_cast<uint32_t>(c);
            if (u >= 0x10000) {  // a surrogate pair
                u -= 0x10000;
                names.Fixed(0xD800 + (u >> 10), 2);
                u = 0xDC00 + (u & 0x3FF);
            }
            names.Fixed(u, 2);
        }
        names.Fixed(0, 2);
        times.Fixed((static_cast<uint64_t>(item.mtime) + kFileTimeAt1970) * 10000000ULL, 8);
        attributes.Fixed(kAttributeUnixMode | (static_cast<uint32_t>(item.mode) << 16) |
                             (folder ? kAttributeDirectory : 0),
                         4);
    }
    h.Byte(kFilesInfo);
    h.Number(items.size());
    if (std::find(emptyStream.begin(), emptyStream.end(), true) != emptyStream.end()) {
        HeaderBytes bits;
        bits.Bits(emptyStream);
        h.Record(kEmptyStream, bits);
        if (std::find(emptyFile.begin(), emptyFile.end(), true) != emptyFile.end()) {
            HeaderBytes fileBits;
            fileBits.Bits(emptyFile);
            h.Record(kEmptyFile, fileBits);
        }
    }
    h.Record(kName, names);
    h.Record(kMTime, times);
    h.Record(kWinAttributes, attributes);
    h.Byte(kEnd);
}

}  // namespace

bool WriteBlockArchive(const std::vector<BlockArchiveItem>& items, uint64_t blockBytes, int level,
                       std::string& out, std::string& error) {
    std::vector<Block> blocks = LayOutBlocks(items, blockBytes);
    if (!PackBlocks(items, level, blocks, error))
        return false;
    HeaderBytes header;  // none at all for an archive without entries, as 7-Zip writes it
    if (!items.empty()) {
        header.Byte(kHeader);
        if (!blocks.empty())
            WriteStreamsInfo(header, items, blocks);
        WriteFilesInfo(header, items);
        header.Byte(kEnd);
    }
    uint64_t packed = 0;
    for (const Block& b : blocks)
        packed += b.packed.size();
    const std::string& h = header.bytes();
    HeaderBytes start;  // what the signature's own checksum covers
    start.Fixed(packed, 8);
    start.Fixed(h.size(), 8);
    start.Fixed(lzma_crc32(reinterpret_cast<const uint8_t*>(h.data()), h.size(), 0), 4);
    const std::string& s = start.bytes();
    out.clear();
    out.reserve(kSignatureHeaderSize + packed + h.size());
    out.append(kSignature, sizeof(kSignature));
    out.append("\x00\x04", 2);  // version 0.4
    HeaderBytes startCrc;
    startCrc.Fixed(lzma_crc32(reinterpret_cast<const uint8_t*>(s.data()), s.size(), 0), 4);
    out += startCrc.bytes();
    out += s;
    for (const Block& b : blocks)
        out += b.packed;
    out += h;
    return true;
}
