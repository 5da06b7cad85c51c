// The window table: creation and destruction, classes, attributes, geometry,
// visibility, text, focus and the frames that DCs draw into.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include <unistd.h>

#include "platform/posix/gui/gdi_objects.h"
#include "platform/posix/gui/window_internal.h"
#include "platform/text.h"

namespace gui {

Core& core() {
    static Core* instance = new Core;  // outlives every static: threads may still post at exit
    return *instance;
}

WindowPtr GetLocked(HWND hwnd) {
    auto it = core().windows.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == core().windows.end() ? nullptr : it->second;
}

WindowPtr Get(HWND hwnd) {
    std::lock_guard<std::mutex> hold(core().lock);
    return GetLocked(hwnd);
}

bool IsUiThread() {
    std::lock_guard<std::mutex> hold(core().lock);
    return core().uiKnown && core().ui == std::this_thread::get_id();
}

bool ClaimUiThread() {
    std::lock_guard<std::mutex> hold(core().lock);
    if (!core().uiKnown) {
        core().uiKnown = true;
        core().ui = std::this_thread::get_id();
    }
    return core().ui == std::this_thread::get_id();
}

uint64_t NowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void CountOffThread() {
    core().offThreadCalls.fetch_add(1);
}

HWND TopLevelOf(HWND hwnd) {
    std::lock_guard<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(hwnd);
    while (w && (w->style & WS_CHILD)) {
        WindowPtr parent = GetLocked(w->parent);
        if (!parent)
            break;
        w = parent;
    }
    return w ? w->handle : nullptr;
}

POINT ClientOrigin(HWND hwnd) {
    std::lock_guard<std::mutex> hold(core().lock);
    POINT p{0, 0};
    for (WindowPtr w = GetLocked(hwnd); w;
         w = (w->style & WS_CHILD) ? GetLocked(w->parent) : nullptr) {
        p.x += w->rect.left;
        p.y += w->rect.top;
    }
    return p;
}

void RegisterBuiltinClass(const wchar_t* name, WNDPROC proc, HBRUSH background) {
    std::wstring key = name;
    for (auto& c : key)
        c = static_cast<wchar_t>(towlower(c));
    std::lock_guard<std::mutex> hold(core().lock);
    ClassInfo& info = core().classes[key];
    info.proc = proc;
    info.background = background;
}

void EnsureBuiltinClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterBuiltinClass(L"edit", EditProc, GetSysColorBrush(COLOR_WINDOW));
        RegisterBuiltinClass(L"button", ButtonProc, GetSysColorBrush(COLOR_BTNFACE));
        RegisterBuiltinClass(L"static", StaticProc, GetSysColorBrush(COLOR_BTNFACE));
        RegisterBuiltinClass(L"listbox", ListBoxProc, GetSysColorBrush(COLOR_WINDOW));
        RegisterBuiltinClass(L"syslistview32", ListViewProc, GetSysColorBrush(COLOR_WINDOW));
        RegisterBuiltinClass(L"#32770", DialogWndProc, GetSysColorBrush(COLOR_BTNFACE));
    });
}

LRESULT CallProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        WindowPtr w = GetLocked(hwnd);
        if (!w)
            return 0;
        proc = w->proc;
    }
    return proc ? proc(hwnd, message, wParam, lParam)
                : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT RunOnOwner(HWND hwnd, const std::function<LRESULT()>& fn) {
    if (IsUiThread())
        return fn();
    auto call = std::make_shared<Call>();
    call->fn = [hwnd, fn]() -> LRESULT { return IsWindow(hwnd) ? fn() : 0; };
    std::unique_lock<std::mutex> hold(core().lock);
    if (!GetLocked(hwnd))
        return 0;
    core().calls.push_back(call);
    hold.unlock();
    Wake();
    hold.lock();
    core().callDone.wait(hold, [&] { return call->done; });
    return call->result;
}

void Wake() {
    if (!core().wakePending.exchange(true))
        BackendWake();
}

// ---- Frames ----

