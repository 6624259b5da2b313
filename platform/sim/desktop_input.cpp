// Messages, the paint cycle, virtual time, user input, the caption drag and
// message boxes of the simulated desktop.
#include <stdexcept>

#include "platform/sim/desktop.h"

namespace sim::detail {
namespace {

// A message loop that never runs dry is a bug in the program under test; fail
// the test instead of hanging it.
constexpr int kPumpWatchdog = 1'000'000;

enum class Press { Down, Up, DoubleDown };

os::UINT ButtonMessage(int button, Press press) {
    const os::UINT base = button == 2 ? os::WM_MBUTTONDOWN
                          : button == 3 ? os::WM_RBUTTONDOWN
                                        : os::WM_LBUTTONDOWN;
    return base + (press == Press::Up ? 1u : press == Press::DoubleDown ? 2u : 0u);
}

int ButtonBit(int button) { return 1 << (button == 2 || button == 3 ? button - 1 : 0); }

// The character a key types, 0 for keys that type none.
int CharOf(int vk, bool shift) {
    if (vk >= 'A' && vk <= 'Z') return shift ? vk : vk + ('a' - 'A');
    if (vk >= '0' && vk <= '9') return vk;
    switch (vk) {
        case os::VK_BACK:
        case os::VK_TAB:
        case os::VK_RETURN:
        case os::VK_ESCAPE:
        case os::VK_SPACE:
            return vk;
        default:
            return 0;
    }
}

}  // namespace

// ---- Messages ------------------------------------------------------------------

os::LRESULT Desktop::Send(os::HWND hwnd, os::UINT msg, os::WPARAM w, os::LPARAM l) {
    const Window* win = Find(hwnd);
    if (!win) return 0;
    if (win->foreign || win->proc == 0) return DefProc(hwnd, msg, w, l);
    return reinterpret_cast<os::WNDPROC>(win->proc)(hwnd, msg, w, l);
}

// Only procedures this desktop has seen installed are called: a value cut to
// 32 bits or made up would otherwise be a jump into nowhere.
os::LRESULT Desktop::CallProc(os::LONG_PTR proc, os::HWND hwnd, os::UINT msg, os::WPARAM w,
                              os::LPARAM l) {
    if (proc == 0 || !m_known_procs.count(proc)) return 0;
    return reinterpret_cast<os::WNDPROC>(proc)(hwnd, msg, w, l);
}

os::LRESULT Desktop::DefProc(os::HWND hwnd, os::UINT msg, os::WPARAM w, os::LPARAM l) {
    (void)l;
    Window* win = Find(hwnd);
    if (!win) return 0;
    switch (msg) {
        case os::WM_CLOSE:
            Destroy(hwnd);
            return 0;
        case os::WM_NCLBUTTONDOWN:
            // The move lasts while a button is held; without one there is
            // nothing to follow.
            if (w == os::HTCAPTION && m_buttons_down != 0)
                m_drag = CaptionDrag{hwnd, m_cursor, win->outer};
            return 0;
        case os::WM_PAINT:
            win->invalid.reset();
            return 0;
        case os::WM_SYSCOMMAND:
            break;
        default:
            return 0;
    }
    switch (w & 0xFFF0) {  // Windows uses the low four bits internally
        case os::SC_MINIMIZE:
            Show(hwnd, os::SW_MINIMIZE);
            break;
        case os::SC_MAXIMIZE:
            Show(hwnd, os::SW_MAXIMIZE);
            break;
        case os::SC_RESTORE:
            Show(hwnd, os::SW_RESTORE);
            break;
        case os::SC_CLOSE:
            Send(hwnd, os::WM_CLOSE, 0, 0);
            break;
        default:
            break;
    }
    return 0;
}

bool Desktop::Post(os::HWND hwnd, os::UINT msg, os::WPARAM w, os::LPARAM l) {
    if (hwnd != 0 && !Find(hwnd)) return false;
    m_posted.push_back({hwnd, msg, w, l});
    return true;
}

// Posted messages first, then the quit, then paint, as Windows orders them.
// An empty queue answers FALSE so that a loop under test ends.
os::BOOL Desktop::GetMessage(os::MSG* msg) {
    os::MSG next;
    os::BOOL result = os::FALSE;
    if (!m_posted.empty()) {
        next = m_posted.front();
        m_posted.pop_front();
        result = os::TRUE;
    } else if (m_quit) {
        next.message = os::WM_QUIT;
    } else {
        for (const auto& [h, win] : m_windows)
            if (win.invalid && win.visible && !win.foreign) {
                next = {h, os::WM_PAINT, 0, 0};
                result = os::TRUE;
                break;
            }
    }
    if (msg) *msg = next;
    return result;
}

void Desktop::Pump() {
    for (int handled = 0; handled < kPumpWatchdog; ++handled) {
        if (!m_posted.empty()) {
            const os::MSG m = m_posted.front();
            m_posted.pop_front();
            Send(m.hwnd, m.message, m.wParam, m.lParam);
        } else if (!PaintOne()) {
            return;
        }
    }
    throw std::runtime_error("sim: the message queue never ran dry");
}

// Sends WM_PAINT to the first window that needs it. A procedure that neither
// paints nor passes the message on would be asked again forever; its invalid
// area is dropped instead.
bool Desktop::PaintOne() {
    for (auto& [h, win] : m_windows) {
        if (!win.invalid || !win.visible || win.foreign) continue;
        const os::HWND hwnd = h;
        const std::uint64_t paints_before = m_paints_begun;
        Send(hwnd, os::WM_PAINT, 0, 0);
        if (Window* after = Find(hwnd); after && m_paints_begun == paints_before)
            after->invalid.reset();
        return true;
    }
    return false;
}

// ---- Timers and virtual time -------------------------------------------------------

os::UINT_PTR Desktop::SetTimer(os::HWND hwnd, os::UINT_PTR id, os::UINT ms) {
    const Window* win = Find(hwnd);
    if (!win || win->foreign) return 0;
    const os::UINT period = ms == 0 ? 1 : ms;
    for (Timer& t : m_timers)
        if (t.hwnd == hwnd && t.id == id) {
            t.period = period;
            t.due = m_now + period;
            return id == 0 ? 1 : id;
        }
    m_timers.push_back({hwnd, id, period, m_now + period});
    return id == 0 ? 1 : id;
}

bool Desktop::KillTimer(os::HWND hwnd, os::UINT_PTR id) {
    return std::erase_if(m_timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }) > 0;
}

