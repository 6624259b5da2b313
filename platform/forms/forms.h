// The forms engine: forms with one default instance each, windowless controls
// drawn by their form, events, message boxes, twips, text conversions and the
// resume-next helper. Portable: it talks to the host only through os.h.
//
// Positions and sizes are twips (1/1440 inch); the engine converts with the
// host's twips per pixel (15 at 96 DPI). Colours are 0x00BBGGRR values; the
// system colours 0x800000nn are resolved when drawn.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms/text.h"
#include "platform/os.h"

namespace forms {

class Form;

// ---- Colours -------------------------------------------------------------
constexpr os::COLORREF kSystemColorFlag = static_cast<os::COLORREF>(0x80000000u);
constexpr os::COLORREF SystemColor(int index) { return kSystemColorFlag | index; }
constexpr os::COLORREF kWindowBackground = SystemColor(5);
constexpr os::COLORREF kWindowText = SystemColor(8);
constexpr os::COLORREF kButtonFace = SystemColor(15);
constexpr os::COLORREF kButtonShadow = SystemColor(16);
constexpr os::COLORREF kButtonText = SystemColor(18);
constexpr os::COLORREF kButtonHighlight = SystemColor(20);
constexpr os::COLORREF kButtonDarkShadow = SystemColor(21);

// A colour a control accepts: an RGB value or a known system colour.
bool IsValidColor(os::COLORREF colour);
// The RGB value a colour is drawn with (system colours resolved).
os::COLORREF ResolveColor(os::COLORREF colour);

// ---- Units ---------------------------------------------------------------
int TwipsPerPixel();
// Reads the host's DPI again (each form load does, so a new desktop counts).
void RefreshTwipsPerPixel();
int TwipsToPixels(int twips);
int PixelsToTwips(int pixels);
int ScreenWidth();   // twips
int ScreenHeight();  // twips

// ---- Settings ------------------------------------------------------------
enum class MousePointer { Default, Crosshair };
enum class BorderStyle { None = 0, FixedSingle = 1, Sizable = 2 };
enum class Alignment { Left = 0, Right = 1, Center = 2 };
enum class WindowState { Normal = 0, Minimized = 1, Maximized = 2 };

struct Font {
    std::string name = "MS Sans Serif";
    double size = 8.25;  // points
    int weight = os::FW_NORMAL;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
    int charset = 0;
    bool operator==(const Font&) const = default;
};

// Mouse buttons as mouse-down events report them.
constexpr int kLeftButton = 1;
constexpr int kRightButton = 2;
constexpr int kMiddleButton = 4;
constexpr int kShiftMask = 1;

using MouseHandler = std::function<void(int button, int shift, float x, float y)>;
using ClickHandler = std::function<void()>;

// ---- Drawing -------------------------------------------------------------
// What a control paints with: the form's paint DC, offset to the control's
// own top-left corner. Coordinates are client pixels of the control.
class Canvas {
public:
    Canvas(os::HDC dc, int origin_x, int origin_y) : m_dc(dc), m_x(origin_x), m_y(origin_y) {}
    void fill(int x, int y, int width, int height, os::COLORREF colour) const;
    void frame(int x, int y, int width, int height, os::COLORREF colour) const;
    void dotted_frame(int x, int y, int width, int height, os::COLORREF colour) const;
    void text(int x, int y, int width, int height, std::string_view text, const Font& font,
              os::COLORREF colour, os::UINT format) const;
    void image(int x, int y, int width, int height, os::HDC source) const;
    // Pixels held in memory, row by row, `stride` pixels apart.
    void pixels(int x, int y, int width, int height, const os::COLORREF* pixels, int stride) const;
    os::HDC dc() const { return m_dc; }

private:
    os::HDC m_dc;
    int m_x;
    int m_y;
};

// The backend font for a font setting; made once and kept while any form is
// loaded.
os::HFONT FontHandle(const Font& font);
// Gives the backend fonts back; the next paint makes them again.
void ForgetFonts();
int FontPixelHeight(const Font& font);

// A picture: pixels row by row, 0x00BBGGRR. It only looks at pixels kept
// elsewhere (and for as long as the picture box shows them).
struct Picture {
    int width = 0;
    int height = 0;
    const os::COLORREF* pixels = nullptr;
};

// ---- Controls ------------------------------------------------------------
class Control {
public:
    Control(Form& owner, std::string name, int index = -1);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& name() const { return m_name; }
    int index() const { return m_index; }
    Form& form() const { return m_form; }