namespace {

uint32_t BackgroundPixel(HBRUSH brush) {
    COLORREF colour = RGB(255, 255, 255);
    BrushColour(brush, colour);
    return ToPixel(colour);
}

void ResizeFrame(Window& w, int width, int height, uint32_t fill) {
    std::lock_guard<std::mutex> hold(w.frameLock);
    width = std::max(0, width);
    height = std::max(0, height);
    std::vector<uint32_t> next(static_cast<size_t>(width) * height, fill);
    for (int y = 0; y < std::min(height, w.frameHeight); ++y) {
        std::copy_n(w.frame.begin() + static_cast<size_t>(y) * w.frameWidth,
                    std::min(width, w.frameWidth), next.begin() + static_cast<size_t>(y) * width);
    }
    w.frame.swap(next);
    w.frameWidth = width;
    w.frameHeight = height;
}

}  // namespace

bool LockFrame(HWND hwnd, std::unique_lock<std::mutex>& hold, uint32_t*& pixels, int& width,
               int& height) {
    WindowPtr w = Get(hwnd);
    if (!w)
        return false;
    hold = std::unique_lock<std::mutex>(w->frameLock);
    if (w->frame.empty()) {
        hold.unlock();
        return false;
    }
    pixels = w->frame.data();
    width = w->frameWidth;
    height = w->frameHeight;
    return true;
}

void FrameChanged(HWND hwnd) {
    HWND top = TopLevelOf(hwnd);
    if (WindowPtr w = Get(top)) {
        w->dirty.store(true);
        Wake();
    }
}

namespace {

void ComposeChildren(const Window& parent, std::vector<uint32_t>& out, int width, int height,
                     int ox, int oy) {
    std::vector<WindowPtr> children;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        for (HWND child : parent.children) {
            WindowPtr c = GetLocked(child);
            if (c && (c->style & WS_VISIBLE))
                children.push_back(c);
        }
    }
    for (const WindowPtr& c : children) {
        int cx = ox + c->rect.left;
        int cy = oy + c->rect.top;
        {
            std::lock_guard<std::mutex> hold(c->frameLock);
            RECT r = Intersect({cx, cy, cx + c->frameWidth, cy + c->frameHeight},
                               {std::max(0, ox), std::max(0, oy), width, height});
            for (int y = r.top; y < r.bottom; ++y) {
                const uint32_t* src =
                    c->frame.data() + static_cast<size_t>(y - cy) * c->frameWidth + (r.left - cx);
                std::copy_n(src, r.right - r.left,
                            out.begin() + static_cast<size_t>(y) * width + r.left);
            }
        }
        ComposeChildren(*c, out, width, height, cx, cy);
    }
}

}  // namespace

bool Compose(HWND hwnd, std::vector<uint32_t>& pixels, int& width, int& height) {
    WindowPtr w = Get(hwnd);
    if (!w)
        return false;
    {
        std::lock_guard<std::mutex> hold(w->frameLock);
        pixels = w->frame;
        width = w->frameWidth;
        height = w->frameHeight;
    }
    ComposeChildren(*w, pixels, width, height, 0, 0);
    return true;
}

}  // namespace gui

using namespace gui;

// ---- Classes and creation ----

WORD RegisterClassExW(const WNDCLASSEXW* wc) {
    if (!wc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName))
        return 0;
    std::wstring key = wc->lpszClassName;
    for (auto& c : key)
        c = static_cast<wchar_t>(towlower(c));
    std::lock_guard<std::mutex> hold(core().lock);
    if (core().classes.count(key))
        return 0;  // already registered, as Windows refuses it
    ClassInfo& info = core().classes[key];
    info.proc = wc->lpfnWndProc;
    info.background = wc->hbrBackground;
    info.wndExtra = std::max(0, wc->cbWndExtra);
    info.style = wc->style;
    return static_cast<WORD>(0xC000 + core().classes.size());
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
    if (!className || IS_INTRESOURCE(className))
        return FALSE;
    std::wstring key = className;
    for (auto& c : key)
        c = static_cast<wchar_t>(towlower(c));
    std::lock_guard<std::mutex> hold(core().lock);
    return core().classes.erase(key) ? TRUE : FALSE;
}

