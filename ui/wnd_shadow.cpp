#include "ui/wnd_shadow.h"

#include <cstring>
#include <map>
#include <mutex>

namespace {

constexpr const wchar_t* kShadowClass = L"VestaShadowWnd";

struct ShadowRegistry {
    std::mutex lock;  // guards everything below
    bool initialised = false;
    bool layered = false;
    HINSTANCE instance = nullptr;
    std::map<HWND, CWndShadow*> shadows;
};

ShadowRegistry& Registry() {
    static ShadowRegistry registry;
    return registry;
}

bool CanCreateShadows() {
    ShadowRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.initialised && r.layered;
}

HINSTANCE ShadowInstance() {
    ShadowRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.instance;
}

CWndShadow* FindShadow(HWND parent) {
    ShadowRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.shadows.find(parent);
    return it == r.shadows.end() ? nullptr : it->second;
}

void SetShadow(HWND parent, CWndShadow* shadow) {
    ShadowRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (shadow) {
        r.shadows[parent] = shadow;
    } else {
        r.shadows.erase(parent);
    }
}

bool LayerComposites() {
    BOOL enabled = FALSE;
    return DwmIsCompositionEnabled(&enabled) == S_OK && enabled;
}

}  // namespace

bool InitShadow(HINSTANCE instance) {
    ShadowRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.initialised || !LayeredWindowsAvailable()) {
        return false;
    }
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kShadowClass;
    RegisterClassExW(&wc);
    r.instance = instance;
    r.layered = true;
    r.initialised = true;
    return true;
}

CWndShadow::CWndShadow(CompositionQuery composition) : m_composition(std::move(composition)) {
    if (!m_composition) {
        m_composition = LayerComposites;
    }
}

CWndShadow::~CWndShadow() {
    Unhook();
    if (m_bCreated && m_hWnd && IsWindow(m_hWnd)) {
        DestroyWindow(m_hWnd);
    }
}

// A shadow that dies before its parent must not stay in the parent's procedure chain.
void CWndShadow::Unhook() {
    if (!m_hParent) {
        return;
    }
    if (FindShadow(m_hParent) == this) {
        SetShadow(m_hParent, nullptr);
    }
    if (IsWindow(m_hParent) &&
        GetWindowLongPtrW(m_hParent, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&ParentProc)) {
        SetWindowLongPtrW(m_hParent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_prevProc));
    }
    m_hParent = nullptr;
}

void CWndShadow::Create(HWND parent) {
    if (m_bCreated || !CanCreateShadows()) {
        return;
    }
    m_bCreated = 1;
    m_hWnd =
        CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT, kShadowClass, nullptr, WS_POPUPWINDOW,
                        CW_USEDEFAULT, 0, 0, 0, parent, nullptr, ShadowInstance(), nullptr);
    if (!m_hWnd) {
        return;  // no shadow, and the parent stays unhooked
    }
    SetShadow(parent, this);
    m_hParent = parent;
    m_status = kEnabled | kShadowVisible;
    if (!m_composition()) {
        m_status |= kDisabledByComposition;
    }
    Show(parent);
    // The pointer-sized forms: a procedure address does not fit a LONG on 64-bit systems.
    m_prevProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(parent, GWLP_WNDPROC));
    SetWindowLongPtrW(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ParentProc));
}

void CWndShadow::Hide(uint8_t clearBits) {
    ShowWindow(m_hWnd, SW_HIDE);
    m_status &= uint8_t(~clearBits);
}

void CWndShadow::Show(HWND parent, bool showing) {
    // Visibility follows the parent's state each time, so a hidden, maximised or
    // minimised parent, or a desktop without composition, never keeps a shadow.
    m_status &= uint8_t(~(kShadowVisible | kParentVisible));
    if (Active()) {
        LONG style = GetWindowLongW(parent, GWL_STYLE);
        if (showing || (style & WS_VISIBLE)) {
            m_status |= kParentVisible;
            if (!(style & (WS_MAXIMIZE | WS_MINIMIZE))) {
                m_status |= kShadowVisible;
            }
        }
    }
    if (m_status & kShadowVisible) {
        ShowWindow(m_hWnd, SW_SHOWNA);
        Update(parent);
    } else {
        ShowWindow(m_hWnd, SW_HIDE);
    }
}

