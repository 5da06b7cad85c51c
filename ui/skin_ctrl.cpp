#include "ui/skin_ctrl.h"

#include <algorithm>

namespace {

// The per-state tables are written under the control's lock, all four at once.
template <class T>
void SetFour(std::mutex& lock, T (&table)[4], T normal, T hover, T pressed, T disabled) {
    std::lock_guard<std::mutex> guard(lock);
    table[0] = normal;
    table[1] = hover;
    table[2] = pressed;
    table[3] = disabled;
}

}  // namespace

void CommonRect::Set(int l, int t, int r, int b) {
    left = l;
    top = t;
    right = r;
    bottom = b;
    Recompute();
}

void CommonRect::Deflate(int n) {
    left = std::max(0, left + n);
    top = std::max(0, top + n);
    right -= n;
    bottom -= n;
    Recompute();
}

void CommonRect::Recompute() {
    width = right - left;
    height = bottom - top;
    local = RECT{0, 0, width, height};
}

CommonCtrl::CommonCtrl(HWND parent, int left, int top, int right, int bottom)
    : m_hParent(parent), m_rect(left, top, right, bottom) {}

CommonCtrl::~CommonCtrl() = default;

void CommonCtrl::SetID(int id) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nId = id;
}

int CommonCtrl::GetID() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nId;
}

void CommonCtrl::SetText(const wchar_t* text) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_strText = text ? text : L"";
}

std::wstring CommonCtrl::GetText() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_strText;
}

void CommonCtrl::SetFont(HFONT font) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_hFont = font;
}

void CommonCtrl::SetTextColor(COLORREF colour) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_textColor = colour;
}

void CommonCtrl::SetTextFormat(UINT format) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nFormat = format;
}

void CommonCtrl::FillColor(HDC hdc, const RECT* rect, COLORREF colour) {
    if (!hdc || !rect) {
        return;
    }
    HBRUSH brush = CreateSolidBrush(colour);
    ::FillRect(hdc, rect, brush);
    DeleteObject(brush);
}

void CommonCtrl::SetVisible(bool visible) {
    m_bVisible = visible;
}

bool CommonCtrl::IsVisible() {
    return m_bVisible;
}

void CommonCtrl::SetEnable(bool enable) {
    m_bEnabled = enable;
}

bool CommonCtrl::IsEnable() {
    return m_bEnabled;
}

HWND CommonCtrl::GetParentWnd() {
    return m_hParent;
}

CommonRect* CommonCtrl::GetRect() {
    return &m_rect;
}

void CommonCtrl::SetRect(const RECT& rect) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_rect.Set(rect.left, rect.top, rect.right, rect.bottom);
}

bool CommonCtrl::PtInRect(int x, int y) {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_rect.left <= x && x <= m_rect.right && m_rect.top <= y && y <= m_rect.bottom;
}

void CommonCtrl::SetDrawBitmap(int draw) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nDrawBitmap = draw;
}

int CommonCtrl::GetDrawBitmap() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nDrawBitmap;
}

void CommonCtrl::SetStateColors(COLORREF normal, COLORREF hover, COLORREF pressed,
                                COLORREF disabled) {
    SetFour(m_lock, m_stateColors, normal, hover, pressed, disabled);
}

void CommonCtrl::SetStateBitmaps(HBITMAP normal, HBITMAP hover, HBITMAP pressed, HBITMAP disabled) {
    SetFour(m_lock, m_stateBitmaps, normal, hover, pressed, disabled);
}

