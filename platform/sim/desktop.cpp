// Windows, z-order, the composed screen, device contexts, painting, fonts and
// system menus of the simulated desktop. Messages and input live in
// desktop_input.cpp.
#include "platform/sim/desktop.h"

#include <algorithm>
#include <cstdlib>

namespace sim::detail {
namespace {

bool Contains(const os::RECT& r, int x, int y) {
    return x >= r.left && y >= r.top && x < r.right && y < r.bottom;
}

os::RECT Intersect(const os::RECT& a, const os::RECT& b) {
    os::RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
    if (r.right <= r.left || r.bottom <= r.top) return {};
    return r;
}

bool IsEmpty(const os::RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

os::RECT Union(const os::RECT& a, const os::RECT& b) {
    if (IsEmpty(a)) return b;
    if (IsEmpty(b)) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// Only plain 0x00BBGGRR values are drawable; anything with a high byte (a
// system colour the caller forgot to resolve, CLR_INVALID) would later read
// back as "no colour" or as garbage.
bool IsDrawable(os::COLORREF c) { return (static_cast<std::uint32_t>(c) & 0xFF000000u) == 0; }

std::vector<MenuItem> DefaultSystemMenu() {
    return {{os::MF_STRING, static_cast<os::UINT_PTR>(os::SC_RESTORE), "&Restore"},
            {os::MF_STRING, static_cast<os::UINT_PTR>(os::SC_MOVE), "&Move"},
            {os::MF_STRING, static_cast<os::UINT_PTR>(os::SC_SIZE), "&Size"},
            {os::MF_STRING, static_cast<os::UINT_PTR>(os::SC_MINIMIZE), "Mi&nimize"},
            {os::MF_STRING, static_cast<os::UINT_PTR>(os::SC_MAXIMIZE), "Ma&ximize"},
            {os::MF_SEPARATOR, 0, ""},
            {os::MF_STRING, static_cast<os::UINT_PTR>(os::SC_CLOSE), "&Close\tAlt+F4"}};
}

}  // namespace

// ---- Image ----------------------------------------------------------------

Image::Image(int w, int h, os::COLORREF fill)
    : width(std::max(w, 0)), height(std::max(h, 0)),
      pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill) {}

void Image::Fill(const os::RECT& r, os::COLORREF c) {
    const os::RECT clip = Intersect(r, {0, 0, width, height});
    for (int y = clip.top; y < clip.bottom; ++y)
        for (int x = clip.left; x < clip.right; ++x) Set(x, y, c);
}

void Image::Resize(int w, int h, os::COLORREF fill) {
    Image bigger(w, h, fill);
    for (int y = 0; y < std::min(height, bigger.height); ++y)
        for (int x = 0; x < std::min(width, bigger.width); ++x) bigger.Set(x, y, At(x, y));
    *this = std::move(bigger);
}

// ---- Desktop state ---------------------------------------------------------

// Starts as a default desktop so that a program run without a test's Reset
// still has a screen.
Desktop& TheDesktop() {
    static Desktop desktop = [] {
        Desktop d;
        d.Reset(1024, 768, 96);
        return d;
    }();
    return desktop;
}

void Desktop::Reset(int width, int height, int dpi) {
    *this = Desktop();
    m_background = Image(width, height, kDefaultDesktop);
    m_dpi = dpi;
}

os::COLORREF Desktop::ScreenPixel(int x, int y) const {
    if (!m_background.Contains(x, y)) return os::CLR_INVALID;
    for (auto it = m_zorder.rbegin(); it != m_zorder.rend(); ++it) {
        const Window& w = m_windows.at(*it);
        if (w.visible && !w.iconic && Contains(w.outer, x, y)) return WindowPixelAt(w, x, y);
    }
    return m_background.At(x, y);
}

os::COLORREF Desktop::WindowPixelAt(const Window& w, int x, int y) const {
    const os::RECT client = ClientRect(w);
    if (!Contains(client, x, y)) return kFrameColour;
    return w.back.At(x - client.left, y - client.top);
}

os::RECT Desktop::ClientRect(const Window& w) {
    if (!w.framed) return w.outer;
    return {w.outer.left + kFrameLeft, w.outer.top + kFrameTop, w.outer.right - kFrameRight,
            w.outer.bottom - kFrameBottom};
}

// ---- Windows ----------------------------------------------------------------

os::HWND Desktop::Create(const os::FormWindowSpec& request) {
    Window w;
    w.handle = m_next_window++;
    w.framed = request.framed;
    w.title = request.title ? request.title : "";
    const int cw = std::max(request.client_width, 0);
    const int ch = std::max(request.client_height, 0);
    const int extra_w = request.framed ? kFrameLeft + kFrameRight : 0;
    const int extra_h = request.framed ? kFrameTop + kFrameBottom : 0;
    w.outer = {request.x, request.y, request.x + cw + extra_w, request.y + ch + extra_h};
    w.restore_outer = w.outer;
    // An unresolved system colour cannot be drawn; keep its RGB bits rather
    // than storing a value that reads back as "no colour".
    w.background = static_cast<os::COLORREF>(static_cast<std::uint32_t>(request.background) & 0xFFFFFFu);
    w.back = Image(cw, ch, w.background);
    w.proc = reinterpret_cast<os::LONG_PTR>(request.proc);
    if (w.proc) m_known_procs.insert(w.proc);
    const os::HWND h = w.handle;
    m_windows.emplace(h, std::move(w));
    PlaceInZOrder(h, 0);
    return h;
}

os::HWND Desktop::CreateForeign(const os::RECT& outer, os::COLORREF fill, bool topmost) {
    Window w;
    w.handle = m_next_window++;
    w.foreign = true;
    w.visible = true;
    w.topmost = topmost;
    w.outer = outer;
    w.restore_outer = outer;
    w.background = fill;
    w.back = Image(outer.right - outer.left, outer.bottom - outer.top, fill);
    const os::HWND h = w.handle;
    m_windows.emplace(h, std::move(w));
    PlaceInZOrder(h, 0);
    return h;
}

Window* Desktop::Find(os::HWND hwnd) {
    auto it = m_windows.find(hwnd);
    return it == m_windows.end() ? nullptr : &it->second;
}

const Window* Desktop::Find(os::HWND hwnd) const {
    auto it = m_windows.find(hwnd);
    return it == m_windows.end() ? nullptr : &it->second;
}

// Z-order bands: every topmost window lies above every other one. `after` is
// HWND_TOPMOST, HWND_NOTOPMOST, 0 (top of the window's own band) or a window
// to go directly below.
void Desktop::PlaceInZOrder(os::HWND hwnd, os::HWND after) {
    Window& w = m_windows.at(hwnd);
    std::erase(m_zorder, hwnd);
    if (after == os::HWND_TOPMOST) w.topmost = true;
    if (after == os::HWND_NOTOPMOST) w.topmost = false;
    if (after > 0) {
        w.topmost = m_windows.at(after).topmost;
        m_zorder.insert(std::find(m_zorder.begin(), m_zorder.end(), after), hwnd);
        return;
    }
    if (w.topmost) {
        m_zorder.push_back(hwnd);
        return;
    }
    auto first_topmost = std::find_if(m_zorder.begin(), m_zorder.end(),
                                      [this](os::HWND z) { return m_windows.at(z).topmost; });
    m_zorder.insert(first_topmost, hwnd);
}

bool Desktop::Destroy(os::HWND hwnd) {
    Window* w = Find(hwnd);
    // A WM_DESTROY handler that destroys its own window again must not recurse.
    if (!w || w->destroying) return false;
    w->destroying = true;
    // The window goes even when its WM_DESTROY handler throws.
    struct RemoveOnExit {
        Desktop& desktop;
        os::HWND hwnd;
        ~RemoveOnExit() { desktop.Remove(hwnd); }
    } remove{*this, hwnd};
    if (!w->foreign) Send(hwnd, os::WM_DESTROY, 0, 0);
    return true;
}

void Desktop::Remove(os::HWND hwnd) {
    Window* w = Find(hwnd);
    if (!w) return;
    m_menus.erase(w->menu);
    m_windows.erase(hwnd);
    std::erase(m_zorder, hwnd);
    std::erase_if(m_timers, [hwnd](const Timer& t) { return t.hwnd == hwnd; });
    std::erase_if(m_posted, [hwnd](const os::MSG& m) { return m.hwnd == hwnd; });
    if (m_capture == hwnd) m_capture = 0;
    if (m_drag && m_drag->hwnd == hwnd) m_drag.reset();
    if (m_foreground == hwnd) {
        m_foreground = 0;
        PickNewForeground();
    }
}

// As Windows activates the next window when the active one goes away.
void Desktop::PickNewForeground() {
    for (auto it = m_zorder.rbegin(); it != m_zorder.rend(); ++it) {
        const Window& w = m_windows.at(*it);
        if (!w.foreign && w.visible && !w.iconic && *it != m_foreground) {
            SetForeground(*it);
            return;
        }
    }
    SetForeground(0);
}

bool Desktop::SetForeground(os::HWND hwnd) {
    if (hwnd != 0 && !Find(hwnd)) return false;
    const os::HWND old = m_foreground;
    if (old == hwnd) return true;
    m_foreground = hwnd;
    if (const Window* o = Find(old); o && !o->foreign) Send(old, os::WM_KILLFOCUS, hwnd, 0);
    if (const Window* n = Find(hwnd); n && !n->foreign) Send(hwnd, os::WM_SETFOCUS, old, 0);
    return true;
}

// One case per show command: the state changes differ enough between them
// that a table would hide more than it saves.
bool Desktop::Show(os::HWND hwnd, int command) {
    Window* w = Find(hwnd);
    if (!w) return false;
    const bool was_visible = w->visible;
    switch (command) {
        case os::SW_HIDE:
            w->visible = false;
            if (m_foreground == hwnd) PickNewForeground();
            return was_visible;
        case os::SW_MINIMIZE:
        case os::SW_SHOWMINIMIZED:
            w->visible = true;
            w->iconic = true;
            if (m_foreground == hwnd) PickNewForeground();
            return was_visible;
        case os::SW_MAXIMIZE:
            if (!w->zoomed) w->restore_outer = w->outer;
            w->visible = true;
            w->iconic = false;
            w->zoomed = true;
            MoveWindow(*w, {0, 0, ScreenWidth(), ScreenHeight()});
            break;
        case os::SW_SHOWNORMAL:
        case os::SW_RESTORE:
            w->visible = true;
            w->iconic = false;
            if (w->zoomed) MoveWindow(*w, w->restore_outer);
            w->zoomed = false;
            break;
        case os::SW_SHOW:
            w->visible = true;
            break;
        default:
            return was_visible;
    }
    // A window coming out of hiding has nothing valid on screen yet.
    if (!was_visible && !w->foreign) Invalidate(hwnd, nullptr);
    SetForeground(hwnd);
    return was_visible;
}

bool Desktop::SetPos(os::HWND hwnd, os::HWND after, int x, int y, int cx, int cy,
                     os::UINT flags) {
    Window* w = Find(hwnd);
    if (!w) return false;
    const bool reorder = !(flags & os::SWP_NOZORDER) && after != hwnd;
    if (reorder && after > 0 && !Find(after)) return false;
    os::RECT outer = w->outer;
    if (!(flags & os::SWP_NOMOVE)) outer = {x, y, x + outer.right - outer.left, y + outer.bottom - outer.top};
    if (!(flags & os::SWP_NOSIZE)) {
        const int min_w = w->framed ? kFrameLeft + kFrameRight : 0;
        const int min_h = w->framed ? kFrameTop + kFrameBottom : 0;
        outer.right = outer.left + std::max(cx, min_w);
        outer.bottom = outer.top + std::max(cy, min_h);
    }
    if (reorder) PlaceInZOrder(hwnd, after);
    MoveWindow(*w, outer);
    return true;
}

// Moves and sizes a window; a new size repaints the whole client area, a new
// position tells the window with WM_MOVE as Windows does.
void Desktop::MoveWindow(Window& w, const os::RECT& outer) {
    const os::RECT old = w.outer;
    w.outer = outer;
    const os::RECT client = ClientRect(w);
    const int cw = client.right - client.left;
    const int ch = client.bottom - client.top;
    const os::HWND h = w.handle;
    if (cw != w.back.width || ch != w.back.height) {
        w.back.Resize(cw, ch, w.background);
        if (!w.foreign) Invalidate(h, nullptr);
    }
    if (!w.foreign && (old.left != outer.left || old.top != outer.top))
        Send(h, os::WM_MOVE, 0, os::MAKELPARAM(client.left, client.top));
}

os::HWND Desktop::TopWindowAt(os::POINT p) const {
    for (auto it = m_zorder.rbegin(); it != m_zorder.rend(); ++it) {
        const Window& w = m_windows.at(*it);
        if (w.visible && !w.iconic && Contains(w.outer, p.x, p.y)) return *it;
    }
    return 0;
}

// ---- Device contexts ---------------------------------------------------------

os::HDC Desktop::NewDc(DeviceContext dc) {
    const os::HDC h = m_next_dc++;
    m_dcs.emplace(h, std::move(dc));
    return h;
}

DeviceContext* Desktop::FindDc(os::HDC hdc) {
    auto it = m_dcs.find(hdc);
    return it == m_dcs.end() ? nullptr : &it->second;
}

bool Desktop::FreeDc(os::HDC hdc) { return m_dcs.erase(hdc) > 0; }

int Desktop::OpenWindowDcs() const {
    return static_cast<int>(std::count_if(m_dcs.begin(), m_dcs.end(), [](const auto& e) {
        return e.second.kind == DcKind::Window || e.second.kind == DcKind::Screen;
    }));
}

// A window DC sees what the screen shows over the window's client area, so a
// window covered by another reads the other window's pixels.
os::COLORREF Desktop::ReadWindowDcPixel(os::HWND hwnd, int x, int y) const {
    const Window* w = Find(hwnd);
    if (!w || !w->visible || w->iconic) return os::CLR_INVALID;
    if (!w->back.Contains(x, y)) return os::CLR_INVALID;
    const os::RECT client = ClientRect(*w);
    return ScreenPixel(client.left + x, client.top + y);
}

os::COLORREF Desktop::ReadPixel(os::HDC hdc, int x, int y) {
    const DeviceContext* dc = FindDc(hdc);
    if (!dc) return os::CLR_INVALID;
    switch (dc->kind) {
        case DcKind::Screen:
            return ScreenPixel(x, y);
        case DcKind::Window:
            return ReadWindowDcPixel(dc->hwnd, x, y);
        case DcKind::Image:
            return dc->image.Contains(x, y) ? dc->image.At(x, y) : os::CLR_INVALID;
        case DcKind::Paint: {
            const Window* w = Find(dc->hwnd);
            return w && w->back.Contains(x, y) ? w->back.At(x, y) : os::CLR_INVALID;
        }
    }
    return os::CLR_INVALID;
}

// The pixels a DC draws into: an image DC's own image, or the back buffer of
// the window a window or paint DC belongs to. The screen DC draws nowhere.
Image* Desktop::TargetImage(os::HDC hdc) {
    DeviceContext* dc = FindDc(hdc);
    if (!dc) return nullptr;
    if (dc->kind == DcKind::Image) return &dc->image;
    if (dc->kind == DcKind::Screen) return nullptr;
    Window* w = Find(dc->hwnd);
    return w ? &w->back : nullptr;
}

bool Desktop::WritePixel(os::HDC hdc, int x, int y, os::COLORREF c) {
    Image* image = TargetImage(hdc);
    if (!image || !image->Contains(x, y) || !IsDrawable(c)) return false;
    image->Set(x, y, c);
    return true;
}

bool Desktop::FillDc(os::HDC hdc, const os::RECT& r, os::COLORREF c) {
    Image* image = TargetImage(hdc);
    if (!image || !IsDrawable(c)) return false;
    image->Fill(r, c);
    return true;
}

// Reads the whole source first: a copy with any unreadable pixel copies
// nothing and fails, so a failed copy never leaves half an image behind.
bool Desktop::Blt(os::HDC dest, int x, int y, int w, int h, os::HDC src, int sx, int sy) {
    Image* target = TargetImage(dest);
    if (!target || !FindDc(src) || w < 0 || h < 0) return false;
    Image copy(w, h, 0);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const os::COLORREF c = ReadPixel(src, sx + i, sy + j);
            if (c == os::CLR_INVALID) return false;
            copy.Set(i, j, c);
        }
    target = TargetImage(dest);  // reading cannot move it, but stay honest
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            if (target->Contains(x + i, y + j)) target->Set(x + i, y + j, copy.At(i, j));
    return true;
}

bool Desktop::PutPixels(os::HDC dest, int x, int y, int w, int h, const os::COLORREF* pixels, int stride) {
    Image* target = TargetImage(dest);
    if (!target || !pixels || w < 0 || h < 0 || stride < w) return false;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            if (target->Contains(x + i, y + j))
                target->Set(x + i, y + j, pixels[static_cast<std::size_t>(j) * stride + i] & 0xFFFFFF);
    return true;
}

// ---- Painting -------------------------------------------------------------------

bool Desktop::Invalidate(os::HWND hwnd, const os::RECT* rect) {
    Window* w = Find(hwnd);
    if (!w) return false;
    const os::RECT all{0, 0, w->back.width, w->back.height};
    const os::RECT area = rect ? Intersect(*rect, all) : all;
    if (IsEmpty(area)) return true;
    w->invalid = Union(w->invalid.value_or(os::RECT{}), area);
    return true;
}

os::HDC Desktop::BeginPaint(os::HWND hwnd, os::RECT* paint_rect) {
    Window* w = Find(hwnd);
    if (!w) return 0;
    const os::RECT area = w->invalid.value_or(os::RECT{});
    w->invalid.reset();
    if (paint_rect) *paint_rect = area;
    if (w->paint_dc) FreeDc(w->paint_dc);
    ++m_paints_begun;
    DeviceContext dc;
    dc.kind = DcKind::Paint;
    dc.hwnd = hwnd;
    const os::HDC h = NewDc(std::move(dc));
    m_windows.at(hwnd).paint_dc = h;
    return h;
}

bool Desktop::EndPaint(os::HWND hwnd) {
    Window* w = Find(hwnd);
    if (!w || !w->paint_dc) return false;
    FreeDc(w->paint_dc);
    w->paint_dc = 0;
    return true;
}

// Text is recorded, not rasterised: pixel checks stay exact whatever font a
// host would have used.
bool Desktop::DrawText(os::HDC hdc, const char* text, const os::RECT& r, os::COLORREF colour) {
    DeviceContext* dc = FindDc(hdc);
    if (!dc || !text) return false;
    if (dc->kind == DcKind::Window || dc->kind == DcKind::Paint) {
        Window* w = Find(dc->hwnd);
        if (!w) return false;
        w->texts.push_back({text, r, colour});
    }
    return dc->kind != DcKind::Screen;
}

os::HFONT Desktop::NewFont(int height, int weight) {
    Font f;
    f.height = height == 0 ? kDefaultFontHeight : std::abs(height);
    f.weight = weight;
    const os::HFONT h = m_next_font++;
    m_fonts.emplace(h, f);
    return h;
}

const Font* Desktop::FindFont(os::HFONT font) const {
    static const Font kDefault;
    if (font == 0) return &kDefault;
    auto it = m_fonts.find(font);
    return it == m_fonts.end() ? nullptr : &it->second;
}

// ---- System menus ------------------------------------------------------------------

os::HMENU Desktop::SystemMenu(os::HWND hwnd, bool revert) {
    Window* w = Find(hwnd);
    if (!w) return 0;
    if (w->menu == 0) {
        w->menu = m_next_menu++;
        m_menus[w->menu] = DefaultSystemMenu();
    }
    if (!revert) return w->menu;
    m_menus[w->menu] = DefaultSystemMenu();
    return 0;  // as Windows: a revert hands back no menu
}

std::vector<MenuItem>* Desktop::FindMenu(os::HMENU menu) {
    auto it = m_menus.find(menu);
    return it == m_menus.end() ? nullptr : &it->second;
}

bool Desktop::RemoveMenuItem(os::HMENU menu, os::UINT position, os::UINT flags) {
    std::vector<MenuItem>* items = FindMenu(menu);
    if (!items) return false;
    if (flags & os::MF_BYPOSITION) {
        if (position >= items->size()) return false;
        items->erase(items->begin() + static_cast<std::ptrdiff_t>(position));
        return true;
    }
    auto it = std::find_if(items->begin(), items->end(), [position](const MenuItem& m) {
        return !(m.flags & os::MF_SEPARATOR) && m.id == position;
    });
    if (it == items->end()) return false;
    items->erase(it);
    return true;
}

}  // namespace sim::detail
