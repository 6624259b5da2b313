// The icon is drawn from a few rules rather than stored: a black tile with a
// yellow ruler along its bottom edge (black ticks) and a red, green and blue
// swatch above it, all from the 16-colour palette.
#include "app/app_icon.h"

#include <array>
#include <cstdint>

namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;
constexpr std::uint32_t kYellow = 0xFFFFFF00u;
constexpr std::uint32_t kRed = 0xFFFF0000u;
constexpr std::uint32_t kGreen = 0xFF00FF00u;
constexpr std::uint32_t kBlue = 0xFF0000FFu;
constexpr std::array<int, 6> kSizes = {10, 12, 14, 16, 22, 32};

std::vector<std::uint32_t> DrawIcon(int size) {
    std::vector<std::uint32_t> px(static_cast<std::size_t>(size * size), kBlack);
    auto set = [&](int x, int y, std::uint32_t c) { px[static_cast<std::size_t>(y * size + x)] = c; };
    const int ruler_top = size - size / 3;
    for (int y = ruler_top; y < size; ++y)
        for (int x = 0; x < size; ++x) set(x, y, kYellow);
    for (int x = 1; x < size; x += 2) set(x, ruler_top, kBlack);
    const int band = size / 3 > 0 ? size / 3 : 1;
    const std::uint32_t swatch[3] = {kRed, kGreen, kBlue};
    for (int i = 0; i < 3; ++i)
        for (int y = 1; y < ruler_top - 1; ++y)
            for (int x = i * band + 1; x < (i + 1) * band && x < size - 1; ++x) set(x, y, swatch[i]);
    return px;
}

}  // namespace

std::vector<os::IconImage> AppIcon() {
    static const auto pixels = [] {
        std::array<std::vector<std::uint32_t>, kSizes.size()> all;
        for (std::size_t i = 0; i < kSizes.size(); ++i) all[i] = DrawIcon(kSizes[i]);
        return all;
    }();
    std::vector<os::IconImage> images;
    for (std::size_t i = 0; i < kSizes.size(); ++i) images.push_back({kSizes[i], pixels[i].data()});
    return images;
}
