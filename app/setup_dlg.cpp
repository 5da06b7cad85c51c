// The installer window: controls, pages, commands and mouse handling.
#include "app/setup_dlg.h"

#include <cwctype>

#include "app/product_facts_app.h"
#include "app/product_info.h"
#include "app/startup.h"
#include "app/workflow_rules.h"
#include "download/downloader.h"
#include "install/registration.h"
#include "lang/lang.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"
#include "report/machine_identity.h"
#include "resources/resource_ids.h"

namespace {

constexpr int kSetupIconId = 107;
constexpr DWORD kEditStyle = 0x50800024;  // child, visible, border, multi-line, bit 0x20
constexpr COLORREF kLabelGrey = 0x777777;
constexpr COLORREF kLinkColour = 0xE58C19;

HFONT MakeFont(LONG height, const wchar_t* face, bool underline = false) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfUnderline = underline ? 1 : 0;
    wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}

}  // namespace

SetupDlg::SetupDlg(std::shared_ptr<IProductInfo> product, SetupTuning tuning)
    : m_product(std::move(product)),
      m_tuning(std::move(tuning)),
      m_workflow(m_product, m_tuning, *this),
      m_painter(m_workflow, *this, *this) {
    SetFixedSize(kSetupWidth, kSetupHeight);
    // IDOK and IDCANCEL (Return and Escape) must not end the window past
    // OnClose and its final report; OnCommand gives them their meaning.
    SetCloseMask(0);
    m_nCountdown = m_tuning.nCountdownStart;
}

SetupDlg::~SetupDlg() {
    StopThreads();
    m_controls.clear();
    for (HBITMAP b : m_ownedBitmaps) {
        DeleteObject(b);
    }
    for (HFONT f : {m_fonts.percent, m_fonts.status, m_fonts.button, m_fonts.label,
                    m_fonts.linkHover, m_fonts.version}) {
        if (f) {
            DeleteObject(f);
        }
    }
}

int SetupDlg::OnInitDialog(HWND hwnd) {
    RunMachineGuid();
    CommonDlg::OnInitDialog(hwnd);
    SetWindowTextA(hwnd, (GetProductTitleA() + " Installer").c_str());
    if (HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kSetupIconId))) {
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    m_workflow.SetPackageFile(L"");
    m_bInitialised = 1;
    SetLangWebHost(GetWebHostW().c_str());
    SelectLanguage(GetProductTitleW().c_str(), 0,
                   ReadDebugSettings(GetDebugConfigPath()).testLanguage);
    CreateFonts();
    LoadBitmaps();
    m_workflow.SetHeader(MakePackageHeader(MakeInstallFacts(*m_product)));
    int cfgFlag = -1;
    ReadSetupOptions(CurrentHeader(), CurrentFacts(), cfgFlag);
    m_workflow.SetCfgFlag(cfgFlag);
    CreateControls();
    m_pVersion->SetText(m_product->GetVersionLabel());
    m_pVersion->SetVisible(true);
    StartWorkflow();
    return 1;
}

void SetupDlg::CreateFonts() {
    HDC dc = GetDC(m_hWnd);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(m_hWnd, dc);
    m_fonts.percent = MakeFont(-MulDiv(22, dpi, 72), L"微软雅黑");
    m_fonts.status = MakeFont(-MulDiv(14, dpi, 96), L"ArialMT");
    m_fonts.button = MakeFont(-MulDiv(20, dpi, 72), L"微软雅黑");
    m_fonts.label = MakeFont(-MulDiv(14, dpi, 96), L"微软雅黑");
    m_fonts.linkHover = MakeFont(-MulDiv(14, dpi, 96), L"微软雅黑", true);
    m_fonts.version = MakeFont(-MulDiv(12, dpi, 96), L"微软雅黑");
}

HBITMAP SetupDlg::Bitmap(int id) const {
    return id > 0 && id < static_cast<int>(m_bitmapById.size()) ? m_bitmapById[id] : nullptr;
}

