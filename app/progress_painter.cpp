// The progress painter: the window's painters and the render thread of the
// installation animation. Frames are computed in plain memory and composed on
// a cached surface; the download and installation views redraw it only when
// what they show changed and push only the rectangles that did.
#include <algorithm>
#include <cstring>

#include "app/progress_painter.h"

#include "app/setup_geometry.h"
#include "app/workflow_rules.h"
#include "download/downloader.h"
#include "lang/lang.h"
#include "platform/system.h"
#include "platform/text.h"
#include "resources/resource_ids.h"
#include "ui/common_dlg.h"
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

ProgressPainter::ProgressPainter(SetupWorkflow& workflow, IWorkflowWindow& window,
                                 CommonDlg& dialog)
    : m_workflow(workflow), m_window(window), m_dialog(dialog) {
    m_frames[0] = FrameBuffer(static_cast<size_t>(kFrameWidth) * kFrameHeight, 0xFFFFFFFFu);
    m_frames[1] = m_frames[0];
    m_scratch = m_frames[0];
}

ProgressPainter::~ProgressPainter() {
    Stop();
}

void ProgressPainter::LoadImages(const std::function<HBITMAP(int)>& bitmap) {
    auto pixels = [&bitmap](int id, PixelImage& out) {
        HBITMAP b = bitmap(id);
        BITMAP info{};
        if (!b || !GetObjectW(b, sizeof info, &info)) {
            return;
        }
        out.width = info.bmWidth;
        out.height = info.bmHeight;
        out.pixels.assign(static_cast<size_t>(out.width) * out.height, 0xFFFFFF);
        GetBitmapBits(b, static_cast<LONG>(out.pixels.size() * 4), out.pixels.data());
    };
    pixels(IDB_LARGE_LOGO_GREY, m_logoGrey);
    pixels(IDB_LARGE_LOGO_COLOUR, m_logoColour);
    pixels(IDB_FAILED_LOGO, m_logoFailure);
    pixels(IDB_INSTALL_LOGO, m_logoInstall);
    pixels(IDB_FINISHED_BACKGROUND, m_finished);
    m_geometry = std::make_unique<ProgressGeometry>(m_logoGrey.Empty() ? 311 : m_logoGrey.width,
                                                    m_logoGrey.Empty() ? 311 : m_logoGrey.height);
    m_animation = std::make_unique<InstallAnimation>(*m_geometry);
}

void ProgressPainter::StartPaintThread() {
    if (!m_paintThread.joinable()) {
        m_paintThread = std::thread(&ProgressPainter::PaintThreadProc, this);
    }
}

void ProgressPainter::StartRenderThread() {
    if (!m_bRenderStarted.exchange(true)) {
        m_renderThread = std::thread(&ProgressPainter::RenderThreadProc, this);
    }
}

void ProgressPainter::Stop() {
    m_bStop = true;
    for (std::thread* t : {&m_paintThread, &m_renderThread}) {
        if (t->joinable()) {
            t->join();
        }
    }
}

uint32_t ProgressPainter::PaintPeriodMs(InstallStage stage, bool downloadFinished) {
    return stage == InstallStage::kRunning && !downloadFinished ? 10 : 50;
}

void ProgressPainter::PaintThreadProc() {
    NameCurrentThread("korvel-paint");  // found by name in profilers and the install benchmark
    while (!Stopping()) {
        m_dialog.OnPaint();
        Sleep(PaintPeriodMs(m_workflow.Stage(), m_workflow.DownloadFinished()));
    }
}

void ProgressPainter::RenderThreadProc() {
    NameCurrentThread("korvel-render");
    while (!Stopping()) {
        const ProgressPhase phase = m_workflow.Phase();
        if (phase == ProgressPhase::kInstall) {
            RenderInstall();
        } else if (phase != ProgressPhase::kDone) {
            RenderWaiting();
        }
        const int back = m_nBackIndex.load();
        while (m_frameFull[back].load() && !Stopping()) {
            Sleep(1);
        }
        if (Stopping()) {
            break;
        }
        m_frames[back] = m_scratch;
        m_frameFull[back] = true;
        m_nBackIndex = 1 - back;
    }
}

