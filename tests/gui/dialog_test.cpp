// Dialogs: the modal loop and its result, nesting, the dialog manager's
// defaults, templates with controls, modeless dialogs and the message box.
#include <gtest/gtest.h>

#include <vector>

#include "tests/gui/gui_test_util.h"

using gui_test::Pump;

namespace {

constexpr int kPlain = 7001;
constexpr int kWithControls = 7002;
constexpr UINT kEndWith = WM_USER + 10;
constexpr UINT kOpenInner = WM_USER + 11;

std::vector<UINT> g_log;
INT_PTR g_innerResult = 0;

INT_PTR EndingProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            g_log.push_back(WM_INITDIALOG);
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            PostMessageW(hwnd, kEndWith, 0, 0);
            return TRUE;
        case kEndWith:
            if (HWND owner = GetParent(hwnd))
                g_log.push_back(IsWindowEnabled(owner) ? 1 : 0);
            EndDialog(hwnd, GetWindowLongPtrW(hwnd, DWLP_USER));
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR OuterProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            PostMessageW(hwnd, kOpenInner, 0, 0);
            return TRUE;
        case kOpenInner:
            // A modal dialog inside a modal dialog; the outer stays disabled meanwhile.
            g_innerResult =
                DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kPlain), hwnd, EndingProc, 41);
            g_log.push_back(IsWindowEnabled(hwnd) ? 1 : 0);  // enabled again after the inner loop
            EndDialog(hwnd, g_innerResult + 1);
            return TRUE;
        default:
            return FALSE;
    }
}

TEST(Dialog, ModalLoopReturnsTheEndDialogValue) {
    g_log.clear();
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kPlain), nullptr, EndingProc, 1628), 1628);
    ASSERT_EQ(g_log.size(), 1u);
    EXPECT_EQ(g_log[0], WM_INITDIALOG);
}

TEST(Dialog, NestedModalLoopsEndInnermostFirst) {
    g_log.clear();
    HWND owner = gui_test::MakeWindow(0, 0, 50, 50);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kPlain), owner, OuterProc, 0), 42);
    EXPECT_EQ(g_innerResult, 41);
    // Inner init, the outer's enabled state seen from the inner, then after it.
    ASSERT_EQ(g_log.size(), 3u);
    EXPECT_EQ(g_log[1], 0u) << "the outer dialog was disabled while the inner ran";
    EXPECT_EQ(g_log[2], 1u);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is enabled again afterwards";
    DestroyWindow(owner);
}

std::vector<WPARAM> g_commands;

INT_PTR CloseProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            return TRUE;
        case WM_COMMAND:
            g_commands.push_back(wParam);
            if (LOWORD(wParam) == IDCANCEL)
                EndDialog(hwnd, 2);
            return TRUE;
        default:
            return FALSE;  // WM_CLOSE goes to the dialog manager
    }
}

TEST(Dialog, UnhandledCloseBecomesTheCancelCommand) {
    g_commands.clear();
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kPlain), nullptr, CloseProc, 0), 2);
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(LOWORD(g_commands[0]), IDCANCEL);
}

struct Probe {
    HWND dialog = nullptr;
    HWND edit = nullptr;
    LRESULT clickResult = 0;
    std::vector<WPARAM> commands;
};
Probe g_probe;

INT_PTR ControlsProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            g_probe.dialog = hwnd;
            g_probe.edit = GetDlgItem(hwnd, 20);
            return FALSE;
        case WM_COMMAND:
            g_probe.commands.push_back(wParam);
            if (LOWORD(wParam) == 21 && HIWORD(wParam) == BN_CLICKED)
                EndDialog(hwnd, 21);
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 99);
            return TRUE;
        case WM_LBUTTONDOWN:
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 5);
            return TRUE;
        default:
            (void)lParam;
            return FALSE;
    }
}

TEST(Dialog, TemplateControlsAreChildrenAndAClickOnAButtonReachesTheDialog) {
    DialogTemplate t;
    t.style = WS_POPUP;
    t.x = 200;
    t.y = 150;
    t.cx = 300;
    t.cy = 200;
    t.items.push_back(
        {L"Edit", L"C:\\Korvel", 20, WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 10, 10, 200, 24});
    t.items.push_back({L"Button", L"OK", 21, WS_CHILD | WS_VISIBLE, 0, 100, 150, 80, 28});
    RegisterDialogTemplate(kWithControls, t);
    g_probe = Probe{};
    // The click arrives through the layer's input path once the loop runs.
    InjectMouse(nullptr, SyntheticMouse::Move, 0, 0);  // ignored: no window
    UINT_PTR timer = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR id, DWORD) {
        if (!g_probe.dialog)
            return;
        KillTimer(nullptr, id);
        wchar_t text[32];
        GetWindowTextW(g_probe.edit, text, 32);
        if (std::wstring(text) == L"C:\\Korvel")
            g_probe.commands.push_back(0xFFFF);
        g_probe.clickResult = SendMessageW(g_probe.dialog, WM_LBUTTONDOWN, 0, 0);
        InjectMouse(g_probe.dialog, SyntheticMouse::LeftDown, 140, 164);
        InjectMouse(g_probe.dialog, SyntheticMouse::LeftUp, 140, 164);
    });
    ASSERT_NE(timer, 0u);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kWithControls), nullptr, ControlsProc, 0),
              21);
    ASSERT_FALSE(g_probe.commands.empty());
    EXPECT_EQ(g_probe.commands.front(), 0xFFFFu) << "the edit box got the template text";
    EXPECT_EQ(g_probe.clickResult, 5) << "a handled message answers with DWLP_MSGRESULT";
    EXPECT_EQ(g_probe.commands.back(), MAKEWPARAM(21, BN_CLICKED));
    EXPECT_FALSE(IsWindow(g_probe.dialog)) << "the modal dialog is destroyed when its loop ends";
}

