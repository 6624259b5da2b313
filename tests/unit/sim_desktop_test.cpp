// The simulated desktop itself: the window-system rules the program's tests
// rely on.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "platform/os.h"
#include "platform/sim/sim.h"

namespace {

using os::HWND;

// Messages that reached the test procedures, in order.
std::vector<os::MSG>& Seen() {
    static std::vector<os::MSG> seen;
    return seen;
}

int CountSeen(HWND hwnd, os::UINT message) {
    int n = 0;
    for (const os::MSG& m : Seen()) n += m.hwnd == hwnd && m.message == message;
    return n;
}

os::LRESULT RecordingProc(HWND h, os::UINT msg, os::WPARAM w, os::LPARAM l) {
    Seen().push_back({h, msg, w, l});
    return os::DefWindowProcA(h, msg, w, l);
}

// What a ruler does: any button press hands the move to the system.
os::LRESULT DragOnPressProc(HWND h, os::UINT msg, os::WPARAM w, os::LPARAM l) {
    Seen().push_back({h, msg, w, l});
    if (msg == os::WM_LBUTTONDOWN || msg == os::WM_RBUTTONDOWN || msg == os::WM_MBUTTONDOWN) {
        os::ReleaseCapture();
        os::SendMessageA(h, os::WM_NCLBUTTONDOWN, os::HTCAPTION, 0);
        return 0;
    }
    return os::DefWindowProcA(h, msg, w, l);
}

// Paints its whole client area in the colour kept in `g_paint_colour`.
os::COLORREF g_paint_colour = os::RGB(0, 0, 255);
os::LRESULT PaintingProc(HWND h, os::UINT msg, os::WPARAM w, os::LPARAM l) {
    Seen().push_back({h, msg, w, l});
    if (msg != os::WM_PAINT) return os::DefWindowProcA(h, msg, w, l);
    os::RECT area;
    const os::HDC dc = os::BeginPaint(h, &area);
    os::FillRect(dc, &area, g_paint_colour);
    os::EndPaint(h);
    return 0;
}

// On each tick opens a message box; the box's answer runs more time.
os::LRESULT BoxOnTickProc(HWND h, os::UINT msg, os::WPARAM w, os::LPARAM l) {
    Seen().push_back({h, msg, w, l});
    if (msg == os::WM_TIMER && w == 7) {
        os::KillTimer(h, 7);
        os::MessageBoxA(h, "About1 . . .", "About", os::MB_ICONASTERISK);
        return 0;
    }
    return os::DefWindowProcA(h, msg, w, l);
}

class SimDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        Seen().clear();
        g_paint_colour = os::RGB(0, 0, 255);
    }

    static HWND MakeWindow(int x, int y, int w, int h, bool framed, os::COLORREF bg,
                           os::WNDPROC proc = RecordingProc) {
        os::FormWindowSpec request;
        request.title = "t";
        request.x = x;
        request.y = y;
        request.client_width = w;
        request.client_height = h;
        request.framed = framed;
        request.background = bg;
        request.proc = proc;
        return os::CreateFormWindow(request);
    }
};

constexpr os::UINT kTestMessage = 0x0400;
constexpr os::COLORREF kRed = os::RGB(255, 0, 0);
constexpr os::COLORREF kGreen = os::RGB(0, 255, 0);
constexpr os::COLORREF kGrey = os::RGB(10, 20, 30);

