#include "tools/korvel-pack/pack.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <unordered_map>

#include <boost/shared_ptr.hpp>

#include "data/json_object.h"
#include "data/xml_parse.h"
#include "install/archive_engine.h"
#include "install/seven_zip_headers.h"
#include "platform/text.h"
#include "tools/korvel-pack/block_archive.h"

namespace {

constexpr size_t kBlockSize = 1048576;
constexpr int64_t kMaxPackage = 0x7fffffff;
constexpr size_t kMinStub = 64;

struct WriterDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};

bool ReadWhole(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return true;
}

bool WriteWhole(const std::string& path, const std::string& data) {
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!out.flush())
            return false;
    }
    return rename(temp.c_str(), path.c_str()) == 0;
}

// A name for a message: bytes that are not UTF-8 shown as \xNN.
std::string Printable(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size();) {
        size_t len = 1;
        while (len <= 4 && i + len <= name.size() && !IsValidUtf8(name.substr(i, len)))
            ++len;
        if (len > 4 || i + len > name.size()) {
            char hex[8];
            snprintf(hex, sizeof(hex), "\\x%02X", static_cast<unsigned char>(name[i]));
            out += hex;
            ++i;
        } else {
            out.append(name, i, len);
            i += len;
        }
    }
    return out;
}

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The archive stores names as UTF-16: a name must be UTF-8 to get there, and
// beyond ASCII only when the conversion runs through UTF-8.
bool CheckName(const std::string& shown, const std::string& name, bool utf8Active,
               std::string& error) {
    if (!IsValidUtf8(name)) {
        error = "file name is not valid UTF-8: " + Printable(shown);
        return false;
    }
    if (!utf8Active && !IsAscii(name)) {
        error = "no UTF-8 locale on this system to store the name " + shown;
        return false;
    }
    return true;
}

// Relative names below root, folders included, in byte order.
void ListTree(const std::string& root, const std::string& rel, std::vector<std::string>& out) {
    DIR* dir = opendir((rel.empty() ? root : root + "/" + rel).c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (struct dirent* e = readdir(dir))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        const std::string child = rel.empty() ? n : rel + "/" + n;
        out.push_back(child);
        struct stat st;
        if (lstat((root + "/" + child).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            ListTree(root, child, out);
    }
}

la_ssize_t AppendToString(archive*, void* client, const void* buffer, size_t length) {
    static_cast<std::string*>(client)->append(static_cast<const char*>(buffer), length);
    return static_cast<la_ssize_t>(length);
}

bool AddEntry(archive* a, const std::string& root, const std::string& rel, int64_t mtime,
              bool utf8Active, std::string& error) {
    const std::string full = root + "/" + rel;
    struct stat st;
    if (lstat(full.c_str(), &st) != 0) {
        error = "cannot read " + full;
        return false;
    }
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                   archive_entry_free);
    archive_entry_set_pathname(entry.get(), rel.c_str());
    archive_entry_set_mode(entry.get(), st.st_mode);
    archive_entry_set_mtime(entry.get(), mtime >= 0 ? mtime : st.st_mtime, 0);
    std::string data;
    if (S_ISREG(st.st_mode)) {
        if (!ReadWhole(full, data)) {
            error = "cannot read " + full;
            return false;
        }
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(data.size()));
    } else if (S_ISLNK(st.st_mode)) {
        char target[4096];
        const ssize_t n = readlink(full.c_str(), target, sizeof(target) - 1);
        if (n < 0)
            return false;
        target[n] = 0;
        if (!CheckName(full + " -> " + target, target, utf8Active, error))
            return false;
        archive_entry_set_symlink(entry.get(), target);
        archive_entry_set_size(entry.get(), 0);
    } else if (!S_ISDIR(st.st_mode)) {
        return true;  // devices, sockets and pipes are not payload
    }
    if (archive_write_header(a, entry.get()) != ARCHIVE_OK) {
        error = full + ": " +
                (archive_error_string(a) ? archive_error_string(a) : "write header failed");
        return false;
    }
    for (size_t pos = 0; pos < data.size(); pos += kBlockSize) {
        const size_t n = std::min(kBlockSize, data.size() - pos);
        if (archive_write_data(a, data.data() + pos, n) < 0) {
            error = archive_error_string(a) ? archive_error_string(a) : "write data failed";
            return false;
        }
    }
    return true;
}

