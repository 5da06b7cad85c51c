// The display backend on SDL2: one SDL window per top-level window (layered
// windows go to X11 directly), presenting frames through the window surface,
// and SDL's events turned into the layer's input records. Every function runs
// on the UI thread; calls from elsewhere are refused and counted, except the
// wake-up, which SDL_PushEvent allows from any thread.
#include <SDL.h>

#include <atomic>
#include <cstring>
#include <map>
#include <string>

#include "platform/posix/gui/gdi_objects.h"
#include "platform/posix/gui/window_internal.h"
#include "platform/text.h"

void SetDesktopDpi(int dpi);  // gui_dpi.cpp

namespace gui {
namespace {

struct Backend {
    bool tried = false;
    std::atomic<bool> ready{false};
    Uint32 wakeEvent = 0;
    std::string driver;
    std::map<Uint32, HWND> byId;
    std::atomic<int> screenWidth{1024};
    std::atomic<int> screenHeight{768};
    bool composited = false;
};

Backend& B() {
    static Backend* backend = new Backend;
    return *backend;
}

bool OnUi() {
    if (IsUiThread())
        return true;
    CountOffThread();
    return false;
}

bool X11() {
    return B().driver == "x11";
}

SDL_Window* Sdl(const Window& w) {
    return static_cast<SDL_Window*>(w.backend);
}

// Rectangle and style under the layer lock: other threads may change the style.
void Facts(const Window& w, RECT& rect, DWORD& style) {
    std::lock_guard<std::mutex> hold(core().lock);
    rect = w.rect;
    style = w.style;
}

int VirtualKey(SDL_Keycode key) {
    switch (key) {
        case SDLK_BACKSPACE:
            return VK_BACK;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return VK_RETURN;
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_DELETE:
            return VK_DELETE;
        case SDLK_INSERT:
            return VK_INSERT;
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_UP:
            return VK_UP;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_HOME:
            return VK_HOME;
        case SDLK_END:
            return VK_END;
        default:
            break;
    }
    if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9)
        return '0' + (key - SDLK_0);
    return 0;
}

HWND Owner(Uint32 windowId) {
    auto it = B().byId.find(windowId);
    return it == B().byId.end() ? nullptr : it->second;
}

void MouseEvent(Uint32 windowId, SyntheticMouse kind, int x, int y) {
    InputRecord in;
    in.type = InputRecord::Mouse;
    in.hwnd = Owner(windowId);
    in.mouse = kind;
    in.x = x;
    in.y = y;
    if (!in.hwnd)
        return;
    POINT global;
    bool dragging;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        dragging = core().drag.active;
    }
    // While a window moves under the pointer, window-relative positions lag
    // behind; the pointer's screen position does not.
    if (dragging && BackendGlobalMouse(global)) {
        in.x = global.x;
        in.y = global.y;
        in.screenKnown = true;
    }
    QueueBackendInput(in);
}

void WindowEvent(const SDL_WindowEvent& e) {
    HWND hwnd = Owner(e.windowID);
    WindowPtr w = Get(hwnd);
    if (!w)
        return;
    switch (e.event) {
        case SDL_WINDOWEVENT_CLOSE:
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            break;
        // The desktop minimised or restored the window (taskbar, keys).
        case SDL_WINDOWEVENT_MINIMIZED:
            if (!IsIconic(hwnd))
                ShowWindow(hwnd, SW_MINIMIZE);
            break;
        case SDL_WINDOWEVENT_RESTORED:
            if (IsIconic(hwnd))
                ShowWindow(hwnd, SW_RESTORE);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            w->dirty.store(true);
            break;
        case SDL_WINDOWEVENT_MOVED: {
            RECT r;
            GetWindowRect(hwnd, &r);
            if (r.left != e.data1 || r.top != e.data2)
                SetWindowPos(hwnd, nullptr, e.data1, e.data2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            break;
        }
        default:
            break;
    }
}

void Handle(const SDL_Event& e) {
    switch (e.type) {
        case SDL_MOUSEMOTION:
            MouseEvent(e.motion.windowID, SyntheticMouse::Move, e.motion.x, e.motion.y);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (e.button.button == SDL_BUTTON_LEFT)
                MouseEvent(e.button.windowID,
                           e.type == SDL_MOUSEBUTTONDOWN ? SyntheticMouse::LeftDown
                                                         : SyntheticMouse::LeftUp,
                           e.button.x, e.button.y);
            break;
        case SDL_MOUSEWHEEL: {
            int x = 0, y = 0;
            SDL_GetMouseState(&x, &y);
            InputRecord in;
            in.type = InputRecord::Mouse;
            in.hwnd = Owner(e.wheel.windowID);
            in.mouse = SyntheticMouse::Wheel;
            in.x = x;
            in.y = y;
            in.wheel = (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y) * 120;
            if (in.hwnd && in.wheel)
                QueueBackendInput(in);
            break;
        }
        case SDL_KEYDOWN: {
            int vk = VirtualKey(e.key.keysym.sym);
            if (vk) {
                InputRecord in;
                in.type = InputRecord::Key;
                in.key = vk;
                in.control = (e.key.keysym.mod & KMOD_CTRL) != 0;
                in.shift = (e.key.keysym.mod & KMOD_SHIFT) != 0;
                QueueBackendInput(in);
            }
            break;
        }
        case SDL_TEXTINPUT: {
            InputRecord in;
            in.type = InputRecord::Text;
            in.text = Utf8ToWide(e.text.text);
            QueueBackendInput(in);
            break;
        }
        case SDL_WINDOWEVENT:
            WindowEvent(e.window);
            break;
        default:
            break;
    }
}

}  // namespace

