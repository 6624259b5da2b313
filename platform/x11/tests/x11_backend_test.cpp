// The X11 backend on a real X server (Xvfb, with or without openbox).
//
// The test's own second connection (the observer) plays the other programs
// on the desktop and the user's hands (XTest), and reads what the server
// really holds. Every wait has a watchdog, so a broken loop fails the test
// instead of hanging it.
// gtest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/os.h"
#include "platform/x11/backend.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr os::UINT kProbe = 0x0400;  // a private message number

// What the test window procedure saw, and what it should do on the way.
struct Recorder {
    std::vector<os::MSG> seen;
    std::function<bool(os::HWND, os::UINT, os::WPARAM, os::LPARAM)> handle;  // true = handled
    int count(os::UINT message) const {
        return static_cast<int>(std::count_if(seen.begin(), seen.end(),
                                              [message](const os::MSG& m) { return m.message == message; }));
    }
};
Recorder* recorder = nullptr;

os::LRESULT record_proc(os::HWND hwnd, os::UINT message, os::WPARAM wParam, os::LPARAM lParam) {
    recorder->seen.push_back({hwnd, message, wParam, lParam});
    if (recorder->handle && recorder->handle(hwnd, message, wParam, lParam)) return 0;
    if (message == kProbe) return 42;
    if (message == os::WM_CLOSE) return 0;  // the tests' sync marker; nothing closes
    return os::DefWindowProcA(hwnd, message, wParam, lParam);
}

os::LONG_PTR hook_previous = 0;
int hook_calls = 0;

os::LRESULT hook_proc(os::HWND hwnd, os::UINT message, os::WPARAM wParam, os::LPARAM lParam) {
    if (message == kProbe) ++hook_calls;
    return os::CallWindowProcA(hook_previous, hwnd, message, wParam, lParam);
}

// The server under test may turn a connection away for a moment when busy.
Display* open_display() {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (Display* d = XOpenDisplay(nullptr)) return d;
        std::this_thread::sleep_for(20ms);
    }
    return nullptr;
}

class X11Backend : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X server (DISPLAY unset)";
        const char* reason = "";
        ASSERT_TRUE(os::StartUp(&reason)) << reason;
        observer_ = open_display();
        ASSERT_NE(observer_, nullptr);
        root_ = DefaultRootWindow(observer_);
        recorder = &recorder_;
    }

    void TearDown() override {
        if (observer_) {
            for (Window w : foreign_) XDestroyWindow(observer_, w);
            XCloseDisplay(observer_);
        }
        os::ShutDown();
        recorder = nullptr;
    }

    os::HWND make_window(int x, int y, int width, int height, bool framed,
                         os::COLORREF background = os::RGB(0, 0, 0)) {
        os::FormWindowSpec form;
        form.title = "Backend test";
        form.x = x;
        form.y = y;
        form.client_width = width;
        form.client_height = height;
        form.framed = framed;
        form.background = background;
        form.proc = record_proc;
        return os::CreateFormWindow(form);
    }

    // Runs the backend's message loop until done() holds; false when the
    // watchdog fired first.
    static bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms) {
        const os::UINT_PTR watchdog = os::SetTimer(0, 0, 10);
        const auto deadline = Clock::now() + limit;
        bool ok = true;
        while (!done()) {
            os::MSG msg;
            if (Clock::now() > deadline || !os::GetMessageA(&msg)) {
                ok = false;
                break;
            }
            os::DispatchMessageA(&msg);
        }
        os::KillTimer(0, watchdog);
        return ok;
    }

    // Everything the server sent the backend before now has been handled
    // once the marker (a close request) comes through the window procedure.
    bool sync_backend(os::HWND hwnd) {
        const int before = recorder_.count(os::WM_CLOSE);
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = static_cast<Window>(hwnd);
        ev.xclient.message_type = XInternAtom(observer_, "WM_PROTOCOLS", False);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = static_cast<long>(XInternAtom(observer_, "WM_DELETE_WINDOW", False));
        XSendEvent(observer_, static_cast<Window>(hwnd), False, NoEventMask, &ev);
        XSync(observer_, False);
        return pump_until([&] { return recorder_.count(os::WM_CLOSE) > before; });
    }

    bool wm_running() {
        return !read_longs(root_, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty();
    }

    std::vector<long> read_longs(Window w, const char* property, Atom type) {
        Atom actual = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<long> values;
        if (XGetWindowProperty(observer_, w, XInternAtom(observer_, property, False), 0, 1024, False, type,
                               &actual, &format, &count, &after, &data) == Success &&
            data && format == 32) {
            const auto* longs = reinterpret_cast<const long*>(data);
            values.assign(longs, longs + count);
        }
        if (data) XFree(data);
        return values;
    }

    bool has_state(os::HWND hwnd, const char* state) {
        const std::vector<long> atoms = read_longs(static_cast<Window>(hwnd), "_NET_WM_STATE", XA_ATOM);
        const long wanted = static_cast<long>(XInternAtom(observer_, state, False));
        return std::find(atoms.begin(), atoms.end(), wanted) != atoms.end();
    }

    os::POINT client_on_screen(os::HWND hwnd) {
        int x = -99999, y = -99999;
        Window child = 0;
        XTranslateCoordinates(observer_, static_cast<Window>(hwnd), root_, 0, 0, &x, &y, &child);
        return {x, y};
    }

    bool viewable(os::HWND hwnd) {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(observer_, static_cast<Window>(hwnd), &attributes) &&
               attributes.map_state == IsViewable;
    }

    // Frame thickness the window manager reports (all 0 without one).
    std::vector<long> extents(os::HWND hwnd) {
        std::vector<long> e = read_longs(static_cast<Window>(hwnd), "_NET_FRAME_EXTENTS", XA_CARDINAL);
        return e.size() == 4 ? e : std::vector<long>{0, 0, 0, 0};
    }

    bool shown_and_placed(os::HWND hwnd) {
        XSync(observer_, False);
        if (!viewable(hwnd)) return false;
        return !wm_running() || !read_longs(static_cast<Window>(hwnd), "WM_STATE", XInternAtom(observer_, "WM_STATE", False)).empty();
    }

    // Whether `ours` is above `other` among the root's children.
    bool stacked_above(os::HWND ours, Window other) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(observer_, root_, &root, &parent, &children, &count)) return false;
        int ours_at = -1, other_at = -1;
        for (unsigned int i = 0; i < count; ++i) {
            if (children[i] == static_cast<Window>(ours)) ours_at = static_cast<int>(i);
            if (children[i] == other) other_at = static_cast<int>(i);
        }
        if (children) XFree(children);
        return ours_at > other_at && other_at >= 0;
    }

    // Another program's window: override-redirect, one flat colour.
    Window foreign_window(int x, int y, int width, int height, int r, int g, int b) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = static_cast<unsigned long>((r << 16) | (g << 8) | b);
        const Window w = XCreateWindow(observer_, root_, x, y, static_cast<unsigned>(width),
                                       static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                                       CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
        XMapRaised(observer_, w);
        XSync(observer_, False);
        foreign_.push_back(w);
        return w;
    }

    Display* observer_ = nullptr;
    Window root_ = 0;
    std::vector<Window> foreign_;
    Recorder recorder_;
};

