// GDI objects, device contexts, bitmaps and pixel operations over plain
// 32-bit pixel memory (blue in the low byte, as a 32-bit DIB).
#include <algorithm>
#include <cstring>
#include <type_traits>
#include <unordered_set>

#include "platform/posix/gui/gdi_objects.h"

namespace gui {
namespace {

struct LiveTable {
    std::mutex lock;
    std::unordered_set<const GdiObject*> objects;
};

LiveTable& Live() {
    static LiveTable* table = new LiveTable;  // lives until exit: objects may outlive statics
    return *table;
}

}  // namespace

void* RegisterObject(std::unique_ptr<GdiObject> object) {
    LiveTable& table = Live();
    std::lock_guard<std::mutex> hold(table.lock);
    GdiObject* raw = object.release();
    table.objects.insert(raw);
    return raw;
}

GdiObject* Lookup(const void* handle) {
    if (!handle)
        return nullptr;
    LiveTable& table = Live();
    std::lock_guard<std::mutex> hold(table.lock);
    auto it = table.objects.find(static_cast<const GdiObject*>(handle));
    return it == table.objects.end() ? nullptr : const_cast<GdiObject*>(*it);
}

void Unregister(GdiObject* object) {
    {
        LiveTable& table = Live();
        std::lock_guard<std::mutex> hold(table.lock);
        table.objects.erase(object);
    }
    delete object;
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

bool Empty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

uint32_t ToPixel(COLORREF c) {
    return (static_cast<uint32_t>(GetRValue(c)) << 16) |
           (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

COLORREF ToColour(uint32_t p) {
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

COLORREF SystemColour(int index) {
    switch (index) {
        case COLOR_WINDOW:
            return RGB(255, 255, 255);
        case COLOR_WINDOWTEXT:
        case COLOR_BTNTEXT:
            return RGB(0, 0, 0);
        case COLOR_BTNFACE:
            return RGB(240, 240, 240);
        case COLOR_GRAYTEXT:
            return RGB(109, 109, 109);
        case COLOR_HIGHLIGHT:
            return RGB(0, 120, 215);
        default:
            return RGB(255, 255, 255);
    }
}

bool BrushColour(HBRUSH handle, COLORREF& colour) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    if (value > 0 && value <= 31) {  // (HBRUSH)(COLOR_x + 1)
        colour = SystemColour(static_cast<int>(value) - 1);
        return true;
    }
    Brush* brush = As<Brush>(handle, Kind::Brush);
    if (!brush || brush->null)
        return false;
    colour = brush->colour;
    return true;
}

Bitmap* NewBitmap(int width, int height, bool bottomUp) {
    if (width <= 0 || height <= 0 || width > 32768 || height > 32768)
        return nullptr;
    auto bitmap = std::make_unique<Bitmap>();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bottomUp = bottomUp;
    bitmap->storage.assign(static_cast<size_t>(width) * height, 0);
    return static_cast<Bitmap*>(RegisterObject(std::move(bitmap)));
}

Target::Target(Dc* dc) {
    if (!dc)
        return;
    if (dc->window) {
        uint32_t* pixels = nullptr;
        if (!LockFrame(dc->window, m_hold, pixels, m_width, m_height))
            return;
        m_pixels = pixels;
        m_stride = m_width;
        m_window = dc->window;
    } else if (Bitmap* bitmap = dc->state.bitmap) {
        m_width = bitmap->width;
        m_height = bitmap->height;
        m_pixels = bitmap->Row(0);
        m_stride = bitmap->bottomUp ? -static_cast<ptrdiff_t>(m_width) : m_width;
    } else {
        return;
    }
    m_bounds = {0, 0, m_width, m_height};
    if (dc->state.hasClip)
        m_bounds = Intersect(m_bounds, dc->state.clip);
}

Target::~Target() {
    if (m_window && m_touched) {
        m_hold.unlock();
        FrameChanged(m_window);
    }
}

void FillPixels(Target& target, const RECT& rect, uint32_t pixel) {
    RECT r = Intersect(rect, target.Bounds());
    if (Empty(r))
        return;
    for (int y = r.top; y < r.bottom; ++y)
        std::fill(target.Row(y) + r.left, target.Row(y) + r.right, pixel);
    target.Touch();
}

bool Region::Contains(int x, int y) const {
    for (const RECT& r : rects) {
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return true;
    }
    return false;
}

}  // namespace gui

using namespace gui;

namespace {

Dc* AsDc(HDC hdc) {
    return As<Dc>(hdc, Kind::Dc);
}

Bitmap* StockBitmap() {
    static Bitmap* bitmap = [] {
        Bitmap* b = NewBitmap(1, 1, false);
        b->stock = true;
        return b;
    }();
    return bitmap;
}

HGDIOBJ StockBrush(int index, COLORREF colour, bool null) {
    static std::mutex lock;
    static HGDIOBJ brushes[6] = {};
    std::lock_guard<std::mutex> hold(lock);
    if (!brushes[index]) {
        auto brush = std::make_unique<Brush>();
        brush->colour = colour;
        brush->null = null;
        brush->stock = true;
        brushes[index] = RegisterObject(std::move(brush));
    }
    return brushes[index];
}

// Swaps a selected object, keeping the selection counts that guard DeleteObject.
template <typename T>
HGDIOBJ Swap(T*& slot, T* next) {
    T* previous = slot;
    if (next)
        ++next->selected;
    if (previous)
        --previous->selected;
    slot = next;
    return previous;
}

void ReleaseSelections(DcState& state) {
    if (state.bitmap)
        --state.bitmap->selected;
    if (state.font)
        --state.font->selected;
    if (state.brush)
        --state.brush->selected;
    state = DcState{};
}

void AddSelections(const DcState& state) {
    if (state.bitmap)
        ++state.bitmap->selected;
    if (state.font)
        ++state.font->selected;
    if (state.brush)
        ++state.brush->selected;
}

HDC NewDc(HWND window, bool screen) {
    auto dc = std::make_unique<Dc>();
    dc->window = window;
    dc->screen = screen;
    if (!window && !screen)
        Swap(dc->state.bitmap, StockBitmap());
    return static_cast<HDC>(RegisterObject(std::move(dc)));
}

}  // namespace

namespace gui {
HDC NewWindowDc(HWND hwnd) {
    return NewDc(hwnd, false);
}
}  // namespace gui

HDC GetDC(HWND hwnd) {
    if (!hwnd)
        return NewDc(nullptr, true);
    if (!IsWindow(hwnd))
        return nullptr;
    return NewDc(hwnd, false);
}

int ReleaseDC(HWND, HDC hdc) {
    Dc* dc = AsDc(hdc);
    if (!dc || (!dc->window && !dc->screen))
        return 0;
    ReleaseSelections(dc->state);
    for (DcState& saved : dc->saved)
        ReleaseSelections(saved);
    Unregister(dc);
    return 1;
}

HDC CreateCompatibleDC(HDC) {
    return NewDc(nullptr, false);
}

BOOL DeleteDC(HDC hdc) {
    Dc* dc = AsDc(hdc);
    if (!dc)
        return FALSE;
    ReleaseSelections(dc->state);
    for (DcState& saved : dc->saved)
        ReleaseSelections(saved);
    Unregister(dc);
    return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ handle) {
    Dc* dc = AsDc(hdc);
    GdiObject* object = Lookup(handle);
    if (!dc || !object)
        return nullptr;
    switch (object->kind) {
        case Kind::Bitmap:
            if (dc->window || dc->screen)
                return nullptr;  // only memory DCs hold bitmaps
            return Swap(dc->state.bitmap, static_cast<Bitmap*>(object));
        case Kind::Font:
            return Swap(dc->state.font, static_cast<Font*>(object));
        case Kind::Brush:
            return Swap(dc->state.brush, static_cast<Brush*>(object));
        case Kind::Region:
            return reinterpret_cast<HGDIOBJ>(
                static_cast<intptr_t>(SelectClipRgn(hdc, static_cast<HRGN>(handle))));
        case Kind::Dc:
            return nullptr;
    }
    return nullptr;
}

BOOL DeleteObject(HGDIOBJ handle) {
    GdiObject* object = Lookup(handle);
    if (!object || object->kind == Kind::Dc || object->stock || object->selected.load() > 0)
        return FALSE;
    Unregister(object);
    return TRUE;
}

HGDIOBJ GetStockObject(int index) {
    switch (index) {
        case WHITE_BRUSH:
            return StockBrush(0, RGB(255, 255, 255), false);
        case LTGRAY_BRUSH:
            return StockBrush(1, RGB(192, 192, 192), false);
        case GRAY_BRUSH:
            return StockBrush(2, RGB(128, 128, 128), false);
        case BLACK_BRUSH:
            return StockBrush(4, RGB(0, 0, 0), false);
        case NULL_BRUSH:
            return StockBrush(5, 0, true);
        case DEFAULT_GUI_FONT: {
            static HFONT font = [] {
                HFONT f = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                                      L"Tahoma");
                if (Font* object = As<Font>(f, Kind::Font))
                    object->stock = true;
                return f;
            }();
            return font;
        }
        default:
            return nullptr;
    }
}

HBRUSH GetSysColorBrush(int index) {
    return reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(index + 1));
}

DWORD GetSysColor(int index) {
    return SystemColour(index);
}

int GetObjectW(HGDIOBJ handle, int size, LPVOID out) {
    GdiObject* object = Lookup(handle);
    if (!object)
        return 0;
    if (object->kind == Kind::Bitmap) {
        auto* bitmap = static_cast<Bitmap*>(object);
        if (!out)
            return sizeof(BITMAP);
        if (size < static_cast<int>(sizeof(BITMAP)))
            return 0;
        BITMAP info{};
        info.bmWidth = bitmap->width;
        info.bmHeight = bitmap->height;
        info.bmWidthBytes = bitmap->width * 4;
        info.bmPlanes = 1;
        info.bmBitsPixel = 32;
        info.bmBits = bitmap->dibSection ? bitmap->storage.data() : nullptr;
        std::memcpy(out, &info, sizeof info);
        return sizeof(BITMAP);
    }
    if (object->kind == Kind::Font) {
        if (!out)
            return sizeof(LOGFONTW);
        if (size < static_cast<int>(sizeof(LOGFONTW)))
            return 0;
        std::memcpy(out, &static_cast<Font*>(object)->logFont, sizeof(LOGFONTW));
        return sizeof(LOGFONTW);
    }
    return 0;
}

int GetDeviceCaps(HDC hdc, int index) {
    switch (index) {
        case LOGPIXELSX:
        case LOGPIXELSY:
            return GetDisplayDpi();
        case BITSPIXEL:
            return 32;
        case HORZRES:
            return GetSystemMetrics(SM_CXSCREEN);
        case VERTRES:
            return GetSystemMetrics(SM_CYSCREEN);
        default:
            (void)hdc;
            return 0;
    }
}

int SaveDC(HDC hdc) {
    Dc* dc = AsDc(hdc);
    if (!dc)
        return 0;
    dc->saved.push_back(dc->state);
    AddSelections(dc->state);
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int saved) {
    Dc* dc = AsDc(hdc);
    if (!dc || dc->saved.empty())
        return FALSE;
    int count = static_cast<int>(dc->saved.size());
    int index = saved < 0 ? count + saved : saved - 1;
    if (index < 0 || index >= count)
        return FALSE;
    ReleaseSelections(dc->state);
    dc->state = dc->saved[index];
    for (int i = index + 1; i < count; ++i)
        ReleaseSelections(dc->saved[i]);
    dc->saved.resize(index);
    return TRUE;
}

// ---- Bitmaps ----

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
    return reinterpret_cast<HBITMAP>(NewBitmap(width, height, false));
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    if (planes != 1 || bitsPerPixel != 32)
        return nullptr;
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, width, height);
    if (bitmap && bits)
        SetBitmapBits(bitmap, static_cast<DWORD>(width) * height * 4, bits);
    return bitmap;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, void*, DWORD) {
    if (bits)
        *bits = nullptr;
    if (!info || usage != DIB_RGB_COLORS || info->bmiHeader.biBitCount != 32 ||
        info->bmiHeader.biCompression != BI_RGB || info->bmiHeader.biHeight == 0)
        return nullptr;
    LONG height = info->bmiHeader.biHeight;
    Bitmap* bitmap = NewBitmap(info->bmiHeader.biWidth, height < 0 ? -height : height, height > 0);
    if (!bitmap)
        return nullptr;
    bitmap->dibSection = true;
    if (bits)
        *bits = bitmap->storage.data();
    return reinterpret_cast<HBITMAP>(bitmap);
}

