// Bitmaps and icons from the program's resources: PNG blobs registered under
// the type "PNG" (or "BITMAP"), decoded by cairo's PNG reader.
#include <cairo.h>

#include <cstring>

#include "platform/posix/gui/gdi_objects.h"
#include "platform/resource.h"

namespace {

struct PngReader {
    const unsigned char* data;
    size_t size;
    size_t offset;
};

cairo_status_t ReadPng(void* closure, unsigned char* out, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->size - reader->offset < length)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, reader->data + reader->offset, length);
    reader->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

// Unpremultiplies cairo's ARGB32 so that a fully opaque image gives exactly its
// colours and a translucent one its straight colours with alpha on top, as a
// 32-bit bitmap resource would.
uint32_t Straight(uint32_t p) {
    uint32_t a = p >> 24;
    if (a == 0 || a == 255)
        return a == 0 ? 0 : p;
    uint32_t out = a << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t c = ((p >> shift) & 0xFF) * 255 / a;
        out |= (c > 255 ? 255 : c) << shift;
    }
    return out;
}

HBITMAP DecodeResource(LPCWSTR name) {
    if (!IS_INTRESOURCE(name))
        return nullptr;
    int id = static_cast<int>(reinterpret_cast<uintptr_t>(name));
    ResourceBlob blob;
    if (!FindResourceBlob(id, L"PNG", blob) && !FindResourceBlob(id, L"BITMAP", blob))
        return nullptr;
    PngReader reader{blob.data, blob.size, 0};
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(ReadPng, &reader);
    HBITMAP result = nullptr;
    if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
        cairo_surface_t* argb = image;
        if (cairo_image_surface_get_format(image) != CAIRO_FORMAT_ARGB32 &&
            cairo_image_surface_get_format(image) != CAIRO_FORMAT_RGB24) {
            int w = cairo_image_surface_get_width(image);
            int h = cairo_image_surface_get_height(image);
            argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
            cairo_t* cr = cairo_create(argb);
            cairo_set_source_surface(cr, image, 0, 0);
            cairo_paint(cr);
            cairo_destroy(cr);
        }
        cairo_surface_flush(argb);
        const bool opaque = cairo_image_surface_get_format(argb) == CAIRO_FORMAT_RGB24;
        int w = cairo_image_surface_get_width(argb);
        int h = cairo_image_surface_get_height(argb);
        gui::Bitmap* bitmap = gui::NewBitmap(w, h, false);
        if (bitmap) {
            const unsigned char* data = cairo_image_surface_get_data(argb);
            int stride = cairo_image_surface_get_stride(argb);
            for (int y = 0; y < h; ++y) {
                const auto* row =
                    reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
                uint32_t* out = bitmap->Row(y);
                for (int x = 0; x < w; ++x)
                    out[x] = opaque ? (row[x] & 0xFFFFFF) : Straight(row[x]);
            }
            result = reinterpret_cast<HBITMAP>(bitmap);
        }
        if (argb != image)
            cairo_surface_destroy(argb);
    }
    cairo_surface_destroy(image);
    return result;
}

}  // namespace

HBITMAP LoadBitmapW(HINSTANCE, LPCWSTR name) {
    return DecodeResource(name);
}

// An icon is the same PNG held as a bitmap (the window layer reads it for the
// window's icon).
void* LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int, int, UINT) {
    if (type == IMAGE_BITMAP)
        return LoadBitmapW(instance, name);
    if (type == IMAGE_ICON)
        return LoadIconW(instance, name);
    return nullptr;
}

HICON LoadIconW(HINSTANCE, LPCWSTR name) {
    return reinterpret_cast<HICON>(DecodeResource(name));
}

// Cursors are the desktop's own; a non-null token keeps callers' checks happy.
HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name) {
    return name ? reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x7F00)) : nullptr;
}

BOOL DestroyIcon(HICON icon) {
    return DeleteObject(reinterpret_cast<HGDIOBJ>(icon));
}
