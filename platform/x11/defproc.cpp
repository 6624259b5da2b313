// X11 backend: the default window procedure.
//
// Supports:
//   [x] WM_CLOSE destroys the window; WM_PAINT validates it
//   [x] caption drag (WM_NCLBUTTONDOWN + HTCAPTION) with whichever button is
//       held: _NET_WM_MOVERESIZE, or our own pointer-grab move where no
//       window manager supports it
//   [x] WM_SYSCOMMAND: minimise, maximise, restore, close, keyboard move and
//       size
//   [x] the system-menu popup on Alt+Space, Shift+F10 and a right click
//   [x] Alt+F4 closes (for desktops where no window manager takes it)
// Not supported:
//   [ ] keyboard move and size without a window manager
//   [ ] non-client hit codes other than HTCAPTION
#include "platform/x11/backend.h"

namespace x11 {
namespace {

constexpr long kMoveResizeSizeKeyboard = 9;
constexpr long kMoveResizeMoveKeyboard = 10;
constexpr long kMoveResizeMove = 8;

}  // namespace

constexpr int VK_F4 = 0x73;

namespace {

unsigned int held_button(unsigned int mask) {
    if (mask & Button1Mask) return Button1;
    if (mask & Button2Mask) return Button2;
    if (mask & Button3Mask) return Button3;
    return 0;
}

unsigned int button_mask(unsigned int button) {
    return button == Button1 ? Button1Mask : button == Button2 ? Button2Mask : Button3Mask;
}

struct PointerState {
    int x = 0;
    int y = 0;
    unsigned int mask = 0;
};

bool query_pointer(Backend& b, PointerState* state) {
    ::Window root = 0, child = 0;
    int wx = 0, wy = 0;
    return XQueryPointer(b.dpy, b.root, &root, &child, &state->x, &state->y, &wx, &wy,
                         &state->mask);
}

void move_to(Backend& b, NativeWindow& w, int x, int y) {
    w.outer_x = x;
    w.outer_y = y;
    XMoveWindow(b.dpy, w.xid, x, y);
}

// Where no window manager takes the move, we move the window ourselves
// until the button comes up. The nested loop only looks at pointer events;
// everything else waits in Xlib's queue for the main loop.
void drag_without_wm(Backend& b, os::HWND hwnd, const PointerState& start, unsigned int button) {
    NativeWindow* w = find_window(hwnd);
    if (!w) return;
    const unsigned int mask = ButtonReleaseMask | PointerMotionMask;
    if (XGrabPointer(b.dpy, w->xid, False, mask, GrabModeAsync, GrabModeAsync, None, None,
                     CurrentTime) != GrabSuccess)
        return;
    PointerState now;
    // The button may have come up before the grab: then there is no drag.
    if (!query_pointer(b, &now) || !(now.mask & button_mask(button))) {
        XUngrabPointer(b.dpy, CurrentTime);
        return;
    }
    const int origin_x = w->outer_x, origin_y = w->outer_y;
    for (;;) {
        XEvent ev;
        XMaskEvent(b.dpy, mask, &ev);
        if (ev.type == MotionNotify) {
            while (XCheckMaskEvent(b.dpy, PointerMotionMask, &ev)) {
            }
            move_to(b, *w, origin_x + ev.xmotion.x_root - start.x, origin_y + ev.xmotion.y_root - start.y);
        } else if (ev.xbutton.button == button) {
            move_to(b, *w, origin_x + ev.xbutton.x_root - start.x, origin_y + ev.xbutton.y_root - start.y);
            break;
        }
    }
    XUngrabPointer(b.dpy, CurrentTime);
    XFlush(b.dpy);
    b.cursor_known = false;
}

void caption_drag(Backend& b, os::HWND hwnd) {
    NativeWindow* w = find_window(hwnd);
    PointerState start;
    if (!w || !query_pointer(b, &start)) return;
    const unsigned int button = held_button(start.mask);
    if (button == 0) return;  // already released: a click moves nothing
    XUngrabPointer(b.dpy, CurrentTime);  // the window manager needs the pointer
    if (w->reparented && wm_supports(b.atoms.net_wm_moveresize)) {
        send_to_root(w->xid, b.atoms.net_wm_moveresize, start.x, start.y, kMoveResizeMove,
                     static_cast<long>(button), 1);
        XFlush(b.dpy);
        return;
    }
    drag_without_wm(b, hwnd, start, button);
}

void keyboard_move_resize(Backend& b, const NativeWindow& w, long direction) {
    PointerState pointer;
    if (!query_pointer(b, &pointer) || !wm_supports(b.atoms.net_wm_moveresize)) return;
    send_to_root(w.xid, b.atoms.net_wm_moveresize, pointer.x, pointer.y, direction, 0, 1);
}

void system_command(Backend& b, os::HWND hwnd, os::WPARAM command) {
    NativeWindow* w = find_window(hwnd);
    if (!w) return;
    switch (command & 0xFFF0) {  // the low four bits are the system's own
        case os::SC_MINIMIZE: os::ShowWindow(hwnd, os::SW_MINIMIZE); break;
        case os::SC_MAXIMIZE: os::ShowWindow(hwnd, os::SW_MAXIMIZE); break;
        case os::SC_RESTORE: os::ShowWindow(hwnd, os::SW_RESTORE); break;
        case os::SC_CLOSE: os::PostMessageA(hwnd, os::WM_CLOSE, 0, 0); break;
        case os::SC_MOVE: keyboard_move_resize(b, *w, kMoveResizeMoveKeyboard); break;
        case os::SC_SIZE: keyboard_move_resize(b, *w, kMoveResizeSizeKeyboard); break;
        default: break;
    }
    XFlush(b.dpy);
}

// The popup opens at the window's client origin when asked for by key, as
// Windows opens it below the caption icon.
void menu_from_keyboard(os::HWND hwnd) {
    const NativeWindow* w = find_window(hwnd);
    if (!w) return;
    const os::POINT origin = client_origin(*w);
    popup_system_menu(hwnd, origin.x, origin.y, true);
}

void menu_from_mouse(os::HWND hwnd, os::LPARAM lParam) {
    os::POINT at{os::GET_X_LPARAM(lParam), os::GET_Y_LPARAM(lParam)};
    if (!os::ClientToScreen(hwnd, &at)) return;
    popup_system_menu(hwnd, at.x, at.y, false);
}

bool shift_held() { return live()->last_input_state & ShiftMask; }

}  // namespace
}  // namespace x11

namespace os {

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    x11::Backend* b = x11::live();
    if (!b || !x11::find_window(hwnd)) return 0;
    switch (message) {
        case WM_CLOSE: DestroyWindow(hwnd); return 0;
        case WM_PAINT: {
            RECT rect;
            if (BeginPaint(hwnd, &rect)) EndPaint(hwnd);
            return 0;
        }
        case WM_NCLBUTTONDOWN:
            if (wParam == HTCAPTION) x11::caption_drag(*b, hwnd);
            return 0;
        case WM_SYSCOMMAND: x11::system_command(*b, hwnd, wParam); return 0;
        case WM_SYSKEYDOWN:
            if (wParam == VK_SPACE || (wParam == VK_F10 && x11::shift_held())) x11::menu_from_keyboard(hwnd);
            if (wParam == x11::VK_F4) SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);  // Alt+F4
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_F10 && x11::shift_held()) x11::menu_from_keyboard(hwnd);
            return 0;
        case WM_RBUTTONUP: x11::menu_from_mouse(hwnd, lParam); return 0;
        default: return 0;
    }
}

}  // namespace os
