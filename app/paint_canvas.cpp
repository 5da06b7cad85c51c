#include "app/paint_canvas.h"

#include <algorithm>
#include <cstring>

namespace {

// Overlapping or edge-sharing rectangles: their union covers nothing extra
// worth avoiding a second copy for.
bool Touches(const RECT& a, const RECT& b) {
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

RECT Union(const RECT& a, const RECT& b) {
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

}  // namespace

void ChangedArea::Add(const RECT& rect) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) {
        return;
    }
    RECT merged = rect;
    // A merge may make the rectangle touch others marked earlier: repeat.
    for (bool grew = true; grew;) {
        grew = false;
        for (size_t i = 0; i < m_rects.size(); ++i) {
            if (Touches(m_rects[i], merged)) {
                merged = Union(m_rects[i], merged);
                m_rects.erase(m_rects.begin() + static_cast<std::ptrdiff_t>(i));
                grew = true;
                break;
            }
        }
    }
    m_rects.push_back(merged);
}

PaintCanvas::~PaintCanvas() {
    Release();
}

void PaintCanvas::Release() {
    if (m_dc) {
        SelectObject(m_dc, m_old);
        DeleteDC(m_dc);
    }
    if (m_bitmap) {
        DeleteObject(m_bitmap);
    }
    m_dc = nullptr;
    m_bitmap = nullptr;
    m_old = nullptr;
    m_pixels = nullptr;
    m_width = m_height = 0;
    m_changed.Clear();
}

bool PaintCanvas::Ensure(int width, int height) {
    if (m_dc && width == m_width && height == m_height) {
        return true;
    }
    Release();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // rows from the top, as the frames have them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_dc = m_bitmap ? CreateCompatibleDC(nullptr) : nullptr;
    if (!m_bitmap || !m_dc || !bits) {
        Release();
        return false;
    }
    m_old = SelectObject(m_dc, m_bitmap);
    m_pixels = static_cast<uint32_t*>(bits);
    m_width = width;
    m_height = height;
    MarkAllChanged();
    return true;
}

void PaintCanvas::CopyFrame(const FrameBuffer& frame) {
    CopyFrameRect(frame, RECT{0, 0, m_width, m_height});
}

void PaintCanvas::CopyFrameRect(const FrameBuffer& frame, const RECT& rect) {
    if (!m_pixels) {
        return;
    }
    const int rows = static_cast<int>(frame.size() / kFrameWidth);
    const int left = std::max<int>(rect.left, 0);
    const int right = std::min({static_cast<int>(rect.right), m_width, kFrameWidth});
    const int top = std::max<int>(rect.top, 0);
    const int bottom = std::min({static_cast<int>(rect.bottom), m_height, rows});
    if (right <= left) {
        return;
    }
    const size_t rowBytes = static_cast<size_t>(right - left) * 4;
    for (int y = top; y < bottom; ++y) {
        std::memcpy(m_pixels + static_cast<size_t>(y) * m_width + left,
                    frame.data() + static_cast<size_t>(y) * kFrameWidth + left, rowBytes);
    }
}

bool PaintCanvas::Inside(const RECT& rect) const {
    return m_pixels && rect.left >= 0 && rect.top >= 0 && rect.right <= m_width &&
           rect.bottom <= m_height && rect.left < rect.right && rect.top < rect.bottom;
}

std::vector<uint32_t> PaintCanvas::ReadPixels(const RECT& rect) const {
    std::vector<uint32_t> out;
    if (!Inside(rect)) {
        return out;
    }
    const size_t width = static_cast<size_t>(rect.right - rect.left);
    out.resize(width * static_cast<size_t>(rect.bottom - rect.top));
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint32_t* row = m_pixels + static_cast<size_t>(y) * m_width + rect.left;
        std::copy(row, row + width, out.begin() + static_cast<ptrdiff_t>((y - rect.top) * width));
    }
    return out;
}

void PaintCanvas::WritePixels(const RECT& rect, const std::vector<uint32_t>& pixels) {
    if (!Inside(rect)) {
        return;
    }
    const size_t width = static_cast<size_t>(rect.right - rect.left);
    if (pixels.size() != width * static_cast<size_t>(rect.bottom - rect.top)) {
        return;
    }
    for (int y = rect.top; y < rect.bottom; ++y) {
        const auto from = pixels.begin() + static_cast<ptrdiff_t>((y - rect.top) * width);
        std::copy(from, from + static_cast<ptrdiff_t>(width),
                  m_pixels + static_cast<size_t>(y) * m_width + rect.left);
    }
}

void PaintCanvas::MarkChanged(const RECT& rect) {
    const RECT clipped{std::max<LONG>(rect.left, 0), std::max<LONG>(rect.top, 0),
                       std::min<LONG>(rect.right, m_width), std::min<LONG>(rect.bottom, m_height)};
    m_changed.Add(clipped);
}

void PaintCanvas::MarkAllChanged() {
    m_changed.Clear();
    MarkChanged(RECT{0, 0, m_width, m_height});
}

int64_t PaintCanvas::Push(HDC target) {
    int64_t pixels = 0;
    if (m_dc && target) {
        for (const RECT& r : m_changed.Rects()) {
            const int cx = r.right - r.left, cy = r.bottom - r.top;
            BitBlt(target, r.left, r.top, cx, cy, m_dc, r.left, r.top, SRCCOPY);
            pixels += static_cast<int64_t>(cx) * cy;
        }
    }
    m_changed.Clear();
    return pixels;
}
