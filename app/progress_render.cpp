#include "app/progress_render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/text.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

uint32_t BlendChannelwise(uint32_t a, uint32_t b, double f) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const double ca = (a >> shift) & 0xFF;
        const double cb = (b >> shift) & 0xFF;
        out |= (static_cast<uint32_t>(f * ca + (1.0 - f) * cb) & 0xFF) << shift;
    }
    return out;
}

// Each channel of `c` moved towards the ring grey 0x99 by `alpha`.
uint32_t TowardsGrey(uint32_t c, double alpha) {
    return BlendChannelwise(0x999999, c, alpha);
}

// Clockwise angle of (dx, dy) from six o'clock in degrees, 0 <= angle < 360;
// y grows downwards, so six o'clock is +y and nine o'clock is -x.
double ClockwiseFromSix(double dx, double dy) {
    double deg = std::atan2(-dx, dy) * 180.0 / kPi;
    return deg < 0 ? deg + 360.0 : deg;
}

}  // namespace

FrameBuffer MakeWhiteFrame() {
    return FrameBuffer(static_cast<size_t>(kFrameWidth) * kFrameHeight, kWhite);
}

ProgressGeometry::ProgressGeometry(int logoWidth, int logoHeight) {
    maxRadius =
        static_cast<int>(std::sqrt(double(kCentreX) * kCentreX + double(kCentreY) * kCentreY));
    logoX = kCentreX - logoWidth / 2;
    logoY = (kCentreY - logoHeight) / 2 + 2;
    const double dx = logoX - kCentreX;
    const double dy = logoY - kCentreY;
    logoCornerDistance = static_cast<int>(std::sqrt(dx * dx + dy * dy));
    sweepWidth = std::max(0, logoWidth);
    sweepHeight = std::max(0, logoHeight);
    sweepAngle.resize(static_cast<size_t>(sweepWidth) * sweepHeight);
    for (int j = 0; j < sweepHeight; ++j) {
        for (int i = 0; i < sweepWidth; ++i) {
            sweepAngle[static_cast<size_t>(j) * sweepWidth + i] =
                ClockwiseFromSix(i + 0.5 - sweepWidth / 2.0, j + 0.5 - sweepHeight / 2.0);
        }
    }
    distance.resize(static_cast<size_t>(kFrameWidth) * kFrameHeight);
    wholeDistance.resize(distance.size());
    for (int j = 0; j < kFrameHeight; ++j) {
        for (int i = 0; i < kFrameWidth; ++i) {
            const double di = i - kCentreX;
            const double dj = j - kCentreY;
            const size_t k = static_cast<size_t>(j) * kFrameWidth + i;
            distance[k] = std::sqrt(di * di + dj * dj);
            wholeDistance[k] = static_cast<uint16_t>(distance[k]);
        }
    }
}

void CopyNonWhite(const PixelImage& image, int x, int y, FrameBuffer& frame) {
    if (image.Empty()) {
        return;
    }
    const int x0 = std::max(0, -x), y0 = std::max(0, -y);
    const int x1 = std::min(image.width, kFrameWidth - x);
    const int y1 = std::min(image.height, kFrameHeight - y);
    for (int j = y0; j < y1; ++j) {
        for (int i = x0; i < x1; ++i) {
            const uint32_t p = image.At(i, j);
            if (p != kWhite) {
                frame[static_cast<size_t>(y + j) * kFrameWidth + (x + i)] = p;
            }
        }
    }
}

void DrawDownloadSweep(int percent, const PixelImage& grey, const PixelImage& coloured,
                       const ProgressGeometry& geometry, FrameBuffer& frame) {
    std::fill(frame.begin(), frame.end(), kWhite);
    const int p = std::clamp(percent, 0, 100);
    const PixelImage& base = p < 50 ? grey : coloured;
    CopyNonWhite(base, geometry.logoX, geometry.logoY, frame);
    if (p == 0 || p >= 100 || grey.Empty() || coloured.Empty()) {
        return;
    }
    // Below 50 % the swept part takes the coloured logo; from 50 % the part
    // still ahead of the hand keeps the grey one.
    const PixelImage& other = p < 50 ? coloured : grey;
    const double hand = 3.6 * p;
    const int w = std::min(other.width, base.width), h = std::min(other.height, base.height);
    const double cx = base.width / 2.0, cy = base.height / 2.0;
    // The angles were computed once for a logo of the usual size.
    const bool table = base.width == geometry.sweepWidth && base.height == geometry.sweepHeight;
    for (int j = 0; j < h; ++j) {
        const int fy = geometry.logoY + j;
        if (fy < 0 || fy >= kFrameHeight) {
            continue;
        }
        for (int i = 0; i < w; ++i) {
            const int fx = geometry.logoX + i;
            if (fx < 0 || fx >= kFrameWidth) {
                continue;
            }
            const double angle =
                table ? geometry.sweepAngle[static_cast<size_t>(j) * geometry.sweepWidth + i]
                      : ClockwiseFromSix(i + 0.5 - cx, j + 0.5 - cy);
            const bool swept = angle < hand;
            if (swept == (p < 50)) {
                const uint32_t px = other.At(i, j);
                frame[static_cast<size_t>(fy) * kFrameWidth + fx] = px;
            }
        }
    }
}

int InstallAnimation::TargetRadius(int progress) const {
    return (m_geometry.maxRadius - 15) * progress / 1000 + 15;
}