bool BackendReady() {
    return B().ready.load();
}

bool BackendInit() {
    if (!OnUi())
        return B().ready.load();
    Backend& b = B();
    if (b.tried)
        return b.ready.load();
    b.tried = true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The driver's own framebuffer: no GL stack is loaded for a plain window surface.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    b.wakeEvent = SDL_RegisterEvents(1);
    const char* driver = SDL_GetCurrentVideoDriver();
    b.driver = driver ? driver : "";
    if (X11()) {
        X11TolerateLateWakeups();
        SetDesktopDpi(X11ResourceDpi(nullptr));
        b.composited = X11CompositionEnabled(nullptr);
    }
    b.ready.store(true);
    int w = 0, h = 0;
    BackendScreenSize(w, h);
    return true;
}

void BackendCreate(Window& w) {
    if (!OnUi() || !BackendReady())
        return;
    if (w.exStyle & WS_EX_LAYERED) {
        if (X11())
            w.layered = LayeredCreate(nullptr);
        return;
    }
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!(w.style & WS_CAPTION))
        flags |= SDL_WINDOW_BORDERLESS;
    if (w.exStyle & WS_EX_TOOLWINDOW)
        flags |= SDL_WINDOW_UTILITY | SDL_WINDOW_SKIP_TASKBAR;
    if (w.exStyle & WS_EX_TOPMOST)
        flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    std::string title = WideToUtf8(w.text);
    SDL_Window* window = SDL_CreateWindow(title.c_str(), w.rect.left, w.rect.top,
                                          std::max<int>(1, w.rect.right - w.rect.left),
                                          std::max<int>(1, w.rect.bottom - w.rect.top), flags);
    if (!window)
        return;
    w.backend = window;
    B().byId[SDL_GetWindowID(window)] = w.handle;
}

void BackendDestroy(Window& w) {
    if (!OnUi())
        return;
    if (w.layered) {
        LayeredDestroy(w.layered);
        w.layered = nullptr;
    }
    if (SDL_Window* window = Sdl(w)) {
        B().byId.erase(SDL_GetWindowID(window));
        SDL_DestroyWindow(window);
        w.backend = nullptr;
    }
}

void BackendShow(Window& w, bool show, bool activate) {
    if (!OnUi())
        return;
    if (w.layered) {
        WindowPtr owner = Get(w.parent);
        LayeredShow(w.layered, show && B().composited, owner ? SdlX11Window(owner->backend) : 0);
        if (show)
            w.dirty.store(true);
        return;
    }
    SDL_Window* window = Sdl(w);
    if (!window)
        return;
    if (show) {
        SDL_ShowWindow(window);
        if (activate)
            SDL_RaiseWindow(window);
        w.dirty.store(true);
    } else {
        SDL_HideWindow(window);
    }
}

void BackendMinimize(Window& w, bool minimize) {
    if (!OnUi() || !Sdl(w))
        return;
    if (minimize)
        SDL_MinimizeWindow(Sdl(w));
    else
        SDL_RestoreWindow(Sdl(w));
}

void BackendPlace(Window& w) {
    if (!OnUi())
        return;
    RECT r;
    DWORD style;
    Facts(w, r, style);
    if (w.layered) {
        LayeredMove(w.layered, r.left, r.top);
        return;
    }
    if (SDL_Window* window = Sdl(w)) {
        SDL_SetWindowPosition(window, r.left, r.top);
        SDL_SetWindowSize(window, std::max<int>(1, r.right - r.left),
                          std::max<int>(1, r.bottom - r.top));
        w.dirty.store(true);
    }
}

void BackendTitle(Window& w) {
    if (!OnUi() || !Sdl(w))
        return;
    std::string title;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        title = WideToUtf8(w.text);
    }
    SDL_SetWindowTitle(Sdl(w), title.c_str());
}

