// The installer window's painters and the render thread of the installation
// animation. Frames are computed in plain memory and composed on a cached
// surface; the download and installation views redraw it only when what they
// show changed and push only the rectangles that did.
#include <algorithm>
#include <cstring>

#include "app/setup_dlg.h"
#include "app/workflow_rules.h"
#include "download/downloader.h"
#include "lang/lang.h"
#include "platform/system.h"
#include "platform/text.h"
#include "ui/info_view.h"

namespace {

constexpr COLORREF kBandColour = 0xFDFBF7;
constexpr COLORREF kStatusColour = 0xE58C19;
constexpr int kBandTop = 338;

// The views the cached surface can hold.
constexpr int kCanvasOther = 0;
constexpr int kCanvasDownload = 1;
constexpr int kCanvasInstall = 2;

// Where the download figures and status line go, and the installation percentage.
constexpr RECT kDownloadTextRow{20, 358, 602, 378};
constexpr RECT kInstallPercentRect{261, 325, 361, 385};

void DrawStatusText(HDC dc, HFONT font, const std::wstring& text, RECT rc, UINT align,
                    COLORREF colour = kStatusColour) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    HGDIOBJ old = SelectObject(dc, font);
    DrawTextW(dc, text.c_str(), -1, &rc, align);
    SelectObject(dc, old);
}

}  // namespace

void SetupDlg::PaintThreadProc() {
    NameCurrentThread("korvel-paint");  // found by name in profilers and the install benchmark
    while (!m_bClosing.load()) {
        OnPaint();
        Sleep(eInstall.load() == kStageRunning ? 10 : 50);
    }
}

void SetupDlg::RenderThreadProc() {
    NameCurrentThread("korvel-render");
    while (!m_bClosing.load()) {
        const int phase = m_nProgressPhase.load();
        if (phase == 1 || phase == 2) {
            RenderInstall();
        } else if (phase != kPhaseDone) {
            RenderWaiting();
        }
        const int back = m_nBackIndex.load();
        while (m_frameFull[back].load() && !m_bClosing.load()) {
            Sleep(1);
        }
        if (m_bClosing.load()) {
            break;
        }
        m_frames[back] = m_scratch;
        m_frameFull[back] = true;
        m_nBackIndex = 1 - back;
    }
}

void SetupDlg::RenderWaiting() {
    {
        // Never over a retry page the worker has just shown.
        std::lock_guard<std::mutex> lock(m_stageLock);
        if (eInstall.load() == kStageRunning) {
            UpdateCtrlStatus(1);
        }
    }
    std::fill(m_scratch.begin(), m_scratch.end(), kWhite);
    CopyNonWhite(m_logoGrey, m_geometry->logoX, m_geometry->logoY, m_scratch);
    Sleep(300);
    m_animation->Reset();
    m_nInstallProgress = 0;
}

void SetupDlg::RenderInstall() {
    m_animation->Render(m_nInstallProgress.load(), GetTickCount(), m_logoInstall, m_finished,
                        m_scratch);
}

void SetupDlg::OnPaint() {
    if (!m_bInitialised || !m_geometry) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_paintLock);
    CommonDlg::OnPaint();
    switch (eInstall.load()) {
        case kStageWaiting:
            PaintInstallPage();
            break;
        case kStageRunning:
            m_pCountdown->SetVisible(false);
            if (m_bDownloadFinished.load()) {
                PaintInstallProgress();
            } else {
                PaintDownload();
            }
            break;
        case kStageFailed:
            PaintDownload();
            break;
        case kStageFinished:
            PaintFinished();
            break;
        default:
            break;
    }
}

void SetupDlg::DrawControls(HDC dc) {
    for (CommonCtrl* c : m_drawList) {
        c->Draw(dc);
    }
}

