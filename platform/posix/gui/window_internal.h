// Internals shared by the files of the POSIX window layer: the window record,
// the process-wide window table and message queue, and the display backend.
//
// Locks: core().lock guards the window table, every Window field except the
// frame and the owner-thread-only backend handles, the queues, timers and
// classes. Window::frameLock guards the frame pixels only. No window procedure
// is ever called with either lock held, and no code holds both at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/gui.h"

namespace gui {

struct Window {
    HWND handle = nullptr;
    std::wstring className;
    WNDPROC proc = nullptr;
    HBRUSH background = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;  // parent of a child, owner of a top-level window
    int id = 0;
    HINSTANCE instance = nullptr;
    RECT rect{0, 0, 0, 0};  // top-level: screen; child: parent's client coordinates
    std::wstring text;
    HFONT font = nullptr;
    HICON icons[2] = {nullptr, nullptr};
    LONG_PTR userData = 0;
    std::vector<unsigned char> extra;  // cbWndExtra bytes
    std::vector<HWND> children;        // creation order = z-order from the bottom
    HRGN region = nullptr;
    RECT invalid{0, 0, 0, 0};
    bool erase = false;
    bool destroyed = false;
    bool destroying = false;
    // Dialogs
    bool dialog = false;
    DLGPROC dlgProc = nullptr;
    LONG_PTR msgResult = 0;
    LONG_PTR dlgUser = 0;
    bool ended = false;
    INT_PTR endResult = 0;
    WORD uiState = 0;  // UISF_* bits: which keyboard cues are hidden
    // State of the built-in control classes (edit box text, list rows ...).
    std::shared_ptr<void> control;

    // Frame: the pixels of the client area (premultiplied ARGB for layered windows).
    std::mutex frameLock;
    std::vector<uint32_t> frame;
    int frameWidth = 0;
    int frameHeight = 0;
    std::atomic<bool> dirty{false};  // top-level: needs presenting

    // UI-thread-only backend handles.
    void* backend = nullptr;
    void* layered = nullptr;
};

using WindowPtr = std::shared_ptr<Window>;

struct ClassInfo {
    WNDPROC proc = nullptr;
    HBRUSH background = nullptr;
    int wndExtra = 0;
    UINT style = 0;
};

struct Call {
    std::function<LRESULT()> fn;
    LRESULT result = 0;
    bool done = false;
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT elapse = 0;
    TIMERPROC proc = nullptr;
    uint64_t due = 0;
};

struct InputRecord {
    enum Type { Mouse, Key, Text } type = Mouse;
    HWND hwnd = nullptr;  // top-level (mouse: coordinates are its client's) or target
    SyntheticMouse mouse = SyntheticMouse::Move;
    int x = 0, y = 0;
    bool screenKnown = false;  // x, y are already screen coordinates (backend drags)
    int wheel = 0;             // WHEEL_DELTA units, positive away from the user
    int key = 0;
    bool control = false, shift = false;
    std::wstring text;
};

struct DragState {
    bool active = false;
    HWND hwnd = nullptr;
    POINT startMouse{0, 0};
    POINT startWindow{0, 0};
};

struct Core {
    std::mutex lock;
    std::condition_variable callDone;
    std::map<uintptr_t, WindowPtr> windows;  // live, in creation order
    std::vector<WindowPtr> graveyard;        // destroyed: kept so that late frame users stay safe
    uintptr_t nextHandle = 0x10000;
    bool uiKnown = false;
    std::thread::id ui;
    std::deque<MSG> posted;
    std::deque<InputRecord> input;
    std::deque<std::shared_ptr<Call>> calls;
    std::vector<Timer> timers;
    std::map<std::wstring, ClassInfo> classes;  // lower-case names
    HWND capture = nullptr;
    HWND focus = nullptr;
    HWND active = nullptr;
    bool quit = false;
    int quitCode = 0;
    bool leftDown = false;
    bool controlDown = false;
    bool shiftDown = false;
    POINT cursor{0, 0};
    DragState drag;
    std::atomic<bool> wakePending{false};
    std::atomic<uint64_t> offThreadCalls{0};
};

Core& core();
WindowPtr Get(HWND hwnd);        // live window or null
WindowPtr GetLocked(HWND hwnd);  // same, with core().lock held by the caller
bool IsUiThread();
bool ClaimUiThread();  // the calling thread becomes the UI thread if none is; false if another is
uint64_t NowMs();
void Wake();
// Runs fn on the window's owner thread (directly when already there) and returns its result.
LRESULT RunOnOwner(HWND hwnd, const std::function<LRESULT()>& fn);
LRESULT CallProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Next message for the UI thread: sent calls run, input is routed, then a
// posted message, WM_PAINT or WM_TIMER is returned; false after timeoutMs.
bool NextMessage(MSG* out, int64_t timeoutMs);
POINT ClientOrigin(HWND hwnd);  // screen position of the client's top-left
HWND TopLevelOf(HWND hwnd);
void RegisterBuiltinClass(const wchar_t* name, WNDPROC proc, HBRUSH background);
void EnsureBuiltinClasses();
// Composes a top-level window's frame with its visible children.
bool Compose(HWND hwnd, std::vector<uint32_t>& pixels, int& width, int& height);
void CountOffThread();  // records a backend call made off the UI thread

// Drag of a window by the mouse (the HTCAPTION road).
void BeginDrag(HWND hwnd, POINT screenPoint);
void QueueBackendInput(const InputRecord& in);  // any thread
void UpdateUiState(HWND hwnd, WPARAM wParam);   // WM_UPDATEUISTATE's default

// ---- Backend (window_sdl.cpp), UI thread only unless noted ----
bool BackendInit();
bool BackendReady();
void BackendCreate(Window& w);
void BackendDestroy(Window& w);
void BackendShow(Window& w, bool show, bool activate);
void BackendMinimize(Window& w, bool minimize);
void BackendPlace(Window& w);  // position and size from w.rect
void BackendTitle(Window& w);
void BackendIcon(Window& w, HICON icon);
void BackendPresent(Window& w);
void BackendPump();
void BackendWait(int64_t timeoutMs);
void BackendWake();  // any thread
bool BackendScreenSize(int& width, int& height);
bool BackendGlobalMouse(POINT& point);
void BackendCaptureMouse(bool on);
void BackendTextInput(bool on);
bool BackendGetClipboard(std::wstring& text);
bool BackendSetClipboard(const std::wstring& text);
bool BackendComposited();  // a compositing manager ran at start (X11)

// ---- Layered windows on X11 (layered_x11.cpp), UI thread only ----
void* LayeredCreate(const char* displayName);
void LayeredUpdate(void* handle, int x, int y, int width, int height, const uint32_t* pixels);
void LayeredShow(void* handle, bool show, unsigned long ownerX11Window);
unsigned long SdlX11Window(void* sdlWindow);  // sdl_x11_window.cpp; 0 when not X11
void LayeredMove(void* handle, int x, int y);
void LayeredDestroy(void* handle);
bool X11CompositionEnabled(const char* displayName);
int X11ResourceDpi(const char* displayName);  // 0 when unknown
void X11TolerateLateWakeups();                // after SDL's start: see layered_x11.cpp

// ---- Built-in control classes (controls_*.cpp) ----
LRESULT EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ListBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ListViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DialogWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The dialog manager's keys (Tab, Return, Escape) for a key message meant for
// a dialog or one of its controls; true when the message was used up.
bool DialogKey(const MSG& msg);

}  // namespace gui
