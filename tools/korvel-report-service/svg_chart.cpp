#include "svg_chart.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

constexpr int kLeft = 64;
constexpr int kRight = 12;
constexpr int kTop = 12;
constexpr int kBottom = 28;
constexpr int kGridLines = 4;

double DataMax(const ChartFrame& frame, const std::vector<ChartSeries>& series) {
    if (frame.yMax > 0)
        return frame.yMax;
    double top = 0;
    for (const auto& s : series) {
        for (double v : s.values) {
            if (!std::isnan(v))
                top = std::max(top, v);
        }
    }
    if (top <= 0)
        return 1;
    // A round grid step (1, 2, 2.5 or 5 times a power of ten) above the data.
    const double rough = top * 1.05 / kGridLines;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (factor * power >= rough)
            return factor * power * kGridLines;
    }
    return top;
}

struct Plot {
    const ChartFrame& frame;
    double yMax;
    double innerWidth() const { return frame.width - kLeft - kRight; }
    double innerHeight() const { return frame.height - kTop - kBottom; }
    double slot() const { return innerWidth() / std::max<size_t>(1, frame.xLabels.size()); }
    double X(size_t i) const { return kLeft + slot() * (static_cast<double>(i) + 0.5); }
    double Y(double v) const { return kTop + innerHeight() * (1 - std::min(v, yMax) / yMax); }
};

void Open(std::ostringstream& svg, const Plot& p) {
    svg << "<svg class=\"chart\" width=\"" << p.frame.width << "\" height=\"" << p.frame.height
        << "\" viewBox=\"0 0 " << p.frame.width << ' ' << p.frame.height << "\" role=\"img\">\n";
    for (int g = 0; g <= kGridLines; ++g) {
        const double v = p.yMax * g / kGridLines;
        const double y = p.Y(v);
        svg << "<line x1=\"" << kLeft << "\" x2=\"" << p.frame.width - kRight << "\" y1=\"" << y
            << "\" y2=\"" << y << "\" stroke=\"#ddd\"/>"
            << "<text x=\"" << kLeft - 6 << "\" y=\"" << y + 4
            << "\" text-anchor=\"end\" class=\"axis\">" << p.frame.yFormat(v) << "</text>\n";
    }
    // Every label when they fit, otherwise about eight of them.
    const size_t n = p.frame.xLabels.size();
    const size_t step = std::max<size_t>(1, (n + 7) / 8);
    for (size_t i = 0; i < n; i += step) {
        svg << "<text x=\"" << p.X(i) << "\" y=\"" << p.frame.height - 8
            << "\" text-anchor=\"middle\" class=\"axis\">" << p.frame.xLabels[i] << "</text>\n";
    }
}

}  // namespace

std::string SvgBarChart(const ChartFrame& frame, const std::vector<ChartSeries>& series) {
    const Plot p{frame, DataMax(frame, series)};
    std::ostringstream svg;
    Open(svg, p);
    const double barWidth = p.slot() * 0.8 / std::max<size_t>(1, series.size());
    for (size_t s = 0; s < series.size(); ++s) {
        for (size_t i = 0; i < series[s].values.size() && i < frame.xLabels.size(); ++i) {
            const double v = series[s].values[i];
            if (std::isnan(v) || v <= 0)
                continue;
            const double x = p.X(i) - p.slot() * 0.4 + barWidth * static_cast<double>(s);
            svg << "<rect x=\"" << x << "\" y=\"" << p.Y(v) << "\" width=\"" << barWidth
                << "\" height=\"" << p.Y(0) - p.Y(v) << "\" fill=\"" << series[s].color
                << "\"><title>" << frame.xLabels[i] << ' ' << series[s].name << ": "
                << frame.yFormat(v) << "</title></rect>\n";
        }
    }
    svg << "</svg>\n";
    return svg.str();
}

std::string SvgLineChart(const ChartFrame& frame, const std::vector<ChartSeries>& series) {
    const Plot p{frame, DataMax(frame, series)};
    std::ostringstream svg;
    Open(svg, p);
    for (const auto& s : series) {
        std::ostringstream points;
        auto flush = [&] {
            if (!points.str().empty()) {
                svg << "<polyline fill=\"none\" stroke-width=\"2\" stroke=\"" << s.color
                    << "\" points=\"" << points.str() << "\"/>\n";
            }
            points.str("");
        };
        for (size_t i = 0; i < s.values.size() && i < frame.xLabels.size(); ++i) {
            const double v = s.values[i];
            if (std::isnan(v)) {
                flush();
                continue;
            }
            points << p.X(i) << ',' << p.Y(v) << ' ';
        }
        flush();
        for (size_t i = 0; i < s.values.size() && i < frame.xLabels.size(); ++i) {
            if (std::isnan(s.values[i]))
                continue;
            svg << "<circle cx=\"" << p.X(i) << "\" cy=\"" << p.Y(s.values[i])
                << "\" r=\"2.5\" fill=\"" << s.color << "\"><title>" << frame.xLabels[i] << ' '
                << s.name << ": " << frame.yFormat(s.values[i]) << "</title></circle>\n";
        }
    }
    svg << "</svg>\n";
    return svg.str();
}

std::string SvgStackedBars(const std::vector<StackedRow>& rows,
                           const std::vector<std::string>& segmentNames,
                           const std::vector<std::string>& segmentColors) {
    constexpr int kLabelWidth = 220;
    constexpr int kBarWidth = 560;
    constexpr int kRowHeight = 22;
    double widest = 1;
    for (const auto& row : rows) {
        double total = 0;
        for (double v : row.values)
            total += v;
        widest = std::max(widest, total);
    }
    const int height = kRowHeight * static_cast<int>(rows.size()) + 4;
    std::ostringstream svg;
    svg << "<svg class=\"chart\" width=\"" << kLabelWidth + kBarWidth + 70 << "\" height=\""
        << height << "\" role=\"img\">\n";
    for (size_t r = 0; r < rows.size(); ++r) {
        const int y = kRowHeight * static_cast<int>(r) + 2;
        svg << "<text x=\"" << kLabelWidth - 8 << "\" y=\"" << y + 15
            << "\" text-anchor=\"end\" class=\"label\">" << rows[r].label << "</text>\n";
        double x = kLabelWidth;
        double total = 0;
        for (size_t s = 0; s < rows[r].values.size() && s < segmentColors.size(); ++s) {
            const double v = rows[r].values[s];
            total += v;
            if (v <= 0)
                continue;
            const double w = kBarWidth * v / widest;
            svg << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << w << "\" height=\""
                << kRowHeight - 4 << "\" fill=\"" << segmentColors[s] << "\"><title>"
                << rows[r].label << ' ' << segmentNames[s] << ": " << v << "</title></rect>\n";
            x += w;
        }
        svg << "<text x=\"" << x + 6 << "\" y=\"" << y + 15 << "\" class=\"label\">" << total
            << "</text>\n";
    }
    svg << "</svg>\n";
    return svg.str();
}

std::string SvgShareBar(double share, const std::string& color) {
    constexpr int kWidth = 160;
    std::ostringstream svg;
    svg << "<svg width=\"" << kWidth << "\" height=\"12\">"
        << "<rect width=\"" << kWidth << "\" height=\"12\" fill=\"#eee\"/><rect width=\""
        << kWidth * std::clamp(share, 0.0, 1.0) << "\" height=\"12\" fill=\"" << color
        << "\"/></svg>";
    return svg.str();
}
