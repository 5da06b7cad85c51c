// korvel-art: draws the installer's bitmaps and the demo product's icons.
//   korvel-art --out DIR              every bitmap as DIR/<id>.png
//   korvel-art --payload-icons DIR    the product's icon files for the payload
//   korvel-art --sheet FILE           a labelled contact sheet of everything
// Options combine; the same inputs always give the same bytes.

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/korvel-art/render.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: korvel-art [--out DIR] [--payload-icons DIR] [--sheet FILE]\n"
                 "  at least one option; each takes one argument\n");
    return 2;
}

int Run(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const char* option = argv[i];
        const std::string target = argv[i + 1];
        std::string error;
        if (std::strcmp(option, "--out") == 0)
            error = art::WriteBitmaps(target);
        else if (std::strcmp(option, "--payload-icons") == 0)
            error = art::WritePayloadIcons(target);
        else if (std::strcmp(option, "--sheet") == 0)
            error = art::WriteSheet(target);
        else
            return Usage();
        if (!error.empty()) {
            std::fprintf(stderr, "korvel-art: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc % 2 == 0)
        return Usage();
    // The font libraries' caches live until exit: releasing them by hand
    // (FcFini, cairo's static reset) aborts while pango's threads still hold fonts.
    return Run(argc, argv);
}