    int left() const { return m_left; }
    int top() const { return m_top; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    void move(int left, int top, int width, int height);

    bool is_visible() const { return m_visible; }
    void set_visible(bool visible);
    os::COLORREF back_color() const { return m_back_color; }
    virtual void set_back_color(os::COLORREF colour);  // throws on an invalid colour
    os::COLORREF fore_color() const { return m_fore_color; }
    void set_fore_color(os::COLORREF colour);
    const Font& font() const { return m_font; }
    void set_font(const Font& font);
    int tab_index() const { return m_tab_index; }
    void set_tab_index(int index) { m_tab_index = index; }
    MousePointer mouse_pointer() const { return m_mouse_pointer; }
    void set_mouse_pointer(MousePointer pointer) { m_mouse_pointer = pointer; }

    MouseHandler on_mouse_down;

    // Engine side.
    os::RECT pixel_rect() const;  // client pixels
    bool has_focus() const;
    virtual bool can_focus() const { return false; }
    virtual void paint(const Canvas& canvas) = 0;
    virtual void mouse_down(int button, int shift, int x, int y);
    virtual void mouse_up(int /*button*/, int /*x*/, int /*y*/) {}
    virtual void key_down(int /*vk*/) {}
    virtual void key_up(int /*vk*/) {}
    // Activation through the Alt access key, or Enter/Esc for buttons.
    virtual void activate() {}
    virtual char access_key() const { return 0; }
    virtual void on_form_loaded() {}
    virtual void on_form_unloaded() {}
    void invalidate() const;

private:
    Form& m_form;
    std::string m_name;
    int m_index;
    int m_left = 0;
    int m_top = 0;
    int m_width = 0;
    int m_height = 0;
    bool m_visible = true;
    os::COLORREF m_back_color = kButtonFace;
    os::COLORREF m_fore_color = kButtonText;
    Font m_font;
    int m_tab_index = 0;
    MousePointer m_mouse_pointer = MousePointer::Default;
};

class Label : public Control {
public:
    using Control::Control;
    const std::string& caption() const { return m_caption; }
    // Repaints only when the text changes, so rewriting the same text is free.
    void set_caption(std::string_view caption);
    Alignment alignment() const { return m_alignment; }
    void set_alignment(Alignment alignment);
    BorderStyle border_style() const { return m_border_style; }
    void set_border_style(BorderStyle style);
    void paint(const Canvas& canvas) override;

private:
    std::string m_caption;
    Alignment m_alignment = Alignment::Left;
    BorderStyle m_border_style = BorderStyle::None;
};

class CheckBox : public Control {
public:
    using Control::Control;
    const std::string& caption() const { return m_caption; }
    void set_caption(std::string_view caption);
    int value() const { return m_value; }
    // Changing the value raises the click event, as a user's click does.
    void set_value(int value);
    // The value a form's design gives the box: no click event.
    void set_design_value(int value);
    ClickHandler on_click;

    bool can_focus() const override { return true; }
    void paint(const Canvas& canvas) override;
    void mouse_down(int button, int shift, int x, int y) override;
    void mouse_up(int button, int x, int y) override;
    void key_up(int vk) override;
    void activate() override;
    char access_key() const override;

private:
    void toggle();
    std::string m_caption;
    int m_value = 0;
    bool m_pressed = false;
};

class CommandButton : public Control {
public:
    using Control::Control;
    const std::string& caption() const { return m_caption; }
    void set_caption(std::string_view caption);  // "&" marks the access key
    bool is_default() const { return m_default; }
    void set_default(bool on) { m_default = on; }
    bool is_cancel() const { return m_cancel; }
    void set_cancel(bool on) { m_cancel = on; }
    ClickHandler on_click;

