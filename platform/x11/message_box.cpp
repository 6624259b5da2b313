// X11 backend: message boxes.
//
// Supports:
//   [x] a modal dialog: the caption as title, the text word-wrapped, one OK
//       button; Enter, Esc, Space, a click on OK or the close button end it
//   [x] icons for MB_ICONHAND (red circle, white cross) and MB_ICONASTERISK
//       (blue circle, white "i"), drawn with simple shapes
//   [x] transient for its owner, above it, centred on it
//   [x] the nested loop keeps timers and paints of every window going and
//       holds back input to the program's other windows
// Not supported:
//   [ ] buttons other than OK, other icons (they show no icon)
#include <algorithm>

#include "platform/x11/backend.h"

namespace x11 {
namespace {

constexpr os::COLORREF kFace = os::RGB(240, 240, 240);
constexpr os::COLORREF kText = os::RGB(0, 0, 0);
constexpr os::COLORREF kButtonFace = os::RGB(225, 225, 225);
constexpr os::COLORREF kButtonBorder = os::RGB(0, 120, 215);
constexpr os::COLORREF kHandRed = os::RGB(232, 17, 35);
constexpr os::COLORREF kAsteriskBlue = os::RGB(0, 102, 204);
constexpr os::COLORREF kWhite = os::RGB(255, 255, 255);
constexpr int kMargin = 16;
constexpr int kIconSize = 32;
constexpr int kIconGap = 12;
constexpr int kMaxTextWidth = 360;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kMinWidth = 200;
constexpr os::UINT kIconMask = 0xF0;

enum class Icon { Plain, Hand, Asterisk };

struct Dialog {
    os::HWND hwnd = 0;
    std::string text;
    Icon icon = Icon::Plain;
    os::RECT text_rect{};
    os::RECT button{};
    bool pressed = false;  // the left button went down on OK
    bool done = false;
};

std::map<os::HWND, Dialog*>& open_dialogs() {
    static std::map<os::HWND, Dialog*> dialogs;
    return dialogs;
}

bool inside(const os::RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

void fill_circle(const NativeWindow& w, int x, int y, int size, os::COLORREF colour) {
    Backend& b = *live();
    XSetForeground(b.dpy, b.gc, pixel_of(colour));
    XFillArc(b.dpy, w.back, b.gc, x, y, static_cast<unsigned>(size), static_cast<unsigned>(size), 0, 360 * 64);
}

void draw_hand(const NativeWindow& w, int x, int y) {
    Backend& b = *live();
    fill_circle(w, x, y, kIconSize, kHandRed);
    XSetForeground(b.dpy, b.gc, pixel_of(kWhite));
    XSetLineAttributes(b.dpy, b.gc, 3, LineSolid, CapRound, JoinRound);
    const int a = 10, z = kIconSize - 10;
    XDrawLine(b.dpy, w.back, b.gc, x + a, y + a, x + z, y + z);
    XDrawLine(b.dpy, w.back, b.gc, x + z, y + a, x + a, y + z);
    XSetLineAttributes(b.dpy, b.gc, 0, LineSolid, CapButt, JoinMiter);
}

void draw_asterisk(const NativeWindow& w, int x, int y) {
    Backend& b = *live();
    fill_circle(w, x, y, kIconSize, kAsteriskBlue);
    fill_circle(w, x + kIconSize / 2 - 2, y + 7, 5, kWhite);  // the dot of the "i"
    XFillRectangle(b.dpy, w.back, b.gc, x + kIconSize / 2 - 2, y + 14, 4, 11);
}

void paint(Dialog& d) {
    os::RECT area;
    const os::HDC dc = os::BeginPaint(d.hwnd, &area);
    const NativeWindow* w = find_window(d.hwnd);
    if (!dc || !w) return;
    const os::RECT all{0, 0, w->width, w->height};
    os::FillRect(dc, &all, kFace);
    if (d.icon == Icon::Hand) draw_hand(*w, kMargin, kMargin);
    if (d.icon == Icon::Asterisk) draw_asterisk(*w, kMargin, kMargin);
    os::DrawTextA(dc, d.text.c_str(), &d.text_rect, os::DT_LEFT | os::DT_WORDBREAK, 0, kText);
    os::FillRect(dc, &d.button, kButtonBorder);
    const os::RECT face{d.button.left + 1, d.button.top + 1, d.button.right - 1, d.button.bottom - 1};
    os::FillRect(dc, &face, d.pressed ? kFace : kButtonFace);
    os::DrawTextA(dc, "OK", &d.button, os::DT_CENTER | os::DT_VCENTER | os::DT_SINGLELINE, 0, kText);
    os::EndPaint(d.hwnd);
}

void set_pressed(Dialog& d, bool pressed) {
    if (d.pressed == pressed) return;
    d.pressed = pressed;
    os::InvalidateRect(d.hwnd, &d.button);
}

os::LRESULT dialog_proc(os::HWND hwnd, os::UINT message, os::WPARAM wParam, os::LPARAM lParam) {
    auto found = open_dialogs().find(hwnd);
    if (found == open_dialogs().end()) return 0;
    Dialog& d = *found->second;
    const int x = os::GET_X_LPARAM(lParam), y = os::GET_Y_LPARAM(lParam);
    switch (message) {
        case os::WM_PAINT: paint(d); break;
        case os::WM_CLOSE: d.done = true; break;  // the loop destroys the window
        case os::WM_DESTROY: d.done = true; break;  // destroyed by someone else
        case os::WM_KEYDOWN:
            if (wParam == os::VK_RETURN || wParam == os::VK_ESCAPE || wParam == os::VK_SPACE) d.done = true;
            break;
        case os::WM_LBUTTONDOWN:
        case os::WM_LBUTTONDBLCLK: set_pressed(d, inside(d.button, x, y)); break;
        case os::WM_LBUTTONUP:
            if (d.pressed && inside(d.button, x, y)) d.done = true;
            set_pressed(d, false);
            break;
        default: break;
    }
    return 0;
}

Icon icon_of(os::UINT type) {
    if ((type & kIconMask) == os::MB_ICONHAND) return Icon::Hand;
    if ((type & kIconMask) == os::MB_ICONASTERISK) return Icon::Asterisk;
    return Icon::Plain;
}

// Sizes the dialog around its text and returns the client size.
os::SIZE lay_out(Dialog& d) {
    XftFont* font = font_of(0);
    const int line_height = font ? font->ascent + font->descent : 13;
    const std::vector<std::string> lines = layout_lines(font, d.text, os::DT_WORDBREAK, kMaxTextWidth);
    int text_width = 0;
    for (const std::string& line : lines) text_width = std::max(text_width, x11::text_width(font, line));
    const int text_height = line_height * static_cast<int>(lines.size());
    const int text_left = kMargin + (d.icon == Icon::Plain ? 0 : kIconSize + kIconGap);
    const int body = std::max(text_height, d.icon == Icon::Plain ? 0 : kIconSize);
    const int text_top = kMargin + (body - text_height) / 2;
    // A little slack so that the wrap in DrawTextA matches this measurement.
    d.text_rect = {text_left, text_top, text_left + text_width + 2, text_top + text_height};
    const int width = std::max({kMinWidth, d.text_rect.right + kMargin, kButtonWidth + 2 * kMargin});
    const int button_top = kMargin + body + kMargin;
    d.button = {(width - kButtonWidth) / 2, button_top, (width + kButtonWidth) / 2, button_top + kButtonHeight};
    return {width, button_top + kButtonHeight + kMargin / 2 + 4};
}

os::POINT centre_on(os::HWND owner, os::SIZE size) {
    os::RECT around{0, 0, screen_width(), screen_height()};
    const NativeWindow* w = find_window(owner);
    if (w && w->shown && !w->iconic) os::GetWindowRect(owner, &around);
    const int x = around.left + (around.right - around.left - size.cx) / 2;
    const int y = around.top + (around.bottom - around.top - size.cy) / 2;
    return {std::clamp(x, 0, std::max(screen_width() - size.cx, 0)),
            std::clamp(y, 0, std::max(screen_height() - size.cy, 0))};
}

os::HWND open_window(Dialog& d, os::HWND owner, const char* caption) {
    const os::SIZE size = lay_out(d);
    const os::POINT at = centre_on(owner, size);
    os::FormWindowSpec form;
    form.title = caption ? caption : "Error";  // Windows' title when none is given
    form.x = at.x;
    form.y = at.y;
    form.client_width = size.cx;
    form.client_height = size.cy;
    form.background = kFace;
    form.proc = dialog_proc;
    WindowOptions options;
    options.transient_for = owner;
    options.window_type = live()->atoms.net_wm_window_type_dialog;
    options.modal = true;
    return create_window(form, options);
}

}  // namespace
}  // namespace x11

namespace os {

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    x11::Backend* b = x11::live();
    if (!b) return 0;
    x11::Dialog d;
    d.text = x11::to_utf8(text ? text : "", text ? std::char_traits<char>::length(text) : 0);
    d.icon = x11::icon_of(type);
    d.hwnd = x11::open_window(d, owner, caption);
    if (!d.hwnd) return 0;
    x11::open_dialogs()[d.hwnd] = &d;
    b->modal.push_back(d.hwnd);
    ShowWindow(d.hwnd, SW_SHOW);
    SetForegroundWindow(d.hwnd);
    x11::run_modal_loop(d.done);
    b->modal.erase(std::find(b->modal.begin(), b->modal.end(), d.hwnd));
    x11::open_dialogs().erase(d.hwnd);
    DestroyWindow(d.hwnd);
    return IDOK;
}

}  // namespace os
