// The testers' statistics window: one row per ranged transfer of the running
// download with a total speed, refreshed at most once a second, and on a
// second page every line written to the log. A modeless dialog (template 189)
// with a report list view 1001, a list box 1005 and the page buttons 1006
// (items) and 1007 (log).
//
// Threads: RefreshItems runs on the installer's progress painter, AddLogLine
// on whichever thread logs. Neither waits for the view's thread: they queue
// their texts and post a wake-up; the view's thread moves them into its
// controls. So a logging worker can never stall on a busy UI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "resources/resource_ids.h"
#include "ui/common_dlg.h"
#include "ui/info_view_model.h"

constexpr int kIdInfoItemList = 1001;
constexpr int kIdInfoLogList = 1005;
constexpr int kIdInfoShowItems = 1006;
constexpr int kIdInfoShowLog = 1007;
// Posted to the view when queued texts wait for its controls.
constexpr UINT kMsgInfoViewFlush = WM_APP + 0x189;

class InfoViewDlg : public CommonDlg {
public:
    using TickSource = std::function<uint32_t()>;
    static constexpr uint32_t kRefreshPeriodMs = 1000;

    // ticks: the millisecond clock of the refresh throttle (GetTickCount when empty).
    explicit InfoViewDlg(TickSource ticks = nullptr);

    int OnInitDialog(HWND hwnd) override;
    INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // 0 and nothing changed when the last refresh is less than a second ago;
    // else queues the new rows (when stats is given) and returns 1. One caller
    // thread at a time (the progress painter).
    int RefreshItems(const InfoViewStats* stats);
    // Queues one line for the log page; any thread; 1.
    int AddLogLine(const char* text);

    HWND ItemList() const { return m_hItemList; }
    HWND LogList() const { return m_hLogList; }

private:
    void ShowPage(bool items);
    void Flush();
    void FillItemList(const InfoRows& rows);
    void WakeView();

    HWND m_hItemList = nullptr;
    HWND m_hLogList = nullptr;
    std::atomic<HWND> m_hView{nullptr};  // the window, once its controls are ready
    TickSource m_ticks;
    uint32_t m_dwLastRefresh = 0;
    bool m_bRefreshed = false;  // the first refresh is never throttled
    InfoViewQueue m_queue;
};

// The dialog procedure of template 189; makes the one view on its first message.
INT_PTR CALLBACK InfoViewDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Opens the view as a modeless window without owner, centred, and shows it;
// null when it cannot be created (the installer then runs without it).
HWND OpenInfoView();
// The one view, or null.
InfoViewDlg* GetInfoView();
// Forwards to the view when one exists; always 1.
int RefreshInfoView(const InfoViewStats* stats);
// The log's echo callback: forwards each message to the view when one exists.
int InfoViewLogEcho(const char* message);
