// The simulated desktop's state and its window-system rules. The os:: entry
// points (os_sim.cpp) record and fault-check each call, then ask this object;
// the test surface (sim_control.cpp) drives and inspects it. Internal to the
// sim folder.
#pragma once

#include <cstdint>
#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/os.h"
#include "platform/sim/sim.h"

namespace sim::detail {

// Colour of a framed window's border and caption bar on the sim screen.
constexpr os::COLORREF kFrameColour = 0x00C0C0C0;
constexpr os::COLORREF kDefaultDesktop = 0x00FFFFFF;
constexpr int kDefaultFontHeight = 13;

// A pixel grid; every read or write outside it is refused by the caller.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<os::COLORREF> pixels;

    Image() = default;
    Image(int w, int h, os::COLORREF fill);
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    os::COLORREF At(int x, int y) const { return pixels[Index(x, y)]; }
    void Set(int x, int y, os::COLORREF c) { pixels[Index(x, y)] = c; }
    void Fill(const os::RECT& r, os::COLORREF c);
    // Keeps the overlapping pixels; new area gets `fill`.
    void Resize(int w, int h, os::COLORREF fill);

private:
    std::size_t Index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
               static_cast<std::size_t>(x);
    }
};

struct Window {
    os::HWND handle = 0;
    bool foreign = false;  // another application's window: no procedure
    bool visible = false;
    bool topmost = false;
    bool iconic = false;
    bool zoomed = false;
    bool framed = false;
    std::string title;
    os::RECT outer;
    os::RECT restore_outer;  // where SC_RESTORE puts a maximised window back
    os::COLORREF background = 0;
    Image back;  // client-area pixels, what the screen shows there
    os::LONG_PTR proc = 0;
    std::optional<os::RECT> invalid;  // client coordinates
    os::HDC paint_dc = 0;             // between BeginPaint and EndPaint
    bool destroying = false;
    int cursor_id = 0;
    int icon_count = 0;
    os::HMENU menu = 0;
    std::vector<DrawnText> texts;
};

enum class DcKind { Screen, Window, Image, Paint };

struct DeviceContext {
    DcKind kind = DcKind::Image;
    os::HWND hwnd = 0;  // Window and Paint
    Image image;        // Image only
};

struct Timer {
    os::HWND hwnd = 0;
    os::UINT_PTR id = 0;
    os::UINT period = 1;
    std::int64_t due = 0;
};

struct Font {
    int height = kDefaultFontHeight;
    int weight = os::FW_NORMAL;
};

struct CaptionDrag {
    os::HWND hwnd = 0;
    os::POINT start_cursor;
    os::RECT start_outer;
};

class Desktop {
public:
    void Reset(int width, int height, int dpi);

    // ---- Screen ----
    int ScreenWidth() const { return m_background.width; }
    int ScreenHeight() const { return m_background.height; }
    int Dpi() const { return m_dpi; }
    Image& Background() { return m_background; }
    os::COLORREF ScreenPixel(int x, int y) const;
    os::POINT& Cursor() { return m_cursor; }

    // ---- Windows ----
    os::HWND Create(const os::FormWindowSpec& request);
    os::HWND CreateForeign(const os::RECT& outer, os::COLORREF fill, bool topmost);
    Window* Find(os::HWND hwnd);
    const Window* Find(os::HWND hwnd) const;
    bool Destroy(os::HWND hwnd);  // WM_DESTROY first
    void Remove(os::HWND hwnd);   // silently
    bool Show(os::HWND hwnd, int command);
    bool SetPos(os::HWND hwnd, os::HWND after, int x, int y, int cx, int cy, os::UINT flags);
    os::HWND TopWindowAt(os::POINT p) const;
    const std::vector<os::HWND>& ZOrder() const { return m_zorder; }
    static os::RECT ClientRect(const Window& w);  // screen coordinates
    bool SetForeground(os::HWND hwnd);
    os::HWND Foreground() const { return m_foreground; }

    // ---- Device contexts, painting, fonts ----
    os::HDC NewDc(DeviceContext dc);
    DeviceContext* FindDc(os::HDC hdc);
    bool FreeDc(os::HDC hdc);
    int OpenWindowDcs() const;
    os::COLORREF ReadPixel(os::HDC hdc, int x, int y);
    bool WritePixel(os::HDC hdc, int x, int y, os::COLORREF c);
    bool FillDc(os::HDC hdc, const os::RECT& r, os::COLORREF c);
    bool Blt(os::HDC dest, int x, int y, int w, int h, os::HDC src, int sx, int sy);
    bool PutPixels(os::HDC dest, int x, int y, int w, int h, const os::COLORREF* pixels, int stride);
    bool Invalidate(os::HWND hwnd, const os::RECT* rect);
    os::HDC BeginPaint(os::HWND hwnd, os::RECT* paint_rect);
    bool EndPaint(os::HWND hwnd);
    bool DrawText(os::HDC hdc, const char* text, const os::RECT& r, os::COLORREF colour);
    os::HFONT NewFont(int height, int weight);
    const Font* FindFont(os::HFONT font) const;
    bool FreeFont(os::HFONT font) { return m_fonts.erase(font) > 0; }
    bool& GetPixelFails() { return m_getpixel_fails; }

