// The windowless controls. Each paints itself through its form's canvas and
// repaints only when something it shows has changed.
#include <cctype>

#include "platform/forms/forms.h"

namespace forms {

namespace {

// "E&xit" shows "Exit", with the x underlined and Alt+X as its access key.
struct AccessText {
    std::string shown;
    int underline = -1;  // index into `shown`
    char key = 0;
};

AccessText ParseAccessText(std::string_view caption) {
    AccessText out;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            ++i;
            if (caption[i] != '&' && out.underline < 0) {
                out.underline = static_cast<int>(out.shown.size());
                out.key = static_cast<char>(std::toupper(static_cast<unsigned char>(caption[i])));
            }
        }
        out.shown.push_back(caption[i]);
    }
    return out;
}

int TextWidth(const Font& font, std::string_view text) {
    os::SIZE size;
    if (text.empty()) return 0;
    os::GetTextExtentPoint32A(FontHandle(font), text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
}

// Draws a caption with its access letter underlined, centred in the box.
void DrawAccessText(const Canvas& canvas, int x, int y, int width, int height,
                    const AccessText& text, const Font& font, os::COLORREF colour, os::UINT format) {
    canvas.text(x, y, width, height, text.shown, font, colour, format | os::DT_SINGLELINE | os::DT_VCENTER);
    if (text.underline < 0) return;
    const int total = TextWidth(font, text.shown);
    int start = x;
    if (format & os::DT_CENTER) start = x + (width - total) / 2;
    const int before = TextWidth(font, std::string_view(text.shown).substr(0, static_cast<std::size_t>(text.underline)));
    const int letter = TextWidth(font, std::string_view(text.shown).substr(static_cast<std::size_t>(text.underline), 1));
    const int baseline = y + (height + FontPixelHeight(font)) / 2;
    canvas.fill(start + before, baseline, letter, 1, colour);
}

void SunkenBorder(const Canvas& canvas, int width, int height) {
    canvas.fill(0, 0, width, 1, kButtonShadow);
    canvas.fill(0, 0, 1, height, kButtonShadow);
    canvas.fill(1, 1, width - 2, 1, kButtonDarkShadow);
    canvas.fill(1, 1, 1, height - 2, kButtonDarkShadow);
    canvas.fill(0, height - 1, width, 1, kButtonHighlight);
    canvas.fill(width - 1, 0, 1, height, kButtonHighlight);
    canvas.fill(1, height - 2, width - 2, 1, kButtonFace);
    canvas.fill(width - 2, 1, 1, height - 2, kButtonFace);
}

}  // namespace

// ---- Control -------------------------------------------------------------
Control::Control(Form& owner, std::string name, int index)
    : m_form(owner), m_name(std::move(name)), m_index(index) {
    owner.add_control(*this);
}

void Control::move(int left, int top, int width, int height) {
    invalidate();
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
    invalidate();
}

void Control::set_visible(bool visible) {
    if (m_visible == visible) return;
    m_visible = true;  // so that invalidate() covers it either way
    invalidate();
    m_visible = visible;
}

void Control::set_back_color(os::COLORREF colour) {
    if (!IsValidColor(colour)) throw RuntimeError(kErrInvalidPropertyValue, "Invalid property value");
    if (m_back_color == colour) return;
    m_back_color = colour;
    invalidate();
}

void Control::set_fore_color(os::COLORREF colour) {
    if (!IsValidColor(colour)) throw RuntimeError(kErrInvalidPropertyValue, "Invalid property value");
    if (m_fore_color == colour) return;
    m_fore_color = colour;
    invalidate();
}

void Control::set_font(const Font& font) {
    if (m_font == font) return;
    m_font = font;
    invalidate();
}

os::RECT Control::pixel_rect() const {
    const int x = TwipsToPixels(m_left);
    const int y = TwipsToPixels(m_top);
    return {x, y, x + TwipsToPixels(m_width), y + TwipsToPixels(m_height)};
}

