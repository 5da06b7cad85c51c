// korvel-pack: the vendor's package builder (usage in docs/install.md).
//   build   (--payload DIR | --payload-7z ARCHIVE) --uninstaller FILE [--stub FILE] --registry-name
//   N
//           --short-name N --version V --product-name N --release-date D
//           --web-address U --publisher P [--x64] [--level N] [--mtime SECONDS]
//           [--solid-block MB] -o PACKAGE
//   config  PACKAGE --mirror URL... [--name-prefix P] -o CONFIG.xml
//   inspect PACKAGE
//   check   PACKAGE
//   extract PACKAGE FOLDER
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "install/package.h"
#include "platform/text.h"
#include "tools/korvel-pack/pack.h"

namespace {

int Usage() {
    fprintf(stderr,
            "usage: korvel-pack build (--payload DIR | --payload-7z ARCHIVE) --uninstaller FILE\n"
            "         [--stub FILE]\n"
            "         --registry-name N --short-name N --version V --product-name N\n"
            "         --release-date YYYY-MM-DD --web-address URL --publisher TEXT [--x64]\n"
            "         [--level 0-9] [--mtime SECONDS] [--solid-block MB] -o PACKAGE\n"
            "         (--solid-block: MB per solid block, 16 by default; 0: one block)\n"
            "       korvel-pack config PACKAGE --mirror URL [--mirror URL ...]\n"
            "         [--name-prefix P] -o CONFIG.xml\n"
            "       korvel-pack inspect PACKAGE\n"
            "       korvel-pack check PACKAGE\n"
            "       korvel-pack extract PACKAGE FOLDER\n");
    return 2;
}

// --key value pairs (repeatable keys collect), "--x64" a flag, the rest positional.
struct Args {
    std::multimap<std::string, std::string> options;
    std::vector<std::string> positional;
    bool x64 = false;

