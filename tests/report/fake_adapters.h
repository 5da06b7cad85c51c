// An adapter table chosen by the test.
#pragma once

#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "platform/adapters.h"

class FakeAdapters : public IAdapterProvider {
public:
    bool bFail = false;
    std::vector<AdapterRecord> table;
    std::set<std::string> pci;
    std::set<std::string> physical;

    FakeAdapters& Add(const std::string& name, std::initializer_list<unsigned> bytes) {
        AdapterRecord record;
        record.strName = name;
        for (unsigned b : bytes)
            record.address[record.nAddressLength++] = static_cast<unsigned char>(b);
        table.push_back(record);
        return *this;
    }

    bool ReadAdapters(std::vector<AdapterRecord>& out) const override {
        if (bFail)
            return false;
        out = table;
        return true;
    }
    bool IsPciAdapter(const char* name) const override { return pci.count(name) != 0; }
    bool IsPhysicalAdapter(const char* name) const override { return physical.count(name) != 0; }
};
