// X11 backend: the message loop.
//
// Supports:
//   [x] one internal queue; X events become Windows messages in it
//   [x] mouse buttons 1-3 with client coordinates and MK_ flags, left
//       double-click (500 ms, 4 px), coalesced WM_MOUSEMOVE
//   [x] WM_KEYDOWN / WM_SYSKEYDOWN (Alt) with virtual keys, WM_CHAR for
//       printable ASCII, WM_KEYUP / WM_SYSKEYUP
//   [x] WM_CLOSE from the window manager's close button
//   [x] WM_PAINT for invalid windows and WM_TIMER when the queue is empty;
//       timers on one timerfd, missed ticks coalesced into one
//   [x] the system timer resolution is Windows' default, 15.625 ms: a timer
//       asked for a shorter interval ticks at that rate, and at once (within
//       its own interval) when the pointer moves, so a 1 ms probe follows
//       every motion without waking a thousand times a second at rest;
//       without XInput2 (no motion events) short timers tick at their interval
//   [x] modal loops that hold back input to all but the modal window
//   [x] the idle path makes no round trip: it blocks in poll(), and a tick
//       that sent nothing costs one poll() and one read() of the timerfd
// Not supported:
//   [ ] WM_SYSCHAR, mouse wheel, non-ASCII WM_CHAR, timer callbacks
#include <X11/XKBlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/x11/backend.h"

