#include "install/seven_zip_headers.h"

#include <lzma.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "install/seven_zip_format.h"
#include "platform/text.h"

namespace {

using namespace seven_zip;

constexpr int kMaxHeaderUnpacks = 4;
// A header larger than this is not a payload's (the limit keeps a hostile
// size field from allocating the machine's memory).
constexpr uint64_t kMaxHeaderSize = 256u << 20;

struct Folder {
    std::vector<uint64_t> coders;
    std::vector<std::string> props;
    uint64_t unpackSize = 0;  // of the folder's final output
    uint64_t streams = 1;     // entries whose data the folder holds
    bool crcDefined = false;
};

struct StreamsInfo {
    uint64_t packPos = 0;
    std::vector<uint64_t> packSizes;
    std::vector<Folder> folders;
};

// A cursor over header bytes; every read fails softly past the end.
class Cursor {
public:
    Cursor(const std::string& bytes, size_t pos = 0) : m_bytes(bytes), m_pos(pos) {}
    bool Byte(uint8_t& b) {
        if (m_pos >= m_bytes.size())
            return Fail();
        b = static_cast<uint8_t>(m_bytes[m_pos++]);
        return true;
    }
    // 7z's variable-length number: leading one bits count the extra bytes.
    bool Number(uint64_t& v) {
        uint8_t first;
        if (!Byte(first))
            return false;
        v = 0;
        uint8_t mask = 0x80;
        for (int i = 0; i < 8; ++i) {
            if ((first & mask) == 0) {
                v |= static_cast<uint64_t>(first & (mask - 1)) << (8 * i);
                return true;
            }
            uint8_t b;
            if (!Byte(b))
                return false;
            v |= static_cast<uint64_t>(b) << (8 * i);
            mask >>= 1;
        }
        return true;
    }
    bool Bytes(size_t n, std::string& out) {
        if (n > m_bytes.size() - m_pos)
            return Fail();
        out = m_bytes.substr(m_pos, n);
        m_pos += n;
        return true;
    }
    bool Skip(uint64_t n) {
        if (n > m_bytes.size() - m_pos)
            return Fail();
        m_pos += static_cast<size_t>(n);
        return true;
    }
    // A count that must fit what is left of the header (one byte each at least).
    bool Count(uint64_t& n) { return Number(n) && (n <= m_bytes.size() - m_pos || Fail()); }
    bool Bits(uint64_t n, std::vector<bool>& out) {
        out.assign(static_cast<size_t>(n), false);
        uint8_t b = 0;
        for (uint64_t i = 0; i < n; ++i) {
            if (i % 8 == 0 && !Byte(b))
                return false;
            out[static_cast<size_t>(i)] = (b & (0x80 >> (i % 8))) != 0;
        }
        return true;
    }
    bool Expect(uint64_t id) {
        uint64_t v;
        return Number(v) && (v == id || Fail());
    }

private:
    bool Fail() { return false; }
    const std::string& m_bytes;
    size_t m_pos;
};

bool ReadDigests(Cursor& c, uint64_t n, std::vector<bool>& defined) {
    uint8_t all;
    if (!c.Byte(all))
        return false;
    if (all)
        defined.assign(static_cast<size_t>(n), true);
    else if (!c.Bits(n, defined))
        return false;
    for (bool d : defined)
        if (d && !c.Skip(4))
            return false;
    return true;
}

bool ReadPackInfo(Cursor& c, StreamsInfo& s) {
    uint64_t n = 0, id = 0;
    if (!c.Number(s.packPos) || !c.Count(n))
        return false;
    while (c.Number(id) && id != kEnd) {
        if (id == kSize) {
            s.packSizes.resize(static_cast<size_t>(n));
            for (uint64_t& size : s.packSizes)
                if (!c.Number(size))
                    return false;
        } else if (id == kCrc) {
            std::vector<bool> defined;
            if (!ReadDigests(c, n, defined))
                return false;
        } else {
            return false;
        }
    }
    return id == kEnd;
}

bool ReadFolder(Cursor& c, Folder& f, uint64_t& outStreams) {
    uint64_t coders, inStreams = 0;
    outStreams = 0;
    if (!c.Count(coders) || coders == 0)
        return false;
    for (uint64_t i = 0; i < coders; ++i) {
        uint8_t flags;
        std::string idBytes, props;
        if (!c.Byte(flags) || !c.Bytes(flags & 0x0F, idBytes))
            return false;
        uint64_t id = 0;
        for (char b : idBytes)
            id = (id << 8) | static_cast<uint8_t>(b);
        uint64_t in = 1, out = 1;
        if ((flags & 0x10) && (!c.Count(in) || !c.Count(out)))
            return false;
        uint64_t propSize = 0;
        if ((flags & 0x20) && (!c.Count(propSize) || !c.Bytes(propSize, props)))
            return false;
        f.coders.push_back(id);
        f.props.push_back(props);
        inStreams += in;
        outStreams += out;
    }
    for (uint64_t i = 0; i + 1 < outStreams; ++i) {
        uint64_t inIndex, outIndex;
        if (!c.Number(inIndex) || !c.Number(outIndex))
            return false;
    }
    const uint64_t bound = outStreams - 1;
    if (inStreams < bound)
        return false;
    const uint64_t packed = inStreams - bound;
    for (uint64_t i = 0; packed > 1 && i < packed; ++i) {
        uint64_t index;
        if (!c.Number(index))
            return false;
    }
    return true;
}

bool ReadUnpackInfo(Cursor& c, StreamsInfo& s) {
    uint64_t n;
    uint8_t external;
    if (!c.Expect(kFolder) || !c.Count(n) || !c.Byte(external) || external != 0)
        return false;
    s.folders.resize(static_cast<size_t>(n));
    std::vector<uint64_t> outs(s.folders.size());
    for (size_t i = 0; i < s.folders.size(); ++i)
        if (!ReadFolder(c, s.folders[i], outs[i]))
            return false;
    if (!c.Expect(kCodersUnpackSize))
        return false;
    for (size_t i = 0; i < s.folders.size(); ++i) {
        // The first coder's output is the folder's final output.
        for (uint64_t k = 0; k < outs[i]; ++k) {
            uint64_t size;
            if (!c.Number(size))
                return false;
            if (k == 0)
                s.folders[i].unpackSize = size;
        }
    }
    uint64_t id = 0;
    while (c.Number(id) && id != kEnd) {
        if (id != kCrc)
            return false;
        std::vector<bool> defined;
        if (!ReadDigests(c, n, defined))
            return false;
        for (size_t i = 0; i < defined.size(); ++i)
            s.folders[i].crcDefined = defined[i];
    }
    return id == kEnd;
}

bool ReadSubStreamsInfo(Cursor& c, StreamsInfo& s) {
    uint64_t id = 0;
    if (!c.Number(id))
        return false;
    if (id == kNumUnpackStream) {
        for (Folder& f : s.folders)
            if (!c.Count(f.streams))
                return false;
        if (!c.Number(id))
            return false;
    }
    if (id == kSize) {
        for (const Folder& f : s.folders) {
            for (uint64_t k = 1; k < f.streams; ++k) {
                uint64_t size;
                if (!c.Number(size))
                    return false;
            }
        }
        if (!c.Number(id))
            return false;
    }
    if (id == kCrc) {
        uint64_t n = 0;
        for (const Folder& f : s.folders)
            n += f.streams == 1 && f.crcDefined ? 0 : f.streams;
        std::vector<bool> defined;
        if (!ReadDigests(c, n, defined) || !c.Number(id))
            return false;
    }
    return id == kEnd;
}

bool ReadStreamsInfo(Cursor& c, StreamsInfo& s) {
    uint64_t id = 0;
    while (c.Number(id) && id != kEnd) {
        const bool ok = id == kPackInfo     ? ReadPackInfo(c, s)
                        : id == kUnpackInfo ? ReadUnpackInfo(c, s)
                                            : id == kSubStreamsInfo && ReadSubStreamsInfo(c, s);
        if (!ok)
            return false;
    }
    return id == kEnd;
}

// Filters first, as 7-Zip lists them ("BCJ+LZMA2"): the folder stores the
// coder that makes the final output last.
std::string ChainOf(const Folder& f) {
    std::string chain;
    for (auto it = f.coders.rbegin(); it != f.coders.rend(); ++it)
        chain += (chain.empty() ? "" : "+") + CoderName(*it);
    return chain;
}

std::string Utf16Name(const std::string& bytes) {
    std::wstring w;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const uint32_t unit =
            static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8);
        if (sizeof(wchar_t) == 4 && unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            const uint32_t lo =
                static_cast<uint8_t>(bytes[i + 2]) | (static_cast<uint8_t>(bytes[i + 3]) << 8);
            if (lo >= 0xDC00 && lo < 0xE000) {
                w += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (lo - 0xDC00));
                i += 2;
                continue;
            }
        }
        w += static_cast<wchar_t>(unit);
    }
    return WideToUtf8(w);
}