TEST_F(X11Backend, FramedWindowPutsItsFrameTopLeftAtTheRequestedPoint) {
    const os::HWND hwnd = make_window(100, 120, 181, 92, true);
    ASSERT_NE(hwnd, 0);
    os::ShowWindow(hwnd, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return shown_and_placed(hwnd); }));
    const std::vector<long> e = extents(hwnd);
    const os::POINT client{100 + static_cast<int>(e[0]), 120 + static_cast<int>(e[2])};
    ASSERT_TRUE(pump_until([&] {
        const os::POINT now = client_on_screen(hwnd);
        return now.x == client.x && now.y == client.y;
    })) << "client at " << client_on_screen(hwnd).x << "," << client_on_screen(hwnd).y;
    ASSERT_TRUE(sync_backend(hwnd));
    os::RECT rect;
    ASSERT_TRUE(os::GetWindowRect(hwnd, &rect));
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, 120);
    EXPECT_EQ(rect.right, 100 + e[0] + 181 + e[1]);
    EXPECT_EQ(rect.bottom, 120 + e[2] + 92 + e[3]);
    os::RECT client_rect;
    ASSERT_TRUE(os::GetClientRect(hwnd, &client_rect));
    EXPECT_EQ(client_rect.right, 181);
    EXPECT_EQ(client_rect.bottom, 92);
}

TEST_F(X11Backend, MovingAShownWindowMovesItsFrame) {
    const os::HWND hwnd = make_window(100, 120, 120, 60, true);
    os::ShowWindow(hwnd, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return shown_and_placed(hwnd); }));
    ASSERT_TRUE(os::SetWindowPos(hwnd, 0, 333, 222, 0, 0, os::SWP_NOSIZE | os::SWP_NOZORDER));
    const std::vector<long> e = extents(hwnd);
    ASSERT_TRUE(pump_until([&] {
        const os::POINT now = client_on_screen(hwnd);
        return now.x == 333 + e[0] && now.y == 222 + e[2];
    }));
    ASSERT_TRUE(sync_backend(hwnd));
    os::RECT rect;
    ASSERT_TRUE(os::GetWindowRect(hwnd, &rect));
    EXPECT_EQ(rect.left, 333);
    EXPECT_EQ(rect.top, 222);
}

TEST_F(X11Backend, GetPixelReadsWhatTheScreenShowsUnderAForeignWindow) {
    const Window other = foreign_window(300, 300, 50, 40, 200, 30, 90);
    const os::HDC screen = os::GetDC(0);
    ASSERT_NE(screen, 0);
    EXPECT_EQ(os::GetPixel(screen, 310, 320), os::RGB(200, 30, 90));
    EXPECT_EQ(os::ReleaseDC(0, screen), 1);

    const os::HWND under = os::WindowFromPoint({310, 320});
    EXPECT_EQ(static_cast<Window>(under), other);
    const os::HDC dc = os::GetDC(under);
    ASSERT_NE(dc, 0);
    EXPECT_EQ(os::GetPixel(dc, 10, 20), os::RGB(200, 30, 90));
    EXPECT_EQ(os::GetPixel(dc, 50, 0), os::CLR_INVALID);  // just right of the window
    EXPECT_EQ(os::GetPixel(dc, -1, 0), os::CLR_INVALID);
    os::POINT point{310, 320};
    ASSERT_TRUE(os::ScreenToClient(under, &point));
    EXPECT_EQ(point.x, 10);
    EXPECT_EQ(point.y, 20);

    const os::HDC image = os::CreateImageDC(4, 4, os::RGB(1, 2, 3));
    ASSERT_TRUE(os::BitBlt(image, 0, 0, 1, 1, dc, 5, 5, os::SRCCOPY));
    EXPECT_EQ(os::GetPixel(image, 0, 0), os::RGB(200, 30, 90));
    EXPECT_FALSE(os::BitBlt(image, 1, 1, 1, 1, dc, 70, 5, os::SRCCOPY));  // outside the source
    EXPECT_EQ(os::GetPixel(image, 1, 1), os::RGB(1, 2, 3));
    EXPECT_TRUE(os::DeleteDC(image));
    EXPECT_EQ(os::ReleaseDC(under, dc), 1);
}

