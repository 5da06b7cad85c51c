// What the artwork tests share: the bitmaps the windows expect, each sized
// by the rectangle it is drawn into, and PNG decoding through the window
// layer's own bitmap reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace art_test {

struct Image {
    bool ok = false;
    int width = 0;
    int height = 0;
    bool hasAlpha = false;         // an alpha channel: some pixel carries an alpha byte
    std::vector<uint32_t> pixels;  // 0xAARRGGBB, straight; alpha 0xFF without an alpha channel

    uint32_t Rgb(int x, int y) const { return pixels[y * width + x] & 0xFFFFFF; }
    int Alpha(int x, int y) const { return pixels[y * width + x] >> 24; }
};

struct ExpectedBitmap {
    int id;
    int width;
    int height;
};
// Every bitmap id the program uses, in ascending order.
const std::vector<ExpectedBitmap>& ExpectedBitmaps();

Image DecodePng(const unsigned char* data, size_t size);
Image DecodePng(const std::string& bytes);
// The bitmap registered under the id with type "PNG"; ok is false when absent.
Image LoadBitmapResource(int id);

}  // namespace art_test
