#include "tools/korvel-art/painter.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

namespace art {

Colour Mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

void SetColour(cairo_t* cr, Colour c, double alpha) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void Fill(cairo_t* cr, Colour c, double x, double y, double w, double h) {
    SetColour(cr, c);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double radius) {
    const double r = std::fmin(radius, std::fmin(w, h) / 2);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

namespace {

// The letter K in units of the mark's radius: a stem, an arm rising to the
// upper right and a leg branching off the arm, all with round ends.
constexpr double kStroke = 0.2;
constexpr double kStem[4] = {-0.30, -0.40, -0.30, 0.40};
constexpr double kArm[4] = {-0.20, 0.08, 0.30, -0.40};
constexpr double kLeg[4] = {0.00, -0.11, 0.32, 0.40};

void LetterPath(cairo_t* cr, double cx, double cy, double radius) {
    for (const double* line : {kStem, kArm, kLeg}) {
        cairo_move_to(cr, cx + line[0] * radius, cy + line[1] * radius);
        cairo_line_to(cr, cx + line[2] * radius, cy + line[3] * radius);
    }
}

}  // namespace

void DrawLetter(cairo_t* cr, double cx, double cy, double radius, Colour c) {
    cairo_save(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, kStroke * radius);
    SetColour(cr, c);
    LetterPath(cr, cx, cy, radius);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void DrawMark(cairo_t* cr, double cx, double cy, double radius, const MarkColours& colours) {
    cairo_save(cr);
    cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
    SetColour(cr, colours.disc);
    cairo_fill_preserve(cr);
    // The facet: the half below the rising diagonal, a shade deeper.
    cairo_clip(cr);
    cairo_move_to(cr, cx - radius, cy + radius);
    cairo_line_to(cr, cx + radius, cy - radius);
    cairo_line_to(cr, cx + radius, cy + radius);
    cairo_close_path(cr);
    SetColour(cr, colours.facet);
    cairo_fill(cr);
    cairo_restore(cr);
    DrawLetter(cr, cx, cy, radius, colours.letter);
}

void DrawMarkOutline(cairo_t* cr, double cx, double cy, double radius, Colour colour,
                     double width) {
    cairo_save(cr);
    cairo_set_line_width(cr, width);
    SetColour(cr, colour);
    cairo_arc(cr, cx, cy, radius - width / 2, 0, 2 * M_PI);
    cairo_stroke(cr);
    cairo_restore(cr);
    DrawLetter(cr, cx, cy, radius, colour);
}

void DrawCheckBadge(cairo_t* cr, double cx, double cy, double radius, Colour fill, Colour tick) {
    SetColour(cr, fill);
    cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
    cairo_fill(cr);
    DrawTick(cr, cx, cy + radius * 0.04, radius * 1.05, tick, radius * 0.26);
}

void DrawCross(cairo_t* cr, double cx, double cy, int size, Colour c) {
    // Pixel by pixel: a full-strength diagonal with faint neighbours on both
    // sides stays sharp at this size, where a stroked line turns to mush.
    const int x0 = static_cast<int>(std::floor(cx - size / 2.0));
    const int y0 = static_cast<int>(std::floor(cy - size / 2.0));
    for (int i = 0; i < size; ++i) {
        for (int x : {x0 + i, x0 + size - 1 - i}) {
            const int y = y0 + i;
            SetColour(cr, c, 0.4);
            if (i + 1 < size) {
                cairo_rectangle(cr, x, y + 1, 1, 1);
                cairo_rectangle(cr, x == x0 + i ? x + 1 : x - 1, y, 1, 1);
            }
            cairo_fill(cr);
            Fill(cr, c, x, y, 1, 1);
        }
    }
}

void DrawDash(cairo_t* cr, double cx, double cy, double size, Colour c, double width) {
    // Whole pixels keep the dash sharp.
    Fill(cr, c, std::round(cx - size / 2), std::round(cy - width / 2), std::round(size),
         std::round(width));
}

void DrawChevron(cairo_t* cr, double cx, double cy, double w, double h, bool up, Colour c,
                 double width) {
    const double tip = up ? cy - h / 2 : cy + h / 2;
    const double ends = up ? cy + h / 2 : cy - h / 2;
    cairo_save(cr);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    SetColour(cr, c);
    cairo_move_to(cr, cx - w / 2, ends);
    cairo_line_to(cr, cx, tip);
    cairo_line_to(cr, cx + w / 2, ends);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void DrawTick(cairo_t* cr, double cx, double cy, double size, Colour c, double width) {
    cairo_save(cr);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    SetColour(cr, c);
    cairo_move_to(cr, cx - 0.40 * size, cy + 0.02 * size);
    cairo_line_to(cr, cx - 0.12 * size, cy + 0.28 * size);
    cairo_line_to(cr, cx + 0.40 * size, cy - 0.26 * size);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void DrawExclamation(cairo_t* cr, double cx, double cy, double height, Colour c) {
    // An even stroke width on a whole-pixel centre keeps both edges sharp.
    const double w = std::max(2.0, 2 * std::round(height * 0.11));
    const double top = std::round(cy - height / 2);
    SetColour(cr, c);
    RoundedRect(cr, cx - w / 2, top, w, std::round(height * 0.56), w / 2);
    cairo_fill(cr);
    cairo_arc(cr, cx, top + height - w * 0.6, w * 0.62, 0, 2 * M_PI);
    cairo_fill(cr);
}

void DrawFolder(cairo_t* cr, int x, int y, int w, int h, Colour c) {
    SetColour(cr, c);
    // Tab on the upper left, body below it; whole pixels throughout.
    RoundedRect(cr, x, y, w / 2, h / 2, 1);
    cairo_fill(cr);
    RoundedRect(cr, x, y + 2, w, h - 2, 1.2);
    cairo_fill(cr);
}

namespace {

PangoLayout* MakeLayout(cairo_t* cr, const std::string& text, const char* family, int weight,
                        double size) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    // Fixed options so the output does not depend on the desktop's settings.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout);

    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, family);
    pango_font_description_set_weight(font, static_cast<PangoWeight>(weight));
    pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, text.c_str(), -1);
    return layout;
}

}  // namespace

double DrawText(cairo_t* cr, const std::string& text, const char* family, int weight, double size,
                double x, double baseline, Colour c) {
    PangoLayout* layout = MakeLayout(cr, text, family, weight, size);
    const double above = pango_layout_get_baseline(layout) / double(PANGO_SCALE);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    SetColour(cr, c);
    cairo_move_to(cr, x, baseline - above);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return logical.width / double(PANGO_SCALE);
}

double TextWidth(cairo_t* cr, const std::string& text, const char* family, int weight,
                 double size) {
    PangoLayout* layout = MakeLayout(cr, text, family, weight, size);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    return logical.width / double(PANGO_SCALE);
}

}  // namespace art
