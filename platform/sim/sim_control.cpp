// The test-facing side of the simulated desktop: reset, drive, inspect and
// plant faults.
#include <stdexcept>

#include "platform/regstore/regstore.h"
#include "platform/sim/call_log.h"
#include "platform/sim/desktop.h"
#include "platform/sim/sim.h"

namespace sim {
namespace {

detail::Desktop& Desk() { return detail::TheDesktop(); }

detail::Fn KnownCall(const std::string& call) {
    const detail::Fn fn = detail::FnFromName(call);
    if (fn == detail::Fn::Count) throw std::invalid_argument("sim: no os:: call named " + call);
    return fn;
}

bool IsRegistryCall(const std::string& call) { return call.rfind("Reg", 0) == 0; }

}  // namespace

void Reset(int screen_width, int screen_height, int dpi) {
    Desk().Reset(screen_width, screen_height, dpi);
    detail::TheCallLog().Clear();
    detail::TheCallLog().ClearFaults();
    regstore::UseMemoryStore();
    regstore::ClearFaults();
}

// ---- Screen and cursor -----------------------------------------------------------

void PaintBackground(os::COLORREF colour) {
    detail::Image& bg = Desk().Background();
    bg.Fill({0, 0, bg.width, bg.height}, colour);
}

void PaintBackgroundRect(const os::RECT& rect, os::COLORREF colour) { Desk().Background().Fill(rect, colour); }

os::COLORREF ScreenPixel(int x, int y) { return Desk().ScreenPixel(x, y); }

void SetCursor(int x, int y) { Desk().Cursor() = {x, y}; }

os::POINT Cursor() { return Desk().Cursor(); }

os::HWND CreateForeignWindow(const os::RECT& outer, os::COLORREF fill, bool topmost) {
    return Desk().CreateForeign(outer, fill, topmost);
}

// ---- Inspection ------------------------------------------------------------------

WindowInfo Window(os::HWND hwnd) {
    WindowInfo info;
    const detail::Window* w = Desk().Find(hwnd);
    if (!w) return info;
    info.exists = true;
    info.visible = w->visible;
    info.topmost = w->topmost;
    info.iconic = w->iconic;
    info.framed = w->framed;
    info.title = w->title;
    info.outer = w->outer;
    info.client = detail::Desktop::ClientRect(*w);
    info.cursor_id = w->cursor_id;
    info.icon_count = w->icon_count;
    return info;
}

std::vector<os::HWND> ZOrder() { return Desk().ZOrder(); }

os::COLORREF WindowPixel(os::HWND hwnd, int x, int y) {
    const detail::Window* w = Desk().Find(hwnd);
    if (!w || !w->back.Contains(x, y)) return os::CLR_INVALID;
    return w->back.At(x, y);
}

std::vector<DrawnText> TextsDrawn(os::HWND hwnd) {
    const detail::Window* w = Desk().Find(hwnd);
    return w ? w->texts : std::vector<DrawnText>{};
}

int OpenDCs() { return Desk().OpenWindowDcs(); }

const std::vector<Call>& Calls() { return detail::TheCallLog().Calls(); }

void ClearCalls() { detail::TheCallLog().Clear(); }

int CallCount(const std::string& name) { return detail::TheCallLog().Count(name); }

std::vector<MenuItem> SystemMenu(os::HWND hwnd) {
    if (!Desk().Find(hwnd)) return {};
    return *Desk().FindMenu(Desk().SystemMenu(hwnd, false));
}

// ---- Driving -----------------------------------------------------------------------

void Pump() { Desk().Pump(); }

void Advance(int ms) { Desk().Advance(ms); }

std::int64_t Now() { return Desk().Now(); }

void MouseDown(int screen_x, int screen_y, int button, bool shift) {
    Desk().MouseEvent(screen_x, screen_y, button, 0, shift);
}

void MouseUp(int screen_x, int screen_y, int button) { Desk().MouseEvent(screen_x, screen_y, button, 1, false); }

void Click(int screen_x, int screen_y, int button) {
    MouseDown(screen_x, screen_y, button);
    MouseUp(screen_x, screen_y, button);
}

void DoubleClick(int screen_x, int screen_y) { Desk().MouseDoubleClick(screen_x, screen_y); }

void MouseMove(int screen_x, int screen_y) { Desk().MouseMove(screen_x, screen_y); }

void Key(int vk, bool alt, bool shift) { Desk().Key(vk, alt, shift); }

void CloseRequest(os::HWND hwnd) { Desk().Send(hwnd, os::WM_CLOSE, 0, 0); }

bool QuitPosted() { return Desk().QuitPosted(); }

// ---- Message boxes -------------------------------------------------------------------

const std::vector<MessageBoxRecord>& MessageBoxes() { return Desk().MessageBoxes(); }

void OnMessageBox(std::function<int(const MessageBoxRecord&)> answer) {
    Desk().OnMessageBox(std::move(answer));
}

// ---- Faults ------------------------------------------------------------------------

void FailNext(const std::string& call, int count, os::LSTATUS status) {
    if (IsRegistryCall(call)) {
        regstore::InjectFault(call, status, count);
        return;
    }
    detail::TheCallLog().FailNext(KnownCall(call), count);
}

void SetGetPixelFails(bool on) { Desk().GetPixelFails() = on; }

void BeforeCall(const std::string& call, std::function<void()> action) {
    detail::TheCallLog().SetBefore(KnownCall(call), std::move(action));
}

void Vanish(os::HWND hwnd) { Desk().Remove(hwnd); }

}  // namespace sim