bool ReadFilesInfo(Cursor& c, const StreamsInfo& s, ArchiveHeaders& out) {
    uint64_t files = 0, id = 0;
    if (!c.Count(files))
        return false;
    std::vector<bool> emptyStream(static_cast<size_t>(files), false);
    std::vector<std::string> names;
    while (c.Number(id) && id != kEnd) {
        uint64_t size;
        std::string data;
        if (!c.Number(size) || !c.Bytes(static_cast<size_t>(size), data))
            return false;
        Cursor p(data);
        if (id == kEmptyStream && !p.Bits(files, emptyStream))
            return false;
        if (id == kName) {
            if (data.empty() || data[0] != 0)
                return false;  // names kept outside the header
            size_t start = 1;
            for (size_t i = 1; i + 1 < data.size(); i += 2) {
                if (data[i] == 0 && data[i + 1] == 0) {
                    names.push_back(Utf16Name(data.substr(start, i - start)));
                    start = i + 2;
                }
            }
        }
    }
    if (id != kEnd || names.size() != files)
        return false;
    size_t folder = 0;
    uint64_t usedInFolder = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        ArchiveHeaderEntry e;
        e.name = names[i];
        if (!emptyStream[i]) {
            while (folder < s.folders.size() && usedInFolder >= s.folders[folder].streams) {
                ++folder;
                usedInFolder = 0;
            }
            if (folder >= s.folders.size())
                return false;
            e.method = ChainOf(s.folders[folder]);
            e.folder = static_cast<int64_t>(folder);
            ++usedInFolder;
        }
        out.entries.push_back(e);
    }
    return true;
}