TEST_F(X11Backend, PaintedWindowShowsItsPaintOnTheScreen) {
    const os::COLORREF paint = os::RGB(10, 200, 60);
    bool painted = false;
    recorder_.handle = [&](os::HWND hwnd, os::UINT message, os::WPARAM, os::LPARAM) {
        if (message != os::WM_PAINT) return false;
        os::RECT area;
        const os::HDC dc = os::BeginPaint(hwnd, &area);
        const os::RECT half{0, 0, 30, 40};
        os::FillRect(dc, &half, paint);
        const os::HDC image = os::CreateImageDC(8, 8, os::RGB(250, 5, 5));
        os::BitBlt(dc, 40, 30, 8, 8, image, 0, 0, os::SRCCOPY);
        os::DeleteDC(image);
        os::EndPaint(hwnd);
        painted = true;
        return true;
    };
    const os::HWND hwnd = make_window(420, 100, 60, 40, false, os::RGB(0, 0, 255));
    os::SetWindowPos(hwnd, os::HWND_TOPMOST, 0, 0, 0, 0, os::SWP_NOMOVE | os::SWP_NOSIZE);
    os::ShowWindow(hwnd, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return painted && shown_and_placed(hwnd); }));
    ASSERT_TRUE(sync_backend(hwnd));
    const os::HDC dc = os::GetDC(hwnd);
    ASSERT_NE(dc, 0);
    EXPECT_EQ(os::GetPixel(dc, 5, 5), paint);
    EXPECT_EQ(os::GetPixel(dc, 45, 5), os::RGB(0, 0, 255));  // the unpainted half: background
    EXPECT_EQ(os::GetPixel(dc, 43, 33), os::RGB(250, 5, 5));  // the image blitted there
    EXPECT_EQ(os::GetPixel(dc, 60, 5), os::CLR_INVALID);     // outside the client area
    EXPECT_EQ(os::WindowFromPoint({425, 105}), hwnd);
    os::ReleaseDC(hwnd, dc);
}

TEST_F(X11Backend, TextIsDrawnInsideItsRectangleWithAnyFont) {
    const os::HFONT bold = os::CreateFontA(11, os::FW_BOLD, os::FALSE, os::FALSE, os::FALSE, 0, "MS Sans Serif");
    const os::HFONT missing = os::CreateFontA(11, os::FW_NORMAL, os::FALSE, os::FALSE, os::FALSE, 0, "No Such Face 123");
    ASSERT_NE(bold, 0);
    ASSERT_NE(missing, 0);
    os::SIZE size{-1, -1};
    ASSERT_TRUE(os::GetTextExtentPoint32A(missing, "Horizontal", 10, &size));
    EXPECT_GT(size.cx, 20);
    EXPECT_GT(size.cy, 5);
    bool painted = false;
    recorder_.handle = [&](os::HWND hwnd, os::UINT message, os::WPARAM, os::LPARAM) {
        if (message != os::WM_PAINT) return false;
        os::RECT area;
        const os::HDC dc = os::BeginPaint(hwnd, &area);
        const os::RECT left{0, 0, 50, 30};
        os::DrawTextA(dc, "WWWW WWWW WWWW", &left, os::DT_LEFT | os::DT_VCENTER | os::DT_SINGLELINE, bold,
                      os::RGB(255, 255, 255));
        os::EndPaint(hwnd);
        painted = true;
        return true;
    };
    const os::HWND hwnd = make_window(520, 100, 100, 30, false, os::RGB(0, 0, 0));
    os::SetWindowPos(hwnd, os::HWND_TOPMOST, 0, 0, 0, 0, os::SWP_NOMOVE | os::SWP_NOSIZE);
    os::ShowWindow(hwnd, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return painted && shown_and_placed(hwnd); }));
    ASSERT_TRUE(sync_backend(hwnd));
    const os::HDC dc = os::GetDC(hwnd);
    int lit_inside = 0, lit_outside = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x)
            if (os::GetPixel(dc, x, y) != os::RGB(0, 0, 0)) ++(x < 50 ? lit_inside : lit_outside);
    os::ReleaseDC(hwnd, dc);
    EXPECT_GT(lit_inside, 20);
    EXPECT_EQ(lit_outside, 0);  // clipped to the rectangle
    EXPECT_TRUE(os::DeleteObject(bold));
    EXPECT_FALSE(os::DeleteObject(bold));
    EXPECT_TRUE(os::DeleteObject(missing));
}

