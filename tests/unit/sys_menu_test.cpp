// The panel's window menu on the simulated desktop: the credit entry in
// place of Close, the trimming's guards, the replaced window procedure and
// the about message.
#include "app/shaped_form.h"
#include "app/sys_menu_hook.h"
#include "sim_fixture.h"

namespace {

class SysMenuTest : public SimDesktopTest {
protected:
    ShapedForm& panel = ShapedForm::instance();

    void start() {
        panel.show();
        sim::Pump();
    }

    std::vector<std::string> menu_texts() const {
        std::vector<std::string> out;
        for (const sim::MenuItem& item : sim::SystemMenu(panel.hwnd()))
            out.push_back(item.flags & os::MF_SEPARATOR ? "-" : item.text);
        return out;
    }

    // Empties a window's system menu from inside a call the load makes.
    static void EmptyMenuOf(os::HWND hwnd) {
        static bool busy = false;
        if (busy) return;
        busy = true;
        const os::HMENU menu = os::GetSystemMenu(hwnd, os::FALSE);
        while (os::GetMenuItemCount(menu) > 0) os::RemoveMenu(menu, 0, os::MF_BYPOSITION);
        busy = false;
    }
};

TEST_F(SysMenuTest, CreditEntryReplacesClose) {
    start();
    EXPECT_EQ(menu_texts(), (std::vector<std::string>{"&Restore", "&Move", "&Size", "Mi&nimize", "Ma&ximize", "-",
                                                      SysMenuHook::kCreditCaption}));
    EXPECT_EQ(sim::SystemMenu(panel.hwnd()).back().id, SysMenuHook::IDM_ABOUT);
}

TEST_F(SysMenuTest, TrimmingGuards) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::vector<std::string> menu;
        int redraws;
    };
    const std::vector<std::string> untouched = {"&Restore", "&Move", "&Size", "Mi&nimize", "Ma&ximize", "-",
                                                "&Close\tAlt+F4", "-", SysMenuHook::kCreditCaption};
    const Case cases[] = {
        // The count query failed: -1 is not 0, so positions -3 and -4 are
        // asked for; both removals fail and the bar is still redrawn.
        {"count -1", [] { sim::FailNext("GetMenuItemCount"); }, untouched, 1},
        // The menu held nothing before the hook: the separator at 0 goes.
        {"count 2", [this] { sim::BeforeCall("AppendMenuA", [this] { EmptyMenuOf(panel.hwnd()); }); },
         {SysMenuHook::kCreditCaption}, 1},
        // A count of 0: nothing is removed and the bar is not redrawn.
        {"count 0", [this] { sim::BeforeCall("GetMenuItemCount", [this] { EmptyMenuOf(panel.hwnd()); }); },
         {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        panel.unload();
        c.arrange();
        start();
        sim::BeforeCall("AppendMenuA", {});
        sim::BeforeCall("GetMenuItemCount", {});
        EXPECT_EQ(menu_texts(), c.menu);
        EXPECT_EQ(sim::CallCount("DrawMenuBar"), c.redraws);
        EXPECT_TRUE(sim::Window(panel.hwnd()).visible);
    }
}

// What the replaced procedure saw, and what it answered.
struct Seen {
    os::UINT msg = 0;
    os::WPARAM wParam = 0;
    os::LPARAM lParam = 0;
    int calls = 0;
};
Seen g_seen;
os::LRESULT RecordingProc(os::HWND, os::UINT msg, os::WPARAM wParam, os::LPARAM lParam) {
    g_seen = {msg, wParam, lParam, g_seen.calls + 1};
    return 4242;
}

TEST_F(SysMenuTest, EveryOtherCommandReachesTheReplacedProcedureUnchanged) {
    start();
    const os::LONG_PTR real = SysMenuHook::PrevWndProc;
    // Install the recording procedure as a real one, then put the hook back
    // in front of it.
    const os::LONG_PTR hook = os::SetWindowLongA(panel.hwnd(), os::GWL_WNDPROC,
                                                 reinterpret_cast<os::LONG_PTR>(&RecordingProc));
    os::SetWindowLongA(panel.hwnd(), os::GWL_WNDPROC, hook);
    SysMenuHook::PrevWndProc = reinterpret_cast<os::LONG_PTR>(&RecordingProc);
    std::vector<os::WPARAM> commands = {os::SC_MINIMIZE, os::SC_MOVE};
    for (int low = 1; low <= 15; ++low) commands.push_back(static_cast<os::WPARAM>(SysMenuHook::IDM_ABOUT) + low);
    for (os::WPARAM command : commands) {
        g_seen = {};
        EXPECT_EQ(os::SendMessageA(panel.hwnd(), os::WM_SYSCOMMAND, command, 77), 4242);
        EXPECT_EQ(g_seen.calls, 1);
        EXPECT_EQ(g_seen.msg, os::WM_SYSCOMMAND);
        EXPECT_EQ(g_seen.wParam, command);
        EXPECT_EQ(g_seen.lParam, 77);
    }
    EXPECT_TRUE(sim::MessageBoxes().empty());
    SysMenuHook::PrevWndProc = real;
}

TEST_F(SysMenuTest, CreditEntryShowsTheAboutMessageAndKeepsProbing) {
    start();
    sim::SetCursor(500, 500);
    int ticks_while_open = 0;
    sim::OnMessageBox([&](const sim::MessageBoxRecord&) {
        const int before = sim::CallCount("GetCursorPos");
        sim::SetCursor(510, 505);
        sim::Advance(5);
        ticks_while_open = (sim::CallCount("GetCursorPos") - before) / 2;
        return os::IDOK;
    });
    const os::RECT before = sim::Window(panel.hwnd()).outer;
    g_seen = {};
    EXPECT_EQ(os::SendMessageA(panel.hwnd(), os::WM_SYSCOMMAND, static_cast<os::WPARAM>(SysMenuHook::IDM_ABOUT), 0),
              0);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text, "About1 . . .");
    EXPECT_EQ(sim::MessageBoxes()[0].caption, "About");
    EXPECT_EQ(sim::MessageBoxes()[0].type, os::MB_ICONASTERISK);
    EXPECT_EQ(ticks_while_open, 5);
    EXPECT_EQ(panel.Label1.caption(), "x: 510") << "the probe ran while the message was open";
    const os::RECT after = sim::Window(panel.hwnd()).outer;
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(sim::SystemMenu(panel.hwnd()).size(), 7u);
}