TEST_F(SimDesktop, TopmostWindowsStayAboveWindowsCreatedLater) {
    const HWND a = MakeWindow(10, 20, 100, 50, true, kRed);
    const HWND b = MakeWindow(0, 0, 10, 10, false, kRed);
    ASSERT_EQ(os::SetWindowPos(a, os::HWND_TOPMOST, 0, 0, 0, 0, os::SWP_NOMOVE | os::SWP_NOSIZE),
              os::TRUE);
    const HWND c = MakeWindow(0, 0, 10, 10, false, kRed);
    EXPECT_EQ(sim::ZOrder(), (std::vector<HWND>{b, c, a}));
    EXPECT_TRUE(sim::Window(a).topmost);
    // NOMOVE | NOSIZE keep the outer rectangle, frame included.
    const os::RECT outer = sim::Window(a).outer;
    EXPECT_EQ(outer.left, 10);
    EXPECT_EQ(outer.top, 20);
    EXPECT_EQ(outer.right, 10 + 100 + sim::kFrameLeft + sim::kFrameRight);
    EXPECT_EQ(outer.bottom, 20 + 50 + sim::kFrameTop + sim::kFrameBottom);

    ASSERT_EQ(os::SetWindowPos(a, os::HWND_NOTOPMOST, 0, 0, 0, 0, 3), os::TRUE);
    EXPECT_EQ(sim::ZOrder(), (std::vector<HWND>{b, c, a}));
    EXPECT_FALSE(sim::Window(a).topmost);
    const HWND d = MakeWindow(0, 0, 10, 10, false, kRed);
    EXPECT_EQ(sim::ZOrder().back(), d);
}

TEST_F(SimDesktop, SetWindowPosTakesOuterSizeAndFailsForAGoneWindow) {
    const HWND a = MakeWindow(0, 0, 100, 50, true, kRed);
    ASSERT_EQ(os::SetWindowPos(a, 0, 5, 6, 200, 100, os::SWP_NOZORDER), os::TRUE);
    os::RECT client;
    ASSERT_EQ(os::GetClientRect(a, &client), os::TRUE);
    EXPECT_EQ(client.right, 200 - sim::kFrameLeft - sim::kFrameRight);
    EXPECT_EQ(client.bottom, 100 - sim::kFrameTop - sim::kFrameBottom);
    EXPECT_EQ(sim::Window(a).client.left, 5 + sim::kFrameLeft);
    sim::Vanish(a);
    EXPECT_EQ(os::IsWindow(a), os::FALSE);
    EXPECT_EQ(os::SetWindowPos(a, os::HWND_TOPMOST, 0, 0, 0, 0, 3), os::FALSE);
    EXPECT_EQ(os::SetWindowRgn(a, 0, os::TRUE), os::FALSE);
    EXPECT_EQ(os::GetSystemMenu(a, os::FALSE), 0);
    EXPECT_NE(MakeWindow(0, 0, 1, 1, false, kRed), a) << "handles are never reused";
}

TEST_F(SimDesktop, WindowDcReadsWhatTheScreenShows) {
    sim::PaintBackground(kGrey);
    const HWND under = MakeWindow(100, 100, 50, 50, true, kRed);
    const HWND over = MakeWindow(100 + sim::kFrameLeft + 20, 100 + sim::kFrameTop, 30, 30, false, kGreen);
    os::ShowWindow(under, os::SW_SHOW);
    os::ShowWindow(over, os::SW_SHOW);
    const os::HDC dc = os::GetDC(under);
    ASSERT_NE(dc, 0);
    EXPECT_EQ(sim::OpenDCs(), 1);
    EXPECT_EQ(os::GetPixel(dc, 0, 0), kRed);
    EXPECT_EQ(os::GetPixel(dc, 25, 5), kGreen) << "covered by the other window";
    EXPECT_EQ(os::GetPixel(dc, 50, 0), os::CLR_INVALID) << "right of the client area";
    EXPECT_EQ(os::GetPixel(dc, -1, 0), os::CLR_INVALID);
    EXPECT_EQ(os::GetPixel(0, 0, 0), os::CLR_INVALID) << "no DC";
    EXPECT_EQ(sim::ScreenPixel(100, 100), sim::ScreenPixel(101, 101)) << "frame";
    EXPECT_EQ(sim::ScreenPixel(99, 100), kGrey);

    sim::SetGetPixelFails(true);
    EXPECT_EQ(os::GetPixel(dc, 0, 0), os::CLR_INVALID);
    sim::SetGetPixelFails(false);

    os::ShowWindow(under, os::SW_MINIMIZE);
    EXPECT_EQ(os::GetPixel(dc, 0, 0), os::CLR_INVALID) << "an iconic window shows nothing";
    EXPECT_EQ(sim::ScreenPixel(100 + sim::kFrameLeft, 100 + sim::kFrameTop), kGrey);
    os::ShowWindow(under, os::SW_RESTORE);
    EXPECT_EQ(os::GetPixel(dc, 0, 0), kRed);

    sim::Vanish(under);
    EXPECT_EQ(os::GetPixel(dc, 0, 0), os::CLR_INVALID);
    EXPECT_EQ(os::ReleaseDC(under, dc), 1) << "a vanished window's DC is still given back";
    EXPECT_EQ(sim::OpenDCs(), 0);
    EXPECT_EQ(os::GetDC(under), 0);
}

