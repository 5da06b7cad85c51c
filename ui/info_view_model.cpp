#include "ui/info_view_model.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "platform/text.h"

wchar_t* FormatSizeW(unsigned bytes, wchar_t* buffer, int length) {
    if (!buffer || length <= 0) {
        return buffer;
    }
    char narrow[64];
    FormatSize(bytes, narrow, sizeof(narrow));
    // Cut to the buffer and always terminated (swprintf leaves an overflow undefined).
    std::wstring wide = AnsiToWide(narrow);
    size_t n = std::min(wide.size(), size_t(length - 1));
    std::copy(wide.begin(), wide.begin() + n, buffer);
    buffer[n] = L'\0';
    return buffer;
}

std::wstring FormatSizeW(unsigned bytes) {
    wchar_t buffer[64];
    return FormatSizeW(bytes, buffer, 64);
}

const wchar_t* ItemStateName(int state) {
    static const wchar_t* const kNames[] = {L"E_Status_Runing", L"E_Status_StopByDispatch",
                                            L"E_Status_Fail", L"E_Status_Succeed"};
    if (state < 0 || state > 3) {
        return L"E_Status_Unknown";
    }
    return kNames[state];
}

const std::vector<InfoColumn>& ItemColumns() {
    static const std::vector<InfoColumn> kColumns = {
        {L"Num", 100}, {L"Start", 100}, {L"End", 100},    {L"Current", 100},
        {L"Rate", 50}, {L"Speed", 100}, {L"Status", 150}, {L"Url", 450},
    };
    return kColumns;
}

namespace {

std::wstring Printf(const wchar_t* format, double value) {
    wchar_t buffer[64];
    swprintf(buffer, 64, format, value);
    return buffer;
}

std::vector<std::wstring> ItemRow(const InfoViewItem& item) {
    uint32_t done = item.pos >= item.start ? item.pos - item.start : 0;
    // A range of one byte has end == start; its rate would divide by zero.
    float rate = item.end > item.start ? float(done) * 100.0f / float(item.end - item.start)
                                       : (done > 0 ? 100.0f : 0.0f);
    return {std::to_wstring(item.id),  FormatSizeW(item.start), FormatSizeW(item.end),
            FormatSizeW(done),         Printf(L"%.2f", rate),   FormatSizeW(item.speed) + L"/s",
            ItemStateName(item.state), AnsiToWide(item.url)};
}

}  // namespace

std::vector<std::vector<std::wstring>> BuildItemRows(const InfoViewStats& stats) {
    std::vector<const InfoViewItem*> order;
    for (const InfoViewItem& item : stats.items) {
        order.push_back(&item);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const InfoViewItem* a, const InfoViewItem* b) { return a->id < b->id; });
    std::vector<std::vector<std::wstring>> rows;
    uint64_t total = 0;
    for (const InfoViewItem* item : order) {
        rows.push_back(ItemRow(*item));
        if (item->state == 0) {
            total += item->speed;
        }
    }
    // The sum of many fast ranges could pass 4 GiB/s only in theory; cap rather than wrap.
    unsigned shown = unsigned(std::min<uint64_t>(total, 0xFFFFFFFFu));
    rows.push_back({L"Total Speed:", FormatSizeW(shown)});
    return rows;
}

void InfoViewQueue::PushLine(std::wstring line) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_lines.push_back(std::move(line));
}

void InfoViewQueue::SetRows(InfoRows rows) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_rows = std::move(rows);
    m_bRowsSet = true;
}

bool InfoViewQueue::Take(std::vector<std::wstring>& lines, InfoRows& rows) {
    std::lock_guard<std::mutex> guard(m_lock);
    lines.swap(m_lines);
    m_lines.clear();
    bool rowsSet = m_bRowsSet;
    if (rowsSet) {
        rows.swap(m_rows);
        m_rows.clear();
        m_bRowsSet = false;
    }
    return rowsSet;
}
