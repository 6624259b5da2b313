// The cursor probe on the simulated desktop: what a tick at rest does and
// does not do, the full probe after a move, the pixel fallback, windows that
// are missing or vanish, and the colour text.
#include "app/shaped_form.h"
#include "sim_fixture.h"

namespace {

constexpr os::COLORREF kTeal = os::RGB(0x12, 0xAB, 0x34);
constexpr os::COLORREF kPurple = os::RGB(0x80, 0x10, 0xC0);

class ProbeTest : public SimDesktopTest {
protected:
    ShapedForm& panel = ShapedForm::instance();

    void SetUp() override {
        SimDesktopTest::SetUp();
        sim::PaintBackground(kTeal);
        panel.show();
        sim::Pump();
    }

    // BitBlt calls that painted a picture box onto a window, not the probe's copy.
    static std::size_t PaintBlits() {
        std::size_t n = 0;
        for (const std::string& c : CallsAmong({"BitBlt"}))
            if (c.find(",0,0,1,1,") == std::string::npos) ++n;
        return n;
    }

    os::COLORREF swatch() const {
        // The middle of the swatch, inside its border, in panel client pixels.
        return sim::WindowPixel(panel.hwnd(), 63, 75);
    }

    // A foreign window well away from the panel.
    os::HWND foreign(os::COLORREF fill) { return sim::CreateForeignWindow({600, 400, 800, 600}, fill); }
};

TEST_F(ProbeTest, CursorAtZeroFromStartKeepsTheWaitingText) {
    sim::SetCursor(0, 0);
    sim::Advance(5);
    EXPECT_EQ(panel.Label1.caption(), "x: 0");
    EXPECT_EQ(panel.Label2.caption(), "y: 0");
    EXPECT_EQ(panel.lblData[4].caption(), "HTML color");
    EXPECT_EQ(sim::CallCount("WindowFromPoint"), 0);
    // The first move away from 0, 0 runs a full probe.
    sim::SetCursor(700, 500);
    sim::Advance(1);
    EXPECT_EQ(panel.lblData[4].caption(), "12AB34");
}

TEST_F(ProbeTest, FullProbeFillsEveryLabelAndTheSwatch) {
    const os::HWND other = foreign(kPurple);
    sim::SetCursor(650, 430);
    sim::Advance(1);
    sim::Pump();
    EXPECT_EQ(panel.Label1.caption(), "x: 650");
    EXPECT_EQ(panel.Label2.caption(), "y: 430");
    EXPECT_EQ(panel.lblData[0].caption(), "650,430");
    EXPECT_EQ(panel.lblData[1].caption(), std::to_string(other));
    EXPECT_NE(panel.lblData[2].caption(), "0");
    const os::RECT client = sim::Window(other).client;
    EXPECT_EQ(panel.lblData[3].caption(),
              std::to_string(650 - client.left) + "," + std::to_string(430 - client.top));
    EXPECT_EQ(panel.lblData[4].caption(), "8010C0");
    EXPECT_EQ(swatch(), kPurple);
    EXPECT_EQ(sim::OpenDCs(), 0);
}

TEST_F(ProbeTest, TickAtRestReadsTheCursorTwiceAndDrawsNothing) {
    sim::SetCursor(700, 500);
    sim::Advance(1);
    sim::Pump();
    sim::ClearCalls();
    sim::Advance(10);
    EXPECT_EQ(sim::CallCount("GetCursorPos"), 20);
    for (const char* call : {"WindowFromPoint", "GetDC", "GetPixel", "ReleaseDC", "BeginPaint", "InvalidateRect"})
        EXPECT_EQ(sim::CallCount(call), 0) << call;
    EXPECT_EQ(panel.Label1.caption(), "x: 700");
}

TEST_F(ProbeTest, TwoReadingsThatDifferShowTheFirstAndProbeTheSecond) {
    int readings = 0;
    sim::SetCursor(100, 200);
    sim::BeforeCall("GetCursorPos", [&] {
        if (++readings == 2) sim::SetCursor(101, 202);
    });
    sim::Advance(1);
    sim::BeforeCall("GetCursorPos", {});
    EXPECT_EQ(panel.Label1.caption(), "x: 100");
    EXPECT_EQ(panel.Label2.caption(), "y: 200");
    EXPECT_EQ(panel.lblData[0].caption(), "101,202");
}

TEST_F(ProbeTest, UnreadablePixelIsCopiedIntoTheSwatchAndReadBack) {
    foreign(kPurple);
    sim::SetGetPixelFails(true);
    sim::SetCursor(700, 500);
    sim::Advance(1);
    sim::Pump();
    EXPECT_EQ(CallsAmong({"BitBlt"}).size() - PaintBlits(), 1u) << "one pixel copied";
    EXPECT_EQ(panel.lblData[4].caption(), "8010C0");
    EXPECT_EQ(swatch(), kPurple);
    EXPECT_EQ(sim::OpenDCs(), 0);
}

TEST_F(ProbeTest, NoWindowUnderTheCursorReadsTheScreen) {
    sim::SetCursor(900, 700);
    sim::Advance(1);
    EXPECT_EQ(panel.lblData[1].caption(), "0");
    EXPECT_EQ(panel.lblData[3].caption(), "900,700") << "the conversion fails, the point stays on the screen";
    EXPECT_EQ(panel.lblData[4].caption(), "12AB34");
    EXPECT_EQ(sim::OpenDCs(), 0);
}

TEST_F(ProbeTest, WindowThatVanishesMidProbeKeepsThePreviousColour) {
    sim::SetCursor(900, 700);
    sim::Advance(1);  // the swatch now shows the desktop's teal
    const os::HWND other = foreign(kPurple);
    sim::BeforeCall("GetPixel", [&] { sim::Vanish(other); });
    sim::SetCursor(700, 500);
    sim::Advance(1);
    sim::BeforeCall("GetPixel", {});
    sim::Pump();
    EXPECT_EQ(panel.lblData[1].caption(), std::to_string(other));
    EXPECT_EQ(panel.lblData[4].caption(), "12AB34");
    EXPECT_EQ(swatch(), kTeal);
    EXPECT_EQ(sim::OpenDCs(), 0);
}

// Whatever statement fails, the device context is given back and the
// statements after it still run.
TEST_F(ProbeTest, FailingStatementsAreSkippedAndTheDCIsReleased) {
    for (const char* call : {"ScreenToClient", "GetPixel", "BitBlt", "ReleaseDC", "WindowFromPoint"}) {
        SCOPED_TRACE(call);
        sim::Reset();
        sim::PaintBackground(kTeal);
        panel.unload();
        panel.show();
        sim::SetGetPixelFails(std::string(call) == "BitBlt");
        // Only the probe's own call fails, not the painting that follows it.
        int shots = 1;
        sim::BeforeCall(call, [call, &shots] {
            if (shots-- > 0) throw forms::RuntimeError(5, call);
        });
        sim::SetCursor(900, 700);
        sim::Advance(1);
        sim::BeforeCall(call, {});
        EXPECT_EQ(panel.lblData[0].caption(), "900,700");
        EXPECT_NE(panel.lblData[4].caption(), "HTML color") << "the last statement still ran";
        EXPECT_EQ(sim::OpenDCs(), std::string(call) == "ReleaseDC" ? 1 : 0);
    }
}

TEST_F(ProbeTest, NegativeScreenCoordinatesKeepTheirSign) {
    sim::SetCursor(-5, -12);
    sim::Advance(1);
    EXPECT_EQ(panel.Label1.caption(), "x: -5");
    EXPECT_EQ(panel.Label2.caption(), "y: -12");
    EXPECT_EQ(panel.lblData[0].caption(), "-5,-12");
}

TEST_F(ProbeTest, CursorOverTheSwatchShowsItsOwnColour) {
    sim::SetCursor(900, 700);
    sim::Advance(1);
    sim::Pump();
    const os::RECT client = sim::Window(panel.hwnd()).client;
    sim::SetCursor(client.left + 63, client.top + 75);
    sim::Advance(1);
    EXPECT_EQ(panel.lblData[4].caption(), "12AB34");
}

TEST(ColorToHTML, PutsRedFirstAndPadsEveryByte) {
    struct Case {
        os::COLORREF colour;
        const char* text;
    };
    const Case cases[] = {
        {0, "000000"},
        {os::RGB(255, 255, 255), "FFFFFF"},
        {os::RGB(255, 0, 0), "FF0000"},
        {os::RGB(0, 0, 255), "0000FF"},
        {os::RGB(12, 11, 10), "0C0B0A"},
        {-1, "FFFFFF"},
        {static_cast<os::COLORREF>(0x80000005u), "050000"},
        {static_cast<os::COLORREF>(0x7F010203), "030201"},
    };
    for (const Case& c : cases) {
        const os::COLORREF before = c.colour;
        EXPECT_EQ(ShapedForm::instance().ColorToHTML(c.colour), c.text) << std::hex << c.colour;
        EXPECT_EQ(c.colour, before);
    }
}

}  // namespace
