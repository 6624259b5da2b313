// Bad input and odd company for the real program: a store that is not a
// database, a second running copy sharing the store, no display at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "harness.h"

using namespace std::chrono_literals;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RobustnessTest : public e2e::FreshHomeTest {
protected:
    void end(e2e::Program& program, Window panel) {
        desk.close(panel);
        int status = -1;
        ASSERT_TRUE(program.wait_exit(5s, &status));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

};

TEST_F(RobustnessTest, ACorruptStoreIsLeftAloneAndThePanelStartsAtTheCorner) {
    const std::string folder = home + "/.config/pixometer";
    ASSERT_EQ(system(("mkdir -p '" + folder + "'").c_str()), 0);
    const std::string store = folder + "/registry.sqlite3";
    const std::string junk = "not a database\n\x01\x02\x03 but the user's bytes all the same";
    std::ofstream(store, std::ios::binary) << junk;

    e2e::Program program(home);
    const Window panel = panel_of(program);
    ASSERT_NE(panel, 0u);
    EXPECT_TRUE(e2e::WaitFor([&] { return desk.frame_rect(panel).x == 0 && desk.frame_rect(panel).y == 0; }));
    desk.move_window(panel, 100, 100);
    end(program, panel);
    EXPECT_EQ(ReadFile(store), junk) << "the store was changed";
}

TEST_F(RobustnessTest, TwoRunningCopiesShareTheStore) {
    e2e::Program first(home);
    e2e::Program second(home);
    const Window a = panel_of(first);
    const Window b = panel_of(second);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    desk.move_window(b, 400, 300);
    ASSERT_TRUE(e2e::WaitFor([&] { return desk.frame_rect(b).x == 400; }));
    end(first, a);
    end(second, b);
    // The copy that closed last wrote last; a third start comes back there.
    e2e::Program third(home);
    const Window c = panel_of(third);
    ASSERT_NE(c, 0u);
    EXPECT_TRUE(e2e::WaitFor([&] { return desk.frame_rect(c).x == 400 && desk.frame_rect(c).y == 300; }, 5s))
        << desk.frame_rect(c).x << "," << desk.frame_rect(c).y;
}

TEST(NoDisplay, SaysSoInOneLineAndExits) {
    const std::string command = "env -u DISPLAY " PIXOMETER_BINARY " 2>&1";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    char line[256] = {};
    const bool got = fgets(line, sizeof line, out) != nullptr;
    const int status = pclose(out);
    ASSERT_TRUE(got);
    EXPECT_STREQ(line, "pixometer: cannot open display\n");
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
