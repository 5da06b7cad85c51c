// The mirror choice policy: which of the probed mirrors a download uses and
// when the CDN mirror steps in. Pure: probe results in, decision out, so the
// policy is tested without a network.
#pragma once

#include <vector>

#include "download/download_types.h"

// At most this many mirrors serve one download.
constexpr size_t kMaxUsedMirrors = 5;
// Transfers per URL when the CDN serves the whole file alone.
constexpr int kCdnAloneThreads = 5;

// What became of the CDN mirror held in reserve.
enum class CdnReserve {
    kNotNeeded,     // three or more mirrors pass
    kAlone,         // no mirror passes: the CDN serves every byte
    kAdded,         // one or two pass: the CDN serves ranges beside them
    kMissingAlone,  // no mirror passes and no CDN of the right size
    kMissingAdded,  // one or two pass and no CDN of the right size
};

struct MirrorChoice {
    std::vector<UrlCfg> used;  // in the order transfers are dealt to them
    CdnReserve cdn = CdnReserve::kNotNeeded;
    int threadsPerUrl = 0;  // the task's new value; 0 keeps it

    bool UsingCdn() const { return cdn == CdnReserve::kAlone || cdn == CdnReserve::kAdded; }
};

// `passed`: the mirrors of the right size in configuration order, each with
// its ping time and flag result (`networkNotFull`); `cdn`: the size-checked
// CDN entry, or null. Mirrors with a full network are dropped, the rest
// ordered by ping time (stable) and cut to kMaxUsedMirrors.
MirrorChoice ChooseMirrors(const std::vector<UrlCfg>& passed, const UrlCfg* cdn);
