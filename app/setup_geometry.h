// The installer window's size and the points of the install page where its
// buttons take a click (unscaled client pixels, English layout). The window
// places its controls by these sizes; the end-to-end tests, the process tests
// and the install benchmark click these points, and tools/demo.sh repeats
// them for xdotool.
#pragma once

#include "platform/gui.h"

constexpr int kSetupWidth = 622;
constexpr int kSetupHeight = 405;
constexpr int kSetupCustomHeight = 580;

constexpr POINT kMainButtonClick{311, 374};    // main button (install, retry, start)
constexpr POINT kCustomToggleClick{541, 372};  // custom toggle
constexpr POINT kCloseButtonClick{608, 10};    // close button
