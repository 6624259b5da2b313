#include "harness.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace e2e {

namespace {

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

std::vector<unsigned long> CardinalList(Display* d, Window w, const char* property, Atom type) {
    Atom actual;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::vector<unsigned long> out;
    if (XGetWindowProperty(d, w, XInternAtom(d, property, False), 0, 4096, False, type, &actual, &format,
                           &count, &after, &data) == Success && data != nullptr) {
        if (format == 32) {
            auto* values = reinterpret_cast<unsigned long*>(data);
            out.assign(values, values + count);
        }
        XFree(data);
    }
    return out;
}

}  // namespace

bool WaitFor(const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ready();
}

Desktop::Desktop() {
    if (std::getenv("DISPLAY") == nullptr) return;
    m_display = XOpenDisplay(nullptr);
    if (m_display) XSetErrorHandler(IgnoreErrors);
}

Desktop::~Desktop() {
    if (m_display) XCloseDisplay(m_display);
}

void Desktop::sync() { XSync(m_display, False); }

void Desktop::paint_root(unsigned rgb) {
    const Window root = DefaultRootWindow(m_display);
    XSetWindowBackground(m_display, root, rgb);
    XClearWindow(m_display, root);
    sync();
}

unsigned Desktop::pixel(int x, int y) {
    XImage* image = XGetImage(m_display, DefaultRootWindow(m_display), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xFFFFFFFFu;
    const unsigned value = static_cast<unsigned>(XGetPixel(image, 0, 0)) & 0xFFFFFFu;
    XDestroyImage(image);
    return value;
}

void Desktop::move_pointer(int x, int y) {
    XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
    sync();
}

void Desktop::press(int button) {
    XTestFakeButtonEvent(m_display, static_cast<unsigned>(button), True, CurrentTime);
    sync();
}

void Desktop::release(int button) {
    XTestFakeButtonEvent(m_display, static_cast<unsigned>(button), False, CurrentTime);
    sync();
}

void Desktop::click(int x, int y, int button) {
    move_pointer(x, y);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    press(button);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    release(button);
}

void Desktop::key(const char* keysym_name, bool alt, bool shift) {
    const KeyCode code = XKeysymToKeycode(m_display, XStringToKeysym(keysym_name));
    const KeyCode alt_code = XKeysymToKeycode(m_display, XStringToKeysym("Alt_L"));
    const KeyCode shift_code = XKeysymToKeycode(m_display, XStringToKeysym("Shift_L"));
    if (alt) XTestFakeKeyEvent(m_display, alt_code, True, CurrentTime);
    if (shift) XTestFakeKeyEvent(m_display, shift_code, True, CurrentTime);
    XTestFakeKeyEvent(m_display, code, True, CurrentTime);
    XTestFakeKeyEvent(m_display, code, False, CurrentTime);
    if (shift) XTestFakeKeyEvent(m_display, shift_code, False, CurrentTime);
    if (alt) XTestFakeKeyEvent(m_display, alt_code, False, CurrentTime);
    sync();
}

std::vector<Window> Desktop::windows_of(pid_t pid) {
    std::vector<Window> out;
    // Walk the whole tree: under a window manager clients sit inside frames.
    std::vector<Window> pending{DefaultRootWindow(m_display)};
    while (!pending.empty()) {
        const Window w = pending.back();
        pending.pop_back();
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(m_display, w, &root, &parent, &children, &count)) continue;
        for (unsigned i = 0; i < count; ++i) {
            const auto pids = CardinalList(m_display, children[i], "_NET_WM_PID", XA_CARDINAL);
            if (!pids.empty() && static_cast<pid_t>(pids[0]) == pid) {
                XWindowAttributes a;
                if (XGetWindowAttributes(m_display, children[i], &a) && a.map_state == IsViewable)
                    out.push_back(children[i]);
            } else {
                pending.push_back(children[i]);
            }
        }
        if (children) XFree(children);
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool Desktop::window_manager_runs() {
    return !atoms(DefaultRootWindow(m_display), "_NET_SUPPORTED").empty();
}

Window Desktop::find_now(pid_t pid, const std::function<bool(Window)>& match) {
    for (Window w : windows_of(pid))
        if (match(w)) return w;
    return 0;
}

Window Desktop::find(pid_t pid, const std::function<bool(Window)>& match, std::chrono::milliseconds timeout) {
    Window found = 0;
    WaitFor([&] { return (found = find_now(pid, match)) != 0; }, timeout);
    return found;
}

Window Desktop::panel_of(pid_t pid) {
    return find(pid, [&](Window w) { return name(w) == "Pixometer"; });
}

Rect Desktop::client_rect(Window w) {
    XWindowAttributes a{};
    Window child;
    int x = 0, y = 0;
    XGetWindowAttributes(m_display, w, &a);
    XTranslateCoordinates(m_display, w, DefaultRootWindow(m_display), 0, 0, &x, &y, &child);
    return {x, y, a.width, a.height};
}

Rect Desktop::frame_rect(Window w) {
    Rect r = client_rect(w);
    const auto extents = CardinalList(m_display, w, "_NET_FRAME_EXTENTS", XA_CARDINAL);
    if (extents.size() == 4) {
        const int left = static_cast<int>(extents[0]), right = static_cast<int>(extents[1]);
        const int top = static_cast<int>(extents[2]), bottom = static_cast<int>(extents[3]);
        r = {r.x - left, r.y - top, r.width + left + right, r.height + top + bottom};
    }
    return r;
}

std::string Desktop::name(Window w) {
    Atom actual;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string out;
    if (XGetWindowProperty(m_display, w, XInternAtom(m_display, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(m_display, "UTF8_STRING", False), &actual, &format, &count, &after,
                           &data) == Success && data) {
        out.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    if (out.empty()) {
        char* old = nullptr;
        if (XFetchName(m_display, w, &old) && old) {
            out = old;
            XFree(old);
        }
    }
    return out;
}

std::vector<std::string> Desktop::atoms(Window w, const char* property) {
    std::vector<std::string> out;
    for (unsigned long a : CardinalList(m_display, w, property, XA_ATOM)) {
        char* text = XGetAtomName(m_display, static_cast<Atom>(a));
        if (text) {
            out.emplace_back(text);
            XFree(text);
        }
    }
    return out;
}

bool Desktop::has_state(Window w, const char* state_atom) {
    for (const auto& a : atoms(w, "_NET_WM_STATE"))
        if (a == state_atom) return true;
    return false;
}

bool Desktop::is_iconic(Window w) {
    const Atom wm_state = XInternAtom(m_display, "WM_STATE", False);
    const auto values = CardinalList(m_display, w, "WM_STATE", wm_state);
    return !values.empty() && values[0] == IconicState;
}

std::vector<Window> Desktop::stacking() {
    std::vector<Window> out;
    for (unsigned long w : CardinalList(m_display, DefaultRootWindow(m_display), "_NET_CLIENT_LIST_STACKING",
                                        XA_WINDOW))
        out.push_back(static_cast<Window>(w));
    return out;
}

void Desktop::close(Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_display, w, False, NoEventMask, &e);
    sync();
}

void Desktop::move_window(Window w, int x, int y) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(m_display, "_NET_MOVERESIZE_WINDOW", False);
    e.xclient.format = 32;
    // North-west gravity, x and y given, source: a pager (a user's request).
    e.xclient.data.l[0] = 1 | (1 << 8) | (1 << 9) | (2 << 12);
    e.xclient.data.l[1] = x;
    e.xclient.data.l[2] = y;
    XSendEvent(m_display, DefaultRootWindow(m_display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
    sync();
}

void Desktop::drag(int from_x, int from_y, int dx, int dy, int button) {
    move_pointer(from_x, from_y);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    press(button);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    constexpr int kSteps = 10;
    for (int i = 1; i <= kSteps; ++i) {
        move_pointer(from_x + dx * i / kSteps, from_y + dy * i / kSteps);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    release(button);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

Window Desktop::create_window(const Rect& r, unsigned rgb, bool override_redirect) {
    XSetWindowAttributes attributes{};
    attributes.background_pixel = rgb;
    attributes.override_redirect = override_redirect ? True : False;
    const Window w = XCreateWindow(m_display, DefaultRootWindow(m_display), r.x, r.y,
                                   static_cast<unsigned>(r.width), static_cast<unsigned>(r.height), 0,
                                   CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWOverrideRedirect,
                                   &attributes);
    XSizeHints hints{};
    hints.flags = USPosition | PPosition;
    hints.x = r.x;
    hints.y = r.y;
    XSetWMNormalHints(m_display, w, &hints);
    XStoreName(m_display, w, "e2e helper");
    XMapWindow(m_display, w);
    sync();
    return w;
}

void Desktop::destroy_window(Window w) {
    XDestroyWindow(m_display, w);
    sync();
}

// ---- Program -------------------------------------------------------------
std::string MakeTempHome() {
    char pattern[] = "/tmp/pixometer-e2e-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "/tmp";
}

void RemoveTree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

Program::Program(const std::string& home) : m_home(home) {
    if (m_home.empty()) {
        m_home = MakeTempHome();
        m_own_home = true;
    }
    m_pid = fork();
    if (m_pid == 0) {
        setenv("HOME", m_home.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        execl(PIXOMETER_BINARY, PIXOMETER_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
}

Program::~Program() {
    kill_now();
    if (m_own_home) RemoveTree(m_home);
}

bool Program::running() {
    if (m_pid <= 0) return false;
    return waitpid(m_pid, nullptr, WNOHANG) == 0;
}

bool Program::wait_exit(std::chrono::milliseconds timeout, int* status) {
    if (m_pid <= 0) return true;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int s = 0;
        const pid_t r = waitpid(m_pid, &s, WNOHANG);
        if (r == m_pid) {
            if (status) *status = s;
            m_pid = -1;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void Program::kill_now() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

}  // namespace e2e
