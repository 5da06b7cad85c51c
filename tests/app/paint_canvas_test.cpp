#include "app/paint_canvas.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool Same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// A memory DC standing for the window the canvas pushes to.
class Target {
public:
    Target(int width, int height)
        : m_dc(CreateCompatibleDC(nullptr)),
          m_bitmap(CreateCompatibleBitmap(nullptr, width, height)) {
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~Target() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    HDC Dc() const { return m_dc; }
    // The pixel word as the frames hold it (blue in the low byte).
    uint32_t At(int x, int y) const {
        BITMAP info{};
        GetObjectW(m_bitmap, sizeof(info), &info);
        std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
        GetBitmapBits(m_bitmap, static_cast<LONG>(pixels.size() * 4), pixels.data());
        return pixels[static_cast<size_t>(y) * info.bmWidth + x] & 0xFFFFFF;
    }

private:
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
};

FrameBuffer Solid(uint32_t colour) {
    return FrameBuffer(static_cast<size_t>(kFrameWidth) * kFrameHeight, colour);
}

}  // namespace

TEST(ChangedArea, MergesWhatTouchesAndKeepsApartWhatDoesNot) {
    ChangedArea area;
    area.Add(RECT{10, 10, 20, 20});
    area.Add(RECT{5, 5, 5, 30});  // empty: nothing to push
    area.Add(RECT{100, 100, 110, 110});
    ASSERT_EQ(2u, area.Rects().size());
    area.Add(RECT{20, 10, 30, 20});  // shares an edge with the first
    ASSERT_EQ(2u, area.Rects().size());
    EXPECT_TRUE(Same(RECT{10, 10, 30, 20}, area.Rects()[1]));
    // A rectangle bridging both merges all three into one.
    area.Add(RECT{25, 15, 105, 105});
    ASSERT_EQ(1u, area.Rects().size());
    EXPECT_TRUE(Same(RECT{10, 10, 110, 110}, area.Rects()[0]));
    area.Clear();
    EXPECT_TRUE(area.Empty());
}

TEST(PaintCanvas, NewSurfaceIsPushedWholeThenOnlyWhatWasMarked) {
    PaintCanvas canvas;
    ASSERT_TRUE(canvas.Ensure(kFrameWidth, kFrameHeight));
    EXPECT_TRUE(canvas.HasChanges());
    canvas.CopyFrame(Solid(0x112233));
    Target window(kFrameWidth, kFrameHeight);
    EXPECT_EQ(int64_t(kFrameWidth) * kFrameHeight, canvas.Push(window.Dc()));
    EXPECT_EQ(0x112233u, window.At(0, 0));
    EXPECT_EQ(0x112233u, window.At(kFrameWidth - 1, kFrameHeight - 1));
    EXPECT_FALSE(canvas.HasChanges());
    EXPECT_EQ(0, canvas.Push(window.Dc()));  // nothing marked: nothing copied

    // The same size keeps the surface and its pixels.
    ASSERT_TRUE(canvas.Ensure(kFrameWidth, kFrameHeight));
    EXPECT_FALSE(canvas.HasChanges());
    canvas.CopyFrame(Solid(0x445566));
    canvas.MarkChanged(RECT{10, 20, 30, 25});
    canvas.MarkChanged(RECT{600, 400, 700, 500});  // clipped to the surface
    EXPECT_EQ(20 * 5 + 22 * 5, canvas.Push(window.Dc()));
    EXPECT_EQ(0x445566u, window.At(10, 20));
    EXPECT_EQ(0x445566u, window.At(29, 24));
    EXPECT_EQ(0x112233u, window.At(30, 24));  // outside: what was pushed before
    EXPECT_EQ(0x112233u, window.At(9, 20));
    EXPECT_EQ(0x445566u, window.At(kFrameWidth - 1, kFrameHeight - 1));
    EXPECT_EQ(0x112233u, window.At(599, 399));
}

TEST(PaintCanvas, CopiesOneRectangleOfAFrameInPlace) {
    PaintCanvas canvas;
    ASSERT_TRUE(canvas.Ensure(kFrameWidth, kFrameHeight));
    canvas.CopyFrame(Solid(0x000001));
    FrameBuffer frame = Solid(0);
    for (size_t k = 0; k < frame.size(); ++k) {
        frame[k] = static_cast<uint32_t>(k) & 0xFFFFFF;
    }
    canvas.CopyFrameRect(frame, RECT{600, 390, 700, 500});  // cut at the edges
    canvas.CopyFrameRect(frame, RECT{50, 60, 50, 70});      // empty: nothing
    Target window(kFrameWidth, kFrameHeight);
    canvas.Push(window.Dc());
    auto index = [](int x, int y) { return static_cast<uint32_t>(y * kFrameWidth + x); };
    EXPECT_EQ(index(600, 390), window.At(600, 390));
    EXPECT_EQ(index(621, 404), window.At(621, 404));
    EXPECT_EQ(0x000001u, window.At(599, 390));
    EXPECT_EQ(0x000001u, window.At(600, 389));
    EXPECT_EQ(0x000001u, window.At(50, 60));
}

