// Helpers of the skin tests: a memory surface to paint into and read back, a
// window that records the commands it receives, and bitmaps made on the spot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gui.h"

namespace ui_test {

// A w x h memory DC with its own bitmap, cleared to a colour.
class MemorySurface {
public:
    MemorySurface(int width, int height, COLORREF background = RGB(0, 0, 0));
    ~MemorySurface();
    MemorySurface(const MemorySurface&) = delete;
    MemorySurface& operator=(const MemorySurface&) = delete;

    HDC dc() const { return m_dc; }
    COLORREF Pixel(int x, int y) const { return GetPixel(m_dc, x, y) & 0xFFFFFF; }
    // Number of pixels of colour c in the rectangle [left, right) x [top, bottom).
    int Count(COLORREF c, int left, int top, int right, int bottom) const;
    // Rows (top first) that hold at least one pixel different from background.
    std::vector<int> InkedRows(COLORREF background, int left, int right) const;

private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
};

// A bitmap filled with one colour; the caller deletes it.
HBITMAP SolidBitmap(int width, int height, COLORREF colour);

// Registers a PNG of one colour under (id, "PNG"); the bytes stay alive for the run.
void RegisterSolidPng(int id, int width, int height, COLORREF colour);

// A hidden popup window that records the WM_COMMAND ids it receives.
class CommandSink {
public:
    CommandSink();
    ~CommandSink();
    HWND hwnd() const { return m_hwnd; }
    const std::vector<int>& commands() const;

private:
    HWND m_hwnd = nullptr;
};

}  // namespace ui_test
