#include "app/shaped_form.h"

#include "app/app_icon.h"
#include "app/sys_menu_hook.h"
#include "placement/window_placement.h"
#include "rulers/ruler_windows.h"

namespace {

// Black and yellow as 0x00BBGGRR colours.
constexpr os::COLORREF kBlack = 0x00000000;
constexpr os::COLORREF kYellow = 0x0000FFFF;

forms::Font CheckBoxFont() {
    forms::Font font;
    font.name = "MS Sans Serif";
    font.size = 8.25;
    font.weight = os::FW_BOLD;
    return font;
}

void Place(forms::Control& c, int left, int top, int width, int height, int tab_index) {
    c.move(left, top, width, height);
    c.set_tab_index(tab_index);
}

}  // namespace

ShapedForm::ShapedForm() : forms::Form("ShapedForm") {
    chkHor.on_click = [this] { chkHor_Click(); };
    chkVer.on_click = [this] { chkVer_Click(); };
    cmdExit.on_click = [this] { cmdExit_Click(); };
    Timer1.on_timer = [this] { Timer1_Timer(); };
}

ShapedForm& ShapedForm::instance() { return forms::DefaultInstance<ShapedForm>(); }

// The layout in twips, relative to the client area (15 twips to a pixel).
void ShapedForm::design() {
    // The panel loads once a run, so each load starts the probe afresh.
    CursorPos = {};
    LastProbePos = {};
    set_caption("Pixometer");
    set_back_color(kBlack);
    set_client_size(2715, 1380);
    set_design_position(5805, 1665);
    set_border_style(forms::BorderStyle::Sizable);
    set_icon(AppIcon());

    for (forms::CheckBox* box : {&chkHor, &chkVer}) {
        box->set_back_color(kBlack);
        box->set_fore_color(kYellow);
        box->set_font(CheckBoxFont());
    }
    chkHor.set_design_value(0);
    chkVer.set_design_value(0);
    Place(chkHor, 0, 225, 1575, 210, 0);
    chkHor.set_caption("Horizontal");
    Place(chkVer, 0, 0, 1575, 255, 1);
    chkVer.set_caption("Vertical");
    Place(cmdExit, 2100, 75, 555, 285, 2);
    cmdExit.set_caption("E&xit");
    cmdExit.set_default(true);
    cmdExit.set_cancel(true);

    for (forms::Label* label : {&Label1, &Label2, &lblData[4]}) {
        label->set_back_color(kBlack);
        label->set_fore_color(kYellow);
    }
    Place(Label1, 150, 600, 1215, 255, 3);
    Place(Label2, 1425, 600, 1215, 255, 4);
    Place(Picture1, 600, 975, 690, 315, 5);
    Picture1.set_border_style(forms::BorderStyle::FixedSingle);

    struct DataHolder {
        int left, top, width, height;
    };
    constexpr DataHolder kHolders[] = {
        {225, 1125, 240, 165}, {0, 975, 240, 165}, {225, 975, 240, 165}, {0, 1125, 240, 165},
        {1275, 975, 990, 315}};
    for (int i = 0; i < 5; ++i) {
        const DataHolder& h = kHolders[i];
        Place(lblData[i], h.left, h.top, h.width, h.height, 6 + i);
        lblData[i].set_caption(i == 4 ? "HTML color" : "Label3");
        lblData[i].set_visible(i == 4);
    }
    lblData[4].set_alignment(forms::Alignment::Center);

    Timer1.set_interval(1);
    Timer1.set_enabled(true);
}

// Loading never fails: a step that fails is skipped and the next one runs.
void ShapedForm::on_load() {
    forms::ResumeNext(
        [&] { WindowPlacement::RestoreMainPosition(*this); },
        [&] { SysMenuHook::HookForm(*this); },
        [&] { os::SetWindowPos(hwnd(), os::HWND_TOPMOST, 0, 0, 0, 0, os::SWP_NOSIZE | os::SWP_NOMOVE); },
        [&] { show(); },
        [&] { TrimSystemMenu(); });
}

// Takes the close command (and the separator above it) out of the window
// menu: after HookForm appended its two items, they sit at count - 3 and
// count - 2. Removing the lower one first keeps the other's position.
void ShapedForm::TrimSystemMenu() {
    os::HMENU menu = 0;
    int count = 0;
    forms::ResumeNext([&] { menu = os::GetSystemMenu(hwnd(), os::FALSE); });
    if (menu == 0) return;
    forms::ResumeNext([&] { count = os::GetMenuItemCount(menu); });
    if (count == 0) return;
    constexpr os::UINT kFlags = os::MF_BYPOSITION | os::MF_REMOVE;
    forms::ResumeNext([&] { os::RemoveMenu(menu, static_cast<os::UINT>(count - 2), kFlags); },
                      [&] { os::RemoveMenu(menu, static_cast<os::UINT>(count - 3), kFlags); },
                      [&] { os::DrawMenuBar(hwnd()); });
}

void ShapedForm::chkHor_Click() {
    if (chkHor.value() == 1)
        Form1::instance().show();
    else
        Form1::instance().unload();
}

void ShapedForm::chkVer_Click() {
    if (chkVer.value() == 1)
        Form2::instance().show();
    else
        Form2::instance().unload();
}

void ShapedForm::cmdExit_Click() { ShutDown(); }

void ShapedForm::on_unload() { ShutDown(); }

// The double-click on the background minimises the panel.
void ShapedForm::on_dbl_click() { set_property("WindowState", 1); }

// Run by Exit (and so by Enter, Esc and Alt+X) and by any unload of the
// panel; after Exit it runs twice, the second time from the unload that its
// own last step causes, and finds the rulers already gone.
void ShapedForm::ShutDown() {
    WindowPlacement::SaveMainPosition(*this);
    Form1::instance().unload();
    Form2::instance().unload();
    for (forms::Form* form : forms::LoadedForms()) form->unload();
}
