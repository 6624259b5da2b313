// The simulated desktop: a complete, deterministic backend for os.h that
// tests drive and inspect. Only tests and benchmarks include this header.
//
// The desktop is a screen image (a background the test paints) with windows
// in z-order on top of it. Each window has an outer rectangle, a client
// rectangle inside it (framed windows get a fixed frame), a back buffer the
// forms engine paints into, a topmost flag and a window procedure. What the
// "screen shows" at a point is the topmost visible window's back-buffer
// pixel there, or the background. Time is virtual: nothing happens until the
// test advances the clock or pumps the message queue.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/os.h"

namespace sim {

// Frame of a framed window: the client area starts this far in from the
// outer top-left corner, and the outer rectangle is this much larger.
constexpr int kFrameLeft = 4;
constexpr int kFrameTop = 23;  // border and caption bar
constexpr int kFrameRight = 4;
constexpr int kFrameBottom = 4;

// Starts a fresh desktop of the given size (default 1024 x 768, 96 DPI),
// forgetting every window, DC, timer, message, fault and record. Also gives
// the registry calls a fresh memory-only store.
void Reset(int screen_width = 1024, int screen_height = 768, int dpi = 96);

// ---- Screen and cursor ---------------------------------------------------
void PaintBackground(os::COLORREF colour);
void PaintBackgroundRect(const os::RECT& rect, os::COLORREF colour);
// What the screen shows at a screen point (CLR_INVALID off the screen).
os::COLORREF ScreenPixel(int x, int y);
// The cursor position; moving it sends nothing (the probe polls).
void SetCursor(int x, int y);
os::POINT Cursor();

// A plain window of another application: no window procedure of the
// program, filled with one colour, placed on top of the z-order.
os::HWND CreateForeignWindow(const os::RECT& outer, os::COLORREF fill, bool topmost = false);

// ---- Inspection ----------------------------------------------------------
struct WindowInfo {
    bool exists = false;
    bool visible = false;
    bool topmost = false;
    bool iconic = false;
    bool framed = false;
    std::string title;
    os::RECT outer;
    os::RECT client;  // screen coordinates
    int cursor_id = 0;
    int icon_count = 0;
};
WindowInfo Window(os::HWND hwnd);
// Top-level windows, bottom of the z-order first.
std::vector<os::HWND> ZOrder();
// The pixel the window's back buffer holds at a client point.
os::COLORREF WindowPixel(os::HWND hwnd, int x, int y);
// Text drawn into the window's back buffer, in drawing order, since the
// window was created (each entry "text" at its rectangle).
struct DrawnText {
    std::string text;
    os::RECT rect;
    os::COLORREF colour = 0;
};
std::vector<DrawnText> TextsDrawn(os::HWND hwnd);
int OpenDCs();  // device contexts got with GetDC and not yet released

// Every os:: call the program made, by name, in order ("GetCursorPos",
// "SetWindowPos", ...), with its arguments as text ("-1,0,0,0,0,3" style).
struct Call {
    std::string name;
    std::string args;
};
const std::vector<Call>& Calls();
void ClearCalls();
// How many times a call was made since the last ClearCalls.
int CallCount(const std::string& name);

// Menus: the items of a window's system menu, in order.
struct MenuItem {
    os::UINT flags = 0;
    os::UINT_PTR id = 0;
    std::string text;  // empty for a separator
};
std::vector<MenuItem> SystemMenu(os::HWND hwnd);

// ---- Driving -------------------------------------------------------------
// Delivers queued and posted messages (paint included) until the queue is empty.
void Pump();
// Advances virtual time by `ms` milliseconds, one at a time: each due timer
// delivers WM_TIMER through the window's current procedure, then Pump().
void Advance(int ms);
std::int64_t Now();  // virtual milliseconds since Reset
// Input as the user gives it: sent to the window under the screen point (or
// with capture to the capturing window), in client coordinates; the cursor
// moves there first.
void MouseDown(int screen_x, int screen_y, int button = 1, bool shift = false);  // 1 L, 2 M, 3 R
void MouseUp(int screen_x, int screen_y, int button = 1);
void Click(int screen_x, int screen_y, int button = 1);
void DoubleClick(int screen_x, int screen_y);
void MouseMove(int screen_x, int screen_y);
// A key press to the foreground window: WM_KEYDOWN (WM_SYSKEYDOWN with alt),
// WM_CHAR for printable keys, then WM_KEYUP.
void Key(int vk, bool alt = false, bool shift = false);
// The window manager's close request (WM_CLOSE through the window procedure).
void CloseRequest(os::HWND hwnd);
// True once PostQuitMessage was called.
bool QuitPosted();

// ---- Message boxes -------------------------------------------------------
struct MessageBoxRecord {
    os::HWND owner = 0;
    std::string text;
    std::string caption;
    os::UINT type = 0;
};
const std::vector<MessageBoxRecord>& MessageBoxes();
// Called while a message box is open (it may advance time: the program's
// messages keep flowing, nested). Its result is what MessageBoxA returns.
void OnMessageBox(std::function<int(const MessageBoxRecord&)> answer);

// ---- Faults --------------------------------------------------------------
// The next `count` calls of the named os:: function fail as that call fails
// on Windows (0 / FALSE / CLR_INVALID / -1, or for registry calls `status`).
void FailNext(const std::string& call, int count = 1, os::LSTATUS status = 1);
// GetPixel answers CLR_INVALID for every read of the screen (window, screen
// and paint DCs) while on; image DCs still read back.
void SetGetPixelFails(bool on);
// Runs `action` just before the named call does its work (each time, until
// cleared with an empty action); it may destroy a window, move the cursor or
// throw to make the calling statement fail.
void BeforeCall(const std::string& call, std::function<void()> action);
// Removes a window as if its application had closed it, without messages.
void Vanish(os::HWND hwnd);

}  // namespace sim
