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

Canvas::Canvas(int width, int height, COLORREF fill)
    : m_width(width),
      m_height(height),
      m_fill(((fill & 0xFF) << 16) | (fill & 0xFF00) | ((fill >> 16) & 0xFF)) {
    m_dc = CreateCompatibleDC(nullptr);
    m_bitmap = CreateCompatibleBitmap(m_dc, width, height);
    m_old = SelectObject(m_dc, m_bitmap);
    RECT all{0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(m_dc, &all, brush);
    DeleteObject(brush);
}

Canvas::~Canvas() {
    SelectObject(m_dc, m_old);
    DeleteObject(m_bitmap);
    DeleteDC(m_dc);
}

std::vector<uint32_t> Canvas::Pixels() const {
    std::vector<uint32_t> pixels(static_cast<size_t>(m_width) * m_height);
    GetBitmapBits(m_bitmap, static_cast<LONG>(pixels.size() * 4), pixels.data());
    return pixels;
}

uint32_t Canvas::At(int x, int y) const {
    return Pixels()[static_cast<size_t>(y) * m_width + x] & 0xFFFFFF;
}

RECT Canvas::Ink() const {
    std::vector<uint32_t> pixels = Pixels();
    RECT box{m_width, m_height, 0, 0};
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            if ((pixels[static_cast<size_t>(y) * m_width + x] & 0xFFFFFF) != m_fill) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
        }
    }
    if (box.right == 0)
        box = {0, 0, 0, 0};
    return box;
}

}  // namespace gui_test
