// CPU time of single threads of this process, found by name: the benchmark
// measures the installer's paint thread from outside the installer's code.
#pragma once

#include <string>
#include <vector>

namespace korvel_bench {

// Ids of this process's threads whose name (/proc/self/task/<tid>/comm) is `name`.
std::vector<int> FindThreadsNamed(const std::string& name);

// utime + stime of one /proc stat line, in clock ticks; -1 when malformed.
// The name field may hold spaces and parentheses, so fields count from the last ')'.
long long ParseStatCpuTicks(const std::string& statLine);

// CPU seconds the thread has used so far; negative when the thread is gone.
double ThreadCpuSeconds(int tid);
// CPU seconds of the whole process (all threads) so far.
double ProcessCpuSeconds();

}  // namespace korvel_bench
