#include "tools/korvel-art/pictures.h"

#include <cmath>
#include <cstdint>

#include "tools/korvel-art/painter.h"

namespace art {

using namespace palette;

namespace {

constexpr const char* kWordmarkFace = "URW Gothic";
constexpr int kDemi = 600;
constexpr int kBook = 400;

constexpr MarkColours kColourMark = {kIndigo, Rgb(64, 61, 166), kWhite};
constexpr MarkColours kGreyMark = {kGreyDisc, kGreyFacet, kWhite};
constexpr MarkColours kPaleMark = {kPaleDisc, kPaleFacet, kWhite};
constexpr MarkColours kReversedMark = {kWhite, Rgb(228, 228, 246), kIndigo};

// The large logo is a square whose centre the download sweep turns around, so
// the mark sits exactly in the middle; 118 leaves room for the countdown text
// that the window draws across the logo's lower edge.
constexpr double kLargeCentre = 311 / 2.0;
constexpr double kLargeRadius = 118;

// The download sweep shows parts of the coloured logo over the grey one, and
// the window copies only non-white pixels, so both must ink exactly the same
// pixels. Edge pixels would otherwise round to white in the light grey form
// and not in the indigo one: make the disc's coverage decide for both. The
// installation logo is copied over the grey rings, where a pure white letter
// would let them show through; it keeps what lies outside the disc.
void SealSilhouette(cairo_t* cr, double cx, double cy, double radius, bool clearOutside) {
    cairo_surface_t* target = cairo_get_target(cr);
    cairo_surface_flush(target);
    const int w = cairo_image_surface_get_width(target);
    const int h = cairo_image_surface_get_height(target);
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    cairo_t* m = cairo_create(mask);
    cairo_arc(m, cx, cy, radius, 0, 2 * M_PI);
    cairo_fill(m);
    cairo_destroy(m);
    cairo_surface_flush(mask);
    unsigned char* pixels = cairo_image_surface_get_data(target);
    const unsigned char* coverage = cairo_image_surface_get_data(mask);
    for (int y = 0; y < h; ++y) {
        auto* row =
            reinterpret_cast<uint32_t*>(pixels + y * cairo_image_surface_get_stride(target));
        const unsigned char* cov = coverage + y * cairo_image_surface_get_stride(mask);
        for (int x = 0; x < w; ++x) {
            const bool white = (row[x] & 0xFFFFFF) == 0xFFFFFF;
            if (cov[x] == 0) {
                if (clearOutside)
                    row[x] = 0xFFFFFFFF;
            } else if (white) {
                row[x] = 0xFFFEFEFE;
            }
        }
    }
    cairo_surface_destroy(mask);
    cairo_surface_mark_dirty(target);
}

}  // namespace

void DrawLargeLogo(cairo_t* cr, LargeLogo form) {
    // The window copies only non-white pixels of these, so the ground is white.
    Fill(cr, kWhite, 0, 0, 311, 311);
    const double c = kLargeCentre;
    switch (form) {
        case LargeLogo::kGrey:
            DrawMark(cr, c, c, kLargeRadius, kGreyMark);
            SealSilhouette(cr, c, c, kLargeRadius, true);
            break;
        case LargeLogo::kColour:
            DrawMark(cr, c, c, kLargeRadius, kColourMark);
            SealSilhouette(cr, c, c, kLargeRadius, true);
            break;
        case LargeLogo::kInstalling:
            // A halo ring sets the mark off against the spreading grey rings.
            cairo_set_line_width(cr, 4);
            SetColour(cr, kIndigoPale);
            cairo_arc(cr, c, c, kLargeRadius + 10, 0, 2 * M_PI);
            cairo_stroke(cr);
            DrawMark(cr, c, c, kLargeRadius, kColourMark);
            SealSilhouette(cr, c, c, kLargeRadius, false);
            break;
        case LargeLogo::kFailed: {
            // Pale, because the failure text is written across its middle.
            DrawMark(cr, c, c, kLargeRadius, kPaleMark);
            const double bx = 240, by = 58;  // whole pixels keep the "!" sharp
            SetColour(cr, kWhite);
            cairo_arc(cr, bx, by, 23, 0, 2 * M_PI);
            cairo_fill(cr);
            SetColour(cr, kIndigo);
            cairo_arc(cr, bx, by, 19, 0, 2 * M_PI);
            cairo_fill(cr);
            DrawExclamation(cr, bx, by, 22, kWhite);
            break;
        }
        case LargeLogo::kOutline:
            DrawMarkOutline(cr, c, c, kLargeRadius, kIndigo, 12);
            break;
        case LargeLogo::kDone:
            DrawMark(cr, c, c, kLargeRadius, kColourMark);
            SetColour(cr, kWhite);
            cairo_arc(cr, c + 84, c + 84, 36, 0, 2 * M_PI);
            cairo_fill(cr);
            DrawCheckBadge(cr, c + 84, c + 84, 30, kIndigoDeep, kWhite);
            break;
    }
}

void DrawProductLogo(cairo_t* cr, bool reversed, bool x64) {
    Fill(cr, reversed ? kIndigo : kWhite, 0, 0, 206, 45);
    // Left edge 13 lines up with the version label below; the lower rows stay
    // clear because the label's text reaches up into them.
    DrawMark(cr, 27, 19, 14, reversed ? kReversedMark : kColourMark);
    const double baseline = 28;
    double x = 49;
    x += DrawText(cr, "Korvel", kWordmarkFace, kDemi, 23, x, baseline, reversed ? kWhite : kInk);
    x += 5;
    x +=
        DrawText(cr, "12", kWordmarkFace, kBook, 23, x, baseline, reversed ? kIndigoPale : kIndigo);
    if (!x64)
        return;
    const double tagX = std::round(x + 7);
    const double textW = TextWidth(cr, "x64", kWordmarkFace, kDemi, 11);
    const double tagW = std::round(textW + 10);
    RoundedRect(cr, tagX, 12, tagW, 15, 3);
    SetColour(cr, reversed ? kWhite : kIndigo);
    cairo_fill(cr);
    DrawText(cr, "x64", kWordmarkFace, kDemi, 11, tagX + (tagW - textW) / 2, 23.5,
             reversed ? kIndigo : kWhite);
}

void DrawFinishedBackground(cairo_t* cr) {
    Fill(cr, kIndigo, 0, 0, 622, 405);
    // Soft steps of light around the point the installation's disc grows
    // from, as if the ripple had come to rest; they stop short of the window
    // buttons' corner so the button tiles meet a flat ground.
    for (int step = 0; step < 6; ++step) {
        const double radius = 400 - step * 58;
        SetColour(cr, Mix(kIndigo, kWhite, 0.035 * (step + 1)));
        cairo_arc(cr, 311, 355, radius, 0, 2 * M_PI);
        cairo_fill(cr);
    }
    const double cx = 311, cy = 138;
    DrawMark(cr, cx, cy, 54, kReversedMark);
    SetColour(cr, Mix(kIndigo, kWhite, 0.21));
    cairo_arc(cr, cx + 40, cy + 40, 20, 0, 2 * M_PI);
    cairo_fill(cr);
    DrawCheckBadge(cr, cx + 40, cy + 40, 16, kIndigoDeep, kWhite);

    const double size = 34;
    const double w1 = TextWidth(cr, "Korvel", kWordmarkFace, kDemi, size);
    const double w2 = TextWidth(cr, "12", kWordmarkFace, kBook, size);
    double x = std::round(cx - (w1 + 8 + w2) / 2);
    x += DrawText(cr, "Korvel", kWordmarkFace, kDemi, size, x, 258, kWhite);
    DrawText(cr, "12", kWordmarkFace, kBook, size, x + 8, 258, kIndigoPale);
}

void DrawAppIcon(cairo_t* cr, double size) {
    DrawMark(cr, size / 2, size / 2, size * 0.47, kColourMark);
}

void DrawMiniIcon(cairo_t* cr, double size, bool x64) {
    // A rounded square instead of the disc tells the compact mode apart.
    const double inset = size * 0.06;
    const double side = size - 2 * inset;
    cairo_save(cr);
    RoundedRect(cr, inset, inset, side, side, size * 0.22);
    SetColour(cr, kIndigoLight);
    cairo_fill_preserve(cr);
    cairo_clip(cr);
    cairo_move_to(cr, inset, size - inset);
    cairo_line_to(cr, size - inset, inset);
    cairo_line_to(cr, size - inset, size - inset);
    cairo_close_path(cr);
    SetColour(cr, kIndigo);
    cairo_fill(cr);
    cairo_restore(cr);
    DrawLetter(cr, size / 2, size / 2, size * 0.36, kWhite);
    if (!x64)
        return;
    const double tagH = size * 0.3, tagW = size * 0.48;
    const double tx = size - tagW, ty = size - tagH;
    RoundedRect(cr, tx, ty, tagW, tagH, tagH * 0.3);
    SetColour(cr, kIndigoDeep);
    cairo_fill(cr);
    const double fontSize = tagH * 0.78;
    const double textW = TextWidth(cr, "64", kWordmarkFace, kDemi, fontSize);
    DrawText(cr, "64", kWordmarkFace, kDemi, fontSize, tx + (tagW - textW) / 2, ty + tagH * 0.78,
             kWhite);
}

}  // namespace art