void CWndShadow::Update(HWND parent) {
    RECT r{0, 0, 0, 0};
    GetWindowRect(parent, &r);
    const int size = m_params.size;
    const int width = r.right - r.left + 2 * size;
    const int height = r.bottom - r.top + 2 * size;
    if (width <= 0 || height <= 0) {
        return;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = DWORD(width) * DWORD(height) * 4;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits) {
        if (dib) {
            DeleteObject(dib);
        }
        return;
    }
    memset(bits, 0, size_t(width) * size_t(height) * 4);
    MakeShadow(static_cast<uint32_t*>(bits), parent, r);

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, dib);
    POINT dst{r.left + m_params.xOffset - size, r.top + m_params.yOffset - size};
    SIZE extent{width, height};
    POINT src{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    MoveWindow(m_hWnd, dst.x, dst.y, width, height, FALSE);
    UpdateLayeredWindow(m_hWnd, nullptr, &dst, &extent, memory, &src, 0, &blend, ULW_ALPHA);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(dib);
}

void CWndShadow::MakeShadow(uint32_t* pixels, HWND parent, const RECT& parentRect) {
    const int w = parentRect.right - parentRect.left;
    const int h = parentRect.bottom - parentRect.top;
    HRGN shape = CreateRectRgn(0, 0, w, h);
    HRGN own = CreateRectRgn(0, 0, 0, 0);
    if (GetWindowRgn(parent, own) != ERROR) {
        CombineRgn(shape, own, nullptr, RGN_COPY);
    }
    DeleteObject(own);
    ComputeShadowImage(pixels, w, h, m_params,
                       [shape](int x, int y) { return PtInRegion(shape, x, y) != FALSE; });
    DeleteObject(shape);
}

void CWndShadow::OnSize(HWND parent, WPARAM wParam, LPARAM lParam) {
    if (wParam == SIZE_MAXIMIZED || wParam == SIZE_MINIMIZED) {
        Hide(kShadowVisible);
    } else if (GetWindowLongW(parent, GWL_STYLE) & WS_VISIBLE) {
        m_status |= kParentVisible;
        if (!(m_status & kShadowVisible)) {
            m_status |= kShadowVisible;
            Update(parent);
            ShowWindow(m_hWnd, SW_SHOWNA);
            m_bUpdate = true;
        } else if (LOWORD(lParam) > LOWORD(m_lastParentSize) ||
                   HIWORD(lParam) > HIWORD(m_lastParentSize)) {
            m_bUpdate = true;  // growing: rebuilt at the next paint
        } else {
            Update(parent);
        }
    }
    m_lastParentSize = lParam;
}

LRESULT CWndShadow::OnShowWindow(HWND parent, WPARAM wParam, LPARAM lParam) {
    LRESULT result = CallWindowProcW(m_prevProc, parent, WM_SHOWWINDOW, wParam, lParam);
    if (wParam) {
        m_bUpdate = true;
        Show(parent, true);
    } else {
        Hide(kShadowVisible | kParentVisible);
    }
    return result;
}

LRESULT CALLBACK CWndShadow::ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWndShadow* shadow = FindShadow(hwnd);
    if (!shadow) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    const WNDPROC previous = shadow->m_prevProc;
    const int size = shadow->m_params.size;
    switch (message) {
        case WM_MOVE:
            if (shadow->m_status & kShadowVisible) {
                RECT r{0, 0, 0, 0};
                GetWindowRect(hwnd, &r);
                SetWindowPos(shadow->m_hWnd, nullptr, r.left + shadow->m_params.xOffset - size,
                             r.top + shadow->m_params.yOffset - size, 0, 0,
                             SWP_NOSIZE | SWP_NOACTIVATE);
            }
            break;
        case WM_SIZE:
            if (shadow->Active()) {
                shadow->OnSize(hwnd, wParam, lParam);
            }
            break;
        case WM_PAINT:
            if (shadow->m_bUpdate) {
                shadow->Update(hwnd);
                shadow->m_bUpdate = false;
            }
            break;
        case WM_EXITSIZEMOVE:
            if (shadow->m_status & kShadowVisible) {
                shadow->Update(hwnd);
            }
            break;
        case WM_SHOWWINDOW:
            if (shadow->Active()) {
                return shadow->OnShowWindow(hwnd, wParam, lParam);
            }
            break;
        case WM_DWMCOMPOSITIONCHANGED:
            if (shadow->m_composition()) {
                shadow->m_status &= uint8_t(~kDisabledByComposition);
            } else {
                shadow->m_status |= kDisabledByComposition;
            }
            shadow->Show(hwnd);
            break;
        case WM_DESTROY:
            DestroyWindow(shadow->m_hWnd);
            break;
        case WM_NCDESTROY:
            SetShadow(hwnd, nullptr);
            shadow->m_hParent = nullptr;
            break;
        default:
            break;
    }
    return CallWindowProcW(previous, hwnd, message, wParam, lParam);
}