namespace x11 {
namespace {

constexpr Time kDoubleClickMs = 500;
constexpr int kDoubleClickPx = 4;
constexpr int VK_F1 = 0x70;

os::WPARAM mk_flags(unsigned int state) {
    os::WPARAM flags = 0;
    if (state & Button1Mask) flags |= os::MK_LBUTTON;
    if (state & Button2Mask) flags |= os::MK_MBUTTON;
    if (state & Button3Mask) flags |= os::MK_RBUTTON;
    if (state & ShiftMask) flags |= os::MK_SHIFT;
    if (state & ControlMask) flags |= os::MK_CONTROL;
    return flags;
}

os::WPARAM mk_of_button(unsigned int button) {
    switch (button) {
        case Button1: return os::MK_LBUTTON;
        case Button2: return os::MK_MBUTTON;
        case Button3: return os::MK_RBUTTON;
        default: return 0;
    }
}

void post_input(os::HWND hwnd, os::UINT message, os::WPARAM wParam, os::LPARAM lParam) {
    if (accepts_input(hwnd)) post(hwnd, message, wParam, lParam);
}

bool is_double_click(Backend& b, os::HWND hwnd, const XButtonEvent& ev) {
    const bool twice = ev.button == Button1 && b.last_press_button == Button1 &&
                       hwnd == b.last_press_hwnd && ev.time - b.last_press_time <= kDoubleClickMs &&
                       std::abs(ev.x - b.last_press_x) <= kDoubleClickPx &&
                       std::abs(ev.y - b.last_press_y) <= kDoubleClickPx;
    // A third press starts a new pair, as on Windows.
    b.last_press_hwnd = twice ? 0 : hwnd;
    b.last_press_button = ev.button;
    b.last_press_time = ev.time;
    b.last_press_x = ev.x;
    b.last_press_y = ev.y;
    return twice;
}

void on_button(Backend& b, os::HWND hwnd, const XButtonEvent& ev) {
    static constexpr os::UINT kDown[] = {os::WM_LBUTTONDOWN, os::WM_MBUTTONDOWN, os::WM_RBUTTONDOWN};
    static constexpr os::UINT kUp[] = {os::WM_LBUTTONUP, os::WM_MBUTTONUP, os::WM_RBUTTONUP};
    if (ev.button < Button1 || ev.button > Button3) return;  // wheel and extra buttons
    b.last_input_state = ev.state;
    b.cursor_known = false;
    const os::LPARAM where = os::MAKELPARAM(ev.x, ev.y);
    const std::size_t index = ev.button - Button1;
    if (ev.type == ButtonPress) {
        const os::UINT message = is_double_click(b, hwnd, ev) ? os::WM_LBUTTONDBLCLK : kDown[index];
        post_input(hwnd, message, mk_flags(ev.state) | mk_of_button(ev.button), where);
    } else {
        post_input(hwnd, kUp[index], mk_flags(ev.state) & ~mk_of_button(ev.button), where);
    }
}

int vk_of_keysym(KeySym sym) {
    if (sym >= XK_a && sym <= XK_z) return static_cast<int>(sym - XK_a) + 'A';
    if (sym >= XK_A && sym <= XK_Z) return static_cast<int>(sym - XK_A) + 'A';
    if (sym >= XK_0 && sym <= XK_9) return static_cast<int>(sym - XK_0) + '0';
    if (sym >= XK_F1 && sym <= XK_F12) return static_cast<int>(sym - XK_F1) + VK_F1;
    switch (sym) {
        case XK_Return: case XK_KP_Enter: return os::VK_RETURN;
        case XK_Escape: return os::VK_ESCAPE;
        case XK_Tab: case XK_ISO_Left_Tab: return os::VK_TAB;
        case XK_space: return os::VK_SPACE;
        case XK_BackSpace: return os::VK_BACK;
        case XK_Left: case XK_KP_Left: return os::VK_LEFT;
        case XK_Up: case XK_KP_Up: return os::VK_UP;
        case XK_Right: case XK_KP_Right: return os::VK_RIGHT;
        case XK_Down: case XK_KP_Down: return os::VK_DOWN;
        case XK_Shift_L: case XK_Shift_R: return os::VK_SHIFT;
        case XK_Control_L: case XK_Control_R: return os::VK_CONTROL;
        case XK_Alt_L: case XK_Alt_R: case XK_Meta_L: case XK_Meta_R: return os::VK_MENU;
        case XK_Home: return 0x24;
        case XK_End: return 0x23;
        case XK_Prior: return 0x21;
        case XK_Next: return 0x22;
        case XK_Delete: return 0x2E;
        case XK_Insert: return 0x2D;
        default: return 0;
    }
}

void on_key(Backend& b, os::HWND hwnd, XKeyEvent& ev) {
    b.last_input_state = ev.state;
    char text[8] = {};
    KeySym with_modifiers = 0;
    const int length = XLookupString(&ev, text, sizeof text, &with_modifiers, nullptr);
    // The virtual key is the key's own, whatever Shift makes of it.
    const int vk = vk_of_keysym(XLookupKeysym(&ev, 0));
    // Alt itself goes down as a system key, as on Windows.
    const bool alt = (ev.state & Mod1Mask) || (ev.type == KeyPress && vk == os::VK_MENU);
    const auto scan = static_cast<std::uint32_t>(ev.keycode & 0xFF) << 16;
    if (ev.type == KeyPress) {
        const auto lparam = static_cast<os::LPARAM>(1u | scan | (alt ? 1u << 29 : 0u));
        if (vk) post_input(hwnd, alt ? os::WM_SYSKEYDOWN : os::WM_KEYDOWN, vk, lparam);
        const bool printable = length == 1 && text[0] >= 0x20 && text[0] < 0x7F;
        if (printable && !alt && !(ev.state & ControlMask))
            post_input(hwnd, os::WM_CHAR, text[0], lparam);
    } else if (vk) {
        const auto lparam = static_cast<os::LPARAM>(0xC0000001u | scan | (alt ? 1u << 29 : 0u));
        post_input(hwnd, alt ? os::WM_SYSKEYUP : os::WM_KEYUP, vk, lparam);
    }
}

void on_configure(NativeWindow& w, os::HWND hwnd, const XConfigureEvent& ev) {
    if (ev.width != w.width || ev.height != w.height) resize_client(w, ev.width, ev.height);
    int outer_x = 0, outer_y = 0;
    // Framed: only the window manager's synthetic events carry screen
    // coordinates. Unframed: real events are relative to the root.
    if (w.reparented && ev.send_event) {
        outer_x = ev.x - w.extents.left;
        outer_y = ev.y - w.extents.top;
    } else if (!w.reparented && !ev.send_event) {
        outer_x = ev.x;
        outer_y = ev.y;
    } else {
        return;
    }
    if (outer_x == w.outer_x && outer_y == w.outer_y) return;
    w.outer_x = outer_x;
    w.outer_y = outer_y;
    const os::POINT origin = client_origin(w);
    post(hwnd, os::WM_MOVE, 0, os::MAKELPARAM(origin.x, origin.y));
}

void on_property(Backend& b, NativeWindow& w, const XPropertyEvent& ev) {
    if (ev.atom == b.atoms.wm_state) {
        read_wm_state(w);
    } else if (ev.atom == b.atoms.net_wm_state) {
        read_net_wm_state(w);
    } else if (ev.atom == b.atoms.net_frame_extents) {
        read_frame_extents(w);
        if (w.reparented) refresh_position(w);
    }
}

void on_focus(Backend& b, os::HWND hwnd, const XFocusChangeEvent& ev) {
    if (ev.detail == NotifyPointer || ev.detail == NotifyInferior) return;
    if (ev.type == FocusIn) {
        if (b.focus == hwnd) return;
        b.focus = hwnd;
        post(hwnd, os::WM_SETFOCUS, 0, 0);
    } else if (b.focus == hwnd) {
        b.focus = 0;
        post(hwnd, os::WM_KILLFOCUS, 0, 0);
    }
}

// Something other than one of our own topmost windows lies above `w`.
bool covered_by_stranger(Backend& b, const NativeWindow& w) {
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(b.dpy, b.root, &root, &parent, &children, &count)) return false;
    bool above = false, stranger = false;
    for (unsigned int i = 0; i < count && !stranger; ++i) {  // bottom to top
        if (children[i] == w.xid) {
            above = true;
            continue;
        }
        const NativeWindow* other = find_window(handle_of(children[i]));
        if (above) stranger = !other || !other->topmost;
    }
    if (children) XFree(children);
    return stranger;
}

void on_visibility(Backend& b, NativeWindow& w, const XVisibilityEvent& ev) {
    // A topmost window with no window manager to keep it there raises itself
    // when something covers it; two of our own topmost windows may overlap
    // without raising each other for ever.
    if (!w.topmost || w.reparented || ev.state == VisibilityUnobscured) return;
    if (covered_by_stranger(b, w)) XRaiseWindow(b.dpy, w.xid);
}

// Pointer motion makes short timers due now (no sooner than their own
// interval after their last tick): what they watch has just changed.
void pull_short_timers_forward(Backend& b) {
    const std::int64_t now = now_ns();
    b.last_activity_ns = now;
    for (Timer& t : b.timers)
        if (t.interval_ns < kTimerResolutionNs) t.due_ns = std::max(t.last_ns + t.interval_ns, std::min(t.due_ns, now));
}

void on_generic(Backend& b, XEvent& ev) {
    XGenericEventCookie& cookie = ev.xcookie;
    if (cookie.extension != b.xi_opcode) return;
    if (cookie.evtype != XI_RawMotion) return;
    b.cursor_known = false;
    pull_short_timers_forward(b);
}

void on_client_message(Backend& b, os::HWND hwnd, const XClientMessageEvent& ev) {
    if (ev.message_type != b.atoms.wm_protocols) return;
    if (static_cast<Atom>(ev.data.l[0]) != b.atoms.wm_delete_window) return;
    // A window behind a modal dialog cannot be closed, as on Windows.
    if (accepts_input(hwnd)) post(hwnd, os::WM_CLOSE, 0, 0);
}

// One switch over the X event types; long because it is the one place where
// X events and window messages meet.
void translate(Backend& b, XEvent& ev) {
    if (ev.type == GenericEvent) return on_generic(b, ev);
    const os::HWND hwnd = handle_of(ev.xany.window);
    NativeWindow* w = find_window(hwnd);
    if (!w) return;
    switch (ev.type) {
        case ButtonPress:
        case ButtonRelease: return on_button(b, hwnd, ev.xbutton);
        case MotionNotify:
            b.cursor_known = false;
            b.last_input_state = ev.xmotion.state;
            return post_input(hwnd, os::WM_MOUSEMOVE, mk_flags(ev.xmotion.state),
                              os::MAKELPARAM(ev.xmotion.x, ev.xmotion.y));
        case KeyPress:
        case KeyRelease: return on_key(b, hwnd, ev.xkey);
        case Expose:
            return copy_to_window(*w, {ev.xexpose.x, ev.xexpose.y, ev.xexpose.x + ev.xexpose.width,
                                       ev.xexpose.y + ev.xexpose.height});
        case ConfigureNotify: return on_configure(*w, hwnd, ev.xconfigure);
        case ReparentNotify:
            w->reparented = ev.xreparent.parent != b.root;
            read_frame_extents(*w);
            return refresh_position(*w);
        case PropertyNotify: return on_property(b, *w, ev.xproperty);
        case FocusIn:
        case FocusOut: return on_focus(b, hwnd, ev.xfocus);
        case VisibilityNotify: return on_visibility(b, *w, ev.xvisibility);
        case ClientMessage: return on_client_message(b, hwnd, ev.xclient);
        default: return;
    }
}

void drain_x_events(Backend& b) {
    // Xlib reads the socket only when poll() found it readable (see
    // wait_for_events) or when a request went out since the last read: a
    // reply can bring events with it that then wait inside Xlib, unseen by
    // poll(). A tick that sent nothing costs no system call here.
    const unsigned long next_request = XNextRequest(b.dpy);
    if (next_request != b.read_after_request) {
        XPending(b.dpy);
        b.read_after_request = next_request;
    }
    while (XEventsQueued(b.dpy, QueuedAlready) > 0) {
        XEvent ev;
        XNextEvent(b.dpy, &ev);
        const bool cookie = ev.type == GenericEvent && XGetEventData(b.dpy, &ev.xcookie);
        translate(b, ev);
        if (cookie) XFreeEventData(b.dpy, &ev.xcookie);
    }
}

bool take_paint(Backend& b, os::MSG* msg) {
    for (auto& [hwnd, w] : b.windows) {
        if (!w->has_invalid || w->destroying) continue;
        *msg = {hwnd, os::WM_PAINT, 0, 0};
        return true;
    }
    return false;
}

// How often a timer ticks when nothing pulls it forward: its interval, but
// no more often than the system resolution while pointer motion can wake it,
// and a short timer no more often than the idle period once the pointer has
// rested a while (motion pulls it forward at once, as always).
std::int64_t timer_period(const Backend& b, const Timer& t) {
    if (b.xi_opcode < 0) return t.interval_ns;
    const bool idle = now_ns() - b.last_activity_ns > kIdleAfterNs;
    if (idle && t.interval_ns < kTimerResolutionNs) return kIdleTimerPeriodNs;
    return std::max(t.interval_ns, kTimerResolutionNs);
}

// The earliest timer, or nullptr when none runs.
Timer* earliest_timer(Backend& b) {
    Timer* first = nullptr;
    for (Timer& t : b.timers)
        if (!first || t.due_ns < first->due_ns) first = &t;
    return first;
}

bool take_timer(Backend& b, os::MSG* msg) {
    Timer* earliest = earliest_timer(b);
    if (!earliest) return false;
    const std::int64_t now = now_ns();
    if (earliest->due_ns > now) return false;
    // Ticks missed while the program was busy collapse into this one.
    const std::int64_t period = timer_period(b, *earliest);
    earliest->due_ns += period;
    if (earliest->due_ns <= now) earliest->due_ns = now + period;
    earliest->last_ns = now;
    *msg = {earliest->hwnd, os::WM_TIMER, static_cast<os::WPARAM>(earliest->id), 0};
    return true;
}

// The timerfd repeats at the interval of the only timer, so that a steady
// tick re-arms nothing: the loop's idle path is one poll() and one read().
void arm_timer(Backend& b) {
    const Timer* first = earliest_timer(b);
    const std::int64_t due = first ? first->due_ns : 0;  // 0 disarms
    const std::int64_t period = first && b.timers.size() == 1 ? timer_period(b, *first) : 0;
    if (due == b.armed_due_ns && period == b.armed_period_ns) return;
    itimerspec when{};
    when.it_value.tv_sec = due / 1'000'000'000;
    when.it_value.tv_nsec = due % 1'000'000'000;
    when.it_interval.tv_sec = period / 1'000'000'000;
    when.it_interval.tv_nsec = period % 1'000'000'000;
    timerfd_settime(b.timer_fd, TFD_TIMER_ABSTIME, &when, nullptr);
    b.armed_due_ns = due;
    b.armed_period_ns = period;
}

// Reads the timerfd's expiration count and works out when it fires next.
void take_expirations(Backend& b) {
    std::uint64_t expirations = 0;
    if (read(b.timer_fd, &expirations, sizeof expirations) <= 0) return;
    if (b.armed_period_ns == 0) {
        b.armed_due_ns = -1;
        return;
    }
    b.armed_due_ns += static_cast<std::int64_t>(expirations) * b.armed_period_ns;
}

// Xlib's XFlush also tries to read the socket, so it is called only when
// a request went out since the last one.
void flush_requests(Backend& b) {
    const unsigned long next_request = XNextRequest(b.dpy);
    if (next_request == b.flushed_request) return;
    XFlush(b.dpy);
    b.flushed_request = next_request;
}

// The session is ending (see the signal handlers in display.cpp): every
// window is asked to close as its close button would ask, a message box
// first, so that the program ends by its usual route.
void end_session(Backend& b) {
    char bytes[16];
    while (read(b.signal_read_fd, bytes, sizeof bytes) > 0) {
    }
    for (auto it = b.modal.rbegin(); it != b.modal.rend(); ++it) post(*it, os::WM_CLOSE, 0, 0);
    for (const auto& [hwnd, w] : b.windows)
        if (!w->popup && !w->modal && !w->destroying) post(hwnd, os::WM_CLOSE, 0, 0);
}

void wait_for_events(Backend& b) {
    flush_requests(b);
    if (XEventsQueued(b.dpy, QueuedAlready) > 0) return;
    arm_timer(b);
    pollfd fds[3] = {{ConnectionNumber(b.dpy), POLLIN, 0}, {b.timer_fd, POLLIN, 0}, {b.signal_read_fd, POLLIN, 0}};
    if (poll(fds, b.signal_read_fd >= 0 ? 3 : 2, -1) <= 0) return;  // EINTR: look again
    if (fds[2].revents & POLLIN) end_session(b);
    if (fds[1].revents & POLLIN) take_expirations(b);
    // A hang-up also goes to Xlib, which then reports the lost connection.
    if (fds[0].revents) XEventsQueued(b.dpy, QueuedAfterReading);
}

}  // namespace

