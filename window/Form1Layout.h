// Where every control of Form1 sits. Positions and sizes are in twips (1/1440
// inch; 15 twips make one pixel at 96 dots per inch); controls inside Frame1 are
// measured from the frame's own top-left corner.
#pragma once

#include <QRect>
#include <QSize>
#include <span>

struct ControlPlacement {
    const char *name;
    int left, top, width, height;
    bool sizesToText; // a caption label that takes the size of its text
};

constexpr int TwipsPerPixel = 15;

constexpr int pixels(int twips)
{
    return twips / TwipsPerPixel;
}

inline QRect pixelRect(const ControlPlacement &placement)
{
    return {pixels(placement.left), pixels(placement.top), pixels(placement.width), pixels(placement.height)};
}

// The client area: 4710 x 4575 twips.
inline constexpr QSize Form1ClientSize{pixels(4710), pixels(4575)};

// In tab order.
std::span<const ControlPlacement> form1Placements();
