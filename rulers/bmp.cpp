// Written field by field, little-endian, rather than by copying packed
// structs, so the layout does not depend on the compiler or the host's byte
// order.
#include "rulers/bmp.h"

#include <cstddef>

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint16_t kBitsPerPixel = 24;
constexpr std::uint32_t kBytesPerPixel = kBitsPerPixel / 8;

class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::uint8_t>& out) : m_out(out) {}
    void u8(std::uint32_t value) { m_out.push_back(static_cast<std::uint8_t>(value & 0xFF)); }
    void u16(std::uint32_t value) {
        u8(value);
        u8(value >> 8);
    }
    void u32(std::uint32_t value) {
        u16(value & 0xFFFF);
        u16(value >> 16);
    }

private:
    std::vector<std::uint8_t>& m_out;
};

std::uint32_t RowStride(const RulerImage& image) {
    return (static_cast<std::uint32_t>(image.width) * kBytesPerPixel + 3) / 4 * 4;
}

std::uint32_t PixelDataSize(const RulerImage& image) {
    return RowStride(image) * static_cast<std::uint32_t>(image.height);
}

void WriteFileHeader(ByteWriter& out, const RulerImage& image) {
    const std::uint32_t offset = kFileHeaderSize + kInfoHeaderSize;
    out.u8('B');
    out.u8('M');
    out.u32(offset + PixelDataSize(image));  // bfSize
    out.u16(0);                              // bfReserved1
    out.u16(0);                              // bfReserved2
    out.u32(offset);                         // bfOffBits
}

// A positive height is what marks the rows as stored bottom-up.
void WriteInfoHeader(ByteWriter& out, const RulerImage& image) {
    out.u32(kInfoHeaderSize);
    out.u32(static_cast<std::uint32_t>(image.width));
    out.u32(static_cast<std::uint32_t>(image.height));
    out.u16(1);                     // biPlanes
    out.u16(kBitsPerPixel);
    out.u32(0);                     // biCompression: BI_RGB
    out.u32(PixelDataSize(image));  // biSizeImage
    out.u32(0);                     // biXPelsPerMeter
    out.u32(0);                     // biYPelsPerMeter
    out.u32(0);                     // biClrUsed: no colour table
    out.u32(0);                     // biClrImportant
}

void WriteRow(ByteWriter& out, const RulerImage& image, int y) {
    for (int x = 0; x < image.width; ++x) {
        const os::COLORREF colour = image.at(x, y);
        out.u8(static_cast<std::uint32_t>(os::GetBValue(colour)));
        out.u8(static_cast<std::uint32_t>(os::GetGValue(colour)));
        out.u8(static_cast<std::uint32_t>(os::GetRValue(colour)));
    }
    for (std::uint32_t pad = static_cast<std::uint32_t>(image.width) * kBytesPerPixel; pad < RowStride(image); ++pad)
        out.u8(0);
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp(const RulerImage& image) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kFileHeaderSize + kInfoHeaderSize + PixelDataSize(image));
    ByteWriter out(bytes);
    WriteFileHeader(out, image);
    WriteInfoHeader(out, image);
    for (int y = image.height - 1; y >= 0; --y) WriteRow(out, image, y);
    return bytes;
}
