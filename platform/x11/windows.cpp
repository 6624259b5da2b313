// X11 backend: native windows.
//
// Supports:
//   [x] top-level windows placed by their frame's top-left corner
//       (USPosition + NorthWestGravity), fixed client size
//   [x] borderless windows through Motif hints
//   [x] close button (WM_DELETE_WINDOW), WM_CLASS, _NET_WM_NAME, _NET_WM_PID
//   [x] topmost through _NET_WM_STATE_ABOVE, before and after mapping
//   [x] outer rectangle from a geometry cache (no round trip to read it)
//   [x] show, hide, iconify, maximise; WM_STATE for IsIconic
//   [x] removing a window shape; pointer shapes; _NET_WM_ICON
//   [x] window procedures held at pointer width (GWL_WNDPROC)
// Not supported:
//   [ ] window regions other than "none"
//   [ ] child windows: every window is a top-level window
//   [ ] window longs other than GWL_WNDPROC
#include <X11/cursorfont.h>
#include <X11/extensions/shape.h>
#include <unistd.h>

#include <algorithm>

#include "platform/x11/backend.h"

namespace x11 {
namespace {

constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask |
                            PointerMotionMask | KeyPressMask | KeyReleaseMask |
                            StructureNotifyMask | PropertyChangeMask | FocusChangeMask |
                            VisibilityChangeMask;

os::HWND hwnd_of(::Window xid) { return static_cast<os::HWND>(xid); }

void set_size_hints(Backend& b, const NativeWindow& w) {
    XSizeHints hints{};
    hints.flags = USPosition | PPosition | PMinSize | PMaxSize | PWinGravity;
    hints.x = w.outer_x;
    hints.y = w.outer_y;
    hints.min_width = hints.max_width = w.width;
    hints.min_height = hints.max_height = w.height;
    hints.win_gravity = NorthWestGravity;
    XSetWMNormalHints(b.dpy, w.xid, &hints);
}

void set_borderless(Backend& b, ::Window xid) {
    // flags = decorations only, decorations = none
    const long hints[5] = {2, 0, 0, 0, 0};
    XChangeProperty(b.dpy, xid, b.atoms.motif_wm_hints, b.atoms.motif_wm_hints, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(hints), 5);
}

void set_identity(Backend& b, ::Window xid) {
    XClassHint class_hint{const_cast<char*>("pixometer"), const_cast<char*>("Pixometer")};
    XSetClassHint(b.dpy, xid, &class_hint);
    Atom protocols[] = {b.atoms.wm_delete_window};
    XSetWMProtocols(b.dpy, xid, protocols, 1);
    const long pid = static_cast<long>(getpid());
    XChangeProperty(b.dpy, xid, b.atoms.net_wm_pid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) {
        XChangeProperty(b.dpy, xid, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(host),
                        static_cast<int>(std::string(host).size()));
    }
    XWMHints wm_hints{};
    wm_hints.flags = InputHint | StateHint;
    wm_hints.input = True;
    wm_hints.initial_state = NormalState;
    XSetWMHints(b.dpy, xid, &wm_hints);
}

void set_title(Backend& b, NativeWindow& w, const char* text) {
    w.title = to_utf8(text ? text : "", text ? std::char_traits<char>::length(text) : 0);
    const auto* bytes = reinterpret_cast<const unsigned char*>(w.title.c_str());
    const int length = static_cast<int>(w.title.size());
    XChangeProperty(b.dpy, w.xid, b.atoms.net_wm_name, b.atoms.utf8_string, 8, PropModeReplace,
                    bytes, length);
    XChangeProperty(b.dpy, w.xid, XA_WM_NAME, b.atoms.utf8_string, 8, PropModeReplace, bytes,
                    length);
}

// The _NET_WM_STATE a withdrawn window starts with once it is mapped.
void write_initial_state(Backend& b, const NativeWindow& w) {
    std::vector<Atom> state;
    if (w.topmost) state.push_back(b.atoms.net_wm_state_above);
    if (w.maximized) {
        state.push_back(b.atoms.net_wm_state_max_vert);
        state.push_back(b.atoms.net_wm_state_max_horz);
    }
    if (w.modal) state.push_back(b.atoms.net_wm_state_modal);
    XChangeProperty(b.dpy, w.xid, b.atoms.net_wm_state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(state.data()),
                    static_cast<int>(state.size()));
}

void create_back_buffer(Backend& b, NativeWindow& w) {
    const auto width = static_cast<unsigned>(std::max(w.width, 1));
    const auto height = static_cast<unsigned>(std::max(w.height, 1));
    w.back = XCreatePixmap(b.dpy, w.xid, width, height, static_cast<unsigned>(b.depth));
    XSetForeground(b.dpy, b.gc, w.background);
    XFillRectangle(b.dpy, w.back, b.gc, 0, 0, width, height);
    w.draw = XftDrawCreate(b.dpy, w.back, b.visual, b.colormap);
}

void apply_options(Backend& b, NativeWindow& w, const WindowOptions& options) {
    if (options.transient_for) {
        if (const NativeWindow* owner = find_window(options.transient_for)) {
            XSetTransientForHint(b.dpy, w.xid, owner->xid);
            w.topmost = owner->topmost;  // stay above an owner that floats
        }
    }
    if (options.window_type) {
        XChangeProperty(b.dpy, w.xid, b.atoms.net_wm_window_type, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&options.window_type), 1);
    }
    w.modal = options.modal;
    write_initial_state(b, w);
}

void send_state_message(Backend& b, const NativeWindow& w, bool add, Atom first, Atom second) {
    send_to_root(w.xid, b.atoms.net_wm_state, add ? 1 : 0, static_cast<long>(first),
                 static_cast<long>(second), 1, 0);
}

void activate(Backend& b, const NativeWindow& w) {
    if (wm_supports(b.atoms.net_active_window)) {
        send_to_root(w.xid, b.atoms.net_active_window, 1, CurrentTime, 0, 0, 0);
    } else {
        XRaiseWindow(b.dpy, w.xid);
        XSetInputFocus(b.dpy, w.xid, RevertToParent, CurrentTime);
    }
}

void map_window(Backend& b, NativeWindow& w, int initial_state) {
    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = True;
    hints.initial_state = initial_state;
    XSetWMHints(b.dpy, w.xid, &hints);
    write_initial_state(b, w);
    XMapWindow(b.dpy, w.xid);
    if (w.topmost) XRaiseWindow(b.dpy, w.xid);
    w.shown = true;
}

void show_normal(Backend& b, NativeWindow& w, bool restore) {
    if (!w.shown) {
        map_window(b, w, NormalState);
    } else if (!restore) {
        return;  // SW_SHOW leaves a minimised window minimised, as on Windows
    } else if (w.iconic) {
        XMapWindow(b.dpy, w.xid);  // Iconic -> Normal, as the ICCCM asks
        activate(b, w);
    } else if (w.maximized) {
        request_state(w, false, b.atoms.net_wm_state_max_vert, b.atoms.net_wm_state_max_horz);
    }
}

void minimise(Backend& b, NativeWindow& w) {
    if (w.shown) {
        XIconifyWindow(b.dpy, w.xid, b.screen);
    } else {
        map_window(b, w, IconicState);
    }
}

void maximise(Backend& b, NativeWindow& w) {
    if (w.shown) {
        request_state(w, true, b.atoms.net_wm_state_max_vert, b.atoms.net_wm_state_max_horz);
        if (w.iconic) XMapWindow(b.dpy, w.xid);
    } else {
        w.maximized = true;
        map_window(b, w, NormalState);
    }
}

void set_topmost(Backend& b, NativeWindow& w, bool topmost) {
    w.topmost = topmost;
    if (w.shown) {
        send_state_message(b, w, topmost, b.atoms.net_wm_state_above, 0);
    } else {
        write_initial_state(b, w);
    }
    // Without a window manager nobody keeps it on top but us.
    if (topmost) XRaiseWindow(b.dpy, w.xid);
}

void move_outer(Backend& b, NativeWindow& w, int x, int y) {
    // The protocol carries positions as 16-bit values: a far-off position
    // (a hand-edited store, say) stops at the edge of that range instead of
    // wrapping round to the other side.
    x = std::clamp(x, -32768, 32767);
    y = std::clamp(y, -32768, 32767);
    w.outer_x = x;
    w.outer_y = y;
    set_size_hints(b, w);
    // With NorthWestGravity the window manager reads this as the frame's
    // top-left corner; without one it is the window's own position.
    XMoveWindow(b.dpy, w.xid, x, y);
}

Cursor cursor_for(Backend& b, int cursor_id) {
    auto found = b.cursors.find(cursor_id);
    if (found != b.cursors.end()) return found->second;
    const Cursor cursor = XCreateFontCursor(b.dpy, XC_crosshair);
    b.cursors.emplace(cursor_id, cursor);
    return cursor;
}

void free_window(Backend& b, os::HWND hwnd) {
    auto found = b.windows.find(hwnd);
    if (found == b.windows.end()) return;
    NativeWindow& w = *found->second;
    if (b.capture == hwnd) {
        XUngrabPointer(b.dpy, CurrentTime);
        b.capture = 0;
    }
    if (b.focus == hwnd) b.focus = 0;
    forget_window(hwnd);
    forget_window_dcs(hwnd);
    forget_window_menu(hwnd);
    if (w.draw) XftDrawDestroy(w.draw);
    if (w.back) XFreePixmap(b.dpy, w.back);
    XDestroyWindow(b.dpy, w.xid);
    b.windows.erase(found);
    XFlush(b.dpy);
}

}  // namespace

