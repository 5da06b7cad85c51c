#include "install/decode_plan.h"

#include <algorithm>
#include <unordered_set>

namespace {

std::string WithoutTrailingSlash(std::string name) {
    while (!name.empty() && name.back() == '/')
        name.pop_back();
    return name;
}

}  // namespace

std::vector<DecodeUnit> PlanDecodeUnits(const std::vector<PlanEntry>& entries,
                                        const std::vector<uint64_t>& folderSizes) {
    std::vector<DecodeUnit> blocks(folderSizes.size());
    std::vector<bool> used(folderSizes.size(), false);
    DecodeUnit empty;
    bool anyEmpty = false;
    std::unordered_set<std::string> names;
    for (size_t i = 0; i < entries.size(); ++i) {
        const PlanEntry& e = entries[i];
        if (e.link || !names.insert(WithoutTrailingSlash(e.name)).second)
            return {};
        if (e.folder < 0) {
            empty.last = i;
            anyEmpty = true;
            continue;
        }
        const size_t f = static_cast<size_t>(e.folder);
        if (f >= blocks.size())
            return {};
        blocks[f].folder = e.folder;
        blocks[f].last = i;
        blocks[f].bytes = folderSizes[f];
        used[f] = true;
    }
    std::vector<DecodeUnit> units;
    for (size_t f = 0; f < blocks.size(); ++f)
        if (used[f])
            units.push_back(blocks[f]);
    if (units.size() < 2)
        return {};
    std::stable_sort(units.begin(), units.end(),
                     [](const DecodeUnit& a, const DecodeUnit& b) { return a.bytes > b.bytes; });
    if (anyEmpty)
        units.insert(units.begin(), empty);
    return units;
}