TEST_F(SimDesktop, ScreenDcAndOffScreenReads) {
    sim::Reset(200, 100);
    sim::PaintBackgroundRect({10, 10, 20, 20}, kGreen);
    const os::HDC screen = os::GetDC(0);
    ASSERT_NE(screen, 0);
    EXPECT_EQ(os::GetPixel(screen, 15, 15), kGreen);
    EXPECT_EQ(os::GetPixel(screen, 200, 0), os::CLR_INVALID);
    const HWND w = MakeWindow(190, 90, 20, 20, false, kRed);
    os::ShowWindow(w, os::SW_SHOW);
    const os::HDC dc = os::GetDC(w);
    EXPECT_EQ(os::GetPixel(dc, 9, 9), kRed);
    EXPECT_EQ(os::GetPixel(dc, 10, 9), os::CLR_INVALID) << "client point beyond the screen edge";
    os::ReleaseDC(w, dc);
    os::ReleaseDC(0, screen);
    EXPECT_EQ(sim::OpenDCs(), 0);
}

TEST_F(SimDesktop, BitBltCopiesScreenPixelsOrNothing) {
    const HWND w = MakeWindow(0, 0, 10, 10, false, kRed);
    os::ShowWindow(w, os::SW_SHOW);
    const os::HDC src = os::GetDC(w);
    const os::HDC image = os::CreateImageDC(4, 4, kGrey);
    // The probe's fallback: the screen read fails, the copy and the image do not.
    sim::SetGetPixelFails(true);
    EXPECT_EQ(os::GetPixel(src, 3, 3), os::CLR_INVALID);
    ASSERT_EQ(os::BitBlt(image, 0, 0, 1, 1, src, 3, 3, os::SRCCOPY), os::TRUE);
    EXPECT_EQ(os::GetPixel(image, 0, 0), kRed);
    EXPECT_EQ(os::GetPixel(image, 1, 0), kGrey);
    sim::SetGetPixelFails(false);
    EXPECT_EQ(os::ClearImageDC(image, kGreen), os::TRUE);
    EXPECT_EQ(os::BitBlt(image, 0, 0, 2, 1, src, 9, 0, os::SRCCOPY), os::FALSE)
        << "one source pixel lies outside the window";
    EXPECT_EQ(os::GetPixel(image, 0, 0), kGreen) << "a failed copy changes nothing";
    EXPECT_EQ(os::GetPixel(image, 4, 0), os::CLR_INVALID);
    EXPECT_EQ(os::SetPixel(image, 3, 3, kRed), kRed);
    EXPECT_EQ(os::GetPixel(image, 3, 3), kRed);
    EXPECT_EQ(os::DeleteDC(image), os::TRUE);
    EXPECT_EQ(os::GetPixel(image, 3, 3), os::CLR_INVALID);
    os::ReleaseDC(w, src);
}

TEST_F(SimDesktop, PaintCycleFillsTheBackBufferOnce) {
    const HWND w = MakeWindow(0, 0, 20, 10, false, kRed, PaintingProc);
    sim::Pump();
    EXPECT_EQ(CountSeen(w, os::WM_PAINT), 0) << "hidden windows are not painted";
    os::ShowWindow(w, os::SW_SHOW);
    sim::Pump();
    EXPECT_EQ(CountSeen(w, os::WM_PAINT), 1);
    EXPECT_EQ(sim::WindowPixel(w, 19, 9), g_paint_colour);
    g_paint_colour = kGreen;
    const os::RECT part{0, 0, 5, 5};
    os::InvalidateRect(w, &part);
    sim::Pump();
    EXPECT_EQ(CountSeen(w, os::WM_PAINT), 2);
    EXPECT_EQ(sim::WindowPixel(w, 4, 4), kGreen);
    EXPECT_EQ(sim::WindowPixel(w, 5, 5), os::RGB(0, 0, 255)) << "outside the invalid rect";
}

