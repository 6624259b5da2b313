// The ruler artwork of both ruler windows, drawn from rules rather than
// stored as image files: amber strips with black ticks every 2 pixels, major
// ticks every 10 and numbers every 20, counted from the zero end.
#pragma once

#include <vector>

#include "platform/os.h"

// A picture as the picture boxes take it: pixels row by row from the top,
// each 0x00BBGGRR.
struct RulerImage {
    int width = 0;
    int height = 0;
    std::vector<os::COLORREF> pixels;

    os::COLORREF at(int x, int y) const;
};

// 790 x 32: zero end at the left, numbers 20 to 780 upright.
const RulerImage& HorizontalRulerArtwork();
// 32 x 619: the horizontal strip's first 619 columns turned a quarter turn
// clockwise, zero end at the top, numbers 20 to 600 reading downwards.
const RulerImage& VerticalRulerArtwork();
