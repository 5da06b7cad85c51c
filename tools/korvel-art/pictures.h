// The larger pictures: logos, the finished background and the icons.
#pragma once

#include <cairo.h>

namespace art {

enum class LargeLogo { kGrey, kColour, kInstalling, kFailed, kOutline, kDone };
void DrawLargeLogo(cairo_t* cr, LargeLogo form);  // 311 x 311

// Product logo at the window's top left (206 x 45); the second form is the
// reversed one for dark grounds, x64 adds the platform tag.
void DrawProductLogo(cairo_t* cr, bool reversed, bool x64);

// The finished page's background (622 x 405). Tiles that sit on it (the
// finished close and minimise buttons) paint the same ground at their offset.
void DrawFinishedBackground(cairo_t* cr);

// Icons with transparent surroundings, drawn into a square of the given size.
void DrawAppIcon(cairo_t* cr, double size);
void DrawMiniIcon(cairo_t* cr, double size, bool x64);

}  // namespace art
