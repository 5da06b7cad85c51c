// Messages: sending across threads, the posted queue, timers, painting, the
// message loop of the UI thread and the routing of input to windows.
#include <algorithm>
#include <cwctype>

#include "platform/posix/gui/gdi_objects.h"
#include "platform/posix/gui/window_internal.h"
#include "platform/system.h"
#include "platform/text.h"

namespace gui {
HDC NewWindowDc(HWND hwnd);
LRESULT DefaultText(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

thread_local DWORD t_lastError = 0;

bool Visible(const WindowPtr& start) {
    for (WindowPtr w = start; w; w = (w->style & WS_CHILD) ? GetLocked(w->parent) : nullptr) {
        if (!(w->style & WS_VISIBLE))
            return false;
    }
    return true;
}

void RunCalls() {
    for (;;) {
        std::shared_ptr<Call> call;
        {
            std::lock_guard<std::mutex> hold(core().lock);
            if (core().calls.empty())
                return;
            call = core().calls.front();
            core().calls.pop_front();
        }
        LRESULT result = call->fn();
        {
            std::lock_guard<std::mutex> hold(core().lock);
            call->result = result;
            call->done = true;
        }
        core().callDone.notify_all();
    }
}

bool FindPaint(MSG* out) {
    std::lock_guard<std::mutex> hold(core().lock);
    for (auto& [id, w] : core().windows) {
        (void)id;
        if (!Empty(w->invalid) && Visible(w)) {
            *out = MSG{w->handle, WM_PAINT, 0, 0, GetTickCount(), core().cursor};
            return true;
        }
    }
    return false;
}

// A due timer becomes one WM_TIMER; the next one is due a period later.
bool FindTimer(MSG* out, uint64_t now, uint64_t& nextDue) {
    std::lock_guard<std::mutex> hold(core().lock);
    nextDue = UINT64_MAX;
    Timer* due = nullptr;
    for (Timer& t : core().timers) {
        if (t.due <= now && (!due || t.due < due->due))
            due = &t;
        nextDue = std::min(nextDue, t.due);
    }
    if (!due)
        return false;
    due->due = now + due->elapse;
    *out = MSG{due->hwnd,      WM_TIMER,     due->id, reinterpret_cast<LPARAM>(due->proc),
               GetTickCount(), core().cursor};
    return true;
}

void PresentDirty() {
    std::vector<WindowPtr> dirty;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        for (auto& [id, w] : core().windows) {
            (void)id;
            if (!(w->style & WS_CHILD) && w->dirty.load())
                dirty.push_back(w);
        }
    }
    for (const WindowPtr& w : dirty) {
        w->dirty.store(false);
        BackendPresent(*w);
    }
}

HWND HitTest(HWND top, POINT screen) {
    std::lock_guard<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(top);
    if (!w || (w->exStyle & WS_EX_TRANSPARENT))
        return nullptr;
    POINT local{screen.x - w->rect.left, screen.y - w->rect.top};
    for (bool descended = true; descended;) {
        descended = false;
        for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
            WindowPtr c = GetLocked(*it);
            if (c && (c->style & WS_VISIBLE) && PtInRect(&c->rect, local)) {
                local.x -= c->rect.left;
                local.y -= c->rect.top;
                w = c;
                descended = true;
                break;
            }
        }
    }
    return w->handle;
}

bool IsEditClass(HWND hwnd) {
    std::lock_guard<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(hwnd);
    return w && EqualsNoCase(w->className, std::wstring(L"edit"));
}

