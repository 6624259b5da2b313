// Ruler artwork as a Windows bitmap file: 24 bits a pixel, uncompressed.
#pragma once

#include <cstdint>
#include <vector>

#include "rulers/artwork.h"

// The whole file: a 14-byte file header, a 40-byte BITMAPINFOHEADER and the
// rows bottom-up, each padded with zero bytes to a multiple of 4 bytes.
std::vector<std::uint8_t> EncodeBmp(const RulerImage& image);
