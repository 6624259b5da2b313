// Internal state of the X11 backend, shared by the .cpp files of this folder
// only. Nothing outside platform/x11 includes this header.
#pragma once

#include <X11/Xft/Xft.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/os.h"

namespace x11 {

struct Atoms {
    Atom wm_protocols = 0;
    Atom wm_delete_window = 0;
    Atom wm_state = 0;
    Atom wm_change_state = 0;
    Atom net_supported = 0;
    Atom net_supporting_wm_check = 0;
    Atom net_wm_state = 0;
    Atom net_wm_state_above = 0;
    Atom net_wm_state_max_vert = 0;
    Atom net_wm_state_max_horz = 0;
    Atom net_wm_state_modal = 0;
    Atom net_wm_moveresize = 0;
    Atom net_frame_extents = 0;
    Atom net_request_frame_extents = 0;
    Atom net_wm_name = 0;
    Atom net_wm_icon = 0;
    Atom net_wm_pid = 0;
    Atom net_active_window = 0;
    Atom net_wm_window_type = 0;
    Atom net_wm_window_type_dialog = 0;
    Atom net_wm_window_type_popup_menu = 0;
    Atom motif_wm_hints = 0;
    Atom utf8_string = 0;
};

struct Extents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};

// One native window of this process. Geometry is cached from the events the
// server sends, so that reading it never costs a round trip.
struct NativeWindow {
    ::Window xid = 0;
    os::LONG_PTR proc = 0;
    bool framed = true;
    int width = 0;  // client size
    int height = 0;
    int outer_x = 0;  // frame top-left on the screen
    int outer_y = 0;
    Extents extents;
    bool reparented = false;  // a window manager put a frame around it
    bool shown = false;       // the program asked for it to be visible
    bool iconic = false;      // from WM_STATE
    bool maximized = false;   // from _NET_WM_STATE
    bool topmost = false;
    bool modal = false;  // a message box: _NET_WM_STATE_MODAL
    bool popup = false;  // a menu: override-redirect, never closed by request
    bool destroying = false;
    Pixmap back = 0;  // back buffer the window is painted from
    XftDraw* draw = nullptr;
    bool has_invalid = false;
    os::RECT invalid{};
    os::RECT painting{};  // the rectangle handed out by BeginPaint
    os::HDC paint_dc = 0;
    int cursor_id = 0;
    os::HMENU system_menu = 0;
    unsigned long background = 0;
    std::string title;
};

// Windows' default timer resolution: 64 ticks a second.
constexpr std::int64_t kTimerResolutionNs = 15'625'000;
// After a second with no pointer motion or input, short timers are coalesced
// to this period: each such tick still reads the cursor, so a pointer warped
// by another program (which brings no raw motion) shows within 50 ms.
constexpr std::int64_t kIdleAfterNs = 1'000'000'000;
constexpr std::int64_t kIdleTimerPeriodNs = 45'000'000;

struct Timer {
    os::HWND hwnd = 0;
    os::UINT_PTR id = 0;
    std::int64_t interval_ns = 0;  // what the program asked for
    std::int64_t due_ns = 0;
    std::int64_t last_ns = 0;      // when it last ticked
};

enum class DcKind { Screen, Paint, Image };

// Screen DCs read what the screen shows inside a window's client area; paint
// DCs draw into a window's back buffer; image DCs are pixels in this process.
struct DeviceContext {
    DcKind kind = DcKind::Screen;
    os::HWND hwnd = 0;
    bool own = false;  // hwnd is one of this process's windows
    int origin_x = 0;  // client origin on the screen (foreign windows)
    int origin_y = 0;
    int width = 0;
    int height = 0;
    std::vector<os::COLORREF> pixels;  // image DCs, row by row
};

struct Font {
    XftFont* xft = nullptr;
    bool underline = false;
    bool strike_out = false;
};

struct MenuItem {
    os::UINT flags = 0;
    os::UINT_PTR id = 0;
    std::string text;
};

struct Menu {
    os::HWND owner = 0;
    std::vector<MenuItem> items;
};

struct Backend {
    Display* dpy = nullptr;
    int screen = 0;
    ::Window root = 0;
    Visual* visual = nullptr;
    Colormap colormap = 0;
    int depth = 0;
    GC gc = nullptr;
    Atoms atoms;
    bool has_shape = false;
    int xi_opcode = -1;  // XInput2, for raw pointer motion
    int dpi = 96;
    int timer_fd = -1;
    // Written by the end-of-session signal handlers (SIGTERM, SIGHUP, SIGINT).
    int signal_read_fd = -1;
    int signal_write_fd = -1;
    std::int64_t armed_due_ns = -1;     // the timerfd's next expiry; -1 unknown
    std::int64_t armed_period_ns = 0;   // its repeat interval; 0 one-shot
    unsigned long read_after_request = 0;  // XNextRequest when Xlib last read the socket
    unsigned long flushed_request = 0;     // XNextRequest at the last flush