// Bold text uses the family's own bold face, not the regular one drawn
// heavier or left as it is, whichever configuration the fonts come from.
TEST_F(X11Backend, RegularAndBoldComeFromTheirOwnFaces) {
    const os::HFONT regular = os::CreateFontA(11, os::FW_NORMAL, os::FALSE, os::FALSE, os::FALSE, 0, "MS Sans Serif");
    const os::HFONT bold = os::CreateFontA(11, os::FW_BOLD, os::FALSE, os::FALSE, os::FALSE, 0, "MS Sans Serif");
    ASSERT_NE(regular, 0);
    ASSERT_NE(bold, 0);
    auto face = [](os::HFONT font, int* weight) {
        const XftFont* xft = x11::font_of(font);
        FcChar8* file = nullptr;
        if (!xft || FcPatternGetString(xft->pattern, FC_FILE, 0, &file) != FcResultMatch) return std::string();
        FcPatternGetInteger(xft->pattern, FC_WEIGHT, 0, weight);
        return std::string(reinterpret_cast<const char*>(file));
    };
    int regular_weight = -1, bold_weight = -1;
    const std::string regular_file = face(regular, &regular_weight);
    const std::string bold_file = face(bold, &bold_weight);
    EXPECT_FALSE(regular_file.empty());
    EXPECT_NE(regular_file, bold_file);
    EXPECT_LT(regular_weight, FC_WEIGHT_BOLD);
    EXPECT_GE(bold_weight, FC_WEIGHT_BOLD);
    os::DeleteObject(regular);
    os::DeleteObject(bold);
}

TEST_F(X11Backend, TopmostIsAboveStateBeforeAndAfterMapping) {
    const os::HWND early = make_window(50, 50, 80, 30, true);
    ASSERT_TRUE(os::SetWindowPos(early, os::HWND_TOPMOST, 0, 0, 0, 0, os::SWP_NOMOVE | os::SWP_NOSIZE));
    XSync(observer_, False);
    ASSERT_TRUE(pump_until([&] { return has_state(early, "_NET_WM_STATE_ABOVE"); }));
    os::ShowWindow(early, os::SW_SHOW);
    const os::HWND late = make_window(150, 50, 80, 30, true);
    os::ShowWindow(late, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return shown_and_placed(early) && shown_and_placed(late); }));
    ASSERT_TRUE(os::SetWindowPos(late, os::HWND_TOPMOST, 0, 0, 0, 0, os::SWP_NOMOVE | os::SWP_NOSIZE));
    if (!wm_running()) {
        // Nobody else keeps it on top: a window opened later over it is
        // answered by raising it again.
        const Window later = foreign_window(140, 40, 100, 60, 0, 0, 0);
        EXPECT_TRUE(pump_until([&] { return stacked_above(late, later); }));
        return;
    }
    EXPECT_TRUE(pump_until([&] {
        return has_state(early, "_NET_WM_STATE_ABOVE") && has_state(late, "_NET_WM_STATE_ABOVE");
    }));
    os::SetWindowPos(late, os::HWND_NOTOPMOST, 0, 0, 0, 0, os::SWP_NOMOVE | os::SWP_NOSIZE);
    EXPECT_TRUE(pump_until([&] { return !has_state(late, "_NET_WM_STATE_ABOVE"); }));
}

TEST_F(X11Backend, CaptionDragWithTheRightButtonMovesTheWindow) {
    std::atomic<bool> drag_asked{false};
    recorder_.handle = [&](os::HWND hwnd, os::UINT message, os::WPARAM, os::LPARAM) {
        if (message != os::WM_LBUTTONDOWN && message != os::WM_RBUTTONDOWN) return false;
        drag_asked = true;
        os::ReleaseCapture();
        os::SendMessageA(hwnd, os::WM_NCLBUTTONDOWN, os::HTCAPTION, 0);
        return true;
    };
    const os::HWND hwnd = make_window(200, 400, 100, 40, false, os::RGB(90, 90, 90));
    os::ShowWindow(hwnd, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return shown_and_placed(hwnd); }));
    ASSERT_TRUE(sync_backend(hwnd));
    const os::POINT before = client_on_screen(hwnd);
    os::RECT outer_before;
    os::GetWindowRect(hwnd, &outer_before);

    // The user's hand, on its own connection: the backend's drag may block
    // this thread's message loop while the button is down.
    std::atomic<bool> released{false};
    std::thread hand([&] {
        Display* d = open_display();
        if (!d) return;
        XTestFakeMotionEvent(d, -1, before.x + 20, before.y + 10, CurrentTime);
        XTestFakeButtonEvent(d, 3, True, CurrentTime);
        XSync(d, False);
        for (int i = 0; i < 500 && !drag_asked; ++i) std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(200ms);  // let whoever moves it take the pointer
        for (int step = 1; step <= 10; ++step) {
            XTestFakeMotionEvent(d, -1, before.x + 20 + 8 * step, before.y + 10 + 4 * step, CurrentTime);
            XSync(d, False);
            std::this_thread::sleep_for(20ms);
        }
        XTestFakeButtonEvent(d, 3, False, CurrentTime);
        XSync(d, False);
        XCloseDisplay(d);
        released = true;
    });
    const bool moved = pump_until([&] {
        const os::POINT now = client_on_screen(hwnd);
        return released && now.x == before.x + 80 && now.y == before.y + 40;
    });
    hand.join();
    ASSERT_TRUE(moved) << "client now at " << client_on_screen(hwnd).x << "," << client_on_screen(hwnd).y;
    ASSERT_TRUE(sync_backend(hwnd));
    os::RECT outer_after;
    ASSERT_TRUE(os::GetWindowRect(hwnd, &outer_after));
    EXPECT_EQ(outer_after.left, outer_before.left + 80);
    EXPECT_EQ(outer_after.top, outer_before.top + 40);
}

