// The installer's start, callable from the program entry and from tests.
#pragma once

#include <functional>

#include "app/setup_dlg.h"
#include "platform/gui.h"

// Dialog resource of the installer window: a borderless popup whose controls
// are created by code.
constexpr int kSetupDialogTemplate = 130;
void RegisterSetupDialogTemplate();

// What a caller other than the program entry (the end-to-end tests) may add.
struct SetupHooks {
    // After the built-in resources are registered: a test replaces some.
    std::function<void()> afterResources;
    // With the dialog object, before its window opens (a test drives it).
    std::function<void(SetupDlg&)> onDialog;
    // After the window has closed and the dialog's threads have ended, just
    // before the dialog is destroyed (a test reads its outcome).
    std::function<void(SetupDlg&)> onClosed;
};

// Startup, the modal installer window and the shutdown; 0 in every case.
int RunSetup(HINSTANCE instance, const SetupTuning& tuning, const SetupHooks& hooks = {});
