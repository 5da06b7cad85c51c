// Texts of the info view: sizes, rates, state names, the total row, the
// refresh throttle and the hand-over queue.
#include <gtest/gtest.h>

#include <thread>

#include "ui/info_view.h"
#include "ui/info_view_model.h"

namespace {

TEST(InfoViewText, SizesSwitchUnitsAtTheirBounds) {
    EXPECT_EQ(L"0Byte", FormatSizeW(0));
    EXPECT_EQ(L"1024Byte", FormatSizeW(1024));
    EXPECT_EQ(L"1.00KB", FormatSizeW(1025));
    EXPECT_EQ(L"1024.00KB", FormatSizeW(1048576));
    EXPECT_EQ(L"1.00MB", FormatSizeW(1048577));
    EXPECT_EQ(L"4096.00MB", FormatSizeW(0xFFFFFFFFu));

    wchar_t small[5];
    EXPECT_EQ(small, FormatSizeW(1048575, small, 5));
    EXPECT_EQ(L"1024", std::wstring(small));  // cut to the buffer, still terminated
}

InfoViewItem Item(int id, uint32_t start, uint32_t end, uint32_t pos, uint32_t speed, int state,
                  const char* url) {
    InfoViewItem item;
    item.id = id;
    item.start = start;
    item.end = end;
    item.pos = pos;
    item.speed = speed;
    item.state = state;
    item.url = url;
    return item;
}

TEST(InfoViewText, RowsByIdWithTheTotalOfRunningItems) {
    InfoViewStats stats;
    stats.items.push_back(Item(7, 1048576, 2097151, 1048576, 9999, 3, "http://b/f"));
    stats.items.push_back(Item(2, 0, 1048575, 524288, 100 * 1024, 0, "http://a/f"));
    stats.items.push_back(Item(9, 2097152, 3145727, 2097152, 50 * 1024, 0, "http://c/f"));
    InfoRows rows = BuildItemRows(stats);
    ASSERT_EQ(4u, rows.size());

    const std::vector<std::wstring> first = {
        L"2",     L"0Byte",      L"1024.00KB",       L"512.00KB",
        L"50.00", L"100.00KB/s", L"E_Status_Runing", L"http://a/f"};
    EXPECT_EQ(first, rows[0]);
    EXPECT_EQ(L"7", rows[1][0]);
    EXPECT_EQ(L"E_Status_Succeed", rows[1][6]);
    EXPECT_EQ(L"9", rows[2][0]);
    EXPECT_EQ(L"0.00", rows[2][4]);
    const std::vector<std::wstring> total = {L"Total Speed:", L"150.00KB"};
    EXPECT_EQ(total, rows[3]);
}

TEST(InfoViewText, OddItemsStillGiveReadableRows) {
    InfoViewStats stats;
    stats.items.push_back(Item(1, 500, 500, 501, 0, 1, ""));  // one byte, done
    stats.items.push_back(Item(2, 600, 700, 0, 0, 42, ""));   // position before its start
    InfoRows rows = BuildItemRows(stats);
    EXPECT_EQ(L"100.00", rows[0][4]);
    EXPECT_EQ(L"E_Status_StopByDispatch", rows[0][6]);
    EXPECT_EQ(L"0Byte", rows[1][3]);
    EXPECT_EQ(L"0.00", rows[1][4]);
    EXPECT_EQ(L"E_Status_Unknown", rows[1][6]);
    EXPECT_EQ(std::wstring(L"E_Status_Fail"), ItemStateName(2));
    EXPECT_EQ(1u, BuildItemRows(InfoViewStats{}).size());  // only the total row
}

TEST(InfoViewText, ColumnsOfTheItemPage) {
    const std::vector<InfoColumn>& columns = ItemColumns();
    ASSERT_EQ(8u, columns.size());
    EXPECT_EQ(L"Num", columns[0].title);
    EXPECT_EQ(50, columns[4].width);
    EXPECT_EQ(L"Url", columns[7].title);
    EXPECT_EQ(450, columns[7].width);
}

TEST(InfoViewRefresh, AtMostOncePerSecond) {
    uint32_t now = 0xFFFFFC00u;  // the tick counter wraps during the test
    InfoViewDlg view([&now] { return now; });
    InfoViewStats stats;
    EXPECT_EQ(1, view.RefreshItems(&stats));  // the first is never held back
    now += 999;
    EXPECT_EQ(0, view.RefreshItems(&stats));
    now += 1;
    EXPECT_EQ(1, view.RefreshItems(&stats));
    now += 500;
    EXPECT_EQ(0, view.RefreshItems(nullptr));
    now += 500;
    EXPECT_EQ(1, view.RefreshItems(nullptr));  // without stats it only restarts the second
    EXPECT_EQ(0, view.RefreshItems(&stats));
}

TEST(InfoViewQueueTest, LinesInOrderAndOnlyTheNewestRows) {
    InfoViewQueue queue;
    std::thread a([&] {
        for (int i = 0; i < 100; ++i) {
            queue.PushLine(L"a" + std::to_wstring(i));
        }
    });
    queue.SetRows({{L"old"}});
    queue.SetRows({{L"new"}});
    a.join();
    std::vector<std::wstring> lines;
    InfoRows rows;
    EXPECT_TRUE(queue.Take(lines, rows));
    ASSERT_EQ(100u, lines.size());
    EXPECT_EQ(L"a0", lines.front());
    EXPECT_EQ(L"a99", lines.back());
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(L"new", rows[0][0]);

    lines.clear();
    EXPECT_FALSE(queue.Take(lines, rows));
    EXPECT_TRUE(lines.empty());
}

}  // namespace
