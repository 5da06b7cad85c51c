// Built-in control classes besides the edit box: push button, static text,
// list box and the report-style list view. They paint with the layer's own
// GDI and keep their state on the UI thread.
#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/posix/gui/controls_internal.h"

namespace gui {

void PaintBackground(HWND hwnd, HDC hdc, UINT colourMessage, int fallbackColour) {
    RECT client;
    GetClientRect(hwnd, &client);
    HBRUSH brush = nullptr;
    if (HWND parent = GetParent(hwnd))
        brush = reinterpret_cast<HBRUSH>(SendMessageW(
            parent, colourMessage, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwnd)));
    if (!brush) {
        brush = GetSysColorBrush(fallbackColour);
        SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
    }
    FillRect(hdc, &client, brush);
}

HGDIOBJ SelectControlFont(HWND hwnd, HDC hdc) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    return SelectObject(hdc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
}

void Notify(HWND hwnd, WORD code) {
    if (HWND parent = GetParent(hwnd))
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code),
                     reinterpret_cast<LPARAM>(hwnd));
}

bool PointInClient(HWND hwnd, LPARAM point) {
    RECT client;
    GetClientRect(hwnd, &client);
    POINT p{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    return PtInRect(&client, p) != FALSE;
}

namespace {

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

void Frame(HDC hdc, const RECT& r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FrameRect(hdc, &r, brush);
    DeleteObject(brush);
}

void Fill(HDC hdc, const RECT& r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(hdc, &r, brush);
    DeleteObject(brush);
}

struct ButtonState {
    bool pressed = false;
};

void PaintButton(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    RECT r;
    GetClientRect(hwnd, &r);
    const bool pressed = ControlState<ButtonState>(hwnd).pressed;
    const bool enabled = IsWindowEnabled(hwnd);
    Fill(hdc, r, pressed ? RGB(204, 228, 247) : RGB(225, 225, 225));
    const bool isDefault = (GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_DEFPUSHBUTTON) != 0;
    Frame(hdc, r, isDefault ? RGB(0, 120, 215) : RGB(173, 173, 173));
    HGDIOBJ old = SelectControlFont(hwnd, hdc);
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, enabled ? RGB(0, 0, 0) : GetSysColor(COLOR_GRAYTEXT));
    std::wstring text = TextOf(hwnd);
    DrawTextW(hdc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(hdc, old);
    EndPaint(hwnd, &ps);
}

}  // namespace

LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            PaintButton(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN:
            SetCapture(hwnd);
            ControlState<ButtonState>(hwnd).pressed = true;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_MOUSEMOVE:
            if (GetCapture() == hwnd) {
                bool inside = PointInClient(hwnd, lParam);
                if (ControlState<ButtonState>(hwnd).pressed != inside) {
                    ControlState<ButtonState>(hwnd).pressed = inside;
                    InvalidateRect(hwnd, nullptr, FALSE);
                }
            }
            return 0;
        case WM_LBUTTONUP:
            if (GetCapture() == hwnd) {
                ReleaseCapture();
                ControlState<ButtonState>(hwnd).pressed = false;
                InvalidateRect(hwnd, nullptr, FALSE);
                if (PointInClient(hwnd, lParam))
                    Notify(hwnd, BN_CLICKED);
            }
            return 0;
        case BM_CLICK:
            Notify(hwnd, BN_CLICKED);
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_SPACE)
                Notify(hwnd, BN_CLICKED);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_BUTTON | ((GetWindowLongPtrW(hwnd, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON
                                      ? DLGC_DEFPUSHBUTTON
                                      : DLGC_UNDEFPUSHBUTTON);
        case WM_SETTEXT:
        case WM_ENABLE: {
            LRESULT r = DefWindowProcW(hwnd, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return r;
        }
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC hdc = BeginPaint(hwnd, &ps);
            PaintBackground(hwnd, hdc, WM_CTLCOLORSTATIC, COLOR_BTNFACE);
            RECT r;
            GetClientRect(hwnd, &r);
            LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
            UINT format = DT_WORDBREAK | ((style & SS_CENTER)  ? DT_CENTER
                                          : (style & SS_RIGHT) ? DT_RIGHT
                                                               : DT_LEFT);
            HGDIOBJ old = SelectControlFont(hwnd, hdc);
            SetBkMode(hdc, TRANSPARENT);
            std::wstring text = TextOf(hwnd);
            DrawTextW(hdc, text.c_str(), -1, &r, format);
            SelectObject(hdc, old);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SETTEXT: {
            LRESULT r = DefWindowProcW(hwnd, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return r;
        }
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// ---- List box ----

namespace {

struct ListBoxState {
    std::vector<std::wstring> rows;
    int top = 0;
};

int LineHeight(HWND hwnd) {
    HDC hdc = GetDC(nullptr);
    HGDIOBJ old = SelectControlFont(hwnd, hdc);
    SIZE size{0, 0};
    GetTextExtentPoint32W(hdc, L"Ag", 2, &size);
    SelectObject(hdc, old);
    ReleaseDC(nullptr, hdc);
    return std::max<int>(size.cy + 2, 8);
}

void PaintListBox(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    PaintBackground(hwnd, hdc, WM_CTLCOLORLISTBOX, COLOR_WINDOW);
    RECT client;
    GetClientRect(hwnd, &client);
    ListBoxState& s = ControlState<ListBoxState>(hwnd);
    HGDIOBJ old = SelectControlFont(hwnd, hdc);
    SetBkMode(hdc, TRANSPARENT);
    const int line = LineHeight(hwnd);
    int y = 1;
    for (size_t i = static_cast<size_t>(std::max(0, s.top)); i < s.rows.size() && y < client.bottom;
         ++i) {
        RECT r{3, y, client.right - 3, y + line};
        DrawTextW(hdc, s.rows[i].c_str(), -1, &r, DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER);
        y += line;
    }
    Frame(hdc, client, RGB(130, 135, 144));
    SelectObject(hdc, old);
    EndPaint(hwnd, &ps);
}

LRESULT CopyOut(const std::wstring& text, LPARAM out) {
    if (out)
        std::wmemcpy(reinterpret_cast<wchar_t*>(out), text.c_str(), text.size() + 1);
    return static_cast<LRESULT>(text.size());
}

}  // namespace

LRESULT ListBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ListBoxState& s = ControlState<ListBoxState>(hwnd);
    const int count = static_cast<int>(s.rows.size());
    switch (message) {
        case LB_ADDSTRING:
            s.rows.push_back(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"");
            InvalidateRect(hwnd, nullptr, FALSE);
            return count;
        case LB_RESETCONTENT:
            s.rows.clear();
            s.top = 0;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case LB_GETCOUNT:
            return count;
        case LB_GETTEXT:
        case LB_GETTEXTLEN:
            if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= count)
                return LB_ERR;
            return message == LB_GETTEXTLEN ? static_cast<LRESULT>(s.rows[wParam].size())
                                            : CopyOut(s.rows[wParam], lParam);
        case LB_GETTOPINDEX:
            return s.top;
        case LB_SETTOPINDEX:
            if (static_cast<int>(wParam) < 0 || (count && static_cast<int>(wParam) >= count))
                return LB_ERR;
            s.top = static_cast<int>(wParam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_MOUSEWHEEL: {
            int steps = -static_cast<short>(HIWORD(wParam)) / 40;
            s.top = std::clamp(s.top + steps, 0, std::max(0, count - 1));
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        }
        case WM_PAINT:
            PaintListBox(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// ---- List view (report view only) ----

namespace {

struct Column {
    std::wstring title;
    int width = 100;
    int format = LVCFMT_LEFT;
};

struct ListViewState {
    std::vector<Column> columns;
    std::vector<std::vector<std::wstring>> rows;
    int top = 0;
};

void PaintListView(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    PaintBackground(hwnd, hdc, WM_CTLCOLORLISTBOX, COLOR_WINDOW);
    RECT client;
    GetClientRect(hwnd, &client);
    ListViewState& s = ControlState<ListViewState>(hwnd);
    HGDIOBJ old = SelectControlFont(hwnd, hdc);
    SetBkMode(hdc, TRANSPARENT);
    const int line = LineHeight(hwnd) + 2;
    Fill(hdc, {0, 0, client.right, line}, RGB(240, 240, 240));
    int x = 0;
    for (const Column& c : s.columns) {
        RECT r{x + 4, 0, x + c.width - 2, line};
        DrawTextW(hdc, c.title.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        Fill(hdc, {x + c.width - 1, 2, x + c.width, line - 2}, RGB(229, 229, 229));
        x += c.width;
    }
    int y = line;
    for (size_t i = static_cast<size_t>(std::max(0, s.top)); i < s.rows.size() && y < client.bottom;
         ++i) {
        x = 0;
        for (size_t c = 0; c < s.columns.size(); ++c) {
            const Column& col = s.columns[c];
            RECT r{x + 4, y, x + col.width - 4, y + line};
            UINT align = col.format == LVCFMT_RIGHT    ? DT_RIGHT
                         : col.format == LVCFMT_CENTER ? DT_CENTER
                                                       : DT_LEFT;
            if (c < s.rows[i].size())
                DrawTextW(hdc, s.rows[i][c].c_str(), -1, &r,
                          DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | align);
            x += col.width;
        }
        y += line;
    }
    Frame(hdc, client, RGB(130, 135, 144));
    SelectObject(hdc, old);
    EndPaint(hwnd, &ps);
}

LRESULT SetCell(ListViewState& s, const LVITEMW* item, bool insert) {
    if (!item)
        return -1;
    int row = item->iItem;
    if (insert) {
        row = std::clamp(row, 0, static_cast<int>(s.rows.size()));
        s.rows.insert(s.rows.begin() + row, std::vector<std::wstring>{});
    } else if (row < 0 || row >= static_cast<int>(s.rows.size()) || item->iSubItem < 0) {
        return FALSE;
    }
    size_t column = insert ? 0 : static_cast<size_t>(item->iSubItem);
    auto& cells = s.rows[static_cast<size_t>(row)];
    if (cells.size() <= column)
        cells.resize(column + 1);
    if ((item->mask & LVIF_TEXT) && item->pszText)
        cells[column] = item->pszText;
    return insert ? row : TRUE;
}

LRESULT InsertColumn(ListViewState& s, WPARAM index, const LVCOLUMNW* column) {
    if (!column)
        return -1;
    Column c;
    if (column->mask & LVCF_TEXT && column->pszText)
        c.title = column->pszText;
    if (column->mask & LVCF_WIDTH)
        c.width = column->cx;
    if (column->mask & LVCF_FMT)
        c.format = column->fmt & 3;
    size_t at = std::min<size_t>(index, s.columns.size());
    s.columns.insert(s.columns.begin() + static_cast<ptrdiff_t>(at), c);
    return static_cast<LRESULT>(at);
}

LRESULT GetCellText(const ListViewState& s, WPARAM row, LVITEMW* item) {
    if (!item || !item->pszText || item->cchTextMax <= 0 || row >= s.rows.size())
        return 0;
    const auto& cells = s.rows[row];
    std::wstring text = item->iSubItem >= 0 && static_cast<size_t>(item->iSubItem) < cells.size()
                            ? cells[item->iSubItem]
                            : L"";
    size_t n = std::min(text.size(), static_cast<size_t>(item->cchTextMax) - 1);
    std::wmemcpy(item->pszText, text.c_str(), n);
    item->pszText[n] = 0;
    return static_cast<LRESULT>(n);
}

}  // namespace

LRESULT ListViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ListViewState& s = ControlState<ListViewState>(hwnd);
    LRESULT result = 0;
    switch (message) {
        case LVM_INSERTCOLUMNW:
            result = InsertColumn(s, wParam, reinterpret_cast<const LVCOLUMNW*>(lParam));
            break;
        case LVM_INSERTITEMW:
            result = SetCell(s, reinterpret_cast<const LVITEMW*>(lParam), true);
            break;
        case LVM_SETITEMW:
            result = SetCell(s, reinterpret_cast<const LVITEMW*>(lParam), false);
            break;
        case LVM_DELETEALLITEMS:
            s.rows.clear();
            s.top = 0;
            result = TRUE;
            break;
        case LVM_DELETEITEM:
            if (wParam >= s.rows.size())
                return FALSE;
            s.rows.erase(s.rows.begin() + static_cast<ptrdiff_t>(wParam));
            result = TRUE;
            break;
        case LVM_GETITEMCOUNT:
            return static_cast<LRESULT>(s.rows.size());
        case LVM_GETITEMTEXTW:
            return GetCellText(s, wParam, reinterpret_cast<LVITEMW*>(lParam));
        case WM_MOUSEWHEEL: {
            int steps = -static_cast<short>(HIWORD(wParam)) / 40;
            s.top = std::clamp(s.top + steps, 0, std::max(0, static_cast<int>(s.rows.size()) - 1));
            break;
        }
        case WM_PAINT:
            PaintListView(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    InvalidateRect(hwnd, nullptr, FALSE);
    return result;
}

}  // namespace gui
