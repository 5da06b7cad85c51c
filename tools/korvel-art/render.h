// Turning the catalogue into PNG files.
#pragma once

#include <string>

#include "tools/korvel-art/catalogue.h"

namespace art {

// Each writer returns an empty string on success, else what went wrong.
std::string WritePng(const Artwork& art, const std::string& path);
// Every bitmap as DIR/<id>.png.
std::string WriteBitmaps(const std::string& dir);
// The payload icons under their own file names in DIR.
std::string WritePayloadIcons(const std::string& dir);
// One contact sheet with every bitmap and icon, labelled, small ones also
// enlarged four times without smoothing.
std::string WriteSheet(const std::string& path);

}  // namespace art
