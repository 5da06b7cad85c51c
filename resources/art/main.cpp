// korvel-art: draws the installer's bitmaps and the demo product's icons.
//   korvel-art --out DIR              every bitmap as DIR/<id>.png
//   korvel-art --payload-icons DIR    the product's icon files for the payload
//   korvel-art --sheet FILE           a labelled contact sheet of everything
// Options combine; the same inputs always give the same bytes.
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "resources/art/render.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: korvel-art [--out DIR] [--payload-icons DIR] [--sheet FILE]\n"
                 "  at least one option; each takes one argument\n");
    return 2;
}

// Drops the font caches that pango, cairo and fontconfig keep for the life of
// the process, so leak checkers see only what the tool itself forgot.
void ReleaseFontCaches() {
    pango_cairo_font_map_set_default(nullptr);
    cairo_debug_reset_static_data();
    FcFini();
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
    const int result = Run(argc, argv);
    ReleaseFontCaches();
    return result;
}