TEST_F(SimDesktop, CaptionDragFollowsThePointerUntilTheButtonGoesUp) {
    const HWND ruler = MakeWindow(100, 100, 200, 30, false, kRed, DragOnPressProc);
    os::ShowWindow(ruler, os::SW_SHOW);
    sim::Click(150, 110, 3);
    EXPECT_EQ(sim::Window(ruler).outer.left, 100) << "press and release without motion";

    sim::MouseDown(150, 110, 3);
    EXPECT_EQ(CountSeen(ruler, os::WM_RBUTTONDOWN), 2);
    sim::MouseMove(180, 90);
    sim::MouseMove(170, 130);
    sim::MouseUp(170, 130, 3);
    sim::MouseMove(400, 400);
    const os::RECT outer = sim::Window(ruler).outer;
    EXPECT_EQ(outer.left, 120);
    EXPECT_EQ(outer.top, 120);
    EXPECT_EQ(outer.right, 320);
    EXPECT_EQ(CountSeen(ruler, os::WM_RBUTTONUP), 0) << "the move swallows the button-up";
}

TEST_F(SimDesktop, MouseInputUsesClientCoordinatesOfTheTopWindow) {
    const HWND back = MakeWindow(0, 0, 100, 100, false, kRed);
    const HWND front = MakeWindow(10, 10, 50, 50, true, kGreen);
    os::ShowWindow(back, os::SW_SHOW);
    os::ShowWindow(front, os::SW_SHOW);
    sim::MouseDown(10 + sim::kFrameLeft + 7, 10 + sim::kFrameTop + 3, 1, true);
    ASSERT_EQ(CountSeen(front, os::WM_LBUTTONDOWN), 1);
    const os::MSG& down = Seen().back();
    EXPECT_EQ(os::GET_X_LPARAM(down.lParam), 7);
    EXPECT_EQ(os::GET_Y_LPARAM(down.lParam), 3);
    EXPECT_EQ(down.wParam, os::MK_LBUTTON | os::MK_SHIFT);
    EXPECT_EQ(os::WindowFromPoint({5, 5}), back);
    EXPECT_EQ(os::WindowFromPoint({500, 500}), 0);
    os::SetCapture(front);
    sim::MouseUp(1, 1);
    EXPECT_EQ(os::GET_X_LPARAM(Seen().back().lParam), 1 - 10 - sim::kFrameLeft);
    EXPECT_EQ(CountSeen(back, os::WM_LBUTTONUP), 0);
}

TEST_F(SimDesktop, KeysGoToTheWindowLastShownOrClicked) {
    const HWND a = MakeWindow(0, 0, 50, 50, false, kRed);
    const HWND b = MakeWindow(100, 0, 50, 50, false, kRed);
    os::ShowWindow(a, os::SW_SHOW);
    os::ShowWindow(b, os::SW_SHOW);
    EXPECT_EQ(os::GetForegroundWindow(), b);
    sim::Click(10, 10);
    EXPECT_EQ(os::GetForegroundWindow(), a);
    sim::Key('A', false, true);
    EXPECT_EQ(CountSeen(a, os::WM_KEYDOWN), 1);
    EXPECT_EQ(Seen().back().message, os::WM_KEYUP);
    EXPECT_EQ(Seen()[Seen().size() - 2].wParam, 'A') << "WM_CHAR with shift";
    sim::Key(os::VK_SPACE, true);
    EXPECT_EQ(CountSeen(a, os::WM_SYSKEYDOWN), 1);
    EXPECT_EQ(CountSeen(a, os::WM_CHAR), 1) << "no WM_CHAR with alt";
    sim::CreateForeignWindow({300, 300, 400, 400}, kGreen);
    sim::Click(350, 350);
    sim::Key(os::VK_RETURN);
    EXPECT_EQ(CountSeen(a, os::WM_KEYDOWN) + CountSeen(b, os::WM_KEYDOWN), 1);
}