namespace {

WindowPtr NewWindow(const std::wstring& className, const ClassInfo& cls, DWORD exStyle,
                    LPCWSTR title, DWORD style, RECT rect, HWND parent, int id,
                    HINSTANCE instance) {
    auto w = std::make_shared<Window>();
    w->className = className;
    w->proc = cls.proc;
    w->background = cls.background;
    w->extra.assign(static_cast<size_t>(cls.wndExtra), 0);
    w->exStyle = exStyle;
    w->style = style & ~WS_VISIBLE;
    w->parent = parent;
    w->id = id;
    w->instance = instance;
    w->rect = rect;
    w->text = title ? title : L"";
    std::lock_guard<std::mutex> hold(core().lock);
    uintptr_t handle = core().nextHandle++;
    w->handle = reinterpret_cast<HWND>(handle);
    core().windows[handle] = w;
    if (style & WS_CHILD) {
        if (WindowPtr p = GetLocked(parent))
            p->children.push_back(w->handle);
    }
    return w;
}

}  // namespace

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    EnsureBuiltinClasses();
    if (!ClaimUiThread() || !className || IS_INTRESOURCE(className)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::wstring key = className;
    for (auto& c : key)
        c = static_cast<wchar_t>(towlower(c));
    ClassInfo cls;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        auto it = core().classes.find(key);
        if (it == core().classes.end()) {
            SetLastError(1407);  // ERROR_CANNOT_FIND_WND_CLASS
            return nullptr;
        }
        cls = it->second;
    }
    const bool child = (style & WS_CHILD) != 0;
    if ((child && !IsWindow(parent)) || (!child && !BackendInit())) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (x == CW_USEDEFAULT)
        x = y = 0;
    if (width == CW_USEDEFAULT)
        width = height = 0;
    RECT rect{x, y, x + std::max(0, width), y + std::max(0, height)};
    WindowPtr w =
        NewWindow(className, cls, exStyle, title, style, rect, parent,
                  child ? static_cast<int>(reinterpret_cast<intptr_t>(menu)) : 0, instance);
    ResizeFrame(*w, rect.right - rect.left, rect.bottom - rect.top,
                (exStyle & WS_EX_LAYERED) ? 0 : BackgroundPixel(w->background));
    if (!child)
        BackendCreate(*w);
    HWND hwnd = w->handle;
    CREATESTRUCTW cs{
        param, instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
        title, className, exStyle};
    LPARAM lp = reinterpret_cast<LPARAM>(&cs);
    if (!CallProc(hwnd, WM_NCCREATE, 0, lp) || CallProc(hwnd, WM_CREATE, 0, lp) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (IsWindow(hwnd) && (style & WS_VISIBLE))
        ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

namespace {

void Unlink(const WindowPtr& w) {
    std::lock_guard<std::mutex> hold(core().lock);
    Core& c = core();
    if (WindowPtr p = GetLocked(w->parent)) {
        auto& list = p->children;
        list.erase(std::remove(list.begin(), list.end(), w->handle), list.end());
    }
    c.timers.erase(std::remove_if(c.timers.begin(), c.timers.end(),
                                  [&](const Timer& t) { return t.hwnd == w->handle; }),
                   c.timers.end());
    if (c.capture == w->handle)
        c.capture = nullptr;
    if (c.focus == w->handle)
        c.focus = nullptr;
    if (c.active == w->handle)
        c.active = nullptr;
    if (c.drag.hwnd == w->handle)
        c.drag = DragState{};
    w->destroyed = true;
    c.windows.erase(reinterpret_cast<uintptr_t>(w->handle));
    c.graveyard.push_back(w);
}

void DestroyTree(HWND hwnd);

void DestroyTree(HWND hwnd) {
    WindowPtr w = Get(hwnd);
    if (!w)
        return;
    std::vector<HWND> owned;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        if (w->destroying)
            return;
        w->destroying = true;
        for (auto& [id, other] : core().windows) {
            (void)id;
            if (other->parent == hwnd && !(other->style & WS_CHILD))
                owned.push_back(other->handle);
        }
    }
    for (HWND o : owned)
        DestroyTree(o);
    if (!(w->style & WS_CHILD) && (w->style & WS_VISIBLE))
        BackendShow(*w, false, false);
    CallProc(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        children = w->children;
    }
    for (HWND c : children)
        DestroyTree(c);
    CallProc(hwnd, WM_NCDESTROY, 0, 0);
    if (w->region)
        DeleteObject(w->region);
    BackendDestroy(*w);
    {
        std::lock_guard<std::mutex> hold(w->frameLock);
        w->frame.clear();
        w->frameWidth = w->frameHeight = 0;
    }
    Unlink(w);
    if (w->style & WS_CHILD)
        FrameChanged(w->parent);
}

}  // namespace

