// X11 backend: the cursor and what the screen shows.
//
// Supports:
//   [x] GetCursorPos, asking the server only after the pointer moved (XInput2
//       raw motion) and at least every 50 ms; without XInput2 it asks every time
//   [x] WindowFromPoint: the deepest window under a point, other programs'
//       windows included
//   [x] GetDC for our windows (geometry from the cache), other programs'
//       windows and the whole screen (hwnd 0); a vanished window gives 0
//   [x] ScreenToClient / ClientToScreen; a failure leaves the point unchanged
//   [x] pixels are read from the root window: what the user sees
// Not supported:
//   [ ] screens other than the default one
#include <algorithm>

#include "platform/x11/backend.h"

namespace x11 {
namespace {

// Pointer warps (XWarpPointer) bring no raw motion with them, and a server
// may drop raw events; asking again this often, plus at most one timer
// period until the next read, keeps such a jump from going unnoticed for
// more than 50 ms, at about 20 small round trips a second.
constexpr std::int64_t kCursorRecheckNs = 50'000'000 - kTimerResolutionNs;

bool on_screen(int x, int y) { return x >= 0 && y >= 0 && x < screen_width() && y < screen_height(); }

DeviceContext screen_dc(os::HWND hwnd) {
    DeviceContext dc;
    dc.kind = DcKind::Screen;
    dc.hwnd = hwnd;
    dc.width = screen_width();
    dc.height = screen_height();
    return dc;
}

// Where another program's window sits, if this turn already asked.
bool known_origin(const Backend& b, ::Window xid, int* x, int* y) {
    if (b.last_origin.xid != xid || b.last_origin.turn != b.turn) return false;
    *x = b.last_origin.origin_x;
    *y = b.last_origin.origin_y;
    return true;
}

void remember_origin(Backend& b, ::Window xid, int x, int y) { b.last_origin = {xid, x, y, b.turn}; }

// Another program's window (or the root): its client area as it is now.
bool foreign_area(Backend& b, ::Window xid, DeviceContext* dc) {
    if (xid == b.root) {  // the desktop: the whole screen, where it always is
        dc->origin_x = 0;
        dc->origin_y = 0;
        return true;
    }
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(b.dpy, xid, &attributes) || attributes.root != b.root) return false;
    int x = 0, y = 0;
    ::Window child = 0;
    if (!known_origin(b, xid, &x, &y) && !XTranslateCoordinates(b.dpy, xid, b.root, 0, 0, &x, &y, &child))
        return false;
    dc->origin_x = x;
    dc->origin_y = y;
    dc->width = attributes.width;
    dc->height = attributes.height;
    return true;
}

bool translate(os::HWND hwnd, os::POINT* point, bool to_client) {
    Backend* b = live();
    if (!b || !point || hwnd == 0) return false;
    if (const NativeWindow* w = find_window(hwnd)) {
        const os::POINT origin = client_origin(*w);
        const int sign = to_client ? -1 : 1;
        point->x += sign * origin.x;
        point->y += sign * origin.y;
        return true;
    }
    const auto xid = static_cast<::Window>(static_cast<std::uint32_t>(hwnd));
    int x = 0, y = 0;
    if (known_origin(*b, xid, &x, &y)) {
        const int sign = to_client ? -1 : 1;
        point->x += sign * x;
        point->y += sign * y;
        return true;
    }
    ::Window child = 0;
    const ::Window from = to_client ? b->root : xid, to = to_client ? xid : b->root;
    if (!XTranslateCoordinates(b->dpy, from, to, point->x, point->y, &x, &y, &child)) return false;
    *point = {x, y};
    return true;
}

}  // namespace

