// What the end-to-end tests use to drive the real program on an X server:
// start it with a fresh HOME, find its windows, move and click the pointer
// through XTest, read pixels from the screen and window-manager state.
#pragma once

// gtest first: Xlib defines macros (None, Bool) that its headers trip over.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// One connection to the display named by DISPLAY.
class Desktop {
public:
    Desktop();
    ~Desktop();
    bool ok() const { return m_display != nullptr; }
    Display* display() const { return m_display; }

    void paint_root(unsigned rgb);
    unsigned pixel(int x, int y);  // 0xRRGGBB of what the screen shows
    void move_pointer(int x, int y);
    void press(int button);
    void release(int button);
    void click(int x, int y, int button = 1);
    void key(const char* keysym_name, bool alt = false, bool shift = false);
    void sync();

    bool window_manager_runs();
    // Viewable windows of a process (by _NET_WM_PID), in creation order.
    std::vector<Window> windows_of(pid_t pid);
    // The first window of the process that matches, now (0 when none).
    Window find_now(pid_t pid, const std::function<bool(Window)>& match);
    // The same, waiting for it up to the timeout.
    Window find(pid_t pid, const std::function<bool(Window)>& match,
                std::chrono::milliseconds timeout = std::chrono::seconds(10));
    Window panel_of(pid_t pid);  // the window titled "Pixometer"
    Rect client_rect(Window w);     // screen coordinates
    Rect frame_rect(Window w);      // including the window manager's frame
    std::string name(Window w);
    std::vector<std::string> atoms(Window w, const char* property);
    bool has_state(Window w, const char* state_atom);
    bool is_iconic(Window w);
    std::vector<Window> stacking();  // _NET_CLIENT_LIST_STACKING, bottom first
    void close(Window w);            // a WM_DELETE_WINDOW request
    // Asks the window manager to put the window's frame corner at x, y.
    void move_window(Window w, int x, int y);
    // Presses `button` at `from`, moves the pointer in steps by dx, dy, releases.
    void drag(int from_x, int from_y, int dx, int dy, int button);
    Window create_window(const Rect& r, unsigned rgb, bool override_redirect = false);
    void destroy_window(Window w);

private:
    Display* m_display = nullptr;
};

// The real program, started with a HOME of its own.
class Program {
public:
    explicit Program(const std::string& home = "");
    ~Program();
    pid_t pid() const { return m_pid; }
    const std::string& home() const { return m_home; }
    bool running();
    // Waits for the process to end; false if it is still running at the deadline.
    bool wait_exit(std::chrono::milliseconds timeout, int* status = nullptr);
    void kill_now();

private:
    pid_t m_pid = -1;
    std::string m_home;
    bool m_own_home = false;
};

std::string MakeTempHome();
void RemoveTree(const std::string& path);

// A test with a window manager running and a HOME of its own that several
// starts of the program can share.
class FreshHomeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!desk.ok()) GTEST_SKIP() << "no X display";
        if (!desk.window_manager_runs()) GTEST_SKIP() << "needs a window manager";
        home = MakeTempHome();
        desk.move_pointer(1000, 750);
    }
    void TearDown() override {
        if (!home.empty()) RemoveTree(home);
    }
    Window panel_of(Program& program) { return desk.panel_of(program.pid()); }

    Desktop desk;
    std::string home;
};

// Polls `ready` every 10 ms until it holds or the timeout passes.
bool WaitFor(const std::function<bool()>& ready, std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace e2e
