#include "tools/korvel-art/catalogue.h"

#include <cmath>

#include "resources/resource_ids.h"
#include "tools/korvel-art/painter.h"
#include "tools/korvel-art/pictures.h"

namespace art {

using namespace palette;

namespace {

// Window buttons are 17 x 21 tiles at the window's top edge.
constexpr int kTileW = 17, kTileH = 21;
constexpr double kGlyphX = kTileW / 2.0, kGlyphY = kTileH / 2.0;

enum class Glyph { kCross, kDash };

void DrawGlyph(cairo_t* cr, Glyph glyph, Colour c) {
    if (glyph == Glyph::kCross)
        DrawCross(cr, kGlyphX, kGlyphY, 7, c);
    else
        DrawDash(cr, kGlyphX, kGlyphY + 1, 9, c, 2);
}

Artwork Tile(int id, const char* name, Colour ground, Glyph glyph, Colour ink) {
    return {id, name, kTileW, kTileH, false, [=](cairo_t* cr) {
                Fill(cr, ground, 0, 0, kTileW, kTileH);
                DrawGlyph(cr, glyph, ink);
            }};
}

// The finished page shows its own background behind the button's normal
// state; the tile repeats that ground at the button's window position.
Artwork FinishedTile(int id, const char* name, int windowX, Glyph glyph) {
    return {id, name, kTileW, kTileH, false, [=](cairo_t* cr) {
                cairo_save(cr);
                cairo_translate(cr, -windowX, 0);
                DrawFinishedBackground(cr);
                cairo_restore(cr);
                DrawGlyph(cr, glyph, kWhite);
            }};
}

Artwork CheckBox(int id, const char* name, bool checked, bool hover) {
    return {id, name, 14, 14, false, [=](cairo_t* cr) {
                Fill(cr, kPanel, 0, 0, 14, 14);
                if (checked) {
                    RoundedRect(cr, 0, 0, 14, 14, 3);
                    SetColour(cr, hover ? kIndigoLight : kIndigo);
                    cairo_fill(cr);
                    DrawTick(cr, 7, 7, 10, kWhite, 1.8);
                    return;
                }
                RoundedRect(cr, 0.5, 0.5, 13, 13, 2.5);
                SetColour(cr, hover ? kIndigoMist : kWhite);
                cairo_fill_preserve(cr);
                SetColour(cr, hover ? kIndigo : kBorder);
                cairo_set_line_width(cr, 1);
                cairo_stroke(cr);
            }};
}

Artwork Toggle(int id, const char* name, bool open, bool hover) {
    return {id, name, 14, 8, false, [=](cairo_t* cr) {
                Fill(cr, kBand, 0, 0, 14, 8);
                DrawChevron(cr, 7, 4, 9, 4.5, open, hover ? kToggleHover : kToggle, 1.7);
            }};
}

Artwork Browse(int id, const char* name, Colour fill, Colour edge, Colour ink) {
    return {id, name, 29, 26, false, [=](cairo_t* cr) {
                Fill(cr, edge, 0, 0, 29, 26);
                Fill(cr, fill, 1, 1, 27, 24);
                DrawFolder(cr, 8, 8, 13, 10, ink);
            }};
}

Artwork BoxButton(int id, const char* name, Colour fill) {
    return {id, name, 100, 32, false, [=](cairo_t* cr) {
                Fill(cr, kBand, 0, 0, 100, 32);
                RoundedRect(cr, 0, 0, 100, 32, 4);
                SetColour(cr, fill);
                cairo_fill(cr);
            }};
}

Artwork LargeLogoArt(int id, const char* name, LargeLogo form) {
    return {id, name, 311, 311, false, [=](cairo_t* cr) { DrawLargeLogo(cr, form); }};
}

Artwork ProductLogo(int id, const char* name, bool reversed, bool x64) {
    return {id, name, 206, 45, false, [=](cairo_t* cr) { DrawProductLogo(cr, reversed, x64); }};
}

std::vector<Artwork> MakeBitmaps() {
    const Colour pressedMist = Rgb(220, 220, 242);
    return {
        {IDI_KORVEL, "window icon", 64, 64, true, [](cairo_t* cr) { DrawAppIcon(cr, 64); }},
        LargeLogoArt(IDB_INSTALL_LOGO, "large logo, installing", LargeLogo::kInstalling),
        LargeLogoArt(IDB_LARGE_LOGO_OUTLINE, "large logo, outline", LargeLogo::kOutline),
        ProductLogo(IDB_PRODUCT_LOGO, "product logo", false, false),
        ProductLogo(IDB_PRODUCT_LOGO2, "product logo, reversed", true, false),
        Tile(IDB_CLOSE_NORMAL, "close", kWhite, Glyph::kCross, kGlyph),
        Tile(IDB_CLOSE_PRESSED, "close, pressed", kIndigoDark, Glyph::kCross, kWhite),
        Tile(IDB_CLOSE_HOVER, "close, hover", kIndigoLight, Glyph::kCross, kWhite),
        Tile(IDB_MIN_NORMAL, "minimise", kWhite, Glyph::kDash, kGlyph),
        Tile(IDB_MIN_PRESSED, "minimise, pressed", pressedMist, Glyph::kDash, kIndigoDark),
        Tile(IDB_MIN_HOVER, "minimise, hover", kIndigoPale, Glyph::kDash, kIndigo),
        FinishedTile(IDB_CLOSE_FINISHED, "close, finished", 600, Glyph::kCross),
        FinishedTile(IDB_MIN_FINISHED, "minimise, finished", 580, Glyph::kDash),
        Tile(IDB_MIN_FINISHED_PRESSED, "minimise, finished, pressed", kIndigoDark, Glyph::kDash,
             kWhite),
        Tile(IDB_MIN_FINISHED_HOVER, "minimise, finished, hover", kIndigoLight, Glyph::kDash,
             kWhite),
        CheckBox(IDB_CHECK_OFF, "check box", false, false),
        CheckBox(IDB_CHECK_OFF_HOVER, "check box, hover", false, true),
        CheckBox(IDB_CHECK_ON, "check box, checked", true, false),
        CheckBox(IDB_CHECK_ON_HOVER, "check box, checked, hover", true, true),
        Toggle(IDB_CUSTOM_CLOSED, "custom toggle", false, false),
        Toggle(IDB_CUSTOM_CLOSED_HOVER, "custom toggle, hover", false, true),
        Toggle(IDB_CUSTOM_OPEN, "custom toggle, open", true, false),
        Toggle(IDB_CUSTOM_OPEN_HOVER, "custom toggle, open, hover", true, true),
        Browse(IDB_BROWSE_PRESSED, "browse, pressed", kIndigoPale, kIndigoDark, kIndigoDark),
        Browse(IDB_BROWSE_HOVER, "browse, hover", kIndigoMist, kIndigo, kIndigo),
        Browse(IDB_BROWSE_NORMAL, "browse", kWhite, kBorder, kGlyph),
        BoxButton(IDB_MSGBOX_BUTTON_HOVER, "box button, hover", kIndigoLight),
        {IDB_MSGBOX_ICON, "box icon", 30, 30, false,
         [](cairo_t* cr) {
             Fill(cr, kWhite, 0, 0, 30, 30);
             SetColour(cr, kIndigo);
             cairo_arc(cr, 15, 15, 14, 0, 2 * M_PI);
             cairo_fill(cr);
             DrawExclamation(cr, 15, 15, 16, kWhite);
         }},
        BoxButton(IDB_MSGBOX_BUTTON_NORMAL, "box button", kIndigo),
        BoxButton(IDB_MSGBOX_BUTTON_PRESSED, "box button, pressed", kIndigoDark),
        Tile(IDB_MSGBOX_CLOSE_HOVER, "box close, hover", kIndigoLight, Glyph::kCross, kWhite),
        Tile(IDB_MSGBOX_CLOSE_NORMAL, "box close", kIndigo, Glyph::kCross, kWhite),
        Tile(IDB_MSGBOX_CLOSE_PRESSED, "box close, pressed", kIndigoDark, Glyph::kCross, kWhite),
        LargeLogoArt(IDB_FAILED_LOGO, "large logo, failed", LargeLogo::kFailed),
        LargeLogoArt(IDB_LARGE_LOGO_COLOUR, "large logo, colour", LargeLogo::kColour),
        LargeLogoArt(IDB_LARGE_LOGO_DONE, "large logo, done", LargeLogo::kDone),
        {IDB_FINISHED_BACKGROUND, "finished background", 622, 405, false,
         [](cairo_t* cr) { DrawFinishedBackground(cr); }},
        ProductLogo(IDB_PRODUCT_LOGO_X64, "product logo x64", false, true),
        ProductLogo(IDB_PRODUCT_LOGO2_X64, "product logo x64, reversed", true, true),
        LargeLogoArt(IDB_LARGE_LOGO_GREY, "large logo, grey", LargeLogo::kGrey),
    };
}

Artwork Icon(const char* file, std::function<void(cairo_t*, double)> draw) {
    constexpr int kSize = 256;
    return {0, file, kSize, kSize, true, [=](cairo_t* cr) { draw(cr, kSize); }};
}

}  // namespace

const std::vector<Artwork>& Bitmaps() {
    static const std::vector<Artwork> bitmaps = MakeBitmaps();
    return bitmaps;
}

const std::vector<Artwork>& PayloadIcons() {
    static const std::vector<Artwork> icons = {
        Icon("Korvel.png", DrawAppIcon),
        Icon("KorvelMini.ico", [](cairo_t* cr, double s) { DrawMiniIcon(cr, s, false); }),
        Icon("KorvelMini64.ico", [](cairo_t* cr, double s) { DrawMiniIcon(cr, s, true); }),
    };
    return icons;
}

}  // namespace art
