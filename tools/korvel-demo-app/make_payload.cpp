// Writes the demo product's payload folder: the main application under the
// product's executable names, the repair tool, the shortcut icons and a few
// MB of ordinary files (documents, data, translations), the same bytes on
// every run.
//   korvel-demo-payload OUT_DIR PROGRAM ICON_DIR
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

bool MakeDir(const std::string& path) {
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool Write(const std::string& path, const std::string& bytes, bool executable = false) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "korvel-demo-payload: cannot write %s\n", path.c_str());
        return false;
    }
    out.close();
    return chmod(path.c_str(), executable ? 0755 : 0644) == 0;
}

bool Read(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "korvel-demo-payload: cannot read %s\n", path.c_str());
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Media-like data: noise that compresses poorly, as real media files do.
std::string Noise(size_t size, uint64_t seed) {
    std::string out(size, '\0');
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out[i] = static_cast<char>(x >> 24);
    }
    return out;
}

std::string Manual(int chapters) {
    std::ostringstream s;
    s << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Korvel 12 manual</title>"
         "</head><body>\n";
    for (int c = 1; c <= chapters; ++c) {
        s << "<h2>Chapter " << c << "</h2>\n";
        for (int p = 0; p < 40; ++p) {
            s << "<p>Section " << c << "." << p
              << ": open a project, choose the clips you want to convert, pick an output profile "
                 "and press Start. Korvel keeps your originals untouched.</p>\n";
        }
    }
    s << "</body></html>\n";
    return s.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: korvel-demo-payload OUT_DIR PROGRAM ICON_DIR\n");
        return 2;
    }
    const std::string out = argv[1], icons = argv[3];
    std::string program;
    if (!Read(argv[2], program)) {
        return 1;
    }
    bool ok =
        MakeDir(out) && MakeDir(out + "/docs") && MakeDir(out + "/data") && MakeDir(out + "/lang");
    for (const char* name : {"Korvel64.exe", "Korvel.exe", "KorRepair.exe"}) {
        ok = ok && Write(out + "/" + name, program, true);
    }
    for (const char* name : {"Korvel.png", "KorvelMini.ico", "KorvelMini64.ico"}) {
        std::string icon;
        ok = ok && Read(icons + "/" + name, icon) && Write(out + "/" + name, icon);
    }
    ok = ok && Write(out + "/docs/manual.html", Manual(60));
    ok = ok && Write(out + "/docs/readme.txt",
                     "Korvel 12\n\nThank you for installing Korvel 12. Start it from the desktop "
                     "or the application menu.\n");
    for (int i = 0; i < 3; ++i) {
        ok = ok && Write(out + "/data/effects" + std::to_string(i) + ".pak", Noise(1 << 20, i + 1));
    }
    for (const char* lang : {"en", "de", "fr", "ja", "zh_CN"}) {
        ok = ok && Write(out + "/lang/" + std::string(lang) + ".lng",
                         std::string("language=") + lang + "\n" + Manual(2));
    }
    return ok ? 0 : 1;
}
