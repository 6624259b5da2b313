// Colours, units, fonts and the canvas controls paint through.
#include <cmath>
#include <vector>

#include "platform/forms/forms.h"

namespace forms {

namespace {

// The system colours a control can name, as a current desktop draws them.
os::COLORREF SystemColorValue(int index) {
    switch (index) {
        case 5: return os::RGB(255, 255, 255);   // window background
        case 8: return os::RGB(0, 0, 0);         // window text
        case 15: return os::RGB(240, 240, 240);  // button face
        case 16: return os::RGB(160, 160, 160);  // button shadow
        case 17: return os::RGB(109, 109, 109);  // grey text
        case 18: return os::RGB(0, 0, 0);        // button text
        case 20: return os::RGB(255, 255, 255);  // button highlight
        case 21: return os::RGB(105, 105, 105);  // button dark shadow
        case 22: return os::RGB(227, 227, 227);  // button light
        default: return os::RGB(192, 192, 192);
    }
}

constexpr int kLastSystemColor = 30;

}  // namespace

bool IsValidColor(os::COLORREF colour) {
    const auto bits = static_cast<std::uint32_t>(colour);
    if ((bits & 0xFF000000u) == 0) return true;
    return (bits & 0xFF000000u) == 0x80000000u && (bits & 0x00FFFFFFu) <= kLastSystemColor;
}

os::COLORREF ResolveColor(os::COLORREF colour) {
    const auto bits = static_cast<std::uint32_t>(colour);
    if ((bits & 0xFF000000u) == 0x80000000u) return SystemColorValue(static_cast<int>(bits & 0xFF));
    return static_cast<os::COLORREF>(bits & 0x00FFFFFFu);
}

namespace {
int g_twips_per_pixel = 0;  // 0 until first asked; the DPI does not change while forms are loaded
}  // namespace

void RefreshTwipsPerPixel() {
    const int dpi = os::GetScreenDpi();
    g_twips_per_pixel = dpi > 0 ? 1440 / dpi : 15;
}

int TwipsPerPixel() {
    if (g_twips_per_pixel == 0) RefreshTwipsPerPixel();
    return g_twips_per_pixel;
}

int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / TwipsPerPixel()));
}

int PixelsToTwips(int pixels) { return pixels * TwipsPerPixel(); }

int ScreenWidth() { return PixelsToTwips(os::GetSystemMetrics(os::SM_CXSCREEN)); }
int ScreenHeight() { return PixelsToTwips(os::GetSystemMetrics(os::SM_CYSCREEN)); }

int FontPixelHeight(const Font& font) {
    return static_cast<int>(std::lround(font.size * 1440.0 / TwipsPerPixel() / 72.0));
}

namespace {
struct FontEntry {
    Font font;
    os::HFONT handle;
};
std::vector<FontEntry>& FontCache() {
    static auto* cache = new std::vector<FontEntry>;
    return *cache;
}
}  // namespace

void ForgetFonts() {
    for (const FontEntry& e : FontCache()) os::DeleteObject(e.handle);
    FontCache().clear();
}

os::HFONT FontHandle(const Font& font) {
    auto& cache = FontCache();
    for (const FontEntry& e : cache)
        if (e.font == font) return e.handle;
    const os::HFONT handle =
        os::CreateFontA(FontPixelHeight(font), font.weight, font.italic, font.underline,
                        font.strikethrough, static_cast<os::DWORD>(font.charset), font.name.c_str());
    cache.push_back({font, handle});
    return handle;
}

void Canvas::fill(int x, int y, int width, int height, os::COLORREF colour) const {
    if (width <= 0 || height <= 0) return;
    const os::RECT r{m_x + x, m_y + y, m_x + x + width, m_y + y + height};
    os::FillRect(m_dc, &r, ResolveColor(colour));
}

void Canvas::frame(int x, int y, int width, int height, os::COLORREF colour) const {
    fill(x, y, width, 1, colour);
    fill(x, y + height - 1, width, 1, colour);
    fill(x, y, 1, height, colour);
    fill(x + width - 1, y, 1, height, colour);
}

void Canvas::dotted_frame(int x, int y, int width, int height, os::COLORREF colour) const {
    for (int i = 0; i < width; i += 2) {
        fill(x + i, y, 1, 1, colour);
        fill(x + i, y + height - 1, 1, 1, colour);
    }
    for (int i = 0; i < height; i += 2) {
        fill(x, y + i, 1, 1, colour);
        fill(x + width - 1, y + i, 1, 1, colour);
    }
}

void Canvas::text(int x, int y, int width, int height, std::string_view text, const Font& font,
                  os::COLORREF colour, os::UINT format) const {
    if (text.empty()) return;
    const os::RECT r{m_x + x, m_y + y, m_x + x + width, m_y + y + height};
    // DrawTextA takes a terminated string; captions are short.
    char buffer[256];
    const std::size_t n = text.size() < sizeof buffer - 1 ? text.size() : sizeof buffer - 1;
    text.copy(buffer, n);
    buffer[n] = '\0';
    os::DrawTextA(m_dc, buffer, &r, format, FontHandle(font), ResolveColor(colour));
}

void Canvas::image(int x, int y, int width, int height, os::HDC source) const {
    os::BitBlt(m_dc, m_x + x, m_y + y, width, height, source, 0, 0, os::SRCCOPY);
}

void Canvas::pixels(int x, int y, int width, int height, const os::COLORREF* pixels, int stride) const {
    if (width <= 0 || height <= 0 || pixels == nullptr) return;
    os::SetDIBitsToDevice(m_dc, m_x + x, m_y + y, width, height, pixels, stride);
}

}  // namespace forms
