// The installer window's painters and the render thread of the installation
// animation. Frames are computed in plain memory and shown with one
// SetBitmapBits and one BitBlt per paint.
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

// A memory DC with a fresh bitmap of the window's width; released on scope end.
class MemoryCanvas {
public:
    MemoryCanvas(HDC windowDc, int width, int height)
        : m_dc(CreateCompatibleDC(windowDc)),
          m_bitmap(CreateCompatibleBitmap(windowDc, width, height)) {
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~MemoryCanvas() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    HDC Dc() const { return m_dc; }
    HBITMAP Bitmap() const { return m_bitmap; }

private:
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old = nullptr;
};

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
    HDC wnd = GetDC(m_hWnd);
    MemoryCanvas canvas(wnd, kSetupWidth, height);
    ReleaseDC(m_hWnd, wnd);
    RECT top{0, 0, kSetupWidth, height};
    if (m_bCustomOpen.load()) {
        top.bottom = kSetupHeight;
        RECT below{0, kSetupHeight, kSetupWidth, height};
        FillColor(canvas.Dc(), &below, 0xFFFEFC);
    }
    FillColor(canvas.Dc(), &top, kWhite);
    RECT band{0, kBandTop, kSetupWidth, kSetupHeight};
    FillColor(canvas.Dc(), &band, kBandColour);
    DrawControls(canvas.Dc());
    BlitMemoryDc(canvas.Dc(), height);
}

void SetupDlg::PaintFinished() {
    HDC wnd = GetDC(m_hWnd);
    MemoryCanvas canvas(wnd, kSetupWidth, kSetupHeight);
    ReleaseDC(m_hWnd, wnd);
    if (HBITMAP background = Bitmap(185)) {
        HDC src = CreateCompatibleDC(canvas.Dc());
        HGDIOBJ old = SelectObject(src, background);
        BitBlt(canvas.Dc(), 0, 0, kSetupWidth, kSetupHeight, src, 0, 0, SRCCOPY);
        SelectObject(src, old);
        DeleteDC(src);
    } else {
        RECT all{0, 0, kSetupWidth, kSetupHeight};
        FillColor(canvas.Dc(), &all, kWhite);
    }
    RECT band{0, kBandTop, kSetupWidth, kSetupHeight};
    FillColor(canvas.Dc(), &band, kBandColour);
    DrawControls(canvas.Dc());
    BlitMemoryDc(canvas.Dc(), kSetupHeight);
}

// Shows a frame of plain pixels; `overlay` draws texts and controls over it.
void SetupDlg::BlitFrame(const FrameBuffer& frame, int height, bool withControls,
                         const std::function<void(HDC)>& overlay) {
    HDC wnd = GetDC(m_hWnd);
    MemoryCanvas canvas(wnd, kSetupWidth, height);
    ReleaseDC(m_hWnd, wnd);
    SetBitmapBits(canvas.Bitmap(), static_cast<DWORD>(frame.size() * 4), frame.data());
    if (overlay) {
        overlay(canvas.Dc());
    }
    if (withControls) {
        DrawControls(canvas.Dc());
    }
    BlitMemoryDc(canvas.Dc(), height);
}

void SetupDlg::PaintInstallProgress() {
    const int front = m_nFrontIndex;
    const bool full = m_frameFull[front].load();
    if (full) {
        m_display = m_frames[front];
    }
    if (m_display.empty()) {
        m_display = MakeWhiteFrame();
    }
    BlitFrame(m_display, kSetupHeight, true, [this](HDC dc) {
        if (m_nProgressPhase.load() == kPhaseInstall) {
            const std::wstring text = std::to_wstring(m_nInstallProgress.load() / 10) + L"%";
            DrawStatusText(dc, m_fonts.percent, text, RECT{261, 325, 361, 385},
                           DT_CENTER | DT_VCENTER | DT_SINGLELINE, kWhite);
        }
    });
    if (full) {
        m_frameFull[front] = false;
        m_nFrontIndex = 1 - front;
    }
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
    DrawDownloadSweep(m_nDownloadPercent.load(), m_logoGrey, m_logoColour, *m_geometry,
                      m_downloadBuffer);
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
    BlitFrame(m_downloadBuffer, kSetupHeight, false,
              [&](HDC dc) { DrawDownloadTexts(dc, downloaded, total, itemSpeed); });
}

void SetupDlg::DrawDownloadTexts(HDC dc, uint64_t downloaded, uint64_t total, uint32_t itemSpeed) {
    const uint32_t now = GetTickCount();
    const uint32_t sampled = m_speed.Sample(downloaded, now);
    const uint32_t average = AverageSpeed(downloaded, m_nDownloadStartTick.load(), now);
    const UINT line = DT_SINGLELINE | DT_VCENTER;
    int drawnPercent = 0;
    if (downloaded > 0 && downloaded < total) {
        char size[64];
        FormatSize(sampled, size, sizeof size);
        DrawStatusText(dc, m_fonts.status, AnsiToWide(std::string(size) + "/s"),
                       RECT{20, 358, 120, 378}, line | DT_LEFT);
        const double percent = std::max(0.0, downloaded * 100.0 / total);
        char text[32];
        snprintf(text, sizeof text, "%.0f%s", percent, "%");
        DrawStatusText(dc, m_fonts.status, AnsiToWide(text), RECT{502, 358, 602, 378},
                       line | DT_RIGHT);
        DrawStatusText(dc, m_fonts.status, GetLangString(50), RECT{161, 358, 461, 378},
                       line | DT_CENTER);
        drawnPercent = static_cast<int>(percent);
    } else {
        DrawStatusText(dc, m_fonts.status, GetLangString(total != 0 ? 44 : 45),
                       RECT{40, 358, 582, 378}, line | DT_CENTER);
    }
    if (m_pReporter) {
        m_pReporter->SetProgress(drawnPercent, static_cast<int>(itemSpeed),
                                 static_cast<int>(average), m_bCdnUsed.load());
    }
}
