// The polling floor: a colour probe written the obvious way, for the
// whole-process benchmark to hold Pixometer against. Every millisecond it
// asks the server for the pointer twice; when the pointer moved it reads the
// pixel under it (1 x 1 XGetImage) and shows that colour in its window.
// With --tick-only it maps its window and wakes every millisecond doing
// nothing: what 1000 wake-ups a second cost on this machine.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace {

struct Probe {
    Display* dpy = nullptr;
    Window root = 0;
    Window window = 0;
    GC gc = nullptr;
    int last_x = -1;
    int last_y = -1;
    unsigned long shown = ~0ul;
};

bool query(Probe& p, int* x, int* y) {
    Window root = 0, child = 0;
    int wx = 0, wy = 0;
    unsigned int mask = 0;
    return XQueryPointer(p.dpy, p.root, &root, &child, x, y, &wx, &wy, &mask);
}

void show_colour(Probe& p, int x, int y) {
    XImage* image = XGetImage(p.dpy, p.root, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return;
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    if (pixel == p.shown) return;
    p.shown = pixel;
    XSetForeground(p.dpy, p.gc, pixel);
    XFillRectangle(p.dpy, p.window, p.gc, 40, 65, 46, 21);
    XFlush(p.dpy);
}

void tick(Probe& p) {
    int x = 0, y = 0, again_x = 0, again_y = 0;
    if (!query(p, &x, &y) || !query(p, &again_x, &again_y)) return;
    if (again_x == p.last_x && again_y == p.last_y) return;
    p.last_x = again_x;
    p.last_y = again_y;
    show_colour(p, again_x, again_y);
}

void drain(Probe& p) {
    while (XPending(p.dpy)) {
        XEvent ev;
        XNextEvent(p.dpy, &ev);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool tick_only = argc > 1 && std::string_view(argv[1]) == "--tick-only";
    Probe p;
    p.dpy = XOpenDisplay(nullptr);
    if (!p.dpy) {
        std::fputs("floor_probe: cannot open display\n", stderr);
        return 1;
    }
    p.root = DefaultRootWindow(p.dpy);
    p.window = XCreateSimpleWindow(p.dpy, p.root, 387, 111, 181, 92, 0, 0, 0);
    XStoreName(p.dpy, p.window, "floor probe");
    p.gc = XCreateGC(p.dpy, p.window, 0, nullptr);
    XMapWindow(p.dpy, p.window);
    XFlush(p.dpy);

    const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    itimerspec every_ms{{0, 1'000'000}, {0, 1'000'000}};
    timerfd_settime(timer, 0, &every_ms, nullptr);
    pollfd fds[2] = {{ConnectionNumber(p.dpy), POLLIN, 0}, {timer, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) <= 0) continue;
        if (fds[0].revents) drain(p);
        if (!(fds[1].revents & POLLIN)) continue;
        std::uint64_t expirations = 0;
        if (read(timer, &expirations, sizeof expirations) > 0 && !tick_only) tick(p);
    }
}