void InstallAnimation::UpdateRings(uint32_t now) {
    if (m_rings.empty() || now - m_rings.back().birthTick > kRingPeriodMs) {
        ProgressRing ring;
        ring.birthTick = now;
        m_rings.push_back(ring);
    }
    for (ProgressRing& ring : m_rings) {
        const uint32_t age = now - ring.birthTick;
        if (age < kRingLifeMs) {
            const uint32_t remaining = kRingLifeMs - age;
            ring.alpha = remaining < 2000 ? static_cast<float>(remaining * 0.000025) : 0.05f;
            ring.radius = static_cast<int>(age * 0.178);
        }
    }
    m_rings.erase(
        std::remove_if(m_rings.begin(), m_rings.end(),
                       [now](const ProgressRing& r) { return now - r.birthTick >= kRingLifeMs; }),
        m_rings.end());
}

void InstallAnimation::BuildColourTable() {
    std::fill(m_colourTable.begin(), m_colourTable.end(), 0xFFFFFFFFu);
    uint32_t colour = kWhite;
    int previous = 0;
    for (const ProgressRing& ring : m_rings) {
        colour = TowardsGrey(colour, ring.alpha);
        const int upper = std::min(ring.radius, kColourTableSize);
        for (int k = std::max(previous, 0); k < upper; ++k) {
            m_colourTable[k] = colour;
        }
        previous = upper;
    }
    const uint32_t centre = TowardsGrey(colour, 0.05);
    for (int k = 0; k < previous; ++k) {
        m_colourTable[k] = centre;
    }
}

void InstallAnimation::PaintDisc(const PixelImage& finished, FrameBuffer& scratch) const {
    const int r = m_nRadius;
    const int cx = ProgressGeometry::kCentreX, cy = ProgressGeometry::kCentreY;
    const int x0 = std::max(0, cx - r), x1 = std::min(kFrameWidth - 1, cx + r);
    const int y0 = std::max(0, cy - r), y1 = std::min(kFrameHeight - 1, cy + r);
    const bool haveBackground = finished.width >= kFrameWidth && finished.height >= kFrameHeight;
    for (int y = y0; y <= y1; ++y) {
        const size_t row = static_cast<size_t>(y) * kFrameWidth;
        const uint16_t* whole = m_geometry.wholeDistance.data() + row;
        const uint32_t* back =
            haveBackground ? finished.pixels.data() + static_cast<size_t>(y) * finished.width
                           : nullptr;
        uint32_t* px = scratch.data() + row;
        for (int x = x0; x <= x1; ++x) {
            const int d = whole[x];
            if (d >= r) {
                continue;
            }
            const uint32_t b = back ? back[x] & kWhite : kWhite;
            if (r == d + 1) {
                px[x] = BlendChannelwise(px[x], b, m_geometry.distance[row + x] - d);  // rim
            } else {
                px[x] = b;
            }
        }
    }
}

void InstallAnimation::Render(int progress, uint32_t now, const PixelImage& logo,
                              const PixelImage& finished, FrameBuffer& scratch) {
    m_nRadius = std::min(m_nRadius + 1, TargetRadius(progress));
    UpdateRings(now);
    BuildColourTable();
    // Inside the rim the disc covers every pixel: the rings need not be drawn there.
    const int inside = m_nRadius - 1;
    const size_t n = scratch.size();
    const uint16_t* whole = m_geometry.wholeDistance.data();
    for (size_t k = 0; k < n; ++k) {
        const int d = whole[k];
        if (d >= inside) {
            scratch[k] = m_colourTable[std::min(d, kColourTableSize - 1)];
        }
    }
    if (m_nRadius < m_geometry.logoCornerDistance) {
        CopyNonWhite(logo, m_geometry.logoX, m_geometry.logoY, scratch);
    }
    if (m_nRadius > 0) {
        PaintDisc(finished, scratch);
    }
}

uint32_t SpeedSampler::Sample(uint64_t downloaded, uint32_t now) {
    const uint32_t elapsed = now - m_nLastTick;
    if ((elapsed > 1000 || m_nSpeed == 0) && elapsed > 0) {
        // A fresh download after a retry starts below the last sample.
        const uint64_t delta = downloaded > m_nLastBytes ? downloaded - m_nLastBytes : 0;
        m_nSpeed = static_cast<uint32_t>(std::min(delta / (elapsed / 1000.0), 4294967295.0));
        m_nLastBytes = downloaded;
        m_nLastTick = now;
    }
    return m_nSpeed;
}

uint32_t AverageSpeed(uint64_t downloaded, uint32_t startTick, uint32_t now) {
    const uint32_t elapsed = now - startTick;
    if (elapsed == 0) {
        return 0;
    }
    return static_cast<uint32_t>(std::min(downloaded / (elapsed / 1000.0), 4294967295.0));
}

DownloadTexts MakeDownloadTexts(uint64_t downloaded, uint64_t total, uint32_t sampledSpeed) {
    DownloadTexts texts;
    if (downloaded > 0 && downloaded < total) {
        char size[64];
        FormatSize(sampledSpeed, size, sizeof size);
        texts.bFigures = true;
        texts.strSpeed = std::string(size) + "/s";
        const double percent = std::max(0.0, downloaded * 100.0 / total);
        char text[32];
        snprintf(text, sizeof text, "%.0f%s", percent, "%");
        texts.strPercent = text;
        texts.nStatusId = DownloadTexts::kStatusDownloading;
        texts.nDrawnPercent = static_cast<int>(percent);
    } else {
        texts.nStatusId =
            total != 0 ? DownloadTexts::kStatusSizeKnown : DownloadTexts::kStatusSizeUnknown;
    }
    return texts;
}
