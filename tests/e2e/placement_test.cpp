// Windows come back where they were closed, also after a restart: the real
// program, a fresh HOME, the per-user store on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>

#include <thread>

#include "harness.h"

using namespace std::chrono_literals;

namespace {

class PlacementTest : public e2e::FreshHomeTest {
protected:
    Window ruler_of(e2e::Program& program) {
        return desk.find(program.pid(), [&](Window w) { return desk.client_rect(w).width == 788; });
    }
    bool frame_at(Window w, int x, int y) {
        return e2e::WaitFor([&] {
            const e2e::Rect r = desk.frame_rect(w);
            return r.x == x && r.y == y;
        }, 5s);
    }
    void exit_with_escape(e2e::Program& program, Window panel) {
        const e2e::Rect c = desk.client_rect(panel);
        desk.click(c.x + 170, c.y + 80);
        std::this_thread::sleep_for(150ms);
        desk.key("Escape");
        ASSERT_TRUE(program.wait_exit(5s));
    }

};

TEST_F(PlacementTest, PanelStartsAtTheCornerAndComesBackWhereItWasClosed) {
    {
        e2e::Program program(home);
        const Window panel = panel_of(program);
        ASSERT_NE(panel, 0u);
        EXPECT_TRUE(frame_at(panel, 0, 0)) << "first start: the frame's corner at the screen's corner";
        desk.move_window(panel, 300, 200);
        ASSERT_TRUE(frame_at(panel, 300, 200));
        exit_with_escape(program, panel);
    }
    struct stat info {};
    const std::string store = home + "/.config/pixometer/registry.sqlite3";
    ASSERT_EQ(stat(store.c_str(), &info), 0) << store;
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((home + "/.config/pixometer").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    e2e::Program again(home);
    const Window panel = panel_of(again);
    ASSERT_NE(panel, 0u);
    EXPECT_TRUE(frame_at(panel, 300, 200)) << desk.frame_rect(panel).x << "," << desk.frame_rect(panel).y;
}

TEST_F(PlacementTest, RulerComesBackWhereItWasDraggedAcrossARestart) {
    int dragged_x = 0, dragged_y = 0;
    {
        e2e::Program program(home);
        const Window panel = panel_of(program);
        ASSERT_NE(panel, 0u);
        desk.move_window(panel, 600, 500);
        ASSERT_TRUE(frame_at(panel, 600, 500));
        const e2e::Rect c = desk.client_rect(panel);
        desk.click(c.x + 30, c.y + 24);  // "Horizontal"
        const Window ruler = ruler_of(program);
        ASSERT_NE(ruler, 0u);
        const e2e::Rect before = desk.client_rect(ruler);
        desk.drag(before.x + 100, before.y + 10, 120, 90, 1);
        const e2e::Rect after = desk.client_rect(ruler);
        EXPECT_EQ(after.x, before.x + 120);
        EXPECT_EQ(after.y, before.y + 90);
        dragged_x = after.x;
        dragged_y = after.y;
        exit_with_escape(program, panel);
    }
    e2e::Program again(home);
    const Window panel = panel_of(again);
    ASSERT_NE(panel, 0u);
    const e2e::Rect c = desk.client_rect(panel);
    desk.click(c.x + 30, c.y + 24);
    const Window ruler = ruler_of(again);
    ASSERT_NE(ruler, 0u);
    EXPECT_TRUE(e2e::WaitFor([&] {
        const e2e::Rect r = desk.client_rect(ruler);
        return r.x == dragged_x && r.y == dragged_y;
    }, 5s)) << desk.client_rect(ruler).x << "," << desk.client_rect(ruler).y;
}


// A system shutdown or log-off (SIGTERM), a closed terminal (SIGHUP) and
// Ctrl+C (SIGINT) end the program as Exit does: every position is stored.
struct EndSignal {
    int number;
    const char* name;
};

class EndOfSessionTest : public PlacementTest, public ::testing::WithParamInterface<EndSignal> {};

TEST_P(EndOfSessionTest, StoresEveryPositionAndEndsNormally) {
    int ruler_x = 0, ruler_y = 0;
    {
        e2e::Program program(home);
        const Window panel = panel_of(program);
        ASSERT_NE(panel, 0u);
        desk.move_window(panel, 500, 300);
        ASSERT_TRUE(frame_at(panel, 500, 300));
        const e2e::Rect c = desk.client_rect(panel);
        desk.click(c.x + 30, c.y + 24);  // "Horizontal"
        const Window ruler = ruler_of(program);
        ASSERT_NE(ruler, 0u);
        const e2e::Rect before = desk.client_rect(ruler);
        desk.drag(before.x + 100, before.y + 10, 40, 300, 1);
        const e2e::Rect after = desk.client_rect(ruler);
        ASSERT_EQ(after.y, before.y + 300);
        ruler_x = after.x;
        ruler_y = after.y;
        ASSERT_EQ(kill(program.pid(), GetParam().number), 0);
        int status = -1;
        ASSERT_TRUE(program.wait_exit(5s, &status));
        EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    e2e::Program again(home);
    const Window panel = panel_of(again);
    ASSERT_NE(panel, 0u);
    EXPECT_TRUE(frame_at(panel, 500, 300)) << desk.frame_rect(panel).x << "," << desk.frame_rect(panel).y;
    const e2e::Rect c = desk.client_rect(panel);
    desk.click(c.x + 30, c.y + 24);
    const Window ruler = ruler_of(again);
    ASSERT_NE(ruler, 0u);
    EXPECT_TRUE(e2e::WaitFor([&] {
        const e2e::Rect r = desk.client_rect(ruler);
        return r.x == ruler_x && r.y == ruler_y;
    }, 5s)) << desk.client_rect(ruler).x << "," << desk.client_rect(ruler).y;
}

INSTANTIATE_TEST_SUITE_P(Signals, EndOfSessionTest,
                         ::testing::Values(EndSignal{SIGTERM, "Terminate"}, EndSignal{SIGHUP, "HangUp"},
                                           EndSignal{SIGINT, "Interrupt"}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