TEST_F(X11Backend, ClickWithoutMotionOnACaptionDragMovesNothing) {
    recorder_.handle = [&](os::HWND hwnd, os::UINT message, os::WPARAM, os::LPARAM) {
        if (message != os::WM_LBUTTONDOWN) return false;
        os::ReleaseCapture();
        os::SendMessageA(hwnd, os::WM_NCLBUTTONDOWN, os::HTCAPTION, 0);
        return true;
    };
    const os::HWND hwnd = make_window(500, 400, 100, 40, false);
    os::ShowWindow(hwnd, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return shown_and_placed(hwnd); }));
    const os::POINT before = client_on_screen(hwnd);
    XTestFakeMotionEvent(observer_, -1, before.x + 10, before.y + 10, CurrentTime);
    XTestFakeButtonEvent(observer_, 1, True, CurrentTime);
    XTestFakeButtonEvent(observer_, 1, False, CurrentTime);
    XSync(observer_, False);
    ASSERT_TRUE(pump_until([&] { return recorder_.count(os::WM_LBUTTONUP) == 1; }));
    ASSERT_TRUE(sync_backend(hwnd));
    // Nobody holds the pointer and the window stayed where it was.
    EXPECT_EQ(XGrabPointer(observer_, root_, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None, None,
                           CurrentTime),
              GrabSuccess);
    XUngrabPointer(observer_, CurrentTime);
    const os::POINT after = client_on_screen(hwnd);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
}

TEST_F(X11Backend, VanishedWindowsReadNoColourAndNeverCrash) {
    const Window other = foreign_window(600, 100, 40, 40, 255, 255, 0);
    const os::HWND foreign = static_cast<os::HWND>(other);
    const os::HDC dc = os::GetDC(foreign);
    ASSERT_NE(dc, 0);
    XDestroyWindow(observer_, other);
    foreign_.clear();
    XSync(observer_, False);
    EXPECT_EQ(os::GetPixel(dc, 5, 5), os::CLR_INVALID);
    EXPECT_EQ(os::GetDC(foreign), 0);
    os::POINT point{610, 110};
    EXPECT_FALSE(os::ScreenToClient(foreign, &point));
    EXPECT_EQ(point.x, 610);
    EXPECT_EQ(point.y, 110);
    EXPECT_EQ(os::ReleaseDC(foreign, dc), 1);

    const os::HWND own = make_window(600, 200, 40, 40, false);
    const os::HDC own_dc = os::GetDC(own);
    ASSERT_NE(own_dc, 0);
    EXPECT_TRUE(os::DestroyWindow(own));
    EXPECT_FALSE(os::IsWindow(own));
    EXPECT_EQ(os::GetPixel(own_dc, 1, 1), os::CLR_INVALID);
    EXPECT_EQ(os::GetDC(own), 0);
}

TEST_F(X11Backend, OneMillisecondTimerTicksAndQuitEndsTheLoop) {
    const os::HWND hwnd = make_window(10, 10, 20, 20, false);
    ASSERT_EQ(os::SetTimer(hwnd, 7, 1), 7u);
    ASSERT_TRUE(pump_until([&] {
        return std::count_if(recorder_.seen.begin(), recorder_.seen.end(), [](const os::MSG& m) {
                   return m.message == os::WM_TIMER && m.wParam == 7;
               }) >= 50;
    }));
    EXPECT_TRUE(os::KillTimer(hwnd, 7));
    EXPECT_FALSE(os::KillTimer(hwnd, 7));
    os::PostQuitMessage(3);
    os::MSG msg;
    int guard = 0;
    while (os::GetMessageA(&msg) && ++guard < 100000) os::DispatchMessageA(&msg);
    EXPECT_EQ(msg.message, os::WM_QUIT);
    EXPECT_EQ(msg.wParam, 3);
}

TEST_F(X11Backend, ReplacedProcedureSeesMessagesAndForwardsToThePreviousOne) {
    const os::HWND hwnd = make_window(10, 10, 20, 20, false);
    hook_calls = 0;
    hook_previous = os::SetWindowLongA(hwnd, os::GWL_WNDPROC, reinterpret_cast<os::LONG_PTR>(hook_proc));
    EXPECT_EQ(hook_previous, reinterpret_cast<os::LONG_PTR>(record_proc));
    EXPECT_EQ(os::GetWindowLongA(hwnd, os::GWL_WNDPROC), reinterpret_cast<os::LONG_PTR>(hook_proc));
    EXPECT_EQ(os::SendMessageA(hwnd, kProbe, 1, 2), 42);
    ASSERT_TRUE(os::PostMessageA(hwnd, kProbe, 3, 4));
    ASSERT_TRUE(pump_until([&] { return recorder_.count(kProbe) == 2; }));
    EXPECT_EQ(hook_calls, 2);
    EXPECT_EQ(recorder_.seen.back().wParam, 3);
    EXPECT_EQ(recorder_.seen.back().lParam, 4);
}