TEST_F(SimDesktop, TimersTickInVirtualTimeThroughTheCurrentProcedure) {
    const HWND w = MakeWindow(0, 0, 10, 10, false, kRed);
    ASSERT_EQ(os::SetTimer(w, 1, 1), 1u);
    ASSERT_EQ(os::SetTimer(w, 2, 3), 2u);
    sim::Advance(7);
    EXPECT_EQ(sim::Now(), 7);
    int fast = 0, slow = 0;
    for (const os::MSG& m : Seen()) {
        if (m.message != os::WM_TIMER) continue;
        fast += m.wParam == 1;
        slow += m.wParam == 2;
    }
    EXPECT_EQ(fast, 7);
    EXPECT_EQ(slow, 2);

    const os::LONG_PTR previous =
        os::SetWindowLongA(w, os::GWL_WNDPROC, reinterpret_cast<os::LONG_PTR>(&PaintingProc));
    EXPECT_EQ(previous, reinterpret_cast<os::LONG_PTR>(&RecordingProc));
    os::KillTimer(w, 2);
    Seen().clear();
    sim::Advance(3);
    EXPECT_EQ(CountSeen(w, os::WM_TIMER), 3);
    EXPECT_EQ(os::DestroyWindow(w), os::TRUE);
    EXPECT_EQ(CountSeen(w, os::WM_DESTROY), 1);
    sim::Advance(5);
    EXPECT_EQ(CountSeen(w, os::WM_TIMER), 3) << "a destroyed window's timers stop";
}

os::LRESULT ThrowOnDestroyProc(HWND h, os::UINT msg, os::WPARAM w, os::LPARAM l) {
    if (msg == os::WM_DESTROY) throw std::runtime_error("handler failed");
    return os::DefWindowProcA(h, msg, w, l);
}

TEST_F(SimDesktop, WindowIsGoneEvenWhenItsDestroyHandlerThrows) {
    const HWND w = MakeWindow(0, 0, 10, 10, false, kRed, ThrowOnDestroyProc);
    os::SetTimer(w, 1, 1);
    EXPECT_THROW(os::DestroyWindow(w), std::runtime_error);
    EXPECT_EQ(os::IsWindow(w), os::FALSE);
    EXPECT_TRUE(sim::ZOrder().empty());
    EXPECT_EQ(os::DestroyWindow(w), os::FALSE);
}

TEST_F(SimDesktop, SystemMenuRemovalRules) {
    const HWND w = MakeWindow(0, 0, 10, 10, true, kRed);
    const os::HMENU menu = os::GetSystemMenu(w, os::FALSE);
    ASSERT_NE(menu, 0);
    ASSERT_EQ(os::GetMenuItemCount(menu), 7);
    EXPECT_EQ(sim::SystemMenu(w)[5].flags, os::MF_SEPARATOR);
    EXPECT_EQ(sim::SystemMenu(w)[6].id, static_cast<os::UINT_PTR>(os::SC_CLOSE));
    os::AppendMenuA(menu, os::MF_SEPARATOR, 0, nullptr);
    os::AppendMenuA(menu, os::MF_STRING, 1010, "made by");
    const int count = os::GetMenuItemCount(menu);
    ASSERT_EQ(count, 9);
    const os::UINT flags = os::MF_BYPOSITION | os::MF_REMOVE;
    EXPECT_EQ(os::RemoveMenu(menu, 9, flags), os::FALSE);
    EXPECT_EQ(os::RemoveMenu(menu, static_cast<os::UINT>(-1), flags), os::FALSE);
    EXPECT_EQ(os::GetMenuItemCount(menu), 9) << "failed removals change nothing";
    EXPECT_EQ(os::RemoveMenu(menu, static_cast<os::UINT>(count - 2), flags), os::TRUE);
    EXPECT_EQ(os::RemoveMenu(menu, static_cast<os::UINT>(count - 3), flags), os::TRUE);
    const std::vector<sim::MenuItem> items = sim::SystemMenu(w);
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[5].flags, os::MF_SEPARATOR);
    EXPECT_EQ(items[6].id, 1010u);
    EXPECT_EQ(items[6].text, "made by");
    EXPECT_EQ(os::RemoveMenu(menu, static_cast<os::UINT>(os::SC_CLOSE), os::MF_BYCOMMAND), os::FALSE);
    EXPECT_EQ(os::RemoveMenu(menu, static_cast<os::UINT>(os::SC_MOVE), os::MF_BYCOMMAND), os::TRUE);
    EXPECT_EQ(os::GetMenuItemCount(menu), 6);
    EXPECT_EQ(os::GetMenuItemCount(menu + 1000), -1);
    EXPECT_EQ(os::DrawMenuBar(w), os::TRUE);
}