void ProgressPainter::RenderWaiting() {
    // The window drops this request once the stage has moved on, so it
    // never hides a retry page the worker has just asked for.
    if (m_workflow.Stage() == InstallStage::kRunning) {
        m_window.PostPage(WindowPage::kInstalling);
    }
    std::fill(m_scratch.begin(), m_scratch.end(), kWhite);
    CopyNonWhite(m_logoGrey, m_geometry->logoX, m_geometry->logoY, m_scratch);
    Sleep(300);
    m_animation->Reset();
    m_workflow.ResetInstallProgress();
}

void ProgressPainter::RenderInstall() {
    m_animation->Render(m_workflow.InstallProgress(), GetTickCount(), m_logoInstall, m_finished,
                        m_scratch);
}

void ProgressPainter::Paint() {
    if (!m_geometry || !m_scene.drawList) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_paintLock);
    switch (m_workflow.Stage()) {
        case InstallStage::kWaiting:
            PaintInstallPage();
            break;
        case InstallStage::kRunning:
            if (m_workflow.DownloadFinished()) {
                PaintInstallProgress();
            } else {
                PaintDownload();
            }
            break;
        case InstallStage::kFailed:
            PaintDownload();
            break;
        case InstallStage::kFinished:
            PaintFinished();
            break;
    }
}

void ProgressPainter::DrawControls(HDC dc) {
    for (CommonCtrl* c : *m_scene.drawList) {
        c->Draw(dc);
    }
}

