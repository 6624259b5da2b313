#include "app/sys_menu_hook.h"

namespace SysMenuHook {

os::LONG_PTR PrevWndProc = 0;

void HookForm(forms::Form& form) {
    const os::HMENU menu = os::GetSystemMenu(form.hwnd(), os::FALSE);
    os::AppendMenuA(menu, os::MF_SEPARATOR, 0, nullptr);
    os::AppendMenuA(menu, os::MF_STRING, IDM_ABOUT, kCreditCaption);
    form.show();
    const auto hook = reinterpret_cast<os::LONG_PTR>(&HookWindowProc);
    const os::LONG_PTR previous = os::SetWindowLongA(form.hwnd(), os::GWL_WNDPROC, hook);
    // Hooking the same window twice would make the hook its own previous
    // procedure and forward every message to itself without end.
    if (previous != hook) PrevWndProc = previous;
}

os::LRESULT HookWindowProc(os::HWND hwnd, os::UINT msg, os::WPARAM wParam, os::LPARAM lParam) {
    // The whole wParam is compared: a command that differs from the entry's
    // only in its low four bits is somebody else's.
    if (msg == os::WM_SYSCOMMAND && wParam == static_cast<os::WPARAM>(IDM_ABOUT)) {
        forms::MsgBox("About1 . . .", os::MB_ICONASTERISK, "About");
        return 0;
    }
    return os::CallWindowProcA(PrevWndProc, hwnd, msg, wParam, lParam);
}

}  // namespace SysMenuHook
