// The operating-system services the program and the forms engine call.
//
// The calls carry the names, argument orders and results of the Windows API
// (user32, gdi32, advapi32, ANSI entry points), so that the program reads the
// same on every host. Each backend folder (platform/x11, platform/sim, later
// platform/win32) implements every function declared here; the registry calls
// come from platform/regstore on hosts without a registry. Nothing in this
// header names a backend, and no OS header is included.
//
// Handles are 32-bit values as the program expects. A window procedure is
// held at full pointer width (LONG_PTR), never cut to 32 bits.
#pragma once

#include <cstdint>

namespace os {

// ---- Scalar types --------------------------------------------------------
using BOOL = std::int32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using WPARAM = std::int32_t;
using LPARAM = std::int32_t;
using LRESULT = std::int32_t;
using LSTATUS = std::int32_t;
using LONG_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using COLORREF = std::int32_t;  // 0x00BBGGRR; -1 (CLR_INVALID) is "no colour"

using HWND = std::int32_t;   // 0 = none
using HDC = std::int32_t;    // 0 = none
using HMENU = std::int32_t;  // 0 = none
using HFONT = std::int32_t;  // 0 = the backend's default font
using HKEY = std::uint32_t;  // predefined roots are 0x80000000..0x80000006

struct POINT {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct RECT {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct SIZE {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
};

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct MSG {
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;
constexpr COLORREF CLR_INVALID = -1;

constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c) { return c & 0xFF; }
constexpr int GetGValue(COLORREF c) { return (c >> 8) & 0xFF; }
constexpr int GetBValue(COLORREF c) { return (c >> 16) & 0xFF; }

// Mouse messages pack client x and y as signed 16-bit halves.
constexpr LPARAM MAKELPARAM(int lo, int hi) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(lo) & 0xFFFF) |
                               ((static_cast<std::uint32_t>(hi) & 0xFFFF) << 16));
}
constexpr int GET_X_LPARAM(LPARAM l) { return static_cast<std::int16_t>(l & 0xFFFF); }
constexpr int GET_Y_LPARAM(LPARAM l) {
    return static_cast<std::int16_t>((static_cast<std::uint32_t>(l) >> 16) & 0xFFFF);
}

// ---- Messages ------------------------------------------------------------
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_QUIT = 0x0012;

// Mouse-message wParam flags.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// Key messages: wParam is the virtual-key code; for WM_KEYDOWN and
// WM_SYSKEYDOWN, lParam bit 29 is set while Alt is held (as on Windows).
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;  // Alt
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_F10 = 0x79;
constexpr LPARAM KF_ALTDOWN_LPARAM = 1 << 29;

constexpr WPARAM HTCAPTION = 2;

// WM_SYSCOMMAND command ids.
constexpr WPARAM SC_SIZE = 0xF000;
constexpr WPARAM SC_MOVE = 0xF010;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_RESTORE = 0xF120;

// ---- Window constants ----------------------------------------------------
constexpr HWND HWND_TOPMOST = -1;
constexpr HWND HWND_NOTOPMOST = -2;
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;

constexpr int GWL_WNDPROC = -4;

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

constexpr DWORD SRCCOPY = 0x00CC0020;

constexpr int IDC_ARROW = 32512;
constexpr int IDC_CROSS = 32515;

// Menus.
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT MF_REMOVE = 0x1000;

// Message boxes.
constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_ICONHAND = 0x0010;      // 16, critical
constexpr UINT MB_ICONASTERISK = 0x0040;  // 64, information
constexpr int IDOK = 1;

// DrawTextA format flags.
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;

// Font weights.
constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;

// ---- Registry ------------------------------------------------------------
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;
constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004u;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;
constexpr HKEY HKEY_DYN_DATA = 0x80000006u;

constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD REG_SZ = 1;

constexpr LSTATUS ERROR_SUCCESS = 0;
constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
constexpr LSTATUS ERROR_MORE_DATA = 234;
constexpr LSTATUS ERROR_BADDB = 1009;
constexpr LSTATUS ERROR_BADKEY = 1010;
constexpr LSTATUS ERROR_REGISTRY_CORRUPT = 1015;

// ==========================================================================
// Start-up. Opens the display (or the simulated desktop). Returns FALSE with
// a one-line reason when the program cannot start (for example no display).
BOOL StartUp(const char** reason);
void ShutDown();

// ---- Cursor and pixels ---------------------------------------------------
BOOL GetCursorPos(POINT* point);
HWND WindowFromPoint(POINT point);
HDC GetDC(HWND hwnd);  // 0 means the whole screen
int ReleaseDC(HWND hwnd, HDC hdc);
BOOL ScreenToClient(HWND hwnd, POINT* point);
BOOL ClientToScreen(HWND hwnd, POINT* point);
COLORREF GetPixel(HDC hdc, int x, int y);  // CLR_INVALID outside the DC's clip
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour);
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop);
// Draws width x height pixels held in this process at x, y of a DC, clipped
// to it, as SetDIBitsToDevice does: `pixels` row by row, `stride` pixels from
// the start of one row to the next.
BOOL SetDIBitsToDevice(HDC hdc, int x, int y, int width, int height, const COLORREF* pixels, int stride);

