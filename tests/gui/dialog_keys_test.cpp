// The dialog manager's keyboard interface: Tab order, Return's default
// command, Escape, Space on a button, focus cues, and the focus a modal
// dialog takes from its owner and gives back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gui/gui_test_util.h"

namespace {

constexpr int kKeysTemplate = 7101;
constexpr int kBareTemplate = 7102;
constexpr int kEdit = 10, kLabel = 20, kPlainButton = 11, kDefaultButton = 12, kHidden = 13,
              kDisabled = 14;
constexpr int kEndScript = 99;

struct Key {
    int vk;
    bool shift = false;
};

// One key per timer tick once the previous key has been dispatched; before
// each key the focused control's id is noted (0: the dialog or nothing).
struct Script {
    std::vector<Key> keys;
    size_t next = 0;
    HWND dialog = nullptr;
    std::vector<int> focusBefore;
    std::vector<WPARAM> commands;
    std::vector<WPARAM> keysSeen;  // WM_KEYDOWN that reached the dialog procedure
    std::vector<WPARAM> uiUpdates;
    LRESULT defId = 0;  // the dialog's DM_GETDEFID answer; 0 leaves it to the layer
    LRESULT cuesAtStart = 0, cuesAtEnd = 0, childCuesAtEnd = 0;  // WM_QUERYUISTATE
};
Script g_script;

int FocusId() {
    HWND focus = GetFocus();
    return focus && focus != g_script.dialog ? GetDlgCtrlID(focus) : 0;
}

void Tick(HWND, UINT, UINT_PTR id, DWORD) {
    if (!g_script.dialog || InputPending())
        return;
    g_script.focusBefore.push_back(FocusId());
    if (g_script.next == g_script.keys.size()) {
        KillTimer(nullptr, id);
        g_script.cuesAtEnd = SendMessageW(g_script.dialog, WM_QUERYUISTATE, 0, 0);
        g_script.childCuesAtEnd =
            SendMessageW(GetDlgItem(g_script.dialog, kEdit), WM_QUERYUISTATE, 0, 0);
        EndDialog(g_script.dialog, kEndScript);
        return;
    }
    const Key k = g_script.keys[g_script.next++];
    InjectKey(nullptr, k.vk, false, k.shift);
}

INT_PTR ScriptProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            g_script.dialog = hwnd;
            g_script.cuesAtStart = SendMessageW(hwnd, WM_QUERYUISTATE, 0, 0);
            SetTimer(nullptr, 0, 20, Tick);
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED)  // not the edit box's notifications
                g_script.commands.push_back(wParam);
            return TRUE;
        case WM_KEYDOWN:
            g_script.keysSeen.push_back(wParam);
            return TRUE;
        case WM_UPDATEUISTATE:
            g_script.uiUpdates.push_back(wParam);
            return FALSE;
        case DM_GETDEFID:
            if (!g_script.defId)
                return FALSE;
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, g_script.defId);
            return TRUE;
        default:
            return FALSE;
    }
}

void RegisterKeysTemplate() {
    DialogTemplate t;
    t.style = WS_POPUP;
    t.cx = 300;
    t.cy = 200;
    const DWORD shown = WS_CHILD | WS_VISIBLE;
    t.items.push_back({L"Edit", L"", kEdit, shown | WS_BORDER, 0, 10, 10, 200, 24});
    t.items.push_back({L"Static", L"Folder", kLabel, shown, 0, 10, 40, 200, 20});
    t.items.push_back({L"Button", L"Browse", kPlainButton, shown, 0, 10, 70, 80, 28});
    t.items.push_back(
        {L"Button", L"Install", kDefaultButton, shown | BS_DEFPUSHBUTTON, 0, 100, 70, 80, 28});
    t.items.push_back({L"Button", L"Hidden", kHidden, WS_CHILD, 0, 10, 110, 80, 28});
    t.items.push_back({L"Button", L"Off", kDisabled, shown | WS_DISABLED, 0, 100, 110, 80, 28});
    RegisterDialogTemplate(kKeysTemplate, t);
    RegisterDialogTemplate(kBareTemplate, DialogTemplate{});
}

INT_PTR RunScript(int templateId, std::vector<Key> keys, LRESULT defId = 0, HWND owner = nullptr) {
    RegisterKeysTemplate();
    g_script = Script{};
    g_script.keys = std::move(keys);
    g_script.defId = defId;
    return DialogBoxParamW(nullptr, MAKEINTRESOURCEW(templateId), owner, ScriptProc, 0);
}

