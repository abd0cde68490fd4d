// Tavix CallerID: the windows' layout unit, twips (1/1440 inch), turned into pixels at 96 dpi,
// and the placing of a control.
#pragma once

#include <QPushButton>
#include <QRect>
#include <QString>

#include <type_traits>

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

// Names the control and puts it in its place. A push button is pressed by Enter as well as by
// Space while it has the focus, as buttons are on the system these windows come from.
template <typename Widget> Widget* place(Widget* widget, const QString& name, const QRect& geometry)
{
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    if constexpr (std::is_base_of_v<QPushButton, Widget>)
        widget->setAutoDefault(true);
    return widget;
}
