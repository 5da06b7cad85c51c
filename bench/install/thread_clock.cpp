#include "bench/install/thread_clock.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace korvel_bench {

namespace {

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string TaskPath(int tid, const char* file) {
    return "/proc/self/task/" + std::to_string(tid) + "/" + file;
}

}  // namespace

std::vector<int> FindThreadsNamed(const std::string& name) {
    std::vector<int> found;
    DIR* dir = opendir("/proc/self/task");
    if (!dir) {
        return found;
    }
    while (const dirent* entry = readdir(dir)) {
        const int tid = std::atoi(entry->d_name);
        if (tid > 0 && ReadFirstLine(TaskPath(tid, "comm")) == name) {
            found.push_back(tid);
        }
    }
    closedir(dir);
    return found;
}

long long ParseStatCpuTicks(const std::string& statLine) {
    const size_t close = statLine.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    // After the name: state (field 3) ... utime (14), stime (15).
    std::istringstream fields(statLine.substr(close + 1));
    std::string field;
    long long utime = -1, stime = -1;
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14 || n == 15) {
            char* end = nullptr;
            const long long value = std::strtoll(field.c_str(), &end, 10);
            if (*end != '\0' || value < 0) {
                return -1;
            }
            (n == 14 ? utime : stime) = value;
        }
    }
    return utime < 0 || stime < 0 ? -1 : utime + stime;
}

namespace {

double StatCpuSeconds(const std::string& statPath) {
    const long long ticks = ParseStatCpuTicks(ReadFirstLine(statPath));
    if (ticks < 0) {
        return -1;
    }
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

double ThreadCpuSeconds(int tid) {
    return StatCpuSeconds(TaskPath(tid, "stat"));
}

double ProcessCpuSeconds() {
    return StatCpuSeconds("/proc/self/stat");
}

}  // namespace korvel_bench
