// The whole-process benchmark's hands and stopwatch on the X desktop.
//
//   desk_driver launch COMMAND...         start COMMAND; print "PID MS", MS from
//                                         fork to its first window mapped
//   desk_driver rest SECONDS PID...       pointer parked: CPU % of each PID
//   desk_driver move SECONDS HZ PID...    pointer moved HZ times a second over
//                                         colour stripes: CPU % of each PID
//   desk_driver latency MOVES PID         ms from a pointer move to the swatch
//                                         of PID's panel showing the new colour
//   desk_driver xi2                       "yes" when the server has XInput 2
//
// CPU time is read from /proc (per-thread schedstat in ns; stat ticks when
// that is missing), so the driver's own work is never counted.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::int64_t now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void sleep_until(std::int64_t due_ns) {
    timespec ts{static_cast<time_t>(due_ns / 1'000'000'000), static_cast<long>(due_ns % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
    }
}

void sleep_ms(double ms) { sleep_until(now_ns() + static_cast<std::int64_t>(ms * 1e6)); }

[[noreturn]] void die(const char* what) {
    std::fprintf(stderr, "desk_driver: %s\n", what);
    std::exit(1);
}

// ---- CPU time -------------------------------------------------------------

std::int64_t schedstat_ns(const std::string& task_dir) {
    std::ifstream in(task_dir + "/schedstat");
    long long ns = -1;
    return in >> ns ? ns : -1;
}

std::int64_t stat_ns(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::vector<std::string> fields;
    std::size_t at = close + 2;
    while (at < line.size()) {
        const auto space = line.find(' ', at);
        fields.push_back(line.substr(at, space - at));
        if (space == std::string::npos) break;
        at = space + 1;
    }
    if (fields.size() < 13) return 0;
    // utime and stime, fields 14 and 15 of the line (11 and 12 after the name).
    const long long ticks = std::atoll(fields[11].c_str()) + std::atoll(fields[12].c_str());
    return ticks * 1'000'000'000 / sysconf(_SC_CLK_TCK);
}

// Every thread's on-CPU time, in nanoseconds.
std::int64_t cpu_ns(int pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (!dir) return 0;
    std::int64_t total = 0;
    bool exact = true;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::int64_t ns = schedstat_ns(tasks + "/" + entry->d_name);
        if (ns < 0) exact = false;
        total += std::max<std::int64_t>(ns, 0);
    }
    closedir(dir);
    return exact ? total : stat_ns(pid);
}

struct CpuWatch {
    std::vector<int> pids;
    std::vector<std::int64_t> start;
    std::int64_t started = 0;
    void begin() {
        start.clear();
        for (int pid : pids) start.push_back(cpu_ns(pid));
        started = now_ns();
    }
    void report() const {
        const double wall = static_cast<double>(now_ns() - started);
        for (std::size_t i = 0; i < pids.size(); ++i)
            std::printf("%s%.3f", i ? " " : "", 100.0 * static_cast<double>(cpu_ns(pids[i]) - start[i]) / wall);
        std::printf("\n");
    }
};

std::vector<int> pids_from(int argc, char** argv, int first) {
    std::vector<int> pids;
    for (int i = first; i < argc; ++i) pids.push_back(std::atoi(argv[i]));
    return pids;
}

// ---- Desktop helpers ------------------------------------------------------

Display* open_display() {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) die("cannot open display");
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(dpy, &event, &error, &major, &minor)) die("the server has no XTest");
    return dpy;
}

void move_pointer(Display* dpy, int x, int y) {
    XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
    XFlush(dpy);
}

// An override-redirect window painted in one colour, mapped and on screen.
Window colour_window(Display* dpy, int x, int y, int w, int h, unsigned long pixel) {
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.background_pixel = pixel;
    a.event_mask = ExposureMask;
    const Window win = XCreateWindow(dpy, DefaultRootWindow(dpy), x, y, static_cast<unsigned>(w),
                                     static_cast<unsigned>(h), 0, CopyFromParent, InputOutput,
                                     CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask, &a);
    XMapRaised(dpy, win);
    XEvent ev;
    XWindowEvent(dpy, win, ExposureMask, &ev);
    return win;
}

