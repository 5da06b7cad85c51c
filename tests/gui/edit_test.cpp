// The edit box: keys that edit, the caret, the limit, paste, EN_CHANGE and
// what a disabled or read-only box refuses.
#include <gtest/gtest.h>

#include "tests/gui/gui_test_util.h"

using gui_test::MakeChild;
using gui_test::MakeWindow;
using gui_test::Pump;
using gui_test::Recorder;

namespace {

class EditTest : public ::testing::Test {
protected:
    void SetUp() override {
        Recorder::Get().Clear();
        m_parent = MakeWindow(50, 50, 400, 100);
        m_edit = MakeChild(m_parent, L"Edit", 1618, 44, 20, 300, 26,
                           WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_PASSWORD);
        ASSERT_NE(m_edit, nullptr);
        RECT text;
        GetClientRect(m_edit, &text);
        OffsetRect(&text, 4, 1);
        SendMessageW(m_edit, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&text));
        m_font =
            CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"微软雅黑");
        SendMessageW(m_edit, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
    }
    void TearDown() override {
        DestroyWindow(m_parent);
        DeleteObject(m_font);
        Recorder::Get().Clear();
    }
    std::wstring Text() {
        wchar_t buffer[300];
        GetWindowTextW(m_edit, buffer, 300);
        return buffer;
    }
    size_t Changes() {
        size_t n = 0;
        for (const auto& s : Recorder::Get().Of(WM_COMMAND))
            n += (HIWORD(s.wParam) == EN_CHANGE && LOWORD(s.wParam) == 1618 &&
                  reinterpret_cast<HWND>(s.lParam) == m_edit);
        return n;
    }
    // Waits until the queued input has been handled.
    void Settle() {
        ASSERT_TRUE(Pump(3000, [] { return !InputPending(); }));
        // Messages the routed input posted come before this one.
        PostMessageW(m_parent, WM_USER + 99, 0, 0);
        ASSERT_TRUE(Pump(3000, [] { return Recorder::Get().Count(WM_USER + 99) > 0; }));
        Recorder::Get().Clear();
    }
    HWND m_parent = nullptr;
    HWND m_edit = nullptr;
    HFONT m_font = nullptr;
};

TEST_F(EditTest, TypingAndEditingKeysWorkAtTheCaret) {
    InjectMouse(m_parent, SyntheticMouse::LeftDown, 200, 30);
    InjectMouse(m_parent, SyntheticMouse::LeftUp, 200, 30);
    InjectText(nullptr, L"D:\\Apps");
    Settle();
    EXPECT_EQ(GetFocus(), m_edit) << "a click gives the box the focus";
    EXPECT_EQ(Text(), L"D:\\Apps");
    InjectKey(nullptr, VK_LEFT);
    InjectKey(nullptr, VK_LEFT);
    InjectText(nullptr, L"X");
    Settle();
    EXPECT_EQ(Text(), L"D:\\ApXps");
    InjectKey(nullptr, VK_HOME);
    InjectKey(nullptr, VK_DELETE);
    InjectKey(nullptr, VK_END);
    InjectKey(nullptr, VK_BACK);
    InjectKey(nullptr, VK_RIGHT);  // at the end already: stays
    InjectKey(nullptr, VK_BACK);
    Settle();
    EXPECT_EQ(Text(), L":\\ApX");
    InjectKey(nullptr, VK_HOME);
    InjectKey(nullptr, VK_BACK);  // nothing before the caret
    InjectText(nullptr, L"汉");
    Settle();
    EXPECT_EQ(Text(), L"汉:\\ApX");
    DWORD caret = 0;
    SendMessageW(m_edit, EM_GETSEL, reinterpret_cast<WPARAM>(&caret), 0);
    EXPECT_EQ(caret, 1u);
}

TEST_F(EditTest, EveryChangeNotifiesTheParentOnce) {
    SetFocus(m_edit);
    InjectText(nullptr, L"ab");
    InjectKey(nullptr, VK_BACK);
    InjectKey(nullptr, VK_LEFT);  // moves only
    ASSERT_TRUE(Pump(3000, [] { return !InputPending(); }));
    PostMessageW(m_parent, WM_USER + 98, 0, 0);
    ASSERT_TRUE(Pump(3000, [] { return Recorder::Get().Count(WM_USER + 98) > 0; }));
    EXPECT_EQ(Changes(), 3u);
    Recorder::Get().Clear();
    SetWindowTextW(m_edit, L"/opt/Korvel 12");
    EXPECT_EQ(Changes(), 0u) << "a multi-line style box is quiet on WM_SETTEXT";
    EXPECT_EQ(Text(), L"/opt/Korvel 12") << "ES_PASSWORD is ignored with ES_MULTILINE";
}

TEST_F(EditTest, LimitPasteAndRefusals) {
    SetFocus(m_edit);
    SendMessageW(m_edit, EM_SETLIMITTEXT, 6, 0);
    EXPECT_EQ(SendMessageW(m_edit, EM_GETLIMITTEXT, 0, 0), 6);
    ASSERT_TRUE(SetClipboardTextW(L"/home/\nuser"));
    InjectText(nullptr, L"ab");
    InjectKey(nullptr, 'V', true);
    Settle();
    EXPECT_EQ(Text(), L"ab/hom") << "line breaks dropped, the rest cut at the limit";
    SendMessageW(m_edit, EM_SETLIMITTEXT, 0, 0);
    SendMessageW(m_edit, EM_SETSEL, 0, -1);
    SendMessageW(m_edit, WM_PASTE, 0, 0);
    EXPECT_EQ(Text(), L"ab/hom/home/user");
    EnableWindow(m_edit, FALSE);
    InjectText(m_edit, L"zz");
    Settle();
    EXPECT_EQ(Text(), L"ab/hom/home/user") << "a disabled box takes no typing";
    EnableWindow(m_edit, TRUE);
    SendMessageW(m_edit, EM_SETREADONLY, TRUE, 0);
    InjectText(m_edit, L"zz");
    Settle();
    EXPECT_EQ(Text(), L"ab/hom/home/user") << "nor does a read-only one";
}

TEST_F(EditTest, TheBoxPaintsOverItsParentsFrame) {
    SetWindowTextW(m_edit, L"IIIIIIII");
    gui_test::PumpFor(30);  // the first paint erases the parent with its class brush
    gui_test::FillWindow(m_parent, {0, 0, 400, 100}, RGB(255, 0, 0));
    gui_test::PumpFor(30);
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    ASSERT_TRUE(CaptureWindowPixels(m_parent, pixels, width, height));
    auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF; };
    EXPECT_EQ(at(10, 10), 0xFF0000u);
    EXPECT_EQ(at(300, 40), 0xFFFFFFu) << "inside the box: its white background";
    EXPECT_EQ(at(44, 30), 0x7A7A7Au) << "its border";
    ShowWindow(m_edit, SW_HIDE);
    gui_test::PumpFor(10);
    ASSERT_TRUE(CaptureWindowPixels(m_parent, pixels, width, height));
    EXPECT_EQ(at(300, 40), 0xFF0000u) << "a hidden box leaves the parent's pixels";
}

}  // namespace