void RouteDrag(const InputRecord& in, POINT screen, const DragState& drag) {
    if (in.mouse == SyntheticMouse::Move) {
        SetWindowPos(drag.hwnd, nullptr, drag.startWindow.x + screen.x - drag.startMouse.x,
                     drag.startWindow.y + screen.y - drag.startMouse.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (in.mouse == SyntheticMouse::LeftUp) {
        {
            std::lock_guard<std::mutex> hold(core().lock);
            core().drag = DragState{};
        }
        BackendCaptureMouse(GetCapture() != nullptr);
        CallProc(drag.hwnd, WM_EXITSIZEMOVE, 0, 0);
    }
}

void RouteMouse(const InputRecord& in) {
    POINT screen{in.x, in.y};
    if (!in.screenKnown) {
        POINT origin = ClientOrigin(in.hwnd);
        screen = {origin.x + in.x, origin.y + in.y};
    }
    DragState drag;
    HWND capture;
    WPARAM keys;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        Core& c = core();
        c.cursor = screen;
        if (in.mouse == SyntheticMouse::LeftDown)
            c.leftDown = true;
        if (in.mouse == SyntheticMouse::LeftUp)
            c.leftDown = false;
        drag = c.drag;
        capture = GetLocked(c.capture) ? c.capture : nullptr;
        keys = (c.leftDown ? MK_LBUTTON : 0) | (c.controlDown ? MK_CONTROL : 0) |
               (c.shiftDown ? MK_SHIFT : 0);
    }
    if (drag.active) {
        RouteDrag(in, screen, drag);
        return;
    }
    HWND top = TopLevelOf(in.hwnd);
    HWND target = capture ? capture : HitTest(top, screen);
    if (target && in.mouse == SyntheticMouse::Wheel) {
        // Wheel messages carry screen coordinates, as on Windows.
        if (IsWindowEnabled(target))
            PostMessageW(target, WM_MOUSEWHEEL, MAKEWPARAM(keys, static_cast<WORD>(in.wheel)),
                         MAKELPARAM(screen.x, screen.y));
        return;
    }
    if (!target)
        return;
    if (!capture && (!IsWindowEnabled(target) || !IsWindowEnabled(top)))
        return;  // disabled windows (and the owner of a modal dialog) take no clicks
    POINT origin = ClientOrigin(target);
    LPARAM point = MAKELPARAM(screen.x - origin.x, screen.y - origin.y);
    UINT message = in.mouse == SyntheticMouse::Move       ? WM_MOUSEMOVE
                   : in.mouse == SyntheticMouse::LeftDown ? WM_LBUTTONDOWN
                                                          : WM_LBUTTONUP;
    if (message == WM_LBUTTONDOWN) {
        SetActiveWindow(TopLevelOf(target));
        if (IsEditClass(target))
            SetFocus(target);
    }
    PostMessageW(target, message, keys, point);
}

HWND KeyTarget() {
    std::lock_guard<std::mutex> hold(core().lock);
    if (GetLocked(core().focus))
        return core().focus;
    return GetLocked(core().active) ? core().active : nullptr;
}

void RouteKeys(const InputRecord& in) {
    WindowPtr named = Get(in.hwnd);
    HWND target = named && (named->style & WS_CHILD) ? in.hwnd : KeyTarget();
    // A disabled window takes no keys, nor does anything inside the owner of a modal dialog.
    if (!target || !IsWindowEnabled(target) || !IsWindowEnabled(TopLevelOf(target)))
        return;
    if (in.type == InputRecord::Key) {
        {
            std::lock_guard<std::mutex> hold(core().lock);
            core().controlDown = in.control;
            core().shiftDown = in.shift;
        }
        PostMessageW(target, WM_KEYDOWN, static_cast<WPARAM>(in.key), 1);
        PostMessageW(target, WM_KEYUP, static_cast<WPARAM>(in.key), 1);
        return;
    }
    for (wchar_t ch : in.text)
        PostMessageW(target, WM_CHAR, static_cast<WPARAM>(ch), 1);
}

bool RouteOneInput() {
    InputRecord in;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        if (core().input.empty())
            return false;
        in = core().input.front();
        core().input.pop_front();
    }
    if (in.type == InputRecord::Mouse)
        RouteMouse(in);
    else
        RouteKeys(in);
    return true;
}

void QueueInput(InputRecord in) {
    {
        std::lock_guard<std::mutex> hold(core().lock);
        core().input.push_back(std::move(in));
    }
    Wake();
}

}  // namespace

