// The installer's own message box: a fixed 420 x 210 window with a coloured
// title band, an icon, a word-wrapped message and one button, painted by a
// repaint thread every 30 ms and on WM_PAINT.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "resources/resource_ids.h"
#include "ui/common_dlg.h"
#include "ui/skin_ctrl.h"
#include "ui/skin_focus.h"

// Command ids of its controls, and the value MySkinMessageBox returns.
constexpr int kIdBoxClose = 1612;
constexpr int kIdBoxButton = 1629;
constexpr int kMessageBoxResult = 1628;

class SkinMessageBox : public CommonDlg {
public:
    static constexpr int kWidth = 420;
    static constexpr int kHeight = 210;
    static constexpr int kRepaintMs = 30;

    SkinMessageBox();
    // Waits for the repaint thread, then frees the controls, bitmaps and font.
    ~SkinMessageBox() override;

    int OnInitDialog(HWND hwnd) override;
    int OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCommand(WPARAM wParam, LPARAM lParam) override;
    // Double-buffered paint of the bands and every control.
    void OnPaint() override;
    // Stops the repaint thread, waiting for it at most 1000 ms.
    virtual int OnClose();

    void SetTexts(const wchar_t* title, const wchar_t* message, const wchar_t* buttonText);

    // For tests: the clickable controls (close box, button) and every control.
    const std::vector<ButtonCtrlEx*>& Buttons() const { return m_buttons; }
    const std::vector<CommonCtrl*>& DrawList() const { return m_drawList; }
    bool RepaintRunning() const { return m_bPainting.load(); }
    const SkinFocus& Focus() const { return m_focus; }

private:
    void CreateControls();
    void StartRepaintThread();
    void RepaintLoop();
    void JoinRepaintThread();
    template <class T>
    T* Add(int left, int top, int right, int bottom);
    int SumOver(int (ButtonCtrlEx::*handler)(int, int), int x, int y);
    int OnKeyboard(UINT message, WPARAM wParam, LPARAM lParam);

    std::wstring m_strTitle;
    std::wstring m_strMessage;
    std::wstring m_strButton;
    std::vector<std::unique_ptr<CommonCtrl>> m_controls;  // owned, creation order
    std::vector<ButtonCtrlEx*> m_buttons;
    std::vector<CommonCtrl*> m_drawList;
    SkinFocus m_focus;               // close box, button
    std::vector<HBITMAP> m_bitmaps;  // owned
    HFONT m_hFont = nullptr;         // owned
    bool m_bMouseDown = false;
    std::thread m_paintThread;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bPainting{false};
    std::mutex m_stopLock;  // with m_stopWake: lets the stop end the 30 ms sleep early
    std::condition_variable m_stopWake;
};

// Shows the box modally over parent and returns 1628 once it has closed.
int MySkinMessageBox(HWND parent, const wchar_t* title, const wchar_t* message,
                     const wchar_t* buttonText);

// The box currently shown, or null.
SkinMessageBox* LiveSkinMessageBox();
