// Look of the ruler artwork: colours, sizes and spacing, one place to tune.
// Every figure is in image pixels, counted from the strip's zero end.
#pragma once

#include "platform/os.h"

namespace ruler_art {

inline constexpr os::COLORREF kAmber = os::RGB(225, 173, 17);  // background of both strips
inline constexpr os::COLORREF kInk = os::RGB(0, 0, 0);         // ticks, digits and the zero

inline constexpr int kHorizontalLength = 790;  // horizontal strip: columns
inline constexpr int kVerticalLength = 619;    // vertical strip: rows
inline constexpr int kDepth = 32;              // across either strip

inline constexpr int kTickSpacing = 2;         // a tick for every even distance
inline constexpr int kMajorTickSpacing = 10;   // every fifth tick is a major one
inline constexpr int kNumberSpacing = 20;      // every other major tick is numbered

// The edge the digits read from (top of the horizontal strip) gets ticks one
// pixel shorter, which leaves the digit band centred between the two edges.
inline constexpr int kMinorTickTop = 5;     // rows 0..4
inline constexpr int kMinorTickBottom = 6;  // rows 26..31
inline constexpr int kMajorTickTop = 10;    // rows 0..9
inline constexpr int kMajorTickBottom = 11; // rows 21..31

inline constexpr int kDigitTop = 11;    // first row of the digit band (rows 11..17)
inline constexpr int kDigitWidth = 4;   // columns of one digit cell
inline constexpr int kDigitHeight = 7;  // rows of one digit cell
inline constexpr int kDigitGap = 1;     // amber columns between two digit cells
inline constexpr int kZeroCellLeft = -1;  // the zero hangs one column off the strip

}  // namespace ruler_art
