// The installer window's progress painter: the paint thread that repaints the
// window (every 10 ms while the package downloads, every 50 ms otherwise,
// installation included) and the render thread that computes the
// installation animation into two frame buffers.
//
// Threads: Paint runs on the paint thread (and nowhere else once it runs);
// the render thread fills the frame buffers; Start and Stop run on the UI
// thread. The painter reads the window's controls and the workflow's words
// and never changes either: a page it needs (the installing page under the
// first frames) is asked for through IWorkflowWindow.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/paint_canvas.h"
#include "app/progress_render.h"
#include "app/setup_workflow.h"
#include "ui/skin_ctrl.h"

class CommonDlg;

// What the painters draw from: the window's controls, fonts and bitmaps,
// given once the controls exist and fixed from then on.
struct PaintScene {
    HWND hwnd = nullptr;
    const std::vector<CommonCtrl*>* drawList = nullptr;
    CommonCtrl* mainButton = nullptr;
    CommonCtrl* closeButton = nullptr;
    HFONT percentFont = nullptr;
    HFONT statusFont = nullptr;
    HBITMAP finishedBackground = nullptr;
    bool hasEditBox = false;
    const std::atomic<bool>* customOpen = nullptr;  // the custom panel is open
};

class ProgressPainter {
public:
    ProgressPainter(SetupWorkflow& workflow, IWorkflowWindow& window, CommonDlg& dialog);
    ~ProgressPainter();
    ProgressPainter(const ProgressPainter&) = delete;
    ProgressPainter& operator=(const ProgressPainter&) = delete;

    // UI thread, window initialisation: the pixels of the logos and the
    // finished background (`bitmap` gives a bitmap by resource id), and the
    // geometry they set.
    void LoadImages(const std::function<HBITMAP(int)>& bitmap);
    const ProgressGeometry& Geometry() const { return *m_geometry; }
    // UI thread, once the controls exist, before any thread starts.
    void SetScene(const PaintScene& scene) { m_scene = scene; }

    // UI thread. The paint thread runs from the window's start; the render
    // thread from the first accepted install (later calls do nothing).
    void StartPaintThread();
    void StartRenderThread();
    // Asks both threads to end (the window is closing); returns at once.
    void RequestStop() { m_bStop = true; }
    // Asks and joins. Not on the UI thread while the window lives: a paint
    // may be waiting for it.
    void Stop();

    // One paint of the window by the install stage; no effect before
    // LoadImages and SetScene.
    void Paint();
    void PaintThreadProc();
    void RenderThreadProc();

    // The paint thread's period: 10 ms while the package downloads, 50 ms
    // on every other page, the installation included.
    static uint32_t PaintPeriodMs(InstallStage stage, bool downloadFinished);

private:
    void PaintInstallPage();
    void PaintFinished();
    void PaintDownload();
    void PaintFailure(HDC dc);
    void PaintInstallProgress();
    void RenderWaiting();
    void RenderInstall();
    void DrawControls(HDC dc);
    void DrawDownloadTexts(const DownloadTexts& texts, const DownloadTexts* shown);
    void BlitFrame(const FrameBuffer& frame, int height, bool withControls,
                   const std::function<void(HDC)>& overlay);
    void BlitMemoryDc(HDC memDc, int height);
    void PushCanvas();
    uint32_t ControlsLook();
    void DrawInstallPercent(int percent);
    RECT SweepArea() const;
    void ReadDownloadFigures(uint64_t& downloaded, uint64_t& total, uint32_t& itemSpeed);
    bool Stopping() const { return m_bStop.load(); }

    SetupWorkflow& m_workflow;
    IWorkflowWindow& m_window;
    CommonDlg& m_dialog;  // its FillColor slot
    PaintScene m_scene;

    PixelImage m_logoGrey, m_logoColour, m_logoFailure, m_logoInstall, m_finished;
    std::unique_ptr<ProgressGeometry> m_geometry;

    // Frame hand-over between the render thread and the installation painter.
    std::array<FrameBuffer, 2> m_frames;
    std::array<std::atomic<bool>, 2> m_frameFull{};
    std::atomic<int> m_nBackIndex{0};
    int m_nFrontIndex = 0;                          // paint thread only
    FrameBuffer m_scratch;                          // render thread only
    FrameBuffer m_display;                          // paint thread only
    FrameBuffer m_downloadBuffer;                   // paint thread only
    std::unique_ptr<InstallAnimation> m_animation;  // render thread only
    SpeedSampler m_speed;                           // paint thread only
    // The cached surface and what it holds; used under m_paintLock. The
    // download and installation views compose into it only when their
    // content changed and push only the changed rectangles.
    PaintCanvas m_canvas;
    int m_nCanvasView = 0;  // 0: not a cached view (the next one starts afresh)
    int m_nCanvasSweep = -1;
    DownloadTexts m_canvasTexts;
    int m_nCanvasPercent = -1;
    uint32_t m_nCanvasControls = 0;
    // The installation percentage as last drawn: the frame's pixels under it
    // and the same with the text over them (the disc soon covers that place,
    // and then frame after frame holds the same pixels there).
    int m_nPercentDrawn = -1;
    std::vector<uint32_t> m_percentUnder;
    std::vector<uint32_t> m_percentOver;

    std::mutex m_paintLock;  // one painter at a time
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bRenderStarted{false};
    std::thread m_paintThread;   // started and joined on the UI thread
    std::thread m_renderThread;  // likewise
};
