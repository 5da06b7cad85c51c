#include "tests/support/memory_surface.h"

#include <algorithm>

namespace korvel_test {

MemorySurface::MemorySurface(int width, int height, COLORREF fill)
    : m_width(width),
      m_height(height),
      m_fill(((fill & 0xFF) << 16) | (fill & 0xFF00) | ((fill >> 16) & 0xFF)) {
    m_dc = CreateCompatibleDC(nullptr);
    m_bitmap = CreateCompatibleBitmap(m_dc, width, height);
    m_old = SelectObject(m_dc, m_bitmap);
    RECT all{0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(m_dc, &all, brush);
    DeleteObject(brush);
}

MemorySurface::~MemorySurface() {
    SelectObject(m_dc, m_old);
    DeleteObject(m_bitmap);
    DeleteDC(m_dc);
}

std::vector<uint32_t> MemorySurface::Pixels() const {
    std::vector<uint32_t> pixels(static_cast<size_t>(m_width) * m_height);
    GetBitmapBits(m_bitmap, static_cast<LONG>(pixels.size() * 4), pixels.data());
    return pixels;
}

uint32_t MemorySurface::At(int x, int y) const {
    return Pixels()[static_cast<size_t>(y) * m_width + x] & 0xFFFFFF;
}

RECT MemorySurface::Ink() const {
    const std::vector<uint32_t> pixels = Pixels();
    RECT box{m_width, m_height, 0, 0};
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            if ((pixels[static_cast<size_t>(y) * m_width + x] & 0xFFFFFF) != m_fill) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
        }
    }
    if (box.right == 0)
        box = {0, 0, 0, 0};
    return box;
}

int MemorySurface::Count(COLORREF c, int left, int top, int right, int bottom) const {
    int n = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            n += Pixel(x, y) == c;
        }
    }
    return n;
}

std::vector<int> MemorySurface::InkedRows(COLORREF background, int left, int right) const {
    std::vector<int> rows;
    for (int y = 0; y < m_height; ++y) {
        for (int x = left; x < right; ++x) {
            if (Pixel(x, y) != background) {
                rows.push_back(y);
                break;
            }
        }
    }
    return rows;
}

}  // namespace korvel_test