bool Control::has_focus() const { return m_form.focus() == this; }

void Control::mouse_down(int button, int shift, int x, int y) {
    if (on_mouse_down)
        on_mouse_down(button, shift, static_cast<float>(PixelsToTwips(x)),
                      static_cast<float>(PixelsToTwips(y)));
}

void Control::invalidate() const {
    if (m_visible && m_form.is_loaded()) m_form.invalidate(pixel_rect());
}

// ---- Label ---------------------------------------------------------------
void Label::set_caption(std::string_view caption) {
    if (m_caption == caption) return;
    m_caption.assign(caption.data(), caption.size());
    invalidate();
}

void Label::set_alignment(Alignment alignment) {
    m_alignment = alignment;
    invalidate();
}

void Label::set_border_style(BorderStyle style) {
    m_border_style = style;
    invalidate();
}

void Label::paint(const Canvas& canvas) {
    const os::RECT r = pixel_rect();
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    canvas.fill(0, 0, w, h, back_color());
    int inset = 0;
    if (m_border_style != BorderStyle::None) {
        SunkenBorder(canvas, w, h);
        inset = 2;
    }
    os::UINT format = os::DT_WORDBREAK;
    if (m_alignment == Alignment::Center) format |= os::DT_CENTER;
    if (m_alignment == Alignment::Right) format |= os::DT_RIGHT;
    canvas.text(inset, inset, w - 2 * inset, h - 2 * inset, m_caption, font(), fore_color(), format);
}

// ---- CheckBox ------------------------------------------------------------
void CheckBox::set_caption(std::string_view caption) {
    if (m_caption == caption) return;
    m_caption.assign(caption.data(), caption.size());
    invalidate();
}

void CheckBox::set_value(int value) {
    if (m_value == value) return;
    m_value = value;
    invalidate();
    if (on_click) on_click();
}

void CheckBox::set_design_value(int value) {
    m_value = value;
    invalidate();
}

void CheckBox::toggle() { set_value(m_value == 1 ? 0 : 1); }

void CheckBox::paint(const Canvas& canvas) {
    constexpr int kBox = 13;
    const os::RECT r = pixel_rect();
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    canvas.fill(0, 0, w, h, back_color());
    const int by = (h - kBox) / 2;
    canvas.fill(0, by, kBox, kBox, m_pressed ? kButtonFace : kWindowBackground);
    canvas.frame(0, by, kBox, kBox, kButtonShadow);
    if (m_value == 1) {
        // A check mark of three short diagonal strokes.
        for (int i = 0; i < 7; ++i) {
            const int x = 3 + i;
            const int y = by + (i < 2 ? 5 + i : 9 - (i - 2)) ;
            canvas.fill(x, y, 1, 3, kWindowText);
        }
    }
    const AccessText text = ParseAccessText(m_caption);
    const int tx = kBox + 4;
    DrawAccessText(canvas, tx, 0, w - tx, h, text, font(), fore_color(), os::DT_LEFT);
    if (has_focus()) {
        const int tw = TextWidth(font(), text.shown);
        const int th = FontPixelHeight(font()) + 2;
        const int fw = tw + 3 < w - tx + 1 ? tw + 3 : w - tx + 1;
        canvas.dotted_frame(tx - 2, (h - th) / 2, fw, th, fore_color());
    }
}

void CheckBox::mouse_down(int button, int shift, int x, int y) {
    if (button == kLeftButton) {
        form().set_focus(this);
        m_pressed = true;
        invalidate();
    }
    Control::mouse_down(button, shift, x, y);
}

void CheckBox::mouse_up(int button, int x, int y) {
    if (button != kLeftButton || !m_pressed) return;
    m_pressed = false;
    invalidate();
    const os::RECT r = pixel_rect();
    if (x >= 0 && y >= 0 && x < r.right - r.left && y < r.bottom - r.top) toggle();
}

void CheckBox::key_up(int vk) {
    if (vk == os::VK_SPACE) toggle();
}