unsigned long pixel_at(Display* dpy, int x, int y) {
    XImage* image = XGetImage(dpy, DefaultRootWindow(dpy), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return ~0ul;
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return pixel;
}

// ---- launch ---------------------------------------------------------------

bool is_viewable(Display* dpy, Window w) {
    XWindowAttributes a{};
    return XGetWindowAttributes(dpy, w, &a) && a.map_state != IsUnmapped;
}

// Waits for the first window of the client that creates a window on the root
// after the fork to be mapped; its windows share the client's id base.
int first_map_ms(Display* dpy, std::int64_t forked_ns) {
    // The server's resource-id mask for its default of 256 clients.
    constexpr unsigned long id_mask = 0x1FFFFF;
    unsigned long base = 0;
    bool known = false;
    while (now_ns() - forked_ns < 10'000'000'000) {
        XEvent ev;
        XNextEvent(dpy, &ev);
        if (ev.type == CreateNotify) {
            const Window w = ev.xcreatewindow.window;
            if (!known) base = w & ~id_mask, known = true;
            if ((w & ~id_mask) != base) continue;
            XSelectInput(dpy, w, StructureNotifyMask);
            if (is_viewable(dpy, w)) return static_cast<int>((now_ns() - forked_ns) / 1000);
        } else if (ev.type == MapNotify && known && (ev.xmap.window & ~id_mask) == base) {
            return static_cast<int>((now_ns() - forked_ns) / 1000);
        }
    }
    return -1;
}

int launch(char** command) {
    Display* dpy = open_display();
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, False);
    const std::int64_t forked = now_ns();
    const pid_t pid = fork();
    if (pid == 0) {
        close(ConnectionNumber(dpy));
        // Our stdout is the caller's answer pipe; the program's words go elsewhere.
        dup2(STDERR_FILENO, STDOUT_FILENO);
        execvp(command[0], command);
        _exit(127);
    }
    const int us = first_map_ms(dpy, forked);
    std::printf("%d %.2f\n", pid, us / 1000.0);
    return us < 0 ? 1 : 0;
}

// ---- rest and move --------------------------------------------------------

constexpr int kParkX = 700, kParkY = 450;

int rest(double seconds, std::vector<int> pids) {
    Display* dpy = open_display();
    move_pointer(dpy, kParkX, kParkY);
    sleep_ms(1000);
    CpuWatch watch{std::move(pids), {}, 0};
    watch.begin();
    sleep_ms(seconds * 1000);
    watch.report();
    return 0;
}

// Stripes 8 px wide in two colours, so that about every second move lands
// on a new colour and the probe repaints its swatch.
void stripes(Display* dpy, int x, int y, int w, int h) {
    const Window back = colour_window(dpy, x, y, w, h, 0x3060c0);
    GC gc = XCreateGC(dpy, back, 0, nullptr);
    XSetForeground(dpy, gc, 0xe0a020);
    for (int sx = 0; sx < w; sx += 16) XFillRectangle(dpy, back, gc, sx, 0, 8, static_cast<unsigned>(h));
    XFreeGC(dpy, gc);
    XSync(dpy, False);
}

int move(double seconds, double hz, std::vector<int> pids) {
    Display* dpy = open_display();
    constexpr int kLeft = 100, kTop = 560, kWidth = 800, kHeight = 100;
    stripes(dpy, kLeft, kTop, kWidth, kHeight);
    move_pointer(dpy, kLeft + 10, kTop + 50);
    sleep_ms(500);
    CpuWatch watch{std::move(pids), {}, 0};
    watch.begin();
    const auto period = static_cast<std::int64_t>(1e9 / hz);
    const auto moves = static_cast<long>(seconds * hz);
    std::int64_t due = now_ns();
    for (long i = 0; i < moves; ++i) {
        const long step = i % 380;  // back and forth across 760 px, 4 px a move
        const long x = step < 190 ? step * 4 : (380 - step) * 4;
        move_pointer(dpy, kLeft + 20 + static_cast<int>(x), kTop + 50 + static_cast<int>(i % 3));
        due += period;
        sleep_until(due);
    }
    watch.report();
    return 0;
}

