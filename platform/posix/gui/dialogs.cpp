// Dialogs: templates, the dialog manager's window procedure, modal loops
// (nested as deep as callers go) and modeless dialogs, and the message box.
#include <algorithm>
#include <map>

#include "platform/posix/gui/gdi_objects.h"
#include "platform/posix/gui/window_internal.h"
#include "platform/text.h"

namespace gui {
namespace {

struct Templates {
    std::mutex lock;
    std::map<int, DialogTemplate> byId;
};

Templates& AllTemplates() {
    static Templates* templates = new Templates;
    return *templates;
}

DialogTemplate FindTemplate(LPCWSTR name) {
    if (IS_INTRESOURCE(name)) {
        Templates& t = AllTemplates();
        std::lock_guard<std::mutex> hold(t.lock);
        auto it = t.byId.find(static_cast<int>(reinterpret_cast<uintptr_t>(name)));
        if (it != t.byId.end())
            return it->second;
    }
    return DialogTemplate{};  // an empty, hidden, borderless popup
}

bool ReturnsDirectly(UINT message) {
    return message == WM_INITDIALOG ||
           (message >= WM_CTLCOLOREDIT - 1 && message <= WM_CTLCOLORSTATIC);
}

HWND CreateFromTemplate(const DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param,
                        HINSTANCE instance, bool modal) {
    if (!ClaimUiThread())
        return nullptr;
    DWORD style = t.style & ~(WS_VISIBLE | WS_CHILD);
    HWND hwnd = CreateWindowExW(t.exStyle, L"#32770", t.title.c_str(), style, t.x, t.y, t.cx, t.cy,
                                parent, nullptr, instance, nullptr);
    if (!hwnd)
        return nullptr;
    if (WindowPtr w = Get(hwnd)) {
        std::lock_guard<std::mutex> hold(core().lock);
        w->dialog = true;
        w->dlgProc = proc;
        w->uiState = UISF_HIDEFOCUS | UISF_HIDEACCEL;  // until the keyboard is used
    }
    HWND first = nullptr;
    for (const DialogItemTemplate& item : t.items) {
        HWND child = CreateWindowExW(item.exStyle, item.className.c_str(), item.text.c_str(),
                                     item.style | WS_CHILD, item.x, item.y, item.cx, item.cy, hwnd,
                                     reinterpret_cast<HMENU>(static_cast<intptr_t>(item.id)),
                                     instance, nullptr);
        if (!first)
            first = child;
    }
    LRESULT focus = CallProc(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    if (focus && first && IsWindow(first))
        SetFocus(first);
    WindowPtr w = Get(hwnd);
    bool ended = false;
    if (w) {
        std::lock_guard<std::mutex> hold(core().lock);
        ended = w->ended;
    }
    if (w && !ended && (modal || (t.style & WS_VISIBLE)))
        ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

bool Ended(HWND hwnd, INT_PTR& result) {
    std::lock_guard<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(hwnd);
    if (!w)
        return true;
    result = w->endResult;
    return w->ended;
}

bool Inside(HWND hwnd, HWND top) {
    return hwnd && (hwnd == top || TopLevelOf(hwnd) == top);
}

// The modal loop: runs every window's messages until this dialog ends.
INT_PTR RunModal(const DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param,
                 HINSTANCE instance) {
    HWND owner = parent ? TopLevelOf(parent) : nullptr;
    const HWND focusBefore = GetFocus(), activeBefore = GetActiveWindow();
    HWND hwnd = CreateFromTemplate(t, owner, proc, param, instance, true);
    if (!hwnd)
        return -1;
    // Keys go to the dialog, not to a control of the window it blocks.
    if (!Inside(GetFocus(), hwnd))
        SetFocus(hwnd);
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner)
        EnableWindow(owner, FALSE);
    INT_PTR result = 0;
    while (!Ended(hwnd, result)) {
        MSG msg;
        if (!NextMessage(&msg, 1000))
            continue;
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // the outer loop sees it too
            result = 0;
            break;
        }
        DispatchMessageW(&msg);
    }
    if (disableOwner)
        EnableWindow(owner, TRUE);
    if (IsWindow(hwnd)) {
        ShowWindow(hwnd, SW_HIDE);
        DestroyWindow(hwnd);
    }
    // As on Windows, the window that was active before takes the keys again.
    if (IsWindow(activeBefore) && !GetActiveWindow())
        SetActiveWindow(activeBefore);
    if (IsWindow(focusBefore) && !GetFocus() && IsWindowEnabled(focusBefore))
        SetFocus(focusBefore);
    return result;
}

// ---- The dialog manager's keys ----

std::vector<HWND> ChildrenOf(HWND dialog) {
    std::lock_guard<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(dialog);
    return w ? w->children : std::vector<HWND>{};
}

bool TakesFocus(HWND hwnd) {
    if (!IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd))
        return false;
    std::lock_guard<std::mutex> hold(core().lock);
    WindowPtr w = GetLocked(hwnd);
    return w && ((w->style & WS_TABSTOP) || EqualsNoCase(w->className, std::wstring(L"edit")) ||
                 EqualsNoCase(w->className, std::wstring(L"button")));
}

// The control after (or before) `from` among the dialog's children that take
// the focus, in creation order and round; null when none does.
HWND NextTabStop(HWND dialog, HWND from, bool previous) {
    std::vector<HWND> children = ChildrenOf(dialog);
    if (previous)
        std::reverse(children.begin(), children.end());
    auto at = std::find(children.begin(), children.end(), from);
    const size_t start = at == children.end() ? children.size() : size_t(at - children.begin());
    for (size_t step = 1; step <= children.size(); ++step) {
        HWND candidate = children[(start + step) % children.size()];
        if (TakesFocus(candidate))
            return candidate;
    }
    return nullptr;
}

// The child of the dialog that holds `hwnd` (itself when it is one), else null.
HWND DirectChild(HWND dialog, HWND hwnd) {
    while (hwnd && GetParent(hwnd) != dialog)
        hwnd = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) ? GetParent(hwnd) : nullptr;
    return hwnd;
}