// Raw LZMA or LZMA2 data of a known unpacked size.
bool Unlzma(uint64_t coder, const std::string& props, const std::string& packed,
            std::string& plain) {
    lzma_filter filters[2] = {{coder == kLzmaId ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA2, nullptr},
                              {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, reinterpret_cast<const uint8_t*>(props.data()),
                               props.size()) != LZMA_OK)
        return false;
    lzma_stream strm = LZMA_STREAM_INIT;
    bool ok = lzma_raw_decoder(&strm, filters) == LZMA_OK;
    strm.next_in = reinterpret_cast<const uint8_t*>(packed.data());
    strm.avail_in = packed.size();
    strm.next_out = reinterpret_cast<uint8_t*>(&plain[0]);
    strm.avail_out = plain.size();
    while (ok && strm.avail_out > 0) {
        const lzma_ret r = lzma_code(&strm, LZMA_FINISH);
        ok = (r == LZMA_OK || r == LZMA_STREAM_END) && (r == LZMA_OK || strm.avail_out == 0);
        if (r == LZMA_OK && strm.avail_in == 0 && strm.avail_out > 0)
            ok = false;  // the data ends before the size it announced
    }
    lzma_end(&strm);
    free(filters[0].options);
    return ok;
}

// A packed header: one folder with one LZMA or LZMA2 coder.
bool UnpackHeader(const ArchiveRangeReader& read, const StreamsInfo& s, std::string& header,
                  std::string& error) {
    if (s.folders.size() != 1 || s.packSizes.size() != 1) {
        error = "packed header of an unknown layout";
        return false;
    }
    const Folder& f = s.folders[0];
    if (f.coders.size() != 1 || (f.coders[0] != kLzmaId && f.coders[0] != kLzma2Id) ||
        f.unpackSize > kMaxHeaderSize || s.packSizes[0] > kMaxHeaderSize) {
        error = "header packed with " + ChainOf(f);
        return false;
    }
    std::string packed;
    if (!read(kSignatureHeaderSize + s.packPos, s.packSizes[0], packed)) {
        error = "packed header outside the archive";
        return false;
    }
    header.assign(static_cast<size_t>(f.unpackSize), '\0');
    if (header.empty() || !Unlzma(f.coders[0], f.props[0], packed, header)) {
        error = "packed header cannot be unpacked";
        return false;
    }
    return true;
}

bool ReadPlainHeader(Cursor& c, ArchiveHeaders& out, std::string& error) {
    StreamsInfo main;
    uint64_t id = 0;
    while (c.Number(id) && id != kEnd) {
        bool ok = false;
        if (id == kMainStreamsInfo)
            ok = ReadStreamsInfo(c, main);
        else if (id == kFilesInfo)
            ok = ReadFilesInfo(c, main, out);
        if (!ok) {
            // Archive properties and additional streams are not written by 7-Zip.
            error = "malformed or unsupported header";
            return false;
        }
    }
    for (const Folder& f : main.folders)
        out.folderSizes.push_back(f.unpackSize);
    return true;
}

}  // namespace

