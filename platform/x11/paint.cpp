// X11 backend: device contexts and painting.
//
// Supports:
//   [x] a server-side back buffer per window; BeginPaint / EndPaint copy the
//       invalid rectangle to the window, with no round trip
//   [x] FillRect, SetPixel, GetPixel on paint, image and (own) window DCs
//   [x] image DCs: pixels in this process, no server round trip
//   [x] BitBlt (SRCCOPY) between any two of: image DC, paint DC, window DC;
//       reading a window DC reads what the screen shows
//   [x] GetPixel on a window DC: CLR_INVALID outside the client area or the
//       screen, or when the window has gone
// Not supported:
//   [ ] raster operations other than SRCCOPY
//   [ ] drawing onto other programs' windows
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "platform/x11/backend.h"

namespace x11 {
namespace {

constexpr std::size_t kMaxImagePixels = 64u * 1024u * 1024u;

os::RECT clip_to(const os::RECT& rect, int width, int height) {
    return {std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, width),
            std::min(rect.bottom, height)};
}

bool is_empty(const os::RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

os::RECT unite(const os::RECT& a, const os::RECT& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// The window whose back buffer a DC may draw into, and whether the result
// must go to the screen at once (window DCs; paint DCs wait for EndPaint).
NativeWindow* writable_window(const DeviceContext& dc, bool* immediate) {
    *immediate = dc.kind == DcKind::Screen;
    if (dc.kind == DcKind::Image || !dc.own) return nullptr;
    return find_window(dc.hwnd);
}

XImage* make_ximage(const std::vector<os::COLORREF>& pixels, int width, int height) {
    Backend& b = *live();
    XImage* image = XCreateImage(b.dpy, b.visual, static_cast<unsigned>(b.depth), ZPixmap, 0,
                                 nullptr, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 32, 0);
    if (!image) return nullptr;
    image->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(image->bytes_per_line) *
                                                 static_cast<std::size_t>(height)));
    if (!image->data) {
        XDestroyImage(image);
        return nullptr;
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            XPutPixel(image, x, y, pixel_of(pixels[static_cast<std::size_t>(y * width + x)]));
    return image;
}

void write_back(NativeWindow& w, bool immediate, int x, int y, int width, int height,
                const std::vector<os::COLORREF>& pixels) {
    Backend& b = *live();
    XImage* image = make_ximage(pixels, width, height);
    if (!image) return;
    XPutImage(b.dpy, w.back, b.gc, image, 0, 0, x, y, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    XDestroyImage(image);
    if (immediate) copy_to_window(w, {x, y, x + width, y + height});
}

// Reads width x height pixels of a DC at x, y; false when any of them lies
// outside what the DC covers.
bool read_dc(const DeviceContext& dc, int x, int y, int width, int height,
             std::vector<os::COLORREF>* pixels) {
    if (x < 0 || y < 0) return false;
    if (dc.kind == DcKind::Image) {
        if (x + width > dc.width || y + height > dc.height) return false;
        pixels->resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        for (int row = 0; row < height; ++row)
            std::copy_n(dc.pixels.begin() + (y + row) * dc.width + x, width,
                        pixels->begin() + row * width);
        return true;
    }
    if (dc.kind == DcKind::Paint) {
        const NativeWindow* w = find_window(dc.hwnd);
        if (!w || x + width > w->width || y + height > w->height) return false;
        return read_drawable(w->back, x, y, width, height, pixels);
    }
    os::RECT area;
    if (!dc_screen_area(dc, &area)) return false;
    if (x + width > area.right - area.left || y + height > area.bottom - area.top) return false;
    const int sx = area.left + x, sy = area.top + y;
    if (sx < 0 || sy < 0 || sx + width > screen_width() || sy + height > screen_height()) return false;
    return read_drawable(live()->root, sx, sy, width, height, pixels);
}

bool write_dc(DeviceContext& dc, int x, int y, int width, int height,
              const std::vector<os::COLORREF>& pixels) {
    if (dc.kind == DcKind::Image) {
        for (int row = 0; row < height; ++row) {
            for (int col = 0; col < width; ++col) {
                const int dx = x + col, dy = y + row;
                if (dx < 0 || dy < 0 || dx >= dc.width || dy >= dc.height) continue;
                dc.pixels[static_cast<std::size_t>(dy * dc.width + dx)] =
                    pixels[static_cast<std::size_t>(row * width + col)];
            }
        }
        return true;
    }
    bool immediate = false;
    NativeWindow* w = writable_window(dc, &immediate);
    if (!w) return false;
    write_back(*w, immediate, x, y, width, height, pixels);
    return true;
}

void fill_image(DeviceContext& dc, const os::RECT& rect, os::COLORREF colour) {
    const os::RECT r = clip_to(rect, dc.width, dc.height);
    for (int y = r.top; y < r.bottom; ++y)
        std::fill_n(dc.pixels.begin() + y * dc.width + r.left, std::max(r.right - r.left, 0), colour);
}

}  // namespace

os::HDC add_dc(DeviceContext dc) {
    Backend& b = *live();
    while (b.next_dc == 0 || b.dcs.count(b.next_dc)) b.next_dc = b.next_dc == INT_MAX ? 1 : b.next_dc + 1;
    const os::HDC id = b.next_dc;
    b.next_dc = id == INT_MAX ? 1 : id + 1;
    b.dcs.emplace(id, std::move(dc));
    return id;
}

DeviceContext* find_dc(os::HDC hdc) {
    Backend* b = live();
    if (!b) return nullptr;
    auto found = b->dcs.find(hdc);
    return found == b->dcs.end() ? nullptr : &found->second;
}

void forget_window_dcs(os::HWND hwnd) {
    std::erase_if(live()->dcs, [hwnd](const auto& entry) {
        return entry.second.kind != DcKind::Image && entry.second.own && entry.second.hwnd == hwnd;
    });
}

NativeWindow* drawing_target(os::HDC hdc) {
    const DeviceContext* dc = find_dc(hdc);
    return dc && dc->kind == DcKind::Paint ? find_window(dc->hwnd) : nullptr;
}

}  // namespace x11

namespace os {
namespace {
// Pictures pass through buffers of this many pixels (32 KiB) a band of rows.
constexpr int kBandPixels = 8192;
}  // namespace

BOOL InvalidateRect(HWND hwnd, const RECT* rect) {
    x11::Backend* b = x11::live();
    if (!b) return FALSE;
    if (hwnd == 0) {  // every window, as Windows does for a null window
        for (auto& [handle, w] : b->windows) InvalidateRect(handle, rect);
        return TRUE;
    }
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w) return FALSE;
    const RECT whole{0, 0, w->width, w->height};
    const RECT r = x11::clip_to(rect ? *rect : whole, w->width, w->height);
    if (x11::is_empty(r)) return TRUE;
    w->invalid = w->has_invalid ? x11::unite(w->invalid, r) : r;
    w->has_invalid = true;
    return TRUE;
}

HDC BeginPaint(HWND hwnd, RECT* paint_rect) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w) return 0;
    if (!w->paint_dc) {
        x11::DeviceContext dc;
        dc.kind = x11::DcKind::Paint;
        dc.hwnd = hwnd;
        dc.own = true;
        dc.width = w->width;
        dc.height = w->height;
        w->paint_dc = x11::add_dc(std::move(dc));
        w->painting = {};
    }
    // Validated here, so that an InvalidateRect while painting asks again.
    if (w->has_invalid) w->painting = w->painting.right > w->painting.left ? x11::unite(w->painting, w->invalid) : w->invalid;
    w->has_invalid = false;
    if (paint_rect) *paint_rect = w->painting;
    return w->paint_dc;
}

