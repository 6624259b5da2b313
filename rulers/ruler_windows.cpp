#include "rulers/ruler_windows.h"

#include "placement/window_placement.h"
#include "rulers/artwork.h"

namespace {

constexpr int kResetPosition = 200;  // twips, 13 pixels

// The artwork is drawn once and kept for the run; the picture only points at it.
forms::Picture ToPicture(const RulerImage& image) {
    return {image.width, image.height, image.pixels.data()};
}

const forms::Picture& HorizontalPicture() {
    static const forms::Picture picture = ToPicture(HorizontalRulerArtwork());
    return picture;
}

const forms::Picture& VerticalPicture() {
    static const forms::Picture picture = ToPicture(VerticalRulerArtwork());
    return picture;
}

void DesignRuler(forms::Form& form, forms::PictureBox& picture) {
    form.set_caption("");
    form.set_border_style(forms::BorderStyle::None);
    form.set_back_color(forms::kWindowBackground);
    picture.set_border_style(forms::BorderStyle::None);
    picture.set_tab_index(0);
    picture.set_visible(true);
}

void TopmostWithoutRegion(forms::Form& form) {
    os::SetWindowRgn(form.hwnd(), 0, os::TRUE);
    os::SetWindowPos(form.hwnd(), os::HWND_TOPMOST, 0, 0, 0, 0, os::SWP_NOSIZE | os::SWP_NOMOVE);
}

}  // namespace

void ResetOffScreen(forms::Form& ruler) {
    // A ruler whose left edge lies exactly on the screen's right edge (or top
    // on the bottom edge) is as unreachable as one further out.
    if (ruler.left() >= forms::ScreenWidth() || ruler.top() >= forms::ScreenHeight()) {
        ruler.set_left(kResetPosition);
        ruler.set_top(kResetPosition);
    }
}

void DragRuler(forms::Form& ruler) {
    os::ReleaseCapture();
    os::SendMessageA(ruler.hwnd(), os::WM_NCLBUTTONDOWN, os::HTCAPTION, 0);
}

// ---- Form1 ---------------------------------------------------------------
Form1::Form1() : forms::Form("Form1") {
    on_mouse_down = [this](int, int, float, float) { DragRuler(*this); };
    Picture1.on_mouse_down = [this](int, int, float, float) { DragRuler(*this); };
}

Form1& Form1::instance() { return forms::DefaultInstance<Form1>(); }

void Form1::design() {
    DesignRuler(*this, Picture1);
    set_client_size(11820, 480);
    set_design_position(1785, 5130);
    set_mouse_pointer(forms::MousePointer::Default);
    Picture1.move(0, 0, 11850, 600);
    Picture1.set_mouse_pointer(forms::MousePointer::Crosshair);
    Picture1.set_picture(&HorizontalPicture());
}

void Form1::on_load() {
    WindowPlacement::RestorePositionH(*this);
    TopmostWithoutRegion(*this);
    ResetOffScreen(*this);
}

void Form1::on_unload() { WindowPlacement::SavePositionH(*this); }

// ---- Form2 ---------------------------------------------------------------
// Its own background is covered by Picture1, so only the picture answers a press.
Form2::Form2() : forms::Form("Form2") {
    Picture1.on_mouse_down = [this](int, int, float, float) { DragRuler(*this); };
}

Form2& Form2::instance() { return forms::DefaultInstance<Form2>(); }

void Form2::design() {
    DesignRuler(*this, Picture1);
    set_client_size(1560, 7530);
    set_design_position(7095, 1740);
    set_mouse_pointer(forms::MousePointer::Crosshair);
    Picture1.move(0, 0, 510, 7575);
    Picture1.set_mouse_pointer(forms::MousePointer::Default);
    Picture1.set_picture(&VerticalPicture());
}

void Form2::on_load() {
    WindowPlacement::RestorePositionV(*this);
    set_width(495);
    TopmostWithoutRegion(*this);
    ResetOffScreen(*this);
}

void Form2::on_unload() { WindowPlacement::SavePositionV(*this); }
