// One run of the real installer in this process: the window under Xvfb (when
// there is no display), rate-limited mirrors and the report service on free
// loopback ports, a sandbox home and program folder, a click on the install
// button, and the times from that click to the finished page.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korvel_bench {

struct RoadOptions {
    std::string strPackage;        // setup package the mirrors serve
    std::string strPayloadFolder;  // the files it holds, to check what was installed
    int nMirrors = 5;
    std::string strMirrorOptions = "rate=4000000";  // korvel-mirror's per-mirror options
    int nTimeoutSeconds = 180;                      // click to finished page
};

struct RoadResult {
    bool bOk = false;
    std::string strError;  // why the run does not count
    double dClickToFinished = 0;
    double dDownload = 0;          // click until the installation phase is shown
    double dInstall = 0;           // from there to the finished page
    double dPaintCpuDownload = 0;  // CPU seconds of the paint thread in each span
    double dPaintCpuInstall = 0;
    double dRenderCpuDownload = 0;  // the installation animation's render thread
    double dRenderCpuInstall = 0;
    double dProcessCpuDownload = 0;  // all threads, the in-process mirrors included
    double dProcessCpuInstall = 0;
    std::vector<std::pair<std::string, double>> marks;  // log steps, seconds after the click
    uint64_t nPackageBytes = 0;
    uint64_t nPayloadBytes = 0;
    uint64_t nInstalledBytes = 0;
    int nRangedGets = 0;
    std::string strReportStatus;
};

RoadResult RunInstallerRoad(const RoadOptions& options);

// The name of the road's step a log message starts, or null ("transfers_begin",
// "extraction_ends", ...).
const char* StepLabel(const char* message);
// Bytes of the regular files below `folder`; the files the installer adds to
// the top of a program folder (uninstall.exe, its .bin, uninstall.list) are
// left out when asked.
uint64_t TreeBytes(const std::string& folder, bool withoutInstallerFiles);
// The result as one JSON object on one line.
std::string RoadResultJson(const RoadResult& result);

}  // namespace korvel_bench