WPARAM Clicked(int id) {
    return MAKEWPARAM(id, BN_CLICKED);
}

TEST(DialogKeys, TabAndShiftTabWalkTheControlsThatTakeTheFocusRound) {
    ASSERT_EQ(
        kEndScript,
        RunScript(kKeysTemplate, {{VK_TAB}, {VK_TAB}, {VK_TAB}, {VK_TAB, true}, {VK_TAB, true}}));
    // The label, the hidden and the disabled button are passed over.
    const std::vector<int> expected{kEdit, kPlainButton,   kDefaultButton,
                                    kEdit, kDefaultButton, kPlainButton};
    EXPECT_EQ(expected, g_script.focusBefore);
    EXPECT_TRUE(g_script.commands.empty()) << "Tab presses nothing";
}

TEST(DialogKeys, ReturnPressesTheFocusedButtonElseTheDefaultButton) {
    // In the edit box Return is the default push button's; on a button, that button.
    // Space presses the focused button too.
    ASSERT_EQ(kEndScript,
              RunScript(kKeysTemplate, {{VK_RETURN}, {VK_TAB}, {VK_RETURN}, {VK_SPACE}}));
    const std::vector<WPARAM> expected{Clicked(kDefaultButton), Clicked(kPlainButton),
                                       Clicked(kPlainButton)};
    EXPECT_EQ(expected, g_script.commands);
}

TEST(DialogKeys, ReturnSendsTheDialogsDefaultOrIdOkAndEscapeIdCancel) {
    // A dialog without controls: the keys reach it, and Return/Escape are commands.
    ASSERT_EQ(kEndScript, RunScript(kBareTemplate, {{VK_RETURN}, {VK_ESCAPE}, {VK_SPACE}}));
    EXPECT_EQ((std::vector<WPARAM>{Clicked(IDOK), Clicked(IDCANCEL)}), g_script.commands);
    EXPECT_EQ(std::vector<WPARAM>{VK_SPACE}, g_script.keysSeen);

    // The dialog names its own default command.
    ASSERT_EQ(kEndScript, RunScript(kBareTemplate, {{VK_RETURN}}, MAKELONG(1614, DC_HASDEFID)));
    EXPECT_EQ(std::vector<WPARAM>{Clicked(1614)}, g_script.commands);

    // A default that names a disabled control does nothing, as its click would.
    ASSERT_EQ(kEndScript,
              RunScript(kKeysTemplate, {{VK_RETURN}}, MAKELONG(kDisabled, DC_HASDEFID)));
    EXPECT_TRUE(g_script.commands.empty());
}

TEST(DialogKeys, FocusCuesStayHiddenUntilTheFirstTab) {
    ASSERT_EQ(kEndScript, RunScript(kKeysTemplate, {{VK_RETURN}, {VK_TAB}}));
    EXPECT_NE(0, g_script.cuesAtStart & UISF_HIDEFOCUS);
    ASSERT_EQ(1u, g_script.uiUpdates.size()) << "Return is no navigation; Tab is";
    EXPECT_EQ(MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), g_script.uiUpdates[0]);
    EXPECT_EQ(0, g_script.cuesAtEnd & UISF_HIDEFOCUS);
    EXPECT_EQ(0, g_script.childCuesAtEnd & UISF_HIDEFOCUS) << "the children learn it too";
}

TEST(DialogKeys, AModalDialogTakesTheKeysFromItsOwnerAndGivesThemBack) {
    HWND owner = gui_test::MakeWindow(20, 20, 300, 200);
    HWND edit = gui_test::MakeChild(owner, L"Edit", 5, 10, 10, 200, 24);
    SetActiveWindow(owner);
    SetFocus(edit);
    ASSERT_EQ(kEndScript, RunScript(kBareTemplate, {{VK_SPACE}, {VK_ESCAPE}}, 0, owner));
    EXPECT_EQ(std::vector<WPARAM>{VK_SPACE}, g_script.keysSeen);
    EXPECT_EQ(std::vector<WPARAM>{Clicked(IDCANCEL)}, g_script.commands);
    EXPECT_EQ(edit, GetFocus());
    EXPECT_EQ(owner, GetActiveWindow());
    DestroyWindow(owner);
}

}  // namespace