TEST_F(SimDesktop, SystemCommandsActThroughTheProcedure) {
    const HWND w = MakeWindow(0, 0, 10, 10, true, kRed);
    os::ShowWindow(w, os::SW_SHOW);
    os::SendMessageA(w, os::WM_SYSCOMMAND, os::SC_MINIMIZE, 0);
    EXPECT_TRUE(sim::Window(w).iconic);
    os::SendMessageA(w, os::WM_SYSCOMMAND, os::SC_RESTORE, 0);
    EXPECT_FALSE(sim::Window(w).iconic);
    os::SendMessageA(w, os::WM_SYSCOMMAND, os::SC_CLOSE, 0);
    EXPECT_EQ(CountSeen(w, os::WM_CLOSE), 1);
    EXPECT_EQ(CountSeen(w, os::WM_DESTROY), 1);
    EXPECT_FALSE(sim::Window(w).exists);
}

TEST_F(SimDesktop, MessageBoxHoldsInputBackWhileTimersRunNested) {
    const HWND w = MakeWindow(0, 0, 100, 100, false, kRed, BoxOnTickProc);
    os::ShowWindow(w, os::SW_SHOW);
    os::SetTimer(w, 7, 1);
    os::SetTimer(w, 8, 1);
    int ticks_inside = 0;
    sim::OnMessageBox([&](const sim::MessageBoxRecord& box) {
        EXPECT_EQ(box.caption, "About");
        sim::Key(os::VK_RETURN);
        sim::Click(50, 50);
        const int before = CountSeen(w, os::WM_TIMER);
        sim::Advance(3);
        ticks_inside = CountSeen(w, os::WM_TIMER) - before;
        return os::IDOK;
    });
    sim::Advance(1);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].owner, w);
    EXPECT_EQ(sim::MessageBoxes()[0].text, "About1 . . .");
    EXPECT_EQ(sim::MessageBoxes()[0].type, os::MB_ICONASTERISK);
    EXPECT_EQ(ticks_inside, 3) << "timer 8 ticks inside the box";
    EXPECT_EQ(CountSeen(w, os::WM_KEYDOWN), 0);
    EXPECT_EQ(CountSeen(w, os::WM_LBUTTONDOWN), 0);
    sim::Key(os::VK_RETURN);
    EXPECT_EQ(CountSeen(w, os::WM_KEYDOWN), 1) << "input flows again once the box is closed";
    EXPECT_EQ(CountSeen(w, os::WM_CHAR), 1);
}

TEST_F(SimDesktop, MessageLoopEndsWhenTheQueueRunsDryOrQuitIsPosted) {
    const HWND w = MakeWindow(0, 0, 10, 10, false, kRed);
    ASSERT_EQ(os::PostMessageA(w, kTestMessage, 5, 6), os::TRUE);
    os::MSG msg;
    ASSERT_EQ(os::GetMessageA(&msg), os::TRUE);
    EXPECT_EQ(msg.message, kTestMessage);
    EXPECT_EQ(os::DispatchMessageA(&msg), 0);
    EXPECT_EQ(CountSeen(w, kTestMessage), 1);
    EXPECT_EQ(os::GetMessageA(&msg), os::FALSE) << "an empty queue never blocks a test";
    os::PostMessageA(w, kTestMessage, 0, 0);
    os::PostQuitMessage(0);
    EXPECT_EQ(os::GetMessageA(&msg), os::TRUE) << "posted messages come before the quit";
    EXPECT_EQ(os::GetMessageA(&msg), os::FALSE);
    EXPECT_EQ(msg.message, os::WM_QUIT);
    EXPECT_TRUE(sim::QuitPosted());
    EXPECT_EQ(os::PostMessageA(w + 100, kTestMessage, 0, 0), os::FALSE);
}