void ShowFocusCues(HWND dialog) {
    if (SendMessageW(dialog, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)
        SendMessageW(dialog, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

void SendCommand(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    if (item && !IsWindowEnabled(item))
        return;  // a disabled default button does nothing, as a click would
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item));
}

// Return: the focused push button presses itself; otherwise the default
// command the dialog names (DM_GETDEFID), else IDOK.
bool ReturnKey(HWND dialog, LRESULT code) {
    if (code & DLGC_BUTTON)
        return false;
    const LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    SendCommand(dialog, HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK);
    return true;
}

}  // namespace

bool DialogKey(const MSG& msg) {
    const int key = static_cast<int>(msg.wParam);
    if (msg.message != WM_KEYDOWN || (key != VK_TAB && key != VK_RETURN && key != VK_ESCAPE))
        return false;
    const HWND dialog = TopLevelOf(msg.hwnd);
    {
        std::lock_guard<std::mutex> hold(core().lock);
        WindowPtr w = GetLocked(dialog);
        if (!w || !w->dialog || (w->style & WS_DISABLED))
            return false;
    }
    MSG copy = msg;
    const LRESULT code =
        SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&copy));
    if (code & DLGC_WANTALLKEYS)
        return false;
    switch (key) {
        case VK_TAB:
            if (code & DLGC_WANTTAB)
                return false;
            ShowFocusCues(dialog);
            SendMessageW(dialog, WM_NEXTDLGCTL, GetKeyState(VK_SHIFT) < 0 ? 1 : 0, 0);
            return true;
        case VK_ESCAPE:
            SendCommand(dialog, IDCANCEL);
            return true;
        default:
            return ReturnKey(dialog, code);
    }
}

namespace {

// WM_NEXTDLGCTL's default: lParam set names the control in wParam, else wParam
// chooses the next (0) or previous control.
void NextControl(HWND dialog, WPARAM wParam, LPARAM lParam) {
    HWND target = LOWORD(lParam)
                      ? reinterpret_cast<HWND>(wParam)
                      : NextTabStop(dialog, DirectChild(dialog, GetFocus()), wParam != 0);
    if (target && IsWindow(target))
        SetFocus(target);
}

// DM_GETDEFID's default: the first BS_DEFPUSHBUTTON child.
LRESULT DefaultButton(HWND dialog) {
    for (HWND child : ChildrenOf(dialog)) {
        std::lock_guard<std::mutex> hold(core().lock);
        WindowPtr c = GetLocked(child);
        if (c && EqualsNoCase(c->className, std::wstring(L"button")) &&
            (c->style & 0x0F) == BS_DEFPUSHBUTTON)
            return MAKELONG(c->id, DC_HASDEFID);
    }
    return 0;
}

}  // namespace

LRESULT DialogWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DLGPROC proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(hwnd, DWLP_DLGPROC));
    INT_PTR handled = proc ? proc(hwnd, message, wParam, lParam) : 0;
    if (handled)
        return ReturnsDirectly(message) ? handled : GetWindowLongPtrW(hwnd, DWLP_MSGRESULT);
    switch (message) {
        case WM_CLOSE:
            PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
            return 0;
        case WM_INITDIALOG:
            return 0;
        case WM_NEXTDLGCTL:
            NextControl(hwnd, wParam, lParam);
            return 0;
        case DM_GETDEFID:
            return DefaultButton(hwnd);
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace gui

using namespace gui;

void RegisterDialogTemplate(int id, const DialogTemplate& dialogTemplate) {
    Templates& t = AllTemplates();
    std::lock_guard<std::mutex> hold(t.lock);
    t.byId[id] = dialogTemplate;
}

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM param) {
    return RunModal(FindTemplate(templateName), parent, proc, param, instance);
}

HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM param) {
    return CreateFromTemplate(FindTemplate(templateName), parent ? TopLevelOf(parent) : nullptr,
                              proc, param, instance, false);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    {
        std::lock_guard<std::mutex> hold(core().lock);
        WindowPtr w = GetLocked(dialog);
        if (!w || !w->dialog)
            return FALSE;
        w->ended = true;
        w->endResult = result;
    }
    Wake();
    return TRUE;
}

