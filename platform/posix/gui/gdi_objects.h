// GDI objects of the POSIX window layer: what the opaque handles point to.
// Handles are checked against the live-object table before use, so a deleted
// or foreign handle fails cleanly instead of touching freed memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gui.h"

namespace gui {

enum class Kind { Bitmap, Brush, Font, Region, Dc };

struct GdiObject {
    explicit GdiObject(Kind k) : kind(k) {}
    virtual ~GdiObject() = default;
    const Kind kind;
    bool stock = false;
    std::atomic<int> selected{0};  // DCs this object is selected into
};

// 32-bit pixels; bits point at row 0 of the memory order (bottom row for a
// bottom-up DIB section). Row(y) counts from the top in both cases.
struct Bitmap : GdiObject {
    Bitmap() : GdiObject(Kind::Bitmap) {}
    int width = 0;
    int height = 0;
    bool bottomUp = false;
    bool dibSection = false;
    std::vector<uint32_t> storage;
    uint32_t* Row(int y) {
        return storage.data() + static_cast<size_t>(bottomUp ? height - 1 - y : y) * width;
    }
    const uint32_t* Row(int y) const {
        return storage.data() + static_cast<size_t>(bottomUp ? height - 1 - y : y) * width;
    }
};

struct Brush : GdiObject {
    Brush() : GdiObject(Kind::Brush) {}
    COLORREF colour = 0;
    bool null = false;
};

struct FontData;  // pango description, gdi_text.cpp
struct Font : GdiObject {
    Font() : GdiObject(Kind::Font) {}
    ~Font() override;
    LOGFONTW logFont{};
    FontData* data = nullptr;  // immutable after creation: safe to read from any thread
};

// A union of rectangles (enough for window shapes and clipping).
struct Region : GdiObject {
    Region() : GdiObject(Kind::Region) {}
    std::vector<RECT> rects;
    bool Contains(int x, int y) const;
};

struct DcState {
    Bitmap* bitmap = nullptr;
    Font* font = nullptr;
    Brush* brush = nullptr;
    COLORREF textColour = 0;
    COLORREF bkColour = 0xFFFFFF;
    int bkMode = OPAQUE;
    bool hasClip = false;
    RECT clip{0, 0, 0, 0};  // device coordinates
};

struct Dc : GdiObject {
    Dc() : GdiObject(Kind::Dc) {}
    HWND window = nullptr;  // window DC: draws into the window's frame
    bool screen = false;    // screen DC: nothing to draw into
    DcState state;
    std::vector<DcState> saved;
};

// Registers a new object and returns it as a handle.
void* RegisterObject(std::unique_ptr<GdiObject> object);
// The live object behind a handle when it has that kind, else null.
GdiObject* Lookup(const void* handle);
template <typename T>
T* As(const void* handle, Kind kind) {
    GdiObject* object = Lookup(handle);
    return object && object->kind == kind ? static_cast<T*>(object) : nullptr;
}
void Unregister(GdiObject* object);  // deletes it

// The pixels a DC draws into, held for the duration of one drawing call. For a
// window DC the window's frame lock is held and the frame is marked changed
// when the target goes out of scope.
class Target {
public:
    explicit Target(Dc* dc);
    ~Target();
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;
    bool Valid() const { return m_pixels != nullptr; }
    uint32_t* Row(int y) { return m_pixels + static_cast<ptrdiff_t>(y) * m_stride; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // The drawable area: the surface, intersected with the DC's clip.
    RECT Bounds() const { return m_bounds; }
    void Touch() { m_touched = true; }

private:
    uint32_t* m_pixels = nullptr;
    int m_width = 0;
    int m_height = 0;
    ptrdiff_t m_stride = 0;
    RECT m_bounds{0, 0, 0, 0};
    HWND m_window = nullptr;
    std::unique_lock<std::mutex> m_hold;
    bool m_touched = false;
};

// Implemented by the window core: the frame of a window (or child) under its lock.
bool LockFrame(HWND hwnd, std::unique_lock<std::mutex>& hold, uint32_t*& pixels, int& width,
               int& height);
void FrameChanged(HWND hwnd);

RECT Intersect(const RECT& a, const RECT& b);
bool Empty(const RECT& r);
uint32_t ToPixel(COLORREF colour);  // 0x00RRGGBB
COLORREF ToColour(uint32_t pixel);
COLORREF SystemColour(int index);
// A brush handle's colour: a real brush, or COLOR_x + 1; false for NULL_BRUSH or bad handles.
bool BrushColour(HBRUSH brush, COLORREF& colour);
void FillPixels(Target& target, const RECT& rect, uint32_t pixel);
Bitmap* NewBitmap(int width, int height, bool bottomUp);

}  // namespace gui
