// The system's network adapter table, as the machine identity reads it
// (GetAdaptersInfo on Windows, sysfs on Linux). Production code uses
// SystemAdapterProvider(); tests hand the identity functions a provider that
// returns chosen adapter lists.
#pragma once

#include <string>
#include <vector>

// One entry of the adapter table, in the system's order.
struct AdapterRecord {
    std::string strName;              // the system's adapter name (POSIX: interface name)
    unsigned char address[8] = {0};   // hardware address, zero-filled
    unsigned int nAddressLength = 0;  // bytes of `address` the system filled
};

// Thread rule: every operation may be called from any thread; implementations
// keep no mutable state.
class IAdapterProvider {
public:
    virtual ~IAdapterProvider() = default;
    // Fills `out` with the adapter table (loopback excluded); false when the
    // table cannot be read at all. An empty table is a success.
    virtual bool ReadAdapters(std::vector<AdapterRecord>& out) const = 0;
    // The adapter sits on the PCI bus.
    virtual bool IsPciAdapter(const char* adapterName) const = 0;
    // The adapter is backed by a hardware device (not a bridge, veth, tun, ...).
    virtual bool IsPhysicalAdapter(const char* adapterName) const = 0;
};

// The running system's table; a process-wide object that lives until exit.
const IAdapterProvider& SystemAdapterProvider();