BOOL DestroyWindow(HWND hwnd) {
    if (!IsWindow(hwnd))
        return FALSE;
    return static_cast<BOOL>(RunOnOwner(hwnd, [hwnd]() -> LRESULT {
        DestroyTree(hwnd);
        return TRUE;
    }));
}

BOOL IsWindow(HWND hwnd) {
    return hwnd && Get(hwnd) ? TRUE : FALSE;
}

// ---- Long values ----

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
    std::lock_guard<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(hwnd);
    if (!w)
        return 0;
    switch (index) {
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(w->proc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(w->instance);
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>(w->parent);
        case GWLP_ID:
            return w->id;
        case GWL_STYLE:
            return static_cast<LONG>(w->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(w->exStyle);
        case GWLP_USERDATA:
            return w->userData;
        default:
            break;
    }
    if (w->dialog && index == DWLP_MSGRESULT)
        return w->msgResult;
    if (w->dialog && index == DWLP_DLGPROC)
        return reinterpret_cast<LONG_PTR>(w->dlgProc);
    if (w->dialog && index == DWLP_USER)
        return w->dlgUser;
    if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
        LONG_PTR value = 0;
        std::memcpy(&value, w->extra.data() + index, sizeof value);
        return value;
    }
    return 0;
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    std::unique_lock<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(hwnd);
    if (!w)
        return 0;
    LONG_PTR old = 0;
    switch (index) {
        case GWLP_WNDPROC:
            old = reinterpret_cast<LONG_PTR>(w->proc);
            w->proc = reinterpret_cast<WNDPROC>(value);
            return old;
        case GWLP_ID:
            old = w->id;
            w->id = static_cast<int>(value);
            return old;
        case GWL_STYLE:
            old = static_cast<LONG>(w->style);
            // Visibility changes go through ShowWindow so that the backend follows.
            w->style = (static_cast<DWORD>(value) & ~WS_VISIBLE) | (w->style & WS_VISIBLE);
            return old;
        case GWL_EXSTYLE:
            old = static_cast<LONG>(w->exStyle);
            w->exStyle = static_cast<DWORD>(value);
            return old;
        case GWLP_USERDATA:
            old = w->userData;
            w->userData = value;
            return old;
        default:
            break;
    }
    if (w->dialog && (index == DWLP_MSGRESULT || index == DWLP_DLGPROC || index == DWLP_USER)) {
        LONG_PTR* slot = index == DWLP_MSGRESULT ? &w->msgResult
                         : index == DWLP_USER    ? &w->dlgUser
                                                 : reinterpret_cast<LONG_PTR*>(&w->dlgProc);
        old = *slot;
        *slot = value;
        return old;
    }
    if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
        std::memcpy(&old, w->extra.data() + index, sizeof old);
        std::memcpy(w->extra.data() + index, &value, sizeof value);
        return old;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

LONG GetWindowLongW(HWND hwnd, int index) {
    if (index == GWL_WNDPROC || index == GWLP_USERDATA || index == GWLP_HINSTANCE ||
        index == GWLP_HWNDPARENT) {
        SetLastError(ERROR_INVALID_PARAMETER);  // pointers do not fit in 32 bits here
        return 0;
    }
    return static_cast<LONG>(GetWindowLongPtrW(hwnd, index));
}

LONG SetWindowLongW(HWND hwnd, int index, LONG value) {
    if (index == GWL_WNDPROC || index == GWLP_USERDATA || index == GWLP_HINSTANCE ||
        index == GWLP_HWNDPARENT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return static_cast<LONG>(SetWindowLongPtrW(hwnd, index, value));
}

HWND GetParent(HWND hwnd) {
    std::lock_guard<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(hwnd);
    return w ? w->parent : nullptr;
}

HWND GetDlgItem(HWND dialog, int id) {
    std::lock_guard<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(dialog);
    if (!w)
        return nullptr;
    for (HWND c : w->children) {
        WindowPtr child = GetLocked(c);
        if (child && child->id == id)
            return c;
    }
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
    return static_cast<int>(GetWindowLongPtrW(hwnd, GWLP_ID));
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
    if (processId)
        *processId = IsWindow(hwnd) ? static_cast<DWORD>(getpid()) : 0;
    if (!IsWindow(hwnd))
        return 0;
    std::lock_guard<std::mutex> hold(core().lock);
    return static_cast<DWORD>(std::hash<std::thread::id>()(core().ui) & 0x7FFFFFFF) | 1;
}

// ---- Geometry ----

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    if (!rect)
        return FALSE;
    WindowPtr w = Get(hwnd);
    if (!w)
        return FALSE;
    POINT origin = ClientOrigin(hwnd);
    std::lock_guard<std::mutex> hold(core().lock);
    *rect = {origin.x, origin.y, origin.x + (w->rect.right - w->rect.left),
             origin.y + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    if (!rect)
        return FALSE;
    std::lock_guard<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(hwnd);
    if (!w)
        return FALSE;
    *rect = {0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
    if (!point || !IsWindow(hwnd))
        return FALSE;
    POINT o = ClientOrigin(hwnd);
    point->x += o.x;
    point->y += o.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
    if (!point || !IsWindow(hwnd))
        return FALSE;
    POINT o = ClientOrigin(hwnd);
    point->x -= o.x;
    point->y -= o.y;
    return TRUE;
}

namespace {

// Applies a new rectangle on the owner thread and tells the window.
void Place(HWND hwnd, RECT next, bool redraw) {
    WindowPtr w = Get(hwnd);
    if (!w)
        return;
    RECT old;
    bool child;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        old = w->rect;
        w->rect = next;
        child = (w->style & WS_CHILD) != 0;
    }
    const bool moved = old.left != next.left || old.top != next.top;
    const int width = next.right - next.left;
    const int height = next.bottom - next.top;
    const bool sized = width != old.right - old.left || height != old.bottom - old.top;
    if (sized)
        ResizeFrame(*w, width, height,
                    (w->exStyle & WS_EX_LAYERED) ? 0 : BackgroundPixel(w->background));
    if (!child && (moved || sized))
        BackendPlace(*w);
    if (moved) {
        POINT o = child ? POINT{next.left, next.top} : ClientOrigin(hwnd);
        CallProc(hwnd, WM_MOVE, 0, MAKELPARAM(o.x, o.y));
    }
    if (sized) {
        WPARAM kind = IsIconic(hwnd)   ? SIZE_MINIMIZED
                      : IsZoomed(hwnd) ? SIZE_MAXIMIZED
                                       : SIZE_RESTORED;
        CallProc(hwnd, WM_SIZE, kind, MAKELPARAM(width, height));
        InvalidateRect(hwnd, nullptr, TRUE);
    } else if (redraw && moved) {
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    FrameChanged(hwnd);
}

}  // namespace

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
    if (!IsWindow(hwnd))
        return FALSE;
    return static_cast<BOOL>(RunOnOwner(hwnd, [=]() -> LRESULT {
        RECT r;
        {
            std::lock_guard<std::mutex> hold(core().lock);
            WindowPtr w = GetLocked(hwnd);
            if (!w)
                return FALSE;
            r = w->rect;
        }
        if (!(flags & SWP_NOMOVE)) {
            OffsetRect(&r, x - r.left, y - r.top);
        }
        if (!(flags & SWP_NOSIZE)) {
            r.right = r.left + std::max(0, cx);
            r.bottom = r.top + std::max(0, cy);
        }
        Place(hwnd, r, !(flags & SWP_NOREDRAW));
        if (flags & SWP_SHOWWINDOW)
            ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
        if (flags & SWP_HIDEWINDOW)
            ShowWindow(hwnd, SW_HIDE);
        return TRUE;
    }));
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

// ---- Visibility and state ----

namespace {

bool HasStyle(HWND hwnd, DWORD bit) {
    std::lock_guard<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(hwnd);
    return w && (w->style & bit);
}

void SetStyleBit(HWND hwnd, DWORD bit, bool on) {
    std::lock_guard<std::mutex> hold(core().lock);
    if (WindowPtr w = GetLocked(hwnd))
        w->style = on ? (w->style | bit) : (w->style & ~bit);
}

void Reveal(HWND hwnd, bool activate) {
    WindowPtr w = Get(hwnd);
    if (!w || HasStyle(hwnd, WS_VISIBLE))
        return;
    CallProc(hwnd, WM_SHOWWINDOW, TRUE, 0);
    SetStyleBit(hwnd, WS_VISIBLE, true);
    if (!(w->style & WS_CHILD)) {
        BackendShow(*w, true, activate);
        if (activate) {
            std::lock_guard<std::mutex> hold(core().lock);
            core().active = hwnd;
        }
    }
    InvalidateRect(hwnd, nullptr, TRUE);
    FrameChanged(hwnd);
}

void Conceal(HWND hwnd) {
    WindowPtr w = Get(hwnd);
    if (!w || !HasStyle(hwnd, WS_VISIBLE))
        return;
    CallProc(hwnd, WM_SHOWWINDOW, FALSE, 0);
    SetStyleBit(hwnd, WS_VISIBLE, false);
    if (!(w->style & WS_CHILD))
        BackendShow(*w, false, false);
    FrameChanged(w->style & WS_CHILD ? w->parent : hwnd);
}

void SendSize(HWND hwnd, WPARAM kind) {
    RECT r;
    GetClientRect(hwnd, &r);
    CallProc(hwnd, WM_SIZE, kind, kind == SIZE_MINIMIZED ? 0 : MAKELPARAM(r.right, r.bottom));
}

void ShowOnOwner(HWND hwnd, int command) {
    WindowPtr w = Get(hwnd);
    if (!w)
        return;
    switch (command) {
        case SW_HIDE:
            Conceal(hwnd);
            return;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
        case SW_SHOWMINNOACTIVE:
            Reveal(hwnd, false);
            if (!HasStyle(hwnd, WS_MINIMIZE)) {
                SetStyleBit(hwnd, WS_MINIMIZE, true);
                if (!(w->style & WS_CHILD))
                    BackendMinimize(*w, true);
                SendSize(hwnd, SIZE_MINIMIZED);
            }
            return;
        case SW_RESTORE:
        case SW_SHOWNORMAL:
            Reveal(hwnd, true);
            if (HasStyle(hwnd, WS_MINIMIZE) || HasStyle(hwnd, WS_MAXIMIZE)) {
                SetStyleBit(hwnd, WS_MINIMIZE | WS_MAXIMIZE, false);
                if (!(w->style & WS_CHILD))
                    BackendMinimize(*w, false);
                SendSize(hwnd, SIZE_RESTORED);
            }
            return;
        case SW_SHOWMAXIMIZED: {
            Reveal(hwnd, true);
            SetStyleBit(hwnd, WS_MINIMIZE, false);
            SetStyleBit(hwnd, WS_MAXIMIZE, true);
            int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
            Place(hwnd, {0, 0, sw, sh}, true);
            SendSize(hwnd, SIZE_MAXIMIZED);
            return;
        }
        default:
            Reveal(hwnd, command != SW_SHOWNA && command != SW_SHOWNOACTIVATE);
            return;
    }
}

}  // namespace

BOOL ShowWindow(HWND hwnd, int command) {
    if (!IsWindow(hwnd))
        return FALSE;
    BOOL was = HasStyle(hwnd, WS_VISIBLE) ? TRUE : FALSE;
    RunOnOwner(hwnd, [=]() -> LRESULT {
        ShowOnOwner(hwnd, command);
        return 0;
    });
    return was;
}

BOOL IsWindowVisible(HWND hwnd) {
    std::lock_guard<std::mutex> hold(core().lock);
    for (WindowPtr w = GetLocked(hwnd); w;
         w = (w->style & WS_CHILD) ? GetLocked(w->parent) : nullptr) {
        if (!(w->style & WS_VISIBLE))
            return FALSE;
    }
    return GetLocked(hwnd) ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd) {
    return HasStyle(hwnd, WS_MINIMIZE) ? TRUE : FALSE;
}
BOOL IsZoomed(HWND hwnd) {
    return HasStyle(hwnd, WS_MAXIMIZE) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    if (!IsWindow(hwnd))
        return FALSE;
    BOOL wasDisabled = HasStyle(hwnd, WS_DISABLED) ? TRUE : FALSE;
    if (wasDisabled == !enable)
        return wasDisabled;
    RunOnOwner(hwnd, [=]() -> LRESULT {
        // As WM_CANCELMODE does on Windows: a window being disabled (the owner
        // of a modal box opened from a click) gives up the mouse capture, or
        // the box could never be clicked.
        if (!enable) {
            const HWND captured = GetCapture();
            if (captured && (captured == hwnd || TopLevelOf(captured) == hwnd))
                ReleaseCapture();
        }
        SetStyleBit(hwnd, WS_DISABLED, !enable);
        {
            std::lock_guard<std::mutex> hold(core().lock);
            if (!enable && core().focus == hwnd)
                core().focus = nullptr;
        }
        CallProc(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    });
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
    return IsWindow(hwnd) && !HasStyle(hwnd, WS_DISABLED) ? TRUE : FALSE;
}

// ---- Text ----

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
    if (!IsWindow(hwnd))
        return FALSE;
    return static_cast<BOOL>(
        SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : L"")));
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    std::wstring wide = Utf8ToWide(text ? text : "");
    return SetWindowTextW(hwnd, wide.c_str());
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int size) {
    if (!buffer || size <= 0 || !IsWindow(hwnd))
        return 0;
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(size),
                                         reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthW(HWND hwnd) {
    return IsWindow(hwnd) ? static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0)) : 0;
}