TEST_F(SysMenuTest, MinimiseFromTheMenuGoesThroughToTheSystem) {
    start();
    EXPECT_EQ(os::SendMessageA(panel.hwnd(), os::WM_SYSCOMMAND, os::SC_MINIMIZE, 0), 0);
    EXPECT_TRUE(sim::Window(panel.hwnd()).iconic);
}

TEST_F(SysMenuTest, HookingTheSameWindowTwiceStillForwards) {
    start();
    SysMenuHook::HookForm(panel);
    os::SendMessageA(panel.hwnd(), os::WM_SYSCOMMAND, os::SC_MINIMIZE, 0);
    EXPECT_TRUE(sim::Window(panel.hwnd()).iconic);
}

TEST_F(SysMenuTest, MenuCallsOnAVanishedWindowFailQuietly) {
    start();
    const os::HWND gone = panel.hwnd();
    sim::Vanish(gone);
    EXPECT_EQ(os::GetSystemMenu(gone, os::FALSE), 0);
    EXPECT_EQ(os::AppendMenuA(0, os::MF_STRING, 1, "x"), os::FALSE);
    EXPECT_EQ(os::GetMenuItemCount(0), -1);
    EXPECT_EQ(os::RemoveMenu(0, static_cast<os::UINT>(-1), os::MF_BYPOSITION), os::FALSE);
    EXPECT_EQ(os::DrawMenuBar(gone), os::FALSE);
}

}  // namespace
