// Tavix CallerID: the windows' layout unit, twips (1/1440 inch), turned into pixels at 96 dpi.
#pragma once

#include <QRect>

constexpr int kTwipsPerPixel = 15;

// Rounded to the nearest pixel, a half up.
constexpr int twipsToPixels(int twips)
{
    return (2 * twips + kTwipsPerPixel) / (2 * kTwipsPerPixel);
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}
