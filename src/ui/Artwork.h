// Tavix CallerID: the program's pictures: logo, line lamps and application icon.
#pragma once

#include <QImage>
#include <QPixmap>

#include <array>

// Drawn in code, so that every size stays sharp and transparent. The application icon's PNGs
// under share/icons, which the program loads as resources, are written by tavix_render_icons.
namespace Artwork {

constexpr int kLogoWidth = 165;
constexpr int kLogoHeight = 60;
constexpr int kLampWidth = 30;
constexpr int kLampHeight = 31;
constexpr std::array<int, 5> kIconSizes = {16, 24, 32, 48, 256};

// The "Tavix" wordmark with a handset, on a transparent background.
QPixmap logo();
// A round lamp with transparent corners: grey when unlit, green when lit.
QPixmap lamp(bool lit);
// One image of the application icon, size x size pixels.
QImage applicationIconImage(int size);

} // namespace Artwork