void Desktop::Advance(int ms) {
    for (int i = 0; i < ms; ++i) {
        ++m_now;
        DeliverTimers();
        Pump();
    }
}

// A tick's handler may kill timers, destroy windows or open a message box
// that advances time itself, so each due timer is looked up again before it
// is delivered.
void Desktop::DeliverTimers() {
    std::vector<std::pair<os::HWND, os::UINT_PTR>> due;
    for (const Timer& t : m_timers)
        if (t.due <= m_now) due.emplace_back(t.hwnd, t.id);
    for (const auto& [hwnd, id] : due) {
        auto it = std::find_if(m_timers.begin(), m_timers.end(),
                               [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
        if (it == m_timers.end() || it->due > m_now) continue;
        it->due = m_now + it->period;
        Send(hwnd, os::WM_TIMER, static_cast<os::WPARAM>(id), 0);
    }
}

bool Desktop::SetProc(os::HWND hwnd, os::LONG_PTR proc, os::LONG_PTR* previous) {
    Window* win = Find(hwnd);
    if (!win || win->foreign || proc == 0) return false;
    *previous = win->proc;
    win->proc = proc;
    m_known_procs.insert(proc);
    return true;
}

// ---- Input ------------------------------------------------------------------------

os::HWND Desktop::SetCapture(os::HWND hwnd) {
    const os::HWND previous = m_capture;
    if (Find(hwnd)) m_capture = hwnd;
    return previous;
}

bool Desktop::ReleaseCapture() {
    m_capture = 0;
    return true;
}

os::WPARAM Desktop::HeldButtons() const {
    os::WPARAM flags = 0;
    if (m_buttons_down & 1) flags |= os::MK_LBUTTON;
    if (m_buttons_down & 2) flags |= os::MK_MBUTTON;
    if (m_buttons_down & 4) flags |= os::MK_RBUTTON;
    return flags;
}

os::HWND Desktop::InputTarget(os::POINT p) const {
    if (m_capture && Find(m_capture)) return m_capture;
    return TopWindowAt(p);
}

void Desktop::SendMouse(os::HWND hwnd, os::UINT msg, os::POINT screen, os::WPARAM flags) {
    const os::RECT client = ClientRect(m_windows.at(hwnd));
    Send(hwnd, msg, flags, os::MAKELPARAM(screen.x - client.left, screen.y - client.top));
}

// Presses outside a framed window's client area only matter on the caption
// bar, where the left button starts the system's move.
void Desktop::MouseEvent(int x, int y, int button, int kind, bool shift) {
    const Press press = static_cast<Press>(kind);
    m_cursor = {x, y};
    if (press == Press::Up) m_buttons_down &= ~ButtonBit(button);
    else m_buttons_down |= ButtonBit(button);
    if (m_drag) {
        if (m_buttons_down == 0) m_drag.reset();
        return;  // the move owns the mouse until every button is up
    }
    if (InputHeld()) return;
    const os::HWND target = InputTarget(m_cursor);
    // A press activates what it lands on, another application's window or
    // the desktop included; keys then no longer reach the program.
    if (press != Press::Up) SetForeground(target);
    const Window* win = Find(target);
    if (!win || win->foreign) return;
    const os::RECT client = ClientRect(*Find(target));
    const bool in_client = x >= client.left && y >= client.top && x < client.right && y < client.bottom;
    if (in_client || m_capture == target) {
        const os::WPARAM flags = HeldButtons() | (shift ? os::MK_SHIFT : 0);
        SendMouse(target, ButtonMessage(button, press), m_cursor, flags);
    } else if (press == Press::Down && button == 1 && y < client.top) {
        Send(target, os::WM_NCLBUTTONDOWN, os::HTCAPTION, os::MAKELPARAM(x, y));
    }
}

void Desktop::MouseMove(int x, int y) {
    m_cursor = {x, y};
    if (m_drag) {
        Window* win = Find(m_drag->hwnd);
        if (!win) return;
        const int dx = x - m_drag->start_cursor.x;
        const int dy = y - m_drag->start_cursor.y;
        const os::RECT& s = m_drag->start_outer;
        MoveWindow(*win, {s.left + dx, s.top + dy, s.right + dx, s.bottom + dy});
        return;
    }
    if (InputHeld()) return;
    const os::HWND target = InputTarget(m_cursor);
    const Window* win = Find(target);
    if (!win || win->foreign) return;
    const os::RECT client = ClientRect(*win);
    const bool in_client = x >= client.left && y >= client.top && x < client.right && y < client.bottom;
    if (in_client || m_capture == target) SendMouse(target, os::WM_MOUSEMOVE, m_cursor, HeldButtons());
}

void Desktop::MouseDoubleClick(int x, int y) {
    MouseEvent(x, y, 1, static_cast<int>(Press::Down), false);
    MouseEvent(x, y, 1, static_cast<int>(Press::Up), false);
    MouseEvent(x, y, 1, static_cast<int>(Press::DoubleDown), false);
    MouseEvent(x, y, 1, static_cast<int>(Press::Up), false);
}

void Desktop::Key(int vk, bool alt, bool shift) {
    if (InputHeld()) return;
    const os::HWND target = m_foreground;
    const Window* win = Find(target);
    if (!win || win->foreign) return;
    const os::LPARAM flags = alt ? os::KF_ALTDOWN_LPARAM : 0;
    Send(target, alt ? os::WM_SYSKEYDOWN : os::WM_KEYDOWN, vk, flags);
    const int ch = alt ? 0 : CharOf(vk, shift);
    if (ch && Find(target)) Send(target, os::WM_CHAR, ch, 0);
    if (Find(target)) Send(target, alt ? os::WM_SYSKEYUP : os::WM_KEYUP, vk, flags);
}

// ---- Message boxes -----------------------------------------------------------------

int Desktop::MessageBox(os::HWND owner, const char* text, const char* caption, os::UINT type) {
    const MessageBoxRecord record{owner, text ? text : "", caption ? caption : "Error", type};
    m_boxes.push_back(record);
    struct ModalScope {
        int& depth;
        explicit ModalScope(int& d) : depth(d) { ++depth; }
        ~ModalScope() { --depth; }
    } scope(m_modal_depth);
    return m_box_answer ? m_box_answer(record) : os::IDOK;
}

void Desktop::OnMessageBox(std::function<int(const MessageBoxRecord&)> answer) {
    m_box_answer = std::move(answer);
}

}  // namespace sim::detail