NativeWindow* find_window(os::HWND hwnd) {
    Backend* b = live();
    if (!b || hwnd == 0) return nullptr;
    auto found = b->windows.find(hwnd);
    return found == b->windows.end() ? nullptr : found->second.get();
}

os::HWND handle_of(::Window xid) { return hwnd_of(xid); }

os::POINT client_origin(const NativeWindow& w) {
    if (!w.reparented) return {w.outer_x, w.outer_y};
    return {w.outer_x + w.extents.left, w.outer_y + w.extents.top};
}

os::HWND create_window(const os::FormWindowSpec& form, const WindowOptions& options) {
    Backend* b = live();
    if (!b) return 0;
    auto w = std::make_unique<NativeWindow>();
    w->proc = reinterpret_cast<os::LONG_PTR>(form.proc);
    w->framed = form.framed && !options.override_redirect;
    w->popup = options.override_redirect;
    w->width = std::max(form.client_width, 1);
    w->height = std::max(form.client_height, 1);
    w->outer_x = form.x;
    w->outer_y = form.y;
    w->background = pixel_of(form.background);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = w->background;
    attributes.event_mask = kEventMask;
    attributes.override_redirect = options.override_redirect ? True : False;
    attributes.save_under = options.override_redirect ? True : False;
    w->xid = XCreateWindow(b->dpy, b->root, form.x, form.y, static_cast<unsigned>(w->width),
                           static_cast<unsigned>(w->height), 0, b->depth, InputOutput, b->visual,
                           CWBackPixel | CWEventMask | CWOverrideRedirect | CWSaveUnder,
                           &attributes);
    if (!w->xid) return 0;
    set_size_hints(*b, *w);
    set_identity(*b, w->xid);
    if (!w->framed) set_borderless(*b, w->xid);
    set_title(*b, *w, form.title);
    apply_options(*b, *w, options);
    create_back_buffer(*b, *w);
    if (w->framed && wm_supports(b->atoms.net_request_frame_extents)) {
        send_to_root(w->xid, b->atoms.net_request_frame_extents, 0, 0, 0, 0, 0);
    }
    w->has_invalid = true;
    w->invalid = {0, 0, w->width, w->height};
    const os::HWND hwnd = hwnd_of(w->xid);
    b->windows[hwnd] = std::move(w);
    return hwnd;
}

