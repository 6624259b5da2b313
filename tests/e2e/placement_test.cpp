// Windows come back where they were closed, also after a restart: the real
// program, a fresh HOME, the per-user store on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <optional>

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
    // Moves the panel's frame to x, y, ticks "Horizontal" and drags the ruler
    // by dx, dy: where the ruler's client area ends up, or nothing when a
    // step did not happen.
    std::optional<e2e::Rect> drag_ruler(e2e::Program& program, Window panel, int x, int y, int dx, int dy) {
        desk.move_window(panel, x, y);
        if (!frame_at(panel, x, y)) return std::nullopt;
        const e2e::Rect c = desk.client_rect(panel);
        desk.click(c.x + 30, c.y + 24);  // "Horizontal"
        const Window ruler = ruler_of(program);
        if (ruler == 0) return std::nullopt;
        const e2e::Rect before = desk.client_rect(ruler);
        desk.drag(before.x + 100, before.y + 10, dx, dy, 1);
        const e2e::Rect after = desk.client_rect(ruler);
        if (after.x != before.x + dx || after.y != before.y + dy) return std::nullopt;
        return after;
    }
    // A new start on the same home: the panel's frame comes back at x, y and,
    // once "Horizontal" is ticked, the ruler's client area at `ruler_at`.
    void expect_both_come_back(int x, int y, const e2e::Rect& ruler_at) {
        e2e::Program again(home);
        const Window panel = panel_of(again);
        ASSERT_NE(panel, 0u);
        EXPECT_TRUE(frame_at(panel, x, y)) << desk.frame_rect(panel).x << "," << desk.frame_rect(panel).y;
        const e2e::Rect c = desk.client_rect(panel);
        desk.click(c.x + 30, c.y + 24);
        const Window ruler = ruler_of(again);
        ASSERT_NE(ruler, 0u);
        EXPECT_TRUE(e2e::WaitFor([&] {
            const e2e::Rect r = desk.client_rect(ruler);
            return r.x == ruler_at.x && r.y == ruler_at.y;
        }, 5s)) << desk.client_rect(ruler).x << "," << desk.client_rect(ruler).y;
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
    std::optional<e2e::Rect> dragged;
    {
        e2e::Program program(home);
        const Window panel = panel_of(program);
        ASSERT_NE(panel, 0u);
        dragged = drag_ruler(program, panel, 600, 500, 120, 90);
        ASSERT_TRUE(dragged);
        exit_with_escape(program, panel);
    }
    expect_both_come_back(600, 500, *dragged);
}

// A system shutdown or log-off (SIGTERM), a closed terminal (SIGHUP) and
// Ctrl+C (SIGINT) end the program as Exit does: every position is stored.
struct EndSignal {
    int number;
    const char* name;
};

class EndOfSessionTest : public PlacementTest, public ::testing::WithParamInterface<EndSignal> {};

TEST_P(EndOfSessionTest, StoresEveryPositionAndEndsNormally) {
    std::optional<e2e::Rect> dragged;
    {
        e2e::Program program(home);
        const Window panel = panel_of(program);
        ASSERT_NE(panel, 0u);
        dragged = drag_ruler(program, panel, 500, 300, 40, 300);
        ASSERT_TRUE(dragged);
        ASSERT_EQ(kill(program.pid(), GetParam().number), 0);
        int status = -1;
        ASSERT_TRUE(program.wait_exit(5s, &status));
        EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    expect_both_come_back(500, 300, *dragged);
}

INSTANTIATE_TEST_SUITE_P(Signals, EndOfSessionTest,
                         ::testing::Values(EndSignal{SIGTERM, "Terminate"}, EndSignal{SIGHUP, "HangUp"},
                                           EndSignal{SIGINT, "Interrupt"}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