// Every bitmap the window uses is loaded once; the controls borrow them.
void SetupDlg::LoadBitmaps() {
    // clang-format off
    static const int kIds[] = {
        IDB_INSTALL_LOGO, IDB_LARGE_LOGO_OUTLINE, IDB_PRODUCT_LOGO, IDB_PRODUCT_LOGO2,
        IDB_CLOSE_NORMAL, IDB_CLOSE_PRESSED, IDB_CLOSE_HOVER,
        IDB_MIN_NORMAL, IDB_MIN_PRESSED, IDB_MIN_HOVER,
        IDB_CLOSE_FINISHED, IDB_MIN_FINISHED, IDB_MIN_FINISHED_PRESSED, IDB_MIN_FINISHED_HOVER,
        IDB_CHECK_OFF, IDB_CHECK_OFF_HOVER, IDB_CHECK_ON, IDB_CHECK_ON_HOVER,
        IDB_CUSTOM_CLOSED, IDB_CUSTOM_CLOSED_HOVER, IDB_CUSTOM_OPEN, IDB_CUSTOM_OPEN_HOVER,
        IDB_BROWSE_PRESSED, IDB_BROWSE_HOVER, IDB_BROWSE_NORMAL,
        IDB_FAILED_LOGO, IDB_LARGE_LOGO_COLOUR, IDB_LARGE_LOGO_DONE, IDB_FINISHED_BACKGROUND,
        IDB_PRODUCT_LOGO_X64, IDB_PRODUCT_LOGO2_X64, IDB_LARGE_LOGO_GREY};
    // clang-format on
    for (int id : kIds) {
        if (HBITMAP b = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id))) {
            m_bitmapById[id] = b;
            m_ownedBitmaps.push_back(b);
        }
    }
    m_painter.LoadImages([this](int id) { return Bitmap(id); });
}

template <class T>
T* SetupDlg::AddControl(std::unique_ptr<T> control, bool mouse, bool draw) {
    T* raw = control.get();
    m_controls.push_back(std::move(control));
    if constexpr (std::is_base_of<ButtonCtrlEx, T>::value) {
        if (mouse) {
            m_mouseList.push_back(raw);
            m_focus.Add(raw);
        }
    }
    if (draw) {
        m_drawList.push_back(raw);
    }
    return raw;
}

void SetupDlg::PlaceStates(ButtonCtrlEx& button, int normal, int hover, int pressed) {
    button.SetDrawBitmap(1);
    button.SetStateBitmaps(Bitmap(normal), Bitmap(hover), Bitmap(pressed), nullptr);
}