BOOL EndPaint(HWND hwnd) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w || !w->paint_dc) return FALSE;
    x11::copy_to_window(*w, w->painting);
    x11::live()->dcs.erase(w->paint_dc);
    w->paint_dc = 0;
    w->painting = {};
    XFlush(x11::live()->dpy);
    return TRUE;
}

BOOL FillRect(HDC hdc, const RECT* rect, COLORREF colour) {
    x11::DeviceContext* dc = x11::find_dc(hdc);
    if (!dc || !rect) return FALSE;
    if (dc->kind == x11::DcKind::Image) {
        x11::fill_image(*dc, *rect, colour);
        return TRUE;
    }
    bool immediate = false;
    x11::NativeWindow* w = x11::writable_window(*dc, &immediate);
    if (!w) return FALSE;
    const RECT r = x11::clip_to(*rect, w->width, w->height);
    if (x11::is_empty(r)) return TRUE;
    x11::Backend& b = *x11::live();
    XSetForeground(b.dpy, b.gc, x11::pixel_of(colour));
    XFillRectangle(b.dpy, w->back, b.gc, r.left, r.top, static_cast<unsigned>(r.right - r.left),
                   static_cast<unsigned>(r.bottom - r.top));
    if (immediate) x11::copy_to_window(*w, r);
    return TRUE;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour) {
    x11::DeviceContext* dc = x11::find_dc(hdc);
    if (!dc) return CLR_INVALID;
    if (dc->kind == x11::DcKind::Image) {
        if (x < 0 || y < 0 || x >= dc->width || y >= dc->height) return CLR_INVALID;
        dc->pixels[static_cast<std::size_t>(y * dc->width + x)] = colour & 0xFFFFFF;
        return colour & 0xFFFFFF;
    }
    bool immediate = false;
    x11::NativeWindow* w = x11::writable_window(*dc, &immediate);
    if (!w || x < 0 || y < 0 || x >= w->width || y >= w->height) return CLR_INVALID;
    x11::Backend& b = *x11::live();
    XSetForeground(b.dpy, b.gc, x11::pixel_of(colour));
    XDrawPoint(b.dpy, w->back, b.gc, x, y);
    if (immediate) x11::copy_to_window(*w, {x, y, x + 1, y + 1});
    return colour & 0xFFFFFF;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    const x11::DeviceContext* dc = x11::find_dc(hdc);
    std::vector<COLORREF> pixel;
    if (!dc || !x11::read_dc(*dc, x, y, 1, 1, &pixel)) return CLR_INVALID;
    return pixel[0];
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop) {
    x11::DeviceContext* to = x11::find_dc(dest);
    const x11::DeviceContext* from = x11::find_dc(source);
    if (!to || !from || rop != SRCCOPY || width <= 0 || height <= 0) return FALSE;
    if (static_cast<std::size_t>(width) * static_cast<std::size_t>(height) > x11::kMaxImagePixels) return FALSE;
    // A picture is copied in bands of rows, so that it passes through a small
    // buffer instead of two copies of itself held at once. A copy that may
    // overlap itself (screen or window to window, an image onto itself) reads
    // everything before it writes.
    const bool separate = from->kind == x11::DcKind::Image && from != to;
    const int band = separate ? std::max(1, kBandPixels / width) : height;
    std::vector<COLORREF> pixels;
    for (int row = 0; row < height; row += band) {
        const int rows = std::min(band, height - row);
        if (!x11::read_dc(*from, sx, sy + row, width, rows, &pixels)) return FALSE;
        if (!x11::write_dc(*to, x, y + row, width, rows, pixels)) return FALSE;
    }
    return TRUE;
}

