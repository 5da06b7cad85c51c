// The simulator's fault modes, what each does to one mirror, and what the
// engine must make of a mirror set carrying them: the expected outcome is
// derived from which mirrors can still deliver the file, not from timings.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "tools/korvel-mirror/mirror_sim.h"

namespace korvel_test {

enum class Fault {
    kRate,         // slow but correct
    kLatency,      // every response late
    kStall,        // silent after a few KB of each response
    kReset,        // connection reset after a few KB of each response
    kCorrupt,      // bytes flipped throughout the file
    kIgnoreRange,  // 200 with the whole file for ranged requests
    kErrorStatus,  // an HTML error page instead of the file
    kHeadLength,   // the size request announces a wrong length
    kRefuse,       // connections refused
    kFlagFull,     // the capacity probe says "full"
};
extern const std::vector<Fault> kAllFaults;

std::string FaultName(Fault f);
// Sets the mirror up to show the fault while serving a file of `size` bytes.
void ApplyFault(Fault f, korvel_mirror::MirrorSettings& s, size_t size);

// One combination: the faults of each ordinary mirror (mirror i gets
// faultsPerMirror[i], missing entries are sound) and whether a sound CDN
// mirror stands in reserve.
struct FaultCase {
    std::vector<Fault> faults;  // one or two
    int mirrors = 1;
    bool cdn = false;
    std::vector<std::vector<Fault>> FaultsPerMirror() const;
    std::string Name() const;
};

struct Expectation {
    bool mayVerify = false;
    bool mayFail = false;
    std::set<int> errors;  // allowed error codes when it fails
};
Expectation Expect(const FaultCase& c);

// Every fault alone over 1..7 mirrors with and without the CDN, and the
// chosen pairs (see the .cpp).
std::vector<FaultCase> SingleFaultCases();
std::vector<FaultCase> FaultPairCases();

}  // namespace korvel_test