// WM_UPDATEUISTATE: the window's cue bits change, then its children's.
void UpdateUiState(HWND hwnd, WPARAM wParam) {
    const WORD action = LOWORD(wParam), bits = HIWORD(wParam);
    std::vector<HWND> children;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        WindowPtr w = GetLocked(hwnd);
        if (!w)
            return;
        if (action == UIS_SET)
            w->uiState = static_cast<WORD>(w->uiState | bits);
        else if (action == UIS_CLEAR)
            w->uiState = static_cast<WORD>(w->uiState & ~bits);
        else if (action == UIS_INITIALIZE)
            w->uiState = bits;
        children = w->children;
    }
    for (HWND child : children)
        CallProc(child, WM_UPDATEUISTATE, wParam, 0);
}

void QueueBackendInput(const InputRecord& in) {
    QueueInput(in);
}

bool NextMessage(MSG* out, int64_t timeoutMs) {
    const uint64_t deadline = NowMs() + static_cast<uint64_t>(std::max<int64_t>(0, timeoutMs));
    if (!IsUiThread()) {
        Sleep(static_cast<uint32_t>(std::min<int64_t>(timeoutMs, 10)));
        return false;
    }
    for (;;) {
        core().wakePending.store(false);
        BackendPump();
        RunCalls();
        {
            std::lock_guard<std::mutex> hold(core().lock);
            if (!core().posted.empty()) {
                *out = core().posted.front();
                core().posted.pop_front();
                return true;
            }
            if (core().quit) {
                core().quit = false;
                *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(core().quitCode), 0, 0, {0, 0}};
                return true;
            }
        }
        if (RouteOneInput())
            continue;
        if (FindPaint(out))
            return true;
        uint64_t now = NowMs();
        uint64_t nextDue = UINT64_MAX;
        if (FindTimer(out, now, nextDue))
            return true;
        PresentDirty();
        if (now >= deadline)
            return false;
        uint64_t until = std::min(deadline, nextDue);
        BackendWait(static_cast<int64_t>(until > now ? until - now : 0));
    }
}

void BeginDrag(HWND hwnd, POINT screenPoint) {
    HWND top = TopLevelOf(hwnd);
    WindowPtr w = Get(top);
    if (!w)
        return;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        if (!core().leftDown)
            return;  // the button is already up: nothing to drag
        core().drag = DragState{true, top, screenPoint, {w->rect.left, w->rect.top}};
    }
    BackendCaptureMouse(true);  // a fast pull must not lose the pointer outside the window
    CallProc(top, WM_ENTERSIZEMOVE, 0, 0);
}

}  // namespace gui

using namespace gui;

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(hwnd))
        return 0;
    return RunOnOwner(hwnd, [=] { return CallProc(hwnd, message, wParam, lParam); });
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> hold(core().lock);
        if (hwnd && !GetLocked(hwnd))
            return FALSE;
        core().posted.push_back(MSG{hwnd, message, wParam, lParam, GetTickCount(), core().cursor});
    }
    Wake();
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    {
        std::lock_guard<std::mutex> hold(core().lock);
        core().quit = true;
        core().quitCode = exitCode;
    }
    Wake();
}