void CheckBox::activate() {
    form().set_focus(this);
    toggle();
}

char CheckBox::access_key() const { return ParseAccessText(m_caption).key; }

// ---- CommandButton -------------------------------------------------------
void CommandButton::set_caption(std::string_view caption) {
    if (m_caption == caption) return;
    m_caption.assign(caption.data(), caption.size());
    invalidate();
}

void CommandButton::paint(const Canvas& canvas) {
    const os::RECT r = pixel_rect();
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    canvas.fill(0, 0, w, h, back_color());
    int inset = 0;
    if (m_default || has_focus()) {
        canvas.frame(0, 0, w, h, kWindowText);
        inset = 1;
    }
    const int iw = w - 2 * inset;
    const int ih = h - 2 * inset;
    if (m_pressed) {
        canvas.frame(inset, inset, iw, ih, kButtonShadow);
    } else {
        canvas.fill(inset, inset, iw, 1, kButtonHighlight);
        canvas.fill(inset, inset, 1, ih, kButtonHighlight);
        canvas.fill(inset, inset + ih - 1, iw, 1, kButtonDarkShadow);
        canvas.fill(inset + iw - 1, inset, 1, ih, kButtonDarkShadow);
        canvas.fill(inset + 1, inset + ih - 2, iw - 2, 1, kButtonShadow);
        canvas.fill(inset + iw - 2, inset + 1, 1, ih - 2, kButtonShadow);
    }
    const int shift = m_pressed ? 1 : 0;
    DrawAccessText(canvas, shift, shift, w, h, ParseAccessText(m_caption), font(), fore_color(),
                   os::DT_CENTER);
    if (has_focus()) canvas.dotted_frame(4, 4, w - 8, h - 8, kWindowText);
}

void CommandButton::mouse_down(int button, int shift, int x, int y) {
    if (button == kLeftButton) {
        form().set_focus(this);
        m_pressed = true;
        invalidate();
    }
    Control::mouse_down(button, shift, x, y);
}

void CommandButton::mouse_up(int button, int x, int y) {
    if (button != kLeftButton || !m_pressed) return;
    m_pressed = false;
    invalidate();
    const os::RECT r = pixel_rect();
    if (x >= 0 && y >= 0 && x < r.right - r.left && y < r.bottom - r.top) activate();
}

void CommandButton::key_up(int vk) {
    if (vk == os::VK_SPACE) activate();
}

void CommandButton::activate() {
    if (on_click) on_click();
}

char CommandButton::access_key() const { return ParseAccessText(m_caption).key; }

// ---- PictureBox ----------------------------------------------------------
int PictureBox::border() const { return m_border_style == BorderStyle::None ? 0 : 2; }

void PictureBox::on_form_loaded() {
    const os::RECT r = pixel_rect();
    const int w = r.right - r.left - 2 * border();
    const int h = r.bottom - r.top - 2 * border();
    m_image_width = w > 0 ? w : 1;
    m_image_height = h > 0 ? h : 1;
    m_loaded = true;
    m_uniform = !has_picture();
}

void PictureBox::on_form_unloaded() {
    if (m_image != 0) os::DeleteDC(m_image);
    m_image = 0;
    m_loaded = false;
}

// The picture is shown unscaled from the top-left corner and clipped by the
// box; the box does not grow to the picture.
os::SIZE PictureBox::picture_extent() const {
    if (!has_picture()) return {0, 0};
    return {m_picture->width < m_image_width ? m_picture->width : m_image_width,
            m_picture->height < m_image_height ? m_picture->height : m_image_height};
}

void PictureBox::draw_picture(os::HDC dc) const {
    const os::SIZE extent = picture_extent();
    if (extent.cx > 0 && extent.cy > 0)
        os::SetDIBitsToDevice(dc, 0, 0, extent.cx, extent.cy, m_picture->pixels, m_picture->width);
}

