#include "ui/shadow_image.h"

#include <algorithm>
#include <cmath>
#include <vector>

uint32_t PreMultiply(COLORREF colour, uint8_t alpha) {
    uint32_t r = GetRValue(colour) * alpha / 255u;
    uint32_t g = GetGValue(colour) * alpha / 255u;
    uint32_t b = GetBValue(colour) * alpha / 255u;
    return (r << 16) | (g << 8) | b;
}

namespace {

// Half-open run [start, end) of one row; start >= end means the row is empty.
struct Span {
    int start;
    int end;
    bool Empty() const { return start >= end; }
};

// Everything the passes share: the image, its geometry and the parameters.
struct ShadowCanvas {
    uint32_t* pixels;
    int width;   // W
    int height;  // H
    int parentWidth;
    int parentHeight;
    int size;
    int sharpness;
    int xOffset;
    int yOffset;

    uint32_t& At(int x, int y) { return pixels[(height - 1 - y) * width + x]; }

    void Fill(int y, int from, int to, uint32_t value) {
        from = std::max(from, 0);
        to = std::min(to, width);
        for (int x = from; x < to; ++x) {
            At(x, y) = value;
        }
    }
};

// Per parent row the run of its shape, in parent coordinates.
std::vector<Span> ParentSpans(int w, int h, const ShapeTest& inside) {
    std::vector<Span> spans(h, Span{w, 0});
    for (int y = 0; y < h; ++y) {
        int first = 0;
        while (first < w && !inside(first, y)) {
            ++first;
        }
        if (first == w) {
            continue;
        }
        int last = w - 1;
        while (last > first && !inside(last, y)) {
            --last;
        }
        spans[y] = Span{first, last + 1};
    }
    return spans;
}

// Shadow rows with one empty guard row above and below: entry i + 1 is image row i.
std::vector<Span> ShadowSpans(const ShadowCanvas& c, const std::vector<Span>& parent) {
    const Span empty{c.width, 0};
    std::vector<Span> rows(c.height + 2, empty);
    for (int y = 0; y < c.parentHeight; ++y) {
        if (!parent[y].Empty()) {
            rows[y + c.size + 1] = Span{parent[y].start + c.size, parent[y].end + c.size};
        }
    }
    return rows;
}

// Narrows the shape by one pixel per pass when the blur is wider than the margin.
void Erode(std::vector<Span>& rows, int passes) {
    for (int n = 0; n < passes; ++n) {
        std::vector<Span> next = rows;
        for (size_t i = 1; i + 1 < rows.size(); ++i) {
            int start = std::max({rows[i - 1].start, rows[i].start, rows[i + 1].start}) + 1;
            int end = std::min({rows[i - 1].end, rows[i].end, rows[i + 1].end}) - 1;
            next[i] = Span{start, end};
        }
        rows.swap(next);
    }
}

std::vector<uint32_t> MakeKernel(const ShadowParams& p, int radius) {
    const int side = 2 * radius + 1;
    const int centre = p.size > p.sharpness ? p.size - p.sharpness : 0;
    std::vector<uint32_t> kernel(side * side, 0);
    for (int row = 0; row < side; ++row) {
        for (int col = 0; col < side; ++col) {
            double d = std::sqrt(
                double((row - radius) * (row - radius) + (col - radius) * (col - radius)));
            uint32_t alpha = 0;
            if (d < centre) {
                alpha = p.darkness;
            } else if (d <= radius) {
                alpha = uint32_t((1.0 - (d - centre) / (p.sharpness + 1)) * p.darkness);
            }
            kernel[row * side + col] = (alpha << 24) | PreMultiply(p.colour, uint8_t(alpha));
        }
    }
    return kernel;
}

// Keeps, pixel by pixel, the larger of the image and the kernel centred on (cx, cy).
void Stamp(ShadowCanvas& c, const std::vector<uint32_t>& kernel, int radius, int cx, int cy) {
    const int side = 2 * radius + 1;
    for (int ky = 0; ky < side; ++ky) {
        int y = cy + ky - radius;
        if (y < 0 || y >= c.height) {
            continue;
        }
        for (int kx = 0; kx < side; ++kx) {
            int x = cx + kx - radius;
            if (x < 0 || x >= c.width) {
                continue;
            }
            uint32_t& px = c.At(x, y);
            px = std::max(px, kernel[ky * side + kx]);
        }
    }
}

// Stamps only the left and right runs of each span where the outline bends,
// not the whole row: the inside is overwritten by the fill anyway.
void BlurBorder(ShadowCanvas& c, const std::vector<Span>& rows, const std::vector<uint32_t>& kernel,
                int radius) {
    for (int i = radius; i <= c.height - radius - 1; ++i) {
        const Span& above = rows[i];
        const Span& span = rows[i + 1];
        const Span& below = rows[i + 2];
        if (span.Empty()) {
            continue;
        }
        int leftEnd = std::min(std::max(above.start, below.start) + 1, span.end);
        int j = span.start;
        for (; j < leftEnd; ++j) {
            Stamp(c, kernel, radius, j, i);
        }
        for (j = std::max(j, std::min(above.end, below.end) - 1); j < span.end; ++j) {
            Stamp(c, kernel, radius, j, i);
        }
    }
}

// Solid shadow inside the outline, cleared where the parent itself lies.
void FillAndCut(ShadowCanvas& c, const std::vector<Span>& rows, const std::vector<Span>& parent,
                int radius, uint32_t full) {
    const int first = std::min(radius, std::max(c.size - c.yOffset, 0));
    const int last =
        std::max(c.height - radius, std::min(c.parentHeight + c.size - c.yOffset, c.height));
    const int shift = c.size - c.xOffset;
    for (int i = std::max(first, 0); i < std::min(last, c.height); ++i) {
        const Span& span = rows[i + 1];
        int p = i - c.size + c.yOffset;
        if (p < 0 || p >= c.parentHeight) {
            c.Fill(i, span.start, span.end, full);
            continue;
        }
        int a = parent[p].start;
        int b = parent[p].end;
        c.Fill(i, span.start, std::min(a + shift, span.end), full);
        c.Fill(i, std::max(a + shift, 0), std::min(b + shift, c.width), 0);
        c.Fill(i, std::max(b + shift, span.start), span.end, full);
    }
}

}  // namespace

void ComputeShadowImage(uint32_t* pixels, int parentWidth, int parentHeight,
                        const ShadowParams& params, const ShapeTest& inside) {
    if (!pixels || parentWidth <= 0 || parentHeight <= 0) {
        return;
    }
    ShadowCanvas c{pixels,
                   parentWidth + 2 * params.size,
                   parentHeight + 2 * params.size,
                   parentWidth,
                   parentHeight,
                   params.size,
                   params.sharpness,
                   params.xOffset,
                   params.yOffset};
    if (c.width <= 0 || c.height <= 0) {
        return;
    }
    std::vector<Span> parent = ParentSpans(parentWidth, parentHeight, inside);
    std::vector<Span> rows = ShadowSpans(c, parent);
    Erode(rows, params.sharpness - params.size);
    const int radius = std::max<int>(params.size, params.sharpness);
    BlurBorder(c, rows, MakeKernel(params, radius), radius);
    uint32_t full = (uint32_t(params.darkness) << 24) | PreMultiply(params.colour, params.darkness);
    FillAndCut(c, rows, parent, radius, full);
}
