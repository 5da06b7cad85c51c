// The installer's start, callable from the program entry and from tests.
#pragma once

#include "app/setup_dlg.h"
#include "platform/gui.h"

// Dialog resource of the installer window: a borderless popup whose controls
// are created by code.
constexpr int kSetupDialogTemplate = 130;
void RegisterSetupDialogTemplate();

// Startup, the modal installer window and the shutdown; 0 in every case.
int RunSetup(HINSTANCE instance, const SetupTuning& tuning);
