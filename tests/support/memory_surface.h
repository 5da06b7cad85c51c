// A memory DC with its own bitmap, cleared to one colour, that tests paint
// into through the window layer and read back.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gui.h"

namespace korvel_test {

class MemorySurface {
public:
    MemorySurface(int width, int height, COLORREF fill = RGB(255, 255, 255));
    ~MemorySurface();
    MemorySurface(const MemorySurface&) = delete;
    MemorySurface& operator=(const MemorySurface&) = delete;

    HDC dc() const { return m_dc; }
    HBITMAP bitmap() const { return m_bitmap; }
    // The pixel as GetPixel gives it: a COLORREF (0x00BBGGRR).
    COLORREF Pixel(int x, int y) const { return GetPixel(m_dc, x, y) & 0xFFFFFF; }
    // The pixel's bitmap bytes, low 24 bits (0x00RRGGBB).
    uint32_t At(int x, int y) const;
    std::vector<uint32_t> Pixels() const;  // bitmap words, rows top first
    // Bounding box of the pixels differing from the fill; empty when none.
    RECT Ink() const;
    // Number of pixels of colour c in the rectangle [left, right) x [top, bottom).
    int Count(COLORREF c, int left, int top, int right, int bottom) const;
    // Rows (top first) that hold at least one pixel different from background.
    std::vector<int> InkedRows(COLORREF background, int left, int right) const;

private:
    int m_width, m_height;
    uint32_t m_fill;  // as the bitmap holds it (0x00RRGGBB)
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
};

}  // namespace korvel_test