// ---- latency --------------------------------------------------------------

long window_pid(Display* dpy, Window w) {
    const Atom pid_atom = XInternAtom(dpy, "_NET_WM_PID", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(dpy, w, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success && data && count == 1)
        pid = static_cast<long>(reinterpret_cast<unsigned long*>(data)[0]);
    if (data) XFree(data);
    return pid;
}

// The largest viewable window of PID, searched through frames.
Window find_panel(Display* dpy, Window under, long pid, int* best_area) {
    Window root = 0, parent = 0, *children = nullptr, best = 0;
    unsigned int count = 0;
    if (!XQueryTree(dpy, under, &root, &parent, &children, &count)) return 0;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes a{};
        if (!XGetWindowAttributes(dpy, children[i], &a) || a.map_state != IsViewable) continue;
        if (window_pid(dpy, children[i]) == pid && a.width * a.height > *best_area) {
            *best_area = a.width * a.height;
            best = children[i];
        }
        if (const Window inner = find_panel(dpy, children[i], pid, best_area)) best = inner;
    }
    if (children) XFree(children);
    return best;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Polls the swatch until it shows `want`; milliseconds, or -1 after 1 s.
double wait_for_colour(Display* dpy, int x, int y, unsigned long want, std::int64_t since) {
    while (now_ns() - since < 1'000'000'000) {
        if ((pixel_at(dpy, x, y) & 0xffffff) == want) return static_cast<double>(now_ns() - since) / 1e6;
        sleep_ms(0.05);
    }
    return -1;
}

int latency(int moves, long pid) {
    Display* dpy = open_display();
    int area = 0;
    const Window panel = find_panel(dpy, DefaultRootWindow(dpy), pid, &area);
    if (!panel) die("no window of that process");
    int sx = 0, sy = 0;
    Window child = 0;
    XTranslateCoordinates(dpy, panel, DefaultRootWindow(dpy), 63, 75, &sx, &sy, &child);
    // The two colour fields go to the half of the screen the panel leaves free.
    const int top = sy > DisplayHeight(dpy, DefaultScreen(dpy)) / 2 ? 100 : 450;
    const unsigned long colours[2] = {0xd02040, 0x20b060};
    colour_window(dpy, 200, top, 200, 200, colours[0]);
    colour_window(dpy, 400, top, 200, 200, colours[1]);
    std::vector<double> ms;
    int lost = 0;
    for (int i = 0; i < moves; ++i) {
        const int side = i % 2;
        move_pointer(dpy, 250 + side * 200 + (i / 2) % 100, top + 50 + (i / 2) % 100);
        const double took = wait_for_colour(dpy, sx, sy, colours[side], now_ns());
        took < 0 ? ++lost : (ms.push_back(took), 0);
        sleep_ms(5 + (i * 7) % 11);  // off the beat of the 1 ms tick
    }
    const double worst = ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end());
    std::printf("%.3f %.3f %d\n", median(ms), worst, lost);
    return 0;
}

int has_xi2() {
    Display* dpy = open_display();
    int opcode = 0, event = 0, error = 0, major = 2, minor = 0;
    const bool yes = XQueryExtension(dpy, "XInputExtension", &opcode, &event, &error) &&
                     XIQueryVersion(dpy, &major, &minor) == Success;
    std::printf("%s\n", yes ? "yes" : "no");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "launch" && argc > 2) return launch(argv + 2);
    if (what == "rest" && argc > 3) return rest(std::atof(argv[2]), pids_from(argc, argv, 3));
    if (what == "move" && argc > 4) return move(std::atof(argv[2]), std::atof(argv[3]), pids_from(argc, argv, 4));
    if (what == "latency" && argc > 3) return latency(std::atoi(argv[2]), std::atol(argv[3]));
    if (what == "xi2") return has_xi2();
    std::fputs("usage: desk_driver launch CMD... | rest S PID... | move S HZ PID... | latency N PID | xi2\n",
               stderr);
    return 2;
}