    bool can_focus() const override { return true; }
    void paint(const Canvas& canvas) override;
    void mouse_down(int button, int shift, int x, int y) override;
    void mouse_up(int button, int x, int y) override;
    void key_up(int vk) override;
    void activate() override;
    char access_key() const override;

private:
    std::string m_caption;
    bool m_default = false;
    bool m_cancel = false;
    bool m_pressed = false;
};

// A picture box keeps a retained image: its device context draws into that
// image, its point-colour query reads from it, setting its background colour
// clears it. The image is the area inside the border.
class PictureBox : public Control {
public:
    using Control::Control;
    // The device context of the retained image (0 while the form is not loaded).
    // Whoever takes it may draw into the image, so the box repaints next time.
    os::HDC hdc();
    void set_back_color(os::COLORREF colour) override;
    os::COLORREF point(int x, int y) const;  // pixels; -1 outside the image
    void pset(int x, int y, os::COLORREF colour);
    void refresh();  // show what was drawn through hdc()
    BorderStyle border_style() const { return m_border_style; }
    void set_border_style(BorderStyle style);
    void set_picture(const Picture* picture);

    void paint(const Canvas& canvas) override;
    void on_form_loaded() override;
    void on_form_unloaded() override;

private:
    int border() const;
    bool has_picture() const { return m_picture != nullptr && m_picture->pixels != nullptr; }
    bool make_image();
    void redraw_image();
    os::SIZE picture_extent() const;
    void draw_picture(os::HDC image) const;
    bool m_loaded = false;
    // Made only when something draws on the box or reads it back; until then
    // the box paints its colour and picture from where they already are.
    os::HDC m_image = 0;
    int m_image_width = 0;
    int m_image_height = 0;
    bool m_uniform = false;  // the image holds nothing but the background colour
    BorderStyle m_border_style = BorderStyle::FixedSingle;
    const Picture* m_picture = nullptr;
};

class Timer : public Control {
public:
    Timer(Form& owner, std::string name);
    int interval() const { return m_interval; }
    void set_interval(int milliseconds);
    bool is_enabled() const { return m_enabled; }
    void set_enabled(bool enabled);
    ClickHandler on_timer;

    os::UINT_PTR id() const { return m_id; }
    void paint(const Canvas&) override {}
    void on_form_loaded() override;
    void on_form_unloaded() override;

private:
    void arm();
    int m_interval = 0;
    bool m_enabled = true;
    os::UINT_PTR m_id;
};

// A control array: elements by index, created once with the form.
template <class C>
class ControlArray {
public:
    ControlArray(Form& owner, const std::string& name, int count) {
        for (int i = 0; i < count; ++i) m_items.push_back(std::make_unique<C>(owner, name, i));
    }
    C& operator[](int index) {
        if (index < 0 || index >= static_cast<int>(m_items.size()))
            throw RuntimeError(340, "Control array element does not exist");
        return *m_items[static_cast<std::size_t>(index)];
    }
    int count() const { return static_cast<int>(m_items.size()); }

private:
    std::vector<std::unique_ptr<C>> m_items;
};

// ---- Forms ---------------------------------------------------------------
class Form {
public:
    explicit Form(std::string name);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& name() const { return m_name; }
    os::HWND hwnd() const { return m_hwnd; }
    bool is_loaded() const { return m_hwnd != 0; }

    // Creates the window (hidden) and raises the load event; no-op when loaded.
    void load();
    // Loads first, then makes the window visible, modeless.
    void show();
    void hide();
    // Raises the unload event and destroys the window. Does nothing when the
    // form is not loaded or is already being unloaded.
    void unload();

