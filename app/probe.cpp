// The cursor probe: every tick shows the cursor's position; when the cursor
// has moved since the last full probe, it also reads the window, device
// context and colour under it. A tick at rest touches only two labels, whose
// text does not change, so it draws nothing and allocates nothing.
#include <cstring>
#include <string_view>

#include "app/shaped_form.h"

namespace {

// "x: 512" without allocating: prefix and number into a small buffer.
struct ShortText {
    char text[32];
    int length = 0;
    std::string_view view() const { return {text, static_cast<std::size_t>(length)}; }
};

ShortText Prefixed(const char* prefix, std::int32_t value) {
    ShortText out;
    const auto n = std::strlen(prefix);
    std::memcpy(out.text, prefix, n);
    out.length = static_cast<int>(n) + forms::DecimalText(value, out.text + n);
    return out;
}

ShortText Pair(std::int32_t x, std::int32_t y) {
    ShortText out;
    out.length = forms::DecimalText(x, out.text);
    out.text[out.length++] = ',';
    out.length += forms::DecimalText(y, out.text + out.length);
    return out;
}

}  // namespace

std::string ShapedForm::ColorToHTML(const os::COLORREF& clr) const {
    unsigned char bytes[4];
    std::memcpy(bytes, &clr, sizeof bytes);  // little-endian: red, green, blue, unused
    std::string result;
    for (int i = 0; i < 3; ++i) {
        std::string part = forms::HexText(bytes[i]);
        if (part.size() == 1) part.insert(part.begin(), '0');
        result += part;
    }
    return result;
}

void ShapedForm::Timer1_Timer() {
    os::GetCursorPos(&CursorPos);
    Label1.set_caption(Prefixed("x: ", CursorPos.x).view());
    Label2.set_caption(Prefixed("y: ", CursorPos.y).view());

    // From here on a failing statement is skipped and the next one runs.
    os::POINT probe;
    bool moved = true;
    forms::ResumeNext([&] { os::GetCursorPos(&probe); },
                      [&] { moved = probe.x != LastProbePos.x || probe.y != LastProbePos.y; });
    if (!moved) return;

    os::HWND window = 0;
    os::HDC dc = 0;
    os::COLORREF colour = 0;
    forms::ResumeNext(
        [&] { LastProbePos.x = probe.x; },
        [&] { LastProbePos.y = probe.y; },
        [&] { lblData[0].set_caption(Pair(LastProbePos.x, LastProbePos.y).view()); },
        [&] { window = os::WindowFromPoint(LastProbePos); },
        [&] { lblData[1].set_caption(Prefixed("", window).view()); },
        [&] { dc = os::GetDC(window); },
        [&] { lblData[2].set_caption(Prefixed("", dc).view()); },
        [&] { os::ScreenToClient(window, &probe); },
        [&] { lblData[3].set_caption(Pair(probe.x, probe.y).view()); },
        [&] { colour = os::GetPixel(dc, probe.x, probe.y); },
        [&] {
            if (colour == os::CLR_INVALID) {
                // The pixel could not be read (outside the window's clip):
                // copy it into the swatch and read it back there.
                forms::ResumeNext(
                    [&] { os::BitBlt(Picture1.hdc(), 0, 0, 1, 1, dc, probe.x, probe.y, os::SRCCOPY); },
                    [&] { colour = Picture1.point(0, 0); });
            } else {
                Picture1.pset(0, 0, colour);
            }
        },
        [&] { os::ReleaseDC(window, dc); },
        [&] { Picture1.set_back_color(colour); },
        [&] { lblData[4].set_caption(ColorToHTML(colour)); });
}