LONG SetBitmapBits(HBITMAP handle, DWORD bytes, const void* bits) {
    Bitmap* bitmap = As<Bitmap>(handle, Kind::Bitmap);
    if (!bitmap || !bits)
        return 0;
    size_t rowBytes = static_cast<size_t>(bitmap->width) * 4;
    size_t total = std::min<size_t>(bytes, rowBytes * bitmap->height);
    const auto* source = static_cast<const unsigned char*>(bits);
    for (size_t done = 0, y = 0; done < total; done += rowBytes, ++y) {
        size_t n = std::min(rowBytes, total - done);
        std::memcpy(bitmap->Row(static_cast<int>(y)), source + done, n);
    }
    return static_cast<LONG>(total);
}

LONG GetBitmapBits(HBITMAP handle, LONG bytes, LPVOID bits) {
    Bitmap* bitmap = As<Bitmap>(handle, Kind::Bitmap);
    if (!bitmap || !bits || bytes <= 0)
        return 0;
    size_t rowBytes = static_cast<size_t>(bitmap->width) * 4;
    size_t total = std::min<size_t>(static_cast<size_t>(bytes), rowBytes * bitmap->height);
    auto* out = static_cast<unsigned char*>(bits);
    for (size_t done = 0, y = 0; done < total; done += rowBytes, ++y) {
        size_t n = std::min(rowBytes, total - done);
        std::memcpy(out + done, bitmap->Row(static_cast<int>(y)), n);
    }
    return static_cast<LONG>(total);
}