// ---- The message box ----

namespace {

struct BoxTexts {
    std::wstring text;
    std::wstring title;
    HFONT font = nullptr;
    RECT textRect{0, 0, 0, 0};
    int band = 0;
};

constexpr int kBoxOk = IDOK;

INT_PTR BoxInit(HWND hwnd, BoxTexts* box) {
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(box));
    RECT self;
    GetWindowRect(hwnd, &self);
    int w = self.right - self.left, h = self.bottom - self.top;
    RECT around{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    HWND owner = GetParent(hwnd);
    if (owner && IsWindowVisible(owner))
        GetWindowRect(owner, &around);
    MoveWindow(hwnd, around.left + (around.right - around.left - w) / 2,
               around.top + (around.bottom - around.top - h) / 2, w, h, FALSE);
    SendMessageW(GetDlgItem(hwnd, kBoxOk), WM_SETFONT, reinterpret_cast<WPARAM>(box->font), 0);
    return TRUE;
}

void BoxPaint(HWND hwnd, BoxTexts* box) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    RECT band{0, 0, client.right, box->band};
    HBRUSH bandBrush = CreateSolidBrush(RGB(74, 71, 181));
    FillRect(dc, &band, bandBrush);
    DeleteObject(bandBrush);
    HBRUSH frame = CreateSolidBrush(RGB(160, 160, 160));
    FrameRect(dc, &client, frame);
    DeleteObject(frame);
    HGDIOBJ old = SelectObject(dc, box->font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    RECT title = band;
    InflateRect(&title, -10, 0);
    DrawTextW(dc, box->title.c_str(), -1, &title, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SetTextColor(dc, RGB(30, 30, 30));
    RECT text = box->textRect;
    DrawTextW(dc, box->text.c_str(), -1, &text, DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    SelectObject(dc, old);
    EndPaint(hwnd, &ps);
}

INT_PTR BoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* box = reinterpret_cast<BoxTexts*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            return BoxInit(hwnd, reinterpret_cast<BoxTexts*>(lParam));
        case WM_PAINT:
            if (box)
                BoxPaint(hwnd, box);
            return TRUE;
        case WM_ERASEBKGND:
            return TRUE;
        case WM_LBUTTONDOWN:
            if (box && GET_Y_LPARAM(lParam) < box->band) {
                POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                ClientToScreen(hwnd, &p);
                SendMessageW(hwnd, WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTCAPTION),
                             MAKELPARAM(p.x, p.y));
            }
            return TRUE;
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_ESCAPE)
                EndDialog(hwnd, IDOK);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
                EndDialog(hwnd, IDOK);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR title, UINT type) {
    // Windows belong to the UI thread, where a box asked for by a worker (the
    // installation's failure message) would fail unseen: it is shown there
    // instead, and the worker waits for the answer as on Windows.
    // A box before any window makes its caller the UI thread.
    if (!ClaimUiThread()) {
        const HWND via = owner ? owner : GetActiveWindow();
        if (!via)
            return 0;
        const std::wstring t = text ? text : L"", c = title ? title : L"Error";
        auto show = [=]() -> LRESULT { return MessageBoxW(owner, t.c_str(), c.c_str(), type); };
        return static_cast<int>(RunOnOwner(via, show));
    }
    BoxTexts box;
    box.text = text ? text : L"";
    box.title = title ? title : L"Error";
    const int dpi = GetDisplayDpi();
    box.font = CreateFontW(-MulDiv(14, dpi, 96), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                           0, 0, L"Microsoft YaHei");
    const int pad = MulDiv(16, dpi, 96);
    box.band = MulDiv(30, dpi, 96);
    const int buttonW = MulDiv(88, dpi, 96), buttonH = MulDiv(28, dpi, 96);
    // Measure the message: at most 420 pixels (scaled) wide, wrapped.
    HDC measure = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(measure, box.font);
    RECT r{0, 0, MulDiv(420, dpi, 96), 0};
    DrawTextW(measure, box.text.c_str(), -1, &r, DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
    SelectObject(measure, old);
    DeleteDC(measure);
    const int width = std::max<int>(r.right, MulDiv(240, dpi, 96)) + 2 * pad;
    const int height = box.band + pad + r.bottom + pad + buttonH + pad;
    box.textRect = {pad, box.band + pad, width - pad, box.band + pad + r.bottom};
    DialogTemplate t;
    t.style = WS_POPUP;
    t.cx = width;
    t.cy = height;
    t.title = box.title;
    DialogItemTemplate ok;
    ok.className = L"Button";
    ok.text = L"OK";
    ok.id = IDOK;
    ok.style = WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON;
    ok.x = (width - buttonW) / 2;
    ok.y = height - pad - buttonH;
    ok.cx = buttonW;
    ok.cy = buttonH;
    t.items.push_back(ok);
    INT_PTR result = RunModal(t, owner, BoxProc, reinterpret_cast<LPARAM>(&box), nullptr);
    DeleteObject(box.font);
    return result == -1 ? 0 : IDOK;
}