void ProgressPainter::BlitMemoryDc(HDC memDc, int height) {
    HDC wnd = GetDC(m_scene.hwnd);
    if (!wnd) {
        return;
    }
    RECT edit{};
    if (m_scene.customOpen->load() && m_scene.hasEditBox) {
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
    ReleaseDC(m_scene.hwnd, wnd);
}

void ProgressPainter::PaintInstallPage() {
    RECT client{};
    GetClientRect(m_scene.hwnd, &client);
    const int height = std::max<int>(client.bottom, kSetupHeight);
    m_nCanvasView = kCanvasOther;
    if (!m_canvas.Ensure(kSetupWidth, height)) {
        return;
    }
    HDC dc = m_canvas.Dc();
    RECT top{0, 0, kSetupWidth, height};
    if (m_scene.customOpen->load()) {
        top.bottom = kSetupHeight;
        RECT below{0, kSetupHeight, kSetupWidth, height};
        m_dialog.FillColor(dc, &below, 0xFFFEFC);
    }
    m_dialog.FillColor(dc, &top, kWhite);
    RECT band{0, kBandTop, kSetupWidth, kSetupHeight};
    m_dialog.FillColor(dc, &band, kBandColour);
    DrawControls(dc);
    BlitMemoryDc(dc, height);
}

void ProgressPainter::PaintFinished() {
    m_nCanvasView = kCanvasOther;
    if (!m_canvas.Ensure(kSetupWidth, kSetupHeight)) {
        return;
    }
    HDC dc = m_canvas.Dc();
    if (HBITMAP background = m_scene.finishedBackground) {
        HDC src = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(src, background);
        BitBlt(dc, 0, 0, kSetupWidth, kSetupHeight, src, 0, 0, SRCCOPY);
        SelectObject(src, old);
        DeleteDC(src);
    } else {
        RECT all{0, 0, kSetupWidth, kSetupHeight};
        m_dialog.FillColor(dc, &all, kWhite);
    }
    RECT band{0, kBandTop, kSetupWidth, kSetupHeight};
    m_dialog.FillColor(dc, &band, kBandColour);
    DrawControls(dc);
    BlitMemoryDc(dc, kSetupHeight);
}

// Shows a frame of plain pixels whole; `overlay` draws texts and controls over it.
void ProgressPainter::BlitFrame(const FrameBuffer& frame, int height, bool withControls,
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

void ProgressPainter::PushCanvas() {
    HDC wnd = GetDC(m_scene.hwnd);
    m_canvas.Push(wnd);
    if (wnd) {
        ReleaseDC(m_scene.hwnd, wnd);
    }
}

// What the drawn controls look like, folded into one word: a control shown,
// hidden, hovered or pressed changes it.
uint32_t ProgressPainter::ControlsLook() {
    uint32_t look = 2166136261u;
    for (CommonCtrl* c : *m_scene.drawList) {
        const uint32_t word = (c->IsVisible() ? 1u : 0u) | static_cast<uint32_t>(c->GetState())
                                                               << 1;
        look = (look ^ word) * 16777619u;
    }
    return look;
}

// The frame a new render brings is new all over; between frames only the
// percentage or the controls can change.
void ProgressPainter::PaintInstallProgress() {
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
        m_workflow.Phase() == ProgressPhase::kInstall ? m_workflow.InstallProgress() / 10 : -1;
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

void ProgressPainter::PaintFailure(HDC dc) {
    RECT band{0, kBandTop, kSetupWidth, kSetupHeight};
    m_dialog.FillColor(dc, &band, kBandColour);
    const int y = m_geometry->logoY;
    DrawStatusText(dc, m_scene.statusFont, GetLangString(kStrDownloadFailed),
                   RECT{30, y + 80, 592, y + 160}, DT_CENTER | DT_VCENTER | DT_WORDBREAK, 0x373737);
    m_scene.mainButton->Draw(dc);
    m_scene.closeButton->Draw(dc);
}

// The running download's figures, also handed to the info view; zeros when
// no download runs.
void ProgressPainter::ReadDownloadFigures(uint64_t& downloaded, uint64_t& total,
                                          uint32_t& itemSpeed) {
    DownloadStats stats;
    if (!m_workflow.WithEngine([&stats](IDownloader& engine) { engine.GetDownloadStats(stats); })) {
        return;
    }
    for (const auto& entry : stats.items) {
        if (entry.second.state.load() == kItemRunning) {
            itemSpeed += entry.second.speed;
        }
    }
    if (GetInfoView()) {
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
    downloaded = stats.downloadedBytes > 0 ? stats.downloadedBytes : 0;
    total = stats.totalBytes > 0 ? stats.totalBytes : 0;
}

// The same text over the same pixels gives the same pixels: laid out once,
// it is copied until the value or the pixels under it change.
void ProgressPainter::DrawInstallPercent(int percent) {
    std::vector<uint32_t> under = m_canvas.ReadPixels(kInstallPercentRect);
    if (percent == m_nPercentDrawn && !under.empty() && under == m_percentUnder) {
        m_canvas.WritePixels(kInstallPercentRect, m_percentOver);
        return;
    }
    DrawStatusText(m_canvas.Dc(), m_scene.percentFont, std::to_wstring(percent) + L"%",
                   kInstallPercentRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE, kWhite);
    m_percentUnder = std::move(under);
    m_percentOver = m_canvas.ReadPixels(kInstallPercentRect);
    m_nPercentDrawn = percent;
}

RECT ProgressPainter::SweepArea() const {
    const int width = std::max(m_logoGrey.width, m_logoColour.width);
    const int height = std::max(m_logoGrey.height, m_logoColour.height);
    return RECT{m_geometry->logoX, m_geometry->logoY, m_geometry->logoX + width,
                m_geometry->logoY + height};
}

// The sweep is drawn again only for a new percentage and the text row only
// for new texts; an unchanged frame is not pushed.
void ProgressPainter::PaintDownload() {
    if (m_downloadBuffer.empty()) {
        m_downloadBuffer = MakeWhiteFrame();
    }
    if (m_scene.mainButton->IsVisible()) {
        std::fill(m_downloadBuffer.begin(), m_downloadBuffer.end(), kWhite);
        CopyNonWhite(m_logoFailure, m_geometry->logoX, m_geometry->logoY, m_downloadBuffer);
        BlitFrame(m_downloadBuffer, kSetupHeight, false, [this](HDC dc) { PaintFailure(dc); });
        return;
    }
    uint64_t downloaded = 0, total = 0;
    uint32_t itemSpeed = 0;
    ReadDownloadFigures(downloaded, total, itemSpeed);
    const uint32_t now = GetTickCount();
    const DownloadTexts texts =
        MakeDownloadTexts(downloaded, total, m_speed.Sample(downloaded, now));
    if (InstallReporter* reporter = m_workflow.Reporter()) {
        reporter->SetProgress(
            texts.nDrawnPercent, static_cast<int>(itemSpeed),
            static_cast<int>(AverageSpeed(downloaded, m_workflow.DownloadStartTick(), now)),
            m_workflow.CdnUsed());
    }

    const int percent = std::clamp(m_workflow.DownloadPercentNow(), 0, 100);
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
void ProgressPainter::DrawDownloadTexts(const DownloadTexts& texts, const DownloadTexts* shown) {
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
        DrawStatusText(m_canvas.Dc(), m_scene.statusFont, slot.text, slot.rect,
                       DT_SINGLELINE | DT_VCENTER | slot.align);
    }
}
