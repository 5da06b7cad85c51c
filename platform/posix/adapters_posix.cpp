// Linux adapter table from sysfs: /sys/class/net/<name>/{ifindex,type,address,device}.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/sysfs_adapters.h"

namespace fs = std::filesystem;

namespace {

constexpr long kArphrdLoopback = 772;

bool ReadFirstLine(const fs::path& file, std::string& line) {
    std::ifstream in(file);
    if (!in)
        return false;
    std::getline(in, line);
    return true;
}

long ReadNumber(const fs::path& file, long fallback) {
    std::string line;
    if (!ReadFirstLine(file, line) || line.empty())
        return fallback;
    char* end = nullptr;
    long value = std::strtol(line.c_str(), &end, 0);
    return end == line.c_str() ? fallback : value;
}

// "aa:bb:cc:dd:ee:ff" (any length up to 8 bytes); interfaces without one keep zeros.
unsigned ParseHardwareAddress(const std::string& text, unsigned char out[8]) {
    unsigned count = 0;
    size_t pos = 0;
    while (count < 8 && pos + 2 <= text.size()) {
        if (!std::isxdigit(static_cast<unsigned char>(text[pos])) ||
            !std::isxdigit(static_cast<unsigned char>(text[pos + 1])))
            break;
        out[count++] = static_cast<unsigned char>(std::stoul(text.substr(pos, 2), nullptr, 16));
        pos += 2;
        if (pos < text.size() && text[pos] != ':')
            break;
        ++pos;
    }
    return count;
}

// Adapter names come from callers: refuse anything that could leave the root.
bool IsPlainName(const char* name) {
    if (!name || !*name)
        return false;
    const std::string n = name;
    return n != "." && n != ".." && n.find('/') == std::string::npos;
}

}  // namespace

SysfsAdapterProvider::SysfsAdapterProvider(std::string root) : m_strRoot(std::move(root)) {}

bool SysfsAdapterProvider::ReadAdapters(std::vector<AdapterRecord>& out) const {
    std::error_code ec;
    fs::directory_iterator it(m_strRoot, ec);
    if (ec)
        return false;
    std::vector<std::pair<long, AdapterRecord>> found;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            return false;
        const fs::path dir = it->path();
        if (ReadNumber(dir / "type", 0) == kArphrdLoopback)
            continue;
        AdapterRecord record;
        record.strName = dir.filename().string();
        std::string address;
        if (ReadFirstLine(dir / "address", address)) {
            record.nAddressLength = ParseHardwareAddress(address, record.address);
        }
        found.emplace_back(ReadNumber(dir / "ifindex", 0x7fffffff), record);
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.strName < b.second.strName;
    });
    out.clear();
    for (auto& entry : found)
        out.push_back(std::move(entry.second));
    return true;
}

bool SysfsAdapterProvider::IsPciAdapter(const char* adapterName) const {
    if (!IsPlainName(adapterName))
        return false;
    std::error_code ec;
    const fs::path subsystem =
        fs::read_symlink(fs::path(m_strRoot) / adapterName / "device" / "subsystem", ec);
    return !ec && subsystem.filename() == "pci";
}

bool SysfsAdapterProvider::IsPhysicalAdapter(const char* adapterName) const {
    if (!IsPlainName(adapterName))
        return false;
    std::error_code ec;
    return fs::exists(fs::path(m_strRoot) / adapterName / "device", ec);
}

const IAdapterProvider& SystemAdapterProvider() {
    static const SysfsAdapterProvider provider;
    return provider;
}
