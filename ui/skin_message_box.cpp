#include "ui/skin_message_box.h"

#include <chrono>
#include <cwchar>

#include "ui/dialog_templates.h"

namespace {

std::atomic<SkinMessageBox*> g_liveBox{nullptr};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kTitleBand = RGB(74, 71, 181);
constexpr COLORREF kButtonBand = RGB(247, 251, 253);
constexpr COLORREF kMessageText = RGB(55, 55, 55);
constexpr int kTitleBandHeight = 36;
constexpr int kButtonBandHeight = 54;

HFONT CreateBoxFont(HWND hwnd) {
    LOGFONTW lf = {};
    HDC hdc = GetDC(hwnd);
    int dpiY = hdc ? GetDeviceCaps(hdc, LOGPIXELSY) : 96;
    if (hdc) {
        ReleaseDC(hwnd, hdc);
    }
    lf.lfHeight = -MulDiv(14, dpiY, 96);
    swprintf(lf.lfFaceName, LF_FACESIZE, L"%ls", L"微软雅黑");
    return CreateFontIndirectW(&lf);
}

// Each box is found through its own window, so that the dispatch cannot reach
// a box that is already gone or a second box shown meanwhile.
INT_PTR CALLBACK SkinMessageBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG && lParam) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    }
    auto* box = reinterpret_cast<SkinMessageBox*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!box) {
        return FALSE;
    }
    return box->DialogProc(hwnd, message, wParam, lParam);
}

}  // namespace

SkinMessageBox* LiveSkinMessageBox() {
    return g_liveBox.load();
}

SkinMessageBox::SkinMessageBox() {
    SetFixedSize(kWidth, kHeight);
}

SkinMessageBox::~SkinMessageBox() {
    JoinRepaintThread();
    for (HBITMAP bitmap : m_bitmaps) {
        if (bitmap) {
            DeleteObject(bitmap);
        }
    }
    if (m_hFont) {
        DeleteObject(m_hFont);
    }
}

void SkinMessageBox::SetTexts(const wchar_t* title, const wchar_t* message,
                              const wchar_t* buttonText) {
    m_strTitle = title ? title : L"";
    m_strMessage = message ? message : L"";
    m_strButton = buttonText ? buttonText : L"";
}

int SkinMessageBox::OnInitDialog(HWND hwnd) {
    CommonDlg::OnInitDialog(hwnd);
    CreateControls();
    StartRepaintThread();
    return 1;
}

template <class T>
T* SkinMessageBox::Add(int left, int top, int right, int bottom) {
    m_controls.push_back(std::make_unique<T>(m_hWnd, left, top, right, bottom));
    return static_cast<T*>(m_controls.back().get());
}

void SkinMessageBox::CreateControls() {
    m_hFont = CreateBoxFont(m_hWnd);
    auto load = [this](int id) {
        HBITMAP bitmap = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
        m_bitmaps.push_back(bitmap);
        return bitmap;
    };

    StaticCtrl* title = Add<StaticCtrl>(10, 5, 320, 30);
    title->SetFont(m_hFont);
    title->SetTextColor(kWhite);
    title->SetTextFormat(DT_VCENTER | DT_SINGLELINE);
    title->SetText(m_strTitle.c_str());

    ButtonCtrlEx* close = Add<ButtonCtrlEx>(401, 0, 418, 21);
    close->SetDrawBitmap(1);
    close->SetID(kIdBoxClose);
    close->SetFont(m_hFont);
    close->SetTextColor(kWhite);
    close->SetStateColors(kWhite, kWhite, kWhite, kWhite);
    HBITMAP closeNormal = load(IDB_MSGBOX_CLOSE_NORMAL);
    HBITMAP closeHover = load(IDB_MSGBOX_CLOSE_HOVER);
    close->SetStateBitmaps(closeNormal, closeHover, load(IDB_MSGBOX_CLOSE_PRESSED), nullptr);

    StaticCtrl* icon = Add<StaticCtrl>(32, 90, 62, 120);
    icon->SetDrawBitmap(1);
    icon->SetStateBitmaps(load(IDB_MSGBOX_ICON), nullptr, nullptr, nullptr);

    StaticCtrl* message = Add<StaticCtrl>(72, 36, 388, 156);
    message->SetFont(m_hFont);
    message->SetTextColor(kMessageText);
    message->SetTextFormat(DT_EDITCONTROL | DT_WORDBREAK);
    message->SetText(m_strMessage.c_str());

    ButtonCtrlEx* button = Add<ButtonCtrlEx>(160, 167, 260, 199);
    button->SetDrawBitmap(1);
    button->SetID(kIdBoxButton);
    button->SetFont(m_hFont);
    button->SetTextColor(kWhite);
    button->SetStateColors(kWhite, kWhite, kWhite, kWhite);
    HBITMAP buttonNormal = load(IDB_MSGBOX_BUTTON_NORMAL);
    HBITMAP buttonHover = load(IDB_MSGBOX_BUTTON_HOVER);
    button->SetStateBitmaps(buttonNormal, buttonHover, load(IDB_MSGBOX_BUTTON_PRESSED), nullptr);
    button->SetText(m_strButton.c_str());

    m_buttons = {close, button};
    m_drawList = {title, icon, message, close, button};
    m_focus.SetOwner(m_hWnd);
    for (ButtonCtrlEx* b : m_buttons) {
        m_focus.Add(b);
    }
}

