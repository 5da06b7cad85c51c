// The painters' cached surface: a window-sized bitmap kept from one paint to
// the next. A painter composes a frame into it only when something on the
// frame changed and pushes to the window only the rectangles it marked, so an
// unchanged frame costs no pixel work and a changed text costs its own row.
#pragma once

#include <cstdint>
#include <vector>

#include "app/progress_render.h"
#include "platform/gdi.h"

// Rectangles that changed since the last push, kept few: a rectangle that
// overlaps or touches one already marked is merged into it.
class ChangedArea {
public:
    void Add(const RECT& rect);
    void Clear() { m_rects.clear(); }
    bool Empty() const { return m_rects.empty(); }
    const std::vector<RECT>& Rects() const { return m_rects; }

private:
    std::vector<RECT> m_rects;
};

class PaintCanvas {
public:
    PaintCanvas() = default;
    ~PaintCanvas();
    PaintCanvas(const PaintCanvas&) = delete;
    PaintCanvas& operator=(const PaintCanvas&) = delete;

    // Makes the surface width x height (keeping it when it already is); a
    // new surface is marked changed all over. False when it cannot be made.
    bool Ensure(int width, int height);
    HDC Dc() const { return m_dc; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // Copies a frame's pixels (kFrameWidth wide, rows from the top) over the
    // surface; rows or columns the frame does not have stay as they are.
    void CopyFrame(const FrameBuffer& frame);
    // The same for one rectangle of the frame, placed at the same position.
    void CopyFrameRect(const FrameBuffer& frame, const RECT& rect);

    // The pixels of a rectangle inside the surface, row by row, and back;
    // a rectangle not wholly inside reads as nothing and writes nothing.
    std::vector<uint32_t> ReadPixels(const RECT& rect) const;
    void WritePixels(const RECT& rect, const std::vector<uint32_t>& pixels);

    // Marks an area (clipped to the surface) or the whole surface changed.
    void MarkChanged(const RECT& rect);
    void MarkAllChanged();
    bool HasChanges() const { return !m_changed.Empty(); }

    // Copies the changed rectangles into `target` at the same place and
    // forgets them; returns the number of pixels copied.
    int64_t Push(HDC target);

private:
    void Release();
    bool Inside(const RECT& rect) const;

    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    uint32_t* m_pixels = nullptr;  // top-down rows of m_width pixels
    int m_width = 0;
    int m_height = 0;
    ChangedArea m_changed;
};
