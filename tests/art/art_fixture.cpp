#include "tests/art/art_fixture.h"

#include <deque>
#include <mutex>

#include "platform/gdi.h"
#include "platform/resource.h"
#include "resources/resource_ids.h"

namespace art_test {

namespace {

// Ids the generator's own images are registered under to pass them through
// the window layer's reader; far above the program's resource ids.
constexpr int kFirstScratchId = 30000;

// The window layer's pixels: opaque images carry no alpha byte, images with
// an alpha channel carry it beside straight colours.
Image ReadBitmap(HBITMAP bitmap) {
    Image image;
    BITMAP info = {};
    if (!bitmap || !GetObjectW(bitmap, sizeof(info), &info))
        return image;
    image.ok = true;
    image.width = info.bmWidth;
    image.height = info.bmHeight;
    image.pixels.resize(static_cast<size_t>(image.width) * image.height);
    GetBitmapBits(bitmap, static_cast<LONG>(image.pixels.size() * 4), image.pixels.data());
    DeleteObject(bitmap);
    for (uint32_t p : image.pixels)
        image.hasAlpha = image.hasAlpha || (p >> 24) != 0;
    if (!image.hasAlpha) {
        for (uint32_t& p : image.pixels)
            p |= 0xFF000000u;
    }
    return image;
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
    // Resource bytes must outlive the program; each image keeps its own id.
    static std::mutex lock;
    static std::deque<std::string> kept;
    std::lock_guard<std::mutex> hold(lock);
    kept.emplace_back(reinterpret_cast<const char*>(data), size);
    const int id = kFirstScratchId + static_cast<int>(kept.size());
    RegisterResource(id, L"PNG", kept.back().data(), kept.back().size());
    return LoadBitmapResource(id);
}

Image DecodePng(const std::string& bytes) {
    return DecodePng(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

Image LoadBitmapResource(int id) {
    ResourceBlob blob;
    if (!FindResourceBlob(id, L"PNG", blob))
        return {};
    return ReadBitmap(LoadBitmapW(nullptr, MAKEINTRESOURCEW(id)));
}

}  // namespace art_test
