// The os:: calls on the simulated desktop.
//
// Supported:
//  - windows: framed (fixed sim frame) and borderless, show/hide/minimise/
//    maximise/restore, topmost and plain z-order bands, move and size, titles,
//    cursor ids and icon counts, foreground and capture, foreign windows
//  - a composed screen: background image plus every visible, non-iconic window
//  - window, screen, paint and image DCs; GetPixel, SetPixel, FillRect,
//    BitBlt (SRCCOPY only), SetDIBitsToDevice
//  - the paint cycle, posted and sent messages, virtual-time timers
//  - DefWindowProcA: close, caption drag, system commands, paint validation
//  - per-window system menus; modal message boxes answered by the test
//  - a log of every call, planted failures and actions per call
// Not supported:
//  - text rasterisation (DrawTextA records the text, draws no pixels);
//    fixed-width font metrics only
//  - window regions other than none; HWND_BOTTOM; InvalidateRect(0, ...)
//  - raster operations other than SRCCOPY; child windows; keyboard move and
//    size (SC_MOVE, SC_SIZE) and the system-menu popup
//  - activation by SetWindowPos (only showing, clicking and
//    SetForegroundWindow activate)
//  - the registry calls, which come from platform/regstore
#include <cstdlib>
#include <string_view>

#include "platform/os.h"
#include "platform/sim/call_log.h"
#include "platform/sim/desktop.h"

