// Helpers of the skin tests: a memory surface to paint into and read back, a
// window that records the commands it receives, and bitmaps made on the spot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gui.h"
#include "tests/support/memory_surface.h"

namespace ui_test {

using korvel_test::MemorySurface;

// A bitmap filled with one colour; the caller deletes it.
HBITMAP SolidBitmap(int width, int height, COLORREF colour);

// Registers a PNG of one colour under (id, "PNG"); the bytes stay alive for the run.
void RegisterSolidPng(int id, int width, int height, COLORREF colour);

// A hidden popup window of a class the tests name, registered with `proc` on
// first use.
HWND CreateTestPopup(const wchar_t* className, WNDPROC proc, int x, int y, int width, int height);

// A hidden popup window that records the WM_COMMAND ids it receives.
class CommandSink {
public:
    CommandSink();
    ~CommandSink();
    HWND hwnd() const { return m_hwnd; }
    const std::vector<int>& commands() const;

private:
    HWND m_hwnd = nullptr;
};

}  // namespace ui_test

#include <functional>

namespace ui_test {

// Runs steps one after another on the UI thread from a timer of host, so that
// a test can act inside a modal loop. A step returns true when it is done;
// after maxTicks ticks the script gives up (TimedOut) and calls onGiveUp,
// which should end the modal loop.
class TimerScript {
public:
    using Step = std::function<bool()>;
    TimerScript(HWND host, std::vector<Step> steps, std::function<void()> onGiveUp,
                int maxTicks = 500);
    ~TimerScript();
    bool Finished() const { return m_next >= m_steps.size(); }
    bool TimedOut() const { return m_bTimedOut; }

private:
    static void CALLBACK OnTimer(HWND hwnd, UINT message, UINT_PTR id, DWORD time);
    void Tick();

    HWND m_host;
    std::vector<Step> m_steps;
    std::function<void()> m_onGiveUp;
    size_t m_next = 0;
    int m_ticksLeft;
    bool m_bTimedOut = false;
};

// The colour of client pixel (x, y) as last presented, or CLR_INVALID.
COLORREF PresentedPixel(HWND hwnd, int x, int y);

// Registers the bitmaps the message box uses (174-180), each a distinct colour.
void RegisterMessageBoxBitmaps();
COLORREF MessageBoxBitmapColour(int id);

}  // namespace ui_test
