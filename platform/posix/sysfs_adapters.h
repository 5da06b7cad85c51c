// The Linux adapter table read from sysfs below `root` (normally
// /sys/class/net): one folder per interface, ordered by its "ifindex",
// loopback (type 772) left out. SystemAdapterProvider() is one of these;
// tests point `root` at a folder tree of their own.
#pragma once

#include <string>
#include <vector>

#include "platform/adapters.h"

class SysfsAdapterProvider : public IAdapterProvider {
public:
    explicit SysfsAdapterProvider(std::string root = "/sys/class/net");
    bool ReadAdapters(std::vector<AdapterRecord>& out) const override;
    bool IsPciAdapter(const char* adapterName) const override;
    bool IsPhysicalAdapter(const char* adapterName) const override;

private:
    std::string m_strRoot;
};