void read_wm_state(NativeWindow& w) {
    Backend& b = *live();
    const auto state = read_property32(b, w.xid, b.atoms.wm_state, b.atoms.wm_state, 2);
    w.iconic = !state.empty() && state[0] == IconicState;
}

void read_net_wm_state(NativeWindow& w) {
    Backend& b = *live();
    const std::vector<unsigned long> state = read_property32(b, w.xid, b.atoms.net_wm_state, XA_ATOM, 64);
    auto has = [&state](Atom atom) { return std::find(state.begin(), state.end(), atom) != state.end(); };
    w.maximized = has(b.atoms.net_wm_state_max_vert) && has(b.atoms.net_wm_state_max_horz);
    // While a window manager runs it owns the property; while the window is
    // withdrawn the property is only what we wrote ourselves.
    if (w.reparented) w.topmost = has(b.atoms.net_wm_state_above);
}

void read_frame_extents(NativeWindow& w) {
    Backend& b = *live();
    const auto values = read_property32(b, w.xid, b.atoms.net_frame_extents, XA_CARDINAL, 4);
    w.extents = {};
    if (values.size() != 4) return;
    auto side = [](unsigned long value) { return static_cast<int>(static_cast<long>(value)); };
    w.extents = {side(values[0]), side(values[1]), side(values[2]), side(values[3])};
}