namespace gui {
// Default text storage of every window (WM_SETTEXT / WM_GETTEXT of DefWindowProc).
LRESULT DefaultText(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowPtr w = Get(hwnd);
    if (!w)
        return 0;
    if (message == WM_SETTEXT) {
        {
            std::lock_guard<std::mutex> hold(core().lock);
            w->text = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
        }
        if (!(w->style & WS_CHILD))
            BackendTitle(*w);
        return TRUE;
    }
    std::lock_guard<std::mutex> hold(core().lock);
    if (message == WM_GETTEXTLENGTH)
        return static_cast<LRESULT>(w->text.size());
    auto* out = reinterpret_cast<wchar_t*>(lParam);
    size_t n = std::min(w->text.size(), static_cast<size_t>(wParam) - 1);
    std::wmemcpy(out, w->text.data(), n);
    out[n] = 0;
    return static_cast<LRESULT>(n);
}
}  // namespace gui

// ---- Focus, activation, regions ----

HWND SetFocus(HWND hwnd) {
    HWND old;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        old = core().focus;
        if (hwnd && !GetLocked(hwnd))
            return nullptr;
        if (old == hwnd)
            return old;
        core().focus = hwnd;
    }
    if (old && IsWindow(old))
        CallProc(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd)
        CallProc(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus() {
    std::lock_guard<std::mutex> hold(core().lock);
    return core().focus;
}

HWND SetActiveWindow(HWND hwnd) {
    std::lock_guard<std::mutex> hold(core().lock);
    HWND old = core().active;
    if (GetLocked(hwnd))
        core().active = hwnd;
    return old;
}

HWND GetActiveWindow() {
    std::lock_guard<std::mutex> hold(core().lock);
    return GetLocked(core().active) ? core().active : nullptr;
}

HWND GetForegroundWindow() {
    return GetActiveWindow();
}

BOOL BringWindowToTop(HWND hwnd) {
    if (!IsWindow(hwnd))
        return FALSE;
    return static_cast<BOOL>(RunOnOwner(hwnd, [hwnd]() -> LRESULT {
        if (WindowPtr w = Get(hwnd); w && !(w->style & WS_CHILD) && (w->style & WS_VISIBLE))
            BackendShow(*w, true, true);
        SetActiveWindow(hwnd);
        return TRUE;
    }));
}

BOOL SetForegroundWindow(HWND hwnd) {
    if (!IsWindow(hwnd))
        return FALSE;
    SetActiveWindow(hwnd);
    return TRUE;
}

int SetWindowRgn(HWND hwnd, HRGN region, BOOL) {
    WindowPtr w = Get(hwnd);
    if (!w)
        return 0;
    HRGN old;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        old = w->region;
        w->region = region;
    }
    if (old)
        DeleteObject(old);
    return 1;
}

int GetWindowRgn(HWND hwnd, HRGN out) {
    WindowPtr w = Get(hwnd);
    HRGN region = nullptr;
    if (w) {
        std::lock_guard<std::mutex> hold(core().lock);
        region = w->region;
    }
    if (!region || !out)
        return ERROR;
    return CombineRgn(out, region, nullptr, RGN_COPY);
}

int GetSystemMetrics(int index) {
    // The backend answers off the UI thread from its last reading, without SDL.
    int width = 1024, height = 768;
    BackendScreenSize(width, height);
    return index == SM_CXSCREEN ? width : index == SM_CYSCREEN ? height : 0;
}