TEST_F(X11Backend, SystemMenuHasTheStandardItemsAndGuardsItsPositions) {
    const os::HWND hwnd = make_window(10, 10, 20, 20, true);
    const os::HMENU menu = os::GetSystemMenu(hwnd, os::FALSE);
    ASSERT_NE(menu, 0);
    EXPECT_EQ(os::GetSystemMenu(hwnd, os::FALSE), menu);
    ASSERT_EQ(os::GetMenuItemCount(menu), 7);
    EXPECT_TRUE(os::AppendMenuA(menu, os::MF_SEPARATOR, 0, nullptr));
    EXPECT_TRUE(os::AppendMenuA(menu, os::MF_STRING, 1010, "credit"));
    EXPECT_FALSE(os::RemoveMenu(menu, static_cast<os::UINT>(-3), os::MF_BYPOSITION | os::MF_REMOVE));
    EXPECT_FALSE(os::RemoveMenu(menu, 9, os::MF_BYPOSITION | os::MF_REMOVE));
    EXPECT_EQ(os::GetMenuItemCount(menu), 9);
    EXPECT_TRUE(os::RemoveMenu(menu, 7, os::MF_BYPOSITION | os::MF_REMOVE));  // the appended separator
    EXPECT_TRUE(os::RemoveMenu(menu, 6, os::MF_BYPOSITION | os::MF_REMOVE));  // Close
    EXPECT_FALSE(os::RemoveMenu(menu, static_cast<os::UINT>(os::SC_CLOSE), os::MF_BYCOMMAND));
    EXPECT_TRUE(os::RemoveMenu(menu, static_cast<os::UINT>(os::SC_MOVE), os::MF_BYCOMMAND));
    EXPECT_EQ(os::GetMenuItemCount(menu), 6);
    EXPECT_TRUE(os::DrawMenuBar(hwnd));
    EXPECT_EQ(os::GetMenuItemCount(menu + 1000), -1);
    EXPECT_FALSE(os::AppendMenuA(menu + 1000, os::MF_STRING, 1, "x"));
}

TEST_F(X11Backend, MessageBoxKeepsTimersGoingAndEndsOnEnter) {
    const os::HWND owner = make_window(300, 200, 181, 92, true);
    os::ShowWindow(owner, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return shown_and_placed(owner); }));
    os::RECT outer;
    os::GetWindowRect(owner, &outer);
    const os::POINT centre{(outer.left + outer.right) / 2, (outer.top + outer.bottom) / 2};
    int ticks = 0;
    os::HWND dialog = 0;
    std::string title;
    Window transient_for = 0;
    bool modal = false;
    recorder_.handle = [&](os::HWND, os::UINT message, os::WPARAM, os::LPARAM) {
        if (message != os::WM_TIMER) return false;
        ++ticks;
        const os::HWND under = os::WindowFromPoint(centre);
        if (dialog == 0 && under != owner && os::IsWindow(under)) {
            dialog = under;
            XTextProperty name{};
            if (XGetWMName(observer_, static_cast<Window>(dialog), &name) && name.value)
                title = reinterpret_cast<const char*>(name.value);
            if (name.value) XFree(name.value);
            XGetTransientForHint(observer_, static_cast<Window>(dialog), &transient_for);
            modal = has_state(dialog, "_NET_WM_STATE_MODAL");
            os::PostMessageA(dialog, os::WM_KEYDOWN, os::VK_RETURN, 0);
        }
        return true;
    };
    os::SetTimer(owner, 1, 1);
    EXPECT_EQ(os::MessageBoxA(owner, "About1 . . . and a longer line that has to wrap somewhere", "About",
                              os::MB_ICONASTERISK),
              os::IDOK);
    EXPECT_NE(dialog, 0);
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(title, "About");
    EXPECT_EQ(transient_for, static_cast<Window>(owner));
    EXPECT_TRUE(modal);
    EXPECT_FALSE(os::IsWindow(dialog));
}

TEST_F(X11Backend, KeysBecomeVirtualKeysCharactersAndSystemKeys) {
    const os::HWND hwnd = make_window(100, 500, 100, 50, true);
    os::ShowWindow(hwnd, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return shown_and_placed(hwnd); }));
    os::SetForegroundWindow(hwnd);
    ASSERT_TRUE(pump_until([&] { return os::GetForegroundWindow() == hwnd; }));
    const unsigned a = XKeysymToKeycode(observer_, XK_a);
    const unsigned alt = XKeysymToKeycode(observer_, XK_Alt_L);
    const unsigned x = XKeysymToKeycode(observer_, XK_x);
    for (auto [code, down] : {std::pair{a, true}, {a, false}, {alt, true}, {x, true}, {x, false}, {alt, false}})
        XTestFakeKeyEvent(observer_, code, down ? True : False, CurrentTime);
    XSync(observer_, False);
    ASSERT_TRUE(pump_until([&] { return recorder_.count(os::WM_SYSKEYUP) >= 2 && recorder_.count(os::WM_KEYUP) >= 1; }));
    auto find = [&](os::UINT message, os::WPARAM key) {
        return std::find_if(recorder_.seen.begin(), recorder_.seen.end(),
                            [&](const os::MSG& m) { return m.message == message && m.wParam == key; });
    };
    EXPECT_NE(find(os::WM_KEYDOWN, 'A'), recorder_.seen.end());
    EXPECT_NE(find(os::WM_CHAR, 'a'), recorder_.seen.end());
    const auto alt_x = find(os::WM_SYSKEYDOWN, 'X');
    ASSERT_NE(alt_x, recorder_.seen.end());
    EXPECT_NE(alt_x->lParam & os::KF_ALTDOWN_LPARAM, 0);
    EXPECT_EQ(find(os::WM_CHAR, 'x'), recorder_.seen.end());
}