namespace os {
namespace {

using sim::detail::DcKind;
using sim::detail::DeviceContext;
using sim::detail::Fn;

sim::detail::Desktop& Desk() { return sim::detail::TheDesktop(); }

// Logs the call, runs any planted action, and says whether the call must fail.
template <class... Args>
bool Fails(Fn fn, Args... args) {
    return sim::detail::TheCallLog().Enter(fn, args...);
}

// Image sizes a test could plausibly ask for; anything bigger is a bad
// argument, not a reason to exhaust memory.
constexpr long long kMaxImagePixels = 1LL << 26;

bool IsPlainColour(COLORREF c) { return (static_cast<std::uint32_t>(c) & 0xFF000000u) == 0; }

int CountChars(const char* text, int length) {
    int chars = 0;
    for (int i = 0; i < length; ++i)  // UTF-8 continuation bytes add no width
        chars += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    return chars;
}

}  // namespace

// ---- Start-up ----------------------------------------------------------------

BOOL StartUp(const char** reason) {
    if (Fails(Fn::StartUp)) {
        if (reason) *reason = "cannot open the simulated desktop";
        return FALSE;
    }
    return TRUE;
}

void ShutDown() { Fails(Fn::ShutDown); }

// ---- Cursor and pixels ------------------------------------------------------------

BOOL GetCursorPos(POINT* point) {
    if (Fails(Fn::GetCursorPos) || !point) return FALSE;
    *point = Desk().Cursor();
    return TRUE;
}

HWND WindowFromPoint(POINT point) {
    if (Fails(Fn::WindowFromPoint, point.x, point.y)) return 0;
    return Desk().TopWindowAt(point);
}

HDC GetDC(HWND hwnd) {
    if (Fails(Fn::GetDC, hwnd)) return 0;
    if (hwnd != 0 && !Desk().Find(hwnd)) return 0;
    DeviceContext dc;
    dc.kind = hwnd == 0 ? DcKind::Screen : DcKind::Window;
    dc.hwnd = hwnd;
    return Desk().NewDc(std::move(dc));
}

// The window may be gone by now; its DC is still given back.
int ReleaseDC(HWND hwnd, HDC hdc) {
    if (Fails(Fn::ReleaseDC, hwnd, hdc)) return 0;
    const DeviceContext* dc = Desk().FindDc(hdc);
    if (!dc || (dc->kind != DcKind::Window && dc->kind != DcKind::Screen)) return 0;
    return Desk().FreeDc(hdc) ? 1 : 0;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
    if (Fails(Fn::ScreenToClient, hwnd, point ? point->x : 0, point ? point->y : 0)) return FALSE;
    const auto* w = Desk().Find(hwnd);
    if (!w || !point) return FALSE;
    const RECT client = sim::detail::Desktop::ClientRect(*w);
    point->x -= client.left;
    point->y -= client.top;
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
    if (Fails(Fn::ClientToScreen, hwnd, point ? point->x : 0, point ? point->y : 0)) return FALSE;
    const auto* w = Desk().Find(hwnd);
    if (!w || !point) return FALSE;
    const RECT client = sim::detail::Desktop::ClientRect(*w);
    point->x += client.left;
    point->y += client.top;
    return TRUE;
}

// The planted read failure is the screen's: an image DC's pixels live in this
// process and always read back, which is what the probe's fallback relies on.
COLORREF GetPixel(HDC hdc, int x, int y) {
    if (Fails(Fn::GetPixel, hdc, x, y)) return CLR_INVALID;
    const DeviceContext* dc = Desk().FindDc(hdc);
    if (dc && dc->kind != DcKind::Image && Desk().GetPixelFails()) return CLR_INVALID;
    return Desk().ReadPixel(hdc, x, y);
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF colour) {
    if (Fails(Fn::SetPixel, hdc, x, y, colour)) return CLR_INVALID;
    return Desk().WritePixel(hdc, x, y, colour) ? colour : CLR_INVALID;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop) {
    if (Fails(Fn::BitBlt, dest, x, y, width, height, source, sx, sy, rop)) return FALSE;
    if (rop != SRCCOPY) return FALSE;
    return Desk().Blt(dest, x, y, width, height, source, sx, sy) ? TRUE : FALSE;
}

BOOL SetDIBitsToDevice(HDC hdc, int x, int y, int width, int height, const COLORREF* pixels, int stride) {
    if (Fails(Fn::SetDIBitsToDevice, hdc, x, y, width, height, stride)) return FALSE;
    return Desk().PutPixels(hdc, x, y, width, height, pixels, stride) ? TRUE : FALSE;
}

HDC CreateImageDC(int width, int height, COLORREF fill) {
    if (Fails(Fn::CreateImageDC, width, height, fill)) return 0;
    if (width < 0 || height < 0 || static_cast<long long>(width) * height > kMaxImagePixels ||
        !IsPlainColour(fill))
        return 0;
    DeviceContext dc;
    dc.kind = DcKind::Image;
    dc.image = sim::detail::Image(width, height, fill);
    return Desk().NewDc(std::move(dc));
}

BOOL DeleteDC(HDC hdc) {
    if (Fails(Fn::DeleteDC, hdc)) return FALSE;
    const DeviceContext* dc = Desk().FindDc(hdc);
    if (!dc || dc->kind != DcKind::Image) return FALSE;
    return Desk().FreeDc(hdc) ? TRUE : FALSE;
}

BOOL ClearImageDC(HDC hdc, COLORREF fill) {
    if (Fails(Fn::ClearImageDC, hdc, fill)) return FALSE;
    DeviceContext* dc = Desk().FindDc(hdc);
    if (!dc || dc->kind != DcKind::Image || !IsPlainColour(fill)) return FALSE;
    dc->image.Fill({0, 0, dc->image.width, dc->image.height}, fill);
    return TRUE;
}

// ---- Painting ----------------------------------------------------------------------

BOOL InvalidateRect(HWND hwnd, const RECT* rect) {
    const bool failed = rect ? Fails(Fn::InvalidateRect, hwnd, rect->left, rect->top, rect->right,
                                     rect->bottom)
                             : Fails(Fn::InvalidateRect, hwnd);
    if (failed) return FALSE;
    return Desk().Invalidate(hwnd, rect) ? TRUE : FALSE;
}

HDC BeginPaint(HWND hwnd, RECT* paint_rect) {
    if (Fails(Fn::BeginPaint, hwnd)) return 0;
    return Desk().BeginPaint(hwnd, paint_rect);
}

BOOL EndPaint(HWND hwnd) {
    if (Fails(Fn::EndPaint, hwnd)) return FALSE;
    return Desk().EndPaint(hwnd) ? TRUE : FALSE;
}

BOOL FillRect(HDC hdc, const RECT* rect, COLORREF colour) {
    if (Fails(Fn::FillRect, hdc, rect ? rect->left : 0, rect ? rect->top : 0,
              rect ? rect->right : 0, rect ? rect->bottom : 0, colour) ||
        !rect)
        return FALSE;
    return Desk().FillDc(hdc, *rect, colour) ? TRUE : FALSE;
}

BOOL DrawTextA(HDC hdc, const char* text, const RECT* rect, UINT format, HFONT font,
               COLORREF colour) {
    if (Fails(Fn::DrawTextA, hdc, text, rect ? rect->left : 0, rect ? rect->top : 0,
              rect ? rect->right : 0, rect ? rect->bottom : 0, format, font, colour) ||
        !rect || !Desk().FindFont(font))
        return FALSE;
    return Desk().DrawText(hdc, text, *rect, colour) ? TRUE : FALSE;
}

BOOL GetTextExtentPoint32A(HFONT font, const char* text, int length, SIZE* size) {
    // The text need not end at `length`; log only what the call may read.
    const std::string_view logged(text && length > 0 ? text : "",
                                  text && length > 0 ? static_cast<std::size_t>(length) : 0);
    if (Fails(Fn::GetTextExtentPoint32A, font, logged, length)) return FALSE;
    const auto* f = Desk().FindFont(font);
    if (!f || !size || length < 0 || (!text && length > 0)) return FALSE;
    const int advance = f->weight >= FW_BOLD ? 7 : 6;
    size->cx = advance * CountChars(text, length);
    size->cy = f->height;
    return TRUE;
}

HFONT CreateFontA(int height, int weight, BOOL italic, BOOL underline, BOOL strike_out,
                  DWORD charset, const char* face) {
    if (Fails(Fn::CreateFontA, height, weight, italic, underline, strike_out, charset, face))
        return 0;
    return Desk().NewFont(height, weight);
}

BOOL DeleteObject(HFONT font) {
    if (Fails(Fn::DeleteObject, font)) return FALSE;
    return Desk().FreeFont(font) ? TRUE : FALSE;
}

// ---- Windows ----------------------------------------------------------------------

HWND CreateFormWindow(const FormWindowSpec& request) {
    if (Fails(Fn::CreateFormWindow, request.title, request.x, request.y, request.client_width,
              request.client_height, request.framed ? 1 : 0, request.background))
        return 0;
    return Desk().Create(request);
}

BOOL DestroyWindow(HWND hwnd) {
    if (Fails(Fn::DestroyWindow, hwnd)) return FALSE;
    return Desk().Destroy(hwnd) ? TRUE : FALSE;
}

BOOL IsWindow(HWND hwnd) {
    if (Fails(Fn::IsWindow, hwnd)) return FALSE;
    return Desk().Find(hwnd) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int command) {
    if (Fails(Fn::ShowWindow, hwnd, command)) return FALSE;
    return Desk().Show(hwnd, command) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
    if (Fails(Fn::IsWindowVisible, hwnd)) return FALSE;
    const auto* w = Desk().Find(hwnd);
    return w && w->visible ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd) {
    if (Fails(Fn::IsIconic, hwnd)) return FALSE;
    const auto* w = Desk().Find(hwnd);
    return w && w->iconic ? TRUE : FALSE;
}

BOOL IsZoomed(HWND hwnd) {
    if (Fails(Fn::IsZoomed, hwnd)) return FALSE;
    const auto* w = Desk().Find(hwnd);
    return w && w->zoomed ? TRUE : FALSE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    if (Fails(Fn::GetWindowRect, hwnd)) return FALSE;
    const auto* w = Desk().Find(hwnd);
    if (!w || !rect) return FALSE;
    *rect = w->outer;
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    if (Fails(Fn::GetClientRect, hwnd)) return FALSE;
    const auto* w = Desk().Find(hwnd);
    if (!w || !rect) return FALSE;
    *rect = {0, 0, w->back.width, w->back.height};
    return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
    if (Fails(Fn::SetWindowPos, hwnd, insert_after, x, y, cx, cy, flags)) return FALSE;
    return Desk().SetPos(hwnd, insert_after, x, y, cx, cy, flags) ? TRUE : FALSE;
}

// Only "no region" exists here: the whole window rectangle shows.
BOOL SetWindowRgn(HWND hwnd, int region, BOOL redraw) {
    if (Fails(Fn::SetWindowRgn, hwnd, region, redraw)) return FALSE;
    if (!Desk().Find(hwnd) || region != 0) return FALSE;
    if (redraw) Desk().Invalidate(hwnd, nullptr);
    return TRUE;
}

BOOL SetWindowTextA(HWND hwnd, const char* text) {
    if (Fails(Fn::SetWindowTextA, hwnd, text)) return FALSE;
    auto* w = Desk().Find(hwnd);
    if (!w) return FALSE;
    w->title = text ? text : "";
    return TRUE;
}

BOOL SetForegroundWindow(HWND hwnd) {
    if (Fails(Fn::SetForegroundWindow, hwnd)) return FALSE;
    return hwnd != 0 && Desk().SetForeground(hwnd) ? TRUE : FALSE;
}

HWND GetForegroundWindow() {
    if (Fails(Fn::GetForegroundWindow)) return 0;
    return Desk().Foreground();
}

BOOL SetWindowCursor(HWND hwnd, int cursor_id) {
    if (Fails(Fn::SetWindowCursor, hwnd, cursor_id)) return FALSE;
    auto* w = Desk().Find(hwnd);
    if (!w) return FALSE;
    w->cursor_id = cursor_id;
    return TRUE;
}

BOOL SetWindowIcon(HWND hwnd, const IconImage* images, int count) {
    if (Fails(Fn::SetWindowIcon, hwnd, count)) return FALSE;
    auto* w = Desk().Find(hwnd);
    if (!w || count < 0 || (count > 0 && !images)) return FALSE;
    for (int i = 0; i < count; ++i)
        if (images[i].size <= 0 || !images[i].argb) return FALSE;
    w->icon_count = count;
    return TRUE;
}

// ---- Messages, input, timers -------------------------------------------------------------

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Fails(Fn::SendMessageA, hwnd, message, wParam, lParam)) return 0;
    return Desk().Send(hwnd, message, wParam, lParam);
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Fails(Fn::PostMessageA, hwnd, message, wParam, lParam)) return FALSE;
    return Desk().Post(hwnd, message, wParam, lParam) ? TRUE : FALSE;
}