void post(os::HWND hwnd, os::UINT message, os::WPARAM wParam, os::LPARAM lParam) {
    Backend& b = *live();
    if (message == os::WM_MOUSEMOVE && !b.queue.empty() && b.queue.back().hwnd == hwnd &&
        b.queue.back().message == os::WM_MOUSEMOVE) {
        b.queue.back() = {hwnd, message, wParam, lParam};  // only the latest position matters
        return;
    }
    b.queue.push_back({hwnd, message, wParam, lParam});
}

void forget_window(os::HWND hwnd) {
    Backend& b = *live();
    std::erase_if(b.queue, [hwnd](const os::MSG& m) { return m.hwnd == hwnd; });
    std::erase_if(b.timers, [hwnd](const Timer& t) { return t.hwnd == hwnd; });
    if (b.last_press_hwnd == hwnd) b.last_press_hwnd = 0;
}

bool accepts_input(os::HWND hwnd) {
    const Backend& b = *live();
    return b.modal.empty() || b.modal.back() == hwnd;
}

bool run_modal_loop(const bool& done) {
    while (!done) {
        os::MSG msg;
        if (!os::GetMessageA(&msg)) {
            os::PostQuitMessage(msg.wParam);
            return false;
        }
        os::DispatchMessageA(&msg);
    }
    return true;
}

}  // namespace x11

