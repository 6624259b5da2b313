// The main panel on the simulated desktop: its window and layout, the load
// and shut-down sequences, the keys and buttons that end the program, the
// check boxes that open the rulers.
#include <algorithm>

#include "app/shaped_form.h"
#include "app/sys_menu_hook.h"
#include "platform/regstore/regstore.h"
#include "registry/registry_library.h"
#include "rulers/ruler_windows.h"
#include "sim_fixture.h"

namespace {

class PanelTest : public SimDesktopTest {
protected:
    ShapedForm& panel = ShapedForm::instance();

    void start() {
        panel.show();
        sim::Pump();
    }

    // A screen point inside a control of a form, `dx`, `dy` in from its corner.
    static os::POINT At(const forms::Control& c, int dx = 3, int dy = 3) {
        const os::RECT client = sim::Window(c.form().hwnd()).client;
        const os::RECT r = c.pixel_rect();
        return {client.left + r.left + dx, client.top + r.top + dy};
    }

    // A ruler opens where the panel's entry put it (the screen's corner on a
    // first start) and covers the panel's boxes; move it out of the way.
    static void MoveAside(forms::Form& ruler) { ruler.set_top(6000); }

    void click(const forms::Control& c) {
        const os::POINT p = At(c);
        sim::Click(p.x, p.y);
    }
};

TEST_F(PanelTest, OpensAsTheTopmostFramedPixometerWindow) {
    start();
    const sim::WindowInfo w = sim::Window(panel.hwnd());
    EXPECT_TRUE(w.visible);
    EXPECT_TRUE(w.topmost);
    EXPECT_TRUE(w.framed);
    EXPECT_EQ(w.title, "Pixometer");
    EXPECT_EQ(w.client.right - w.client.left, 181);
    EXPECT_EQ(w.client.bottom - w.client.top, 92);
    EXPECT_EQ(w.icon_count, 6);
    // Both boxes clear, no ruler open, the colour text waiting for a probe.
    EXPECT_EQ(panel.chkHor.value(), 0);
    EXPECT_EQ(panel.chkVer.value(), 0);
    EXPECT_FALSE(Form1::instance().is_loaded());
    EXPECT_FALSE(Form2::instance().is_loaded());
    EXPECT_EQ(panel.lblData[4].caption(), "HTML color");
    EXPECT_EQ(panel.focus(), &panel.chkHor);
    // Black background.
    EXPECT_EQ(sim::WindowPixel(panel.hwnd(), 170, 80), 0);
}

TEST_F(PanelTest, LayoutMatchesTheDesignInPixels) {
    start();
    struct Row {
        const forms::Control* control;
        os::RECT pixels;
        bool visible;
    };
    const Row rows[] = {
        {&panel.chkHor, {0, 15, 105, 29}, true},      {&panel.chkVer, {0, 0, 105, 17}, true},
        {&panel.cmdExit, {140, 5, 177, 24}, true},    {&panel.Label1, {10, 40, 91, 57}, true},
        {&panel.Label2, {95, 40, 176, 57}, true},     {&panel.Picture1, {40, 65, 86, 86}, true},
        {&panel.lblData[0], {15, 75, 31, 86}, false}, {&panel.lblData[1], {0, 65, 16, 76}, false},
        {&panel.lblData[2], {15, 65, 31, 76}, false}, {&panel.lblData[3], {0, 75, 16, 86}, false},
        {&panel.lblData[4], {85, 65, 151, 86}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.control->name() + std::to_string(row.control->index()));
        const os::RECT r = row.control->pixel_rect();
        EXPECT_EQ(r.left, row.pixels.left);
        EXPECT_EQ(r.top, row.pixels.top);
        EXPECT_EQ(r.right, row.pixels.right);
        EXPECT_EQ(r.bottom, row.pixels.bottom);
        EXPECT_EQ(row.control->is_visible(), row.visible);
    }
    EXPECT_EQ(panel.chkHor.font().weight, os::FW_BOLD);
    EXPECT_EQ(panel.Timer1.interval(), 1);
    EXPECT_TRUE(panel.Timer1.is_enabled());
}

TEST_F(PanelTest, LoadSequenceRunsInOrder) {
    start();
    const std::string h = std::to_string(panel.hwnd());
    const std::string menu = std::to_string(os::GetSystemMenu(panel.hwnd(), os::FALSE));
    const std::string hook = std::to_string(reinterpret_cast<os::LONG_PTR>(&SysMenuHook::HookWindowProc));
    // Nothing stored: the restore puts the panel at 0, 0 (Left, then Top).
    // Seven items and the two appended: the appended separator (7) goes, then Close (6).
    const std::vector<std::string> expected = {
        "SetWindowPos(" + h + ",0,0,111,0,0,21)",
        "SetWindowPos(" + h + ",0,0,0,0,0,21)",
        "GetSystemMenu(" + h + ",0)",
        "AppendMenuA(" + menu + ",2048,0,)",
        "AppendMenuA(" + menu + ",0,1010," + SysMenuHook::kCreditCaption + ")",
        "ShowWindow(" + h + ",5)",
        "SetWindowLongA(" + h + ",-4," + hook + ")",
        "SetWindowPos(" + h + ",-1,0,0,0,0,3)",
        "ShowWindow(" + h + ",5)",
        "GetSystemMenu(" + h + ",0)",
        "GetMenuItemCount(" + menu + ")",
        "RemoveMenu(" + menu + ",7,5120)",
        "RemoveMenu(" + menu + ",6,5120)",
        "DrawMenuBar(" + h + ")",
    };
    auto calls = CallsAmong({"GetSystemMenu", "AppendMenuA", "ShowWindow", "SetWindowLongA", "SetWindowPos",
                             "GetMenuItemCount", "RemoveMenu", "DrawMenuBar"});
    calls.resize(std::min(calls.size(), expected.size()));
    EXPECT_EQ(calls, expected);
}

TEST_F(PanelTest, AFailingLoadStepIsSkipped) {
    sim::BeforeCall("SetWindowPos", [] { throw forms::RuntimeError(5, "refused"); });
    start();
    sim::BeforeCall("SetWindowPos", {});
    EXPECT_TRUE(sim::Window(panel.hwnd()).visible);
    EXPECT_FALSE(sim::Window(panel.hwnd()).topmost) << "the failing step did not run";
    EXPECT_EQ(sim::CallCount("DrawMenuBar"), 1) << "the steps after the failing one still run";
}

TEST_F(PanelTest, CheckBoxesOpenAndCloseTheRulers) {
    start();
    click(panel.chkHor);
    EXPECT_EQ(panel.chkHor.value(), 1);
    EXPECT_TRUE(Form1::instance().is_loaded());
    EXPECT_TRUE(sim::Window(Form1::instance().hwnd()).visible);
    MoveAside(Form1::instance());
    click(panel.chkVer);
    EXPECT_TRUE(Form2::instance().is_loaded());
    MoveAside(Form2::instance());
    click(panel.chkHor);
    EXPECT_EQ(panel.chkHor.value(), 0);
    EXPECT_FALSE(Form1::instance().is_loaded());
    EXPECT_TRUE(Form2::instance().is_loaded());
}

TEST_F(PanelTest, ExitWithBothRulersOpenUnloadsThemThenThePanel) {
    start();
    click(panel.chkHor);
    MoveAside(Form1::instance());
    click(panel.chkVer);
    MoveAside(Form2::instance());
    const os::HWND h1 = Form1::instance().hwnd();
    const os::HWND h2 = Form2::instance().hwnd();
    const os::HWND hp = panel.hwnd();
    sim::ClearCalls();
    click(panel.cmdExit);
    EXPECT_EQ(CallsAmong({"DestroyWindow"}),
              (std::vector<std::string>{"DestroyWindow(" + std::to_string(h1) + ")",
                                        "DestroyWindow(" + std::to_string(h2) + ")",
                                        "DestroyWindow(" + std::to_string(hp) + ")"}));
    EXPECT_TRUE(forms::LoadedForms().empty());
    EXPECT_TRUE(sim::QuitPosted());
}

// Exit saves the panel, then each ruler as it unloads, then the panel again
// from its own unload: the first two writes failing still leaves the panel
// stored, by the second save.
TEST_F(PanelTest, ExitStoresAllThreeEntriesAndThePanelsTwice) {
    start();
    click(panel.chkHor);
    Form1::instance().set_left(3000);
    Form1::instance().set_top(6000);
    click(panel.chkVer);
    Form2::instance().set_left(-450);
    Form2::instance().set_top(6000);
    panel.set_left(1500);
    panel.set_top(750);
    regstore::InjectFault("RegSetValueExA", 5, 2);
    click(panel.cmdExit);
    const std::string base = "HKEY_CURRENT_USER\\Software\\Quillmoss\\Pixometer\\";
    const auto stored = [&](const char* key, const char* name) {
        std::string path = base + key;
        return RegistryLibrary::ReadTextValue(path, name).text();
    };
    EXPECT_EQ(stored("Window Position", "Left"), "1500");
    EXPECT_EQ(stored("Window Position", "Top"), "750");
    EXPECT_EQ(stored("Window PositionH", "LeftH"), "3000");
    EXPECT_EQ(stored("Window PositionH", "TopH"), "6000");
    EXPECT_EQ(stored("Window PositionV", "LeftV"), "-450");
    EXPECT_EQ(stored("Window PositionV", "TopV"), "6000");
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(PanelTest, CloseRequestEndsTheProgramWithTheRulers) {
    start();
    click(panel.chkHor);
    sim::CloseRequest(panel.hwnd());
    EXPECT_FALSE(Form1::instance().is_loaded());
    EXPECT_FALSE(panel.is_loaded());
    EXPECT_TRUE(sim::QuitPosted());
}

// Enter and Esc (whatever has the focus), Alt+X and Space on Exit all end the program.
TEST_F(PanelTest, KeysThatEndTheProgram) {
    struct Case {
        const char* name;
        int vk;
        bool alt;
        bool focus_exit;
    };
    const Case cases[] = {{"Enter on a check box", os::VK_RETURN, false, false},
                          {"Esc on a check box", os::VK_ESCAPE, false, false},
                          {"Alt+X", 'X', true, false},
                          {"Space on Exit", os::VK_SPACE, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        start();
        if (c.focus_exit) panel.set_focus(&panel.cmdExit);
        sim::Key(c.vk, c.alt);
        EXPECT_FALSE(panel.is_loaded());
        EXPECT_TRUE(sim::QuitPosted());
    }
}

TEST_F(PanelTest, SpaceTogglesTheFocusedBoxAndTabMovesOn) {
    start();
    sim::Key(os::VK_SPACE);
    EXPECT_EQ(panel.chkHor.value(), 1);
    EXPECT_TRUE(Form1::instance().is_loaded());
    os::SetForegroundWindow(panel.hwnd());  // the ruler took the keyboard when it opened
    sim::Key(os::VK_TAB);
    EXPECT_EQ(panel.focus(), &panel.chkVer);
    sim::Key(os::VK_SPACE);
    EXPECT_TRUE(Form2::instance().is_loaded());
}

// "Horizontal" overlaps the bottom of "Vertical": repainting one repaints
// both, so the one on top stays on top.
TEST_F(PanelTest, RepaintingAnOverlappedBoxCoversTheBoxOverIt) {
    start();
    sim::ClearCalls();
    panel.chkHor.set_caption("Horizontal!");
    EXPECT_EQ(CallsAmong({"InvalidateRect"}),
              (std::vector<std::string>{"InvalidateRect(" + std::to_string(panel.hwnd()) + ",0,0,105,29)"}));
}

TEST_F(PanelTest, DoubleClickOnTheBackgroundMinimises) {
    start();
    const os::RECT client = sim::Window(panel.hwnd()).client;
    sim::DoubleClick(client.left + 170, client.top + 80);
    EXPECT_TRUE(sim::Window(panel.hwnd()).iconic);
    EXPECT_EQ(panel.property("WindowState"), 1);
}

TEST_F(PanelTest, DoubleClickOnAControlDoesNotMinimise) {
    start();
    const os::POINT p = At(panel.Label1);
    sim::DoubleClick(p.x, p.y);
    EXPECT_FALSE(sim::Window(panel.hwnd()).iconic);
}

}  // namespace
