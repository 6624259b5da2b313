// The panel's own entry in its window menu: a credit line that opens the
// about message, answered by a window procedure put in front of the panel's.
#pragma once

#include "platform/forms/forms.h"
#include "platform/os.h"

namespace SysMenuHook {

constexpr os::UINT_PTR IDM_ABOUT = 1010;
inline constexpr const char* kCreditCaption = "made by quillmoss; quillmoss@pixometer.invalid";

// The procedure HookWindowProc replaced, kept at full pointer width: a
// procedure address cut to 32 bits would crash a 64-bit build.
extern os::LONG_PTR PrevWndProc;

// Appends the separator and the credit entry, shows the form and puts
// HookWindowProc in front of the form window's procedure.
void HookForm(forms::Form& form);
os::LRESULT HookWindowProc(os::HWND hwnd, os::UINT msg, os::WPARAM wParam, os::LPARAM lParam);

}  // namespace SysMenuHook