// ---- Painting ----

HBRUSH CreateSolidBrush(COLORREF colour) {
    auto brush = std::make_unique<Brush>();
    brush->colour = colour & 0xFFFFFF;
    return static_cast<HBRUSH>(RegisterObject(std::move(brush)));
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    COLORREF colour = 0;
    Dc* dc = AsDc(hdc);
    if (!dc || !rect || !BrushColour(brush, colour))
        return 0;
    Target target(dc);
    if (target.Valid())
        FillPixels(target, *rect, ToPixel(colour));
    return 1;
}

int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    COLORREF colour = 0;
    Dc* dc = AsDc(hdc);
    if (!dc || !rect || !BrushColour(brush, colour))
        return 0;
    Target target(dc);
    if (!target.Valid() || Empty(*rect))
        return 1;
    uint32_t pixel = ToPixel(colour);
    const RECT& r = *rect;
    FillPixels(target, {r.left, r.top, r.right, r.top + 1}, pixel);
    FillPixels(target, {r.left, r.bottom - 1, r.right, r.bottom}, pixel);
    FillPixels(target, {r.left, r.top, r.left + 1, r.bottom}, pixel);
    FillPixels(target, {r.right - 1, r.top, r.right, r.bottom}, pixel);
    return 1;
}

namespace {

// Copies or blends a source area onto a destination area of the same size,
// clipped to both surfaces; each pixel goes through op(dst, src).
// A plain copy, the common case, moves whole rows at memory speed.
struct CopyPixel {
    uint32_t operator()(uint32_t, uint32_t s) const { return s; }
};

template <typename Op>
BOOL Transfer(HDC dstDc, int x, int y, int cx, int cy, HDC srcDc, int x1, int y1, Op op) {
    Dc* dst = AsDc(dstDc);
    Dc* src = AsDc(srcDc);
    if (!dst || !src || cx < 0 || cy < 0)
        return FALSE;
    if (dst == src)
        return FALSE;
    if (src->window) {
        // Read a window's frame through a copy, so that no two frame locks are
        // ever held at once.
        HDC copy = CreateCompatibleDC(nullptr);
        HBITMAP pixels = nullptr;
        {
            Target frame(src);
            if (frame.Valid()) {
                pixels = CreateCompatibleBitmap(nullptr, frame.Width(), frame.Height());
                Bitmap* bitmap = As<Bitmap>(pixels, Kind::Bitmap);
                for (int row = 0; bitmap && row < frame.Height(); ++row)
                    std::memcpy(bitmap->Row(row), frame.Row(row), frame.Width() * 4u);
            }
        }
        BOOL done = TRUE;
        if (pixels) {
            HGDIOBJ old = SelectObject(copy, pixels);
            done = Transfer(dstDc, x, y, cx, cy, copy, x1, y1, op);
            SelectObject(copy, old);
            DeleteObject(pixels);
        }
        DeleteDC(copy);
        return done;
    }
    Target source(src);
    Target target(dst);
    if (!source.Valid() || !target.Valid())
        return TRUE;  // nothing to copy from or into (screen DC): no failure
    RECT want{x, y, x + cx, y + cy};
    RECT srcArea = Intersect({x1, y1, x1 + cx, y1 + cy}, source.Bounds());
    OffsetRect(&srcArea, x - x1, y - y1);
    RECT r = Intersect(Intersect(want, srcArea), target.Bounds());
    if (Empty(r))
        return TRUE;
    for (int row = r.top; row < r.bottom; ++row) {
        uint32_t* d = target.Row(row) + r.left;
        const uint32_t* s = source.Row(row - y + y1) + (r.left - x + x1);
        if constexpr (std::is_same<Op, CopyPixel>::value) {
            std::memmove(d, s, static_cast<size_t>(r.right - r.left) * 4);  // rows may overlap
        } else {
            for (int i = 0; i < r.right - r.left; ++i)
                d[i] = op(d[i], s[i]);
        }
    }
    target.Touch();
    return TRUE;
}

inline uint32_t Channel(uint32_t p, int shift) {
    return (p >> shift) & 0xFF;
}

}  // namespace

BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop) {
    if (rop != SRCCOPY)
        return FALSE;
    return Transfer(dst, x, y, cx, cy, src, x1, y1, CopyPixel());
}

BOOL StretchBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int x1, int y1, int cx1, int cy1,
                DWORD rop) {
    if (cx == cx1 && cy == cy1)
        return BitBlt(dst, x, y, cx, cy, src, x1, y1, rop);
    Dc* d = AsDc(dst);
    Dc* s = AsDc(src);
    if (!d || !s || d == s || rop != SRCCOPY || cx <= 0 || cy <= 0 || cx1 <= 0 || cy1 <= 0)
        return FALSE;
    Target source(s);
    Target target(d);
    if (!source.Valid() || !target.Valid())
        return TRUE;
    RECT r = Intersect({x, y, x + cx, y + cy}, target.Bounds());
    RECT sb = source.Bounds();
    for (int row = r.top; row < r.bottom; ++row) {
        int sy = y1 + static_cast<int>(static_cast<int64_t>(row - y) * cy1 / cy);
        if (sy < sb.top || sy >= sb.bottom)
            continue;
        for (int col = r.left; col < r.right; ++col) {
            int sx = x1 + static_cast<int>(static_cast<int64_t>(col - x) * cx1 / cx);
            if (sx >= sb.left && sx < sb.right)
                target.Row(row)[col] = source.Row(sy)[sx];
        }
    }
    target.Touch();
    return TRUE;
}

