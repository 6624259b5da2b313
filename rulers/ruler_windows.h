// The two rulers: borderless windows that float above every other window,
// show ruler artwork in screen pixels and move with any mouse button.
#pragma once

#include "platform/forms/forms.h"

// The horizontal ruler.
class Form1 : public forms::Form {
public:
    Form1();
    static Form1& instance();
    forms::PictureBox Picture1{*this, "Picture1"};

protected:
    void design() override;
    void on_load() override;
    void on_unload() override;
};

// The vertical ruler.
class Form2 : public forms::Form {
public:
    Form2();
    static Form2& instance();
    forms::PictureBox Picture1{*this, "Picture1"};

protected:
    void design() override;
    void on_load() override;
    void on_unload() override;
};

// Pulls a ruler back to 200, 200 twips when it would start at or beyond the
// screen's right or bottom edge (where none of it could be seen).
void ResetOffScreen(forms::Form& ruler);
// Hands the move to the system as if the ruler's caption had been pressed.
void DragRuler(forms::Form& ruler);
