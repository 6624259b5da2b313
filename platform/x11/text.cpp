// X11 backend: fonts and text.
//
// Supports:
//   [x] fonts by face, pixel height, weight, italic through fontconfig
//       matching ("MS Sans Serif" becomes the nearest sans); a missing face
//       falls back to "sans", then to any font, and never crashes
//   [x] underline and strike-out drawn as lines
//   [x] DrawTextA: left / centre / right, single line with vertical centring,
//       line breaks and word breaks, clipped to the rectangle, transparent
//       background; '&' is an ordinary character (the forms engine draws
//       access-key underlines itself)
//   [x] UTF-8 text; bytes that are not UTF-8 are read as Latin-1
// Not supported:
//   [ ] DrawTextA on image DCs (text goes to window back buffers only)
//   [ ] DT_CALCRECT, tabs, ellipses, character sets
#include <fontconfig/fontconfig.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/x11/backend.h"

namespace x11 {

namespace {

constexpr int kDefaultPixelSize = 11;
constexpr os::UINT DT_BOTTOM = 0x0008;

struct Line {
    std::string text;
};

// Every face the program asks for is matched to one sans family, so instead
// of the system configuration (an XML parse of every rule file and a map of
// every font directory's cache: about a megabyte that stays resident all
// day) fontconfig gets a configuration of the program's own holding only that
// family's upright faces. Where they are not found, or where the environment
// names a configuration of its own, the system configuration is used as
// before. Italic then comes out upright; nothing in the program asks for it.
constexpr const char* kOwnFaces[][2] = {
    {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
     "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"},
    {"/usr/share/fonts/dejavu-sans-fonts/DejaVuSans.ttf",
     "/usr/share/fonts/dejavu-sans-fonts/DejaVuSans-Bold.ttf"},
    {"/usr/share/fonts/TTF/DejaVuSans.ttf", "/usr/share/fonts/TTF/DejaVuSans-Bold.ttf"},
    {"/usr/share/fonts/dejavu/DejaVuSans.ttf", "/usr/share/fonts/dejavu/DejaVuSans-Bold.ttf"},
};

bool install_own_font_config() {
    if (std::getenv("FONTCONFIG_FILE") || std::getenv("FONTCONFIG_PATH")) return false;
    for (const auto& faces : kOwnFaces) {
        if (access(faces[0], R_OK) != 0) continue;
        FcConfig* config = FcConfigCreate();
        if (!config) return false;
        bool usable = FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(faces[0]));
        if (usable && access(faces[1], R_OK) == 0)
            FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(faces[1]));
        // FcConfigSetCurrent takes its own reference on success.
        usable = usable && FcConfigSetCurrent(config);
        FcConfigDestroy(config);
        if (usable) return true;
    }
    return false;
}

