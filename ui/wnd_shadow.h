// A soft drop shadow around a frameless top-level window: a second,
// transparent layered window that follows its parent. The parent's window
// procedure is hooked so that moves, resizes, showing and hiding, paints,
// destruction and composition changes keep the shadow in step.
//
// Threads: everything runs on the thread that owns the parent window.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/gui.h"
#include "ui/shadow_image.h"

// Once per process before any Create: false when already done or when the
// system cannot show layered windows. Registers the "VestaShadowWnd" class.
bool InitShadow(HINSTANCE instance);

class CWndShadow {
public:
    // Bits of the status.
    static constexpr uint8_t kEnabled = 1;
    static constexpr uint8_t kShadowVisible = 2;
    static constexpr uint8_t kParentVisible = 4;
    static constexpr uint8_t kDisabledByComposition = 8;

    // Whether the desktop composites translucent windows; without it the
    // shadow stays off. Empty: the window layer's DwmIsCompositionEnabled.
    using CompositionQuery = std::function<bool()>;

    explicit CWndShadow(CompositionQuery composition = nullptr);
    // Unhooks the parent when it still lives, so that it never calls a dead shadow.
    virtual ~CWndShadow();
    CWndShadow(const CWndShadow&) = delete;
    CWndShadow& operator=(const CWndShadow&) = delete;

    // Creates the shadow window, shows it and hooks the parent; once per object.
    void Create(HWND parent);

    static uint32_t PreMultiply(COLORREF colour, uint8_t alpha) {
        return ::PreMultiply(colour, alpha);
    }

    // The shared hook procedure of every parent with a shadow.
    static LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND GetShadowWnd() const { return m_hWnd; }
    uint8_t GetStatus() const { return m_status; }
    bool IsUpdatePending() const { return m_bUpdate; }
    const ShadowParams& Params() const { return m_params; }

private:
    // showing: the parent is being shown (WM_SHOWWINDOW comes before WS_VISIBLE is set).
    void Show(HWND parent, bool showing = false);
    void Update(HWND parent);
    // Fills the W x H bottom-up pixels from the parent's shape (its window region, if any).
    void MakeShadow(uint32_t* pixels, HWND parent, const RECT& parentRect);
    void OnSize(HWND parent, WPARAM wParam, LPARAM lParam);
    LRESULT OnShowWindow(HWND parent, WPARAM wParam, LPARAM lParam);
    bool Active() const { return (m_status & kEnabled) && !(m_status & kDisabledByComposition); }
    void Hide(uint8_t clearBits);
    void Unhook();

    CompositionQuery m_composition;
    HWND m_hWnd = reinterpret_cast<HWND>(-1);
    HWND m_hParent = nullptr;
    WNDPROC m_prevProc = nullptr;
    uint8_t m_status = 0;
    ShadowParams m_params;
    LPARAM m_lastParentSize = 50;
    bool m_bUpdate = false;
    int m_bCreated = 0;
};
