// Windowless skin controls: labels, buttons, check boxes, links and a progress
// bar that their dialog owns, places in its client coordinates, paints into
// its DC and feeds with mouse positions. A click comes back to the dialog as
// WM_COMMAND with the control's id in wParam.
//
// Ownership: bitmaps and fonts handed to a control stay the dialog's; a
// control never deletes them. The dialog deletes its controls, and must not
// do so while a repaint thread may still draw them.
//
// Threads: the owner's UI thread feeds the mouse and changes looks, its paint
// thread draws. Each control guards its fields with one lock; Draw works on a
// copy taken under it and never holds the lock while calling into the window
// layer. The mouse handlers are meant for the UI thread only.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "platform/gui.h"

class CommonRect {
public:
    CommonRect(int l = 0, int t = 0, int r = 0, int b = 0) { Set(l, t, r, b); }
    virtual ~CommonRect() = default;

    void Set(int l, int t, int r, int b);
    // Moves every edge inwards by n; left and top never go below 0.
    void Deflate(int n);

    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    RECT local = {0, 0, 0, 0};  // (0, 0, width, height)
    int width = 0;
    int height = 0;

    RECT ToRect() const { return RECT{left, top, right, bottom}; }

private:
    void Recompute();
};

enum CtrlState { kStateNormal = 0, kStateHover = 1, kStatePressed = 2, kStateDisabled = 3 };

constexpr UINT kDefaultTextFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;  // 37

class CommonCtrl {
public:
    CommonCtrl(HWND parent, int left, int top, int right, int bottom);
    virtual ~CommonCtrl();
    CommonCtrl(const CommonCtrl&) = delete;
    CommonCtrl& operator=(const CommonCtrl&) = delete;

    // 1 when something was drawn; 0 for an invisible control or without a DC.
    virtual int Draw(HDC hdc) = 0;
    virtual void SetID(int id);
    virtual int GetID();
    virtual void SetText(const wchar_t* text);
    virtual std::wstring GetText();
    virtual void SetFont(HFONT font);
    virtual void SetTextColor(COLORREF colour);
    virtual void SetTextFormat(UINT format);
    virtual void FillColor(HDC hdc, const RECT* rect, COLORREF colour);
    virtual void SetVisible(bool visible);
    virtual bool IsVisible();
    virtual void SetEnable(bool enable);
    virtual bool IsEnable();
    virtual HWND GetParentWnd();
    // The control's own rectangle; meant for the owner's UI thread.
    virtual CommonRect* GetRect();
    virtual void SetRect(const RECT& rect);
    // Edges included: left <= x <= right and top <= y <= bottom.
    virtual bool PtInRect(int x, int y);
    virtual void SetDrawBitmap(int draw);
    virtual int GetDrawBitmap();
    virtual void SetStateColors(COLORREF normal, COLORREF hover, COLORREF pressed,
                                COLORREF disabled);
    virtual void SetStateBitmaps(HBITMAP normal, HBITMAP hover, HBITMAP pressed, HBITMAP disabled);
    // Copies the top-left cx x cy pixels of the bitmap to (x, y); 0 without DC or bitmap.
    virtual int DrawBitmapAt(HDC hdc, HBITMAP bitmap, int x, int y, int cx, int cy);
    virtual int DrawBitmapInRect(HDC hdc, HBITMAP bitmap);

    int GetState() const { return m_nState.load(); }

protected:
    // The fields Draw needs, copied under the lock.
    struct Look {
        int state = 0;
        COLORREF stateColors[4] = {0, 0, 0, 0};
        HBITMAP stateBitmaps[4] = {nullptr, nullptr, nullptr, nullptr};
        UINT format = kDefaultTextFormat;
        CommonRect rect;
        std::wstring text;
        int drawBitmap = 0;
        HFONT font = nullptr;
        COLORREF textColor = 0;
    };
    Look TakeLook() const;
    bool Visible() const { return m_bVisible.load(); }
    // SetBkMode, text colour, font selection and DrawTextW; returns DrawTextW's result.
    int DrawTextStep(HDC hdc, const std::wstring& text, RECT rect, UINT format, HFONT font,
                     COLORREF colour);
    // draw(hdc), or draw through a DC of the parent window when hdc is null.
    int DrawOrParentDc(HDC hdc, const std::function<int(HDC)>& draw);

    std::atomic<int> m_nState{kStateNormal};
    std::atomic<bool> m_bLatch{false};
    std::atomic<bool> m_bVisible{true};
    std::atomic<bool> m_bEnabled{true};
    const HWND m_hParent;
    mutable std::mutex m_lock;  // every field below
    COLORREF m_stateColors[4] = {0, 0, 0, 0};
    HBITMAP m_stateBitmaps[4] = {nullptr, nullptr, nullptr, nullptr};
    UINT m_nFormat = kDefaultTextFormat;
    int m_nId = -1;
    CommonRect m_rect;
    std::wstring m_strText;
    int m_nDrawBitmap = 0;
    HFONT m_hFont = nullptr;
    COLORREF m_textColor = 0;
};