XftFont* open_font(const char* family, int pixels, int weight, bool italic) {
    // With its own configuration the program also sets the light hinting the
    // usual desktop configuration asks for, so text looks the same either way.
    static const bool own_config = install_own_font_config();
    Backend& b = *live();
    const int fc_weight = FcWeightFromOpenType(weight > 0 ? weight : os::FW_NORMAL);
    FcPattern* pattern = FcPatternBuild(
        nullptr, FC_FAMILY, FcTypeString, family, FC_PIXEL_SIZE, FcTypeDouble,
        static_cast<double>(pixels), FC_WEIGHT, FcTypeInteger, fc_weight, FC_SLANT, FcTypeInteger,
        italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN, nullptr);
    if (!pattern) return nullptr;
    if (own_config) FcPatternAddInteger(pattern, FC_HINT_STYLE, FC_HINT_SLIGHT);
    FcResult result = FcResultNoMatch;
    FcPattern* match = XftFontMatch(b.dpy, b.screen, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return nullptr;
    XftFont* font = XftFontOpenPattern(b.dpy, match);
    if (!font) FcPatternDestroy(match);
    return font;
}

XftFont* open_with_fallback(const char* face, int pixels, int weight, bool italic) {
    XftFont* font = open_font(face && *face ? face : "sans", pixels, weight, italic);
    if (!font) font = open_font("sans", pixels, weight, italic);
    if (!font) font = XftFontOpenName(live()->dpy, live()->screen, "");
    return font;
}

bool valid_utf8(const unsigned char* s, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        std::size_t extra = 0;
        if (c >= 0x80) {
            if ((c >> 5) == 6 && c >= 0xC2) {
                extra = 1;
            } else if ((c >> 4) == 14) {
                extra = 2;
            } else if ((c >> 3) == 30 && c <= 0xF4) {
                extra = 3;
            } else {
                return false;
            }
        }
        if (extra > n - i - 1) return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((s[i + k] & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

int measure(XftFont* font, const std::string& text, std::size_t start, std::size_t length) {
    if (length == 0) return 0;
    XGlyphInfo extents{};
    XftTextExtentsUtf8(live()->dpy, font, reinterpret_cast<const FcChar8*>(text.data() + start),
                       static_cast<int>(length), &extents);
    return extents.xOff;
}

// Greedy word wrap of text[begin, end) into lines no wider than `width`
// where the words allow it; a word wider than the line stands alone.
void wrap(XftFont* font, const std::string& text, std::size_t begin, std::size_t end, int width,
          std::vector<Line>* lines) {
    std::size_t line_start = begin, line_end = begin;
    for (std::size_t i = begin; i < end;) {
        std::size_t word = i;
        while (word < end && text[word] == ' ') ++word;
        if (word == end) break;
        std::size_t word_end = word;
        while (word_end < end && text[word_end] != ' ') ++word_end;
        if (line_end == line_start || measure(font, text, line_start, word_end - line_start) <= width) {
            line_end = word_end;
        } else {
            lines->push_back({text.substr(line_start, line_end - line_start)});
            line_start = word;
            line_end = word_end;
        }
        i = word_end;
    }
    lines->push_back({text.substr(line_start, line_end - line_start)});
}

std::vector<Line> lay_out(XftFont* font, std::string* text, os::UINT format, int width) {
    std::vector<Line> lines;
    std::erase(*text, '\r');
    if (format & os::DT_SINGLELINE) {
        std::replace(text->begin(), text->end(), '\n', ' ');
        lines.push_back({*text});
        return lines;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        if (format & os::DT_WORDBREAK) {
            wrap(font, *text, start, end, width, &lines);
        } else {
            lines.push_back({text->substr(start, end - start)});
        }
        if (end == text->size()) break;
        start = end + 1;
    }
    return lines;
}

int first_line_top(const os::RECT& rect, os::UINT format, int line_height, std::size_t count) {
    const int total = line_height * static_cast<int>(count);
    if (!(format & os::DT_SINGLELINE)) return rect.top;
    if (format & os::DT_VCENTER) return rect.top + (rect.bottom - rect.top - total) / 2;
    if (format & DT_BOTTOM) return rect.bottom - total;
    return rect.top;
}

int line_left(const os::RECT& rect, os::UINT format, int width) {
    if (format & os::DT_CENTER) return rect.left + (rect.right - rect.left - width) / 2;
    if (format & os::DT_RIGHT) return rect.right - width;
    return rect.left;
}

struct TextStyle {
    XftFont* xft = nullptr;
    bool underline = false;
    bool strike_out = false;
};

TextStyle style_of(os::HFONT font) {
    Backend& b = *live();
    auto found = b.fonts.find(font);
    if (found != b.fonts.end()) return {found->second.xft, found->second.underline, found->second.strike_out};
    return {font_of(0), false, false};
}

// `width` is the line's advance, for the underline and the strike-out.
void draw_line(XftDraw* draw, XftColor* colour, const TextStyle& style, const Line& line, int x,
               int top, int width) {
    XftFont* f = style.xft;
    const int baseline = top + f->ascent;
    XftDrawStringUtf8(draw, colour, f, x, baseline, reinterpret_cast<const FcChar8*>(line.text.data()),
                      static_cast<int>(line.text.size()));
    if (style.underline) XftDrawRect(draw, colour, x, baseline + 1, static_cast<unsigned>(width), 1);
    if (style.strike_out) XftDrawRect(draw, colour, x, baseline - f->ascent / 3, static_cast<unsigned>(width), 1);
}

}  // namespace

std::string to_utf8(const char* text, std::size_t length) {
    if (!text) return {};
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    if (valid_utf8(bytes, length)) return std::string(text, length);
    std::string out;  // the ANSI code page's upper half as Latin-1
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = bytes[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

XftFont* font_of(os::HFONT font) {
    Backend& b = *live();
    auto found = b.fonts.find(font);
    if (found != b.fonts.end()) return found->second.xft;
    if (!b.default_font.xft) b.default_font.xft = open_with_fallback("sans", kDefaultPixelSize, os::FW_NORMAL, false);
    return b.default_font.xft;
}

void close_fonts() {
    Backend& b = *live();
    for (auto& [id, font] : b.fonts)
        if (font.xft) XftFontClose(b.dpy, font.xft);
    b.fonts.clear();
    if (b.default_font.xft) XftFontClose(b.dpy, b.default_font.xft);
    b.default_font.xft = nullptr;
}

int text_width(XftFont* font, const std::string& utf8) {
    return font ? measure(font, utf8, 0, utf8.size()) : 0;
}

std::vector<std::string> layout_lines(XftFont* font, const std::string& text, os::UINT format,
                                      int width) {
    std::vector<std::string> result;
    if (!font) return result;
    std::string copy = text;
    for (Line& line : lay_out(font, &copy, format, width)) result.push_back(std::move(line.text));
    return result;
}

}  // namespace x11

namespace os {

HFONT CreateFontA(int height, int weight, BOOL italic, BOOL underline, BOOL strike_out, DWORD,
                  const char* face) {
    x11::Backend* b = x11::live();
    if (!b) return 0;
    const int pixels = height == 0 ? x11::kDefaultPixelSize : std::min(std::abs(height), 512);
    XftFont* xft = x11::open_with_fallback(face, pixels, weight, italic != FALSE);
    if (!xft) return 0;
    const HFONT id = b->next_font++;
    b->fonts[id] = {xft, underline != FALSE, strike_out != FALSE};
    return id;
}

BOOL DeleteObject(HFONT font) {
    x11::Backend* b = x11::live();
    if (!b) return FALSE;
    auto found = b->fonts.find(font);
    if (found == b->fonts.end()) return FALSE;
    if (found->second.xft) XftFontClose(b->dpy, found->second.xft);
    b->fonts.erase(found);
    return TRUE;
}

BOOL GetTextExtentPoint32A(HFONT font, const char* text, int length, SIZE* size) {
    if (!x11::live() || !size || length < 0 || (length > 0 && !text)) return FALSE;
    XftFont* xft = x11::font_of(font);
    if (!xft) return FALSE;
    const std::string utf8 = x11::to_utf8(text, static_cast<std::size_t>(length));
    size->cx = x11::text_width(xft, utf8);
    size->cy = xft->ascent + xft->descent;
    return TRUE;
}

BOOL DrawTextA(HDC hdc, const char* text, const RECT* rect, UINT format, HFONT font,
               COLORREF colour) {
    x11::NativeWindow* w = x11::live() ? x11::drawing_target(hdc) : nullptr;
    if (!w || !text || !rect) return FALSE;
    const x11::TextStyle style = x11::style_of(font);
    if (!style.xft) return FALSE;
    x11::Backend& b = *x11::live();
    // Text is drawn as given: callers lay out their own access-key underlines.
    std::string shown = x11::to_utf8(text, std::char_traits<char>::length(text));
    const std::vector<x11::Line> lines = x11::lay_out(style.xft, &shown, format, rect->right - rect->left);
    const int line_height = style.xft->ascent + style.xft->descent;
    XRenderColor render{static_cast<unsigned short>(GetRValue(colour) * 257),
                        static_cast<unsigned short>(GetGValue(colour) * 257),
                        static_cast<unsigned short>(GetBValue(colour) * 257), 0xFFFF};
    XftColor xft_colour{};
    if (!XftColorAllocValue(b.dpy, b.visual, b.colormap, &render, &xft_colour)) return FALSE;
    const int first_top = x11::first_line_top(*rect, format, line_height, lines.size());
    struct Placed {
        int left;
        int width;
    };
    std::vector<Placed> placed;
    placed.reserve(lines.size());
    // Text whose ink (underline and strike-out included) lies inside the
    // rectangle draws without a clip, which spares the server two requests
    // per text: the probe rewrites three texts on most pointer moves.
    bool fits = true;
    int top = first_top;
    for (const x11::Line& line : lines) {
        // One measurement gives both the advance (for the alignment) and the ink.
        XGlyphInfo ink{};
        XftTextExtentsUtf8(b.dpy, style.xft, reinterpret_cast<const FcChar8*>(line.text.data()),
                           static_cast<int>(line.text.size()), &ink);
        const int width = line.text.empty() ? 0 : ink.xOff;
        const int left = x11::line_left(*rect, format, width);
        placed.push_back({left, width});
        const int baseline = top + style.xft->ascent;
        const int ink_left = std::min(left - ink.x, left);
        const int ink_right = std::max(left - ink.x + ink.width, left + width);
        const int ink_top = baseline - ink.y;
        const int ink_bottom = std::max(ink_top + ink.height, baseline + 2);
        fits = fits && ink_left >= rect->left && ink_right <= rect->right && ink_top >= rect->top &&
               ink_bottom <= rect->bottom;
        top += line_height;
    }
    if (!fits) {
        XRectangle clip{static_cast<short>(rect->left), static_cast<short>(rect->top),
                        static_cast<unsigned short>(std::max(rect->right - rect->left, 0)),
                        static_cast<unsigned short>(std::max(rect->bottom - rect->top, 0))};
        XftDrawSetClipRectangles(w->draw, 0, 0, &clip, 1);
    }
    top = first_top;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        x11::draw_line(w->draw, &xft_colour, style, lines[i], placed[i].left, top, placed[i].width);
        top += line_height;
    }
    if (!fits) XftDrawSetClip(w->draw, nullptr);
    XftColorFree(b.dpy, b.visual, b.colormap, &xft_colour);
    return TRUE;
}

}  // namespace os
