#include "tests/gui/gui_test_util.h"

#include <chrono>
#include <cstdlib>

namespace gui_test {
namespace {

// Headless by default; a test process that runs against Xvfb sets x11 first.
const int kDriver = setenv("SDL_VIDEODRIVER", "offscreen", 0);

LRESULT TestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Recorder::Get().Add({hwnd, message, wParam, lParam, std::this_thread::get_id()});
    LRESULT result = 0;
    if (Recorder::Get().Answered(message, result))
        return result;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterOnce() {
    static bool done = [] {
        (void)kDriver;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = TestProc;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_WINDOW + 1));
        wc.lpszClassName = L"GuiTestWindow";
        return RegisterClassExW(&wc) != 0;
    }();
    (void)done;
}

}  // namespace

Recorder& Recorder::Get() {
    static Recorder recorder;
    return recorder;
}

void Recorder::Clear() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_seen.clear();
    m_answers.clear();
}

std::vector<Seen> Recorder::Of(UINT message) {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<Seen> out;
    for (const Seen& s : m_seen)
        if (s.message == message)
            out.push_back(s);
    return out;
}

size_t Recorder::Count(UINT message) {
    return Of(message).size();
}

void Recorder::Add(const Seen& seen) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_seen.push_back(seen);
}

void Recorder::Answer(UINT message, LRESULT result) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_answers.emplace_back(message, result);
}

bool Recorder::Answered(UINT message, LRESULT& result) {
    std::lock_guard<std::mutex> hold(m_lock);
    for (auto& [m, r] : m_answers) {
        if (m == message) {
            result = r;
            return true;
        }
    }
    return false;
}

HWND MakeWindow(int x, int y, int width, int height, bool show) {
    RegisterOnce();
    return CreateWindowExW(0, L"GuiTestWindow", L"test", WS_POPUP | (show ? WS_VISIBLE : 0), x, y,
                           width, height, nullptr, nullptr, nullptr, nullptr);
}

HWND MakeChild(HWND parent, const wchar_t* className, int id, int x, int y, int width, int height,
               DWORD style) {
    RegisterOnce();
    return CreateWindowExW(0, className, L"", style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
}

bool Pump(uint32_t timeoutMs, const std::function<bool()>& done) {
    return PumpMessagesUntil(done, timeoutMs);
}

void PumpFor(uint32_t ms) {
    PumpMessagesUntil([] { return false; }, ms);
}

void FillWindow(HWND hwnd, RECT rect, COLORREF colour) {
    HDC dc = GetDC(hwnd);
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
    ReleaseDC(hwnd, dc);
}

HBITMAP MakeDib(int width, int height, uint32_t** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* pixels = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    *bits = static_cast<uint32_t*>(pixels);
    return dib;
}

BOOL UpdateLayeredFromDib(HWND hwnd, HBITMAP dib, POINT at, SIZE size) {
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, dib);
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const BOOL done =
        UpdateLayeredWindow(hwnd, nullptr, &at, &size, memory, &origin, 0, &blend, ULW_ALPHA);
    SelectObject(memory, old);
    DeleteDC(memory);
    return done;
}

}  // namespace gui_test