void SetupDlg::BlitMemoryDc(HDC memDc, int height) {
    HDC wnd = GetDC(m_hWnd);
    if (!wnd) {
        return;
    }
    RECT edit{};
    if (m_bCustomOpen.load() && m_hEditDir) {
        // Leave the edit box's own window alone: blit around its rectangle.
        edit = RECT{44, 460, 549, 486};
        BitBlt(wnd, 0, 0, kSetupWidth, edit.top, memDc, 0, 0, SRCCOPY);
        BitBlt(wnd, 0, edit.top, edit.left, edit.bottom - edit.top, memDc, 0, edit.top, SRCCOPY);
        BitBlt(wnd, edit.right, edit.top, kSetupWidth - edit.right, edit.bottom - edit.top, memDc,
               edit.right, edit.top, SRCCOPY);
        BitBlt(wnd, 0, edit.bottom, kSetupWidth, height - edit.bottom, memDc, 0, edit.bottom,
               SRCCOPY);
    } else {
        BitBlt(wnd, 0, 0, kSetupWidth, height, memDc, 0, 0, SRCCOPY);
    }
    ReleaseDC(m_hWnd, wnd);
}

void SetupDlg::PaintInstallPage() {
    RECT client{};
    GetClientRect(m_hWnd, &client);
    const int height = std::max<int>(client.bottom, kSetupHeight);
    m_nCanvasView = kCanvasOther;
    if (!m_canvas.Ensure(kSetupWidth, height)) {
        return;
    }
    HDC dc = m_canvas.Dc();
    RECT top{0, 0, kSetupWidth, height};
    if (m_bCustomOpen.load()) {
        top.bottom = kSetupHeight;
        RECT below{0, kSetupHeight, kSetupWidth, height};
        FillColor(dc, &below, 0xFFFEFC);
    }
    FillColor(dc, &top, kWhite);
    RECT band{0, kBandTop, kSetupWidth, kSetupHeight};
    FillColor(dc, &band, kBandColour);
    DrawControls(dc);
    BlitMemoryDc(dc, height);
}

void SetupDlg::PaintFinished() {
    m_nCanvasView = kCanvasOther;
    if (!m_canvas.Ensure(kSetupWidth, kSetupHeight)) {
        return;
    }
    HDC dc = m_canvas.Dc();
    if (HBITMAP background = Bitmap(185)) {
        HDC src = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(src, background);
        BitBlt(dc, 0, 0, kSetupWidth, kSetupHeight, src, 0, 0, SRCCOPY);
        SelectObject(src, old);
        DeleteDC(src);
    } else {
        RECT all{0, 0, kSetupWidth, kSetupHeight};
        FillColor(dc, &all, kWhite);
    }
    RECT band{0, kBandTop, kSetupWidth, kSetupHeight};
    FillColor(dc, &band, kBandColour);
    DrawControls(dc);
    BlitMemoryDc(dc, kSetupHeight);
}

// Shows a frame of plain pixels whole; `overlay` draws texts and controls over it.
void SetupDlg::BlitFrame(const FrameBuffer& frame, int height, bool withControls,
                         const std::function<void(HDC)>& overlay) {
    m_nCanvasView = kCanvasOther;
    if (!m_canvas.Ensure(kSetupWidth, height)) {
        return;
    }
    m_canvas.CopyFrame(frame);
    if (overlay) {
        overlay(m_canvas.Dc());
    }
    if (withControls) {
        DrawControls(m_canvas.Dc());
    }
    BlitMemoryDc(m_canvas.Dc(), height);
}

void SetupDlg::PushCanvas() {
    HDC wnd = GetDC(m_hWnd);
    m_canvas.Push(wnd);
    if (wnd) {
        ReleaseDC(m_hWnd, wnd);
    }
}

// What the drawn controls look like, folded into one word: a control shown,
// hidden, hovered or pressed changes it.
uint32_t SetupDlg::ControlsLook() {
    uint32_t look = 2166136261u;
    for (CommonCtrl* c : m_drawList) {
        const uint32_t word = (c->IsVisible() ? 1u : 0u) | static_cast<uint32_t>(c->GetState())
                                                               << 1;
        look = (look ^ word) * 16777619u;
    }
    return look;
}