bool dc_screen_area(const DeviceContext& dc, os::RECT* area) {
    if (!dc.own) {
        Backend& b = *live();
        os::POINT origin{dc.origin_x, dc.origin_y};
        // Another program's window may have moved or gone since GetDC; a
        // gone window reads as no colour rather than as whatever replaced it.
        // Within the turn that found the window under a point nothing has
        // been read from the server since, so its origin then still holds.
        const auto xid = static_cast<::Window>(static_cast<std::uint32_t>(dc.hwnd));
        if (dc.hwnd != 0 && xid != b.root && !known_origin(b, xid, &origin.x, &origin.y)) {
            ::Window child = 0;
            if (!XTranslateCoordinates(b.dpy, xid, b.root, 0, 0, &origin.x, &origin.y, &child)) return false;
        }
        *area = {origin.x, origin.y, origin.x + dc.width, origin.y + dc.height};
        return true;
    }
    const NativeWindow* w = find_window(dc.hwnd);
    if (!w) return false;
    const os::POINT origin = client_origin(*w);
    *area = {origin.x, origin.y, origin.x + w->width, origin.y + w->height};
    return true;
}

bool read_drawable(Drawable from, int x, int y, int width, int height,
                   std::vector<os::COLORREF>* pixels) {
    Backend& b = *live();
    XImage* image = XGetImage(b.dpy, from, x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) return false;  // the drawable went away or is not viewable
    pixels->resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col)
            (*pixels)[static_cast<std::size_t>(row * width + col)] = colour_of(XGetPixel(image, col, row));
    XDestroyImage(image);
    return true;
}

}  // namespace x11

namespace os {

BOOL GetCursorPos(POINT* point) {
    x11::Backend* b = x11::live();
    if (!b || !point) return FALSE;
    const std::int64_t now = x11::now_ns();
    if (!b->cursor_known || b->xi_opcode < 0 || now - b->cursor_read_ns > x11::kCursorRecheckNs) {
        ::Window root = 0, child = 0;
        int x = 0, y = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(b->dpy, b->root, &root, &child, &x, &y, &wx, &wy, &mask)) return FALSE;
        b->pointer_child = {child, {x, y}, b->turn};
        b->cursor = {x, y};
        b->cursor_known = true;
        b->cursor_read_ns = now;
    }
    *point = b->cursor;
    return TRUE;
}

HWND WindowFromPoint(POINT point) {
    x11::Backend* b = x11::live();
    if (!b || !x11::on_screen(point.x, point.y)) return 0;
    ::Window found = b->root, child = 0;
    int x = point.x, y = point.y;
    // One level per request: the server reports the child under the point.
    // The last answer also tells where the window found sits, which the
    // device context and the conversion to client coordinates that follow
    // in the same turn can use without asking again. The first level is
    // known already when the cursor was asked for at this point this turn.
    const auto& known = b->pointer_child;
    bool answered = known.turn == b->turn && known.at.x == point.x && known.at.y == point.y;
    if (answered) child = known.child;
    else answered = XTranslateCoordinates(b->dpy, b->root, found, point.x, point.y, &x, &y, &child);
    while (answered && child) {
        found = child;
        answered = XTranslateCoordinates(b->dpy, b->root, found, point.x, point.y, &x, &y, &child);
    }
    if (answered) x11::remember_origin(*b, found, point.x - x, point.y - y);
    return static_cast<HWND>(found);
}

HDC GetDC(HWND hwnd) {
    x11::Backend* b = x11::live();
    if (!b) return 0;
    x11::DeviceContext dc = x11::screen_dc(hwnd);
    if (hwnd == 0) return x11::add_dc(std::move(dc));
    if (x11::find_window(hwnd)) {
        dc.own = true;
        return x11::add_dc(std::move(dc));
    }
    const auto xid = static_cast<::Window>(static_cast<std::uint32_t>(hwnd));
    if (!x11::foreign_area(*b, xid, &dc)) return 0;
    return x11::add_dc(std::move(dc));
}

int ReleaseDC(HWND, HDC hdc) {
    x11::Backend* b = x11::live();
    const x11::DeviceContext* dc = x11::find_dc(hdc);
    if (!b || !dc || dc->kind != x11::DcKind::Screen) return 0;
    b->dcs.erase(hdc);
    return 1;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) { return x11::translate(hwnd, point, true) ? TRUE : FALSE; }

BOOL ClientToScreen(HWND hwnd, POINT* point) { return x11::translate(hwnd, point, false) ? TRUE : FALSE; }

}  // namespace os
