#include "tests/fault/fault_model.h"

#include <utility>

#include "download/download_types.h"

namespace korvel_test {

namespace {
const std::pair<Fault, const char*> kFaultNames[] = {
    {Fault::kRate, "rate"},
    {Fault::kLatency, "latency"},
    {Fault::kStall, "stall"},
    {Fault::kReset, "reset"},
    {Fault::kCorrupt, "corrupt"},
    {Fault::kIgnoreRange, "ignore_range"},
    {Fault::kErrorStatus, "error_status"},
    {Fault::kHeadLength, "head_length"},
    {Fault::kRefuse, "refuse"},
    {Fault::kFlagFull, "flag_full"},
};
}  // namespace

const std::vector<Fault> kAllFaults = [] {
    std::vector<Fault> all;
    for (const auto& entry : kFaultNames)
        all.push_back(entry.first);
    return all;
}();

std::string FaultName(Fault f) {
    for (const auto& entry : kFaultNames) {
        if (entry.first == f)
            return entry.second;
    }
    return "unknown";
}

void ApplyFault(Fault f, korvel_mirror::MirrorSettings& s, size_t size) {
    switch (f) {
        case Fault::kRate:
            s.rateBytesPerSec = 3u << 20;
            break;
        case Fault::kLatency:
            s.latencyMs = 100;
            break;
        case Fault::kStall:
            s.stallAfter = 16 * 1024;
            break;
        case Fault::kReset:
            s.resetAfter = 96 * 1024;
            break;
        case Fault::kCorrupt:
            // Dense enough that every range of a 7-mirror split is hit.
            for (uint64_t off = 1000; off < size; off += 61 * 1024)
                s.corruptOffsets.push_back(off);
            break;
        case Fault::kIgnoreRange:
            s.ignoreRange = true;
            break;
        case Fault::kErrorStatus:
            s.errorStatus = 503;
            break;
        case Fault::kHeadLength:
            s.headLength = static_cast<int64_t>(size) + 1;
            break;
        case Fault::kRefuse:
            s.refuse = true;
            break;
        case Fault::kFlagFull:
            s.flagBody = "0";
            break;
    }
}

std::vector<std::vector<Fault>> FaultCase::FaultsPerMirror() const {
    std::vector<std::vector<Fault>> out(static_cast<size_t>(mirrors));
    // A pair goes to two mirrors when there are two, else both to the one.
    for (size_t i = 0; i < faults.size(); ++i)
        out[i % out.size()].push_back(faults[i]);
    return out;
}

std::string FaultCase::Name() const {
    std::string name;
    for (Fault f : faults)
        name += FaultName(f) + "_";
    name += std::to_string(mirrors) + (mirrors == 1 ? "_mirror" : "_mirrors");
    name += cdn ? "_with_cdn" : "_no_cdn";
    return name;
}

namespace {

bool IsProbeFault(Fault f) {
    return f == Fault::kHeadLength || f == Fault::kRefuse || f == Fault::kFlagFull;
}

bool IsHarmless(Fault f) {
    return f == Fault::kRate || f == Fault::kLatency;
}

// How a download fails when this fault sits on its only source: a range
// that cannot move gives up the dispatch, wrong bytes end the repair.
int FailureCode(Fault f) {
    return (f == Fault::kStall || f == Fault::kReset) ? kDispatchFailError : kRepairFailError;
}

}  // namespace

Expectation Expect(const FaultCase& c) {
    Expectation e;
    std::vector<std::vector<Fault>> sources;
    for (const auto& faults : c.FaultsPerMirror()) {
        bool probed = true;
        for (Fault f : faults)
            probed = probed && !IsProbeFault(f);
        if (probed)
            sources.push_back(faults);
    }
    if (c.cdn)
        sources.push_back({});
    if (sources.empty()) {
        e.mayFail = true;
        e.errors = {kDownloadCheckUrlError};
        return e;
    }
    for (const auto& faults : sources) {
        bool sound = true;
        for (Fault f : faults)
            sound = sound && IsHarmless(f);
        if (sound) {
            e.mayVerify = true;
            return e;
        }
    }
    // Every source damages the file somewhere; several together may still
    // deliver every block right, one alone never does.
    e.mayFail = true;
    e.mayVerify = sources.size() > 1;
    for (const auto& faults : sources) {
        for (Fault f : faults) {
            if (!IsHarmless(f))
                e.errors.insert(FailureCode(f));
        }
    }
    return e;
}

std::vector<FaultCase> SingleFaultCases() {
    std::vector<FaultCase> out;
    for (Fault f : kAllFaults) {
        for (int n = 1; n <= 7; ++n) {
            for (bool cdn : {false, true})
                out.push_back({{f}, n, cdn});
        }
    }
    return out;
}

// Every unordered pair of distinct faults over the mirror sets that change
// the outcome: one mirror carrying both, two mirrors with one fault each
// (nothing sound), each with and without the CDN; then three mirrors (one
// sound) without the CDN and seven (the most ranges) with it.
std::vector<FaultCase> FaultPairCases() {
    std::vector<FaultCase> out;
    const std::pair<int, bool> sets[] = {{1, false}, {1, true},  {2, false},
                                         {2, true},  {3, false}, {7, true}};
    for (size_t a = 0; a < kAllFaults.size(); ++a) {
        for (size_t b = a + 1; b < kAllFaults.size(); ++b) {
            for (const auto& set : sets)
                out.push_back({{kAllFaults[a], kAllFaults[b]}, set.first, set.second});
        }
    }
    return out;
}

}  // namespace korvel_test
