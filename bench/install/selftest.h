// Checks of what the benchmark's figures rest on: the thread clock, the log
// steps that split the road, and the byte count that says the install is whole.
#pragma once

namespace korvel_bench {

// Prints each failed check to stderr; 0 when all passed.
int SelfTest();

}  // namespace korvel_bench