void SkinMessageBox::StartRepaintThread() {
    if (m_paintThread.joinable()) {
        return;
    }
    m_bStop = false;
    m_bPainting = true;
    m_paintThread = std::thread([this] { RepaintLoop(); });
}

void SkinMessageBox::RepaintLoop() {
    std::unique_lock<std::mutex> lock(m_stopLock);
    while (!m_bStop) {
        lock.unlock();
        OnPaint();
        lock.lock();
        m_stopWake.wait_for(lock, std::chrono::milliseconds(kRepaintMs),
                            [this] { return m_bStop.load(); });
    }
    m_bPainting = false;
    m_stopWake.notify_all();
}

void SkinMessageBox::JoinRepaintThread() {
    {
        std::lock_guard<std::mutex> guard(m_stopLock);
        m_bStop = true;
    }
    m_stopWake.notify_all();
    if (m_paintThread.joinable()) {
        m_paintThread.join();
    }
}

int SkinMessageBox::OnClose() {
    std::unique_lock<std::mutex> lock(m_stopLock);
    m_bStop = true;
    m_stopWake.notify_all();
    m_stopWake.wait_for(lock, std::chrono::milliseconds(1000),
                        [this] { return !m_bPainting.load(); });
    return 0;
}

void SkinMessageBox::OnPaint() {
    HDC hdc = m_hWnd ? GetDC(m_hWnd) : nullptr;
    if (!hdc) {
        return;
    }
    RECT client{0, 0, 0, 0};
    GetClientRect(m_hWnd, &client);
    HDC memory = CreateCompatibleDC(hdc);
    HBITMAP frame = CreateCompatibleBitmap(hdc, kWidth, client.bottom - client.top);
    HGDIOBJ old = SelectObject(memory, frame);

    FillColor(memory, &client, kWhite);
    RECT title{client.left, client.top, client.right, kTitleBandHeight};
    FillColor(memory, &title, kTitleBand);
    RECT footer{client.left, client.bottom - kButtonBandHeight, client.right, client.bottom};
    FillColor(memory, &footer, kButtonBand);
    for (CommonCtrl* ctrl : m_drawList) {
        ctrl->Draw(memory);
    }
    BitBlt(hdc, 0, 0, kWidth, kHeight, memory, 0, 0, SRCCOPY);

    SelectObject(memory, old);
    DeleteObject(frame);
    DeleteDC(memory);
    ReleaseDC(m_hWnd, hdc);
}

int SkinMessageBox::SumOver(int (ButtonCtrlEx::*handler)(int, int), int x, int y) {
    int sum = 0;
    for (ButtonCtrlEx* button : m_buttons) {
        sum += (button->*handler)(x, y);
    }
    return sum;
}

int SkinMessageBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    switch (message) {
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEMOVE:
            if ((wParam & MK_LBUTTON) || m_bMouseDown) {
                SumOver(&ButtonCtrlEx::OnLButtonDown, x, y);
            } else {
                SumOver(&ButtonCtrlEx::OnLButtonUp, x, y);
            }
            SumOver(&ButtonCtrlEx::OnMouseMove, x, y);
            return 0;
        case WM_LBUTTONDOWN: {
            int taken = SumOver(&ButtonCtrlEx::OnLButtonDown, x, y);
            for (ButtonCtrlEx* b : m_buttons) {
                if (b->GetState() == kStatePressed) {
                    m_focus.Take(b);  // a clicked button holds the focus, as on Windows
                }
            }
            // A press beside the buttons drags the window, and the drag swallows the
            // release: remembering that press would make plain moves look like presses.
            m_bMouseDown = taken != 0;
            return taken;
        }
        case WM_LBUTTONUP:
            m_bMouseDown = false;
            return SumOver(&ButtonCtrlEx::OnLButtonUp, x, y);
        default:
            return OnKeyboard(message, wParam, lParam);
    }
}

// Tab moves between the close box and the button, Space and Return press the
// focused one (Return the button when none is focused), and Escape, which the
// dialog manager sends as IDCANCEL, closes the box as its button does: the
// repaint thread is stopped before the close mask ends the dialog.
int SkinMessageBox::OnKeyboard(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT answer = 0;
    if (m_focus.HandleMessage(message, wParam, lParam, answer)) {
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, answer);
        return 1;
    }
    if (message == DM_GETDEFID) {
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, MAKELONG(kIdBoxButton, DC_HASDEFID));
        return 1;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)) {
        OnClose();
    }
    return 0;
}

int SkinMessageBox::OnCommand(WPARAM wParam, LPARAM) {
    switch (int(wParam)) {
        case 1628:
        case 1629:
        case 1630:
        case 1612:
        case 1626:
            SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
            return 1;
        default:
            return 0;
    }
}

int MySkinMessageBox(HWND parent, const wchar_t* title, const wchar_t* message,
                     const wchar_t* buttonText) {
    RegisterUiDialogTemplates();
    auto box = std::make_unique<SkinMessageBox>();
    box->SetTexts(title, message, buttonText);
    SkinMessageBox* outer = g_liveBox.exchange(box.get());
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MESSAGEBOX), parent,
                    SkinMessageBoxProc, reinterpret_cast<LPARAM>(box.get()));
    box.reset();  // joins the repaint thread first
    g_liveBox = outer;
    return kMessageBoxResult;
}