// The payload's entries for the block writer, with the same checks and
// the same kinds of entry as the archive library's path.
bool ListBlockItems(const PackInput& in, const std::vector<std::string>& names,
                    std::vector<BlockArchiveItem>& items, std::string& error) {
    for (const std::string& rel : names) {
        const std::string full = in.strPayloadFolder + "/" + rel;
        struct stat st;
        if (!CheckName(full, rel, true, error))
            return false;
        if (lstat(full.c_str(), &st) != 0) {
            error = "cannot read " + full;
            return false;
        }
        BlockArchiveItem item;
        item.name = rel;
        item.mode = st.st_mode;
        item.mtime = in.nMtime >= 0 ? in.nMtime : st.st_mtime;
        if (S_ISREG(st.st_mode)) {
            item.source = full;
            item.size = static_cast<uint64_t>(st.st_size);
        } else if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = readlink(full.c_str(), target, sizeof(target) - 1);
            if (n <= 0) {
                error = "cannot read the link " + full;
                return false;
            }
            item.link.assign(target, static_cast<size_t>(n));
            if (!CheckName(full + " -> " + item.link, item.link, true, error))
                return false;
            item.size = item.link.size();
        } else if (!S_ISDIR(st.st_mode)) {
            continue;  // devices, sockets and pipes are not payload
        }
        items.push_back(item);
    }
    return true;
}

bool ReadStub(const PackInput& in, std::string& stub, std::string& error) {
    if (!in.strStub.empty() && !ReadWhole(in.strStub, stub)) {
        error = "cannot read stub " + in.strStub;
        return false;
    }
    return true;
}

}  // namespace