void SetupDlg::CreateControls() {
    m_mouseList.clear();
    m_drawList.clear();
    m_focus = SkinFocus(m_hWnd);
    const auto colours = GetWindowColorTable();
    const int m4 = GetLangMetric(kMetricMainButton);
    const int left = (kSetupWidth - m4) / 2;
    m_rcMainButton = RECT{left, 354, left + m4, 394};
    m_pBtnMain = AddControl(std::make_unique<ButtonColorCtrlEx>(m_hWnd, left, 354, left + m4, 394),
                            true, false);
    m_pBtnMain->SetID(kCmdMain);
    m_pBtnMain->SetFont(m_fonts.button);
    m_pBtnMain->SetText(GetLangString(kStrInstall));
    m_pBtnMain->SetStateColors(colours[0], colours[1], colours[2], colours[3]);
    m_pBtnMain->SetBorderColors(colours[4], colours[5], colours[6], colours[7]);
    m_pBtnMain->SetFillColors(colours[8], colours[9], colours[10], colours[11]);
    m_pBtnMain->SetBorderWidth(2);

    const int x = m_painter.Geometry().logoX, y = m_painter.Geometry().logoY;
    m_pLargeLogo =
        AddControl(std::make_unique<StaticCtrl>(m_hWnd, x, y, x + 311, y + 311), false, true);
    m_pLargeLogo->SetDrawBitmap(1);
    m_pLargeLogo->SetStateBitmaps(Bitmap(IDB_LARGE_LOGO_GREY), nullptr, nullptr, nullptr);

    m_pCountdown = AddControl(std::make_unique<StaticCtrl>(m_hWnd, 3, 311, 619, 348), false, true);
    m_pCountdown->SetFont(m_fonts.label);
    m_pCountdown->SetTextColor(0x373737);
    m_pCountdown->SetStateColors(0x373737, 0x373737, 0x373737, 0x373737);
    m_pCountdown->SetTextFormat(DT_CENTER | DT_BOTTOM | DT_WORDBREAK);

    ChooseInstallFolder();
    CreateCustomControls();
    ShowCustomPage(false);

    m_pBtnClose = AddControl(std::make_unique<ButtonCtrlEx>(m_hWnd, 600, 0, 617, 21), true, false);
    m_pBtnClose->SetID(kCmdClose);
    PlaceStates(*m_pBtnClose, IDB_CLOSE_NORMAL, IDB_CLOSE_HOVER, IDB_CLOSE_PRESSED);
    m_pBtnMin = AddControl(std::make_unique<ButtonCtrlEx>(m_hWnd, 580, 0, 597, 21), true, false);
    m_pBtnMin->SetID(kCmdMinimise);
    PlaceStates(*m_pBtnMin, IDB_MIN_NORMAL, IDB_MIN_HOVER, IDB_MIN_PRESSED);

    m_pLogo = AddControl(std::make_unique<StaticCtrl>(m_hWnd, 0, 0, 206, 45), false, true);
    m_pLogo->SetDrawBitmap(1);
    m_pLogo->SetStateBitmaps(Bitmap(m_product->GetLogoBitmapId()), nullptr, nullptr, nullptr);
    m_pLogo2 = AddControl(std::make_unique<StaticCtrl>(m_hWnd, 0, 0, 206, 45), false, true);
    m_pLogo2->SetDrawBitmap(1);
    m_pLogo2->SetStateBitmaps(Bitmap(m_product->GetLogoBitmapId2()), nullptr, nullptr, nullptr);
    m_pLogo2->SetVisible(false);

    m_pVersion = AddControl(std::make_unique<StaticCtrl>(m_hWnd, 13, 39, 213, 59), false, true);
    m_pVersion->SetFont(m_fonts.version);
    m_pVersion->SetTextColor(0xBFBFBF);
    m_pVersion->SetStateColors(0xBFBFBF, 0xBFBFBF, 0xBFBFBF, 0xBFBFBF);
    m_pVersion->SetTextFormat(DT_VCENTER | DT_SINGLELINE);
    m_pVersion->SetVisible(false);

    UpdateCtrlStatus(WindowPage::kInitial);
    for (ButtonCtrlEx* c : m_mouseList) {
        m_drawList.push_back(c);
    }

    PaintScene scene;
    scene.hwnd = m_hWnd;
    scene.drawList = &m_drawList;
    scene.mainButton = m_pBtnMain;
    scene.closeButton = m_pBtnClose;
    scene.percentFont = m_fonts.percent;
    scene.statusFont = m_fonts.status;
    scene.finishedBackground = Bitmap(IDB_FINISHED_BACKGROUND);
    scene.hasEditBox = m_hEditDir != nullptr;
    scene.customOpen = &m_bCustomOpen;
    m_painter.SetScene(scene);
}

void SetupDlg::ChooseInstallFolder() {
    const std::wstring old = AnsiToWide(FindOldInstallPath(CurrentHeader(), CurrentFacts()));
    if (!old.empty() && PathFileExists(old)) {
        m_workflow.SetInstallDir(old);
        return;
    }
    const PackageHeader header = CurrentHeader();
    const std::wstring relative =
        JoinPath(GetCompanyFolderNameW(), AnsiToWide(HeaderText(header.szRegistryName)));
    wchar_t buffer[kMaxPath] = L"";
    GetDefaultProgramPath(buffer, relative.c_str(), false, header.nX64 != 0);
    m_workflow.SetInstallDir(buffer);
}

// A check box of the custom panel in the licence box's look.
static void StyleOptionBox(CheckButtonCtrlEx& box, HFONT font, HBITMAP const (&bm)[6]) {
    box.SetFont(font);
    box.SetStateColors(kLabelGrey, kLabelGrey, kLabelGrey, kLabelGrey);
    box.SetTextFormat(DT_VCENTER | DT_SINGLELINE);
    box.SetDrawBitmap(1);
    box.SetStateBitmaps(bm[0], bm[1], bm[2], nullptr);
    box.SetCheckedBitmaps(bm[3], bm[4], bm[5], nullptr);
    box.SetBoxRect(0, 3, 14, 14);
    box.SetTextRect(20, 0, box.GetRect()->width - 20, box.GetRect()->height);
}

