// X11 backend: the display connection.
//
// Supports:
//   [x] one connection for the whole process, opened by StartUp
//   [x] "cannot open display" when no X server answers; a busy server that
//       turns the connection away for a moment is asked again
//   [x] X errors never end the process (windows vanish between two calls)
//   [x] a lost connection ends the process with one line on stderr
//   [x] screen size, Xft.dpi (96 when unset)
//   [x] EWMH window-manager detection, asked fresh each time (rare callers)
// Not supported:
//   [ ] more than one screen: everything happens on the default screen
//   [ ] visuals other than TrueColor for colour conversion
#include <X11/extensions/XInput2.h>
#include <X11/extensions/shape.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "platform/x11/backend.h"

namespace x11 {
namespace {

std::unique_ptr<Backend>& instance() {
    static std::unique_ptr<Backend> backend;
    return backend;
}

// Windows of other programs (and our own, mid-destroy) disappear between
// two requests all the time; a BadWindow is an ordinary answer, not a crash.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

// Xlib only calls this once the connection is unusable, so there is nothing
// left to save: say so and end.
int on_io_error(Display*) {
    std::fputs("pixometer: lost the connection to the X server\n", stderr);
    return 0;
}

void on_io_error_exit(Display*, void*) { std::_Exit(1); }

// A system shutdown or log-off (SIGTERM), a closed terminal (SIGHUP) or
// Ctrl+C (SIGINT) asks the program to close as its windows' close buttons
// would, so that it ends the way it always does: positions stored. The
// handler only writes a byte for the event loop to find; a second such
// signal, should the program not end, has its default effect.
constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};
int g_signal_write_fd = -1;
struct sigaction g_previous[std::size(kEndSignals)];
bool g_installed[std::size(kEndSignals)] = {};

void on_end_signal(int) {
    const int saved = errno;
    const char byte = 1;
    if (g_signal_write_fd >= 0) (void)!write(g_signal_write_fd, &byte, 1);
    errno = saved;
}

void install_end_signals(Backend& b) {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return;
    b.signal_read_fd = fds[0];
    b.signal_write_fd = fds[1];
    g_signal_write_fd = fds[1];
    for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
        struct sigaction current {};
        // A signal someone chose to ignore (nohup) stays ignored.
        if (sigaction(kEndSignals[i], nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = on_end_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_RESTART;
        g_installed[i] = sigaction(kEndSignals[i], &action, &g_previous[i]) == 0;
    }
}

void remove_end_signals(Backend& b) {
    for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
        if (g_installed[i]) sigaction(kEndSignals[i], &g_previous[i], nullptr);
        g_installed[i] = false;
    }
    g_signal_write_fd = -1;
    if (b.signal_read_fd >= 0) close(b.signal_read_fd);
    if (b.signal_write_fd >= 0) close(b.signal_write_fd);
    b.signal_read_fd = b.signal_write_fd = -1;
}

void intern_atoms(Backend& b) {
    Atoms& a = b.atoms;
    struct Entry {
        const char* name;
        Atom* atom;
    };
    const Entry entries[] = {
        {"WM_PROTOCOLS", &a.wm_protocols},
        {"WM_DELETE_WINDOW", &a.wm_delete_window},
        {"WM_STATE", &a.wm_state},
        {"WM_CHANGE_STATE", &a.wm_change_state},
        {"_NET_SUPPORTED", &a.net_supported},
        {"_NET_SUPPORTING_WM_CHECK", &a.net_supporting_wm_check},
        {"_NET_WM_STATE", &a.net_wm_state},
        {"_NET_WM_STATE_ABOVE", &a.net_wm_state_above},
        {"_NET_WM_STATE_MAXIMIZED_VERT", &a.net_wm_state_max_vert},
        {"_NET_WM_STATE_MAXIMIZED_HORZ", &a.net_wm_state_max_horz},
        {"_NET_WM_STATE_MODAL", &a.net_wm_state_modal},
        {"_NET_WM_MOVERESIZE", &a.net_wm_moveresize},
        {"_NET_FRAME_EXTENTS", &a.net_frame_extents},
        {"_NET_REQUEST_FRAME_EXTENTS", &a.net_request_frame_extents},
        {"_NET_WM_NAME", &a.net_wm_name},
        {"_NET_WM_ICON", &a.net_wm_icon},
        {"_NET_WM_PID", &a.net_wm_pid},
        {"_NET_ACTIVE_WINDOW", &a.net_active_window},
        {"_NET_WM_WINDOW_TYPE", &a.net_wm_window_type},
        {"_NET_WM_WINDOW_TYPE_DIALOG", &a.net_wm_window_type_dialog},
        {"_NET_WM_WINDOW_TYPE_POPUP_MENU", &a.net_wm_window_type_popup_menu},
        {"_MOTIF_WM_HINTS", &a.motif_wm_hints},
        {"UTF8_STRING", &a.utf8_string},
    };
    constexpr int count = static_cast<int>(std::size(entries));
    char* names[count];
    Atom atoms[count];
    for (int i = 0; i < count; ++i) names[i] = const_cast<char*>(entries[i].name);
    XInternAtoms(b.dpy, names, count, False, atoms);  // one round trip for all
    for (int i = 0; i < count; ++i) *entries[i].atom = atoms[i];
}

int read_xft_dpi(Display* dpy) {
    const char* value = XGetDefault(dpy, "Xft", "dpi");  // from the connection setup
    if (!value) return 96;
    const double dpi = std::atof(value);
    return dpi >= 48 && dpi <= 480 ? static_cast<int>(dpi + 0.5) : 96;
}

// Raw motion tells us the pointer moved anywhere on the screen, so that
// GetCursorPos asks the server only when the answer can have changed.
int select_raw_motion(Display* dpy, ::Window root) {
    int opcode = 0, event = 0, error = 0;
    if (!XQueryExtension(dpy, "XInputExtension", &opcode, &event, &error)) return -1;
    int major = 2, minor = 1;
    if (XIQueryVersion(dpy, &major, &minor) != Success) return -1;
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(dpy, root, &mask, 1);
    return opcode;
}

// A busy server can turn a connection away (full listen queue, a reset
// during setup); that passes, while a missing server answers the same way
// every time.
Display* connect() {
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        errno = 0;
        Display* dpy = XOpenDisplay(nullptr);
        if (dpy) return dpy;
        const bool passing = errno == EAGAIN || errno == ECONNRESET || errno == EINTR;
        if (!passing || attempt == kAttempts) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
    }
}