// The frame a new render brings is new all over; between frames only the
// percentage or the controls can change.
void SetupDlg::PaintInstallProgress() {
    const int front = m_nFrontIndex;
    const bool full = m_frameFull[front].load();
    if (full) {
        // The painter owns a full buffer: take its pixels and hand the
        // previous display buffer back for the render thread to fill.
        std::swap(m_display, m_frames[front]);
        m_frameFull[front] = false;
        m_nFrontIndex = 1 - front;
    }
    if (m_display.empty()) {
        m_display = MakeWhiteFrame();
    }
    const int percent =
        m_nProgressPhase.load() == kPhaseInstall ? m_nInstallProgress.load() / 10 : -1;
    const uint32_t controls = ControlsLook();
    const bool all = full || m_nCanvasView != kCanvasInstall || controls != m_nCanvasControls;
    if (!all && percent == m_nCanvasPercent) {
        return;  // the window shows this frame already
    }
    m_nCanvasView = kCanvasOther;  // until the surface holds the whole frame
    if (!m_canvas.Ensure(kSetupWidth, kSetupHeight)) {
        return;
    }
    m_canvas.CopyFrame(m_display);
    if (percent >= 0) {
        DrawInstallPercent(percent);
    }
    DrawControls(m_canvas.Dc());
    if (all) {
        m_canvas.MarkAllChanged();
    } else {
        m_canvas.MarkChanged(kInstallPercentRect);
    }
    PushCanvas();
    m_nCanvasView = kCanvasInstall;
    m_nCanvasPercent = percent;
    m_nCanvasControls = controls;
}

void SetupDlg::PaintFailure(HDC dc) {
    RECT band{0, kBandTop, kSetupWidth, kSetupHeight};
    FillColor(dc, &band, kBandColour);
    const int y = m_geometry->logoY;
    DrawStatusText(dc, m_fonts.status, GetLangString(41), RECT{30, y + 80, 592, y + 160},
                   DT_CENTER | DT_VCENTER | DT_WORDBREAK, 0x373737);
    m_pBtnMain->Draw(dc);
    m_pBtnClose->Draw(dc);
}

void SetupDlg::CopyStatsToInfoView(IDownloader* download, DownloadStats& stats) {
    download->GetDownloadStats(stats);
    if (!GetInfoView()) {
        return;
    }
    InfoViewStats view;
    for (const auto& entry : stats.items) {
        const DownloadItem& item = entry.second;
        InfoViewItem row;
        row.id = item.id;
        row.start = item.start;
        row.end = item.end;
        row.pos = item.pos;
        row.speed = item.speed;
        row.state = item.state.load();
        row.url = item.url ? item.url : "";
        view.items.push_back(row);
    }
    RefreshInfoView(&view);
}

// The same text over the same pixels gives the same pixels: laid out once,
// it is copied until the value or the pixels under it change.
void SetupDlg::DrawInstallPercent(int percent) {
    std::vector<uint32_t> under = m_canvas.ReadPixels(kInstallPercentRect);
    if (percent == m_nPercentDrawn && !under.empty() && under == m_percentUnder) {
        m_canvas.WritePixels(kInstallPercentRect, m_percentOver);
        return;
    }
    DrawStatusText(m_canvas.Dc(), m_fonts.percent, std::to_wstring(percent) + L"%",
                   kInstallPercentRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE, kWhite);
    m_percentUnder = std::move(under);
    m_percentOver = m_canvas.ReadPixels(kInstallPercentRect);
    m_nPercentDrawn = percent;
}

RECT SetupDlg::SweepArea() const {
    const int width = std::max(m_logoGrey.width, m_logoColour.width);
    const int height = std::max(m_logoGrey.height, m_logoColour.height);
    return RECT{m_geometry->logoX, m_geometry->logoY, m_geometry->logoX + width,
                m_geometry->logoY + height};
}