BOOL SetDIBitsToDevice(HDC hdc, int x, int y, int width, int height, const COLORREF* pixels, int stride) {
    x11::DeviceContext* to = x11::find_dc(hdc);
    if (!to || !pixels || width < 0 || height < 0 || stride < width) return FALSE;
    if (width == 0 || height == 0) return TRUE;
    if (static_cast<std::size_t>(width) * static_cast<std::size_t>(height) > x11::kMaxImagePixels) return FALSE;
    // In bands of rows, as BitBlt copies pictures: a small buffer at a time.
    const int band = std::max(1, kBandPixels / width);
    std::vector<COLORREF> rows;
    for (int row = 0; row < height; row += band) {
        const int count = std::min(band, height - row);
        rows.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(count));
        for (int r = 0; r < count; ++r)
            for (int col = 0; col < width; ++col)
                rows[static_cast<std::size_t>(r) * width + col] =
                    pixels[static_cast<std::size_t>(row + r) * stride + col] & 0xFFFFFF;
        if (!x11::write_dc(*to, x, y + row, width, count, rows)) return FALSE;
    }
    return TRUE;
}

HDC CreateImageDC(int width, int height, COLORREF fill) {
    if (!x11::live() || width <= 0 || height <= 0) return 0;
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (pixels > x11::kMaxImagePixels) return 0;
    x11::DeviceContext dc;
    dc.kind = x11::DcKind::Image;
    dc.width = width;
    dc.height = height;
    dc.pixels.assign(pixels, fill & 0xFFFFFF);
    return x11::add_dc(std::move(dc));
}

BOOL DeleteDC(HDC hdc) {
    x11::Backend* b = x11::live();
    const x11::DeviceContext* dc = x11::find_dc(hdc);
    if (!b || !dc || dc->kind != x11::DcKind::Image) return FALSE;
    b->dcs.erase(hdc);
    return TRUE;
}

BOOL ClearImageDC(HDC hdc, COLORREF fill) {
    x11::DeviceContext* dc = x11::find_dc(hdc);
    if (!dc || dc->kind != x11::DcKind::Image) return FALSE;
    std::fill(dc->pixels.begin(), dc->pixels.end(), fill & 0xFFFFFF);
    return TRUE;
}

}  // namespace os
