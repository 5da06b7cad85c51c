// Helpers of the window layer tests: headless SDL (offscreen driver unless a
// test process asks for X11), a recording window class and pixel probes.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/gui.h"

namespace gui_test {

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::thread::id thread;
};

// Every message of windows of the "GuiTestWindow" class, in order.
class Recorder {
public:
    static Recorder& Get();
    void Clear();
    std::vector<Seen> Of(UINT message);
    size_t Count(UINT message);
    void Add(const Seen& seen);
    // What the test window procedure returns for a message (default: DefWindowProcW).
    void Answer(UINT message, LRESULT result);
    bool Answered(UINT message, LRESULT& result);

private:
    std::mutex m_lock;
    std::vector<Seen> m_seen;
    std::vector<std::pair<UINT, LRESULT>> m_answers;
};

// A borderless top-level test window of width x height at (x, y), shown.
HWND MakeWindow(int x, int y, int width, int height, bool show = true);
HWND MakeChild(HWND parent, const wchar_t* className, int id, int x, int y, int width, int height,
               DWORD style = WS_CHILD | WS_VISIBLE);
bool Pump(uint32_t timeoutMs, const std::function<bool()>& done);
void PumpFor(uint32_t ms);  // dispatches for a while (to see that nothing more arrives)
// Fills part of a window's frame through a window DC.
void FillWindow(HWND hwnd, RECT rect, COLORREF colour);
// A 32-bit DIB section (bottom-up for a positive height, as BITMAPINFO
// says); its pixels in *bits.
HBITMAP MakeDib(int width, int height, uint32_t** bits);
// UpdateLayeredWindow with the premultiplied pixels of `dib` (size.cx x size.cy from
// its origin) at `at`, through a memory DC of its own.
BOOL UpdateLayeredFromDib(HWND hwnd, HBITMAP dib, POINT at, SIZE size);

}  // namespace gui_test