BOOL GetMessageW(MSG* msg, HWND, UINT, UINT) {
    if (!msg)
        return -1;
    while (!NextMessage(msg, 1000)) {
    }
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(MSG* msg, HWND, UINT, UINT, UINT remove) {
    if (!msg || !NextMessage(msg, 0))
        return FALSE;
    if (!(remove & PM_REMOVE)) {
        std::lock_guard<std::mutex> hold(core().lock);
        if (msg->message == WM_QUIT)
            core().quit = true;
        else if (msg->message != WM_PAINT && msg->message != WM_TIMER)
            core().posted.push_front(*msg);
    }
    return TRUE;
}

BOOL TranslateMessage(const MSG*) {
    return FALSE;
}  // input already arrives as WM_CHAR

LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg || !msg->hwnd) {
        if (msg && msg->message == WM_TIMER && msg->lParam)
            reinterpret_cast<TIMERPROC>(msg->lParam)(nullptr, WM_TIMER, msg->wParam,
                                                     GetTickCount());
        return 0;
    }
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    // Dialogs get their keyboard interface from every loop, not only from
    // loops that call IsDialogMessageW.
    if (msg->message == WM_KEYDOWN && DialogKey(*msg))
        return 0;
    return CallProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL IsDialogMessageW(HWND dialog, MSG* msg) {
    if (!msg || !IsWindow(dialog) || !msg->hwnd)
        return FALSE;
    if (msg->hwnd != dialog && TopLevelOf(msg->hwnd) != dialog)
        return FALSE;
    DispatchMessageW(msg);
    return TRUE;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    struct WakeAfter {
        ~WakeAfter() { Wake(); }  // a waiting loop learns of the new due time
    } wakeAfter;
    std::lock_guard<std::mutex> hold(core().lock);
    if (hwnd && !GetLocked(hwnd))
        return 0;
    static UINT_PTR nextId = 0x7FFF0000;
    if (!hwnd)
        id = ++nextId;
    elapse = std::max<UINT>(elapse, 10);  // the Windows minimum
    for (Timer& t : core().timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.elapse = elapse;
            t.proc = proc;
            t.due = NowMs() + elapse;
            return hwnd ? 1 : id;
        }
    }
    core().timers.push_back(Timer{hwnd, id, elapse, proc, NowMs() + elapse});
    return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    std::lock_guard<std::mutex> hold(core().lock);
    auto& timers = core().timers;
    auto it = std::remove_if(timers.begin(), timers.end(),
                             [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    BOOL found = it != timers.end();
    timers.erase(it, timers.end());
    return found;
}

HWND SetCapture(HWND hwnd) {
    HWND old;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        old = core().capture;
        if (!GetLocked(hwnd))
            return old;
        core().capture = hwnd;
    }
    if (IsUiThread())
        BackendCaptureMouse(true);
    if (old && old != hwnd)
        CallProc(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return old;
}

BOOL ReleaseCapture() {
    HWND old;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        old = core().capture;
        core().capture = nullptr;
    }
    if (IsUiThread())
        BackendCaptureMouse(false);
    if (old && IsWindow(old))
        CallProc(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() {
    std::lock_guard<std::mutex> hold(core().lock);
    return core().capture;
}

BOOL GetCursorPos(POINT* point) {
    if (!point)
        return FALSE;
    std::lock_guard<std::mutex> hold(core().lock);
    *point = core().cursor;
    return TRUE;
}

short GetKeyState(int key) {
    std::lock_guard<std::mutex> hold(core().lock);
    bool down = (key == VK_CONTROL && core().controlDown) ||
                (key == VK_SHIFT && core().shiftDown) || (key == 0x01 && core().leftDown);
    return down ? static_cast<short>(0x8000) : 0;
}

DWORD GetLastError() {
    return t_lastError;
}
void SetLastError(DWORD error) {
    t_lastError = error;
}

void OutputDebugStringW(LPCWSTR text) {
    if (text)
        OutputDebugStringA(WideToUtf8(text).c_str());
}

HMODULE GetModuleHandleW(LPCWSTR) {
    static int self;
    return reinterpret_cast<HMODULE>(&self);
}

// ---- Painting ----

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    {
        std::lock_guard<std::mutex> hold(core().lock);
        WindowPtr w = GetLocked(hwnd);
        if (!w)
            return FALSE;
        RECT client{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
        RECT r = rect ? Intersect(*rect, client) : client;
        if (Empty(r))
            return TRUE;
        UnionRect(&w->invalid, &w->invalid, &r);
        w->erase = w->erase || erase;
    }
    Wake();
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT*) {
    std::lock_guard<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(hwnd);
    if (!w)
        return FALSE;
    w->invalid = {0, 0, 0, 0};
    w->erase = false;
    return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
    WindowPtr w = Get(hwnd);
    if (!w)
        return FALSE;
    bool needed;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        needed = !Empty(w->invalid);
    }
    if (needed)
        SendMessageW(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint) {
    WindowPtr w = Get(hwnd);
    if (!w || !paint)
        return nullptr;
    RECT r;
    bool erase;
    {
        std::lock_guard<std::mutex> hold(core().lock);
        RECT client{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
        r = Empty(w->invalid) ? client : w->invalid;
        erase = w->erase;
        w->invalid = {0, 0, 0, 0};
        w->erase = false;
    }
    *paint = PAINTSTRUCT{};
    paint->hdc = NewWindowDc(hwnd);
    paint->rcPaint = r;
    IntersectClipRect(paint->hdc, r.left, r.top, r.right, r.bottom);
    if (erase)
        paint->fErase =
            CallProc(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint->hdc), 0) ? FALSE : TRUE;
    return paint->hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
    if (!paint)
        return FALSE;
    ReleaseDC(hwnd, paint->hdc);
    return TRUE;
}

// ---- Default processing ----

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE:
            return TRUE;
        case WM_SETTEXT:
        case WM_GETTEXT:
        case WM_GETTEXTLENGTH:
            return DefaultText(hwnd, message, wParam, lParam);
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND: {
            WindowPtr w = Get(hwnd);
            if (!w || !w->background)
                return 0;
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, w->background);
            return 1;
        }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_NCHITTEST:
            return HTCLIENT;
        case WM_UPDATEUISTATE:
            UpdateUiState(hwnd, wParam);
            return 0;
        case WM_QUERYUISTATE: {
            std::lock_guard<std::mutex> hold(core().lock);
            WindowPtr w = GetLocked(hwnd);
            return w ? w->uiState : 0;
        }
        case WM_NCLBUTTONDOWN:
            if (wParam == static_cast<WPARAM>(HTCAPTION))
                BeginDrag(hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        case WM_SETFONT: {
            WindowPtr w = Get(hwnd);
            if (w) {
                std::lock_guard<std::mutex> hold(core().lock);
                w->font = reinterpret_cast<HFONT>(wParam);
            }
            if (lParam)
                InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        }
        case WM_GETFONT: {
            WindowPtr w = Get(hwnd);
            std::lock_guard<std::mutex> hold(core().lock);
            return w ? reinterpret_cast<LRESULT>(w->font) : 0;
        }
        case WM_SETICON: {
            WindowPtr w = Get(hwnd);
            if (!w || wParam > ICON_BIG)
                return 0;
            HICON old;
            {
                std::lock_guard<std::mutex> hold(core().lock);
                old = w->icons[wParam];
                w->icons[wParam] = reinterpret_cast<HICON>(lParam);
            }
            if (wParam == ICON_BIG && !(w->style & WS_CHILD))
                BackendIcon(*w, reinterpret_cast<HICON>(lParam));
            return reinterpret_cast<LRESULT>(old);
        }
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
            SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        default:
            return 0;
    }
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hwnd, message, wParam, lParam)
                : DefWindowProcW(hwnd, message, wParam, lParam);
}