bool open_display(Backend& b) {
    b.dpy = connect();
    if (!b.dpy) return false;
    XSetErrorHandler(ignore_x_error);
    XSetIOErrorHandler(on_io_error);
    XSetIOErrorExitHandler(b.dpy, on_io_error_exit, nullptr);
    b.screen = DefaultScreen(b.dpy);
    b.root = RootWindow(b.dpy, b.screen);
    b.visual = DefaultVisual(b.dpy, b.screen);
    b.colormap = DefaultColormap(b.dpy, b.screen);
    b.depth = DefaultDepth(b.dpy, b.screen);
    b.gc = XCreateGC(b.dpy, b.root, 0, nullptr);
    intern_atoms(b);
    int shape_event = 0, shape_error = 0;
    b.has_shape = XShapeQueryExtension(b.dpy, &shape_event, &shape_error);
    b.xi_opcode = select_raw_motion(b.dpy, b.root);
    b.dpi = read_xft_dpi(b.dpy);
    return true;
}

int mask_shift(unsigned long mask) { return mask ? std::countr_zero(mask) : 0; }

}  // namespace

Backend* live() { return instance().get(); }

std::int64_t now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

namespace {

unsigned long channel_max(unsigned long mask) {
    const int bits = std::popcount(mask);
    return bits >= 64 ? ~0ul : (1ul << bits) - 1;
}

}  // namespace

unsigned long pixel_of(os::COLORREF colour) {
    const Visual* v = instance()->visual;
    auto place = [](int value, unsigned long mask) {
        const unsigned long scaled = static_cast<unsigned long>(value) * channel_max(mask) / 255;
        return (scaled << mask_shift(mask)) & mask;
    };
    return place(os::GetRValue(colour), v->red_mask) | place(os::GetGValue(colour), v->green_mask) |
           place(os::GetBValue(colour), v->blue_mask);
}

