// The panel's window menu in the real program: opened by a right click on
// the panel's background, it ends with the credit entry and has no Close;
// the credit entry opens the about message; Minimize iconifies the panel.
#include <gtest/gtest.h>

#include <thread>

#include "harness.h"

using namespace std::chrono_literals;

namespace {

// The popup lays its entries out 22 pixels high, separators 9, inside a
// 3-pixel border. Trimmed, the menu holds five entries, one separator and
// the credit entry; with Close still there it would be taller.
constexpr int kItem = 22, kSeparator = 9, kBorder = 3;
constexpr int kTrimmedHeight = 2 * kBorder + 6 * kItem + kSeparator;
constexpr int kMinimizeY = kBorder + 3 * kItem + kItem / 2;

class SystemMenuE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!desk.ok()) GTEST_SKIP() << "no X display";
        if (!desk.window_manager_runs())
            GTEST_SKIP() << "needs a window manager";
        desk.move_pointer(1000, 750);
        panel = desk.panel_of(program.pid());
        ASSERT_NE(panel, 0u);
        desk.move_window(panel, 200, 150);
        ASSERT_TRUE(e2e::WaitFor([&] { return desk.frame_rect(panel).x == 200; }));
    }

    Window find_now(const std::function<bool(Window)>& match) { return desk.find_now(program.pid(), match); }
    Window find(const std::function<bool(Window)>& match) { return desk.find(program.pid(), match); }
    // A right click on the panel's background opens a popup of the program's own.
    Window open_menu() {
        const e2e::Rect c = desk.client_rect(panel);
        desk.click(c.x + 170, c.y + 80, 3);
        return find([&](Window w) {
            XWindowAttributes a{};
            return XGetWindowAttributes(desk.display(), w, &a) && a.override_redirect;
        });
    }

    e2e::Desktop desk;
    e2e::Program program;
    Window panel = 0;
};

TEST_F(SystemMenuE2ETest, CreditEntryOpensTheAboutMessageAndLeavesThePanelAsItWas) {
    const Window menu = open_menu();
    ASSERT_NE(menu, 0u) << "no popup menu";
    const e2e::Rect m = desk.client_rect(menu);
    EXPECT_EQ(m.height, kTrimmedHeight) << "the menu should hold no Close and one credit entry";
    // The last entry is the credit line: choosing it opens "About".
    desk.click(m.x + 20, m.y + m.height - kBorder - kItem / 2);
    const Window about = find([&](Window w) { return desk.name(w) == "About"; });
    ASSERT_NE(about, 0u) << "no window titled About";
    std::this_thread::sleep_for(150ms);
    desk.key("Return");
    EXPECT_TRUE(e2e::WaitFor([&] { return find_now([&](Window w) { return w == about; }) == 0; }, 5s))
        << "Enter left the message open";
    EXPECT_EQ(desk.frame_rect(panel).x, 200);
    EXPECT_EQ(desk.frame_rect(panel).y, 150);
    EXPECT_TRUE(program.running());
    // The menu is as it was.
    const Window again = open_menu();
    ASSERT_NE(again, 0u);
    EXPECT_EQ(desk.client_rect(again).height, kTrimmedHeight);
    desk.key("Escape");
}

TEST_F(SystemMenuE2ETest, MinimizeFromTheMenuIconifiesThePanel) {
    const Window menu = open_menu();
    ASSERT_NE(menu, 0u);
    const e2e::Rect m = desk.client_rect(menu);
    desk.click(m.x + 20, m.y + kMinimizeY);
    EXPECT_TRUE(e2e::WaitFor([&] { return desk.is_iconic(panel); }, 5s));
    EXPECT_TRUE(program.running());
}

}  // namespace