namespace os {

BOOL GetMessageA(MSG* msg) {
    x11::Backend* b = x11::live();
    if (!b || !msg) return FALSE;
    for (;;) {
        if (b->queue.empty()) x11::drain_x_events(*b);
        if (!b->queue.empty()) {
            *msg = b->queue.front();
            b->queue.pop_front();
            ++b->turn;
            return TRUE;
        }
        if (b->quit) {
            b->quit = false;
            *msg = {0, WM_QUIT, b->quit_code, 0};
            return FALSE;
        }
        if (x11::take_paint(*b, msg) || x11::take_timer(*b, msg)) {
            ++b->turn;
            return TRUE;
        }
        x11::wait_for_events(*b);
    }
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || msg->hwnd == 0) return 0;
    return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w) return 0;
    if (w->proc == 0) return DefWindowProcA(hwnd, message, wParam, lParam);
    return CallWindowProcA(w->proc, hwnd, message, wParam, lParam);
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!x11::live() || (hwnd != 0 && !x11::find_window(hwnd))) return FALSE;
    x11::post(hwnd, message, wParam, lParam);
    return TRUE;
}

void PostQuitMessage(int exit_code) {
    x11::Backend* b = x11::live();
    if (!b) return;
    b->quit = true;
    b->quit_code = exit_code;
}