    // ---- Messages, timers, input (desktop_input.cpp) ----
    os::LRESULT Send(os::HWND hwnd, os::UINT msg, os::WPARAM w, os::LPARAM l);
    os::LRESULT CallProc(os::LONG_PTR proc, os::HWND hwnd, os::UINT msg, os::WPARAM w,
                         os::LPARAM l);
    os::LRESULT DefProc(os::HWND hwnd, os::UINT msg, os::WPARAM w, os::LPARAM l);
    bool Post(os::HWND hwnd, os::UINT msg, os::WPARAM w, os::LPARAM l);
    os::BOOL GetMessage(os::MSG* msg);
    void Pump();
    void Advance(int ms);
    std::int64_t Now() const { return m_now; }
    void PostQuit() { m_quit = true; }
    bool QuitPosted() const { return m_quit; }
    os::HWND SetCapture(os::HWND hwnd);
    bool ReleaseCapture();
    os::UINT_PTR SetTimer(os::HWND hwnd, os::UINT_PTR id, os::UINT ms);
    bool KillTimer(os::HWND hwnd, os::UINT_PTR id);
    bool SetProc(os::HWND hwnd, os::LONG_PTR proc, os::LONG_PTR* previous);
    // kind: 0 down, 1 up, 2 the second press of a double click
    void MouseEvent(int x, int y, int button, int kind, bool shift);
    void MouseDoubleClick(int x, int y);
    void MouseMove(int x, int y);
    void Key(int vk, bool alt, bool shift);
    int MessageBox(os::HWND owner, const char* text, const char* caption, os::UINT type);
    const std::vector<MessageBoxRecord>& MessageBoxes() const { return m_boxes; }
    void OnMessageBox(std::function<int(const MessageBoxRecord&)> answer);

    // ---- Menus (desktop.cpp) ----
    os::HMENU SystemMenu(os::HWND hwnd, bool revert);
    std::vector<MenuItem>* FindMenu(os::HMENU menu);
    bool RemoveMenuItem(os::HMENU menu, os::UINT position, os::UINT flags);

private:
    void PlaceInZOrder(os::HWND hwnd, os::HWND after);
    void MoveWindow(Window& w, const os::RECT& outer);
    void PickNewForeground();
    os::COLORREF WindowPixelAt(const Window& w, int x, int y) const;
    os::COLORREF ReadWindowDcPixel(os::HWND hwnd, int x, int y) const;
    Image* TargetImage(os::HDC hdc);
    void DeliverTimers();
    bool PaintOne();
    os::HWND InputTarget(os::POINT p) const;
    void SendMouse(os::HWND hwnd, os::UINT msg, os::POINT screen, os::WPARAM flags);
    bool InputHeld() const { return m_modal_depth > 0; }
    os::WPARAM HeldButtons() const;

    Image m_background;
    int m_dpi = 96;
    os::POINT m_cursor;
    std::map<os::HWND, Window> m_windows;
    std::vector<os::HWND> m_zorder;  // bottom first
    std::map<os::HDC, DeviceContext> m_dcs;
    std::map<os::HFONT, Font> m_fonts;
    std::map<os::HMENU, std::vector<MenuItem>> m_menus;
    std::vector<Timer> m_timers;  // creation order: the order ticks are delivered in
    std::deque<os::MSG> m_posted;
    std::set<os::LONG_PTR> m_known_procs;
    std::vector<MessageBoxRecord> m_boxes;
    std::function<int(const MessageBoxRecord&)> m_box_answer;
    std::optional<CaptionDrag> m_drag;
    os::HWND m_foreground = 0;
    os::HWND m_capture = 0;
    os::HWND m_next_window = 1;
    os::HDC m_next_dc = 0x10000001;
    os::HFONT m_next_font = 0x00200001;
    os::HMENU m_next_menu = 0x00100001;
    std::int64_t m_now = 0;
    std::uint64_t m_paints_begun = 0;
    int m_modal_depth = 0;
    int m_buttons_down = 0;  // bit per button 1..3
    bool m_quit = false;
    bool m_getpixel_fails = false;
};

Desktop& TheDesktop();

}  // namespace sim::detail