// Asks the server where the client area really is (after a reparent or a
// frame change; both are rare, so the round trip does not matter).
void refresh_position(NativeWindow& w) {
    Backend& b = *live();
    int x = 0, y = 0;
    ::Window child = 0;
    if (!XTranslateCoordinates(b.dpy, w.xid, b.root, 0, 0, &x, &y, &child)) return;
    if (w.reparented) {
        w.outer_x = x - w.extents.left;
        w.outer_y = y - w.extents.top;
    } else {
        w.outer_x = x;
        w.outer_y = y;
    }
}

void resize_client(NativeWindow& w, int width, int height) {
    Backend& b = *live();
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (width == w.width && height == w.height) return;
    const Pixmap old_back = w.back;
    XftDraw* old_draw = w.draw;
    const int old_width = w.width, old_height = w.height;
    w.width = width;
    w.height = height;
    create_back_buffer(b, w);
    XCopyArea(b.dpy, old_back, w.back, b.gc, 0, 0, static_cast<unsigned>(old_width),
              static_cast<unsigned>(old_height), 0, 0);
    XftDrawDestroy(old_draw);
    XFreePixmap(b.dpy, old_back);
    w.has_invalid = true;
    w.invalid = {0, 0, width, height};
}

void copy_to_window(NativeWindow& w, const os::RECT& rect) {
    Backend& b = *live();
    const int left = std::max(rect.left, 0), top = std::max(rect.top, 0);
    const int right = std::min(rect.right, w.width), bottom = std::min(rect.bottom, w.height);
    if (right <= left || bottom <= top) return;
    XCopyArea(b.dpy, w.back, w.xid, b.gc, left, top, static_cast<unsigned>(right - left),
              static_cast<unsigned>(bottom - top), left, top);
}

void request_state(NativeWindow& w, bool add, Atom first, Atom second) {
    send_state_message(*live(), w, add, first, second);
}

}  // namespace x11

namespace os {

HWND CreateFormWindow(const FormWindowSpec& form) { return x11::create_window(form, {}); }

BOOL DestroyWindow(HWND hwnd) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w || w->destroying) return FALSE;
    w->destroying = true;
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    x11::free_window(*x11::live(), hwnd);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) { return x11::find_window(hwnd) ? TRUE : FALSE; }

BOOL ShowWindow(HWND hwnd, int command) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w) return FALSE;
    x11::Backend& b = *x11::live();
    const BOOL was_visible = w->shown ? TRUE : FALSE;
    switch (command) {
        case SW_HIDE:
            if (w->shown) XWithdrawWindow(b.dpy, w->xid, b.screen);
            w->shown = false;
            break;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
            x11::minimise(b, *w);
            break;
        case SW_MAXIMIZE:
            x11::maximise(b, *w);
            break;
        default:
            x11::show_normal(b, *w, command == SW_RESTORE || command == SW_SHOWNORMAL);
            break;
    }
    XFlush(b.dpy);
    return was_visible;
}

BOOL IsWindowVisible(HWND hwnd) {
    const x11::NativeWindow* w = x11::find_window(hwnd);
    return w && w->shown ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd) {
    const x11::NativeWindow* w = x11::find_window(hwnd);
    return w && w->iconic ? TRUE : FALSE;
}

