// Small inline SVG charts for the dashboard: nothing outside the page is
// loaded, every label is escaped by the caller's HtmlEscape.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ChartSeries {
    std::string name;
    std::string color;           // CSS colour
    std::vector<double> values;  // one per x label; NaN where there is no value
};

struct ChartFrame {
    std::vector<std::string> xLabels;            // already escaped
    std::function<std::string(double)> yFormat;  // axis and tooltip text
    double yMax = 0;                             // 0: from the data
    int width = 920;
    int height = 220;
};

// Bars side by side per x label, one colour per series.
std::string SvgBarChart(const ChartFrame& frame, const std::vector<ChartSeries>& series);
// A polyline per series with a dot per value; gaps where a value is NaN.
std::string SvgLineChart(const ChartFrame& frame, const std::vector<ChartSeries>& series);

struct StackedRow {
    std::string label;           // already escaped
    std::vector<double> values;  // one per segment colour
};
// Horizontal bars, one per row, split into segments of the given colours.
std::string SvgStackedBars(const std::vector<StackedRow>& rows,
                           const std::vector<std::string>& segmentNames,
                           const std::vector<std::string>& segmentColors);
// One horizontal bar of `share` (0..1) for a table cell.
std::string SvgShareBar(double share, const std::string& color);
