// Layered windows (UpdateLayeredWindow) and frame capture for tests and docs.
#include <cairo.h>

#include <cstring>

#include "platform/posix/gui/gdi_objects.h"
#include "platform/posix/gui/window_internal.h"

using namespace gui;

BOOL UpdateLayeredWindow(HWND hwnd, HDC, POINT* dstPoint, SIZE* size, HDC src, POINT* srcPoint,
                         COLORREF, BLENDFUNCTION* blend, DWORD flags) {
    if (!(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) || !(flags & ULW_ALPHA) || !blend ||
        !(blend->AlphaFormat & AC_SRC_ALPHA))
        return FALSE;
    RECT r;
    GetWindowRect(hwnd, &r);
    int x = dstPoint ? dstPoint->x : r.left;
    int y = dstPoint ? dstPoint->y : r.top;
    int w = size ? size->cx : r.right - r.left;
    int h = size ? size->cy : r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return FALSE;
    SetWindowPos(hwnd, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    if (src) {
        HDC frame = GetDC(hwnd);
        BitBlt(frame, 0, 0, w, h, src, srcPoint ? srcPoint->x : 0, srcPoint ? srcPoint->y : 0,
               SRCCOPY);
        ReleaseDC(hwnd, frame);
    }
    FrameChanged(hwnd);
    return TRUE;
}

bool CaptureWindowPixels(HWND hwnd, std::vector<uint32_t>& pixels, int& width, int& height) {
    if (TopLevelOf(hwnd) != hwnd)
        return false;
    return Compose(hwnd, pixels, width, height);
}

bool CaptureWindowPng(HWND hwnd, const std::string& path) {
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    if (!CaptureWindowPixels(hwnd, pixels, width, height) || width <= 0 || height <= 0)
        return false;
    // Layered frames carry premultiplied alpha; the others are opaque.
    const bool layered = (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(pixels.data()),
        layered ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height, width * 4);
    bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok;
}