BOOL AlphaBlend(HDC dst, int x, int y, int cx, int cy, HDC src, int x1, int y1, int cx1, int cy1,
                BLENDFUNCTION blend) {
    if (cx != cx1 || cy != cy1 || blend.BlendOp != AC_SRC_OVER)
        return FALSE;
    const uint32_t constant = blend.SourceConstantAlpha;
    const bool perPixel = (blend.AlphaFormat & AC_SRC_ALPHA) != 0;
    return Transfer(dst, x, y, cx, cy, src, x1, y1, [=](uint32_t d, uint32_t s) {
        // Source is premultiplied: dst = src * ca + dst * (1 - srcAlpha * ca).
        uint32_t alpha = perPixel ? Channel(s, 24) * constant / 255 : constant;
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            uint32_t sc = (perPixel || shift < 24 ? Channel(s, shift) : 255) * constant / 255;
            uint32_t dc = Channel(d, shift) * (255 - alpha) / 255;
            out |= std::min<uint32_t>(255, sc + dc) << shift;
        }
        return out;
    });
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour) {
    Dc* dc = AsDc(hdc);
    if (!dc)
        return CLR_INVALID;
    Target target(dc);
    RECT b = target.Bounds();
    if (!target.Valid() || x < b.left || x >= b.right || y < b.top || y >= b.bottom)
        return CLR_INVALID;
    target.Row(y)[x] = ToPixel(colour);
    target.Touch();
    return colour & 0xFFFFFF;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    Dc* dc = AsDc(hdc);
    if (!dc)
        return CLR_INVALID;
    Target target(dc);
    if (!target.Valid() || x < 0 || y < 0 || x >= target.Width() || y >= target.Height())
        return CLR_INVALID;
    return ToColour(target.Row(y)[x]);
}

