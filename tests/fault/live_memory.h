// Live heap figures of this test program: every global operator new and
// delete is counted, so a case can tell that everything it allocated through
// the engine was freed again after release.
#pragma once

#include <cstdint>

namespace korvel_test {

struct LiveMemory {
    int64_t blocks = 0;
    int64_t bytes = 0;
};
LiveMemory CurrentLiveMemory();

}  // namespace korvel_test
