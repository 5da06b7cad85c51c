// Drawing vocabulary of the installer's artwork: the product colours, the
// product mark and the small glyphs, all as cairo paths.
#pragma once

#include <cairo.h>

#include <string>

namespace art {

struct Colour {
    double r, g, b;
};

constexpr Colour Rgb(int r, int g, int b) {
    return {r / 255.0, g / 255.0, b / 255.0};
}

// One colour family: indigo in five steps, plus neutral greys.
namespace palette {
constexpr Colour kIndigo = Rgb(74, 71, 181);  // the message box's title band
constexpr Colour kIndigoLight = Rgb(104, 101, 209);
constexpr Colour kIndigoDark = Rgb(50, 47, 140);
constexpr Colour kIndigoDeep = Rgb(40, 38, 118);
constexpr Colour kIndigoPale = Rgb(233, 233, 250);
constexpr Colour kIndigoMist = Rgb(243, 243, 252);
constexpr Colour kInk = Rgb(43, 42, 74);
constexpr Colour kGlyph = Rgb(136, 136, 158);
constexpr Colour kBorder = Rgb(184, 184, 204);
constexpr Colour kGreyDisc = Rgb(218, 219, 229);
constexpr Colour kGreyFacet = Rgb(207, 208, 220);
constexpr Colour kPaleDisc = Rgb(242, 242, 247);
constexpr Colour kPaleFacet = Rgb(236, 236, 243);
constexpr Colour kWhite = Rgb(255, 255, 255);
// Backgrounds the bitmaps sit on, as the window paints them.
constexpr Colour kBand = Rgb(247, 251, 253);   // bottom band of window and box
constexpr Colour kPanel = Rgb(252, 254, 255);  // custom panel below the page
// The custom toggle's text colours, which its arrow follows.
constexpr Colour kToggle = Rgb(163, 192, 206);
constexpr Colour kToggleHover = Rgb(120, 163, 227);
}  // namespace palette

// t = 0 gives a, t = 1 gives b.
Colour Mix(Colour a, Colour b, double t);
void SetColour(cairo_t* cr, Colour c, double alpha = 1.0);
void Fill(cairo_t* cr, Colour c, double x, double y, double w, double h);
void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double radius);

// The product mark: a disc split into two tones with the letter K cut from it.
struct MarkColours {
    Colour disc;
    Colour facet;
    Colour letter;
};
void DrawMark(cairo_t* cr, double cx, double cy, double radius, const MarkColours& colours);
// The letter alone, sized as within a mark of that radius.
void DrawLetter(cairo_t* cr, double cx, double cy, double radius, Colour c);
// The mark as lines only (ring and letter), for light and outline forms.
void DrawMarkOutline(cairo_t* cr, double cx, double cy, double radius, Colour colour, double width);
// Round badge with a check mark, as the finished forms carry it.
void DrawCheckBadge(cairo_t* cr, double cx, double cy, double radius, Colour fill, Colour tick);

// Window glyphs centred on (cx, cy); size is the glyph's extent in pixels.
void DrawCross(cairo_t* cr, double cx, double cy, int size, Colour c);
void DrawDash(cairo_t* cr, double cx, double cy, double size, Colour c, double width);
void DrawChevron(cairo_t* cr, double cx, double cy, double w, double h, bool up, Colour c,
                 double width);
void DrawTick(cairo_t* cr, double cx, double cy, double size, Colour c, double width);
void DrawExclamation(cairo_t* cr, double cx, double cy, double height, Colour c);
// The folder glyph has its top-left corner at (x, y).
void DrawFolder(cairo_t* cr, int x, int y, int w, int h, Colour c);

// Lettering with pango: text starts at x on the given baseline, size is the
// em height in pixels. Returns the logical width drawn.
double DrawText(cairo_t* cr, const std::string& text, const char* family, int weight, double size,
                double x, double baseline, Colour c);
double TextWidth(cairo_t* cr, const std::string& text, const char* family, int weight, double size);

}  // namespace art
