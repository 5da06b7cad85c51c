// The vendor's dashboard: installs per day, outcomes by installer version,
// language and system, the most frequent failure reasons with their newest
// logs, the mirrors, and download times per day. One HTML page with inline
// SVG; no script and no request beyond the page itself.
#include <cjson/cJSON.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <sstream>

#include "report_service.h"
#include "svg_chart.h"

namespace {

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;
constexpr double kNoValue = NAN;
constexpr size_t kTopReasons = 12;
constexpr size_t kLogsPerReason = 3;
constexpr size_t kMaxGroupRows = 12;

// Final statuses in the order and colours of every breakdown.
const char* kFinalStatuses[] = {"success",         "install_fail",   "downLoad_fail",
                                "donwload_cancel", "install_cancel", "cancel"};
const char* kStatusColors[] = {"#2e7d32", "#c62828", "#ef6c00", "#90a4ae", "#607d8b", "#cfd8dc"};
constexpr size_t kFinalCount = sizeof(kFinalStatuses) / sizeof(kFinalStatuses[0]);

size_t FinalIndex(const std::string& status) {
    for (size_t i = 0; i < kFinalCount; ++i) {
        if (status == kFinalStatuses[i])
            return i;
    }
    return kFinalCount;
}

bool NumberMember(const cJSON* doc, const char* key, double& out) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(doc, key);
    if (!cJSON_IsNumber(item))
        return false;
    out = item->valuedouble;
    return true;
}

std::string StringMember(const cJSON* doc, const char* key) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(doc, key);
    return cJSON_IsString(item) ? item->valuestring : "";
}

double Median(std::vector<double> values) {
    if (values.empty())
        return kNoValue;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

std::string Fixed(double value, int digits) {
    char text[64];
    snprintf(text, sizeof(text), "%.*f", digits, value);
    return text;
}

std::string Speed(double bytesPerSecond) {
    if (std::isnan(bytesPerSecond))
        return "n/a";
    if (bytesPerSecond >= 1048576.0)
        return Fixed(bytesPerSecond / 1048576.0, 1) + " MB/s";
    if (bytesPerSecond >= 1024.0)
        return Fixed(bytesPerSecond / 1024.0, 0) + " KB/s";
    return Fixed(bytesPerSecond, 0) + " B/s";
}

std::string Percent(double share) {
    return std::isnan(share) ? "n/a" : Fixed(100.0 * share, 1) + " %";
}

std::string Day(int64_t unixSeconds, const char* format) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    strftime(text, sizeof(text), format, &utc);
    return text;
}

struct DayFigures {
    int nStarts = 0;
    int nFinals = 0;
    int nSuccesses = 0;
    std::vector<double> downloadSeconds;  // successful installs
    std::vector<double> averageSpeeds;
};

struct MirrorFigures {
    int nReports = 0;
    int nFlagged = 0;
    std::vector<double> pings;
};

struct Reason {
    int nCount = 0;
    std::vector<std::string> newestUuids;  // newest first, at most kLogsPerReason with logs
};

// value of one report member → final status index → count
using Breakdown = std::map<std::string, std::vector<int>>;

struct Figures {
    std::vector<DayFigures> days;
    std::map<std::string, int> totals;
    Breakdown byVersion, byLanguage, bySystem;
    std::map<std::string, Reason> reasons;  // "field: value"
    std::map<std::string, MirrorFigures> mirrors;
};

void Count(Breakdown& breakdown, const std::string& value, size_t status) {
    auto& counts = breakdown[value.empty() ? "(none)" : value];
    counts.resize(kFinalCount, 0);
    ++counts[status];
}

void AddMirrors(const cJSON* doc, Figures& f) {
    const cJSON* used = cJSON_GetObjectItemCaseSensitive(doc, "used_url_info");
    if (!cJSON_IsArray(used))
        return;
    const cJSON* mirror = nullptr;
    cJSON_ArrayForEach(mirror, used) {
        const std::string domain = StringMember(mirror, "domain");
        if (domain.empty())
            continue;
        MirrorFigures& m = f.mirrors[domain];
        ++m.nReports;
        double value = 0;
        if (NumberMember(mirror, "invalid", value) && value != 0)
            ++m.nFlagged;
        if (NumberMember(mirror, "ping_time", value))
            m.pings.push_back(value);
    }
}

