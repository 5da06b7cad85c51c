#include "report/machine_identity.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/log.h"
#include "platform/text.h"

namespace {

// Address blocks of VMware, Microsoft Virtual PC/Hyper-V, Parallels, Xen,
// VirtualBox and friends: such adapters say nothing about the machine.
const std::vector<std::string>& VirtualMachinePrefixes() {
    static const std::vector<std::string> prefixes = {"00-05-69", "00-0C-29", "00-50-56",
                                                      "00-1c-14", "00-1C-42", "00-03-FF",
                                                      "00-0F-4B", "00-16-3E", "08-00-27"};
    return prefixes;
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string JoinColon(const std::vector<std::string>& pieces) {
    std::string out;
    for (const auto& piece : pieces) {
        if (!out.empty())
            out += ":";
        out += piece;
    }
    return out;
}

// Appends with ":" between entries, as the list texts are built.
void AppendListText(std::string& list, const std::string& mac) {
    if (!list.empty())
        list += ":";
    list += mac;
}

}  // namespace

std::string FormatMacText(const AdapterRecord& adapter) {
    const unsigned char* a = adapter.address;
    char text[32];
    snprintf(text, sizeof(text), "%02x-%02x-%02x-%02x-%02x-%02x", a[0], a[1], a[2], a[3], a[4],
             a[5]);
    return text;
}

bool IsVirtualMachineMac(const std::string& macText) {
    const std::string mac = LowerAscii(macText);
    for (const auto& prefix : VirtualMachinePrefixes()) {
        if (mac.find(LowerAscii(prefix)) != std::string::npos)
            return true;
    }
    return false;
}

std::string MakeMachineGuid() {
    // A GUID's fields filled from the operating system's random source.
    const std::string hex = NewRandomId();
    unsigned char b[16];
    for (int i = 0; i < 16; ++i)
        b[i] = static_cast<unsigned char>(std::stoi(hex.substr(i * 2, 2), nullptr, 16));
    const uint32_t data1 =
        (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    const unsigned data2 = (unsigned(b[4]) << 8) | b[5];
    const unsigned data3 = (unsigned(b[6]) << 8) | b[7];
    char text[40];
    snprintf(text, sizeof(text), "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
             static_cast<unsigned>(data1), data2, data3, b[8], b[9], b[10], b[11], b[12], b[13],
             b[14], b[15]);
    return text;
}

std::vector<std::string> GetMacAddressList(const IAdapterProvider& adapters) {
    std::vector<std::string> list;
    std::vector<AdapterRecord> table;
    if (!adapters.ReadAdapters(table))
        return list;
    for (size_t i = 0; i < table.size() && i < 3; ++i) {
        std::string mac = FormatMacText(table[i]);
        if (!IsVirtualMachineMac(mac))
            list.push_back(mac);
    }
    if (list.size() > 1)
        std::sort(list.begin(), list.end());
    return list;
}

std::vector<std::string> GetMacAddressList() {
    return GetMacAddressList(SystemAdapterProvider());
}

std::string GetFirstMacs(const IAdapterProvider& adapters) {
    std::vector<AdapterRecord> table;
    if (!adapters.ReadAdapters(table)) {
        WriteLog("failed to call GetAdaptersInfo\n");
        return "";
    }
    std::string list;
    for (size_t i = 0; i < table.size() && i < 3; ++i)
        AppendListText(list, FormatMacText(table[i]));
    return list;
}

std::string GetFirstMacs() {
    return GetFirstMacs(SystemAdapterProvider());
}

std::string GetClientMacString(const IAdapterProvider& adapters) {
    std::vector<AdapterRecord> table;
    if (!adapters.ReadAdapters(table)) {
        WriteLog("failed to call GetAdaptersInfo\n");
        return "";
    }
    std::string ordinary;
    std::string physical;
    for (size_t i = 0; i < table.size(); ++i) {
        const std::string mac = FormatMacText(table[i]);
        if (i < 3 && !IsVirtualMachineMac(mac))
            AppendListText(ordinary, mac);
        const char* name = table[i].strName.c_str();
        if (adapters.IsPciAdapter(name) || adapters.IsPhysicalAdapter(name)) {
            AppendListText(physical, mac);
        }
    }
    std::string result = physical;
    if (result.empty())
        result = ordinary;
    if (result.empty())
        result = GetFirstMacs(adapters);
    return NormalizeMacList(result);
}

std::string GetClientMacString() {
    return GetClientMacString(SystemAdapterProvider());
}

bool IsPciAdapter(const char* adapterName) {
    return SystemAdapterProvider().IsPciAdapter(adapterName);
}

bool IsPhysicalAdapter(const char* adapterName) {
    return SystemAdapterProvider().IsPhysicalAdapter(adapterName);
}

std::string NormalizeMacList(const std::string& text) {
    std::vector<std::string> pieces;
    if (SplitString(text, ":", pieces) <= 1)
        return text;
    std::sort(pieces.begin(), pieces.end());
    return JoinColon(pieces);
}

int SplitString(const std::string& text, const std::string& delimiter,
                std::vector<std::string>& out) {
    if (text.empty() || delimiter.empty())
        return 0;
    int count = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(delimiter, start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start) {
            out.push_back(text.substr(start, end - start));
            ++count;
        }
        start = end + delimiter.size();
    }
    return count;
}
