#include "download/mirror_choice.h"

#include <algorithm>

MirrorChoice ChooseMirrors(const std::vector<UrlCfg>& passed, const UrlCfg* cdn) {
    MirrorChoice choice;
    std::vector<UrlCfg> open;
    for (const UrlCfg& c : passed) {
        if (c.networkNotFull)
            open.push_back(c);
    }
    // Stable, so mirrors with equal times keep the configuration's order.
    std::stable_sort(open.begin(), open.end(),
                     [](const UrlCfg& a, const UrlCfg& b) { return a.pingTime < b.pingTime; });
    if (open.empty()) {
        choice.cdn = cdn ? CdnReserve::kAlone : CdnReserve::kMissingAlone;
        if (cdn) {
            open.push_back(*cdn);
            choice.threadsPerUrl = kCdnAloneThreads;
        }
    } else if (open.size() <= 2) {
        choice.cdn = cdn ? CdnReserve::kAdded : CdnReserve::kMissingAdded;
        if (cdn)
            open.push_back(*cdn);
    }
    if (open.size() > kMaxUsedMirrors)
        open.resize(kMaxUsedMirrors);
    choice.used = std::move(open);
    return choice;
}