    std::map<os::HWND, std::unique_ptr<NativeWindow>> windows;
    std::deque<os::MSG> queue;
    bool quit = false;
    int quit_code = 0;
    std::vector<Timer> timers;
    os::UINT_PTR next_timer_id = 1;
    std::vector<os::HWND> modal;  // input goes only to the last one

    std::unordered_map<os::HDC, DeviceContext> dcs;
    os::HDC next_dc = 1;
    std::unordered_map<os::HFONT, Font> fonts;
    os::HFONT next_font = 1;
    Font default_font;
    std::unordered_map<os::HMENU, Menu> menus;
    os::HMENU next_menu = 1;
    std::map<int, Cursor> cursors;

    os::HWND capture = 0;
    os::HWND focus = 0;
    unsigned int last_input_state = 0;  // modifier state of the latest input event
    os::POINT cursor{};
    bool cursor_known = false;
    // Each message handed out starts a new turn; what one turn learnt about
    // another program's window (its origin) serves the rest of that turn.
    std::uint64_t turn = 0;
    struct {
        ::Window xid = 0;
        int origin_x = 0;
        int origin_y = 0;
        std::uint64_t turn = 0;
    } last_origin;
    std::int64_t cursor_read_ns = 0;
    std::int64_t last_activity_ns = 0;  // the latest pointer motion or input event
    // The top-level window the last pointer query found under the cursor,
    // and the turn it was asked in: WindowFromPoint at that point in that
    // turn starts below it instead of asking again.
    struct {
        ::Window child = 0;
        os::POINT at{};
        std::uint64_t turn = ~std::uint64_t{0};
    } pointer_child;
    // Double-click detection.
    os::HWND last_press_hwnd = 0;
    unsigned int last_press_button = 0;
    Time last_press_time = 0;
    int last_press_x = 0;
    int last_press_y = 0;
};

// ---- display.cpp ----------------------------------------------------------
Backend* live();  // nullptr before StartUp
std::int64_t now_ns();
unsigned long pixel_of(os::COLORREF colour);
os::COLORREF colour_of(unsigned long pixel);
void send_to_root(::Window about, Atom type, long d0, long d1, long d2, long d3, long d4);
bool wm_supports(Atom feature);  // false when no EWMH window manager runs
// The 32-bit items (at most `most`) of a window property of the given type;
// empty when the property is missing, of another type or another format.
std::vector<unsigned long> read_property32(Backend& b, ::Window xid, Atom property, Atom type, long most);
int screen_width();
int screen_height();

// ---- windows.cpp ----------------------------------------------------------
NativeWindow* find_window(os::HWND hwnd);
os::HWND handle_of(::Window xid);
os::POINT client_origin(const NativeWindow& w);
struct WindowOptions {
    bool override_redirect = false;
    os::HWND transient_for = 0;
    Atom window_type = 0;
    bool modal = false;
};
os::HWND create_window(const os::FormWindowSpec& form, const WindowOptions& options);
void read_wm_state(NativeWindow& w);
void read_net_wm_state(NativeWindow& w);
void read_frame_extents(NativeWindow& w);
void refresh_position(NativeWindow& w);
void resize_client(NativeWindow& w, int width, int height);
void copy_to_window(NativeWindow& w, const os::RECT& rect);
void request_state(NativeWindow& w, bool add, Atom first, Atom second);

// ---- events.cpp -----------------------------------------------------------
void post(os::HWND hwnd, os::UINT message, os::WPARAM wParam, os::LPARAM lParam);
void forget_window(os::HWND hwnd);  // drops its queued messages and timers
bool accepts_input(os::HWND hwnd);
// Runs a nested message loop until *done; false when WM_QUIT arrived (it is
// posted again so that the outer loop ends too).
bool run_modal_loop(const bool& done);

// ---- paint.cpp ------------------------------------------------------------
os::HDC add_dc(DeviceContext dc);
DeviceContext* find_dc(os::HDC hdc);
void forget_window_dcs(os::HWND hwnd);
NativeWindow* drawing_target(os::HDC hdc);  // the window a paint DC draws into

// ---- screen.cpp -----------------------------------------------------------
// The client area a screen DC reads, in screen coordinates.
bool dc_screen_area(const DeviceContext& dc, os::RECT* area);
// What the screen shows in the rectangle, as 0x00BBGGRR row by row.
bool read_drawable(Drawable from, int x, int y, int width, int height,
                   std::vector<os::COLORREF>* pixels);

// ---- text.cpp -------------------------------------------------------------
XftFont* font_of(os::HFONT font);
void close_fonts();
// Lines of text as DrawTextA lays them out; used to size message boxes.
std::vector<std::string> layout_lines(XftFont* font, const std::string& text, os::UINT format,
                                      int width);
int text_width(XftFont* font, const std::string& utf8);
std::string to_utf8(const char* text, std::size_t length);

// ---- menus.cpp ------------------------------------------------------------
void popup_system_menu(os::HWND hwnd, int x_root, int y_root, bool from_keyboard);
void forget_window_menu(os::HWND hwnd);

}  // namespace x11
