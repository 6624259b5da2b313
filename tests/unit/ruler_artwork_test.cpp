// The ruler artwork pixel by pixel, and its bitmap file byte by byte. The
// expected pictures here are written out by hand, not taken from the drawing
// code, so a shifted cell or a wrong tick length shows up as a mismatch.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rulers/artwork.h"
#include "rulers/bmp.h"

namespace {

constexpr os::COLORREF kAmber = 0x0011ADE1;
constexpr os::COLORREF kBlack = 0x00000000;

// Digits as they should look, '#' black, '.' amber, top row first.
const std::array<std::array<std::string, 7>, 9> kGlyphs = {{
    {".##.", "#..#", "#..#", "#..#", "#..#", "#..#", ".##."},  // 0
    {"..#.", ".##.", "..#.", "..#.", "..#.", "..#.", ".###"},  // 1
    {".##.", "#..#", "...#", "..#.", ".#..", "#..#", "####"},  // 2
    {".##.", "#..#", "...#", "..#.", "...#", "#..#", ".##."},  // 3
    {"..#.", ".##.", ".##.", "#.#.", "####", "..#.", ".###"},  // 4
    {"####", "#...", "###.", "...#", "...#", "#..#", ".##."},  // 5
    {".##.", "#...", "#...", "###.", "#..#", "#..#", ".##."},  // 6
    {"####", "#..#", "..#.", "..#.", ".#..", ".#..", ".#.."},  // 7
    {".##.", "#..#", "#..#", ".##.", "#..#", "#..#", ".##."},  // 8
}};

bool IsBlack(const RulerImage& image, int x, int y) { return image.at(x, y) == kBlack; }

// Rows 11..17 of the horizontal strip, columns first..last, as '#'/'.' text.
std::vector<std::string> Band(const RulerImage& image, int first, int last) {
    std::vector<std::string> rows;
    for (int y = 11; y <= 17; ++y) {
        std::string row;
        for (int x = first; x <= last; ++x) row += IsBlack(image, x, y) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

// A number as drawn: its digits side by side, one amber column between them.
std::vector<std::string> NumberPicture(const std::string& text) {
    std::vector<std::string> rows(7);
    for (std::size_t i = 0; i < text.size(); ++i)
        for (std::size_t r = 0; r < 7; ++r)
            rows[r] += (i ? "." : "") + kGlyphs[static_cast<std::size_t>(text[i] - '0')][r];
    return rows;
}

std::vector<std::string> Padded(std::vector<std::string> rows) {
    for (auto& row : rows) row = "." + row + ".";
    return rows;
}

// Lengths of the black runs that start at either end of a column (horizontal
// strip) or of a row (vertical strip): the two ticks there.
struct TickPair {
    int near = 0;  // top edge / left edge
    int far = 0;   // bottom edge / right edge
    bool operator==(const TickPair&) const = default;
};

TickPair ColumnTicks(const RulerImage& image, int x) {
    TickPair t;
    while (t.near < image.height && IsBlack(image, x, t.near)) ++t.near;
    while (t.far < image.height && IsBlack(image, x, image.height - 1 - t.far)) ++t.far;
    return t;
}

TickPair RowTicks(const RulerImage& image, int y) {
    TickPair t;
    while (t.near < image.width && IsBlack(image, t.near, y)) ++t.near;
    while (t.far < image.width && IsBlack(image, image.width - 1 - t.far, y)) ++t.far;
    return t;
}

int BlackInRow(const RulerImage& image, int y) {
    int count = 0;
    for (int x = 0; x < image.width; ++x) count += IsBlack(image, x, y);
    return count;
}

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint32_t U16At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | static_cast<std::uint32_t>(b[at + 1] << 8);
}

// ---- Both strips ---------------------------------------------------------

TEST(RulerArtwork, SizesAndOnlyAmberAndBlack) {
    const RulerImage& h = HorizontalRulerArtwork();
    const RulerImage& v = VerticalRulerArtwork();
    EXPECT_EQ(h.width, 790);
    EXPECT_EQ(h.height, 32);
    EXPECT_EQ(v.width, 32);
    EXPECT_EQ(v.height, 619);
    for (const RulerImage* image : {&h, &v}) {
        ASSERT_EQ(image->pixels.size(), static_cast<std::size_t>(image->width * image->height));
        int black = 0;
        for (const os::COLORREF c : image->pixels) {
            ASSERT_TRUE(c == kAmber || c == kBlack) << std::hex << c;
            black += c == kBlack;
        }
        EXPECT_GT(black, 0);
        EXPECT_LT(black, image->width * image->height / 2);
    }
}

TEST(RulerArtwork, DrawnOnceAndHandedOutAgain) {
    EXPECT_EQ(&HorizontalRulerArtwork(), &HorizontalRulerArtwork());
    EXPECT_EQ(&VerticalRulerArtwork(), &VerticalRulerArtwork());
}

// ---- Horizontal strip ----------------------------------------------------

TEST(HorizontalArtwork, TicksAtBothEndsAndTheirLengths) {
    const RulerImage& h = HorizontalRulerArtwork();
    struct Case { int column; TickPair ticks; };
    const Case cases[] = {
        {0, {0, 0}},    {1, {5, 6}},    {2, {0, 0}},     {7, {5, 6}},    {8, {0, 0}},
        {9, {10, 11}},  {10, {0, 0}},   {11, {5, 6}},    {19, {10, 11}}, {99, {10, 11}},
        {779, {10, 11}}, {787, {5, 6}}, {788, {0, 0}},   {789, {10, 11}},
    };
    for (const Case& c : cases) EXPECT_EQ(ColumnTicks(h, c.column), c.ticks) << "column " << c.column;
}

TEST(HorizontalArtwork, EveryColumnIsUnmarkedMinorOrMajor) {
    const RulerImage& h = HorizontalRulerArtwork();
    int none = 0, minor = 0, major = 0;
    for (int x = 0; x < h.width; ++x) {
        const TickPair t = ColumnTicks(h, x);
        if (t == TickPair{0, 0}) {
            ++none;
            EXPECT_EQ(x % 2, 0) << "column " << x;
        } else if (t == TickPair{5, 6}) {
            ++minor;
            EXPECT_TRUE(x % 2 == 1 && x % 10 != 9) << "column " << x;
        } else if (t == TickPair{10, 11}) {
            ++major;
            EXPECT_EQ(x % 10, 9) << "column " << x;
        } else {
            ADD_FAILURE() << "column " << x << " has ticks " << t.near << "/" << t.far;
        }
    }
    EXPECT_EQ(none, 395);
    EXPECT_EQ(minor, 316);
    EXPECT_EQ(major, 79);
}

TEST(HorizontalArtwork, TickRowsHoldOnlyTicksAndTheGapRowsAreAmber) {
    const RulerImage& h = HorizontalRulerArtwork();
    for (int y : {10, 18, 19, 20}) EXPECT_EQ(BlackInRow(h, y), 0) << "row " << y;
    // Nothing but ticks outside the digit band: no black in an even column.
    for (int y = 0; y < 32; ++y) {
        if (y >= 10 && y <= 20) continue;
        for (int x = 0; x < h.width; x += 2) EXPECT_FALSE(IsBlack(h, x, y)) << x << "," << y;
    }
}

TEST(HorizontalArtwork, NumbersSitCentredOnTheirMajorTicks) {
    const RulerImage& h = HorizontalRulerArtwork();
    struct Case { std::string text; int first; int last; };
    const Case cases[] = {
        {"20", 15, 23},  {"40", 35, 43},    {"80", 75, 83},    {"100", 93, 106},
        {"340", 333, 346}, {"560", 553, 566}, {"780", 773, 786},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Band(h, c.first - 1, c.last + 1), Padded(NumberPicture(c.text))) << c.text;
}

TEST(HorizontalArtwork, DigitBandHoldsTheCutZeroAndTheNumbers20To780Only) {
    const RulerImage& h = HorizontalRulerArtwork();
    std::vector<std::string> expected(7, std::string(790, '.'));
    for (std::size_t r = 0; r < 7; ++r) expected[r].replace(0, 3, kGlyphs[0][r].substr(1));
    for (int n = 20; n <= 780; n += 20) {
        const std::string text = std::to_string(n);
        const int first = text.size() == 2 ? n - 5 : n - 7;
        const auto picture = NumberPicture(text);
        for (std::size_t r = 0; r < 7; ++r)
            expected[r].replace(static_cast<std::size_t>(first), picture[r].size(), picture[r]);
    }
    EXPECT_EQ(Band(h, 0, 789), expected);
}

TEST(HorizontalArtwork, EdgeCasesAtBothEnds) {
    const RulerImage& h = HorizontalRulerArtwork();
    // The left edge shows the right three quarters of a 0.
    EXPECT_EQ(Band(h, 0, 3), (std::vector<std::string>{"##..", "..#.", "..#.", "..#.", "..#.", "..#.", "##.."}));
    // The 1 of 100 is narrow: column 93 is part of its cell but stays amber.
    EXPECT_EQ(Band(h, 93, 93), std::vector<std::string>(7, "."));
    EXPECT_EQ(Band(h, 94, 96), (std::vector<std::string>{".#.", "##.", ".#.", ".#.", ".#.", ".#.", "###"}));
    // 780 ends in column 786; 800 would begin at 793 and is left out whole.
    EXPECT_EQ(Band(h, 787, 789), std::vector<std::string>(7, "..."));
    EXPECT_EQ(Band(h, 786, 786), (std::vector<std::string>{".", "#", "#", "#", "#", "#", "."}));
}

TEST(HorizontalArtwork, TheTwoOf20AgainstItsRowTable) {
    const RulerImage& h = HorizontalRulerArtwork();
    const std::array<unsigned, 7> rows = {0x6, 0x9, 0x1, 0x2, 0x4, 0x9, 0xF};
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(IsBlack(h, 15 + c, 11 + r), ((rows[static_cast<std::size_t>(r)] >> (3 - c)) & 1) != 0)
                << "cell column " << c << " row " << r;
}

// ---- Vertical strip ------------------------------------------------------

TEST(VerticalArtwork, IsTheHorizontalTurnedClockwiseWithout620) {
    const RulerImage& h = HorizontalRulerArtwork();
    const RulerImage& v = VerticalRulerArtwork();
    for (int r = 0; r < 619; ++r)
        for (int c = 0; c < 32; ++c) {
            const bool blanked = r >= 613 && c >= 14 && c <= 20;
            const os::COLORREF expected = blanked ? kAmber : h.at(r, 31 - c);
            ASSERT_EQ(v.at(c, r), expected) << "column " << c << " row " << r;
        }
    // The blanked area did hold ink in the horizontal strip (the 620).
    int hidden = 0;
    for (int x = 613; x <= 618; ++x) for (int y = 11; y <= 17; ++y) hidden += IsBlack(h, x, y);
    EXPECT_GT(hidden, 0);
}

TEST(VerticalArtwork, TicksAtBothEndsWithTheRightEdgeShorter) {
    const RulerImage& v = VerticalRulerArtwork();
    struct Case { int row; TickPair ticks; };
    const Case cases[] = {
        {0, {0, 0}},     {1, {6, 5}},     {2, {0, 0}},     {9, {11, 10}},  {10, {0, 0}},
        {599, {11, 10}}, {609, {11, 10}}, {610, {0, 0}},   {611, {6, 5}},  {616, {0, 0}},
        {617, {6, 5}},   {618, {0, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(RowTicks(v, c.row), c.ticks) << "row " << c.row;
    int none = 0, minor = 0, major = 0;
    for (int y = 0; y < v.height; ++y) {
        const TickPair t = RowTicks(v, y);
        none += t == TickPair{0, 0};
        minor += t == TickPair{6, 5};
        major += t == TickPair{11, 10};
    }
    EXPECT_EQ(none, 310);
    EXPECT_EQ(minor, 248);
    EXPECT_EQ(major, 61);
}

TEST(VerticalArtwork, DigitsTurnedAndTheLastNumberIs600) {
    const RulerImage& v = VerticalRulerArtwork();
    // The 2 of 20: its top row in column 20, its left column in row 15.
    for (std::size_t r = 0; r < 7; ++r)
        for (std::size_t c = 0; c < 4; ++c)
            EXPECT_EQ(IsBlack(v, 20 - static_cast<int>(r), 15 + static_cast<int>(c)), kGlyphs[2][r][c] == '#')
                << "cell column " << c << " row " << r;
    // 600 spans rows 593..606: ink in its first and last rows, none just outside.
    auto band_ink = [&](int y) {
        int n = 0;
        for (int x = 14; x <= 20; ++x) n += IsBlack(v, x, y);
        return n;
    };
    EXPECT_GT(band_ink(593), 0);
    EXPECT_GT(band_ink(606), 0);
    EXPECT_EQ(band_ink(592), 0);
    // Rows 607..618 carry ticks and nothing else.
    for (int y = 607; y <= 618; ++y) {
        const TickPair t = RowTicks(v, y);
        EXPECT_EQ(BlackInRow(v, y), t.near + t.far) << "row " << y;
    }
    // The cut zero in rows 0..2, and the amber columns either side of the band.
    for (int y = 0; y < 3; ++y)
        for (std::size_t r = 0; r < 7; ++r)
            EXPECT_EQ(IsBlack(v, 20 - static_cast<int>(r), y), kGlyphs[0][r][static_cast<std::size_t>(y + 1)] == '#')
                << "row " << y;
    for (int y = 0; y < v.height; ++y)
        for (int x : {11, 12, 13, 21}) EXPECT_FALSE(IsBlack(v, x, y)) << x << "," << y;
}

// ---- Bitmap file ---------------------------------------------------------

TEST(RulerBmp, HeaderFields) {
    struct Case { const RulerImage* image; std::uint32_t file; std::uint32_t data; std::uint32_t w; std::uint32_t h; };
    const Case cases[] = {
        {&HorizontalRulerArtwork(), 75958, 75904, 790, 32},
        {&VerticalRulerArtwork(), 59478, 59424, 32, 619},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> b = EncodeBmp(*c.image);
        ASSERT_EQ(b.size(), c.file);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(U32At(b, 2), c.file);
        EXPECT_EQ(U32At(b, 6), 0u);    // both reserved words
        EXPECT_EQ(U32At(b, 10), 54u);  // pixels right after the headers
        EXPECT_EQ(U32At(b, 14), 40u);
        EXPECT_EQ(U32At(b, 18), c.w);
        EXPECT_EQ(U32At(b, 22), c.h);  // positive: bottom-up
        EXPECT_EQ(U16At(b, 26), 1u);
        EXPECT_EQ(U16At(b, 28), 24u);
        EXPECT_EQ(U32At(b, 30), 0u);   // uncompressed
        EXPECT_EQ(U32At(b, 34), c.data);
        for (std::size_t at = 38; at < 54; at += 4) EXPECT_EQ(U32At(b, at), 0u) << "offset " << at;
    }
}

TEST(RulerBmp, RowsBottomUpInBgrOrderWithZeroPadding) {
    struct Case { const RulerImage* image; std::size_t stride; };
    const Case cases[] = {{&HorizontalRulerArtwork(), 2372}, {&VerticalRulerArtwork(), 96}};
    for (const Case& c : cases) {
        const RulerImage& image = *c.image;
        const std::vector<std::uint8_t> b = EncodeBmp(image);
        for (int y = 0; y < image.height; ++y) {
            const std::size_t row = 54 + static_cast<std::size_t>(image.height - 1 - y) * c.stride;
            for (int x = 0; x < image.width; ++x) {
                const std::size_t at = row + 3 * static_cast<std::size_t>(x);
                const os::COLORREF colour = static_cast<os::COLORREF>(b[at + 2] | (b[at + 1] << 8) | (b[at] << 16));
                ASSERT_EQ(colour, image.at(x, y)) << "x " << x << " y " << y;
            }
            for (std::size_t pad = row + 3 * static_cast<std::size_t>(image.width); pad < row + c.stride; ++pad)
                ASSERT_EQ(b[pad], 0) << "row " << y;
        }
    }
}

TEST(RulerBmp, FirstStoredRowIsTheBottomRow) {
    const std::vector<std::uint8_t> b = EncodeBmp(HorizontalRulerArtwork());
    // Column 1 carries a 6-pixel minor tick at the bottom, so in image row 26
    // it is black while in row 5 it is amber: file row 5 must be image row 26.
    const std::size_t file_row_5 = 54 + 5 * 2372;
    EXPECT_EQ((std::vector<std::uint8_t>(b.begin() + 54, b.begin() + 60)),
              (std::vector<std::uint8_t>{0x11, 0xAD, 0xE1, 0x00, 0x00, 0x00}));
    EXPECT_EQ((std::vector<std::uint8_t>(b.begin() + file_row_5 + 3, b.begin() + file_row_5 + 6)),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x00}));
    const std::size_t file_row_26 = 54 + 26 * 2372;
    EXPECT_EQ((std::vector<std::uint8_t>(b.begin() + file_row_26 + 3, b.begin() + file_row_26 + 6)),
              (std::vector<std::uint8_t>{0x11, 0xAD, 0xE1}));
}

TEST(RulerBmp, SmallImageByteForByte) {
    // 2 x 2, top row red then green, bottom row blue then white: 6 bytes of
    // pixels and 2 of padding a row, bottom row first.
    const RulerImage image{2, 2, {os::RGB(255, 0, 0), os::RGB(0, 255, 0), os::RGB(0, 0, 255), os::RGB(1, 2, 3)}};
    const std::vector<std::uint8_t> b = EncodeBmp(image);
    ASSERT_EQ(b.size(), 54u + 16u);
    EXPECT_EQ(U32At(b, 34), 16u);
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 54, b.end()),
              (std::vector<std::uint8_t>{0xFF, 0, 0, 3, 2, 1, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0}));
}

}  // namespace
