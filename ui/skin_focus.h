// Keyboard focus among a dialog's windowless controls, so that a skinned
// dialog answers the keys a dialog of native controls answers: Tab and
// Shift+Tab walk the controls (and the native child windows placed between
// them) in the order they were added, Space and Return press the focused
// control as a click would, and the focus cue shows only once the keyboard
// has been used.
//
// The window layer's dialog manager turns Tab into WM_NEXTDLGCTL, asks the
// dialog for its default command with DM_GETDEFID on Return, and clears
// UISF_HIDEFOCUS with WM_UPDATEUISTATE at the first navigation key; the
// dialog passes those messages and WM_KEYDOWN to HandleMessage.
//
// Threads: the owner's UI thread only. The controls' cue flags it sets are
// read by the paint threads.
#pragma once

#include <vector>

#include "ui/skin_ctrl.h"

class SkinFocus {
public:
    explicit SkinFocus(HWND owner = nullptr) : m_hOwner(owner) {}

    void SetOwner(HWND owner) { m_hOwner = owner; }
    // Entries in tab order: a windowless control, or a child window of the owner.
    void Add(ButtonCtrlEx* control);
    void AddWindow(HWND child);

    // Moves to the next (or previous) entry that is visible and enabled, round
    // the list; false when none is.
    bool Move(bool backward);
    // The focused control while it is visible and enabled, else null.
    ButtonCtrlEx* Focused() const;
    // A click gave the control the focus: no cue appears for the mouse.
    void Take(ButtonCtrlEx* control);
    // Space or Return: sends the focused control's WM_COMMAND as a click
    // would; false when no control is focused.
    bool Press();
    // Whether focus cues are shown (the keyboard has been used).
    bool CuesShown() const { return m_bCues; }
    void ShowCues(bool show);

    // WM_NEXTDLGCTL, WM_UPDATEUISTATE, DM_GETDEFID and WM_KEYDOWN (Space);
    // true when the message was handled, with the dialog's answer in result.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    struct Entry {
        ButtonCtrlEx* control = nullptr;
        HWND window = nullptr;
    };
    static bool Live(const Entry& e);
    int Current() const;
    void FocusEntry(int index);
    void SetCue(ButtonCtrlEx* control, bool on);

    HWND m_hOwner;
    std::vector<Entry> m_entries;
    int m_nIndex = -1;
    bool m_bCues = false;
};
