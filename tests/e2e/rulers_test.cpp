// The rulers of the real program: opened and closed by the panel's boxes,
// borderless and above other windows, their artwork on the screen pixel for
// pixel, dragged by the left and the right button, also with no window manager.
#include <gtest/gtest.h>
#include <X11/Xutil.h>

#include <thread>

#include "harness.h"
#include "rulers/artwork.h"

using namespace std::chrono_literals;

namespace {

// Check boxes in the panel's client area.
constexpr int kHorizontalX = 30, kHorizontalY = 24;
constexpr int kVerticalX = 30, kVerticalY = 6;

class RulerE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!desk.ok()) GTEST_SKIP() << "no X display";
        desk.move_pointer(1000, 750);
    }

    Window sized(int width, int height) {
        return desk.find(program.pid(), [&](Window w) {
            const e2e::Rect r = desk.client_rect(w);
            return r.width == width && r.height == height;
        });
    }
    Window panel() { return desk.panel_of(program.pid()); }
    void click_panel(int x, int y) {
        const e2e::Rect c = desk.client_rect(m_panel);
        desk.click(c.x + x, c.y + y);
    }
    // The panel away from the corner where a first-start ruler opens.
    void start_with_panel_aside() {
        m_panel = panel();
        ASSERT_NE(m_panel, 0u);
        if (desk.window_manager_runs()) desk.move_window(m_panel, 500, 400);
        else XMoveWindow(desk.display(), m_panel, 500, 400);
        desk.sync();
        ASSERT_TRUE(e2e::WaitFor([&] { return desk.client_rect(m_panel).x >= 500; }));
    }
    // Screen pixels that differ from the artwork over a w x h area.
    int mismatches(const e2e::Rect& at, const RulerImage& art, int width, int height) {
        XImage* image = XGetImage(desk.display(), DefaultRootWindow(desk.display()), at.x, at.y,
                                  static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (!image) return -1;
        int bad = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned rgb = static_cast<unsigned>(XGetPixel(image, x, y)) & 0xFFFFFFu;
                const unsigned c = static_cast<unsigned>(art.at(x, y));
                const unsigned want = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
                if (rgb != want) ++bad;
            }
        XDestroyImage(image);
        return bad;
    }

    e2e::Desktop desk;
    e2e::Program program;
    Window m_panel = 0;
};

TEST_F(RulerE2ETest, HorizontalRulerOpensShowsItsArtworkAndCloses) {
    if (!desk.window_manager_runs()) GTEST_SKIP() << "needs a window manager";
    start_with_panel_aside();
    click_panel(kHorizontalX, kHorizontalY);
    const Window ruler = sized(788, 32);
    ASSERT_NE(ruler, 0u) << "no 788 x 32 window";
    EXPECT_TRUE(e2e::WaitFor([&] { return desk.has_state(ruler, "_NET_WM_STATE_ABOVE"); }));
    const e2e::Rect client = desk.client_rect(ruler);
    const e2e::Rect frame = desk.frame_rect(ruler);
    EXPECT_EQ(frame.width, client.width) << "the ruler has a frame";
    EXPECT_EQ(frame.height, client.height) << "the ruler has a frame";
    EXPECT_TRUE(e2e::WaitFor([&] { return mismatches(client, HorizontalRulerArtwork(), 788, 32) == 0; }, 5s))
        << mismatches(client, HorizontalRulerArtwork(), 788, 32) << " pixels differ";
    click_panel(kHorizontalX, kHorizontalY);
    EXPECT_TRUE(e2e::WaitFor([&] { return desk.windows_of(program.pid()).size() == 1; }, 5s))
        << "clearing the box left the ruler open";
}

TEST_F(RulerE2ETest, VerticalRulerShowsItsArtworkAndABoxColouredEdge) {
    if (!desk.window_manager_runs()) GTEST_SKIP() << "needs a window manager";
    start_with_panel_aside();
    click_panel(kVerticalX, kVerticalY);
    const Window ruler = sized(33, 502);
    ASSERT_NE(ruler, 0u) << "no 33 x 502 window";
    EXPECT_TRUE(e2e::WaitFor([&] { return desk.has_state(ruler, "_NET_WM_STATE_ABOVE"); }));
    const e2e::Rect client = desk.client_rect(ruler);
    EXPECT_TRUE(e2e::WaitFor([&] { return mismatches(client, VerticalRulerArtwork(), 32, 502) == 0; }, 5s))
        << mismatches(client, VerticalRulerArtwork(), 32, 502) << " pixels differ";
    for (int y : {0, 250, 501}) EXPECT_EQ(desk.pixel(client.x + 32, client.y + y), 0xF0F0F0u) << y;
}

TEST_F(RulerE2ETest, LeftAndRightButtonsDragTheRulerByThePointersTravel) {
    if (!desk.window_manager_runs()) GTEST_SKIP() << "needs a window manager";
    start_with_panel_aside();
    click_panel(kHorizontalX, kHorizontalY);
    const Window ruler = sized(788, 32);
    ASSERT_NE(ruler, 0u);
    struct Drag {
        int button, dx, dy;
    };
    for (const Drag& d : {Drag{1, 40, 150}, Drag{3, -25, 60}}) {
        SCOPED_TRACE(d.button);
        const e2e::Rect before = desk.client_rect(ruler);
        desk.drag(before.x + 200, before.y + 16, d.dx, d.dy, d.button);
        EXPECT_TRUE(e2e::WaitFor([&] {
            const e2e::Rect r = desk.client_rect(ruler);
            return r.x == before.x + d.dx && r.y == before.y + d.dy;
        }, 3s)) << desk.client_rect(ruler).x << "," << desk.client_rect(ruler).y;
    }
    // A press and release without motion moves nothing.
    const e2e::Rect still = desk.client_rect(ruler);
    desk.click(still.x + 300, still.y + 10);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(desk.client_rect(ruler).x, still.x);
    EXPECT_EQ(desk.client_rect(ruler).y, still.y);
}

TEST_F(RulerE2ETest, DragWorksWithNoWindowManager) {
    if (desk.window_manager_runs()) GTEST_SKIP() << "a window manager runs";
    start_with_panel_aside();
    click_panel(kVerticalX, kVerticalY);
    const Window ruler = sized(33, 502);
    ASSERT_NE(ruler, 0u);
    const e2e::Rect before = desk.client_rect(ruler);
    desk.drag(before.x + 16, before.y + 100, 200, 30, 1);
    EXPECT_TRUE(e2e::WaitFor([&] {
        const e2e::Rect r = desk.client_rect(ruler);
        return r.x == before.x + 200 && r.y == before.y + 30;
    }, 3s)) << desk.client_rect(ruler).x << "," << desk.client_rect(ruler).y;
}

}  // namespace