// The sweep is drawn again only for a new percentage and the text row only
// for new texts; an unchanged frame is not pushed.
void SetupDlg::PaintDownload() {
    if (m_downloadBuffer.empty()) {
        m_downloadBuffer = MakeWhiteFrame();
    }
    if (m_pBtnMain->IsVisible()) {
        std::fill(m_downloadBuffer.begin(), m_downloadBuffer.end(), kWhite);
        CopyNonWhite(m_logoFailure, m_geometry->logoX, m_geometry->logoY, m_downloadBuffer);
        BlitFrame(m_downloadBuffer, kSetupHeight, false, [this](HDC dc) { PaintFailure(dc); });
        return;
    }
    uint64_t downloaded = 0, total = 0;
    uint32_t itemSpeed = 0;
    {
        std::lock_guard<std::mutex> lock(m_engineLock);
        if (pDownload) {
            DownloadStats stats;
            CopyStatsToInfoView(pDownload, stats);
            for (const auto& entry : stats.items) {
                if (entry.second.state.load() == kItemRunning) {
                    itemSpeed += entry.second.speed;
                }
            }
            downloaded = stats.downloadedBytes > 0 ? stats.downloadedBytes : 0;
            total = stats.totalBytes > 0 ? stats.totalBytes : 0;
        }
    }
    const uint32_t now = GetTickCount();
    const DownloadTexts texts =
        MakeDownloadTexts(downloaded, total, m_speed.Sample(downloaded, now));
    if (m_pReporter) {
        m_pReporter->SetProgress(
            texts.nDrawnPercent, static_cast<int>(itemSpeed),
            static_cast<int>(AverageSpeed(downloaded, m_nDownloadStartTick.load(), now)),
            m_bCdnUsed.load());
    }

    const int percent = std::clamp(m_nDownloadPercent.load(), 0, 100);
    const bool all = m_nCanvasView != kCanvasDownload;
    const bool sweep = all || percent != m_nCanvasSweep;
    const bool text = all || texts != m_canvasTexts;
    if (!sweep && !text) {
        return;  // the window shows this frame already
    }
    m_nCanvasView = kCanvasOther;  // until the surface holds the whole frame
    if (!m_canvas.Ensure(kSetupWidth, kSetupHeight)) {
        return;
    }
    if (sweep) {
        DrawDownloadSweep(percent, m_logoGrey, m_logoColour, *m_geometry, m_downloadBuffer);
    }
    if (all) {
        m_canvas.CopyFrame(m_downloadBuffer);
        DrawDownloadTexts(texts, nullptr);
        m_canvas.MarkAllChanged();
    } else {
        if (sweep) {
            const RECT area = SweepArea();
            m_canvas.CopyFrameRect(m_downloadBuffer, area);
            m_canvas.MarkChanged(area);
        }
        if (text) {
            DrawDownloadTexts(texts, &m_canvasTexts);
        }
    }
    PushCanvas();
    m_nCanvasView = kCanvasDownload;
    m_nCanvasSweep = percent;
    m_canvasTexts = texts;
}

// Draws the texts that differ from `shown` (all without it) on the surface,
// each over the download buffer's pixels of its own rectangle.
void SetupDlg::DrawDownloadTexts(const DownloadTexts& texts, const DownloadTexts* shown) {
    struct Slot {
        std::wstring text;
        RECT rect;
        UINT align;
        bool changed;
    };
    const bool layout = !shown || shown->bFigures != texts.bFigures;
    std::vector<Slot> slots;
    if (texts.bFigures) {
        slots.push_back({AnsiToWide(texts.strSpeed), RECT{20, 358, 120, 378}, DT_LEFT,
                         layout || shown->strSpeed != texts.strSpeed});
        slots.push_back({AnsiToWide(texts.strPercent), RECT{502, 358, 602, 378}, DT_RIGHT,
                         layout || shown->strPercent != texts.strPercent});
        slots.push_back({GetLangString(texts.nStatusId), RECT{161, 358, 461, 378}, DT_CENTER,
                         layout || shown->nStatusId != texts.nStatusId});
    } else {
        slots.push_back({GetLangString(texts.nStatusId), RECT{40, 358, 582, 378}, DT_CENTER,
                         layout || shown->nStatusId != texts.nStatusId});
    }
    if (layout) {
        m_canvas.CopyFrameRect(m_downloadBuffer, kDownloadTextRow);
        m_canvas.MarkChanged(kDownloadTextRow);
    }
    for (const Slot& slot : slots) {
        if (!slot.changed) {
            continue;
        }
        if (!layout) {
            m_canvas.CopyFrameRect(m_downloadBuffer, slot.rect);
            m_canvas.MarkChanged(slot.rect);
        }
        DrawStatusText(m_canvas.Dc(), m_fonts.status, slot.text, slot.rect,
                       DT_SINGLELINE | DT_VCENTER | slot.align);
    }
}