    // Outer position and size in twips, frame included (as on Windows).
    int left() const;
    int top() const;
    int width() const;
    int height() const;
    void set_left(int twips);
    void set_top(int twips);
    void set_width(int twips);
    void set_height(int twips);
    WindowState window_state() const;
    void set_window_state(WindowState state);

    // Property access by name: "Left", "Top", "Width", "Height", "WindowState".
    // An unknown name fails with a runtime error.
    std::int32_t property(std::string_view name) const;
    void set_property(std::string_view name, std::int32_t value);

    // Design settings, applied when the window is created.
    const std::string& caption() const { return m_caption; }
    void set_caption(std::string caption);
    os::COLORREF back_color() const { return m_back_color; }
    void set_back_color(os::COLORREF colour);
    BorderStyle border_style() const { return m_border_style; }
    void set_border_style(BorderStyle style) { m_border_style = style; }
    void set_client_size(int width_twips, int height_twips);
    void set_design_position(int left_twips, int top_twips);
    MousePointer mouse_pointer() const { return m_mouse_pointer; }
    void set_mouse_pointer(MousePointer pointer) { m_mouse_pointer = pointer; }
    void set_icon(std::vector<os::IconImage> images) { m_icon = std::move(images); }

    MouseHandler on_mouse_down;  // a press on the form's own background

    // Engine side.
    void add_control(Control& control);
    const std::vector<Control*>& controls() const { return m_controls; }
    Control* focus() const { return m_focus; }
    void set_focus(Control* control);
    void invalidate(const os::RECT& rect) const;
    Control* control_at(int x, int y) const;  // client pixels; topmost visible
    static Form* FromHandle(os::HWND hwnd);
    // The procedure the engine gives every form window: turns messages into events.
    static os::LRESULT WindowProc(os::HWND hwnd, os::UINT message, os::WPARAM wParam,
                                  os::LPARAM lParam);

protected:
    // Sets the design values of the form and its controls; runs at every load.
    virtual void design() = 0;
    virtual void on_load() {}
    virtual void on_unload() {}
    virtual void on_dbl_click() {}

private:
    os::LRESULT handle(os::UINT message, os::WPARAM wParam, os::LPARAM lParam);
    void paint();
    void mouse_button(os::UINT message, os::WPARAM wParam, os::LPARAM lParam);
    void mouse_move(os::LPARAM lParam);
    bool key_down(int vk, bool alt);
    void key_up(int vk);
    void move_focus(int step);
    void click_button(bool default_button);
    void update_cursor(int x, int y);
    void sort_controls();
    void destroy_window();

    std::string m_name;
    os::HWND m_hwnd = 0;
    bool m_unloading = false;
    std::string m_caption;
    os::COLORREF m_back_color = kButtonFace;
    BorderStyle m_border_style = BorderStyle::Sizable;
    MousePointer m_mouse_pointer = MousePointer::Default;
    int m_client_width = 0;   // twips
    int m_client_height = 0;  // twips
    int m_design_left = 0;    // twips
    int m_design_top = 0;     // twips
    std::vector<os::IconImage> m_icon;
    std::vector<Control*> m_controls;
    std::vector<Timer*> m_timers;
    Control* m_focus = nullptr;
    Control* m_pressed = nullptr;
    int m_cursor_id = 0;
};

// Every form's default instance is created on first use by its accessor.
template <class F>
F& DefaultInstance() {
    static F instance;
    return instance;
}

// The loaded forms, in load order, as a copy that can be walked while its
// members unload.
std::vector<Form*> LoadedForms();

// Runs the message loop until the last form unloads.
int Run();

// A modal message box. Style 0 (no icon), 16 (critical) or 64 (information),
// each with one OK button; an empty title shows the program's title.
constexpr std::string_view kDefaultTitle = "Pixometer";
int MsgBox(std::string_view prompt, int style = 0, std::string_view title = {});

}  // namespace forms