os::COLORREF colour_of(unsigned long pixel) {
    const Visual* v = instance()->visual;
    auto take = [pixel](unsigned long mask) {
        if (mask == 0) return 0;
        const unsigned long value = (pixel & mask) >> mask_shift(mask);
        return static_cast<int>(value * 255 / channel_max(mask));
    };
    return os::RGB(take(v->red_mask), take(v->green_mask), take(v->blue_mask));
}

void send_to_root(::Window about, Atom type, long d0, long d1, long d2, long d3, long d4) {
    Backend& b = *instance();
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = about;
    ev.xclient.message_type = type;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = d0;
    ev.xclient.data.l[1] = d1;
    ev.xclient.data.l[2] = d2;
    ev.xclient.data.l[3] = d3;
    ev.xclient.data.l[4] = d4;
    XSendEvent(b.dpy, b.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
}

namespace {

// The window a compliant window manager names on the root, or 0.
::Window wm_check_window(Backend& b) {
    auto read_check = [&b](::Window on) -> ::Window {
        const auto found = read_property32(b, on, b.atoms.net_supporting_wm_check, XA_WINDOW, 1);
        return found.size() == 1 ? static_cast<::Window>(found[0]) : 0;
    };
    const ::Window check = read_check(b.root);
    // A window manager that died leaves the root property behind; its check
    // window is then gone and no longer names itself.
    return check && read_check(check) == check ? check : 0;
}

}  // namespace

std::vector<unsigned long> read_property32(Backend& b, ::Window xid, Atom property, Atom type, long most) {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    // Xlib hands 32-bit items over as longs.
    if (XGetWindowProperty(b.dpy, xid, property, 0, most, False, type, &actual, &format, &count, &after,
                           &data) == Success &&
        data && format == 32) {
        const auto* list = reinterpret_cast<const unsigned long*>(data);
        items.assign(list, list + count);
    }
    if (data) XFree(data);
    return items;
}

bool wm_supports(Atom feature) {
    Backend& b = *instance();
    if (!wm_check_window(b)) return false;
    const auto supported = read_property32(b, b.root, b.atoms.net_supported, XA_ATOM, 4096);
    return std::find(supported.begin(), supported.end(), feature) != supported.end();
}

int screen_width() { return DisplayWidth(instance()->dpy, instance()->screen); }
int screen_height() { return DisplayHeight(instance()->dpy, instance()->screen); }

}  // namespace x11

namespace os {

BOOL StartUp(const char** reason) {
    auto& backend = x11::instance();
    if (backend) return TRUE;
#ifdef __GLIBC__
    // The program runs all day and opens and closes its rulers many times:
    // large blocks (their pictures, the fonts' glyph tables) get mappings of
    // their own, so that freeing one gives its memory back at once instead of
    // leaving the heap grown.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
#endif
    auto b = std::make_unique<x11::Backend>();
    if (!x11::open_display(*b)) {
        if (reason) *reason = "cannot open display";
        return FALSE;
    }
    b->timer_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (b->timer_fd < 0) {
        XCloseDisplay(b->dpy);
        if (reason) *reason = "cannot create a timer";
        return FALSE;
    }
    x11::install_end_signals(*b);
    backend = std::move(b);
    return TRUE;
}

void ShutDown() {
    auto& backend = x11::instance();
    if (!backend) return;
    x11::Backend& b = *backend;
    for (auto& [hwnd, w] : b.windows) {
        if (w->draw) XftDrawDestroy(w->draw);
        if (w->back) XFreePixmap(b.dpy, w->back);
        XDestroyWindow(b.dpy, w->xid);
    }
    b.windows.clear();
    x11::close_fonts();
    for (auto& [id, cursor] : b.cursors) XFreeCursor(b.dpy, cursor);
    XFreeGC(b.dpy, b.gc);
    XCloseDisplay(b.dpy);
    close(b.timer_fd);
    x11::remove_end_signals(b);
    backend.reset();
}

int GetSystemMetrics(int index) {
    if (!x11::live()) return 0;
    if (index == SM_CXSCREEN) return x11::screen_width();
    if (index == SM_CYSCREEN) return x11::screen_height();
    return 0;
}

int GetScreenDpi() { return x11::live() ? x11::live()->dpi : 96; }

}  // namespace os
