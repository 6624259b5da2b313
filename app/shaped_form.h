// The main panel: a small black window that floats above every other window,
// shows the cursor's position and the colour under it, opens and closes the
// two rulers and ends the program.
#pragma once

#include <string>

#include "platform/forms/forms.h"
#include "platform/os.h"

class ShapedForm : public forms::Form {
public:
    ShapedForm();
    static ShapedForm& instance();

    // The six-digit HTML text of a colour (red first), without "#".
    std::string ColorToHTML(const os::COLORREF& clr) const;

    // The cursor probe, run by every tick of Timer1.
    void Timer1_Timer();

    forms::CheckBox chkHor{*this, "chkHor"};
    forms::CheckBox chkVer{*this, "chkVer"};
    forms::CommandButton cmdExit{*this, "cmdExit"};
    forms::Label Label1{*this, "Label1"};
    forms::Label Label2{*this, "Label2"};
    forms::PictureBox Picture1{*this, "Picture1"};
    forms::ControlArray<forms::Label> lblData{*this, "lblData", 5};
    forms::Timer Timer1{*this, "Timer1"};

    os::POINT CursorPos;     // the first cursor reading of the current tick
    os::POINT LastProbePos;  // where the last full probe ran

protected:
    void design() override;
    void on_load() override;
    void on_unload() override;
    void on_dbl_click() override;

private:
    void chkHor_Click();
    void chkVer_Click();
    void cmdExit_Click();
    void ShutDown();
    void TrimSystemMenu();
};