bool PictureBox::make_image() {
    if (m_image != 0) return true;
    if (!m_loaded) return false;
    m_image = os::CreateImageDC(m_image_width, m_image_height, ResolveColor(back_color()));
    if (m_image == 0) return false;
    draw_picture(m_image);
    return true;
}

os::HDC PictureBox::hdc() {
    if (!make_image()) return 0;
    m_uniform = false;
    return m_image;
}

void PictureBox::refresh() { invalidate(); }

// Clears the image to the background colour and puts the picture back on it.
void PictureBox::redraw_image() {
    m_uniform = !has_picture();
    if (m_image == 0) return;
    os::ClearImageDC(m_image, ResolveColor(back_color()));
    draw_picture(m_image);
}

void PictureBox::set_back_color(os::COLORREF colour) {
    if (!IsValidColor(colour)) throw RuntimeError(kErrInvalidPropertyValue, "Invalid property value");
    // Setting the colour clears the image; when it already holds nothing but
    // that colour there is nothing to clear or repaint.
    if (colour == back_color() && m_uniform) return;
    Control::set_back_color(colour);
    redraw_image();
    invalidate();
}

os::COLORREF PictureBox::point(int x, int y) const {
    if (!m_loaded || x < 0 || y < 0 || x >= m_image_width || y >= m_image_height) return os::CLR_INVALID;
    if (m_image != 0) return os::GetPixel(m_image, x, y);
    if (has_picture() && x < m_picture->width && y < m_picture->height)
        return m_picture->pixels[static_cast<std::size_t>(y) * m_picture->width + x] & 0xFFFFFF;
    return ResolveColor(back_color());
}

void PictureBox::pset(int x, int y, os::COLORREF colour) {
    if (!m_loaded) return;
    const os::COLORREF rgb = ResolveColor(colour);
    if (m_uniform && rgb == ResolveColor(back_color())) return;
    if (!make_image()) return;
    os::SetPixel(m_image, x, y, rgb);
    m_uniform = false;
    invalidate();
}

void PictureBox::set_border_style(BorderStyle style) {
    m_border_style = style;
    invalidate();
}

void PictureBox::set_picture(const Picture* picture) {
    m_picture = picture;
    redraw_image();
    invalidate();
}

void PictureBox::paint(const Canvas& canvas) {
    const os::RECT r = pixel_rect();
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    const int b = border();
    if (b > 0) SunkenBorder(canvas, w, h);
    if (!m_loaded) return;
    if (m_image != 0 && !m_uniform) {
        canvas.image(b, b, w - 2 * b, h - 2 * b, m_image);
        return;
    }
    // Nothing drawn on the box: its colour is filled, not copied pixel by
    // pixel (the probe's swatch changes colour on most moves), and a picture
    // goes on top straight from its own pixels.
    canvas.fill(b, b, w - 2 * b, h - 2 * b, back_color());
    const os::SIZE extent = picture_extent();
    if (m_image == 0 && extent.cx > 0 && extent.cy > 0)
        canvas.pixels(b, b, extent.cx, extent.cy, m_picture->pixels, m_picture->width);
}

// ---- Timer ---------------------------------------------------------------
namespace {
os::UINT_PTR NextTimerId() {
    static os::UINT_PTR next = 1;
    return next++;
}
}  // namespace

Timer::Timer(Form& owner, std::string name) : Control(owner, std::move(name)), m_id(NextTimerId()) {
    set_visible(false);
}

void Timer::arm() {
    if (!form().is_loaded()) return;
    os::KillTimer(form().hwnd(), m_id);
    if (m_enabled && m_interval > 0)
        os::SetTimer(form().hwnd(), m_id, static_cast<os::UINT>(m_interval));
}

void Timer::set_interval(int milliseconds) {
    if (m_interval == milliseconds) return;
    m_interval = milliseconds;
    arm();
}

void Timer::set_enabled(bool enabled) {
    if (m_enabled == enabled) return;
    m_enabled = enabled;
    arm();
}

void Timer::on_form_loaded() { arm(); }
void Timer::on_form_unloaded() {}

}  // namespace forms
