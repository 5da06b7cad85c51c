// The single-line edit box (class "Edit"): a caret, typing, backspace and
// delete, arrows, home and end, paste, a length limit, EM_SETRECT and
// EN_CHANGE. ES_PASSWORD masks only a single-line style, as Windows does.
#include <algorithm>
#include <cwchar>
#include <string>

#include "platform/posix/gui/controls_internal.h"

namespace gui {
namespace {

struct EditState {
    std::wstring text;
    size_t caret = 0;
    size_t limit = 0x7FFFFFFE;
    bool rectSet = false;
    RECT textRect{0, 0, 0, 0};
    bool focused = false;
    int scroll = 0;  // pixels scrolled off to the left
};

EditState& State(HWND hwnd) {
    return ControlState<EditState>(hwnd);
}

LONG_PTR Style(HWND hwnd) {
    return GetWindowLongPtrW(hwnd, GWL_STYLE);
}

bool ReadOnly(HWND hwnd) {
    return (Style(hwnd) & ES_READONLY) != 0;
}

std::wstring Shown(HWND hwnd, const std::wstring& text) {
    LONG_PTR style = Style(hwnd);
    if ((style & ES_PASSWORD) && !(style & ES_MULTILINE))
        return std::wstring(text.size(), L'*');
    return text;
}

RECT TextRect(HWND hwnd) {
    EditState& s = State(hwnd);
    if (s.rectSet)
        return s.textRect;
    RECT r;
    GetClientRect(hwnd, &r);
    InflateRect(&r, -2, -1);
    return r;
}

int TextWidth(HWND hwnd, const std::wstring& text) {
    if (text.empty())
        return 0;
    HDC hdc = GetDC(nullptr);
    HGDIOBJ old = SelectControlFont(hwnd, hdc);
    SIZE size{0, 0};
    GetTextExtentPoint32W(hdc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(hdc, old);
    ReleaseDC(nullptr, hdc);
    return size.cx;
}

void Changed(HWND hwnd) {
    InvalidateRect(hwnd, nullptr, FALSE);
    Notify(hwnd, EN_CHANGE);
}

void Insert(HWND hwnd, std::wstring piece) {
    if (ReadOnly(hwnd))
        return;
    piece.erase(
        std::remove_if(piece.begin(), piece.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; }),
        piece.end());
    EditState& s = State(hwnd);
    size_t room = s.limit > s.text.size() ? s.limit - s.text.size() : 0;
    bool clipped = piece.size() > room;
    piece.resize(std::min(piece.size(), room));
    if (!piece.empty()) {
        s.text.insert(s.caret, piece);
        s.caret += piece.size();
        Changed(hwnd);
    }
    if (clipped)
        Notify(hwnd, EN_MAXTEXT);
}

void Erase(HWND hwnd, bool before) {
    EditState& s = State(hwnd);
    if (ReadOnly(hwnd))
        return;
    if (before && s.caret > 0) {
        s.text.erase(--s.caret, 1);
        Changed(hwnd);
    } else if (!before && s.caret < s.text.size()) {
        s.text.erase(s.caret, 1);
        Changed(hwnd);
    }
}

void Paste(HWND hwnd) {
    std::wstring clip;
    if (BackendGetClipboard(clip))
        Insert(hwnd, clip);
}

void MoveCaret(HWND hwnd, size_t to) {
    EditState& s = State(hwnd);
    s.caret = std::min(to, s.text.size());
    InvalidateRect(hwnd, nullptr, FALSE);
}

void KeyDown(HWND hwnd, WPARAM key) {
    EditState& s = State(hwnd);
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    switch (key) {
        case VK_LEFT:
            MoveCaret(hwnd, s.caret > 0 ? s.caret - 1 : 0);
            break;
        case VK_RIGHT:
            MoveCaret(hwnd, s.caret + 1);
            break;
        case VK_HOME:
            MoveCaret(hwnd, 0);
            break;
        case VK_END:
            MoveCaret(hwnd, s.text.size());
            break;
        case VK_BACK:
            Erase(hwnd, true);
            break;
        case VK_DELETE:
            Erase(hwnd, false);
            break;
        case VK_INSERT:
            if (shift)
                Paste(hwnd);
            break;
        case 'V':
            if (control)
                Paste(hwnd);
            break;
        default:
            break;
    }
}

// The caret character nearest to a client x position.
size_t CaretAt(HWND hwnd, int x) {
    EditState& s = State(hwnd);
    std::wstring shown = Shown(hwnd, s.text);
    int target = x - TextRect(hwnd).left + s.scroll;
    size_t best = 0;
    int bestDistance = std::abs(target);
    for (size_t i = 1; i <= shown.size(); ++i) {
        int d = std::abs(TextWidth(hwnd, shown.substr(0, i)) - target);
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    const bool enabled = IsWindowEnabled(hwnd);
    PaintBackground(hwnd, hdc, enabled && !ReadOnly(hwnd) ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC,
                    enabled ? COLOR_WINDOW : COLOR_BTNFACE);
    RECT client;
    GetClientRect(hwnd, &client);
    if (Style(hwnd) & WS_BORDER) {
        HBRUSH border = CreateSolidBrush(RGB(122, 122, 122));
        FrameRect(hdc, &client, border);
        DeleteObject(border);
    }
    if (!enabled)
        SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
    EditState& s = State(hwnd);
    RECT area = TextRect(hwnd);
    std::wstring shown = Shown(hwnd, s.text);
    HGDIOBJ old = SelectControlFont(hwnd, hdc);
    // Keep the caret inside the text area.
    int caretX = TextWidth(hwnd, shown.substr(0, s.caret));
    int width = std::max<int>(1, area.right - area.left - 1);
    if (caretX - s.scroll > width)
        s.scroll = caretX - width;
    if (caretX < s.scroll)
        s.scroll = caretX;
    SaveDC(hdc);
    IntersectClipRect(hdc, area.left, area.top, area.right, area.bottom);
    SetBkMode(hdc, TRANSPARENT);
    RECT text{area.left - s.scroll, area.top, area.right + 32767, area.bottom};
    DrawTextW(hdc, shown.c_str(), -1, &text, DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    if (s.focused && enabled) {
        SIZE line{0, 0};
        GetTextExtentPoint32W(hdc, L"|", 1, &line);
        HBRUSH caret = CreateSolidBrush(GetTextColor(hdc));
        RECT bar{area.left + caretX - s.scroll, area.top, area.left + caretX - s.scroll + 1,
                 area.top + std::max<int>(line.cy, 1)};
        FillRect(hdc, &bar, caret);
        DeleteObject(caret);
    }
    RestoreDC(hdc, -1);
    SelectObject(hdc, old);
    EndPaint(hwnd, &ps);
}

LRESULT Selection(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    size_t caret = State(hwnd).caret;
    if (wParam)
        *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(caret);
    if (lParam)
        *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(caret);
    return MAKELRESULT(caret, caret);
}

LRESULT TextMessages(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    EditState& s = State(hwnd);
    if (message == WM_GETTEXTLENGTH)
        return static_cast<LRESULT>(s.text.size());
    if (message == WM_GETTEXT) {
        if (!wParam || !lParam)
            return 0;
        size_t n = std::min(s.text.size(), static_cast<size_t>(wParam) - 1);
        std::wmemcpy(reinterpret_cast<wchar_t*>(lParam), s.text.c_str(), n);
        reinterpret_cast<wchar_t*>(lParam)[n] = 0;
        return static_cast<LRESULT>(n);
    }
    s.text = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
    s.caret = std::min(s.caret, s.text.size());
    s.scroll = 0;
    InvalidateRect(hwnd, nullptr, FALSE);
    if (!(Style(hwnd) & ES_MULTILINE))  // a multi-line box stays quiet on WM_SETTEXT
        Notify(hwnd, EN_CHANGE);
    return TRUE;
}

}  // namespace

LRESULT EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    EditState& s = State(hwnd);
    switch (message) {
        case WM_CREATE: {
            auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            s.text = cs && cs->lpszName ? cs->lpszName : L"";
            return 0;
        }
        case WM_SETTEXT:
        case WM_GETTEXT:
        case WM_GETTEXTLENGTH:
            return TextMessages(hwnd, message, wParam, lParam);
        case EM_SETRECT:
        case EM_SETRECTNP:
            if (lParam) {
                s.textRect = *reinterpret_cast<const RECT*>(lParam);
                s.rectSet = true;
            } else {
                s.rectSet = false;
            }
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case EM_GETRECT:
            if (lParam)
                *reinterpret_cast<RECT*>(lParam) = TextRect(hwnd);
            return 0;
        case EM_LIMITTEXT:
            s.limit = wParam ? static_cast<size_t>(wParam) : 0x7FFFFFFE;
            return 0;
        case EM_GETLIMITTEXT:
            return static_cast<LRESULT>(s.limit);
        case EM_SETSEL:
            MoveCaret(hwnd,
                      static_cast<LONG>(lParam) < 0 ? s.text.size() : static_cast<size_t>(lParam));
            return 0;
        case EM_GETSEL:
            return Selection(hwnd, wParam, lParam);
        case EM_SETREADONLY:
            SetWindowLongPtrW(hwnd, GWL_STYLE,
                              wParam ? (Style(hwnd) | ES_READONLY) : (Style(hwnd) & ~ES_READONLY));
            InvalidateRect(hwnd, nullptr, FALSE);
            return TRUE;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            s.focused = message == WM_SETFOCUS;
            BackendTextInput(s.focused);
            InvalidateRect(hwnd, nullptr, FALSE);
            Notify(hwnd, s.focused ? EN_SETFOCUS : EN_KILLFOCUS);
            return 0;
        case WM_LBUTTONDOWN:
            if (GetFocus() != hwnd)
                SetFocus(hwnd);
            MoveCaret(hwnd, CaretAt(hwnd, GET_X_LPARAM(lParam)));
            return 0;
        case WM_KEYDOWN:
            KeyDown(hwnd, wParam);
            return 0;
        case WM_GETDLGCODE:  // Tab, Return and Escape stay the dialog's
            return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        case WM_CHAR:
            if (wParam == 0x08)
                Erase(hwnd, true);
            else if (wParam == 0x16)
                Paste(hwnd);
            else if (wParam >= 0x20)
                Insert(hwnd, std::wstring(1, static_cast<wchar_t>(wParam)));
            return 0;
        case WM_PASTE:
            Paste(hwnd);
            return 0;
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_PAINT:
            Paint(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace gui