TEST_F(SimDesktop, ReplacedProceduresChainAndUnknownOnesAreNotCalled) {
    const HWND w = MakeWindow(0, 0, 10, 10, false, kRed, PaintingProc);
    const os::LONG_PTR previous =
        os::SetWindowLongA(w, os::GWL_WNDPROC, reinterpret_cast<os::LONG_PTR>(&RecordingProc));
    EXPECT_EQ(os::GetWindowLongA(w, os::GWL_WNDPROC), reinterpret_cast<os::LONG_PTR>(&RecordingProc));
    os::SendMessageA(w, kTestMessage, 1, 2);
    EXPECT_EQ(CountSeen(w, kTestMessage), 1);
    os::CallWindowProcA(previous, w, kTestMessage, 3, 4);
    EXPECT_EQ(CountSeen(w, kTestMessage), 2) << "the painting procedure records too";
    EXPECT_EQ(os::CallWindowProcA(previous ^ 0x10, w, kTestMessage, 0, 0), 0);
    EXPECT_EQ(os::CallWindowProcA(0, w, kTestMessage, 0, 0), 0);
    EXPECT_EQ(CountSeen(w, kTestMessage), 2);
    EXPECT_EQ(os::SetWindowLongA(w + 100, os::GWL_WNDPROC, previous), 0);
}

TEST_F(SimDesktop, FixedWidthTextMetrics) {
    os::SIZE size;
    ASSERT_EQ(os::GetTextExtentPoint32A(0, "x: 512", 6, &size), os::TRUE);
    EXPECT_EQ(size.cx, 36);
    EXPECT_EQ(size.cy, 13);
    const os::HFONT bold = os::CreateFontA(16, os::FW_BOLD, 0, 0, 0, 0, "Sans");
    ASSERT_GT(bold, 0);
    ASSERT_EQ(os::GetTextExtentPoint32A(bold, "abcdef", 3, &size), os::TRUE);
    EXPECT_EQ(size.cx, 21);
    EXPECT_EQ(size.cy, 16);
    EXPECT_EQ(os::DeleteObject(bold), os::TRUE);
    EXPECT_EQ(os::GetTextExtentPoint32A(bold, "abc", 3, &size), os::FALSE);
}

TEST_F(SimDesktop, CallsAreLoggedAndFaultsPlanted) {
    const HWND w = MakeWindow(0, 0, 10, 10, false, kRed);
    sim::ClearCalls();
    os::SetWindowPos(w, os::HWND_TOPMOST, 0, 0, 0, 0, 3);
    os::SendMessageA(w, os::WM_NCLBUTTONDOWN, os::HTCAPTION, 0);
    os::ReleaseCapture();
    ASSERT_EQ(sim::Calls().size(), 4u) << "SendMessageA's DefWindowProcA is the program's own call";
    EXPECT_EQ(sim::Calls()[0].name, "SetWindowPos");
    EXPECT_EQ(sim::Calls()[0].args, std::to_string(w) + ",-1,0,0,0,0,3");
    EXPECT_EQ(sim::Calls()[1].args, std::to_string(w) + ",161,2,0");
    EXPECT_EQ(sim::Calls()[3].name, "ReleaseCapture");
    EXPECT_EQ(sim::Calls()[3].args, "");
    EXPECT_EQ(sim::CallCount("SendMessageA"), 1);

    sim::FailNext("GetMenuItemCount", 1);
    const os::HMENU menu = os::GetSystemMenu(w, os::FALSE);
    EXPECT_EQ(os::GetMenuItemCount(menu), -1);
    EXPECT_EQ(os::GetMenuItemCount(menu), 7);

    sim::BeforeCall("GetDC", [] { throw std::runtime_error("statement fails"); });
    EXPECT_THROW(os::GetDC(w), std::runtime_error);
    sim::BeforeCall("GetDC", nullptr);
    const os::HDC dc = os::GetDC(w);
    EXPECT_NE(dc, 0);
    os::ReleaseDC(w, dc);
    EXPECT_THROW(sim::FailNext("NoSuchCall"), std::invalid_argument);
}

}  // namespace