BOOL IsZoomed(HWND hwnd) {
    const x11::NativeWindow* w = x11::find_window(hwnd);
    return w && w->maximized ? TRUE : FALSE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    const x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w || !rect) return FALSE;
    const x11::Extents e = w->reparented ? w->extents : x11::Extents{};
    rect->left = w->outer_x;
    rect->top = w->outer_y;
    rect->right = w->outer_x + e.left + w->width + e.right;
    rect->bottom = w->outer_y + e.top + w->height + e.bottom;
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    const x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w || !rect) return FALSE;
    *rect = {0, 0, w->width, w->height};
    return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w) return FALSE;
    x11::Backend& b = *x11::live();
    if (!(flags & SWP_NOZORDER)) {
        if (insert_after == HWND_TOPMOST || insert_after == HWND_NOTOPMOST) {
            x11::set_topmost(b, *w, insert_after == HWND_TOPMOST);
        } else if (insert_after == 0) {
            XRaiseWindow(b.dpy, w->xid);
        }
    }
    if (!(flags & SWP_NOSIZE)) {
        // cx, cy are outer sizes; the frame keeps its own thickness.
        const x11::Extents e = w->reparented ? w->extents : x11::Extents{};
        x11::resize_client(*w, cx - e.left - e.right, cy - e.top - e.bottom);
        x11::set_size_hints(b, *w);
        XResizeWindow(b.dpy, w->xid, static_cast<unsigned>(w->width),
                      static_cast<unsigned>(w->height));
    }
    if (!(flags & SWP_NOMOVE)) x11::move_outer(b, *w, x, y);
    XFlush(b.dpy);
    return TRUE;
}

BOOL SetWindowRgn(HWND hwnd, int region, BOOL redraw) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w || region != 0) return FALSE;
    x11::Backend& b = *x11::live();
    if (b.has_shape) XShapeCombineMask(b.dpy, w->xid, ShapeBounding, 0, 0, None, ShapeSet);
    if (redraw) InvalidateRect(hwnd, nullptr);
    return TRUE;
}

BOOL SetWindowTextA(HWND hwnd, const char* text) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w) return FALSE;
    x11::set_title(*x11::live(), *w, text);
    return TRUE;
}

BOOL SetForegroundWindow(HWND hwnd) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w) return FALSE;
    x11::activate(*x11::live(), *w);
    XFlush(x11::live()->dpy);
    return TRUE;
}

HWND GetForegroundWindow() {
    x11::Backend* b = x11::live();
    if (!b) return 0;
    if (b->focus) return b->focus;
    const auto active = x11::read_property32(*b, b->root, b->atoms.net_active_window, XA_WINDOW, 1);
    return active.size() == 1 ? static_cast<HWND>(active[0]) : 0;
}

BOOL SetWindowCursor(HWND hwnd, int cursor_id) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w || (cursor_id != IDC_ARROW && cursor_id != IDC_CROSS)) return FALSE;
    if (w->cursor_id == cursor_id) return TRUE;
    x11::Backend& b = *x11::live();
    // The arrow is the desktop's own pointer, which a window without a cursor
    // of its own shows. Only other shapes are made, which also leaves the
    // cursor-theme library unloaded until one is needed.
    if (cursor_id == IDC_ARROW) XUndefineCursor(b.dpy, w->xid);
    else XDefineCursor(b.dpy, w->xid, x11::cursor_for(b, cursor_id));
    w->cursor_id = cursor_id;
    return TRUE;
}

BOOL SetWindowIcon(HWND hwnd, const IconImage* images, int count) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w || (count > 0 && !images)) return FALSE;
    x11::Backend& b = *x11::live();
    std::vector<long> data;  // format-32 properties travel as longs
    for (int i = 0; i < count; ++i) {
        const IconImage& image = images[i];
        if (image.size <= 0 || image.size > 1024 || !image.argb) continue;
        data.push_back(image.size);
        data.push_back(image.size);
        const auto pixels = static_cast<std::size_t>(image.size) * static_cast<std::size_t>(image.size);
        for (std::size_t p = 0; p < pixels; ++p) data.push_back(static_cast<long>(image.argb[p]));
    }
    if (data.empty()) {
        XDeleteProperty(b.dpy, w->xid, b.atoms.net_wm_icon);
    } else {
        XChangeProperty(b.dpy, w->xid, b.atoms.net_wm_icon, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(data.data()),
                        static_cast<int>(data.size()));
    }
    return TRUE;
}

LONG_PTR SetWindowLongA(HWND hwnd, int index, LONG_PTR value) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w || index != GWL_WNDPROC) return 0;
    const LONG_PTR previous = w->proc;
    w->proc = value;
    return previous;
}

LONG_PTR GetWindowLongA(HWND hwnd, int index) {
    const x11::NativeWindow* w = x11::find_window(hwnd);
    return w && index == GWL_WNDPROC ? w->proc : 0;
}

}  // namespace os