BOOL GetMessageA(MSG* msg) {
    if (Fails(Fn::GetMessageA)) return -1;  // Windows' error result
    return Desk().GetMessage(msg);
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (Fails(Fn::DispatchMessageA, msg ? msg->hwnd : 0, msg ? msg->message : 0u,
              msg ? msg->wParam : 0, msg ? msg->lParam : 0) ||
        !msg)
        return 0;
    return Desk().Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exit_code) {
    if (Fails(Fn::PostQuitMessage, exit_code)) return;
    Desk().PostQuit();
}

BOOL ReleaseCapture() {
    if (Fails(Fn::ReleaseCapture)) return FALSE;
    return Desk().ReleaseCapture() ? TRUE : FALSE;
}

HWND SetCapture(HWND hwnd) {
    if (Fails(Fn::SetCapture, hwnd)) return 0;
    return Desk().SetCapture(hwnd);
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT milliseconds) {
    if (Fails(Fn::SetTimer, hwnd, id, milliseconds)) return 0;
    return Desk().SetTimer(hwnd, id, milliseconds);
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    if (Fails(Fn::KillTimer, hwnd, id)) return FALSE;
    return Desk().KillTimer(hwnd, id) ? TRUE : FALSE;
}

LONG_PTR SetWindowLongA(HWND hwnd, int index, LONG_PTR value) {
    if (Fails(Fn::SetWindowLongA, hwnd, index, value) || index != GWL_WNDPROC) return 0;
    LONG_PTR previous = 0;
    return Desk().SetProc(hwnd, value, &previous) ? previous : 0;
}

