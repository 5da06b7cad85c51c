// Fonts and text: LOGFONT descriptions become pango font descriptions; text is
// laid out by pango, rendered by cairo into an 8-bit coverage mask and blended
// into the DC's pixels in the text colour, so any pixel target (memory bitmap
// of either row order, window frame) takes text the same way.
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <mutex>

#include "platform/posix/gui/gdi_objects.h"
#include "platform/text.h"

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig keeps its configuration and font patterns until exit on purpose,
// and SDL's X11 driver keeps its D-Bus connection; leak checks of programs
// with windows are about their own memory.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
#endif

namespace gui {

struct FontData {
    PangoFontDescription* description = nullptr;
    bool underline = false;
    bool strikeOut = false;
    ~FontData() {
        if (description)
            pango_font_description_free(description);
    }
};

Font::~Font() {
    delete data;
}

namespace {

// Windows face names of the installer mapped onto fonts Debian installs.
const char kFontAliases[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <alias binding="strong"><family>微软雅黑</family><prefer><family>WenQuanYi Micro Hei</family></prefer></alias>
  <alias binding="strong"><family>Microsoft YaHei</family><prefer><family>WenQuanYi Micro Hei</family></prefer></alias>
  <alias binding="strong"><family>宋体</family><prefer><family>WenQuanYi Micro Hei</family></prefer></alias>
  <alias binding="strong"><family>SimSun</family><prefer><family>WenQuanYi Micro Hei</family></prefer></alias>
  <alias binding="strong"><family>ArialMT</family><prefer><family>Liberation Sans</family></prefer></alias>
  <alias binding="strong"><family>Arial</family><prefer><family>Liberation Sans</family></prefer></alias>
  <alias binding="strong"><family>Tahoma</family><prefer><family>Liberation Sans</family></prefer></alias>
  <alias binding="strong"><family>Segoe UI</family><prefer><family>Liberation Sans</family></prefer></alias>
  <alias binding="strong"><family>MS Shell Dlg</family><prefer><family>Liberation Sans</family></prefer></alias>
</fontconfig>
)";

void LoadFontAliases() {
    static std::once_flag once;
    std::call_once(once, [] {
        FcInit();
        FcConfigParseAndLoadFromMemory(FcConfigGetCurrent(),
                                       reinterpret_cast<const FcChar8*>(kFontAliases), FcTrue);
    });
}

// One pango context per thread: pango's font maps are per-thread objects.
struct ThreadText {
    PangoContext* context = nullptr;
    ThreadText() {
        LoadFontAliases();
        context = pango_font_map_create_context(pango_cairo_font_map_get_default());
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(context, 96.0);  // sizes are given in pixels
    }
    ~ThreadText() {
        if (context)
            g_object_unref(context);
    }
};

PangoContext* Context() {
    thread_local ThreadText text;
    return text.context;
}

Font* DefaultFont() {
    static HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    return As<Font>(font, Kind::Font);
}

std::wstring StripPrefixes(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;  // "&&" keeps one '&'; "&x" keeps the x (its underline is not drawn)
        else if (text[i] == L'&')
            continue;
        out += text[i];
    }
    return out;
}

struct Layout {
    PangoLayout* layout = nullptr;
    PangoRectangle logical{};
    int height = 0;  // of the lines shown
    explicit Layout(PangoLayout* l) : layout(l) {}
    ~Layout() {
        if (layout)
            g_object_unref(layout);
    }
};

void Prepare(Layout& out, Font* font, const std::wstring& text, int width, UINT format) {
    PangoLayout* layout = out.layout;
    pango_layout_set_font_description(layout, font->data->description);
    if (font->data->underline || font->data->strikeOut) {
        PangoAttrList* attrs = pango_attr_list_new();
        if (font->data->underline)
            pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        if (font->data->strikeOut)
            pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
        pango_layout_set_attributes(layout, attrs);
        pango_attr_list_unref(attrs);
    }
    std::string utf8 = WideToUtf8(text);
    pango_layout_set_text(layout, utf8.c_str(), static_cast<int>(utf8.size()));
    const bool single = (format & DT_SINGLELINE) != 0;
    if (single)
        pango_layout_set_single_paragraph_mode(layout, TRUE);
    if (!single && (format & DT_WORDBREAK) && width > 0) {
        pango_layout_set_width(layout, width * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    PangoAlignment align = (format & DT_CENTER)  ? PANGO_ALIGN_CENTER
                           : (format & DT_RIGHT) ? PANGO_ALIGN_RIGHT
                                                 : PANGO_ALIGN_LEFT;
    pango_layout_set_alignment(layout, align);
    pango_layout_get_pixel_extents(layout, nullptr, &out.logical);
    out.height = out.logical.height;
}

// DT_EDITCONTROL: a partly visible last line is not shown.
void KeepWholeLines(Layout& l, int available) {
    PangoLayoutIter* iter = pango_layout_get_iter(l.layout);
    int shown = 0;
    do {
        int y0 = 0, y1 = 0;
        pango_layout_iter_get_line_yrange(iter, &y0, &y1);
        int bottom = PANGO_PIXELS(y1);
        if (bottom > available && shown > 0)
            break;
        shown = bottom;
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    l.height = std::min(l.height, shown);
}

// Blends the part `area` of a mask whose top-left pixel lies at `origin`.
void Blend(Target& target, const RECT& area, cairo_surface_t* mask, POINT origin, COLORREF colour) {
    cairo_surface_flush(mask);
    const unsigned char* data = cairo_image_surface_get_data(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    const uint32_t rgb[3] = {GetBValue(colour), GetGValue(colour), GetRValue(colour)};
    bool touched = false;
    for (int y = area.top; y < area.bottom; ++y) {
        const unsigned char* m = data + static_cast<size_t>(y - origin.y) * stride;
        uint32_t* row = target.Row(y);
        for (int x = area.left; x < area.right; ++x) {
            uint32_t a = m[x - origin.x];
            if (a == 0)
                continue;
            uint32_t d = row[x];
            uint32_t out = 0;
            for (int c = 0; c < 3; ++c) {
                uint32_t dc = (d >> (8 * c)) & 0xFF;
                out |= ((rgb[c] * a + dc * (255 - a) + 127) / 255) << (8 * c);
            }
            row[x] = out;
            touched = true;
        }
    }
    if (touched)
        target.Touch();
}

// cairo's scaled fonts are shared by every thread's pango font map; glyphs are
// rasterised by one thread at a time, with no frame lock held meanwhile.
std::mutex& GlyphLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

// The coverage mask of the layout's glyphs placed at (x, y), limited to `box`.
cairo_surface_t* RenderMask(const Layout& l, int x, int y, const RECT& box) {
    const int w = box.right - box.left;
    const int h = box.bottom - box.top;
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    cairo_t* cr = cairo_create(mask);
    cairo_move_to(cr, x - box.left, y - box.top);
    {
        std::lock_guard<std::mutex> hold(GlyphLock());
        pango_cairo_update_layout(cr, l.layout);
        pango_cairo_show_layout(cr, l.layout);
    }
    cairo_destroy(cr);
    return mask;
}

void Render(Dc* dc, const Layout& l, int x, int y, const RECT& clip) {
    // Where glyphs may land: the ink (a pixel more for antialiasing) of the
    // lines shown, within the clip.
    PangoRectangle ink{};
    pango_layout_get_pixel_extents(l.layout, &ink, nullptr);
    const RECT inkBox{x + ink.x - 1, y + ink.y - 1, x + ink.x + ink.width + 1,
                      std::min(y + ink.y + ink.height + 1, y + l.height)};
    const RECT box = Intersect(clip, inkBox);
    cairo_surface_t* mask = Empty(box) ? nullptr : RenderMask(l, x, y, box);
    {
        Target target(dc);
        if (target.Valid()) {
            RECT area = Intersect(clip, target.Bounds());
            if (dc->state.bkMode == OPAQUE) {
                RECT back{x + l.logical.x, y, x + l.logical.x + l.logical.width, y + l.height};
                FillPixels(target, Intersect(back, area), ToPixel(dc->state.bkColour));
            }
            area = Intersect(area, box);
            if (mask && !Empty(area))
                Blend(target, area, mask, POINT{box.left, box.top}, dc->state.textColour);
        }
    }
    if (mask)
        cairo_surface_destroy(mask);
}

}  // namespace
}  // namespace gui

using namespace gui;

HFONT CreateFontIndirectW(const LOGFONTW* logFont) {
    if (!logFont)
        return nullptr;
    LoadFontAliases();
    auto font = std::make_unique<Font>();
    font->logFont = *logFont;
    font->logFont.lfFaceName[LF_FACESIZE - 1] = 0;
    auto data = std::make_unique<FontData>();
    data->description = pango_font_description_new();
    std::wstring face = font->logFont.lfFaceName;
    std::string family = face.empty() ? "Tahoma" : WideToUtf8(face);
    pango_font_description_set_family(data->description, family.c_str());
    LONG height = logFont->lfHeight;
    // Negative: the character (em) height; positive: the cell height, of which
    // the em is about 7/8 for the mapped faces; 0: the Windows default.
    double pixels = height < 0 ? -height : height > 0 ? height * 0.875 : 12;
    pango_font_description_set_absolute_size(data->description, pixels * PANGO_SCALE);
    int weight = logFont->lfWeight > 0 ? std::clamp<int>(logFont->lfWeight, 100, 1000) : 400;
    pango_font_description_set_weight(data->description, static_cast<PangoWeight>(weight));
    if (logFont->lfItalic)
        pango_font_description_set_style(data->description, PANGO_STYLE_ITALIC);
    data->underline = logFont->lfUnderline != 0;
    data->strikeOut = logFont->lfStrikeOut != 0;
    font->data = data.release();
    return static_cast<HFONT>(RegisterObject(std::move(font)));
}

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCWSTR face) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = static_cast<BYTE>(italic);
    lf.lfUnderline = static_cast<BYTE>(underline);
    lf.lfStrikeOut = static_cast<BYTE>(strikeOut);
    lf.lfCharSet = static_cast<BYTE>(charSet);
    lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
    lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
    lf.lfQuality = static_cast<BYTE>(quality);
    lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
    if (face)
        wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}

COLORREF SetTextColor(HDC hdc, COLORREF colour) {
    Dc* dc = As<Dc>(hdc, Kind::Dc);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = dc->state.textColour;
    dc->state.textColour = colour & 0xFFFFFF;
    return old;
}

COLORREF GetTextColor(HDC hdc) {
    Dc* dc = As<Dc>(hdc, Kind::Dc);
    return dc ? dc->state.textColour : CLR_INVALID;
}

COLORREF SetBkColor(HDC hdc, COLORREF colour) {
    Dc* dc = As<Dc>(hdc, Kind::Dc);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = dc->state.bkColour;
    dc->state.bkColour = colour & 0xFFFFFF;
    return old;
}

int SetBkMode(HDC hdc, int mode) {
    Dc* dc = As<Dc>(hdc, Kind::Dc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    int old = dc->state.bkMode;
    dc->state.bkMode = mode;
    return old;
}

int GetBkMode(HDC hdc) {
    Dc* dc = As<Dc>(hdc, Kind::Dc);
    return dc ? dc->state.bkMode : 0;
}

int DrawTextW(HDC hdc, LPCWSTR text, int length, RECT* rect, UINT format) {
    Dc* dc = As<Dc>(hdc, Kind::Dc);
    if (!dc || !rect || !text)
        return 0;
    std::wstring value(text, length < 0 ? wcslen(text) : static_cast<size_t>(length));
    if (!(format & DT_NOPREFIX))
        value = StripPrefixes(value);
    Font* font = dc->state.font ? dc->state.font : DefaultFont();
    if (!font || !font->data)
        return 0;
    const int width = rect->right - rect->left;
    const int height = rect->bottom - rect->top;
    Layout l(pango_layout_new(Context()));
    Prepare(l, font, value, width, format);
    const bool single = (format & DT_SINGLELINE) != 0;
    if ((format & DT_EDITCONTROL) && !single)
        KeepWholeLines(l, height);
    if (format & DT_CALCRECT) {
        int right =
            pango_layout_get_width(l.layout) > 0 ? l.logical.x + l.logical.width : l.logical.width;
        rect->right = rect->left + (value.empty() ? 0 : right);
        rect->bottom = rect->top + l.height;
        return l.height;
    }
    int y = rect->top;
    if (single && (format & DT_VCENTER))
        y = rect->top + (height - l.height) / 2;
    else if (single && (format & DT_BOTTOM))
        y = rect->bottom - l.height;
    int x = rect->left;
    if (pango_layout_get_width(l.layout) < 0) {
        // No wrapping width: place the block by the rectangle.
        if (format & DT_CENTER)
            x = rect->left + (width - l.logical.width) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - l.logical.width;
        x -= l.logical.x;
    }
    RECT clip = (format & DT_NOCLIP) ? RECT{-32768, -32768, 32767, 32767} : *rect;
    if (!value.empty())
        Render(dc, l, x, y, clip);
    return single && (format & (DT_VCENTER | DT_BOTTOM)) ? y - rect->top + l.height : l.height;
}

BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int length) {
    RECT r{x, y, x + 32767, y + 32767};
    return DrawTextW(hdc, text, length, &r, DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX) != 0 ||
           (text && length == 0);
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int length, SIZE* size) {
    if (!size)
        return FALSE;
    RECT r{0, 0, 0, 0};
    if (!DrawTextW(hdc, text, length, &r, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX) && length)
        return FALSE;
    size->cx = r.right;
    size->cy = r.bottom;
    return TRUE;
}