static void StyleLink(HyLinkCtrlEx& link, HFONT font, HFONT hover) {
    link.SetFont(font);
    link.SetHoverFont(hover);
    link.SetStateColors(kLinkColour, kLinkColour, kLinkColour, kLinkColour);
    link.SetTextFormat(DT_VCENTER | DT_SINGLELINE);
}

void SetupDlg::CreateCustomControls() {
    m_pChkCustom =
        AddControl(std::make_unique<CheckButtonCtrlEx>(m_hWnd, 474, 359, 609, 385), true, false);
    m_pChkCustom->SetID(kCmdCustom);
    m_pChkCustom->SetText(GetLangString(kStrCustom));
    m_pChkCustom->SetFont(m_fonts.label);
    m_pChkCustom->SetStateColors(0xCEC0A3, 0xE3A378, 0xE3A378, 0xCCCBC2);
    m_pChkCustom->SetTextFormat(DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    m_pChkCustom->SetDrawBitmap(1);
    m_pChkCustom->SetStateBitmaps(Bitmap(IDB_CUSTOM_CLOSED), Bitmap(IDB_CUSTOM_CLOSED_HOVER),
                                  Bitmap(IDB_CUSTOM_CLOSED_HOVER), nullptr);
    m_pChkCustom->SetCheckedBitmaps(Bitmap(IDB_CUSTOM_OPEN), Bitmap(IDB_CUSTOM_OPEN_HOVER),
                                    Bitmap(IDB_CUSTOM_OPEN_HOVER), nullptr);
    m_pChkCustom->SetBoxRect(121, 9, 14, 8);
    m_pChkCustom->SetTextRect(0, 0, 119, 26);

    // Normal, hover, pressed; then the same checked.
    const HBITMAP boxBitmaps[6] = {Bitmap(IDB_CHECK_OFF),      Bitmap(IDB_CHECK_OFF_HOVER),
                                   Bitmap(IDB_CHECK_ON),       Bitmap(IDB_CHECK_ON),
                                   Bitmap(IDB_CHECK_ON_HOVER), Bitmap(IDB_CHECK_OFF)};
    const int m0 = GetLangMetric(kMetricLicenceBox), m1 = GetLangMetric(kMetricLicenceLink);
    const int m2 = GetLangMetric(kMetricExperienceBox), m3 = GetLangMetric(kMetricExperienceLink);
    m_pChkLicence =
        AddControl(std::make_unique<CheckButtonCtrlEx>(m_hWnd, 44, 425, 44 + m0, 445), true, false);
    m_pChkLicence->SetID(kCmdLicence);
    m_pChkLicence->SetText(GetLangString(kStrAccept));
    StyleOptionBox(*m_pChkLicence, m_fonts.label, boxBitmaps);
    m_pChkLicence->SetCheck(1);
    m_pLinkLicence = AddControl(
        std::make_unique<HyLinkCtrlEx>(m_hWnd, 44 + m0, 425, 44 + m0 + m1, 445), true, false);
    m_pLinkLicence->SetID(kCmdLicenceLink);
    m_pLinkLicence->SetText(GetLangString(kStrLicence));
    StyleLink(*m_pLinkLicence, m_fonts.label, m_fonts.linkHover);

    m_hEditDir = CreateWindowExW(0, L"Edit", GetInstallDir().c_str(), kEditStyle, 44, 460, 549 - 44,
                                 486 - 460, m_hWnd, reinterpret_cast<HMENU>(kCmdFolderEdit),
                                 GetModuleHandleW(nullptr), nullptr);
    if (m_hEditDir) {
        SendMessageW(m_hEditDir, WM_SETFONT, reinterpret_cast<WPARAM>(m_fonts.label), 0);
        RECT rc{};
        GetClientRect(m_hEditDir, &rc);
        OffsetRect(&rc, 4, 1);
        SendMessageW(m_hEditDir, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&rc));
        m_focus.AddWindow(m_hEditDir);
    }
    m_pBtnBrowse =
        AddControl(std::make_unique<ButtonCtrlEx>(m_hWnd, 549, 460, 578, 486), true, false);
    m_pBtnBrowse->SetID(kCmdBrowse);
    PlaceStates(*m_pBtnBrowse, IDB_BROWSE_NORMAL, IDB_BROWSE_HOVER, IDB_BROWSE_PRESSED);

    const int cfg = m_workflow.CfgFlag();
    m_pChkDesktop =
        AddControl(std::make_unique<CheckButtonCtrlEx>(m_hWnd, 44, 501, 411, 521), true, false);
    m_pChkDesktop->SetID(kCmdDesktop);
    m_pChkDesktop->SetText(GetLangString(kStrDesktopShortcut));
    StyleOptionBox(*m_pChkDesktop, m_fonts.label, boxBitmaps);
    m_pChkDesktop->SetCheck((cfg & 1) ? 1 : 0);
    m_pChkExperience =
        AddControl(std::make_unique<CheckButtonCtrlEx>(m_hWnd, 44, 536, 44 + m2, 556), true, false);
    m_pChkExperience->SetID(kCmdExperience);
    m_pChkExperience->SetText(GetLangString(kStrJoin));
    StyleOptionBox(*m_pChkExperience, m_fonts.label, boxBitmaps);
    m_pChkExperience->SetCheck((cfg & 2) ? 1 : 0);
    m_pLinkExperience = AddControl(
        std::make_unique<HyLinkCtrlEx>(m_hWnd, 44 + m2, 536, 44 + m2 + m3, 556), true, false);
    m_pLinkExperience->SetID(kCmdExperienceLink);
    m_pLinkExperience->SetText(GetLangString(kStrExperienceProgram));
    StyleLink(*m_pLinkExperience, m_fonts.label, m_fonts.linkHover);
}

