#include "ui/common_dlg.h"

int CommonDlg::OnInitDialog(HWND hwnd) {
    m_hWnd = hwnd;
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    RECT r{0, 0, 0, 0};
    GetWindowRect(hwnd, &r);
    if (m_bFixedSize) {
        r = RECT{0, 0, Scale(m_nWidth), Scale(m_nHeight)};
    }
    int x = (screenWidth + r.left - r.right) / 2;
    int y = (screenHeight + r.top - r.bottom) / 2;
    MoveWindow(hwnd, x, y, r.right - r.left, r.bottom - r.top, FALSE);
    return 1;
}

INT_PTR CommonDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    int r = OnMessage(message, wParam, lParam);
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(hwnd);
            return 1;
        case WM_CREATE:
            OnCreate();
            return 1;
        case WM_PAINT:
            OnPaint();
            return r;
        case WM_COMMAND: {
            int id = LOWORD(wParam);
            if ((id == IDOK && (m_nCloseMask & kCloseOnOk)) ||
                (id == IDCANCEL && (m_nCloseMask & kCloseOnCancel))) {
                EndDialog(hwnd, 0);
                return 1;
            }
            return OnCommand(wParam, lParam);
        }
        case WM_LBUTTONDOWN:
            return OnLButtonDown(hwnd, lParam, r);
        case WM_LBUTTONUP:
            OutputDebugStringW(L"WM_LBUTTONDOWN  ReleaseCapture\n");
            ReleaseCapture();
            return r;
        default:
            return r;
    }
}

// A press that no control took drags the captionless window.
INT_PTR CommonDlg::OnLButtonDown(HWND hwnd, LPARAM lParam, int taken) {
    if (taken) {
        OutputDebugStringW(L"WM_LBUTTONDOWN  SetCapture\n");
        SetCapture(hwnd);
        return taken;
    }
    POINT pt{short(LOWORD(lParam)), short(HIWORD(lParam))};
    ClientToScreen(hwnd, &pt);
    SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(pt.x, pt.y));
    return taken;
}

int CommonDlg::OnMessage(UINT, WPARAM, LPARAM) {
    return 0;
}

int CommonDlg::OnCommand(WPARAM, LPARAM) {
    return 0;
}

int CommonDlg::OnNotify(WPARAM, LPARAM) {
    return 0;
}

void CommonDlg::OnPaint() {}

void CommonDlg::OnCreate() {}

int CommonDlg::GetDpiX() {
    HDC hdc = GetDC(m_hWnd);
    if (!hdc) {
        return 96;
    }
    int dpi = GetDeviceCaps(hdc, LOGPIXELSX);
    ReleaseDC(m_hWnd, hdc);
    return dpi > 0 ? dpi : 96;
}

int CommonDlg::Scale(int v) {
    return v * GetDpiX() / 96;
}

int CommonDlg::FillColor(HDC hdc, const RECT* rect, COLORREF colour) {
    if (!hdc || !rect) {
        return 0;
    }
    HBRUSH brush = CreateSolidBrush(colour);
    int result = ::FillRect(hdc, rect, brush);
    DeleteObject(brush);
    return result;
}