void AddReasons(const cJSON* doc, const StoredReport& r, Figures& f) {
    std::vector<std::string> keys;
    const std::string download = StringMember(doc, "download_last_error");
    const std::string install = StringMember(doc, "install_last_error");
    double curl = 0;
    if (!download.empty())
        keys.push_back("download_last_error: " + download);
    if (!install.empty())
        keys.push_back("install_last_error: " + install);
    if (NumberMember(doc, "curl_error", curl) && curl != 0)
        keys.push_back("curl_error: " + Fixed(curl, 0));
    if (keys.empty())
        keys.push_back("(no error named)");
    for (const auto& key : keys) {
        Reason& reason = f.reasons[key];
        ++reason.nCount;
        // Reports come oldest first: the newest uuid goes to the front.
        if (!r.strUuid.empty())
            reason.newestUuids.insert(reason.newestUuids.begin(), r.strUuid);
        if (reason.newestUuids.size() > 50)
            reason.newestUuids.pop_back();
    }
}

void AddFinal(const StoredReport& r, const cJSON* doc, DayFigures& day, Figures& f) {
    const size_t status = FinalIndex(r.strStatus);
    ++day.nFinals;
    Count(f.byVersion, StringMember(doc, "app_version"), status);
    Count(f.byLanguage, StringMember(doc, "language"), status);
    Count(f.bySystem, StringMember(doc, "system_type"), status);
    if (r.strStatus == "success") {
        ++day.nSuccesses;
        double value = 0;
        if (NumberMember(doc, "download_second", value))
            day.downloadSeconds.push_back(value);
        if (NumberMember(doc, "average_speed", value))
            day.averageSpeeds.push_back(value);
    } else if (r.strStatus == "install_fail" || r.strStatus == "downLoad_fail") {
        AddReasons(doc, r, f);
    }
    AddMirrors(doc, f);
}

Figures Collect(const DashboardInput& in) {
    Figures f;
    f.days.resize(static_cast<size_t>(in.nDays));
    for (const auto& r : in.reports) {
        const int64_t index = (r.nReceivedAt - in.nFirstDay) / 86400;
        if (r.nReceivedAt < in.nFirstDay || index >= in.nDays)
            continue;
        ++f.totals[r.strStatus];
        DayFigures& day = f.days[static_cast<size_t>(index)];
        if (r.strStatus == "start") {
            ++day.nStarts;
            continue;
        }
        JsonPtr doc(cJSON_ParseWithLength(r.strDocument.data(), r.strDocument.size()),
                    cJSON_Delete);
        AddFinal(r, doc.get(), day, f);
    }
    return f;
}

// Everything drawn per day: the x labels and the figures' series.
struct DaySeries {
    std::vector<std::string> labels;
    std::vector<double> starts, finals, successRate, medianSeconds, averageSpeed;
};

DaySeries PerDay(const DashboardInput& in, const Figures& f) {
    DaySeries s;
    for (size_t i = 0; i < f.days.size(); ++i) {
        const DayFigures& d = f.days[i];
        s.labels.push_back(Day(in.nFirstDay + static_cast<int64_t>(i) * 86400, "%m-%d"));
        s.starts.push_back(d.nStarts);
        s.finals.push_back(d.nFinals);
        s.successRate.push_back(d.nFinals ? 100.0 * d.nSuccesses / d.nFinals : kNoValue);
        s.medianSeconds.push_back(Median(d.downloadSeconds));
        double sum = 0;
        for (double v : d.averageSpeeds)
            sum += v;
        s.averageSpeed.push_back(
            d.averageSpeeds.empty() ? kNoValue : sum / static_cast<double>(d.averageSpeeds.size()));
    }
    return s;
}

void WriteHead(std::ostringstream& html, const DashboardInput& in) {
    html << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
            "<link rel=\"icon\" href=\"data:,\"><title>Korvel install reports</title>\n<style>"
            "body{font-family:sans-serif;margin:16px 24px;color:#222}"
            "h2{margin-top:28px;border-bottom:1px solid #ccc}"
            "table{border-collapse:collapse}td,th{border:1px solid #bbb;padding:2px 8px;"
            "text-align:left}td.n{text-align:right}"
            ".tiles{display:flex;flex-wrap:wrap;gap:10px}"
            ".tile{border:1px solid #bbb;border-radius:6px;padding:6px 12px;min-width:120px}"
            ".tile b{display:block;font-size:22px}.axis{font-size:11px;fill:#555}"
            ".label{font-size:12px;fill:#222}.legend span{display:inline-block;width:12px;"
            "height:12px;margin:0 4px 0 14px;vertical-align:middle}"
            ".groups{display:flex;flex-wrap:wrap;gap:24px}</style></head><body>\n"
         << "<h1>Korvel install reports</h1>\n<p>Last " << in.nDays
         << " days: " << Day(in.nFirstDay, "%Y-%m-%d") << " to "
         << Day(in.nFirstDay + int64_t(in.nDays - 1) * 86400, "%Y-%m-%d") << " (UTC). Range:";
    for (int days : {7, 30, 90, 365})
        html << " <a href=\"/?days=" << days << "\">" << days << " days</a>";
    html << ". Raw data: <a href=\"/api/install/reports.json\">reports.json</a></p>\n";
}