int CommonCtrl::DrawBitmapAt(HDC hdc, HBITMAP bitmap, int x, int y, int cx, int cy) {
    if (!hdc || !bitmap) {
        return 0;
    }
    HDC memory = CreateCompatibleDC(hdc);
    if (!memory) {
        return 0;
    }
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(hdc, x, y, cx, cy, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    return 1;
}

int CommonCtrl::DrawBitmapInRect(HDC hdc, HBITMAP bitmap) {
    CommonRect r = TakeLook().rect;
    return DrawBitmapAt(hdc, bitmap, r.left, r.top, r.width, r.height);
}

CommonCtrl::Look CommonCtrl::TakeLook() const {
    std::lock_guard<std::mutex> guard(m_lock);
    Look look;
    look.state = std::clamp(m_nState.load(), 0, 3);
    std::copy(m_stateColors, m_stateColors + 4, look.stateColors);
    std::copy(m_stateBitmaps, m_stateBitmaps + 4, look.stateBitmaps);
    look.format = m_nFormat;
    look.rect = m_rect;
    look.text = m_strText;
    look.drawBitmap = m_nDrawBitmap;
    look.font = m_hFont;
    look.textColor = m_textColor;
    return look;
}

int CommonCtrl::DrawTextStep(HDC hdc, const std::wstring& text, RECT rect, UINT format, HFONT font,
                             COLORREF colour) {
    SetBkMode(hdc, TRANSPARENT);
    ::SetTextColor(hdc, colour);
    if (!font) {
        return DrawTextW(hdc, text.c_str(), -1, &rect, format);
    }
    HGDIOBJ old = SelectObject(hdc, font);
    int height = DrawTextW(hdc, text.c_str(), -1, &rect, format);
    SelectObject(hdc, old);
    InvalidateRect(m_hParent, &rect, FALSE);
    return height;
}

int CommonCtrl::DrawOrParentDc(HDC hdc, const std::function<int(HDC)>& draw) {
    if (!Visible()) {
        return 0;
    }
    if (hdc) {
        return draw(hdc);
    }
    HDC window = GetDC(m_hParent);
    if (!window) {
        return 0;
    }
    int result = draw(window);
    ReleaseDC(m_hParent, window);
    return result;
}

// ---------------------------------------------------------------- StaticCtrl

int StaticCtrl::Draw(HDC hdc) {
    return DrawOrParentDc(hdc, [this](HDC dc) { return DrawInto(dc); });
}

int StaticCtrl::DrawInto(HDC hdc) {
    Look look = TakeLook();
    if (look.drawBitmap) {
        DrawBitmapInRect(hdc, look.stateBitmaps[kStateNormal]);
    }
    RECT box = look.rect.ToRect();
    if (look.format & DT_EDITCONTROL) {
        // Wrapped text starts at the top; move it down so that it sits in the middle.
        RECT measured = box;
        HGDIOBJ old = look.font ? SelectObject(hdc, look.font) : nullptr;
        DrawTextW(hdc, look.text.c_str(), -1, &measured, look.format | DT_CALCRECT);
        if (look.font) {
            SelectObject(hdc, old);
        }
        int textHeight = measured.bottom - measured.top;
        if (textHeight < look.rect.height) {
            box.top += (look.rect.height - textHeight) / 2;
        }
    }
    DrawTextStep(hdc, look.text, box, look.format, look.font, look.textColor);
    return 1;
}

// -------------------------------------------------------------- ButtonCtrlEx

ButtonCtrlEx::ButtonCtrlEx(HWND parent, int left, int top, int right, int bottom)
    : CommonCtrl(parent, left, top, right, bottom) {
    SetStateColors(RGB(51, 51, 51), RGB(102, 102, 102), RGB(17, 17, 17), RGB(153, 153, 153));
}

void ButtonCtrlEx::SetEnable(bool enable) {
    CommonCtrl::SetEnable(enable);
    if (!enable) {
        m_nState = kStateDisabled;
    }
}

int ButtonCtrlEx::DrawButton(HDC hdc, Look& look, HBITMAP background, RECT textRect, HFONT font,
                             int cueInset) {
    if (look.drawBitmap) {
        DrawBitmapInRect(hdc, background);
    }
    look.textColor = look.stateColors[look.state];
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_textColor = look.textColor;
    }
    if (!look.text.empty()) {
        DrawTextStep(hdc, look.text, textRect, look.format, font, look.textColor);
    }
    if (m_bFocusCue) {
        RECT cue = look.rect.ToRect();
        InflateRect(&cue, -cueInset, -cueInset);
        DrawFocusCue(hdc, cue, look.textColor);
    }
    return 1;
}

