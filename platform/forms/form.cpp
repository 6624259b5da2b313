// Forms: the native window of each form, its message handling (the engine's
// window procedure turns messages into events), the loaded-forms collection
// and the message loop.
#include <algorithm>
#include <cctype>
#include <string>

#include "platform/forms/forms.h"

namespace forms {

namespace {

// Never destroyed, so that a form destroyed at exit can still leave it.
std::vector<Form*>& Loaded() {
    static auto* loaded = new std::vector<Form*>;
    return *loaded;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool Intersects(const os::RECT& a, const os::RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Contains(const os::RECT& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Labels are drawn beneath the other controls, as lightweight controls are.
bool PaintsFirst(const Control* c) { return dynamic_cast<const Label*>(c) != nullptr; }

}  // namespace

Form::Form(std::string name) : m_name(std::move(name)) {}

// A form that goes away while loaded (only short-lived forms do; default
// instances live for the run) leaves the collection and takes its window with
// it. Its controls are already gone, so no event is raised.
Form::~Form() {
    if (m_hwnd == 0) return;
    auto& loaded = Loaded();
    loaded.erase(std::remove(loaded.begin(), loaded.end(), this), loaded.end());
    os::DestroyWindow(m_hwnd);
}

void Form::add_control(Control& control) {
    // Controls register while they are being constructed, so their kind is
    // looked at later, when the form loads.
    m_controls.push_back(&control);
}

// Lightweight controls first, so that paint order and hit order follow from
// the one list; timers are kept apart for the tick.
void Form::sort_controls() {
    std::stable_partition(m_controls.begin(), m_controls.end(), PaintsFirst);
    m_timers.clear();
    for (Control* c : m_controls)
        if (auto* timer = dynamic_cast<Timer*>(c)) m_timers.push_back(timer);
}

Form* Form::FromHandle(os::HWND hwnd) {
    if (hwnd == 0) return nullptr;
    for (Form* f : Loaded())
        if (f->m_hwnd == hwnd) return f;
    return nullptr;
}

std::vector<Form*> LoadedForms() { return Loaded(); }

// ---- Life cycle ----------------------------------------------------------
void Form::load() {
    if (m_hwnd != 0) return;
    // With no form loaded, nothing holds on to the scale or the fonts: the
    // first form of a run (or of a new desktop) reads them afresh.
    if (Loaded().empty()) {
        RefreshTwipsPerPixel();
        ForgetFonts();
    }
    sort_controls();
    design();
    os::FormWindowSpec request;
    request.title = m_caption.c_str();
    request.x = TwipsToPixels(m_design_left);
    request.y = TwipsToPixels(m_design_top);
    request.client_width = TwipsToPixels(m_client_width);
    request.client_height = TwipsToPixels(m_client_height);
    request.framed = m_border_style != BorderStyle::None;
    request.background = ResolveColor(m_back_color);
    request.proc = &Form::WindowProc;
    m_hwnd = os::CreateFormWindow(request);
    if (m_hwnd == 0) throw RuntimeError(kErrInvalidCall, "The window could not be created");
    Loaded().push_back(this);
    if (!m_icon.empty()) os::SetWindowIcon(m_hwnd, m_icon.data(), static_cast<int>(m_icon.size()));
    for (Control* c : m_controls) c->on_form_loaded();
    m_focus = nullptr;
    move_focus(1);
    update_cursor(0, 0);
    on_load();
}

void Form::show() {
    load();
    if (m_hwnd != 0) os::ShowWindow(m_hwnd, os::SW_SHOW);
}

void Form::hide() {
    if (m_hwnd != 0) os::ShowWindow(m_hwnd, os::SW_HIDE);
}

void Form::unload() {
    if (m_hwnd == 0 || m_unloading) return;
    m_unloading = true;
    try {
        on_unload();
    } catch (const RuntimeError&) {
        // the unload is never cancelled
    }
    destroy_window();
    m_unloading = false;
    if (Loaded().empty()) os::PostQuitMessage(0);
}

void Form::destroy_window() {
    const os::HWND hwnd = m_hwnd;
    if (hwnd == 0) return;
    for (Control* c : m_controls) c->on_form_unloaded();
    auto& loaded = Loaded();
    loaded.erase(std::remove(loaded.begin(), loaded.end(), this), loaded.end());
    m_hwnd = 0;
    m_focus = nullptr;
    m_pressed = nullptr;
    m_cursor_id = 0;
    os::DestroyWindow(hwnd);
}

int Run() {
    os::MSG msg;
    while (!Loaded().empty() && os::GetMessageA(&msg)) os::DispatchMessageA(&msg);
    return 0;
}

int MsgBox(std::string_view prompt, int style, std::string_view title) {
    const std::string text(prompt);
    const std::string caption(title.empty() ? kDefaultTitle : title);
    const os::HWND owner = Loaded().empty() ? 0 : Loaded().front()->hwnd();
    return os::MessageBoxA(owner, text.c_str(), caption.c_str(), static_cast<os::UINT>(style));
}

// ---- Position and size ---------------------------------------------------
namespace {
os::RECT OuterRect(os::HWND hwnd) {
    os::RECT r;
    os::GetWindowRect(hwnd, &r);
    return r;
}
constexpr os::UINT kPlaceOnly = os::SWP_NOZORDER | os::SWP_NOACTIVATE;
}  // namespace

int Form::left() const { return m_hwnd ? PixelsToTwips(OuterRect(m_hwnd).left) : m_design_left; }
int Form::top() const { return m_hwnd ? PixelsToTwips(OuterRect(m_hwnd).top) : m_design_top; }

int Form::width() const {
    if (m_hwnd == 0) return m_client_width;
    const os::RECT r = OuterRect(m_hwnd);
    return PixelsToTwips(r.right - r.left);
}

int Form::height() const {
    if (m_hwnd == 0) return m_client_height;
    const os::RECT r = OuterRect(m_hwnd);
    return PixelsToTwips(r.bottom - r.top);
}

void Form::set_left(int twips) {
    if (m_hwnd == 0) {
        m_design_left = twips;
        return;
    }
    const os::RECT r = OuterRect(m_hwnd);
    os::SetWindowPos(m_hwnd, 0, TwipsToPixels(twips), r.top, 0, 0, os::SWP_NOSIZE | kPlaceOnly);
}

void Form::set_top(int twips) {
    if (m_hwnd == 0) {
        m_design_top = twips;
        return;
    }
    const os::RECT r = OuterRect(m_hwnd);
    os::SetWindowPos(m_hwnd, 0, r.left, TwipsToPixels(twips), 0, 0, os::SWP_NOSIZE | kPlaceOnly);
}

void Form::set_width(int twips) {
    if (m_hwnd == 0) {
        m_client_width = twips;
        return;
    }
    const os::RECT r = OuterRect(m_hwnd);
    os::SetWindowPos(m_hwnd, 0, 0, 0, TwipsToPixels(twips), r.bottom - r.top, os::SWP_NOMOVE | kPlaceOnly);
}

void Form::set_height(int twips) {
    if (m_hwnd == 0) {
        m_client_height = twips;
        return;
    }
    const os::RECT r = OuterRect(m_hwnd);
    os::SetWindowPos(m_hwnd, 0, 0, 0, r.right - r.left, TwipsToPixels(twips), os::SWP_NOMOVE | kPlaceOnly);
}

WindowState Form::window_state() const {
    if (m_hwnd != 0 && os::IsIconic(m_hwnd)) return WindowState::Minimized;
    if (m_hwnd != 0 && os::IsZoomed(m_hwnd)) return WindowState::Maximized;
    return WindowState::Normal;
}

void Form::set_window_state(WindowState state) {
    if (m_hwnd == 0) return;
    switch (state) {
        case WindowState::Minimized: os::ShowWindow(m_hwnd, os::SW_MINIMIZE); break;
        case WindowState::Maximized: os::ShowWindow(m_hwnd, os::SW_MAXIMIZE); break;
        case WindowState::Normal: os::ShowWindow(m_hwnd, os::SW_RESTORE); break;
    }
}

std::int32_t Form::property(std::string_view name) const {
    if (SameName(name, "Left")) return left();
    if (SameName(name, "Top")) return top();
    if (SameName(name, "Width")) return width();
    if (SameName(name, "Height")) return height();
    if (SameName(name, "WindowState")) return static_cast<std::int32_t>(window_state());
    throw RuntimeError(kErrNoSuchProperty, "Object does not support this property");
}

void Form::set_property(std::string_view name, std::int32_t value) {
    if (SameName(name, "Left")) return set_left(value);
    if (SameName(name, "Top")) return set_top(value);
    if (SameName(name, "Width")) return set_width(value);
    if (SameName(name, "Height")) return set_height(value);
    if (SameName(name, "WindowState")) {
        if (value < 0 || value > 2) throw RuntimeError(kErrInvalidPropertyValue, "Invalid property value");
        return set_window_state(static_cast<WindowState>(value));
    }
    throw RuntimeError(kErrNoSuchProperty, "Object does not support this property");
}

// ---- Design settings -----------------------------------------------------
void Form::set_caption(std::string caption) {
    m_caption = std::move(caption);
    if (m_hwnd != 0) os::SetWindowTextA(m_hwnd, m_caption.c_str());
}

void Form::set_back_color(os::COLORREF colour) {
    if (!IsValidColor(colour)) throw RuntimeError(kErrInvalidPropertyValue, "Invalid property value");
    m_back_color = colour;
    if (m_hwnd != 0) os::InvalidateRect(m_hwnd, nullptr);
}

void Form::set_client_size(int width_twips, int height_twips) {
    m_client_width = width_twips;
    m_client_height = height_twips;
}

void Form::set_design_position(int left_twips, int top_twips) {
    m_design_left = left_twips;
    m_design_top = top_twips;
}

// ---- Focus, hit testing, painting ----------------------------------------
void Form::set_focus(Control* control) {
    if (m_focus == control) return;
    Control* old = m_focus;
    m_focus = control;
    if (old) old->invalidate();
    if (control) control->invalidate();
}

// Moves the focus to the next (step 1) or previous (-1) control in tab order
// that takes it; with no focus yet, step 1 picks the first.
void Form::move_focus(int step) {
    std::vector<Control*> order;
    for (Control* c : m_controls)
        if (c->can_focus() && c->is_visible()) order.push_back(c);
    if (order.empty()) return;
    std::stable_sort(order.begin(), order.end(),
                     [](const Control* a, const Control* b) { return a->tab_index() < b->tab_index(); });
    auto at = std::find(order.begin(), order.end(), m_focus);
    const int n = static_cast<int>(order.size());
    int index = at == order.end() ? (step > 0 ? 0 : n - 1)
                                  : ((static_cast<int>(at - order.begin()) + step) % n + n) % n;
    set_focus(order[static_cast<std::size_t>(index)]);
}

Control* Form::control_at(int x, int y) const {
    for (auto it = m_controls.rbegin(); it != m_controls.rend(); ++it) {
        Control* c = *it;
        if (c->is_visible() && Contains(c->pixel_rect(), x, y)) return c;
    }
    return nullptr;
}

// Controls are painted whole and in order, so a rectangle that cuts into a
// control grows to cover it (and whatever overlaps it in turn); otherwise a
// control repainted under another would show through where it should not.
void Form::invalidate(const os::RECT& rect) const {
    if (m_hwnd == 0) return;
    os::RECT r = rect;
    for (bool grown = true; grown;) {
        grown = false;
        for (const Control* c : m_controls) {
            const os::RECT cr = c->pixel_rect();
            if (!c->is_visible() || !Intersects(cr, r)) continue;
            const os::RECT u{std::min(r.left, cr.left), std::min(r.top, cr.top), std::max(r.right, cr.right),
                             std::max(r.bottom, cr.bottom)};
            if (u.left != r.left || u.top != r.top || u.right != r.right || u.bottom != r.bottom) {
                r = u;
                grown = true;
            }
        }
    }
    os::InvalidateRect(m_hwnd, &r);
}

void Form::paint() {
    os::RECT dirty;
    const os::HDC dc = os::BeginPaint(m_hwnd, &dirty);
    if (dc == 0) return;
    Canvas(dc, 0, 0).fill(dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top,
                          m_back_color);
    for (Control* c : m_controls) {
        const os::RECT r = c->pixel_rect();
        if (c->is_visible() && Intersects(r, dirty)) c->paint(Canvas(dc, r.left, r.top));
    }
    os::EndPaint(m_hwnd);
}

void Form::update_cursor(int x, int y) {
    const Control* c = control_at(x, y);
    const MousePointer pointer = c ? c->mouse_pointer() : m_mouse_pointer;
    const int id = pointer == MousePointer::Crosshair ? os::IDC_CROSS : os::IDC_ARROW;
    if (id == m_cursor_id) return;
    m_cursor_id = id;
    os::SetWindowCursor(m_hwnd, id);
}

// ---- Messages ------------------------------------------------------------
os::LRESULT Form::WindowProc(os::HWND hwnd, os::UINT message, os::WPARAM wParam, os::LPARAM lParam) {
    Form* form = FromHandle(hwnd);
    if (form == nullptr) return os::DefWindowProcA(hwnd, message, wParam, lParam);
    return form->handle(message, wParam, lParam);
}

os::LRESULT Form::handle(os::UINT message, os::WPARAM wParam, os::LPARAM lParam) {
    switch (message) {
        case os::WM_TIMER:
            for (Timer* t : m_timers)
                if (static_cast<os::WPARAM>(t->id()) == wParam && t->on_timer) t->on_timer();
            return 0;
        case os::WM_PAINT:
            paint();
            return 0;
        case os::WM_CLOSE:
            unload();
            return 0;
        case os::WM_LBUTTONDOWN:
        case os::WM_RBUTTONDOWN:
        case os::WM_MBUTTONDOWN:
        case os::WM_LBUTTONDBLCLK:
        case os::WM_LBUTTONUP:
        case os::WM_MBUTTONUP:
            mouse_button(message, wParam, lParam);
            return 0;
        case os::WM_RBUTTONUP:
            // A right click on a framed form's background opens its window menu.
            if (m_border_style != BorderStyle::None &&
                control_at(os::GET_X_LPARAM(lParam), os::GET_Y_LPARAM(lParam)) == nullptr)
                return os::DefWindowProcA(m_hwnd, message, wParam, lParam);
            mouse_button(message, wParam, lParam);
            return 0;
        case os::WM_MOUSEMOVE:
            update_cursor(os::GET_X_LPARAM(lParam), os::GET_Y_LPARAM(lParam));
            return 0;
        case os::WM_KEYDOWN:
        case os::WM_SYSKEYDOWN:
            if (key_down(wParam, message == os::WM_SYSKEYDOWN || (lParam & os::KF_ALTDOWN_LPARAM) != 0))
                return 0;
            return os::DefWindowProcA(m_hwnd, message, wParam, lParam);
        case os::WM_KEYUP:
            if (m_focus) m_focus->key_up(wParam);
            return 0;
        default:
            return os::DefWindowProcA(m_hwnd, message, wParam, lParam);
    }
}

void Form::mouse_button(os::UINT message, os::WPARAM wParam, os::LPARAM lParam) {
    const int x = os::GET_X_LPARAM(lParam);
    const int y = os::GET_Y_LPARAM(lParam);
    int button = kLeftButton;
    if (message == os::WM_RBUTTONDOWN || message == os::WM_RBUTTONUP) button = kRightButton;
    if (message == os::WM_MBUTTONDOWN || message == os::WM_MBUTTONUP) button = kMiddleButton;
    const int shift = (wParam & os::MK_SHIFT) ? kShiftMask : 0;
    const bool up = message == os::WM_LBUTTONUP || message == os::WM_RBUTTONUP || message == os::WM_MBUTTONUP;
    if (up) {
        Control* pressed = m_pressed;
        m_pressed = nullptr;
        if (pressed) {
            const os::RECT r = pressed->pixel_rect();
            pressed->mouse_up(button, x - r.left, y - r.top);
        }
        return;
    }
    Control* c = control_at(x, y);
    if (message == os::WM_LBUTTONDBLCLK && c == nullptr) {
        on_dbl_click();
        return;
    }
    if (c != nullptr) {
        m_pressed = c;
        const os::RECT r = c->pixel_rect();
        c->mouse_down(button, shift, x - r.left, y - r.top);
    } else if (on_mouse_down) {
        on_mouse_down(button, shift, static_cast<float>(PixelsToTwips(x)),
                      static_cast<float>(PixelsToTwips(y)));
    }
}

// Enter and Esc click the default and cancel buttons, Tab moves the focus,
// Alt with a letter activates the control whose caption marks it.
bool Form::key_down(int vk, bool alt) {
    if (alt) {
        if (vk < 'A' || vk > 'Z') return false;
        for (Control* c : m_controls)
            if (c->is_visible() && c->access_key() == static_cast<char>(vk)) {
                c->activate();
                return true;
            }
        return false;
    }
    switch (vk) {
        case os::VK_RETURN: click_button(true); return true;
        case os::VK_ESCAPE: click_button(false); return true;
        case os::VK_TAB: move_focus(1); return true;
        case os::VK_F10: return false;
        default:
            if (m_focus) m_focus->key_down(vk);
            return true;
    }
}

void Form::click_button(bool default_button) {
    if (default_button)
        if (auto* focused = dynamic_cast<CommandButton*>(m_focus)) return focused->activate();
    for (Control* c : m_controls)
        if (auto* b = dynamic_cast<CommandButton*>(c))
            if (default_button ? b->is_default() : b->is_cancel()) return b->activate();
}

}  // namespace forms
