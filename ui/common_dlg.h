// Base of the installer's dialogs: turns the raw dialog messages into virtual
// operations, sizes the window for the screen's DPI and centres it, lets the
// user drag the captionless window by any point that is not a control, and
// ends the dialog on IDOK and IDCANCEL as the close mask allows.
//
// Threads: every operation runs on the thread that owns the window, except
// OnPaint of subclasses that repaint from a thread of their own.
#pragma once

#include <atomic>

#include "platform/gui.h"

// Bits of the close mask: which commands end the dialog.
constexpr int kCloseOnCancel = 1;
constexpr int kCloseOnOk = 2;

class CommonDlg {
public:
    CommonDlg() = default;
    virtual ~CommonDlg() = default;
    CommonDlg(const CommonDlg&) = delete;
    CommonDlg& operator=(const CommonDlg&) = delete;

    // Stores the window, applies the fixed size (DPI-scaled) and centres it on the screen.
    virtual int OnInitDialog(HWND hwnd);
    virtual INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Sees every message first; its result is what most messages return.
    virtual int OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual int OnCommand(WPARAM wParam, LPARAM lParam);
    virtual int OnNotify(WPARAM wParam, LPARAM lParam);
    virtual void OnPaint();
    virtual void OnCreate();
    virtual int GetDpiX();
    // v x dpi / 96 in integers.
    virtual int Scale(int v);
    virtual int FillColor(HDC hdc, const RECT* rect, COLORREF colour);

    HWND GetHwnd() const { return m_hWnd; }
    void SetFixedSize(int width, int height) {
        m_bFixedSize = 1;
        m_nWidth = width;
        m_nHeight = height;
    }
    void SetCloseMask(int mask) { m_nCloseMask = mask; }

protected:
    // Set on the window's thread; workers and painters read it.
    std::atomic<HWND> m_hWnd{nullptr};
    int m_bFixedSize = 0;
    int m_nWidth = 0;  // design size at 96 DPI
    int m_nHeight = 0;
    int m_nCloseMask = kCloseOnCancel | kCloseOnOk;

private:
    INT_PTR OnLButtonDown(HWND hwnd, LPARAM lParam, int taken);
};
