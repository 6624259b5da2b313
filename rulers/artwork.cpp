// Both strips come from one horizontal drawing routine; the vertical strip is
// a shorter horizontal strip turned clockwise, so its ticks and digits line up
// with the horizontal one pixel for pixel. Each image is drawn once per run:
// the ruler windows load them every time they open.
#include "rulers/artwork.h"

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>

#include "rulers/artwork_config.h"

using namespace ruler_art;

namespace {

// One 4-bit row per cell row, top first; bit 3 is the leftmost column.
// Numbers are multiples of 20 below 1000, so the digit 9 never occurs.
constexpr std::array<std::array<std::uint8_t, kDigitHeight>, 9> kDigitRows = {{
    {0x6, 0x9, 0x9, 0x9, 0x9, 0x9, 0x6},  // 0
    {0x2, 0x6, 0x2, 0x2, 0x2, 0x2, 0x7},  // 1
    {0x6, 0x9, 0x1, 0x2, 0x4, 0x9, 0xF},  // 2
    {0x6, 0x9, 0x1, 0x2, 0x1, 0x9, 0x6},  // 3
    {0x2, 0x6, 0x6, 0xA, 0xF, 0x2, 0x7},  // 4
    {0xF, 0x8, 0xE, 0x1, 0x1, 0x9, 0x6},  // 5
    {0x6, 0x8, 0x8, 0xE, 0x9, 0x9, 0x6},  // 6
    {0xF, 0x9, 0x2, 0x2, 0x4, 0x4, 0x4},  // 7
    {0x6, 0x9, 0x9, 0x6, 0x9, 0x9, 0x6},  // 8
}};

std::size_t IndexOf(const RulerImage& image, int x, int y) {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
           static_cast<std::size_t>(x);
}

RulerImage BlankStrip(int width, int height) {
    const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    return RulerImage{width, height, std::vector<os::COLORREF>(count, kAmber)};
}

// Cells may hang over the strip's ends (the zero does), so ink is clipped.
void Ink(RulerImage& image, int x, int y) {
    if (x >= 0 && x < image.width && y >= 0 && y < image.height) image.pixels[IndexOf(image, x, y)] = kInk;
}

void DrawTick(RulerImage& image, int x, int top_length, int bottom_length) {
    for (int y = 0; y < top_length; ++y) Ink(image, x, y);
    for (int y = image.height - bottom_length; y < image.height; ++y) Ink(image, x, y);
}

// The tick for distance d sits in column d - 1, so ticks fall in odd columns.
void DrawTicks(RulerImage& image) {
    for (int distance = kTickSpacing; distance <= image.width; distance += kTickSpacing) {
        if (distance % kMajorTickSpacing == 0)
            DrawTick(image, distance - 1, kMajorTickTop, kMajorTickBottom);
        else
            DrawTick(image, distance - 1, kMinorTickTop, kMinorTickBottom);
    }
}

void DrawDigit(RulerImage& image, int digit, int left) {
    assert(digit >= 0 && digit < static_cast<int>(kDigitRows.size()) && "no glyph for this digit");
    const auto& rows = kDigitRows[static_cast<std::size_t>(digit)];
    for (int row = 0; row < kDigitHeight; ++row)
        for (int column = 0; column < kDigitWidth; ++column)
            if ((rows[static_cast<std::size_t>(row)] >> (kDigitWidth - 1 - column)) & 1)
                Ink(image, left + column, kDigitTop + row);
}

int NumberWidth(int digits) { return digits * kDigitWidth + (digits - 1) * kDigitGap; }

// Centred on the number's major tick; a number of even width cannot be, and
// sits half a pixel to the right.
int NumberLeft(int number, int digits) { return (number - 1) - (NumberWidth(digits) - 1) / 2; }

void DrawNumber(RulerImage& image, int number) {
    const std::string text = std::to_string(number);
    int left = NumberLeft(number, static_cast<int>(text.size()));
    for (const char c : text) {
        DrawDigit(image, c - '0', left);
        left += kDigitWidth + kDigitGap;
    }
}

// A number cut off by the strip's far end would read as a different number,
// so only numbers that fit whole are drawn.
void DrawNumbers(RulerImage& image) {
    for (int number = kNumberSpacing;; number += kNumberSpacing) {
        const int digits = static_cast<int>(std::to_string(number).size());
        if (NumberLeft(number, digits) + NumberWidth(digits) > image.width) break;
        DrawNumber(image, number);
    }
}

RulerImage DrawHorizontalStrip(int length) {
    RulerImage image = BlankStrip(length, kDepth);
    DrawTicks(image);
    DrawNumbers(image);
    DrawDigit(image, 0, kZeroCellLeft);
    return image;
}

// Clockwise: the source's left end becomes the top, its top edge the right.
RulerImage TurnClockwise(const RulerImage& source) {
    RulerImage turned = BlankStrip(source.height, source.width);
    for (int y = 0; y < turned.height; ++y)
        for (int x = 0; x < turned.width; ++x)
            turned.pixels[IndexOf(turned, x, y)] = source.at(y, source.height - 1 - x);
    return turned;
}

}  // namespace

os::COLORREF RulerImage::at(int x, int y) const {
    assert(x >= 0 && x < width && y >= 0 && y < height && "pixel outside the image");
    return pixels[IndexOf(*this, x, y)];
}

const RulerImage& HorizontalRulerArtwork() {
    static const RulerImage image = DrawHorizontalStrip(kHorizontalLength);
    return image;
}

const RulerImage& VerticalRulerArtwork() {
    static const RulerImage image = TurnClockwise(DrawHorizontalStrip(kVerticalLength));
    return image;
}
