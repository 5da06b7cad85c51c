// The installer window's progress animations, computed in plain memory:
// the download sweep over the product logo and the installation's rings and
// growing disc. Nothing here touches a window; the painters copy the finished
// pixels into a bitmap and blit it.
//
// Pixels are 32-bit words with blue in the low byte (a 32-bit DIB); white is
// 0xFFFFFF and pixels taken from bitmaps keep only their low three bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lang/lang.h"

constexpr int kFrameWidth = 622;
constexpr int kFrameHeight = 405;
constexpr uint32_t kWhite = 0xFFFFFF;

// A bitmap's pixels as the painters use them.
struct PixelImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // width * height, rows top-down

    bool Empty() const { return width <= 0 || height <= 0 || pixels.empty(); }
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] & kWhite; }
};

using FrameBuffer = std::vector<uint32_t>;  // kFrameWidth * kFrameHeight
FrameBuffer MakeWhiteFrame();

// The fixed geometry of the animations: the centre point at the bottom middle
// of the install page, the largest distance to a corner, where the large logo
// sits, and each pixel's distance from the centre (computed once).
struct ProgressGeometry {
    static constexpr int kCentreX = kFrameWidth / 2;    // 311
    static constexpr int kCentreY = kFrameHeight - 50;  // 355

    int maxRadius = 0;
    int logoX = 0;
    int logoY = 0;
    int logoCornerDistance = 0;
    std::vector<double> distance;
    std::vector<uint16_t> wholeDistance;  // the same, truncated: what the per-pixel passes index by
    // Clockwise angle from six o'clock (degrees) of every logo pixel's centre
    // around the logo's centre, for the download sweep.
    int sweepWidth = 0;
    int sweepHeight = 0;
    std::vector<double> sweepAngle;

    // The logo is placed with its centre on the window's centre line.
    explicit ProgressGeometry(int logoWidth = 311, int logoHeight = 311);
    double DistanceAt(int x, int y) const {
        return distance[static_cast<size_t>(y) * kFrameWidth + x];
    }
    int WholeDistanceAt(int x, int y) const {
        return wholeDistance[static_cast<size_t>(y) * kFrameWidth + x];
    }
};

// Copies the non-white pixels of `image` into `frame` with the image's
// top-left corner at (x, y); parts outside the frame are cut off.
void CopyNonWhite(const PixelImage& image, int x, int y, FrameBuffer& frame);

// The download sweep: the grey logo is recoloured clockwise from six o'clock
// as the percentage grows; from 50 % the coloured logo is the base and grey
// remains in the part not yet swept.
void DrawDownloadSweep(int percent, const PixelImage& grey, const PixelImage& coloured,
                       const ProgressGeometry& geometry, FrameBuffer& frame);

// One expanding ring of the installation animation.
struct ProgressRing {
    int radius = 0;
    uint32_t birthTick = 0;
    float alpha = 0.05f;
    uint32_t colour = 0x999999;
};

// The installation animation's state: the disc radius drawn so far, the rings
// and the colour table. Owned by the render thread.
class InstallAnimation {
public:
    static constexpr uint32_t kRingPeriodMs = 699;  // a new ring once the newest is older
    static constexpr uint32_t kRingLifeMs = 5000;
    static constexpr int kColourTableSize = 1024;

    explicit InstallAnimation(const ProgressGeometry& geometry) : m_geometry(geometry) {}

    // One frame at installation progress `progress` (0-1000) and time `now`:
    // grows the disc by at most one pixel, ages the rings and paints the
    // scratch frame. `logo` is drawn until the disc passes its corner; the
    // disc shows `finished`.
    void Render(int progress, uint32_t now, const PixelImage& logo, const PixelImage& finished,
                FrameBuffer& scratch);
    void Reset() { m_nRadius = 0; }

    int Radius() const { return m_nRadius; }
    const std::vector<ProgressRing>& Rings() const { return m_rings; }
    const std::vector<uint32_t>& ColourTable() const { return m_colourTable; }

    // Steps of Render, separately testable.
    int TargetRadius(int progress) const;
    void UpdateRings(uint32_t now);
    void BuildColourTable();

private:
    void PaintDisc(const PixelImage& finished, FrameBuffer& scratch) const;

    const ProgressGeometry& m_geometry;
    int m_nRadius = 0;
    std::vector<ProgressRing> m_rings;  // oldest first
    std::vector<uint32_t> m_colourTable = std::vector<uint32_t>(kColourTableSize, 0xFFFFFFFFu);
};

// The download painter's sampled speed: a new sample once a second (or while
// the last sample read 0).
class SpeedSampler {
public:
    uint32_t Sample(uint64_t downloaded, uint32_t now);
    uint32_t Speed() const { return m_nSpeed; }

private:
    uint32_t m_nLastTick = 0;
    uint64_t m_nLastBytes = 0;
    uint32_t m_nSpeed = 0;
};

// What the download view writes below the logo. The painter compares it with
// the texts on the window to know whether the text row has to be drawn again.
struct DownloadTexts {
    // Language strings of the status line.
    static constexpr int kStatusDownloading = kStrDownloading;
    static constexpr int kStatusSizeKnown = kStrCheckingData;
    static constexpr int kStatusSizeUnknown = kStrGatheringInfo;

    bool bFigures = false;  // speed, percentage and status line; else the status line alone
    std::string strSpeed;   // "<size>/s"
    std::string strPercent;
    int nStatusId = kStatusSizeUnknown;
    int nDrawnPercent = 0;  // the percentage as drawn, truncated; 0 when not drawn

    bool operator==(const DownloadTexts& o) const {
        return bFigures == o.bFigures && strSpeed == o.strSpeed && strPercent == o.strPercent &&
               nStatusId == o.nStatusId;
    }
    bool operator!=(const DownloadTexts& o) const { return !(*this == o); }
};
DownloadTexts MakeDownloadTexts(uint64_t downloaded, uint64_t total, uint32_t sampledSpeed);

// Bytes per second since the download started, truncated.
uint32_t AverageSpeed(uint64_t downloaded, uint32_t startTick, uint32_t now);