LONG_PTR GetWindowLongA(HWND hwnd, int index) {
    if (Fails(Fn::GetWindowLongA, hwnd, index) || index != GWL_WNDPROC) return 0;
    const auto* w = Desk().Find(hwnd);
    return w ? w->proc : 0;
}

LRESULT CallWindowProcA(LONG_PTR previous, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Fails(Fn::CallWindowProcA, previous, hwnd, message, wParam, lParam)) return 0;
    return Desk().CallProc(previous, hwnd, message, wParam, lParam);
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Fails(Fn::DefWindowProcA, hwnd, message, wParam, lParam)) return 0;
    return Desk().DefProc(hwnd, message, wParam, lParam);
}

// ---- Menus ----------------------------------------------------------------------------

HMENU GetSystemMenu(HWND hwnd, BOOL revert) {
    if (Fails(Fn::GetSystemMenu, hwnd, revert)) return 0;
    return Desk().SystemMenu(hwnd, revert != FALSE);
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, const char* text) {
    if (Fails(Fn::AppendMenuA, menu, flags, id, text)) return FALSE;
    auto* items = Desk().FindMenu(menu);
    if (!items) return FALSE;
    const bool separator = (flags & MF_SEPARATOR) != 0;
    items->push_back({flags, separator ? 0 : id, separator || !text ? "" : text});
    return TRUE;
}

int GetMenuItemCount(HMENU menu) {
    if (Fails(Fn::GetMenuItemCount, menu)) return -1;
    const auto* items = Desk().FindMenu(menu);
    return items ? static_cast<int>(items->size()) : -1;
}

BOOL RemoveMenu(HMENU menu, UINT position, UINT flags) {
    if (Fails(Fn::RemoveMenu, menu, position, flags)) return FALSE;
    return Desk().RemoveMenuItem(menu, position, flags) ? TRUE : FALSE;
}

BOOL DrawMenuBar(HWND hwnd) {
    if (Fails(Fn::DrawMenuBar, hwnd)) return FALSE;
    return Desk().Find(hwnd) ? TRUE : FALSE;
}

// ---- Message box, screen -----------------------------------------------------------------

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    if (Fails(Fn::MessageBoxA, owner, text, caption, type)) return 0;
    return Desk().MessageBox(owner, text, caption, type);
}

int GetSystemMetrics(int index) {
    if (Fails(Fn::GetSystemMetrics, index)) return 0;
    if (index == SM_CXSCREEN) return Desk().ScreenWidth();
    if (index == SM_CYSCREEN) return Desk().ScreenHeight();
    return 0;
}

int GetScreenDpi() {
    if (Fails(Fn::GetScreenDpi)) return 0;
    return Desk().Dpi();
}

}  // namespace os