// ---- Test and tool support ----

bool PumpMessagesUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    const uint64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        uint64_t now = NowMs();
        if (now >= deadline)
            return done();
        MSG msg;
        if (NextMessage(&msg, static_cast<int64_t>(std::min<uint64_t>(10, deadline - now)))) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return done();
            }
            DispatchMessageW(&msg);
        }
    }
}

void InjectMouse(HWND hwnd, SyntheticMouse kind, int x, int y) {
    InputRecord in;
    in.type = InputRecord::Mouse;
    in.hwnd = hwnd;
    in.mouse = kind;
    in.x = x;
    in.y = y;
    in.wheel = kind == SyntheticMouse::Wheel ? 120 : 0;
    QueueBackendInput(in);
}

void InjectKey(HWND hwnd, int virtualKey, bool control, bool shift) {
    InputRecord in;
    in.type = InputRecord::Key;
    in.hwnd = hwnd;
    in.key = virtualKey;
    in.control = control;
    in.shift = shift;
    QueueBackendInput(in);
}

void InjectText(HWND hwnd, const wchar_t* text) {
    InputRecord in;
    in.type = InputRecord::Text;
    in.hwnd = hwnd;
    in.text = text ? text : L"";
    QueueBackendInput(in);
}

uint64_t GuiOffThreadCallCount() {
    return core().offThreadCalls.load();
}

bool InputPending() {
    std::lock_guard<std::mutex> hold(core().lock);
    return !core().input.empty();
}