// Every other pixel of the rectangle's edge, as the system's focus rectangle.
void ButtonCtrlEx::DrawFocusCue(HDC hdc, const RECT& rect, COLORREF colour) {
    if (rect.right - rect.left < 2 || rect.bottom - rect.top < 2) {
        return;
    }
    const int right = rect.right - 1, bottom = rect.bottom - 1;
    auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0) {
            SetPixel(hdc, x, y, colour);
        }
    };
    for (int x = rect.left; x <= right; ++x) {
        dot(x, rect.top);
        dot(x, bottom);
    }
    for (int y = rect.top + 1; y < bottom; ++y) {
        dot(rect.left, y);
        dot(right, y);
    }
}

int ButtonCtrlEx::Draw(HDC hdc) {
    if (!Visible() || !hdc) {
        return 0;
    }
    Look look = TakeLook();
    return DrawButton(hdc, look, look.stateBitmaps[look.state], look.rect.ToRect(), look.font);
}

int ButtonCtrlEx::OnMouseMove(int x, int y) {
    if (!Live()) {
        return 0;
    }
    if (PtInRect(x, y)) {
        m_nState = m_bLatch ? kStatePressed : kStateHover;
        return 1;
    }
    m_nState = kStateNormal;
    m_bLatch = false;
    return 0;
}

int ButtonCtrlEx::OnLButtonDown(int x, int y) {
    if (!Live()) {
        return 0;
    }
    if (PtInRect(x, y)) {
        m_bLatch = true;
        m_nState = kStatePressed;
        return 1;
    }
    m_nState = kStateNormal;
    m_bLatch = false;
    return 0;
}

int ButtonCtrlEx::OnLButtonUp(int x, int y) {
    if (!Live() || !m_bLatch) {
        return 0;
    }
    m_bLatch = false;
    if (!PtInRect(x, y)) {
        m_nState = kStateNormal;
        return 0;
    }
    m_nState = kStateHover;
    SendMessageW(m_hParent, WM_COMMAND, WPARAM(GetID()), 0);
    return 1;
}

// --------------------------------------------------------- ButtonColorCtrlEx

void ButtonColorCtrlEx::SetBorderColors(COLORREF normal, COLORREF hover, COLORREF pressed,
                                        COLORREF disabled) {
    SetFour(m_lock, m_borderColors, normal, hover, pressed, disabled);
}

void ButtonColorCtrlEx::SetBorderWidth(int width) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nBorderWidth = width;
}

void ButtonColorCtrlEx::SetFillColors(COLORREF normal, COLORREF hover, COLORREF pressed,
                                      COLORREF disabled) {
    SetFour(m_lock, m_fillColors, normal, hover, pressed, disabled);
}

int ButtonColorCtrlEx::Draw(HDC hdc) {
    if (!Visible() || !hdc) {
        return 0;
    }
    Look look = TakeLook();
    COLORREF border, fill;
    int width;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        border = m_borderColors[look.state];
        fill = m_fillColors[look.state];
        width = m_nBorderWidth;
    }
    RECT whole = look.rect.ToRect();
    // 0 means "no colour": pure black cannot be used for a frame or a fill.
    if (border) {
        FillColor(hdc, &whole, border);
    }
    if (fill) {
        RECT inner{whole.left + width, whole.top + width, whole.right - width,
                   whole.bottom - width};
        FillColor(hdc, &inner, fill);
    }
    look.drawBitmap = 0;
    return DrawButton(hdc, look, nullptr, whole, look.font, width + 1);
}

// ----------------------------------------------------------- CheckButtonCtrl

void CheckButtonCtrl::SetCheck(int checked) {
    m_nChecked = checked;
}

int CheckButtonCtrl::GetCheck() {
    return m_nChecked;
}

void CheckButtonCtrl::SetCheckedBitmaps(HBITMAP normal, HBITMAP hover, HBITMAP pressed,
                                        HBITMAP disabled) {
    SetFour(m_lock, m_checkedBitmaps, normal, hover, pressed, disabled);
}

HBITMAP CheckButtonCtrl::CurrentBitmap(const Look& look) const {
    if (!m_nChecked) {
        return look.stateBitmaps[look.state];
    }
    std::lock_guard<std::mutex> guard(m_lock);
    return m_checkedBitmaps[look.state];
}

int CheckButtonCtrl::Draw(HDC hdc) {
    if (!Visible() || !hdc) {
        return 0;
    }
    Look look = TakeLook();
    return DrawButton(hdc, look, CurrentBitmap(look), look.rect.ToRect(), look.font, 0);
}

