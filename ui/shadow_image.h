// The drop shadow's picture, computed apart from any window so that it can be
// checked pixel by pixel. The image is W x H = parent size + 2 x size, stored
// bottom-up (row y from the top lives at buffer row H - 1 - y), each pixel a
// premultiplied 0xAARRGGBB word as UpdateLayeredWindow wants it.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/types.h"

struct ShadowParams {
    uint8_t darkness = 30;   // alpha of the darkest pixel, of 255
    uint8_t sharpness = 30;  // width of the blur in pixels
    int8_t size = 30;        // how far the image reaches beyond the parent on every side
    int8_t xOffset = 0;
    int8_t yOffset = 0;
    COLORREF colour = RGB(50, 50, 50);
};

// The colour part of a premultiplied BGRA pixel: each channel x alpha / 255.
uint32_t PreMultiply(COLORREF colour, uint8_t alpha);

// Tells whether parent pixel (x, y) belongs to the parent's shape.
using ShapeTest = std::function<bool(int x, int y)>;

// Fills pixels (W x H words, already zeroed by the caller) with the shadow of
// a parent of parentWidth x parentHeight whose shape is `inside`. Does nothing
// for a parent without area.
void ComputeShadowImage(uint32_t* pixels, int parentWidth, int parentHeight,
                        const ShadowParams& params, const ShapeTest& inside);