class StaticCtrl : public CommonCtrl {
public:
    using CommonCtrl::CommonCtrl;
    // A null DC draws through a DC of the parent window.
    int Draw(HDC hdc) override;

private:
    int DrawInto(HDC hdc);
};

class ButtonCtrlEx : public CommonCtrl {
public:
    ButtonCtrlEx(HWND parent, int left, int top, int right, int bottom);
    int Draw(HDC hdc) override;
    // Disabling shows the disabled look; enabling keeps it until the next mouse event.
    void SetEnable(bool enable) override;
    // 1 when the point is on the control (and it is live), else 0.
    virtual int OnMouseMove(int x, int y);
    virtual int OnLButtonDown(int x, int y);
    // Sends WM_COMMAND(id) to the parent when a press that began here ends here.
    virtual int OnLButtonUp(int x, int y);

    // The keyboard focus cue: a one-pixel dotted rectangle inside the control
    // in its text colour (the owner sets it only once the keyboard is used).
    void SetFocusCue(bool on) { m_bFocusCue = on; }
    bool HasFocusCue() const { return m_bFocusCue.load(); }

protected:
    bool Live() const { return m_bEnabled.load() && m_bVisible.load(); }
    // Background bitmap of the look, the text colour of its state, then the
    // text in rect; the focus cue, when set, cueInset pixels inside the control.
    int DrawButton(HDC hdc, Look& look, HBITMAP background, RECT textRect, HFONT font,
                   int cueInset = 1);
    void DrawFocusCue(HDC hdc, const RECT& rect, COLORREF colour);

    std::atomic<bool> m_bFocusCue{false};
};

class ButtonColorCtrlEx : public ButtonCtrlEx {
public:
    using ButtonCtrlEx::ButtonCtrlEx;
    int Draw(HDC hdc) override;
    virtual void SetBorderColors(COLORREF normal, COLORREF hover, COLORREF pressed,
                                 COLORREF disabled);
    virtual void SetBorderWidth(int width);
    virtual void SetFillColors(COLORREF normal, COLORREF hover, COLORREF pressed,
                               COLORREF disabled);

private:
    COLORREF m_fillColors[4] = {0, 0, 0, 0};
    COLORREF m_borderColors[4] = {0, 0, 0, 0};
    int m_nBorderWidth = 0;
};

class CheckButtonCtrl : public ButtonCtrlEx {
public:
    using ButtonCtrlEx::ButtonCtrlEx;
    int Draw(HDC hdc) override;
    // The dialog flips the check on the control's WM_COMMAND; clicks do not.
    virtual void SetCheck(int checked);
    virtual int GetCheck();
    virtual void SetCheckedBitmaps(HBITMAP normal, HBITMAP hover, HBITMAP pressed,
                                   HBITMAP disabled);

protected:
    HBITMAP CurrentBitmap(const Look& look) const;

    HBITMAP m_checkedBitmaps[4] = {nullptr, nullptr, nullptr, nullptr};
    std::atomic<int> m_nChecked{0};
};

class CheckButtonCtrlEx : public CheckButtonCtrl {
public:
    using CheckButtonCtrl::CheckButtonCtrl;
    int Draw(HDC hdc) override;
    // Offsets from the control's left and top, and sizes.
    virtual void SetBoxRect(int dx, int dy, int cx, int cy);
    virtual void SetTextRect(int dx, int dy, int cx, int cy);

private:
    RECT m_box = {0, 0, 0, 0};   // dx, dy, cx, cy
    RECT m_text = {0, 0, 0, 0};  // dx, dy, cx, cy
};

class HyLinkCtrlEx : public ButtonCtrlEx {
public:
    using ButtonCtrlEx::ButtonCtrlEx;
    int Draw(HDC hdc) override;
    // Used instead of the font while the link is hovered or pressed.
    virtual void SetHoverFont(HFONT font);

private:
    HFONT m_hHoverFont = nullptr;
};

class ProcessCtrl : public CommonCtrl {
public:
    using CommonCtrl::CommonCtrl;
    // A null DC draws through a DC of the parent window.
    int Draw(HDC hdc) override;
    virtual void SetRange(int minimum, int maximum);
    // Stores the position (not clamped) and draws at once; Draw's result.
    virtual int SetPos(int pos);
    virtual void SetBorder(int width, COLORREF colour);
    virtual void SetBarColors(COLORREF done, COLORREF rest);

    // Width of the done part for an inner width; 0 for an empty range.
    static int FilledWidth(int pos, int minimum, int maximum, int innerWidth);

private:
    int DrawInto(HDC hdc);

    int m_nMin = 0;
    int m_nMax = 100;
    std::atomic<int> m_nPos{0};
    int m_nBorderWidth = 0;
    COLORREF m_borderColor = 0;
    COLORREF m_doneColor = 0;
    COLORREF m_restColor = 0;
};