// --------------------------------------------------------- CheckButtonCtrlEx

void CheckButtonCtrlEx::SetBoxRect(int dx, int dy, int cx, int cy) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_box = RECT{dx, dy, cx, cy};
}

void CheckButtonCtrlEx::SetTextRect(int dx, int dy, int cx, int cy) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_text = RECT{dx, dy, cx, cy};
}

int CheckButtonCtrlEx::Draw(HDC hdc) {
    if (!Visible() || !hdc) {
        return 0;
    }
    Look look = TakeLook();
    RECT box, text;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        box = m_box;
        text = m_text;
    }
    const int left = look.rect.left;
    const int top = look.rect.top;
    if (look.drawBitmap) {
        DrawBitmapAt(hdc, CurrentBitmap(look), left + box.left, top + box.top, box.right,
                     box.bottom);
    }
    RECT textRect{left + text.left, top + text.top, left + text.left + text.right,
                  top + text.top + text.bottom};
    look.drawBitmap = 0;
    return DrawButton(hdc, look, nullptr, textRect, look.font, 0);
}

// -------------------------------------------------------------- HyLinkCtrlEx

void HyLinkCtrlEx::SetHoverFont(HFONT font) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_hHoverFont = font;
}

int HyLinkCtrlEx::Draw(HDC hdc) {
    if (!Visible() || !hdc) {
        return 0;
    }
    Look look = TakeLook();
    HFONT font = look.font;
    if (look.state == kStateHover || look.state == kStatePressed) {
        std::lock_guard<std::mutex> guard(m_lock);
        font = m_hHoverFont;
    }
    return DrawButton(hdc, look, look.stateBitmaps[look.state], look.rect.ToRect(), font, 0);
}

// --------------------------------------------------------------- ProcessCtrl

void ProcessCtrl::SetRange(int minimum, int maximum) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nMin = minimum;
    m_nMax = maximum;
}

int ProcessCtrl::SetPos(int pos) {
    m_nPos = pos;
    return Draw(nullptr);
}

void ProcessCtrl::SetBorder(int width, COLORREF colour) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nBorderWidth = width;
    m_borderColor = colour;
}

void ProcessCtrl::SetBarColors(COLORREF done, COLORREF rest) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_doneColor = done;
    m_restColor = rest;
}

int ProcessCtrl::FilledWidth(int pos, int minimum, int maximum, int innerWidth) {
    if (maximum == minimum) {
        return 0;  // an unset range would divide by zero
    }
    double filled = (double(pos) - minimum) * 1.0 * innerWidth / (double(maximum) - minimum);
    // Keep far-out positions representable; the bar itself is not clamped.
    filled = std::clamp(filled, -1e9, 1e9);
    return int(filled);
}

int ProcessCtrl::Draw(HDC hdc) {
    return DrawOrParentDc(hdc, [this](HDC dc) { return DrawInto(dc); });
}

int ProcessCtrl::DrawInto(HDC hdc) {
    Look look = TakeLook();
    int minimum, maximum, borderWidth;
    COLORREF border, done, rest;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        minimum = m_nMin;
        maximum = m_nMax;
        borderWidth = m_nBorderWidth;
        border = m_borderColor;
        done = m_doneColor;
        rest = m_restColor;
    }
    if (borderWidth > 0) {
        RECT whole = look.rect.ToRect();
        FillColor(hdc, &whole, border);
    }
    CommonRect inner = look.rect;
    inner.Deflate(borderWidth);
    int filled = FilledWidth(m_nPos, minimum, maximum, inner.width);
    if (look.drawBitmap) {
        DrawBitmapAt(hdc, look.stateBitmaps[kStateNormal], inner.left, inner.top, inner.width,
                     inner.height);
        DrawBitmapAt(hdc, look.stateBitmaps[kStateHover], inner.left, inner.top, filled,
                     inner.height);
        return 1;
    }
    RECT doneRect{inner.left, inner.top, inner.left + filled, inner.bottom};
    RECT restRect{inner.left + filled, inner.top, inner.right, inner.bottom};
    FillColor(hdc, &doneRect, done);
    FillColor(hdc, &restRect, rest);
    return 1;
}
