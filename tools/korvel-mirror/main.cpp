// korvel-mirror: serves files on one or more simulated mirrors until SIGTERM
// or --max-seconds, then prints one status line per mirror.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "tools/korvel-mirror/mirror_sim.h"

using namespace korvel_mirror;

namespace {

std::atomic<bool> g_stop{false};
void OnSignal(int) {
    g_stop = true;
}

void Usage() {
    std::cerr << "usage: korvel-mirror [--file NAME=PATH]... [--gen NAME=SIZE[:SEED]]... \n"
                 "                     [--mirror MIRROR]... [--config FILE] [--max-seconds N]\n"
                 "MIRROR: ADDR:PORT[,rate=B/s][,latency=MS][,stall=N][,reset=N][,corrupt=OFF;OFF]\n"
                 "        [,ignore-range][,status=CODE][,head-length=N][,refuse][,flag=TEXT]\n"
                 "        [,tls-cert=PEM,tls-key=PEM]   (ADDR may be [IPv6]; with both: HTTPS)\n"
                 "FILE: one MIRROR per line; lines starting with # are ignored; 'file NAME=PATH'\n"
                 "      and 'gen NAME=SIZE[:SEED]' lines add files.\n";
}

bool LoadFile(const std::string& arg, FileSet& files) {
    const size_t eq = arg.find('=');
    if (eq == std::string::npos)
        return false;
    std::ifstream in(arg.substr(eq + 1), std::ios::binary);
    if (!in)
        return false;
    std::ostringstream data;
    data << in.rdbuf();
    files[arg.substr(0, eq)] = std::make_shared<const std::string>(data.str());
    return true;
}

bool GenFile(const std::string& arg, FileSet& files) {
    const size_t eq = arg.find('=');
    if (eq == std::string::npos)
        return false;
    std::string rest = arg.substr(eq + 1);
    uint64_t seed = 1;
    const size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        seed = std::stoull(rest.substr(colon + 1));
        rest.resize(colon);
    }
    files[arg.substr(0, eq)] = MakeContent(std::stoull(rest), seed);
    return true;
}

bool ReadConfig(const std::string& path, FileSet& files, std::vector<std::string>& mirrors) {
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line.compare(0, 5, "file ") == 0) {
            if (!LoadFile(line.substr(5), files))
                return false;
        } else if (line.compare(0, 4, "gen ") == 0) {
            if (!GenFile(line.substr(4), files))
                return false;
        } else {
            mirrors.push_back(line);
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    FileSet files;
    std::vector<std::string> mirrors;
    double maxSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        bool ok = true;
        if (a == "--file" && hasValue) {
            ok = LoadFile(argv[++i], files);
        } else if (a == "--gen" && hasValue) {
            ok = GenFile(argv[++i], files);
        } else if (a == "--mirror" && hasValue) {
            mirrors.push_back(argv[++i]);
        } else if (a == "--config" && hasValue) {
            ok = ReadConfig(argv[++i], files, mirrors);
        } else if (a == "--max-seconds" && hasValue) {
            maxSeconds = std::stod(argv[++i]);
        } else {
            Usage();
            return 2;
        }
        if (!ok) {
            std::cerr << "korvel-mirror: cannot use " << a << " " << argv[i] << "\n";
            return 2;
        }
    }
    if (mirrors.empty()) {
        Usage();
        return 2;
    }
    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    MirrorSet set(files);
    for (const std::string& options : mirrors) {
        MirrorSettings settings;
        std::string error;
        if (!ParseMirrorOptions(options, settings, error) || !set.Add(settings, &error)) {
            std::cerr << "korvel-mirror: " << error << "\n";
            return 1;
        }
        MirrorServer& m = set.At(set.Size() - 1);
        std::cout << "listening " << m.BaseUrl() << (settings.refuse ? " (refusing)" : "") << "\n";
    }
    std::cout << "ready" << std::endl;
    const auto begin = std::chrono::steady_clock::now();
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
        if (maxSeconds > 0 && elapsed.count() >= maxSeconds)
            break;
    }
    set.StopAll();
    for (size_t i = 0; i < set.Size(); ++i)
        std::cout << set.At(i).StatusJson() << "\n";
    return 0;
}