bool BuildPayloadArchive(const PackInput& in, std::string& out, std::string& error) {
    struct stat st;
    if (stat(in.strPayloadFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "payload folder not found: " + in.strPayloadFolder;
        return false;
    }
    std::vector<std::string> names;
    ListTree(in.strPayloadFolder, "", names);
    if (in.nSolidBlockBytes > 0) {
        std::vector<BlockArchiveItem> items;
        return ListBlockItems(in, names, items, error) &&
               WriteBlockArchive(items, in.nSolidBlockBytes, in.nLevel, out, error);
    }
    const ScopedUtf8Names utf8Names;  // names reach the archive's UTF-16 through UTF-8
    std::unique_ptr<archive, WriterDeleter> a(archive_write_new());
    archive_write_set_format_7zip(a.get());
    archive_write_set_format_option(a.get(), "7zip", "compression", "lzma2");
    archive_write_set_format_option(a.get(), "7zip", "compression-level",
                                    std::to_string(in.nLevel).c_str());
    archive_write_set_bytes_in_last_block(a.get(), 1);  // no padding after the archive
    out.clear();
    if (archive_write_open(a.get(), &out, nullptr, AppendToString, nullptr) != ARCHIVE_OK) {
        error = "cannot start the archive";
        return false;
    }
    for (const std::string& rel : names) {
        const std::string full = in.strPayloadFolder + "/" + rel;
        if (!CheckName(full, rel, utf8Names.Active(), error) ||
            !AddEntry(a.get(), in.strPayloadFolder, rel, in.nMtime, utf8Names.Active(), error))
            return false;
    }
    if (archive_write_close(a.get()) != ARCHIVE_OK) {
        error = archive_error_string(a.get()) ? archive_error_string(a.get()) : "close failed";
        return false;
    }
    return true;
}

std::string AssemblePackage(std::string stub, PackageHeader header, const std::string& payload,
                            const std::string& uninstaller, bool headerLast) {
    if (stub.empty())
        stub = "MZ";
    if (stub.size() < kMinStub)
        stub.resize(kMinStub, '\0');
    stub.resize((stub.size() + 15) / 16 * 16, '\0');  // the header starts aligned
    const int32_t start = static_cast<int32_t>(stub.size());
    const int32_t blocks = static_cast<int32_t>(payload.size() + uninstaller.size());
    const int32_t headerOffset = headerLast ? start + blocks : start;
    header.nPayloadOffset = headerLast ? start : start + kPackageHeaderSize;
    header.nPayloadSize = static_cast<int32_t>(payload.size());
    header.nUninstallOffset = header.nPayloadOffset + header.nPayloadSize;
    header.nUninstallSize = static_cast<int32_t>(uninstaller.size());
    memcpy(&stub[kHeaderOffsetPosition], &headerOffset, sizeof(headerOffset));
    const std::string headerBytes(reinterpret_cast<const char*>(&header), sizeof(header));
    std::string file = stub;
    if (!headerLast)
        file += headerBytes;
    file += payload;
    file += uninstaller;
    if (headerLast)
        file += headerBytes;
    return file;
}

bool ReadPayload(const PackInput& in, std::string& payload, std::string& error) {
    if (in.strPayloadArchive.empty())
        return BuildPayloadArchive(in, payload, error);
    if (!ReadWhole(in.strPayloadArchive, payload)) {
        error = "cannot read payload archive " + in.strPayloadArchive;
        return false;
    }
    if (payload.size() < 6 || memcmp(payload.data(), "7z\xBC\xAF\x27\x1C", 6) != 0) {
        error = in.strPayloadArchive + " is not a 7z archive";
        return false;
    }
    return true;
}

bool BuildPackage(const PackInput& in, const std::string& outPath, std::string& error,
                  std::string* advice) {
    std::string uninstaller, payload, stub;
    if (!ReadWhole(in.strUninstaller, uninstaller)) {
        error = "cannot read uninstaller " + in.strUninstaller;
        return false;
    }
    if (!ReadStub(in, stub, error) || !ReadPayload(in, payload, error))
        return false;
    const int64_t total = static_cast<int64_t>(std::max(stub.size(), kMinStub)) + 16 +
                          kPackageHeaderSize +
                          static_cast<int64_t>(payload.size() + uninstaller.size());
    if (total > kMaxPackage) {
        error = "package would reach 2 GiB";
        return false;
    }
    const PayloadCheck check = CheckPayload(payload);
    if (!check.ok) {
        error = check.message;
        return false;
    }
    if (advice)
        *advice = SolidBlockAdvice(check);
    const std::string file =
        AssemblePackage(stub, MakePackageHeader(in.facts), payload, uninstaller);
    if (!WriteWhole(outPath, file)) {
        error = "cannot write " + outPath;
        return false;
    }
    return true;
}

namespace {

std::string RefusalText(const std::string& name, const std::string& method,
                        const std::string& reason, bool unsafe) {
    const std::string who = name.empty() ? "archive header" : Printable(name);
    if (method.empty() || unsafe)
        return who + ": cannot be extracted by the installer's engine (" + reason + ")";
    const bool encrypted = method.find("7zAES") != std::string::npos;
    return who + ": method " + method + " is not supported by the installer's engine (" + reason +
           "); " +
           (encrypted ? "repack without a password (no -p, no -mhe)"
                      : "repack with -m0=LZMA2 or -mf=off");
}

}  // namespace

PayloadCheck CheckPayload(const std::string& archive) {
    PayloadCheck check;
    ArchiveHeaders methods;
    std::string methodError;
    const bool haveMethods = ReadArchiveHeaders(archive, methods, methodError);
    check.headerMethod = methods.headerMethod;
    check.blockSizes = methods.folderSizes;
    std::vector<ArchiveEntryCheck> engine;
    std::string archiveError;
    check.ok = ArchiveEngineCheck(archive.data(), archive.size(), engine, archiveError);
    // The engine names folders with a trailing "/", the headers without.
    auto key = [](std::string name) {
        while (!name.empty() && name.back() == '/')
            name.pop_back();
        return name;
    };
    std::unordered_map<std::string, const ArchiveEntryCheck*> byName;
    for (const ArchiveEntryCheck& e : engine)
        byName.emplace(key(e.name), &e);
    auto add = [&check](const std::string& name, const std::string& method,
                        const ArchiveEntryCheck* seen) {
        PayloadEntryCheck e;
        e.name = name;
        e.method = method;
        e.extracted = seen && seen->ok;
        e.error = seen ? seen->error : "not reached";
        if (!method.empty() &&
            std::find(check.methods.begin(), check.methods.end(), method) == check.methods.end())
            check.methods.push_back(method);
        check.entries.push_back(e);
    };
    if (haveMethods) {
        for (const ArchiveHeaderEntry& m : methods.entries) {
            auto it = byName.find(key(m.name));
            add(m.name, m.method, it == byName.end() ? nullptr : it->second);
        }
    } else {
        for (const ArchiveEntryCheck& e : engine)
            add(e.name, "", &e);
    }
    if (check.ok)
        return check;
    // The engine's first failed entry, else the archive as a whole.
    bool unsafe = false;
    for (const ArchiveEntryCheck& e : engine) {
        if (!e.ok) {
            check.failureName = e.name;
            check.failureError = e.error;
            unsafe = e.unsafe;
            for (const PayloadEntryCheck& p : check.entries)
                if (key(p.name) == key(e.name))
                    check.failureMethod = p.method;
            break;
        }
    }
    if (check.failureName.empty()) {
        check.failureMethod = methods.headerMethod;
        check.failureError = !archiveError.empty() ? archiveError : methodError;
    }
    check.message = RefusalText(check.failureName, check.failureMethod, check.failureError, unsafe);
    return check;
}

std::string PayloadCheckJson(const PayloadCheck& check) {
    CJsonObject o;
    o.Add("ok", check.ok ? 1 : 0);
    o.Add("entry_count", static_cast<int>(check.entries.size()));
    // Each chain with the number of entries that use it.
    CJsonObject methods;
    for (const std::string& m : check.methods)
        methods.Add(m, static_cast<int>(std::count_if(
                           check.entries.begin(), check.entries.end(),
                           [&m](const PayloadEntryCheck& e) { return e.method == m; })));
    o.Add("methods", methods);
    o.Add("header_method", check.headerMethod);
    o.Add("solid_blocks", static_cast<int>(check.blockSizes.size()));
    CJsonObject entries;
    for (const PayloadEntryCheck& e : check.entries) {
        CJsonObject item;
        item.Add("name", e.name);
        item.Add("method", e.method);
        item.Add("extracted", e.extracted ? 1 : 0);
        if (!e.extracted)
            item.Add("error", e.error);
        entries.Add(item);
    }
    o.Add("entries", entries);
    if (!check.ok) {
        CJsonObject failure;
        failure.Add("name", check.failureName);
        failure.Add("method", check.failureMethod);
        failure.Add("error", check.failureError);
        failure.Add("message", check.message);
        o.Add("first_failure", failure);
    }
    return o.ToString();
}

std::string SolidBlockAdvice(const PayloadCheck& check) {
    constexpr uint64_t kLarge = 2 * PackInput::kDefaultSolidBlockBytes;
    if (check.blockSizes.size() != 1 || check.blockSizes[0] < kLarge)
        return "";
    return "the payload is one solid block of " + std::to_string(check.blockSizes[0] >> 20) +
           " MB, which the installer decodes on one core; packed in blocks it installs on "
           "every core (--payload DIR does that, or 7zz a -ms=16m)";
}

std::string PackageNameFor(const std::string& namePrefix, const std::string& wholeMd5) {
    std::string digits = wholeMd5.substr(0, 8);
    for (char& c : digits)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return namePrefix + "_" + digits + ".exe";
}

static bool IsMirrorUrl(const std::string& url) {
    for (const char* scheme : {"http://", "https://"}) {
        const size_t length = strlen(scheme);
        if (url.compare(0, length, scheme) != 0)
            continue;
        // The installer pings and probes the host part before "/download/".
        const size_t at = url.find("/download/", length);
        return at != std::string::npos && at > length && at + 10 < url.size();
    }
    return false;
}

bool BuildDownloadConfig(const std::string& packagePath, const std::vector<std::string>& mirrors,
                         const std::string& namePrefix, const std::string& outPath,
                         std::string& error) {
    for (const std::string& m : mirrors) {
        if (!IsMirrorUrl(m)) {
            error = "not a mirror URL (http:// or https:// HOST /download/ NAME): " + m;
            return false;
        }
    }
    std::string data;
    if (!ReadWhole(packagePath, data) || data.size() > static_cast<size_t>(kMaxPackage)) {
        error = "cannot read package " + packagePath + " (or it reaches 2 GiB)";
        return false;
    }
    boost::shared_ptr<IXMLParse> xml;
    if (CreateXMLParse(xml) != S_OK) {
        error = "no XML writer";
        return false;
    }
    const std::string whole = Md5Hex(data.data(), data.size(), true);
    xml->PutIntAttr("download.version", 1);
    xml->PutIntAttr("download.size", static_cast<int>(data.size()));
    xml->PutStringAttr("download.name", PackageNameFor(namePrefix, whole));
    xml->PutIntAttr("download.url.size", static_cast<int>(mirrors.size()));
    for (size_t i = 0; i < mirrors.size(); ++i)
        xml->PutStringAttr("download.url.item_" + std::to_string(i) + ".value", mirrors[i]);
    const size_t blocks = (data.size() + kBlockSize - 1) / kBlockSize;
    xml->PutIntAttr("download.hash.size", static_cast<int>(blocks + 1));
    xml->PutStringAttr("download.hash.item_0.value", whole);
    for (size_t b = 0; b < blocks; ++b) {
        const size_t n = std::min(kBlockSize, data.size() - b * kBlockSize);
        xml->PutStringAttr("download.hash.item_" + std::to_string(b + 1) + ".value",
                           Md5Hex(data.data() + b * kBlockSize, n, true));
    }
    if (xml->SaveAs(Utf8ToWide(outPath)) != 1) {
        error = "cannot write " + outPath;
        return false;
    }
    return true;
}

bool InspectPackage(const std::string& packagePath, std::string& json, std::string& error) {
    std::string data;
    if (!ReadWhole(packagePath, data)) {
        error = "cannot read package " + packagePath;
        return false;
    }
    const int64_t length = static_cast<int64_t>(data.size());
    int32_t offset = 0;
    if (data.size() >= 36)
        memcpy(&offset, &data[kHeaderOffsetPosition], sizeof(offset));
    const bool headerIn = offset >= 0 && offset <= length - kPackageHeaderSize;
    // Only what the file holds: a header that is not there reads as zeros,
    // never as a freshly initialised (and so valid-looking) record.
    PackageHeader h;
    memset(&h, 0, sizeof(h));
    if (headerIn)
        memcpy(&h, &data[static_cast<size_t>(offset)], sizeof(h));
    const int64_t payloadEnd = static_cast<int64_t>(h.nPayloadOffset) + h.nPayloadSize;
    const int64_t uninstallEnd = static_cast<int64_t>(h.nUninstallOffset) + h.nUninstallSize;
    const bool payloadIn =
        headerIn && h.nPayloadOffset >= 0 && h.nPayloadSize >= 0 && payloadEnd <= length;
    CJsonObject o;
    o.Add("file_length", static_cast<int>(length));
    o.Add("header_offset", offset);
    o.Add("magic", std::string(h.magic, strnlen(h.magic, sizeof(h.magic))));
    o.Add("registry_name", HeaderText(h.szRegistryName));
    o.Add("short_name", HeaderText(h.szShortName));
    o.Add("version", HeaderText(h.szVersion));
    o.Add("product_name", HeaderText(h.szProductName));
    o.Add("release_date", HeaderText(h.szReleaseDate));
    o.Add("web_address", HeaderText(h.szWebAddress));
    o.Add("publisher", HeaderText(h.szPublisher));
    o.Add("x64", h.nX64);
    o.Add("payload_offset", h.nPayloadOffset);
    o.Add("payload_size", h.nPayloadSize);
    o.Add("uninstaller_offset", h.nUninstallOffset);
    o.Add("uninstaller_size", h.nUninstallSize);
    CJsonObject checks;
    checks.Add("header_in_file", headerIn ? 1 : 0);
    checks.Add("magic_ok", memcmp(h.magic, kPackageMagic, sizeof(h.magic)) == 0 ? 1 : 0);
    checks.Add("payload_in_file", payloadIn ? 1 : 0);
    checks.Add("payload_is_7z", payloadIn && h.nPayloadSize >= 6 &&
                                        memcmp(&data[static_cast<size_t>(h.nPayloadOffset)],
                                               "7z\xBC\xAF\x27\x1C", 6) == 0
                                    ? 1
                                    : 0);
    checks.Add("uninstaller_in_file", headerIn && h.nUninstallOffset >= 0 &&
                                              h.nUninstallSize >= 0 && uninstallEnd <= length
                                          ? 1
                                          : 0);
    o.Add("checks", checks);
    json = o.ToString();
    return true;
}

bool CheckPackage(const std::string& packagePath, PayloadCheck& check, std::string& error) {
    std::string data;
    if (!ReadWhole(packagePath, data)) {
        error = "cannot read package " + packagePath;
        return false;
    }
    int32_t offset = -1;
    if (data.size() >= kHeaderOffsetPosition + sizeof(offset))
        memcpy(&offset, &data[kHeaderOffsetPosition], sizeof(offset));
    if (offset < 0 ||
        static_cast<int64_t>(offset) > static_cast<int64_t>(data.size()) - kPackageHeaderSize) {
        error = "the header does not lie inside " + packagePath;
        return false;
    }
    PackageHeader h;
    memcpy(&h, &data[static_cast<size_t>(offset)], sizeof(h));
    if (h.nPayloadOffset < 0 || h.nPayloadSize < 0 ||
        static_cast<int64_t>(h.nPayloadOffset) + h.nPayloadSize >
            static_cast<int64_t>(data.size())) {
        error = "the payload does not lie inside " + packagePath;
        return false;
    }
    // Cut the file down to its payload in place: no second copy of it.
    data.resize(static_cast<size_t>(h.nPayloadOffset) + static_cast<size_t>(h.nPayloadSize));
    data.erase(0, static_cast<size_t>(h.nPayloadOffset));
    check = CheckPayload(data);
    return true;
}
