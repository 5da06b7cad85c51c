#include "tests/art/art_fixture.h"

#include <cairo.h>

#include <cstring>

#include "platform/resource.h"
#include "resources/resource_ids.h"

namespace art_test {

namespace {

struct Reader {
    const unsigned char* data;
    size_t size;
    size_t at;
};

cairo_status_t ReadChunk(void* closure, unsigned char* out, unsigned int length) {
    auto* reader = static_cast<Reader*>(closure);
    if (reader->size - reader->at < length)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, reader->data + reader->at, length);
    reader->at += length;
    return CAIRO_STATUS_SUCCESS;
}

// A control's rectangle as the window layout gives it (left, top, right, bottom).
ExpectedBitmap In(int id, int left, int top, int right, int bottom) {
    return {id, right - left, bottom - top};
}

}  // namespace

const std::vector<ExpectedBitmap>& ExpectedBitmaps() {
    // The large logo's control is 311 square and the finished background
    // covers the 622 x 405 window; the check images are placed with their own
    // sizes; the icon is the one size without a rectangle.
    static const std::vector<ExpectedBitmap> expected = {
        {IDI_KORVEL, 64, 64},
        {IDB_INSTALL_LOGO, 311, 311},
        {IDB_LARGE_LOGO_OUTLINE, 311, 311},
        In(IDB_PRODUCT_LOGO, 0, 0, 206, 45),
        In(IDB_PRODUCT_LOGO2, 0, 0, 206, 45),
        In(IDB_CLOSE_NORMAL, 600, 0, 617, 21),
        In(IDB_CLOSE_PRESSED, 600, 0, 617, 21),
        In(IDB_CLOSE_HOVER, 600, 0, 617, 21),
        In(IDB_MIN_NORMAL, 580, 0, 597, 21),
        In(IDB_MIN_PRESSED, 580, 0, 597, 21),
        In(IDB_MIN_HOVER, 580, 0, 597, 21),
        In(IDB_CLOSE_FINISHED, 600, 0, 617, 21),
        In(IDB_MIN_FINISHED, 580, 0, 597, 21),
        In(IDB_MIN_FINISHED_PRESSED, 580, 0, 597, 21),
        In(IDB_MIN_FINISHED_HOVER, 580, 0, 597, 21),
        {IDB_CHECK_OFF, 14, 14},
        {IDB_CHECK_OFF_HOVER, 14, 14},
        {IDB_CHECK_ON, 14, 14},
        {IDB_CHECK_ON_HOVER, 14, 14},
        {IDB_CUSTOM_CLOSED, 14, 8},
        {IDB_CUSTOM_CLOSED_HOVER, 14, 8},
        {IDB_CUSTOM_OPEN, 14, 8},
        {IDB_CUSTOM_OPEN_HOVER, 14, 8},
        In(IDB_BROWSE_PRESSED, 549, 460, 578, 486),
        In(IDB_BROWSE_HOVER, 549, 460, 578, 486),
        In(IDB_BROWSE_NORMAL, 549, 460, 578, 486),
        In(IDB_MSGBOX_BUTTON_HOVER, 160, 167, 260, 199),
        In(IDB_MSGBOX_ICON, 32, 90, 62, 120),
        In(IDB_MSGBOX_BUTTON_NORMAL, 160, 167, 260, 199),
        In(IDB_MSGBOX_BUTTON_PRESSED, 160, 167, 260, 199),
        In(IDB_MSGBOX_CLOSE_HOVER, 401, 0, 418, 21),
        In(IDB_MSGBOX_CLOSE_NORMAL, 401, 0, 418, 21),
        In(IDB_MSGBOX_CLOSE_PRESSED, 401, 0, 418, 21),
        {IDB_FAILED_LOGO, 311, 311},
        {IDB_LARGE_LOGO_COLOUR, 311, 311},
        {IDB_LARGE_LOGO_DONE, 311, 311},
        {IDB_FINISHED_BACKGROUND, 622, 405},
        In(IDB_PRODUCT_LOGO_X64, 0, 0, 206, 45),
        In(IDB_PRODUCT_LOGO2_X64, 0, 0, 206, 45),
        {IDB_LARGE_LOGO_GREY, 311, 311},
    };
    return expected;
}

Image DecodePng(const unsigned char* data, size_t size) {
    Reader reader{data, size, 0};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadChunk, &reader);
    Image image;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        image.ok = true;
        image.width = cairo_image_surface_get_width(surface);
        image.height = cairo_image_surface_get_height(surface);
        image.hasAlpha = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32;
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* bytes = cairo_image_surface_get_data(surface);
        for (int y = 0; y < image.height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(bytes + y * stride);
            for (int x = 0; x < image.width; ++x)
                image.pixels.push_back(image.hasAlpha ? row[x] : (row[x] | 0xFF000000u));
        }
    }
    cairo_surface_destroy(surface);
    return image;
}

Image DecodePng(const std::string& bytes) {
    return DecodePng(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

Image LoadBitmapResource(int id) {
    ResourceBlob blob;
    if (!FindResourceBlob(id, L"PNG", blob))
        return {};
    return DecodePng(blob.data, blob.size);
}

}  // namespace art_test
