// Helpers shared by the built-in control classes.
#pragma once

#include <memory>

#include "platform/posix/gui/window_internal.h"

namespace gui {

// The control's state object, created on first use (UI thread only).
template <typename T>
T& ControlState(HWND hwnd) {
    WindowPtr w = Get(hwnd);
    static T orphan;  // a destroyed window's late message: harmless scratch state
    if (!w)
        return orphan = T{};
    std::lock_guard<std::mutex> hold(core().lock);
    if (!w->control)
        w->control = std::make_shared<T>();
    return *static_cast<T*>(w->control.get());
}

// Asks the parent for the colours (WM_CTLCOLOR*) and fills the client area.
void PaintBackground(HWND hwnd, HDC hdc, UINT colourMessage, int fallbackColour);
// Selects the control's WM_SETFONT font (or the default GUI font); returns the old one.
HGDIOBJ SelectControlFont(HWND hwnd, HDC hdc);
void Notify(HWND hwnd, WORD code);  // WM_COMMAND (id, code) to the parent
bool PointInClient(HWND hwnd, LPARAM point);

}  // namespace gui