void WriteTiles(std::ostringstream& html, const DashboardInput& in, const Figures& f) {
    int starts = 0, finals = 0, successes = 0;
    for (const auto& d : f.days) {
        starts += d.nStarts;
        finals += d.nFinals;
        successes += d.nSuccesses;
    }
    const auto counter = [&in](const char* name) {
        auto it = in.counters.find(name);
        return it == in.counters.end() ? int64_t(0) : it->second;
    };
    const auto tile = [&html](const std::string& value, const char* what) {
        html << "<div class=\"tile\"><b>" << value << "</b>" << what << "</div>\n";
    };
    html << "<div class=\"tiles\">\n";
    tile(std::to_string(starts), "installs started");
    tile(std::to_string(finals), "final reports");
    tile(Percent(finals ? double(successes) / finals : kNoValue), "success rate");
    tile(std::to_string(in.logs.size()), "logs stored in range");
    tile(Fixed(in.nLogBytes / 1048576.0, 1) + " / " + Fixed(in.nLogStoreBytes / 1048576.0, 0) +
             " MB",
         "log store used");
    tile(std::to_string(counter(counter::kLogCopiesDropped)), "repeated log copies not kept");
    tile(std::to_string(counter(counter::kLogsRefusedStoreFull)), "logs refused, store full (507)");
    tile(std::to_string(in.nRateLimited), "posts over the rate bound (429, this instance)");
    html << "</div>\n";
}

void WriteLegend(std::ostringstream& html, const std::vector<std::string>& names,
                 const std::vector<std::string>& colors) {
    html << "<p class=\"legend\">";
    for (size_t i = 0; i < names.size(); ++i)
        html << "<span style=\"background:" << colors[i] << "\"></span>" << names[i];
    html << "</p>\n";
}

void WriteDays(std::ostringstream& html, const DaySeries& s) {
    const auto count = [](double v) { return Fixed(v, 0); };
    html << "<h2>Installs per day</h2>\n";
    WriteLegend(html, {"started", "finished (final report)"}, {"#1e88e5", "#8e24aa"});
    html << SvgBarChart({s.labels, count},
                        {{"started", "#1e88e5", s.starts}, {"finished", "#8e24aa", s.finals}});
    html << "<h2>Success rate per day</h2>\n";
    html << SvgLineChart({s.labels, [](double v) { return Fixed(v, 0) + " %"; }, 100, 920, 180},
                         {{"success rate", "#2e7d32", s.successRate}});
    html << "<h2>Downloads of successful installs per day</h2>\n<h3>Median download time</h3>\n";
    html << SvgLineChart({s.labels, [](double v) { return Fixed(v, 0) + " s"; }},
                         {{"median download time", "#6d4c41", s.medianSeconds}});
    html << "<h3>Average download speed</h3>\n";
    html << SvgLineChart({s.labels, Speed}, {{"average speed", "#00838f", s.averageSpeed}});
}

void WriteBreakdown(std::ostringstream& html, const char* title, const Breakdown& breakdown) {
    std::vector<std::pair<int, std::string>> order;
    for (const auto& [value, counts] : breakdown) {
        int total = 0;
        for (int c : counts)
            total += c;
        order.emplace_back(-total, value);
    }
    std::sort(order.begin(), order.end());
    std::vector<StackedRow> rows;
    for (size_t i = 0; i < order.size() && i < kMaxGroupRows; ++i) {
        const auto& counts = breakdown.at(order[i].second);
        rows.push_back(
            {HtmlEscape(order[i].second), std::vector<double>(counts.begin(), counts.end())});
    }
    html << "<div><h3>" << title << "</h3>\n"
         << SvgStackedBars(rows, {std::begin(kFinalStatuses), std::end(kFinalStatuses)},
                           {std::begin(kStatusColors), std::end(kStatusColors)})
         << "</div>\n";
}