// ---- Rectangles ----

BOOL SetRect(RECT* r, int left, int top, int right, int bottom) {
    if (!r)
        return FALSE;
    *r = {left, top, right, bottom};
    return TRUE;
}
BOOL SetRectEmpty(RECT* r) {
    return SetRect(r, 0, 0, 0, 0);
}
BOOL IsRectEmpty(const RECT* r) {
    return !r || Empty(*r);
}
BOOL PtInRect(const RECT* r, POINT p) {
    return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}
BOOL OffsetRect(RECT* r, int dx, int dy) {
    if (!r)
        return FALSE;
    r->left += dx;
    r->right += dx;
    r->top += dy;
    r->bottom += dy;
    return TRUE;
}
BOOL InflateRect(RECT* r, int dx, int dy) {
    if (!r)
        return FALSE;
    r->left -= dx;
    r->right += dx;
    r->top -= dy;
    r->bottom += dy;
    return TRUE;
}
BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b) {
    if (!out || !a || !b)
        return FALSE;
    RECT r = Intersect(*a, *b);
    *out = Empty(r) ? RECT{0, 0, 0, 0} : r;
    return !Empty(r);
}
BOOL UnionRect(RECT* out, const RECT* a, const RECT* b) {
    if (!out || !a || !b)
        return FALSE;
    if (Empty(*a))
        *out = *b;
    else if (Empty(*b))
        *out = *a;
    else
        *out = {std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                std::max(a->bottom, b->bottom)};
    return !Empty(*out);
}
BOOL EqualRect(const RECT* a, const RECT* b) {
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
           a->bottom == b->bottom;
}

// ---- Regions ----

