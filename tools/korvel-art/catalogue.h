// Every picture the generator can draw: the program's bitmaps by resource id
// and the product's own icon files that go into the demo payload.
#pragma once

#include <cairo.h>

#include <functional>
#include <string>
#include <vector>

namespace art {

struct Artwork {
    int id;            // resource id; 0 for payload files
    std::string name;  // short description, or the file name of a payload icon
    int width;
    int height;
    bool transparent;  // only icons keep an alpha channel; bitmaps are opaque
    std::function<void(cairo_t*)> draw;
};

// The bitmaps in ascending id order.
const std::vector<Artwork>& Bitmaps();
// The demo product's icon files, named as the shortcuts refer to them.
const std::vector<Artwork>& PayloadIcons();

}  // namespace art