LRESULT CallWindowProcA(LONG_PTR previous, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (previous == 0) return 0;
    return reinterpret_cast<WNDPROC>(previous)(hwnd, message, wParam, lParam);
}

HWND SetCapture(HWND hwnd) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    x11::Backend* b = x11::live();
    if (!w || !b) return 0;
    const HWND previous = b->capture;
    XGrabPointer(b->dpy, w->xid, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                 GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    b->capture = hwnd;
    return previous;
}

BOOL ReleaseCapture() {
    x11::Backend* b = x11::live();
    if (!b) return FALSE;
    // Also ends the implicit grab of a button press, which a window manager
    // needs before it can take over a caption drag.
    XUngrabPointer(b->dpy, CurrentTime);
    b->capture = 0;
    return TRUE;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT milliseconds) {
    x11::Backend* b = x11::live();
    if (!b || (hwnd != 0 && !x11::find_window(hwnd))) return 0;
    if (hwnd == 0) id = b->next_timer_id++;
    const std::int64_t interval = static_cast<std::int64_t>(std::max<UINT>(milliseconds, 1)) * 1'000'000;
    auto same = [hwnd, id](const x11::Timer& t) { return t.hwnd == hwnd && t.id == id; };
    auto found = std::find_if(b->timers.begin(), b->timers.end(), same);
    if (found == b->timers.end()) found = b->timers.insert(b->timers.end(), x11::Timer{hwnd, id, 0, 0});
    found->interval_ns = interval;
    found->last_ns = x11::now_ns();
    found->due_ns = found->last_ns + interval;
    return id != 0 ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    x11::Backend* b = x11::live();
    if (!b) return FALSE;
    const auto removed =
        std::erase_if(b->timers, [hwnd, id](const x11::Timer& t) { return t.hwnd == hwnd && t.id == id; });
    return removed > 0 ? TRUE : FALSE;
}

}  // namespace os