namespace {
int RegionKind(const Region* region) {
    size_t n = 0;
    for (const RECT& r : region->rects)
        n += Empty(r) ? 0 : 1;
    return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

// Rectangle difference a - b as up to four rectangles.
void Subtract(const RECT& a, const RECT& b, std::vector<RECT>& out) {
    RECT i = Intersect(a, b);
    if (Empty(i)) {
        out.push_back(a);
        return;
    }
    if (a.top < i.top)
        out.push_back({a.left, a.top, a.right, i.top});
    if (i.bottom < a.bottom)
        out.push_back({a.left, i.bottom, a.right, a.bottom});
    if (a.left < i.left)
        out.push_back({a.left, i.top, i.left, i.bottom});
    if (i.right < a.right)
        out.push_back({i.right, i.top, a.right, i.bottom});
}
}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    auto region = std::make_unique<Region>();
    RECT r{std::min(left, right), std::min(top, bottom), std::max(left, right),
           std::max(top, bottom)};
    if (!Empty(r))
        region->rects.push_back(r);
    return static_cast<HRGN>(RegisterObject(std::move(region)));
}

int CombineRgn(HRGN dstHandle, HRGN aHandle, HRGN bHandle, int mode) {
    Region* dst = As<Region>(dstHandle, Kind::Region);
    Region* a = As<Region>(aHandle, Kind::Region);
    Region* b = As<Region>(bHandle, Kind::Region);
    if (!dst || !a || (mode != RGN_COPY && !b))
        return ERROR;
    std::vector<RECT> out;
    switch (mode) {
        case RGN_COPY:
            out = a->rects;
            break;
        case RGN_OR:
            out = a->rects;
            for (const RECT& r : b->rects) {
                std::vector<RECT> pieces{r};
                for (const RECT& existing : a->rects) {
                    std::vector<RECT> next;
                    for (const RECT& p : pieces)
                        Subtract(p, existing, next);
                    pieces.swap(next);
                }
                out.insert(out.end(), pieces.begin(), pieces.end());
            }
            break;
        case RGN_AND:
            for (const RECT& ra : a->rects)
                for (const RECT& rb : b->rects)
                    if (!Empty(Intersect(ra, rb)))
                        out.push_back(Intersect(ra, rb));
            break;
        case RGN_DIFF:
            out = a->rects;
            for (const RECT& rb : b->rects) {
                std::vector<RECT> next;
                for (const RECT& p : out)
                    Subtract(p, rb, next);
                out.swap(next);
            }
            break;
        default:
            return ERROR;
    }
    dst->rects.swap(out);
    return RegionKind(dst);
}

BOOL PtInRegion(HRGN handle, int x, int y) {
    Region* region = As<Region>(handle, Kind::Region);
    return region && region->Contains(x, y);
}

int GetRgnBox(HRGN handle, RECT* box) {
    Region* region = As<Region>(handle, Kind::Region);
    if (!region || !box)
        return ERROR;
    RECT r{0, 0, 0, 0};
    for (const RECT& part : region->rects)
        UnionRect(&r, &r, &part);
    *box = r;
    return RegionKind(region);
}

int SelectClipRgn(HDC hdc, HRGN handle) {
    Dc* dc = AsDc(hdc);
    if (!dc)
        return ERROR;
    if (!handle) {
        dc->state.hasClip = false;
        return SIMPLEREGION;
    }
    Region* region = As<Region>(handle, Kind::Region);
    if (!region)
        return ERROR;
    // Clipping keeps the bounding box: the layer's callers clip to rectangles.
    RECT box{0, 0, 0, 0};
    GetRgnBox(handle, &box);
    dc->state.hasClip = true;
    dc->state.clip = box;
    return RegionKind(region);
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    Dc* dc = AsDc(hdc);
    if (!dc)
        return ERROR;
    RECT r{left, top, right, bottom};
    dc->state.clip = dc->state.hasClip ? Intersect(dc->state.clip, r) : r;
    dc->state.hasClip = true;
    return Empty(dc->state.clip) ? NULLREGION : SIMPLEREGION;
}
