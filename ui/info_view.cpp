#include "ui/info_view.h"

#include "platform/system.h"
#include "platform/text.h"
#include "ui/dialog_templates.h"

namespace {

std::atomic<InfoViewDlg*> g_infoView{nullptr};

}  // namespace

InfoViewDlg::InfoViewDlg(TickSource ticks) : m_ticks(std::move(ticks)) {
    if (!m_ticks) {
        m_ticks = [] { return GetTickCount(); };
    }
}

int InfoViewDlg::OnInitDialog(HWND hwnd) {
    CommonDlg::OnInitDialog(hwnd);
    SetWindowTextW(hwnd, L"Info View");
    m_hItemList = GetDlgItem(hwnd, kIdInfoItemList);
    m_hLogList = GetDlgItem(hwnd, kIdInfoLogList);
    if (m_hItemList) {
        int index = 0;
        for (const InfoColumn& column : ItemColumns()) {
            LVCOLUMNW lvc = {};
            lvc.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
            lvc.fmt = LVCFMT_LEFT;
            lvc.cx = column.width;
            lvc.pszText = const_cast<LPWSTR>(column.title.c_str());
            SendMessageW(m_hItemList, LVM_INSERTCOLUMNW, WPARAM(index++),
                         reinterpret_cast<LPARAM>(&lvc));
        }
        SendMessageW(m_hItemList, LVM_DELETEALLITEMS, 0, 0);
    }
    ShowPage(true);
    m_hView = hwnd;
    Flush();  // lines logged before the window existed
    return 1;
}

void InfoViewDlg::ShowPage(bool items) {
    if (m_hItemList) {
        ShowWindow(m_hItemList, items ? SW_SHOW : SW_HIDE);
    }
    if (m_hLogList) {
        ShowWindow(m_hLogList, items ? SW_HIDE : SW_SHOW);
    }
}

INT_PTR InfoViewDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == kIdInfoShowItems) {
        ShowPage(true);
    } else if (message == WM_COMMAND && LOWORD(wParam) == kIdInfoShowLog) {
        ShowPage(false);
    }
    return CommonDlg::DialogProc(hwnd, message, wParam, lParam);
}

int InfoViewDlg::OnMessage(UINT message, WPARAM, LPARAM) {
    if (message == kMsgInfoViewFlush) {
        Flush();
        return 1;
    }
    return 0;
}

void InfoViewDlg::WakeView() {
    if (HWND hwnd = m_hView.load()) {
        PostMessageW(hwnd, kMsgInfoViewFlush, 0, 0);
    }
}

void InfoViewDlg::Flush() {
    std::vector<std::wstring> lines;
    InfoRows rows;
    bool rowsSet = m_queue.Take(lines, rows);
    if (m_hLogList) {
        for (const std::wstring& line : lines) {
            SendMessageW(m_hLogList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        }
    }
    if (rowsSet) {
        FillItemList(rows);
    }
}

void InfoViewDlg::FillItemList(const InfoRows& rows) {
    if (!m_hItemList) {
        return;
    }
    SendMessageW(m_hItemList, LVM_DELETEALLITEMS, 0, 0);
    for (size_t n = 0; n < rows.size(); ++n) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = int(n);
        item.pszText = const_cast<LPWSTR>(rows[n][0].c_str());
        SendMessageW(m_hItemList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (size_t c = 1; c < rows[n].size(); ++c) {
            item.iSubItem = int(c);
            item.pszText = const_cast<LPWSTR>(rows[n][c].c_str());
            SendMessageW(m_hItemList, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
    }
}

int InfoViewDlg::RefreshItems(const InfoViewStats* stats) {
    uint32_t now = m_ticks();
    if (m_bRefreshed && now - m_dwLastRefresh < kRefreshPeriodMs) {
        return 0;
    }
    if (stats) {
        m_queue.SetRows(BuildItemRows(*stats));
        WakeView();
    }
    m_dwLastRefresh = now;
    m_bRefreshed = true;
    return 1;
}

int InfoViewDlg::AddLogLine(const char* text) {
    if (!text) {
        return 1;
    }
    m_queue.PushLine(AnsiToWide(text));
    WakeView();
    return 1;
}

INT_PTR CALLBACK InfoViewDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    InfoViewDlg* view = g_infoView.load();
    if (!view) {
        view = new InfoViewDlg();  // lives until the process ends
        g_infoView = view;
    }
    return view->DialogProc(hwnd, message, wParam, lParam);
}

HWND OpenInfoView() {
    RegisterUiDialogTemplates();
    HWND hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_INFOVIEW),
                                   nullptr, InfoViewDlgProc, 0);
    if (hwnd) {
        ShowWindow(hwnd, SW_SHOW);
    }
    return hwnd;
}

InfoViewDlg* GetInfoView() {
    return g_infoView.load();
}

int RefreshInfoView(const InfoViewStats* stats) {
    if (InfoViewDlg* view = g_infoView.load()) {
        view->RefreshItems(stats);
    }
    return 1;
}

int InfoViewLogEcho(const char* message) {
    if (InfoViewDlg* view = g_infoView.load()) {
        view->AddLogLine(message);
    }
    return 1;
}
