// X11 backend: system menus.
//
// The window manager owns the title bar, so each window keeps a system menu
// of its own with the items and ids Windows gives a normal window.
//
// Supports:
//   [x] GetSystemMenu (and revert), AppendMenuA, GetMenuItemCount,
//       RemoveMenu by position or by command, DrawMenuBar
//   [x] a popup of the menu: separators, greyed items (Restore while the
//       window is neither minimised nor maximised), mouse and keyboard
//       (Up, Down, Enter, Esc); a choice arrives as WM_SYSCOMMAND through
//       the window's current procedure
// Not supported:
//   [ ] submenus, check marks, bitmaps, menu bars
#include <algorithm>

#include "platform/x11/backend.h"

namespace x11 {
namespace {

constexpr os::COLORREF kFace = os::RGB(240, 240, 240);
constexpr os::COLORREF kBorder = os::RGB(130, 130, 130);
constexpr os::COLORREF kText = os::RGB(0, 0, 0);
constexpr os::COLORREF kGreyText = os::RGB(160, 160, 160);
constexpr os::COLORREF kHot = os::RGB(0, 120, 215);
constexpr os::COLORREF kHotText = os::RGB(255, 255, 255);
constexpr int kItemHeight = 22;
constexpr int kSeparatorHeight = 9;
constexpr int kBorderWidth = 3;
constexpr int kTextLeft = 28;
constexpr int kTextRightPad = 24;
constexpr int kMinWidth = 120;

std::vector<MenuItem> standard_items() {
    return {{os::MF_STRING, os::SC_RESTORE, "Restore"},   {os::MF_STRING, os::SC_MOVE, "Move"},
            {os::MF_STRING, os::SC_SIZE, "Size"},         {os::MF_STRING, os::SC_MINIMIZE, "Minimize"},
            {os::MF_STRING, os::SC_MAXIMIZE, "Maximize"}, {os::MF_SEPARATOR, 0, ""},
            {os::MF_STRING, os::SC_CLOSE, "Close"}};
}

Menu* find_menu(os::HMENU menu) {
    Backend* b = live();
    if (!b) return nullptr;
    auto found = b->menus.find(menu);
    return found == b->menus.end() ? nullptr : &found->second;
}

bool is_separator(const MenuItem& item) { return item.flags & os::MF_SEPARATOR; }

// What the popup of one menu shows and where the user is in it.
struct Popup {
    os::HWND owner = 0;
    os::HWND hwnd = 0;
    std::vector<MenuItem> items;
    std::vector<bool> enabled;
    std::vector<int> tops;
    int width = 0;
    int height = 0;
    int hot = -1;
    bool done = false;
    bool chosen = false;
};

std::map<os::HWND, Popup*>& open_popups() {
    static std::map<os::HWND, Popup*> popups;
    return popups;
}

bool item_enabled(const NativeWindow& w, const MenuItem& item) {
    if (is_separator(item) || (item.flags & (os::MF_GRAYED | os::MF_DISABLED))) return false;
    switch (item.id) {
        case os::SC_RESTORE: return w.iconic || w.maximized;
        case os::SC_MINIMIZE: return !w.iconic;
        case os::SC_MAXIMIZE: return !w.maximized;
        case os::SC_MOVE:
        case os::SC_SIZE: return !w.maximized && !w.iconic;
        default: return true;
    }
}

void lay_out(Popup& p, const NativeWindow& owner) {
    int y = kBorderWidth, widest = 0;
    XftFont* font = font_of(0);
    for (const MenuItem& item : p.items) {
        p.tops.push_back(y);
        p.enabled.push_back(item_enabled(owner, item));
        y += is_separator(item) ? kSeparatorHeight : kItemHeight;
        widest = std::max(widest, text_width(font, to_utf8(item.text.c_str(), item.text.size())));
    }
    p.height = y + kBorderWidth;
    p.width = std::max(kMinWidth, kTextLeft + widest + kTextRightPad);
}

int item_at(const Popup& p, int x, int y) {
    if (x < 0 || x >= p.width) return -1;
    for (std::size_t i = 0; i < p.items.size(); ++i) {
        const int bottom = p.tops[i] + (is_separator(p.items[i]) ? kSeparatorHeight : kItemHeight);
        if (y >= p.tops[i] && y < bottom) return static_cast<int>(i);
    }
    return -1;
}

void paint(Popup& p) {
    os::RECT area;
    const os::HDC dc = os::BeginPaint(p.hwnd, &area);
    if (!dc) return;
    const os::RECT all{0, 0, p.width, p.height};
    os::FillRect(dc, &all, kBorder);
    const os::RECT inside{1, 1, p.width - 1, p.height - 1};
    os::FillRect(dc, &inside, kFace);
    for (std::size_t i = 0; i < p.items.size(); ++i) {
        const int top = p.tops[i];
        if (is_separator(p.items[i])) {
            const os::RECT line{4, top + kSeparatorHeight / 2, p.width - 4, top + kSeparatorHeight / 2 + 1};
            os::FillRect(dc, &line, kBorder);
            continue;
        }
        const bool hot = static_cast<int>(i) == p.hot;
        const os::RECT row{kBorderWidth, top, p.width - kBorderWidth, top + kItemHeight};
        if (hot) os::FillRect(dc, &row, kHot);
        const os::RECT text{kTextLeft, top, p.width - kBorderWidth, top + kItemHeight};
        const os::COLORREF colour = !p.enabled[i] ? kGreyText : hot ? kHotText : kText;
        os::DrawTextA(dc, p.items[i].text.c_str(), &text, os::DT_LEFT | os::DT_VCENTER | os::DT_SINGLELINE, 0,
                      colour);
    }
    os::EndPaint(p.hwnd);
}

void set_hot(Popup& p, int hot) {
    if (hot == p.hot) return;
    p.hot = hot;
    os::InvalidateRect(p.hwnd, nullptr);
}

// Next enabled item from the hot one in `step` direction, wrapping around.
void step_hot(Popup& p, int step) {
    const int count = static_cast<int>(p.items.size());
    int at = p.hot < 0 ? (step > 0 ? -1 : count) : p.hot;
    for (int tries = 0; tries < count; ++tries) {
        at = (at + step + count) % count;
        if (p.enabled[static_cast<std::size_t>(at)]) return set_hot(p, at);
    }
}

void choose(Popup& p, int index) {
    if (index < 0 || !p.enabled[static_cast<std::size_t>(index)]) return;
    p.hot = index;
    p.chosen = true;
    p.done = true;
}

void on_key(Popup& p, os::WPARAM vk) {
    if (vk == os::VK_UP) step_hot(p, -1);
    if (vk == os::VK_DOWN) step_hot(p, 1);
    if (vk == os::VK_RETURN) choose(p, p.hot);
    if (vk == os::VK_ESCAPE) p.done = true;
}

os::LRESULT popup_proc(os::HWND hwnd, os::UINT message, os::WPARAM wParam, os::LPARAM lParam) {
    auto found = open_popups().find(hwnd);
    if (found == open_popups().end()) return 0;
    Popup& p = *found->second;
    const int x = os::GET_X_LPARAM(lParam), y = os::GET_Y_LPARAM(lParam);
    switch (message) {
        case os::WM_PAINT: paint(p); break;
        case os::WM_DESTROY: p.done = true; break;
        case os::WM_MOUSEMOVE: set_hot(p, item_at(p, x, y)); break;
        case os::WM_LBUTTONDOWN:
        case os::WM_LBUTTONDBLCLK:
        case os::WM_RBUTTONDOWN:
        case os::WM_MBUTTONDOWN:
            if (x < 0 || y < 0 || x >= p.width || y >= p.height) p.done = true;  // click outside
            break;
        case os::WM_LBUTTONUP:
        case os::WM_RBUTTONUP: choose(p, item_at(p, x, y)); break;
        case os::WM_KEYDOWN:
        case os::WM_SYSKEYDOWN: on_key(p, wParam); break;
        default: break;
    }
    return 0;
}

os::HWND open_window(Popup& p, int x, int y) {
    os::FormWindowSpec form;
    form.x = std::clamp(x, 0, std::max(screen_width() - p.width, 0));
    form.y = std::clamp(y, 0, std::max(screen_height() - p.height, 0));
    form.client_width = p.width;
    form.client_height = p.height;
    form.framed = false;
    form.background = kFace;
    form.proc = popup_proc;
    WindowOptions options;
    options.override_redirect = true;
    options.window_type = live()->atoms.net_wm_window_type_popup_menu;
    return create_window(form, options);
}

void grab_input(Backend& b, const NativeWindow& w) {
    XMapRaised(b.dpy, w.xid);
    XGrabPointer(b.dpy, w.xid, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                 GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    XGrabKeyboard(b.dpy, w.xid, False, GrabModeAsync, GrabModeAsync, CurrentTime);
}

void close_window(Backend& b, Popup& p) {
    XUngrabPointer(b.dpy, CurrentTime);
    XUngrabKeyboard(b.dpy, CurrentTime);
    open_popups().erase(p.hwnd);
    b.modal.erase(std::find(b.modal.begin(), b.modal.end(), p.hwnd));
    os::DestroyWindow(p.hwnd);
}

}  // namespace

// A nested loop: the program's timers and paints go on while it is open.
void popup_system_menu(os::HWND hwnd, int x_root, int y_root, bool from_keyboard) {
    Backend* b = live();
    const NativeWindow* owner = find_window(hwnd);
    if (!b || !owner || !open_popups().empty()) return;
    const Menu* menu = find_menu(os::GetSystemMenu(hwnd, os::FALSE));
    if (!menu || menu->items.empty()) return;
    Popup p;
    p.owner = hwnd;
    p.items = menu->items;
    lay_out(p, *owner);
    p.hwnd = open_window(p, x_root, y_root);
    const NativeWindow* w = find_window(p.hwnd);
    if (!w) return;
    open_popups()[p.hwnd] = &p;
    b->modal.push_back(p.hwnd);
    grab_input(*b, *w);
    if (from_keyboard) step_hot(p, 1);
    run_modal_loop(p.done);
    close_window(*b, p);
    if (p.chosen) {
        const auto id = static_cast<os::WPARAM>(p.items[static_cast<std::size_t>(p.hot)].id);
        os::PostMessageA(hwnd, os::WM_SYSCOMMAND, id, 0);
    }
}

void forget_window_menu(os::HWND hwnd) {
    std::erase_if(live()->menus, [hwnd](const auto& entry) { return entry.second.owner == hwnd; });
}

}  // namespace x11

namespace os {

HMENU GetSystemMenu(HWND hwnd, BOOL revert) {
    x11::NativeWindow* w = x11::find_window(hwnd);
    if (!w) return 0;
    x11::Backend& b = *x11::live();
    if (revert) {  // back to the standard items; Windows then hands out no menu
        if (x11::Menu* menu = x11::find_menu(w->system_menu)) menu->items = x11::standard_items();
        return 0;
    }
    if (!x11::find_menu(w->system_menu)) {
        w->system_menu = b.next_menu++;
        b.menus[w->system_menu] = {hwnd, x11::standard_items()};
    }
    return w->system_menu;
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, const char* text) {
    x11::Menu* m = x11::find_menu(menu);
    if (!m) return FALSE;
    const bool separator = flags & MF_SEPARATOR;
    m->items.push_back({flags, separator ? 0 : id, separator || !text ? "" : text});
    return TRUE;
}

int GetMenuItemCount(HMENU menu) {
    const x11::Menu* m = x11::find_menu(menu);
    return m ? static_cast<int>(m->items.size()) : -1;
}

BOOL RemoveMenu(HMENU menu, UINT position, UINT flags) {
    x11::Menu* m = x11::find_menu(menu);
    if (!m) return FALSE;
    auto& items = m->items;
    if (flags & MF_BYPOSITION) {
        // A negative position arrives here as a huge unsigned one.
        if (position >= items.size()) return FALSE;
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(position));
        return TRUE;
    }
    auto found = std::find_if(items.begin(), items.end(), [position](const x11::MenuItem& item) {
        return !x11::is_separator(item) && item.id == position;
    });
    if (found == items.end()) return FALSE;
    items.erase(found);
    return TRUE;
}

BOOL DrawMenuBar(HWND hwnd) { return x11::find_window(hwnd) ? TRUE : FALSE; }

}  // namespace os
