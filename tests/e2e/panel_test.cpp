// The real program on an X server with a window manager: the panel's window,
// its place above other windows, the colour probe over the desktop and over
// other applications' windows, and the ways the program ends.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <thread>

#include "harness.h"

using namespace std::chrono_literals;

namespace {

// Client-area points of the panel, in pixels.
constexpr int kSwatchX = 63;  // the middle of the colour swatch
constexpr int kSwatchY = 75;
constexpr int kBackgroundX = 170;  // a spot of bare panel background
constexpr int kBackgroundY = 80;

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!desk.ok()) GTEST_SKIP() << "no X display";
        if (!desk.window_manager_runs()) GTEST_SKIP() << "needs a window manager";
        desk.paint_root(0x808080);
        desk.move_pointer(900, 700);
    }

    Window panel_of(e2e::Program& program) { return desk.panel_of(program.pid()); }

    unsigned swatch(Window panel) {
        const e2e::Rect r = desk.client_rect(panel);
        return desk.pixel(r.x + kSwatchX, r.y + kSwatchY);
    }

    bool swatch_becomes(Window panel, unsigned rgb) {
        return e2e::WaitFor([&] { return swatch(panel) == rgb; }, 5s);
    }

    e2e::Desktop desk;
};

TEST_F(PanelTest, OpensAsATopmostFramedWindowTitledPixometer) {
    e2e::Program program;
    const Window panel = panel_of(program);
    ASSERT_NE(panel, 0u) << "no window titled Pixometer";
    const e2e::Rect client = desk.client_rect(panel);
    EXPECT_EQ(client.width, 181);
    EXPECT_EQ(client.height, 92);
    EXPECT_TRUE(e2e::WaitFor([&] { return desk.has_state(panel, "_NET_WM_STATE_ABOVE"); }));
    const e2e::Rect frame = desk.frame_rect(panel);
    EXPECT_GT(frame.height, client.height) << "the panel should have a title bar";
    // The application icon in its six sizes: width, height, then the pixels.
    std::vector<unsigned long> sizes;
    {
        Atom type;
        int format;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(desk.display(), panel, XInternAtom(desk.display(), "_NET_WM_ICON", False), 0, 1 << 16,
                           False, AnyPropertyType, &type, &format, &count, &after, &data);
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        for (unsigned long i = 0; values && i + 1 < count; i += 2 + values[i] * values[i + 1])
            sizes.push_back(values[i]);
        if (data) XFree(data);
    }
    EXPECT_EQ(sizes, (std::vector<unsigned long>{10, 12, 14, 16, 22, 32}));
    // The panel paints itself black.
    EXPECT_TRUE(e2e::WaitFor([&] { return desk.pixel(client.x + kBackgroundX, client.y + kBackgroundY) == 0; }));
}

TEST_F(PanelTest, StaysAboveAWindowOpenedAfterIt) {
    e2e::Program program;
    const Window panel = panel_of(program);
    ASSERT_NE(panel, 0u);
    const e2e::Rect client = desk.client_rect(panel);
    const Window other = desk.create_window({client.x - 20, client.y - 20, 400, 300}, 0x00FF00);
    const auto index = [&](Window w) {
        const auto order = desk.stacking();
        return std::find(order.begin(), order.end(), w) - order.begin();
    };
    EXPECT_TRUE(e2e::WaitFor([&] {
        const auto order = desk.stacking();
        return std::find(order.begin(), order.end(), other) != order.end() && index(panel) > index(other);
    })) << "the later window went above the panel";
    EXPECT_EQ(desk.pixel(client.x + kBackgroundX, client.y + kBackgroundY), 0u);
    desk.destroy_window(other);
}

TEST_F(PanelTest, SwatchShowsExactlyTheColourUnderThePointer) {
    e2e::Program program;
    const Window panel = panel_of(program);
    ASSERT_NE(panel, 0u);
    desk.paint_root(0xFF0000);
    desk.move_pointer(700, 500);
    EXPECT_TRUE(swatch_becomes(panel, 0xFF0000)) << std::hex << swatch(panel);
    // A second colour: the pointer moves by one pixel so the probe looks again.
    desk.paint_root(0x12AB34);
    desk.move_pointer(701, 500);
    EXPECT_TRUE(swatch_becomes(panel, 0x12AB34)) << std::hex << swatch(panel);
}