TEST(PaintCanvas, ReadsAndWritesRectanglesInsideOnly) {
    PaintCanvas canvas;
    EXPECT_TRUE(canvas.ReadPixels(RECT{0, 0, 2, 2}).empty());  // no surface yet
    ASSERT_TRUE(canvas.Ensure(kFrameWidth, kFrameHeight));
    FrameBuffer frame = Solid(0);
    for (size_t k = 0; k < frame.size(); ++k) {
        frame[k] = static_cast<uint32_t>(k);
    }
    canvas.CopyFrame(frame);
    const std::vector<uint32_t> block = canvas.ReadPixels(RECT{10, 20, 13, 22});
    ASSERT_EQ(6u, block.size());
    EXPECT_EQ(uint32_t(20 * kFrameWidth + 10), block[0]);
    EXPECT_EQ(uint32_t(21 * kFrameWidth + 12), block[5]);
    EXPECT_TRUE(canvas.ReadPixels(RECT{620, 0, 623, 1}).empty());  // reaches outside
    EXPECT_TRUE(canvas.ReadPixels(RECT{5, 5, 5, 9}).empty());

    canvas.WritePixels(RECT{100, 100, 103, 102}, block);
    canvas.WritePixels(RECT{0, 0, 2, 2}, block);      // the wrong size: nothing written
    canvas.WritePixels(RECT{620, 0, 623, 2}, block);  // outside: nothing written
    EXPECT_EQ(block, canvas.ReadPixels(RECT{100, 100, 103, 102}));
    EXPECT_EQ(1u, canvas.ReadPixels(RECT{1, 0, 2, 1})[0]);
    EXPECT_EQ(620u, canvas.ReadPixels(RECT{620, 0, 621, 1})[0]);
}

TEST(PaintCanvas, TallerSurfaceIsNewAndKeepsRowsTheFrameLacks) {
    PaintCanvas canvas;
    ASSERT_TRUE(canvas.Ensure(kFrameWidth, kFrameHeight));
    canvas.Push(nullptr);
    ASSERT_TRUE(canvas.Ensure(kFrameWidth, kFrameHeight + 100));
    EXPECT_EQ(kFrameHeight + 100, canvas.Height());
    RECT below{0, kFrameHeight, kFrameWidth, kFrameHeight + 100};
    HBRUSH brush = CreateSolidBrush(0x00FF00);
    FillRect(canvas.Dc(), &below, brush);
    DeleteObject(brush);
    canvas.CopyFrame(Solid(0x0000FF));
    Target window(kFrameWidth, kFrameHeight + 100);
    EXPECT_EQ(int64_t(kFrameWidth) * (kFrameHeight + 100), canvas.Push(window.Dc()));
    EXPECT_EQ(0x0000FFu, window.At(5, kFrameHeight - 1));
    EXPECT_EQ(0x00FF00u, window.At(5, kFrameHeight));
    EXPECT_FALSE(canvas.Ensure(0, 10));  // no surface of no size
    EXPECT_EQ(nullptr, canvas.Dc());
    EXPECT_EQ(0, canvas.Push(window.Dc()));
}

TEST(DownloadTexts, StatusLineUntilBytesArriveThenFiguresAsDrawn) {
    EXPECT_EQ(DownloadTexts::kStatusSizeUnknown, MakeDownloadTexts(0, 0, 0).nStatusId);
    const DownloadTexts known = MakeDownloadTexts(0, 1000, 0);
    EXPECT_EQ(DownloadTexts::kStatusSizeKnown, known.nStatusId);
    EXPECT_FALSE(known.bFigures);
    EXPECT_EQ(0, known.nDrawnPercent);
    // Complete: the status line again, not "100%".
    EXPECT_FALSE(MakeDownloadTexts(1000, 1000, 5000).bFigures);

    const DownloadTexts twoThirds = MakeDownloadTexts(2, 3, 2048);
    EXPECT_TRUE(twoThirds.bFigures);
    EXPECT_EQ(DownloadTexts::kStatusDownloading, twoThirds.nStatusId);
    EXPECT_EQ("67%", twoThirds.strPercent);  // rounded as shown
    EXPECT_EQ(66, twoThirds.nDrawnPercent);  // truncated for the report
    EXPECT_EQ("2.00KB/s", twoThirds.strSpeed);

    // Equal when the window would show the same texts, whatever the report gets.
    EXPECT_TRUE(MakeDownloadTexts(6680, 10000, 2048) == MakeDownloadTexts(6740, 10000, 2048));
    EXPECT_TRUE(MakeDownloadTexts(6680, 10000, 2048) != MakeDownloadTexts(6680, 10000, 4096));
    EXPECT_TRUE(MakeDownloadTexts(0, 0, 0) != MakeDownloadTexts(0, 10, 0));
}
