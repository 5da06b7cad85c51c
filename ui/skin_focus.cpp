#include "ui/skin_focus.h"

void SkinFocus::Add(ButtonCtrlEx* control) {
    if (control) {
        m_entries.push_back(Entry{control, nullptr});
    }
}

void SkinFocus::AddWindow(HWND child) {
    if (child) {
        m_entries.push_back(Entry{nullptr, child});
    }
}

bool SkinFocus::Live(const Entry& e) {
    if (e.control) {
        return e.control->IsVisible() && e.control->IsEnable();
    }
    return IsWindowVisible(e.window) && IsWindowEnabled(e.window);
}

// A child window that holds the focus is the current entry; otherwise the
// control focused last, as long as the focus has not left the owner.
int SkinFocus::Current() const {
    const HWND focus = GetFocus();
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].window && m_entries[i].window == focus) {
            return static_cast<int>(i);
        }
    }
    if (m_nIndex >= 0 && m_entries[m_nIndex].control && focus == m_hOwner) {
        return m_nIndex;
    }
    return -1;
}

ButtonCtrlEx* SkinFocus::Focused() const {
    const int index = Current();
    if (index < 0 || !m_entries[index].control || !Live(m_entries[index])) {
        return nullptr;
    }
    return m_entries[index].control;
}

bool SkinFocus::Move(bool backward) {
    const int n = static_cast<int>(m_entries.size());
    const int from = Current();
    for (int step = 1; step <= n; ++step) {
        // From nowhere, Tab starts at the first entry and Shift+Tab at the last.
        const int start = from < 0 ? (backward ? n : -1) : from;
        const int index = ((start + (backward ? -step : step)) % n + n) % n;
        if (Live(m_entries[index])) {
            FocusEntry(index);
            return true;
        }
    }
    return false;
}

void SkinFocus::Take(ButtonCtrlEx* control) {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].control == control) {
            FocusEntry(static_cast<int>(i));
            return;
        }
    }
}

void SkinFocus::FocusEntry(int index) {
    if (m_nIndex >= 0) {
        SetCue(m_entries[m_nIndex].control, false);
    }
    m_nIndex = index;
    const Entry& e = m_entries[index];
    if (e.window) {
        SetFocus(e.window);
        return;
    }
    // Keys reach the skinned controls through the dialog itself.
    if (m_hOwner && GetFocus() != m_hOwner) {
        SetFocus(m_hOwner);
    }
    SetCue(e.control, m_bCues);
}

void SkinFocus::SetCue(ButtonCtrlEx* control, bool on) {
    if (control) {
        control->SetFocusCue(on);
    }
}

void SkinFocus::ShowCues(bool show) {
    m_bCues = show;
    if (m_nIndex >= 0) {
        SetCue(m_entries[m_nIndex].control, show);
    }
}

bool SkinFocus::Press() {
    ButtonCtrlEx* control = Focused();
    if (!control) {
        return false;
    }
    SendMessageW(m_hOwner, WM_COMMAND, WPARAM(control->GetID()), 0);
    return true;
}

bool SkinFocus::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
        case WM_NEXTDLGCTL:
            if (LOWORD(lParam)) {
                SetFocus(reinterpret_cast<HWND>(wParam));
            } else {
                Move(wParam != 0);
            }
            return true;
        case WM_UPDATEUISTATE:
            if (HIWORD(wParam) & UISF_HIDEFOCUS) {
                if (LOWORD(wParam) == UIS_CLEAR) {
                    ShowCues(true);
                } else if (LOWORD(wParam) == UIS_SET) {
                    ShowCues(false);
                }
            }
            return false;  // the layer passes it on to the child windows
        case DM_GETDEFID:
            // The focused control is the default, as a focused push button is.
            if (ButtonCtrlEx* control = Focused()) {
                result = MAKELONG(control->GetID(), DC_HASDEFID);
                return true;
            }
            return false;
        case WM_KEYDOWN:
            return wParam == VK_SPACE && Press();
        default:
            return false;
    }
}
