#include "tests/ui/ui_test_support.h"

#include <cairo.h>

#include <deque>
#include <map>
#include <set>

#include "platform/resource.h"

namespace ui_test {

HBITMAP SolidBitmap(int width, int height, COLORREF colour) {
    uint32_t bgra =
        0xFF000000u | (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    std::vector<uint32_t> pixels(size_t(width) * height, bgra);
    return CreateBitmap(width, height, 1, 32, pixels.data());
}

namespace {

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::string*>(closure);
    out->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

void RegisterSolidPng(int id, int width, int height, COLORREF colour) {
    static std::deque<std::string> blobs;  // registered bytes must outlive the run
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, GetRValue(colour) / 255.0, GetGValue(colour) / 255.0,
                         GetBValue(colour) / 255.0);
    cairo_paint(cr);
    cairo_destroy(cr);
    blobs.emplace_back();
    cairo_surface_write_to_png_stream(surface, AppendBytes, &blobs.back());
    cairo_surface_destroy(surface);
    RegisterResource(id, L"PNG", blobs.back().data(), blobs.back().size());
}

namespace {

std::map<HWND, std::vector<int>>& Recorded() {
    static std::map<HWND, std::vector<int>> recorded;
    return recorded;
}

LRESULT CALLBACK SinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        Recorded()[hwnd].push_back(int(LOWORD(wParam)));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

HWND CreateTestPopup(const wchar_t* className, WNDPROC proc, int x, int y, int width, int height) {
    static std::set<std::wstring> registered;  // UI thread only
    if (registered.insert(className).second) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = className;
        RegisterClassExW(&wc);
    }
    return CreateWindowExW(0, className, L"", WS_POPUP, x, y, width, height, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

CommandSink::CommandSink()
    : m_hwnd(CreateTestPopup(L"KorvelUiTestSink", SinkProc, 0, 0, 200, 200)) {}

CommandSink::~CommandSink() {
    Recorded().erase(m_hwnd);
    DestroyWindow(m_hwnd);
}

const std::vector<int>& CommandSink::commands() const {
    return Recorded()[m_hwnd];
}

}  // namespace ui_test

namespace ui_test {

namespace {
TimerScript* g_script = nullptr;
constexpr UINT_PTR kScriptTimer = 0x5C1;
}  // namespace

TimerScript::TimerScript(HWND host, std::vector<Step> steps, std::function<void()> onGiveUp,
                         int maxTicks)
    : m_host(host),
      m_steps(std::move(steps)),
      m_onGiveUp(std::move(onGiveUp)),
      m_ticksLeft(maxTicks) {
    g_script = this;
    SetTimer(m_host, kScriptTimer, 20, &TimerScript::OnTimer);
}

TimerScript::~TimerScript() {
    KillTimer(m_host, kScriptTimer);
    g_script = nullptr;
}

void CALLBACK TimerScript::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (g_script) {
        g_script->Tick();
    }
}

void TimerScript::Tick() {
    if (m_bTimedOut) {
        return;
    }
    // Counting on after the last step too: a modal loop the steps failed to end gives up.
    if (--m_ticksLeft <= 0) {
        m_bTimedOut = true;
        if (m_onGiveUp) {
            m_onGiveUp();
        }
        return;
    }
    if (!Finished() && m_steps[m_next]()) {
        ++m_next;
    }
}

COLORREF PresentedPixel(HWND hwnd, int x, int y) {
    std::vector<uint32_t> pixels;
    int width = 0;
    int height = 0;
    if (!CaptureWindowPixels(hwnd, pixels, width, height) || x < 0 || y < 0 || x >= width ||
        y >= height) {
        return CLR_INVALID;
    }
    uint32_t p = pixels[size_t(y) * width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

COLORREF MessageBoxBitmapColour(int id) {
    switch (id) {
        case 174:
            return RGB(0, 150, 0);  // button hover
        case 175:
            return RGB(250, 160, 0);  // icon
        case 176:
            return RGB(0, 100, 200);  // button normal
        case 177:
            return RGB(0, 50, 120);  // button pressed
        case 178:
            return RGB(200, 0, 0);  // close hover
        case 179:
            return RGB(120, 0, 120);  // close normal
        case 180:
            return RGB(90, 0, 0);  // close pressed
        default:
            return RGB(0, 0, 0);
    }
}

void RegisterMessageBoxBitmaps() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    for (int id : {174, 176, 177}) {
        RegisterSolidPng(id, 100, 32, MessageBoxBitmapColour(id));
    }
    for (int id : {178, 179, 180}) {
        RegisterSolidPng(id, 17, 21, MessageBoxBitmapColour(id));
    }
    RegisterSolidPng(175, 30, 30, MessageBoxBitmapColour(175));
}

}  // namespace ui_test