void BackendIcon(Window& w, HICON icon) {
    if (!OnUi() || !Sdl(w))
        return;
    Bitmap* bitmap = As<Bitmap>(icon, Kind::Bitmap);
    if (!bitmap)
        return;
    std::vector<uint32_t> pixels(static_cast<size_t>(bitmap->width) * bitmap->height);
    for (int y = 0; y < bitmap->height; ++y)
        std::memcpy(&pixels[static_cast<size_t>(y) * bitmap->width], bitmap->Row(y),
                    bitmap->width * 4u);
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), bitmap->width, bitmap->height, 32,
                                           bitmap->width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface) {
        SDL_SetWindowIcon(Sdl(w), surface);
        SDL_FreeSurface(surface);
    }
}

void BackendPresent(Window& w) {
    if (!OnUi())
        return;
    RECT r;
    DWORD style;
    Facts(w, r, style);
    if (w.layered) {
        std::vector<uint32_t> pixels;
        int width = 0, height = 0;
        if (Compose(w.handle, pixels, width, height) && width > 0 && height > 0)
            LayeredUpdate(w.layered, r.left, r.top, width, height, pixels.data());
        return;
    }
    SDL_Window* window = Sdl(w);
    if (!window || !(style & WS_VISIBLE))
        return;
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    if (!Compose(w.handle, pixels, width, height) || width == 0 || height == 0)
        return;
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (!surface)
        return;
    int cw = std::min(width, surface->w);
    int ch = std::min(height, surface->h);
    if (SDL_MUSTLOCK(surface))
        SDL_LockSurface(surface);
    SDL_ConvertPixels(cw, ch, SDL_PIXELFORMAT_RGB888, pixels.data(), width * 4,
                      surface->format->format, surface->pixels, surface->pitch);
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(window);
}

void BackendPump() {
    if (!IsUiThread() || !BackendReady())
        return;
    SDL_Event e;
    while (SDL_PollEvent(&e))
        Handle(e);
}

void BackendWait(int64_t timeoutMs) {
    if (!IsUiThread() || !BackendReady()) {
        SDL_Delay(static_cast<Uint32>(std::min<int64_t>(timeoutMs, 10)));
        return;
    }
    if (timeoutMs <= 0)
        return;
    SDL_Event e;
    if (SDL_WaitEventTimeout(&e, static_cast<int>(std::min<int64_t>(timeoutMs, 1000))))
        Handle(e);
}

void BackendWake() {
    Backend& b = B();
    if (!b.ready.load())
        return;
    SDL_Event e;
    SDL_zero(e);
    e.type = b.wakeEvent;
    SDL_PushEvent(&e);
}

bool BackendScreenSize(int& width, int& height) {
    Backend& b = B();
    if (IsUiThread() && b.ready.load()) {
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0) {
            b.screenWidth.store(mode.w);
            b.screenHeight.store(mode.h);
        }
    }
    width = b.screenWidth.load();
    height = b.screenHeight.load();
    return true;
}

bool BackendGlobalMouse(POINT& point) {
    if (!OnUi() || !BackendReady() || !X11())
        return false;
    int x = 0, y = 0;
    SDL_GetGlobalMouseState(&x, &y);
    point = {x, y};
    return true;
}

void BackendCaptureMouse(bool on) {
    if (OnUi() && BackendReady() && X11())
        SDL_CaptureMouse(on ? SDL_TRUE : SDL_FALSE);
}

void BackendTextInput(bool on) {
    if (!OnUi() || !BackendReady())
        return;
    if (on)
        SDL_StartTextInput();
    else
        SDL_StopTextInput();
}

bool BackendGetClipboard(std::wstring& text) {
    if (!OnUi() || !BackendReady())
        return false;
    char* value = SDL_GetClipboardText();
    if (!value)
        return false;
    text = Utf8ToWide(value);
    SDL_free(value);
    return true;
}

bool BackendSetClipboard(const std::wstring& text) {
    if (!OnUi() || !BackendReady())
        return false;
    return SDL_SetClipboardText(WideToUtf8(text).c_str()) == 0;
}

bool BackendComposited() {
    return B().composited;
}

}  // namespace gui

using namespace gui;

HRESULT DwmIsCompositionEnabled(BOOL* enabled) {
    if (!enabled)
        return E_INVALIDARG;
    *enabled = BackendComposited() ? TRUE : FALSE;
    return S_OK;
}

bool LayeredWindowsAvailable() {
    return true;
}

bool SetClipboardTextW(const wchar_t* text) {
    if (!IsUiThread())
        return false;
    return BackendSetClipboard(text ? text : L"");
}