TEST_F(X11Backend, SecondQuickLeftPressIsADoubleClick) {
    const os::HWND hwnd = make_window(700, 500, 100, 50, false);
    os::ShowWindow(hwnd, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return shown_and_placed(hwnd); }));
    const os::POINT at = client_on_screen(hwnd);
    XTestFakeMotionEvent(observer_, -1, at.x + 20, at.y + 30, CurrentTime);
    for (int i = 0; i < 2; ++i) {
        XTestFakeButtonEvent(observer_, 1, True, CurrentTime);
        XTestFakeButtonEvent(observer_, 1, False, CurrentTime);
    }
    XSync(observer_, False);
    ASSERT_TRUE(pump_until([&] { return recorder_.count(os::WM_LBUTTONUP) == 2; }));
    EXPECT_EQ(recorder_.count(os::WM_LBUTTONDOWN), 1);
    ASSERT_EQ(recorder_.count(os::WM_LBUTTONDBLCLK), 1);
    const auto dbl = std::find_if(recorder_.seen.begin(), recorder_.seen.end(),
                                  [](const os::MSG& m) { return m.message == os::WM_LBUTTONDBLCLK; });
    EXPECT_EQ(os::GET_X_LPARAM(dbl->lParam), 20);
    EXPECT_EQ(os::GET_Y_LPARAM(dbl->lParam), 30);
    EXPECT_NE(dbl->wParam & os::MK_LBUTTON, 0);
}

TEST_F(X11Backend, CursorPositionFollowsThePointer) {
    XTestFakeMotionEvent(observer_, -1, 123, 234, CurrentTime);
    XSync(observer_, False);
    os::POINT point;
    ASSERT_TRUE(pump_until([&] { return os::GetCursorPos(&point) && point.x == 123 && point.y == 234; }));
    XTestFakeMotionEvent(observer_, -1, 321, 432, CurrentTime);
    XSync(observer_, False);
    ASSERT_TRUE(pump_until([&] { return os::GetCursorPos(&point) && point.x == 321 && point.y == 432; }));
}

// A warp brings no raw motion, and no event is read here at all: only the
// cursor cache's own re-read, at least every 50 ms, can notice the jump.
TEST_F(X11Backend, CursorPositionNeverStaysStaleBeyondTheSafetyReRead) {
    XTestFakeMotionEvent(observer_, -1, 140, 150, CurrentTime);
    XSync(observer_, False);
    os::POINT point;
    ASSERT_TRUE(pump_until([&] { return os::GetCursorPos(&point) && point.x == 140 && point.y == 150; }));
    XWarpPointer(observer_, 0, root_, 0, 0, 0, 0, 410, 420);
    XSync(observer_, False);
    std::this_thread::sleep_for(60ms);
    ASSERT_TRUE(os::GetCursorPos(&point));
    EXPECT_EQ(point.x, 410);
    EXPECT_EQ(point.y, 420);
}

}  // namespace

namespace {

TEST_F(X11Backend, MinimiseRestoreAndHideThroughTheWindowManager) {
    const os::HWND hwnd = make_window(300, 300, 120, 60, true);
    os::ShowWindow(hwnd, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return shown_and_placed(hwnd); }));
    if (!wm_running()) GTEST_SKIP() << "minimising needs a window manager";
    EXPECT_TRUE(os::ShowWindow(hwnd, os::SW_MINIMIZE));
    ASSERT_TRUE(pump_until([&] { return os::IsIconic(hwnd) != os::FALSE; }));
    EXPECT_TRUE(os::IsWindowVisible(hwnd));  // a minimised window is still "visible"
    os::SendMessageA(hwnd, os::WM_SYSCOMMAND, os::SC_RESTORE, 0);
    ASSERT_TRUE(pump_until([&] { return !os::IsIconic(hwnd) && viewable(hwnd); }));
    os::ShowWindow(hwnd, os::SW_HIDE);
    EXPECT_FALSE(os::IsWindowVisible(hwnd));
    XSync(observer_, False);
    ASSERT_TRUE(pump_until([&] { XSync(observer_, False); return !viewable(hwnd); }));
}

TEST_F(X11Backend, WindowCarriesItsNameClassPidIconAndBorderlessHint) {
    const os::HWND hwnd = make_window(10, 10, 30, 30, false);
    const std::uint32_t pixels[4] = {0xFF112233u, 0xFF445566u, 0x00000000u, 0x80FFFFFFu};
    const os::IconImage image{2, pixels};
    ASSERT_TRUE(os::SetWindowIcon(hwnd, &image, 1));
    ASSERT_TRUE(os::SetWindowTextA(hwnd, "Pixometer"));
    ASSERT_TRUE(os::SetWindowCursor(hwnd, os::IDC_CROSS));
    os::ShowWindow(hwnd, os::SW_SHOW);
    XSync(observer_, False);
    ASSERT_TRUE(pump_until([&] { return viewable(hwnd); }));
    const Window xid = static_cast<Window>(hwnd);
    const std::vector<long> icon = read_longs(xid, "_NET_WM_ICON", XA_CARDINAL);
    ASSERT_EQ(icon.size(), 6u);
    EXPECT_EQ(icon[0], 2);
    EXPECT_EQ(icon[1], 2);
    EXPECT_EQ(static_cast<std::uint32_t>(icon[2]), 0xFF112233u);
    EXPECT_EQ(static_cast<std::uint32_t>(icon[5]), 0x80FFFFFFu);
    const std::vector<long> pid = read_longs(xid, "_NET_WM_PID", XA_CARDINAL);
    ASSERT_EQ(pid.size(), 1u);
    EXPECT_EQ(pid[0], static_cast<long>(getpid()));
    const Atom motif = XInternAtom(observer_, "_MOTIF_WM_HINTS", False);
    const std::vector<long> hints = read_longs(xid, "_MOTIF_WM_HINTS", motif);
    ASSERT_EQ(hints.size(), 5u);
    EXPECT_EQ(hints[0] & 2, 2);  // decorations are given...
    EXPECT_EQ(hints[2], 0);      // ...and there are none
    XClassHint class_hint{};
    ASSERT_TRUE(XGetClassHint(observer_, xid, &class_hint));
    EXPECT_STREQ(class_hint.res_name, "pixometer");
    EXPECT_STREQ(class_hint.res_class, "Pixometer");
    XFree(class_hint.res_name);
    XFree(class_hint.res_class);
    XSizeHints size{};
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(observer_, xid, &size, &supplied));
    EXPECT_NE(size.flags & USPosition, 0);
    EXPECT_EQ(size.win_gravity, NorthWestGravity);
}

}  // namespace

