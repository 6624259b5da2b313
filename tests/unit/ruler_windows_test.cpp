// The ruler windows on the simulated desktop: size, frame and artwork, the
// load sequence, the off-screen reset, the drag gesture for every button and
// the saved position.
#include "app/shaped_form.h"
#include "rulers/artwork.h"
#include "rulers/ruler_windows.h"
#include "sim_fixture.h"

namespace {

class RulerTest : public SimDesktopTest {
protected:
    void SetUp() override {
        SimDesktopTest::SetUp();
        ShapedForm::instance().show();
        sim::Pump();
    }
};

TEST_F(RulerTest, HorizontalRulerShowsItsArtworkPixelForPixel) {
    Form1& ruler = Form1::instance();
    ruler.show();
    sim::Pump();
    const sim::WindowInfo w = sim::Window(ruler.hwnd());
    EXPECT_FALSE(w.framed);
    EXPECT_TRUE(w.topmost);
    ASSERT_EQ(w.client.right - w.client.left, 788);
    ASSERT_EQ(w.client.bottom - w.client.top, 32);
    const RulerImage& art = HorizontalRulerArtwork();
    int mismatches = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 788; ++x)
            if (sim::WindowPixel(ruler.hwnd(), x, y) != art.at(x, y)) ++mismatches;
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(w.cursor_id, os::IDC_CROSS);
}

TEST_F(RulerTest, VerticalRulerIs33PixelsWideWithTheBoxColourInItsLastColumn) {
    Form2& ruler = Form2::instance();
    ruler.show();
    sim::Pump();
    const sim::WindowInfo w = sim::Window(ruler.hwnd());
    ASSERT_EQ(w.client.right - w.client.left, 33);
    ASSERT_EQ(w.client.bottom - w.client.top, 502);
    const RulerImage& art = VerticalRulerArtwork();
    int mismatches = 0;
    for (int y = 0; y < 502; ++y) {
        for (int x = 0; x < 32; ++x)
            if (sim::WindowPixel(ruler.hwnd(), x, y) != art.at(x, y)) ++mismatches;
        if (sim::WindowPixel(ruler.hwnd(), 32, y) != forms::ResolveColor(forms::kButtonFace)) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(w.cursor_id, os::IDC_ARROW);
}

TEST_F(RulerTest, LoadSequenceRestoresThenDropsTheRegionThenGoesTopmost) {
    sim::ClearCalls();
    Form2::instance().show();
    const std::string h = std::to_string(Form2::instance().hwnd());
    std::vector<std::string> calls;
    for (const sim::Call& c : sim::Calls())
        if (c.name == "SetWindowPos" || c.name == "SetWindowRgn" || c.name == "ShowWindow")
            calls.push_back(c.name + "(" + c.args + ")");
    // Nothing stored: the restore sets Left, then Top, to the last number read (0).
    const std::vector<std::string> expected = {
        "SetWindowPos(" + h + ",0,0,116,0,0,21)",
        "SetWindowPos(" + h + ",0,0,0,0,0,21)",
        "SetWindowPos(" + h + ",0,0,0,33,502,22)",                  // 495 twips wide
        "SetWindowRgn(" + h + ",0,1)",
        "SetWindowPos(" + h + ",-1,0,0,0,0,3)",
        "ShowWindow(" + h + ",5)",
    };
    EXPECT_EQ(calls, expected);
}

TEST_F(RulerTest, OffScreenResetLooksOnlyAtTheRightAndBottomEdges) {
    // The screen is 1024 x 768 pixels: 15360 x 11520 twips.
    struct Case {
        const char* name;
        int left, top;
        int want_left, want_top;
    };
    const Case cases[] = {
        {"beyond the right edge only", 16000, 300, 195, 195},
        {"beyond the bottom edge only", 300, 12000, 195, 195},
        {"negative positions kept", -3000, -450, -3000, -450},
        {"body over the edge kept", 15000, 10995, 15000, 10995},
        {"left exactly on the right edge", 15360, 300, 195, 195},
        {"top exactly on the bottom edge", 300, 11520, 195, 195},
        {"one pixel inside", 15345, 11505, 15345, 11505},
    };
    Form1& ruler = Form1::instance();
    ruler.show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ruler.set_left(c.left);
        ruler.set_top(c.top);
        ResetOffScreen(ruler);
        // 200 twips is 13.3 pixels; the window lands on pixel 13, which reads back as 195.
        EXPECT_EQ(ruler.left(), c.want_left);
        EXPECT_EQ(ruler.top(), c.want_top);
    }
}

TEST_F(RulerTest, AnyButtonOnTheWindowOrItsPictureHandsTheMoveToTheSystem) {
    Form1& ruler = Form1::instance();
    ruler.show();
    sim::Pump();
    const std::string expected_send = std::to_string(ruler.hwnd()) + ",161,2,0";
    const os::RECT client = sim::Window(ruler.hwnd()).client;
    for (int button : {1, 2, 3}) {
        for (bool shift : {false, true}) {
            SCOPED_TRACE(testing::Message() << "button " << button << (shift ? " with shift" : ""));
            sim::ClearCalls();
            sim::MouseDown(client.left + 50, client.top + 10, button, shift);
            sim::MouseUp(client.left + 50, client.top + 10, button);
            std::vector<std::string> calls;
            for (const sim::Call& c : sim::Calls())
                if (c.name == "ReleaseCapture" || c.name == "SendMessageA") calls.push_back(c.name + "(" + c.args + ")");
            EXPECT_EQ(calls, (std::vector<std::string>{"ReleaseCapture()", "SendMessageA(" + expected_send + ")"}));
        }
    }
    // The window's own background answers the same way where the picture
    // does not cover it.
    ruler.Picture1.set_visible(false);
    sim::ClearCalls();
    sim::Click(client.left + 50, client.top + 10, 2);
    EXPECT_EQ(sim::CallCount("ReleaseCapture"), 1);
    EXPECT_EQ(CallsAmong({"SendMessageA"}), (std::vector<std::string>{"SendMessageA(" + expected_send + ")"}));
}

TEST_F(RulerTest, DragMovesByThePointersTravelAndAPressAloneMovesNothing) {
    Form2& ruler = Form2::instance();
    ruler.show();
    ruler.set_left(3000);
    ruler.set_top(1500);
    sim::Pump();
    const os::RECT start = sim::Window(ruler.hwnd()).outer;
    sim::Click(start.left + 10, start.top + 100, 3);
    EXPECT_EQ(sim::Window(ruler.hwnd()).outer.left, start.left);
    sim::MouseDown(start.left + 10, start.top + 100, 3);
    sim::MouseMove(start.left + 60, start.top + 130);
    sim::MouseUp(start.left + 60, start.top + 130, 3);
    const os::RECT moved = sim::Window(ruler.hwnd()).outer;
    EXPECT_EQ(moved.left, start.left + 50);
    EXPECT_EQ(moved.top, start.top + 30);
}

TEST_F(RulerTest, ClosingAndReopeningBringsTheRulerBackWhereItWas) {
    Form1& ruler = Form1::instance();
    ruler.show();
    ruler.set_left(4500);
    ruler.set_top(-300);
    ruler.unload();
    ruler.show();
    EXPECT_EQ(ruler.left(), 4500);
    EXPECT_EQ(ruler.top(), -300);
}

}  // namespace