    bool Parse(int argc, char** argv, int first) {
        for (int i = first; i < argc; ++i) {
            const std::string a = argv[i];
            if (a == "--x64") {
                x64 = true;
            } else if (a.size() > 1 && a[0] == '-') {
                if (i + 1 >= argc)
                    return false;
                options.emplace(a, argv[++i]);
            } else {
                positional.push_back(a);
            }
        }
        return true;
    }
    std::string Get(const std::string& key) const {
        auto it = options.find(key);
        return it == options.end() ? std::string() : it->second;
    }
    std::vector<std::string> All(const std::string& key) const {
        std::vector<std::string> v;
        for (auto r = options.equal_range(key); r.first != r.second; ++r.first)
            v.push_back(r.first->second);
        return v;
    }
};

int Fail(const std::string& error) {
    fprintf(stderr, "korvel-pack: %s\n", error.c_str());
    return 1;
}

int Build(const Args& args) {
    PackInput in;
    in.strPayloadFolder = args.Get("--payload");
    in.strPayloadArchive = args.Get("--payload-7z");
    in.strUninstaller = args.Get("--uninstaller");
    in.strStub = args.Get("--stub");
    const std::string out = args.Get("-o");
    if (in.strPayloadFolder.empty() == in.strPayloadArchive.empty() || in.strUninstaller.empty() ||
        out.empty())
        return Usage();
    in.facts.strRegistryName = args.Get("--registry-name");
    in.facts.strShortName = args.Get("--short-name");
    in.facts.strVersion = args.Get("--version");
    in.facts.strProductName = args.Get("--product-name");
    in.facts.strReleaseDate = args.Get("--release-date");
    in.facts.strWebAddress = args.Get("--web-address");
    in.facts.strPublisher = args.Get("--publisher");
    in.facts.bX64 = args.x64;
    if (!args.Get("--level").empty())
        in.nLevel = atoi(args.Get("--level").c_str());
    if (!args.Get("--mtime").empty())
        in.nMtime = atoll(args.Get("--mtime").c_str());
    const std::string block = args.Get("--solid-block");
    if (!block.empty()) {
        char* end = nullptr;
        const unsigned long long mb = strtoull(block.c_str(), &end, 10);
        if (*end != 0 || block[0] == '-' || mb > (1ULL << 20))
            return Fail("--solid-block takes megabytes, 0 for one solid block: " + block);
        in.nSolidBlockBytes = mb << 20;
    }
    std::string error, advice;
    if (!BuildPackage(in, out, error, &advice))
        return Fail(error);
    if (!advice.empty())
        fprintf(stderr, "korvel-pack: note: %s\n", advice.c_str());
    return 0;
}

int Config(const Args& args) {
    const std::string out = args.Get("-o");
    const std::vector<std::string> mirrors = args.All("--mirror");
    if (args.positional.size() != 1 || out.empty() || mirrors.empty())
        return Usage();
    std::string prefix = args.Get("--name-prefix");
    if (prefix.empty()) {
        prefix = args.positional[0].substr(args.positional[0].find_last_of('/') + 1);
        if (prefix.size() > 4 && prefix.compare(prefix.size() - 4, 4, ".exe") == 0)
            prefix.resize(prefix.size() - 4);
    }
    std::string error;
    return BuildDownloadConfig(args.positional[0], mirrors, prefix, out, error) ? 0 : Fail(error);
}

int Inspect(const Args& args) {
    if (args.positional.size() != 1)
        return Usage();
    std::string json, error;
    if (!InspectPackage(args.positional[0], json, error))
        return Fail(error);
    printf("%s\n", json.c_str());
    // The report is printed either way; the exit code says whether the file
    // is a package at all (a header in the file, carrying the magic).
    if (json.find("\"header_in_file\":1") == std::string::npos ||
        json.find("\"magic_ok\":1") == std::string::npos)
        return Fail(args.positional[0] + " is not a setup package");
    return 0;
}

// Exit 0 only when the installer's engine extracts every entry.
int Check(const Args& args) {
    if (args.positional.size() != 1)
        return Usage();
    PayloadCheck check;
    std::string error;
    if (!CheckPackage(args.positional[0], check, error))
        return Fail(error);
    printf("%s\n", PayloadCheckJson(check).c_str());
    if (!check.ok)
        fprintf(stderr, "korvel-pack: %s\n", check.message.c_str());
    else if (!SolidBlockAdvice(check).empty())
        fprintf(stderr, "korvel-pack: note: %s\n", SolidBlockAdvice(check).c_str());
    return check.ok ? 0 : 1;
}

FILE* g_json = nullptr;

int PrintEvent(int event, int value, int) {
    fprintf(g_json, "{\"event\":%d,\"value\":%d}\n", event, value);
    fflush(g_json);
    return 1;
}

// Library chatter on stdout (the extraction's temp-file line, anything else)
// goes to stderr so that the JSON lines stay clean.
int Extract(const Args& args) {
    if (args.positional.size() != 2)
        return Usage();
    fflush(stdout);
    const int jsonFd = dup(STDOUT_FILENO);
    if (jsonFd < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return Fail("cannot redirect stdout");
    g_json = fdopen(jsonFd, "w");
    if (!g_json)
        return Fail("cannot open the JSON stream");
    const std::wstring package = Utf8ToWide(args.positional[0]);
    const std::wstring folder = Utf8ToWide(args.positional[1]);
    const HRESULT r =
        InstallPackage(package.c_str(), PrintEvent, folder.c_str(), InstallOptions::kSetup);
    fflush(stdout);
    fprintf(g_json,
            "{\"result\":\"0x%08X\",\"ok\":%s,\"last_install_error\":%d,"
            "\"last_install_error_name\":\"%s\"}\n",
            static_cast<unsigned>(r), r == S_OK ? "true" : "false", GetLastInstallError(),
            GetLastInstallErrorText().c_str());
    fclose(g_json);
    return r == S_OK ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    Args args;
    if (!args.Parse(argc, argv, 2))
        return Usage();
    if (command == "build")
        return Build(args);
    if (command == "config")
        return Config(args);
    if (command == "inspect")
        return Inspect(args);
    if (command == "check")
        return Check(args);
    if (command == "extract")
        return Extract(args);
    return Usage();
}