TEST_F(PanelTest, SwatchFollowsOtherApplicationsWindows) {
    e2e::Program program;
    const Window panel = panel_of(program);
    ASSERT_NE(panel, 0u);
    const Window other = desk.create_window({600, 300, 200, 200}, 0x345678, true);
    desk.move_pointer(700, 400);
    EXPECT_TRUE(swatch_becomes(panel, 0x345678)) << std::hex << swatch(panel);
    desk.destroy_window(other);
    // The window is gone: the desktop shows through again at the next move.
    desk.move_pointer(702, 401);
    EXPECT_TRUE(swatch_becomes(panel, 0x808080)) << std::hex << swatch(panel);
}

TEST_F(PanelTest, DoubleClickOnTheBackgroundMinimises) {
    e2e::Program program;
    const Window panel = panel_of(program);
    ASSERT_NE(panel, 0u);
    const e2e::Rect client = desk.client_rect(panel);
    // A first click gives the panel the focus, so that the window manager's
    // click-to-focus grab is out of the way of the double-click that follows.
    desk.click(client.x + kBackgroundX, client.y + kBackgroundY);
    std::this_thread::sleep_for(700ms);
    for (int i = 0; i < 2; ++i) {
        desk.press(1);
        desk.release(1);
    }
    EXPECT_TRUE(e2e::WaitFor([&] { return desk.is_iconic(panel); }, 5s));
    EXPECT_TRUE(program.running());
}

// Each way of ending the program ends it, normally.
struct Ending {
    const char* name;
    const char* key;  // nullptr: a close request from the window manager
    bool alt;
};

class PanelEndingTest : public PanelTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(PanelEndingTest, EndsTheProgram) {
    e2e::Program program;
    const Window panel = panel_of(program);
    ASSERT_NE(panel, 0u);
    const e2e::Rect client = desk.client_rect(panel);
    desk.click(client.x + kBackgroundX, client.y + kBackgroundY);
    std::this_thread::sleep_for(150ms);
    if (GetParam().key)
        desk.key(GetParam().key, GetParam().alt);
    else
        desk.close(panel);
    int status = -1;
    ASSERT_TRUE(program.wait_exit(5s, &status)) << "still running after " << GetParam().name;
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

INSTANTIATE_TEST_SUITE_P(Ways, PanelEndingTest,
                         ::testing::Values(Ending{"Escape", "Escape", false}, Ending{"Enter", "Return", false},
                                           Ending{"AltX", "x", true}, Ending{"CloseRequest", nullptr, false}),
                         [](const auto& test) { return std::string(test.param.name); });

// Without a window manager the panel still shows, stays raised and probes.
TEST(NoWindowManager, PanelShowsAndProbes) {
    e2e::Desktop desk;
    if (!desk.ok()) GTEST_SKIP() << "no X display";
    if (desk.window_manager_runs()) GTEST_SKIP() << "a window manager runs";
    e2e::Program program;
    const Window panel = desk.panel_of(program.pid());
    ASSERT_NE(panel, 0u);
    const Window other = desk.create_window({0, 0, 1024, 768}, 0x00FF00);
    desk.paint_root(0x0000FF);
    const e2e::Rect client = desk.client_rect(panel);
    EXPECT_TRUE(e2e::WaitFor([&] { return desk.pixel(client.x + kBackgroundX, client.y + kBackgroundY) == 0; }))
        << "a window opened later covers the panel";
    desk.destroy_window(other);
    desk.move_pointer(900, 700);
    EXPECT_TRUE(e2e::WaitFor([&] { return desk.pixel(client.x + kSwatchX, client.y + kSwatchY) == 0x0000FF; }, 5s));
    EXPECT_TRUE(program.running());
}

}  // namespace