namespace {

void send_close_request(Display* d, Window w) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    XSendEvent(d, w, False, NoEventMask, &ev);
    XSync(d, False);
}

TEST_F(X11Backend, MessageBoxHoldsBackClicksOnItsOwnerAndClosesFromItsCloseButton) {
    const os::HWND owner = make_window(100, 100, 500, 400, true);
    os::ShowWindow(owner, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return shown_and_placed(owner); }));
    const os::POINT corner = client_on_screen(owner);
    os::RECT outer;
    os::GetWindowRect(owner, &outer);
    const os::POINT centre{(outer.left + outer.right) / 2, (outer.top + outer.bottom) / 2};
    bool clicked = false, closed = false;
    recorder_.handle = [&](os::HWND, os::UINT message, os::WPARAM, os::LPARAM) {
        if (message != os::WM_TIMER) return false;
        const os::HWND under = os::WindowFromPoint(centre);
        if (closed || under == owner || !os::IsWindow(under)) return true;
        if (!clicked) {
            clicked = true;
            XTestFakeMotionEvent(observer_, -1, corner.x + 5, corner.y + 5, CurrentTime);
            XTestFakeButtonEvent(observer_, 1, True, CurrentTime);
            XTestFakeButtonEvent(observer_, 1, False, CurrentTime);
            XSync(observer_, False);
            return true;
        }
        // Faked input is queued inside the server; once the pointer is there
        // with the button up, the click has gone out to the clients.
        Window root = 0, child = 0;
        int x = 0, y = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        XQueryPointer(observer_, root_, &root, &child, &x, &y, &wx, &wy, &mask);
        if (x != corner.x + 5 || y != corner.y + 5 || (mask & Button1Mask)) return true;
        closed = true;
        send_close_request(observer_, static_cast<Window>(under));
        return true;
    };
    os::SetTimer(owner, 1, 1);
    EXPECT_EQ(os::MessageBoxA(owner, "R&D failed", "Registry", os::MB_ICONHAND), os::IDOK);
    EXPECT_TRUE(closed);
    EXPECT_EQ(recorder_.count(os::WM_LBUTTONDOWN), 0);
    EXPECT_EQ(recorder_.count(os::WM_LBUTTONUP), 0);
}

TEST_F(X11Backend, RightClickPopsUpTheSystemMenuAndAChoiceArrivesAsASystemCommand) {
    const os::HWND hwnd = make_window(200, 150, 300, 200, true);
    os::ShowWindow(hwnd, os::SW_SHOW);
    ASSERT_TRUE(pump_until([&] { return shown_and_placed(hwnd); }));
    const os::POINT corner = client_on_screen(hwnd);
    const os::POINT click{corner.x + 40, corner.y + 40};
    bool typed = false;
    recorder_.handle = [&](os::HWND, os::UINT message, os::WPARAM, os::LPARAM) {
        if (message == os::WM_SYSCOMMAND) return true;  // recorded, not acted on
        if (message != os::WM_TIMER) return false;
        const os::HWND under = os::WindowFromPoint({click.x + 20, click.y + 20});
        if (typed || under == hwnd || !os::IsWindow(under)) return true;
        typed = true;
        // Restore is greyed on a normal window: Down goes to Move, Size, Minimize.
        for (KeySym key : {XK_Down, XK_Down, XK_Down, XK_Return}) {
            XTestFakeKeyEvent(observer_, XKeysymToKeycode(observer_, key), True, CurrentTime);
            XTestFakeKeyEvent(observer_, XKeysymToKeycode(observer_, key), False, CurrentTime);
        }
        XSync(observer_, False);
        return true;
    };
    os::SetTimer(hwnd, 1, 1);
    XTestFakeMotionEvent(observer_, -1, click.x, click.y, CurrentTime);
    XTestFakeButtonEvent(observer_, 3, True, CurrentTime);
    XTestFakeButtonEvent(observer_, 3, False, CurrentTime);
    XSync(observer_, False);
    ASSERT_TRUE(pump_until([&] { return recorder_.count(os::WM_SYSCOMMAND) == 1; }));
    const auto command = std::find_if(recorder_.seen.begin(), recorder_.seen.end(),
                                      [](const os::MSG& m) { return m.message == os::WM_SYSCOMMAND; });
    EXPECT_EQ(command->wParam, os::SC_MINIMIZE);
    EXPECT_TRUE(typed);
}

}  // namespace
