// The info view window: rows in the list view, the throttle, the log page.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

#include "ui/dialog_templates.h"
#include "ui/info_view.h"

namespace {

InfoViewDlg* g_view = nullptr;

INT_PTR CALLBACK TestViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return g_view ? g_view->DialogProc(hwnd, message, wParam, lParam) : FALSE;
}

std::wstring CellText(HWND list, int row, int column) {
    wchar_t buffer[256] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 256;
    SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

int RowCount(HWND list) {
    return int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

InfoViewItem Item(int id, uint32_t start, uint32_t pos, uint32_t speed, int state) {
    InfoViewItem item;
    item.id = id;
    item.start = start;
    item.end = start + 1048575;
    item.pos = pos;
    item.speed = speed;
    item.state = state;
    item.url = "http://mirror.example/korvel.exe";
    return item;
}

class InfoViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterUiDialogTemplates();
        m_view = std::make_unique<InfoViewDlg>([this] { return m_now; });
        g_view = m_view.get();
    }
    void Open() {
        m_hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_INFOVIEW),
                                    nullptr, TestViewProc, 0);
        ASSERT_NE(nullptr, m_hwnd);
        ShowWindow(m_hwnd, SW_SHOW);
    }
    void TearDown() override {
        if (m_hwnd) {
            DestroyWindow(m_hwnd);
        }
        g_view = nullptr;
    }
    // Lets the view's thread (this one) move the queued texts into its controls.
    bool Settle(const std::function<bool()>& done) { return PumpMessagesUntil(done, 5000); }

    uint32_t m_now = 50000;
    std::unique_ptr<InfoViewDlg> m_view;
    HWND m_hwnd = nullptr;
};

TEST_F(InfoViewTest, RowsTotalAndTheOneSecondThrottle) {
    Open();
    HWND list = m_view->ItemList();
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(0, RowCount(list));

    InfoViewStats stats;
    stats.items = {Item(3, 2097152, 2097152, 0, 2), Item(1, 0, 524288, 100 * 1024, 0),
                   Item(2, 1048576, 1572864, 50 * 1024, 0)};
    EXPECT_EQ(1, m_view->RefreshItems(&stats));
    ASSERT_TRUE(Settle([&] { return RowCount(list) == 4; }));
    EXPECT_EQ(L"1", CellText(list, 0, 0));
    EXPECT_EQ(L"0Byte", CellText(list, 0, 1));
    EXPECT_EQ(L"1024.00KB", CellText(list, 0, 2));
    EXPECT_EQ(L"512.00KB", CellText(list, 0, 3));
    EXPECT_EQ(L"50.00", CellText(list, 0, 4));
    EXPECT_EQ(L"100.00KB/s", CellText(list, 0, 5));
    EXPECT_EQ(L"E_Status_Fail", CellText(list, 2, 6));
    EXPECT_EQ(L"http://mirror.example/korvel.exe", CellText(list, 2, 7));
    EXPECT_EQ(L"Total Speed:", CellText(list, 3, 0));
    EXPECT_EQ(L"150.00KB", CellText(list, 3, 1));

    m_now += 400;
    InfoViewStats one;
    one.items = {Item(9, 0, 0, 1, 0)};
    EXPECT_EQ(0, m_view->RefreshItems(&one));
    m_view->AddLogLine("marker");  // a flush that would show rows had any been queued
    Settle([&] { return SendMessageW(m_view->LogList(), LB_GETCOUNT, 0, 0) == 1; });
    EXPECT_EQ(4, RowCount(list));
    EXPECT_EQ(L"1", CellText(list, 0, 0));

    m_now += 600;
    EXPECT_EQ(1, m_view->RefreshItems(&one));
    ASSERT_TRUE(Settle([&] { return RowCount(list) == 2; }));
    EXPECT_EQ(L"9", CellText(list, 0, 0));
}

TEST_F(InfoViewTest, LogButtonShowsEveryLineSinceTheStart) {
    m_view->AddLogLine("before the window");
    Open();
    m_view->AddLogLine("Download_CheckDownload");
    m_view->AddLogLine(nullptr);
    std::thread worker([this] { m_view->AddLogLine("from a worker"); });
    worker.join();

    HWND items = m_view->ItemList();
    HWND log = m_view->LogList();
    ASSERT_NE(nullptr, log);
    EXPECT_TRUE(IsWindowVisible(items));
    EXPECT_FALSE(IsWindowVisible(log));

    HWND logButton = GetDlgItem(m_hwnd, kIdInfoShowLog);
    ASSERT_NE(nullptr, logButton);
    InjectMouse(logButton, SyntheticMouse::LeftDown, 10, 10);
    InjectMouse(logButton, SyntheticMouse::LeftUp, 10, 10);
    ASSERT_TRUE(Settle([&] { return IsWindowVisible(log) != FALSE; }));
    EXPECT_FALSE(IsWindowVisible(items));
    ASSERT_TRUE(Settle([&] { return SendMessageW(log, LB_GETCOUNT, 0, 0) == 3; }));
    wchar_t text[64] = {};
    SendMessageW(log, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::wstring(L"before the window"), text);
    SendMessageW(log, LB_GETTEXT, 2, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::wstring(L"from a worker"), text);

    SendMessageW(m_hwnd, WM_COMMAND, kIdInfoShowItems, 0);
    EXPECT_TRUE(IsWindowVisible(items));
    EXPECT_FALSE(IsWindowVisible(log));
}

}  // namespace