void SetupDlg::ShowCustomPage(bool open) {
    if (open) {
        KillTimer(m_hWnd, kCountdownTimer);
        m_pCountdown->SetVisible(false);
    }
    if (m_hEditDir) {
        EnableWindow(m_hEditDir, open);
        ShowWindow(m_hEditDir, open ? SW_SHOW : SW_HIDE);
    }
    for (CommonCtrl* c :
         std::initializer_list<CommonCtrl*>{m_pChkLicence, m_pLinkLicence, m_pBtnBrowse,
                                            m_pChkDesktop, m_pChkExperience, m_pLinkExperience}) {
        c->SetVisible(open);
    }
    m_bCustomOpen = open;
    const int target = open ? kSetupCustomHeight : kSetupHeight;
    RECT rc{};
    GetWindowRect(m_hWnd, &rc);
    if (rc.bottom - rc.top != target) {
        MoveWindow(m_hWnd, rc.left, rc.top, kSetupWidth, target, TRUE);
    }
}

void SetupDlg::UpdateCtrlStatus(WindowPage page) {
    if (!m_bInitialised || !m_pBtnMain) {
        return;
    }
    auto show = [](std::initializer_list<CommonCtrl*> list, bool visible) {
        for (CommonCtrl* c : list) {
            c->SetVisible(visible);
        }
    };
    switch (page) {
        case WindowPage::kInstalling:
            show({m_pBtnClose, m_pBtnMin, m_pBtnMain, m_pVersion, m_pLogo, m_pLogo2, m_pLargeLogo,
                  m_pCountdown},
                 false);
            break;
        case WindowPage::kFinished: {
            show({m_pLogo, m_pLogo2, m_pLargeLogo}, false);
            show({m_pBtnClose, m_pBtnMin}, true);
            PlaceStates(*m_pBtnClose, IDB_CLOSE_FINISHED, IDB_CLOSE_HOVER, IDB_CLOSE_PRESSED);
            PlaceStates(*m_pBtnMin, IDB_MIN_FINISHED, IDB_MIN_FINISHED_HOVER,
                        IDB_MIN_FINISHED_PRESSED);
            RECT wide = m_rcMainButton;
            wide.left -= 100;
            wide.right += 100;
            m_pBtnMain->SetRect(wide);
            m_pBtnMain->SetStateColors(0xBF5300, 0x9300DF, 0xBF5300, 0xD7D7D7);
            m_pBtnMain->SetBorderColors(0, 0, 0, 0);
            m_pBtnMain->SetFillColors(0, 0, 0, 0);
            m_pBtnMain->SetText(GetLangString(kStrStartProduct));
            m_pBtnMain->SetVisible(m_workflow.ShowMainButton());
            break;
        }
        case WindowPage::kFailed:
            show({m_pLogo2}, false);
            show({m_pBtnClose, m_pLogo, m_pLargeLogo, m_pBtnMain}, true);
            m_pBtnMain->SetText(GetLangString(kStrTryAgain));
            break;
        case WindowPage::kInitial:
            show({m_pLogo2}, false);
            show({m_pBtnClose, m_pBtnMin, m_pVersion, m_pBtnMain, m_pLogo, m_pLargeLogo}, true);
            m_pBtnMain->SetText(GetLangString(kStrInstall));
            break;
    }
}