std::string CoderName(uint64_t id) {
    switch (id) {
        case 0x00:
            return "Copy";
        case 0x03:
            return "Delta";
        case 0x04:
            return "BCJ";  // the newer x86 id
        case 0x0A:
            return "ARM64";
        case 0x0B:
            return "RISCV";
        case 0x21:
            return "LZMA2";
        case kLzmaId:
            return "LZMA";
        case 0x03030103:
            return "BCJ";
        case 0x0303011B:
            return "BCJ2";
        case 0x03030205:
            return "PPC";
        case 0x03030401:
            return "IA64";
        case 0x03030501:
            return "ARM";
        case 0x03030701:
            return "ARMT";
        case 0x03030805:
            return "SPARC";
        case 0x030401:
            return "PPMd";
        case 0x040108:
            return "Deflate";
        case 0x040109:
            return "Deflate64";
        case 0x040202:
            return "BZip2";
        case 0x04F71101:
            return "ZSTD";
        case kAesId:
            return "7zAES";
        default:
            break;
    }
    char text[24];
    snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(id));
    return text;
}

bool ReadArchiveHeaders(const ArchiveRangeReader& read, ArchiveHeaders& out, std::string& error) {
    out = ArchiveHeaders();
    std::string start;
    if (!read(0, kSignatureHeaderSize, start) ||
        memcmp(start.data(), kSignature, sizeof(kSignature))) {
        error = "not a 7z archive";
        return false;
    }
    uint64_t offset = 0, size = 0;
    for (int i = 7; i >= 0; --i) {
        offset = (offset << 8) | static_cast<uint8_t>(start[12 + i]);
        size = (size << 8) | static_cast<uint8_t>(start[20 + i]);
    }
    if (size == 0)
        return true;  // an archive without entries
    std::string header;
    if (size > kMaxHeaderSize || offset > UINT64_MAX - kSignatureHeaderSize - size ||
        !read(kSignatureHeaderSize + offset, size, header)) {
        error = "the archive is cut short";
        return false;
    }
    for (int round = 0; round < kMaxHeaderUnpacks; ++round) {
        Cursor c(header);
        uint64_t id = 0;
        if (!c.Number(id)) {
            error = "empty header";
            return false;
        }
        if (id == kHeader)
            return ReadPlainHeader(c, out, error);
        StreamsInfo packed;
        if (id != kEncodedHeader || !ReadStreamsInfo(c, packed) || packed.folders.empty()) {
            error = "malformed header";
            return false;
        }
        out.headerMethod = ChainOf(packed.folders[0]);
        for (uint64_t coder : packed.folders[0].coders)
            out.headerEncrypted = out.headerEncrypted || coder == kAesId;
        if (out.headerEncrypted) {
            error = "the header is encrypted";
            return false;
        }
        std::string plain;
        if (!UnpackHeader(read, packed, plain, error))
            return false;
        header.swap(plain);
    }
    error = "header packed too often";
    return false;
}

namespace {

// The ASCII characters of a name that Unicode normalization leaves alone
// (separators, digits, punctuation): equal for the two forms of one name.
std::string NameSkeleton(const std::string& name) {
    std::string out;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x80 && !isalpha(u))
            out += c;
    }
    return out;
}

}  // namespace

std::string InstalledEntryName(const std::string& libraryName, const std::string& storedName) {
    std::string name = libraryName;
    const bool folder = !name.empty() && name.back() == '/';
    if (folder)
        name.pop_back();
    if (storedName == name || NameSkeleton(storedName) != NameSkeleton(name) ||
        !IsValidUtf8(storedName))
        return libraryName;
    return storedName + (folder ? "/" : "");
}

bool ReadArchiveHeaders(const std::string& archive, ArchiveHeaders& out, std::string& error) {
    return ReadArchiveHeaders(
        [&archive](uint64_t offset, uint64_t size, std::string& bytes) {
            if (offset > archive.size() || size > archive.size() - offset)
                return false;
            bytes = archive.substr(static_cast<size_t>(offset), static_cast<size_t>(size));
            return true;
        },
        out, error);
}

bool ReadArchiveHeadersFromFile(const std::string& path, ArchiveHeaders& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    in.seekg(0, std::ios::end);
    const uint64_t length = static_cast<uint64_t>(in.tellg());
    return ReadArchiveHeaders(
        [&in, length](uint64_t offset, uint64_t size, std::string& bytes) {
            if (offset > length || size > length - offset)
                return false;
            bytes.assign(static_cast<size_t>(size), '\0');
            in.clear();
            in.seekg(static_cast<std::streamoff>(offset));
            return static_cast<bool>(in.read(&bytes[0], static_cast<std::streamsize>(size)));
        },
        out, error);
}
