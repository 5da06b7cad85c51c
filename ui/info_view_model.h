// What the info view shows, apart from its window: the texts of the download
// item table and the queue that carries rows and log lines to the window's
// thread. The application copies the download engine's items into
// InfoViewStats, so this module needs nothing from the engine.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// One ranged transfer as the engine reports it.
struct InfoViewItem {
    int id = 0;
    uint32_t start = 0;
    uint32_t end = 0;    // last byte, inclusive
    uint32_t pos = 0;    // next byte to store
    uint32_t speed = 0;  // bytes per second
    int state = 0;       // 0 running, 1 stopped by the dispatcher, 2 failed, 3 succeeded
    std::string url;
};

struct InfoViewStats {
    std::vector<InfoViewItem> items;  // any order; shown by ascending id
};

// "%.2fMB" above 1 MiB, "%dByte" up to 1024 bytes, else "%.2fKB"; returns buffer.
wchar_t* FormatSizeW(unsigned bytes, wchar_t* buffer, int length);
std::wstring FormatSizeW(unsigned bytes);

// "E_Status_Runing" ... "E_Status_Succeed"; "E_Status_Unknown" outside 0..3.
const wchar_t* ItemStateName(int state);

// The cells of the item page: one row per item by ascending id, then the
// "Total Speed:" row summing the speeds of the running items.
std::vector<std::vector<std::wstring>> BuildItemRows(const InfoViewStats& stats);

struct InfoColumn {
    std::wstring title;
    int width = 0;
};

// The columns of the item page in order ("Num" ... "Url").
const std::vector<InfoColumn>& ItemColumns();

using InfoRows = std::vector<std::vector<std::wstring>>;

// Work handed from the painting and logging threads to the view's own thread:
// log lines in order and the newest item rows, behind one lock. Producers
// never wait for the window thread.
class InfoViewQueue {
public:
    void PushLine(std::wstring line);
    void SetRows(InfoRows rows);
    // Moves out everything pending; true when new rows were set since the last take.
    bool Take(std::vector<std::wstring>& lines, InfoRows& rows);

private:
    std::mutex m_lock;
    std::vector<std::wstring> m_lines;
    InfoRows m_rows;
    bool m_bRowsSet = false;
};