void SetupDlg::PostPage(WindowPage page) {
    if (m_hWnd) {
        PostMessageW(m_hWnd, kMsgShowPage, static_cast<WPARAM>(page), 0);
    }
}

void SetupDlg::PostReleaseLabel() {
    if (m_hWnd) {
        PostMessageW(m_hWnd, kMsgReleaseLabel, 0, 0);
    }
}

// A page the workflow or the render thread asked for. The installing page
// is late when the stage has moved on (to the retry page, say): dropped.
void SetupDlg::OnShowPage(WindowPage page) {
    if (page == WindowPage::kInstalling && m_workflow.Stage() != InstallStage::kRunning) {
        return;
    }
    UpdateCtrlStatus(page);
}

void SetupDlg::ShowReleaseLabel() {
    const std::wstring label = ReplaceAll(AnsiToWide(m_workflow.ReleaseText()),
                                          std::wstring(L"official"), GetLangString(kStrOfficial));
    m_pVersion->SetText(label.c_str());
}

int SetupDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            OnClose();
            return 1;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            ValidateRect(m_hWnd, nullptr);  // the painters cover the window continuously
            return 0;
        case WM_TIMER:
            OnTimer(wParam);
            return 0;
        case kMsgShowPage:
            OnShowPage(static_cast<WindowPage>(wParam));
            return 1;
        case kMsgReleaseLabel:
            ShowReleaseLabel();
            return 1;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            return HandleMouse(message, wParam, lParam);
        default:
            return HandleKeys(message, wParam, lParam);
    }
}

// The dialog manager's side of the keyboard: Tab order, Space, the focus cue,
// and Return's default, which is the focused control or else the main button.
int SetupDlg::HandleKeys(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT answer = 0;
    bool handled = m_focus.HandleMessage(message, wParam, lParam, answer);
    if (!handled && message == DM_GETDEFID && m_pBtnMain && m_pBtnMain->IsVisible() &&
        m_pBtnMain->IsEnable()) {
        answer = MAKELONG(kCmdMain, DC_HASDEFID);
        handled = true;
    }
    if (!handled) {
        return CommonDlg::OnMessage(message, wParam, lParam);
    }
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, answer);
    return 1;
}

int SetupDlg::HandleMouse(UINT message, WPARAM wParam, LPARAM lParam) {
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    if (message == WM_MOUSEMOVE) {
        const bool held = (wParam & MK_LBUTTON) || m_bMousePressed.load();
        for (ButtonCtrlEx* c : m_mouseList) {
            held ? c->OnLButtonDown(x, y) : c->OnLButtonUp(x, y);
        }
        for (ButtonCtrlEx* c : m_mouseList) {
            c->OnMouseMove(x, y);
        }
        return 0;
    }
    if (message == WM_LBUTTONDOWN) {
        OutputDebugStringA("SetupDlg::WM_LBUTTONDOWN\n");
        int taken = 0;
        for (ButtonCtrlEx* c : m_mouseList) {
            if (c->OnLButtonDown(x, y)) {
                ++taken;
                m_focus.Take(c);  // a clicked control holds the focus, as on Windows
            }
        }
        if (taken) {
            m_bMousePressed = true;
        }
        return taken;
    }
    OutputDebugStringA("SetupDlg::WM_LBUTTONUP\n");
    m_bMousePressed = false;
    int result = 0;
    // A click may run a handler that changes the lists' visibility; the lists themselves are fixed.
    for (ButtonCtrlEx* c : m_mouseList) {
        result += c->OnLButtonUp(x, y);
    }
    return result;
}

int SetupDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    auto flip = [](CheckButtonCtrl* box) {
        box->SetCheck(box->GetCheck() ? 0 : 1);
        return box->GetCheck() != 0;
    };
    switch (LOWORD(wParam)) {
        case IDCANCEL:  // Escape: the close button's road, with its reports
            if (!IsClosing()) {
                OnBtnClose();
            }
            return 1;
        case IDOK:  // Return with no live main button: nothing to press
            return 1;
        case kCmdClose:
            OnBtnClose();
            return 1;
        case kCmdMinimise:
            ShowWindow(m_hWnd, SW_MINIMIZE);
            return 1;
        case kCmdMain:
            OnBtnInstall();
            return 1;
        case kCmdCustom:
            ShowCustomPage(flip(m_pChkCustom));
            return 1;
        case kCmdLicence:
            m_pBtnMain->SetEnable(flip(m_pChkLicence));
            return 1;
        case kCmdLicenceLink:
            OpenWebLink(GetLicenseUrl());
            return 1;
        case kCmdBrowse:
            OnBtnBrower();
            return 1;
        case kCmdDesktop:
            m_workflow.SetCreateDesktop(flip(m_pChkDesktop));
            return 1;
        case kCmdExperience:
            m_workflow.SetAddPlan(flip(m_pChkExperience));
            return 1;
        case kCmdExperienceLink:
            OpenWebLink(GetUserExperienceUrl());
            return 1;
        default:
            return CommonDlg::OnCommand(wParam, lParam);
    }
}

void SetupDlg::OnTimer(UINT_PTR id) {
    if (id == kCountdownTimer) {
        OnCountdownTick();
    }
}

void SetupDlg::OpenWebLink(const std::string& address) {
    const std::string url = AppendClientParams(address + HeaderText(CurrentHeader().szVersion));
    ShellOpen(AnsiToWide(url));
}

static int BrowseCallback(HWND hwnd, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
    }
    return 0;
}

void SetupDlg::OnBtnBrower() {
    std::wstring current = GetInstallDir();
    WriteLog("OnBtnBrower() path = %s", WideToOem(current).c_str());
    wchar_t buffer[kMaxPath] = L"";
    wcsncpy(buffer, current.c_str(), kMaxPath - 1);
    if (!PathFileExists(buffer)) {
        CreateFolderChain(buffer);
    }
    wchar_t display[kMaxPath] = L"";
    BROWSEINFOW info{};
    info.pszDisplayName = display;
    info.lpszTitle = GetLangString(kStrSelectFolder);
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(buffer);
    LPITEMIDLIST idl = SHBrowseForFolderW(&info);
    if (!idl) {
        WriteLog("OnBtnBrower()NULL == idl, error = %p",
                 reinterpret_cast<void*>(static_cast<uintptr_t>(GetLastError())));
        return;
    }
    wchar_t chosen[kMaxPath] = L"";
    SHGetPathFromIDListW(idl, chosen);
    CoTaskMemFree(idl);
    const std::wstring path =
        BrowsedInstallFolder(chosen, AnsiToWide(HeaderText(CurrentHeader().szRegistryName)));
    m_workflow.SetInstallDir(path);
    SetEditText(path);
}

void SetupDlg::ParseOwnFileName(std::string& option, std::string& source) {
    std::wstring stem = PathFindFileName(GetModuleFilePath());
    if (size_t dot = stem.rfind(L'.'); dot != std::wstring::npos) {
        stem.resize(dot);
    }
    for (wchar_t& c : stem) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    const LaunchWords words = ParseLaunchWords(WideToOem(stem));
    if (!words.option.empty() || !words.source.empty()) {
        option = words.option;
        source = words.source;
    }
}

void SetupDlg::SetEditText(const std::wstring& text) {
    if (m_hEditDir) {
        SetWindowTextW(m_hEditDir, text.c_str());
    }
}

std::wstring SetupDlg::ReadEditText() const {
    if (!m_hEditDir) {
        return GetInstallDir();
    }
    wchar_t buffer[521] = L"";
    GetWindowTextW(m_hEditDir, buffer, 520);
    return buffer;
}