// A device context over an off-screen image of width x height pixels, filled
// with `fill`; its pixels live in this process (no server round trip).
HDC CreateImageDC(int width, int height, COLORREF fill);
BOOL DeleteDC(HDC hdc);
// Fills the whole image of an image DC (a picture box's background change).
BOOL ClearImageDC(HDC hdc, COLORREF fill);

// ---- Painting (the forms engine draws its controls through these) --------
// BeginPaint hands out a DC over the window's back buffer with the invalid
// rectangle in *paint_rect; EndPaint puts that rectangle on the screen.
BOOL InvalidateRect(HWND hwnd, const RECT* rect);  // nullptr = whole client area
HDC BeginPaint(HWND hwnd, RECT* paint_rect);
BOOL EndPaint(HWND hwnd);
BOOL FillRect(HDC hdc, const RECT* rect, COLORREF colour);
// Draws text (UTF-8) inside rect with a transparent background.
BOOL DrawTextA(HDC hdc, const char* text, const RECT* rect, UINT format, HFONT font,
               COLORREF colour);
BOOL GetTextExtentPoint32A(HFONT font, const char* text, int length, SIZE* size);
// height in pixels (positive = cell height as on Windows' negative lfHeight).
HFONT CreateFontA(int height, int weight, BOOL italic, BOOL underline, BOOL strike_out,
                  DWORD charset, const char* face);
BOOL DeleteObject(HFONT font);

// ---- Windows -------------------------------------------------------------
// What the forms engine needs to create the native window of a form. x, y is
// the outer (frame) top-left corner in screen pixels.
struct FormWindowSpec {
    const char* title = "";
    int x = 0;
    int y = 0;
    int client_width = 0;
    int client_height = 0;
    bool framed = true;  // caption bar, system menu, min/max boxes, sizable border
    COLORREF background = 0;
    WNDPROC proc = nullptr;
};
HWND CreateFormWindow(const FormWindowSpec& request);
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int command);
BOOL IsWindowVisible(HWND hwnd);
BOOL IsIconic(HWND hwnd);
BOOL IsZoomed(HWND hwnd);
BOOL GetWindowRect(HWND hwnd, RECT* rect);  // outer rectangle, screen pixels
BOOL GetClientRect(HWND hwnd, RECT* rect);  // 0, 0, width, height
// x, y, cx, cy are the outer rectangle, as on Windows.
BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags);
BOOL SetWindowRgn(HWND hwnd, int region, BOOL redraw);  // region 0 = none
BOOL SetWindowTextA(HWND hwnd, const char* text);
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
// The pointer shape over the window's client area (IDC_ARROW or IDC_CROSS).
BOOL SetWindowCursor(HWND hwnd, int cursor_id);

// Application icon: images of square sizes, pixels 0xAARRGGBB row by row.
struct IconImage {
    int size = 0;
    const std::uint32_t* argb = nullptr;
};
BOOL SetWindowIcon(HWND hwnd, const IconImage* images, int count);

// ---- Messages, input, timers ---------------------------------------------
LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Blocks until a message is there; FALSE after PostQuitMessage.
BOOL GetMessageA(MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
void PostQuitMessage(int exit_code);
BOOL ReleaseCapture();
HWND SetCapture(HWND hwnd);
// WM_TIMER with wParam = id to the window every `milliseconds`.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT milliseconds);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

LONG_PTR SetWindowLongA(HWND hwnd, int index, LONG_PTR value);
LONG_PTR GetWindowLongA(HWND hwnd, int index);
LRESULT CallWindowProcA(LONG_PTR previous, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The system's handling of what a window procedure does not handle itself:
// the caption drag (WM_NCLBUTTONDOWN with HTCAPTION), the standard system
// commands, the system-menu popup keys; WM_CLOSE destroys the window.
LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Menus ---------------------------------------------------------------
HMENU GetSystemMenu(HWND hwnd, BOOL revert);
BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, const char* text);
int GetMenuItemCount(HMENU menu);  // -1 on failure
BOOL RemoveMenu(HMENU menu, UINT position, UINT flags);
BOOL DrawMenuBar(HWND hwnd);

// ---- Message box, screen -------------------------------------------------
// Modal: while it is open the backend keeps dispatching the program's
// messages (timer ticks included); input to the program's other windows is
// held back. Returns IDOK.
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
int GetSystemMetrics(int index);
int GetScreenDpi();  // 96 unless the host says otherwise

// ---- Registry ------------------------------------------------------------
LSTATUS RegCreateKeyA(HKEY key, const char* subkey, HKEY* result);
LSTATUS RegOpenKeyExA(HKEY key, const char* subkey, DWORD options, DWORD access, HKEY* result);
LSTATUS RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type,
                       const std::uint8_t* data, DWORD size);
LSTATUS RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type,
                         std::uint8_t* data, DWORD* size);
LSTATUS RegDeleteKeyA(HKEY key, const char* subkey);
LSTATUS RegCloseKey(HKEY key);

}  // namespace os