void WriteReasons(std::ostringstream& html, const DashboardInput& in, const Figures& f) {
    std::map<std::string, int64_t> newestLog;  // uuid → id of its newest log
    for (const auto& log : in.logs)
        newestLog[log.strUuid] = log.nId;
    std::vector<std::pair<int, std::string>> order;
    for (const auto& [key, reason] : f.reasons)
        order.emplace_back(-reason.nCount, key);
    std::sort(order.begin(), order.end());
    html << "<h2>Top failure reasons</h2>\n<table><tr><th>reason</th><th>failures</th>"
            "<th>newest logs</th></tr>\n";
    for (size_t i = 0; i < order.size() && i < kTopReasons; ++i) {
        const Reason& reason = f.reasons.at(order[i].second);
        html << "<tr><td>" << HtmlEscape(order[i].second) << "</td><td class=\"n\">"
             << reason.nCount << "</td><td>";
        size_t shown = 0;
        for (const auto& uuid : reason.newestUuids) {
            auto it = newestLog.find(uuid);
            if (it == newestLog.end() || shown == kLogsPerReason)
                continue;
            ++shown;
            html << "<a href=\"/logs/" << it->second << "\">log " << it->second << "</a> ";
        }
        html << "</td></tr>\n";
    }
    html << "</table>\n";
}

void WriteMirrors(std::ostringstream& html, const Figures& f) {
    std::vector<std::pair<int, std::string>> order;  // most used first
    for (const auto& [domain, m] : f.mirrors)
        order.emplace_back(-m.nReports, domain);
    std::sort(order.begin(), order.end());
    const int most = order.empty() ? 1 : -order.front().first;
    html << "<h2>Mirrors used</h2>\n<table><tr><th>domain</th><th>reports</th><th></th>"
            "<th>median ping</th><th>flagged</th><th></th></tr>\n";
    for (const auto& [uses, domain] : order) {
        const MirrorFigures& m = f.mirrors.at(domain);
        const double flagged = m.nReports ? double(m.nFlagged) / m.nReports : 0.0;
        html << "<tr><td>" << HtmlEscape(domain) << "</td><td class=\"n\">" << m.nReports
             << "</td><td>" << SvgShareBar(double(m.nReports) / most, "#1e88e5")
             << "</td><td class=\"n\">"
             << (m.pings.empty() ? std::string("n/a") : Fixed(Median(m.pings), 0) + " ms")
             << "</td><td class=\"n\">" << Percent(flagged) << "</td><td>"
             << SvgShareBar(flagged, "#c62828") << "</td></tr>\n";
    }
    html << "</table>\n";
}

void WriteTotals(std::ostringstream& html, const Figures& f) {
    html << "<h2>Reports per status</h2>\n<table><tr><th>install_status</th><th>reports</th>"
            "</tr>\n";
    for (const char* status : {"start", "success", "cancel", "donwload_cancel", "install_cancel",
                               "install_fail", "downLoad_fail"}) {
        auto it = f.totals.find(status);
        html << "<tr><td>" << status << "</td><td>" << (it == f.totals.end() ? 0 : it->second)
             << "</td></tr>\n";
    }
    html << "</table>\n";
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string FormatUtc(int64_t unixSeconds) {
    return Day(unixSeconds, "%Y-%m-%d %H:%M:%S UTC");
}

std::string RenderDashboard(const DashboardInput& in) {
    const Figures figures = Collect(in);
    std::ostringstream html;
    WriteHead(html, in);
    WriteTiles(html, in, figures);
    WriteDays(html, PerDay(in, figures));
    html << "<h2>Final statuses</h2>\n";
    WriteLegend(html, {std::begin(kFinalStatuses), std::end(kFinalStatuses)},
                {std::begin(kStatusColors), std::end(kStatusColors)});
    html << "<div class=\"groups\">\n";
    WriteBreakdown(html, "by installer version (app_version)", figures.byVersion);
    WriteBreakdown(html, "by language", figures.byLanguage);
    WriteBreakdown(html, "by system type", figures.bySystem);
    html << "</div>\n";
    WriteReasons(html, in, figures);
    WriteMirrors(html, figures);
    WriteTotals(html, figures);
    html << "</body></html>\n";
    return html.str();
}
