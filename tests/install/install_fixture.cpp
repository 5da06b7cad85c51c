#include "tests/install/install_fixture.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>

#include "tests/support/test_support.h"
#include "tools/korvel-pack/pack.h"

namespace korvel_test {

namespace {

la_ssize_t Append(archive*, void* client, const void* buffer, size_t length) {
    static_cast<std::string*>(client)->append(static_cast<const char*>(buffer), length);
    return static_cast<la_ssize_t>(length);
}

void Walk(const std::string& root, const std::string& rel, std::vector<std::string>& out) {
    DIR* dir = opendir((root + "/" + rel).c_str());
    if (!dir)
        return;
    while (struct dirent* e = readdir(dir)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, ".."))
            continue;
        const std::string child = rel.empty() ? e->d_name : rel + "/" + e->d_name;
        struct stat st;
        if (lstat((root + "/" + child).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            Walk(root, child, out);
        else
            out.push_back(child);
    }
    closedir(dir);
}

}  // namespace

std::string RawArchive(const std::vector<RawEntry>& entries) {
    std::string out;
    archive* a = archive_write_new();
    archive_write_set_format_7zip(a);
    archive_write_set_bytes_in_last_block(a, 1);
    archive_write_open(a, &out, nullptr, Append, nullptr);
    for (const RawEntry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.c_str());
        if (e.type == 'd') {
            archive_entry_set_filetype(entry, AE_IFDIR);
        } else if (e.type == 'l') {
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, e.content.c_str());
        } else if (e.type == 'h') {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_hardlink(entry, e.content.c_str());
        } else {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, static_cast<la_int64_t>(e.content.size()));
        }
        archive_entry_set_perm(entry, static_cast<mode_t>(e.mode));
        archive_write_header(a, entry);
        if (e.type == 'f')
            archive_write_data(a, e.content.data(), e.content.size());
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    return out;
}

InstallProductFacts KorvelFacts(bool x64) {
    InstallProductFacts f;
    f.strRegistryName = "Korvel 12";
    f.strShortName = "Korvel 12";
    f.strVersion = "12.0.0.2";
    f.strProductName = "Korvel";
    f.strReleaseDate = "2020-10-15";
    f.strWebAddress = "https://www.example.com/korvel";
    f.strPublisher = "(c) Korvel Software";
    f.bX64 = x64;
    f.strProductTitle = L"Korvel 12";
    f.strCompanyFolder = "Korvel";
    f.strProductFolder = "Korvel12";
    f.strMainExe32 = L"Korvel.exe";
    f.strMainExe64 = L"Korvel64.exe";
    f.vecUpdaterFiles = {L"LiveUpdate.exe"};
    return f;
}

std::string PackageAround(const std::string& payload, const std::string& uninstaller, bool x64,
                          bool headerLast) {
    return AssemblePackage("", MakePackageHeader(KorvelFacts(x64)), payload, uninstaller,
                           headerLast);
}

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> out;
    Walk(folder, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

ToolRun RunCommand(const std::string& command, bool withStderr) {
    const std::string line = command + (withStderr ? " 2>&1" : " 2>/dev/null");
    ToolRun r;
    FILE* p = popen(line.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0)
        r.out.append(buf, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

ToolRun RunPack(const std::string& args, const std::string& environment, bool withStderr) {
    return RunCommand(environment + " " + ShellQuote(KORVEL_PACK_TOOL) + " " + args, withStderr);
}

std::map<std::string, std::string> DescribeTree(const std::string& folder, bool withTimes) {
    std::map<std::string, std::string> tree;
    std::istringstream lines(RunCommand("cd " + ShellQuote(folder) + " && find . -mindepth 1").out);
    for (std::string rel; std::getline(lines, rel);) {
        const std::string path = folder + "/" + rel.substr(2);
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            continue;
        std::ostringstream what;
        what << std::oct << st.st_mode << std::dec;
        if (withTimes)
            what << " " << st.st_mtime;
        if (S_ISREG(st.st_mode))
            what << " " << st.st_size << " " << std::hash<std::string>()(ReadFile(path));
        tree[rel.substr(2)] = what.str();
    }
    return tree;
}

}  // namespace korvel_test