TEST(Dialog, ModelessDialogsStayUntilDestroyed) {
    DialogTemplate t;
    t.style = WS_POPUP | WS_VISIBLE;
    t.cx = 120;
    t.cy = 80;
    t.items.push_back({L"ListBox", L"", 1005, WS_CHILD | WS_VISIBLE, 0, 0, 0, 120, 40});
    t.items.push_back(
        {L"SysListView32", L"", 1001, WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 40, 120, 40});
    RegisterDialogTemplate(7003, t);
    HWND view = CreateDialogParamW(
        nullptr, MAKEINTRESOURCEW(7003), nullptr,
        [](HWND, UINT m, WPARAM, LPARAM) -> INT_PTR { return m == WM_INITDIALOG; }, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(IsWindowVisible(view));
    HWND list = GetDlgItem(view, 1005);
    EXPECT_EQ(SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"first")), 0);
    EXPECT_EQ(SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"second")), 1);
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
    wchar_t text[16];
    EXPECT_EQ(SendMessageW(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text)), 6);
    EXPECT_STREQ(text, L"second");
    for (int i = 0; i < 20; ++i)
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"log line"));
    SendMessageW(list, LB_SETTOPINDEX, 5, 0);
    InjectMouse(view, SyntheticMouse::Wheel, 60, 20);  // one notch up: three rows back
    ASSERT_TRUE(
        gui_test::Pump(3000, [&] { return SendMessageW(list, LB_GETTOPINDEX, 0, 0) != 5; }));
    EXPECT_EQ(SendMessageW(list, LB_GETTOPINDEX, 0, 0), 2);
    HWND items = GetDlgItem(view, 1001);
    LVCOLUMNW column{LVCF_FMT | LVCF_WIDTH | LVCF_TEXT, LVCFMT_LEFT, 100,
                     const_cast<LPWSTR>(L"Num"),        0,           0};
    EXPECT_EQ(SendMessageW(items, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)), 0);
    LVITEMW row{};
    row.mask = LVIF_TEXT;
    row.pszText = const_cast<LPWSTR>(L"0");
    EXPECT_EQ(SendMessageW(items, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)), 0);
    row.iSubItem = 3;
    row.pszText = const_cast<LPWSTR>(L"512.00KB");
    EXPECT_TRUE(SendMessageW(items, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&row)));
    LVITEMW get{};
    get.iSubItem = 3;
    get.pszText = text;
    get.cchTextMax = 16;
    EXPECT_EQ(SendMessageW(items, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&get)), 8);
    EXPECT_STREQ(text, L"512.00KB");
    EXPECT_EQ(SendMessageW(items, LVM_GETITEMCOUNT, 0, 0), 1);
    SendMessageW(items, LVM_DELETEALLITEMS, 0, 0);
    EXPECT_EQ(SendMessageW(items, LVM_GETITEMCOUNT, 0, 0), 0);
    gui_test::PumpFor(30);
    DestroyWindow(view);
    EXPECT_FALSE(IsWindow(list));
}

std::wstring g_boxTitle;

TEST(Dialog, MessageBoxShowsItsTextAndReturnsOk) {
    SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        wchar_t title[32] = {};
        GetWindowTextW(GetActiveWindow(), title, 32);
        g_boxTitle = title;  // the box is the active window while it runs
        InjectKey(nullptr, VK_RETURN);
    });
    EXPECT_EQ(
        MessageBoxW(nullptr, L"安装失败! Install Failed!", L"Korvel 12", MB_OK | MB_ICONERROR),
        IDOK);
    EXPECT_EQ(g_boxTitle, L"Korvel 12");
}

}  // namespace

namespace {

WNDPROC g_previous = nullptr;
std::vector<UINT> g_hooked;

LRESULT Hook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOVE || message == WM_SHOWWINDOW || message == WM_DESTROY ||
        message == WM_SIZE)
        g_hooked.push_back(message);
    return CallWindowProcW(g_previous, hwnd, message, wParam, lParam);
}

INT_PTR HookedDialogProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            // Hooked from inside the dialog, as the window shadow does on the first message.
            g_previous = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Hook)));
            PostMessageW(hwnd, kEndWith, 0, 0);
            return TRUE;
        case kEndWith:
            MoveWindow(hwnd, 10, 20, 300, 200, FALSE);
            EndDialog(hwnd, 3);
            return TRUE;
        default:
            return FALSE;
    }
}

TEST(Dialog, ASubclassedDialogSeesItsMessagesAndStillWorks) {
    g_hooked.clear();
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kPlain), nullptr, HookedDialogProc, 0), 3);
    ASSERT_NE(g_previous, nullptr);
    // Shown by the modal loop, moved and sized, then hidden and destroyed at its end.
    std::vector<UINT> expected{WM_SHOWWINDOW, WM_MOVE, WM_SIZE, WM_SHOWWINDOW, WM_DESTROY};
    EXPECT_EQ(g_hooked, expected);
    HWND window = gui_test::MakeWindow(0, 0, 40, 40);
    HRGN out = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(window, out), ERROR) << "no window region by default";
    SetWindowRgn(window, CreateRectRgn(5, 0, 35, 40), FALSE);
    EXPECT_EQ(GetWindowRgn(window, out), SIMPLEREGION);
    EXPECT_FALSE(PtInRegion(out, 2, 2));
    EXPECT_TRUE(PtInRegion(out, 6, 2));
    DeleteObject(out);
    DestroyWindow(window);
}

}  // namespace
