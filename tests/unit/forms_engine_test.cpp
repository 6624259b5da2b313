// The forms engine on the simulated desktop: load and unload rules, the
// loaded-forms collection, property access by name, controls that repaint
// only on change, the picture box's retained image, message boxes, the text
// functions and the resume-next helper.
#include <functional>

#include "platform/forms/forms.h"
#include "sim_fixture.h"

namespace {

class TestForm : public forms::Form {
public:
    explicit TestForm(std::string name) : forms::Form(std::move(name)) {}
    forms::Label label{*this, "label"};
    forms::PictureBox picture{*this, "picture"};
    std::function<void()> unload_action;
    int unloads = 0;

protected:
    void design() override {
        set_caption(name());
        set_client_size(1500, 1500);
        label.move(0, 0, 600, 300);
        picture.move(0, 600, 600, 600);
    }
    void on_unload() override {
        ++unloads;
        if (unload_action) unload_action();
    }
};

using FormsEngineTest = SimDesktopTest;

TEST_F(FormsEngineTest, UnloadingAFormThatIsNotLoadedDoesNothing) {
    TestForm form("a");
    sim::ClearCalls();
    form.unload();
    EXPECT_EQ(form.unloads, 0);
    EXPECT_TRUE(sim::Calls().empty());
}

TEST_F(FormsEngineTest, UnloadFromItsOwnUnloadEventIsIgnored) {
    TestForm form("a");
    form.show();
    form.unload_action = [&] { form.unload(); };
    form.unload();
    EXPECT_EQ(form.unloads, 1);
    EXPECT_EQ(sim::CallCount("DestroyWindow"), 1);
    EXPECT_FALSE(form.is_loaded());
}

TEST_F(FormsEngineTest, CollectionCanBeWalkedWhileItsMembersUnload) {
    TestForm a("a"), b("b"), c("c");
    a.show();
    b.show();
    c.show();
    // Unloading the first also unloads the second, ahead of the walk.
    a.unload_action = [&] { b.unload(); };
    EXPECT_EQ(forms::LoadedForms().size(), 3u);
    for (forms::Form* f : forms::LoadedForms()) {
        EXPECT_FALSE(sim::QuitPosted()) << "the program ended before its last form unloaded";
        f->unload();
    }
    EXPECT_EQ(a.unloads + b.unloads + c.unloads, 3);
    EXPECT_TRUE(forms::LoadedForms().empty());
    EXPECT_TRUE(sim::QuitPosted());
}

TEST_F(FormsEngineTest, PropertiesByNameAreTwipsOfTheOuterRectangle) {
    TestForm form("a");
    form.show();
    form.set_property("left", 300);
    form.set_property("Top", -450);
    EXPECT_EQ(form.property("Left"), 300);
    EXPECT_EQ(form.property("TOP"), -450);
    const sim::WindowInfo w = sim::Window(form.hwnd());
    EXPECT_EQ(w.outer.left, 20);
    EXPECT_EQ(w.outer.top, -30);
    EXPECT_EQ(w.client.left, 20 + sim::kFrameLeft) << "Left is the frame's corner, not the client's";
    try {
        form.property("Colour");
        ADD_FAILURE() << "an unknown property was read";
    } catch (const forms::RuntimeError& e) {
        EXPECT_EQ(e.number(), forms::kErrNoSuchProperty);
    }
}

TEST_F(FormsEngineTest, LabelRepaintsOnlyWhenItsTextChanges) {
    TestForm form("a");
    form.show();
    form.label.set_caption("x: 1");
    sim::Pump();
    sim::ClearCalls();
    form.label.set_caption("x: 1");
    sim::Pump();
    EXPECT_EQ(sim::CallCount("InvalidateRect"), 0);
    EXPECT_EQ(sim::CallCount("BeginPaint"), 0);
    form.label.set_caption("x: 2");
    sim::Pump();
    EXPECT_EQ(sim::CallCount("BeginPaint"), 1);
    const auto texts = sim::TextsDrawn(form.hwnd());
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back().text, "x: 2");
}

// A picture shows straight from its own pixels; the box makes an image of
// its own only when something draws on it, and then starts it from the picture.
TEST_F(FormsEngineTest, PictureShowsFromItsOwnPixelsUntilTheBoxIsDrawnOn) {
    const os::COLORREF pixels[6] = {os::RGB(10, 0, 0), os::RGB(20, 0, 0), os::RGB(30, 0, 0),
                                    os::RGB(0, 10, 0), os::RGB(0, 20, 0), os::RGB(0, 30, 0)};
    const forms::Picture picture{3, 2, pixels};
    TestForm form("a");
    form.picture.set_back_color(os::RGB(1, 2, 3));
    form.picture.set_picture(&picture);
    form.show();
    sim::Pump();
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(sim::WindowPixel(form.hwnd(), 2 + x, 42 + y), pixels[y * 3 + x]) << x << "," << y;
            EXPECT_EQ(form.picture.point(x, y), pixels[y * 3 + x]);
        }
    EXPECT_EQ(sim::WindowPixel(form.hwnd(), 5, 42), os::RGB(1, 2, 3));
    EXPECT_EQ(form.picture.point(3, 0), os::RGB(1, 2, 3));
    EXPECT_EQ(form.picture.point(-1, 0), os::CLR_INVALID);
    EXPECT_EQ(sim::CallCount("CreateImageDC"), 0);

    const os::HDC dc = form.picture.hdc();
    ASSERT_NE(dc, 0);
    EXPECT_EQ(sim::CallCount("CreateImageDC"), 1);
    os::SetPixel(dc, 0, 0, os::RGB(7, 7, 7));
    form.picture.refresh();
    sim::Pump();
    EXPECT_EQ(sim::WindowPixel(form.hwnd(), 2, 42), os::RGB(7, 7, 7));
    EXPECT_EQ(sim::WindowPixel(form.hwnd(), 3, 42), pixels[1]);
    EXPECT_EQ(form.picture.point(0, 0), os::RGB(7, 7, 7));
}

TEST_F(FormsEngineTest, PictureBoxKeepsARetainedImage) {
    TestForm form("a");
    form.show();
    form.picture.set_back_color(os::RGB(1, 2, 3));
    EXPECT_EQ(form.picture.point(5, 5), os::RGB(1, 2, 3));
    form.picture.pset(0, 0, os::RGB(9, 9, 9));
    EXPECT_EQ(form.picture.point(0, 0), os::RGB(9, 9, 9));
    // Setting the colour again clears what was drawn, even the same colour.
    form.picture.set_back_color(os::RGB(1, 2, 3));
    EXPECT_EQ(form.picture.point(0, 0), os::RGB(1, 2, 3));
    sim::Pump();
    // The border is two pixels; the image starts inside it.
    EXPECT_EQ(sim::WindowPixel(form.hwnd(), 2, 42), os::RGB(1, 2, 3));
    try {
        form.picture.set_back_color(-1);
        ADD_FAILURE() << "-1 was taken as a colour";
    } catch (const forms::RuntimeError& e) {
        EXPECT_EQ(e.number(), forms::kErrInvalidPropertyValue);
    }
    EXPECT_EQ(form.picture.back_color(), os::RGB(1, 2, 3));
}

TEST_F(FormsEngineTest, MessageBoxHasTheProgramsTitleUnlessGivenOne) {
    forms::MsgBox("hello", 16);
    forms::MsgBox("there", 64, "About");
    ASSERT_EQ(sim::MessageBoxes().size(), 2u);
    EXPECT_EQ(sim::MessageBoxes()[0].text, "hello");
    EXPECT_EQ(sim::MessageBoxes()[0].caption, "Pixometer");
    EXPECT_EQ(sim::MessageBoxes()[0].type, 16u);
    EXPECT_EQ(sim::MessageBoxes()[1].caption, "About");
    EXPECT_EQ(sim::MessageBoxes()[1].type, 64u);
}

TEST(TextFunctions, NumbersToText) {
    EXPECT_EQ(forms::DecimalText(512), "512");
    EXPECT_EQ(forms::DecimalText(-7), "-7");
    EXPECT_EQ(forms::DecimalText(INT32_MIN), "-2147483648");
    EXPECT_EQ(forms::SignedText(6), " 6");
    EXPECT_EQ(forms::SignedText(0), " 0");
    EXPECT_EQ(forms::SignedText(-1), "-1");
    EXPECT_EQ(forms::HexText(0), "0");
    EXPECT_EQ(forms::HexText(255), "FF");
    EXPECT_EQ(forms::HexText(0x3F2), "3F2");
}

TEST(TextFunctions, TextToInt32) {
    struct Case {
        const char* text;
        std::int32_t value;
        int error;  // 0: converts
    };
    const Case cases[] = {
        {"1785", 1785, 0},         {" -300 ", -300, 0},        {"12.5", 12, 0},
        {"13.5", 14, 0},           {"-2.5", -2, 0},            {"1e3", 1000, 0},
        {"2147483647", INT32_MAX, 0}, {"-2147483648", INT32_MIN, 0},
        {"2147483648", 0, forms::kErrOverflow}, {"99999999999", 0, forms::kErrOverflow},
        {"Error", 0, forms::kErrTypeMismatch}, {"", 0, forms::kErrTypeMismatch},
        {"12abc", 0, forms::kErrTypeMismatch}, {"-", 0, forms::kErrTypeMismatch},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.error == 0) {
            EXPECT_EQ(forms::TextToInt32(c.text), c.value);
            continue;
        }
        try {
            forms::TextToInt32(c.text);
            ADD_FAILURE() << "converted";
        } catch (const forms::RuntimeError& e) {
            EXPECT_EQ(e.number(), c.error);
        }
    }
}

TEST(TextFunctions, TrimAndSearch) {
    EXPECT_EQ(forms::TrimSpaces("  a b  "), "a b");
    EXPECT_EQ(forms::TrimSpaces("\ta "), "\ta") << "only spaces are trimmed";
    EXPECT_EQ(forms::TrimSpaces("    "), "");
    EXPECT_EQ(forms::InStr("HKEY_X\\Soft\\Ware", "\\"), 7);
    EXPECT_EQ(forms::InStr("HKEY_X", "\\"), 0);
}

TEST(ResumeNext, SkipsTheFailingStatementOnly) {
    std::vector<int> ran;
    forms::ResumeNext([&] { ran.push_back(1); },
                      [&] {
                          throw forms::RuntimeError(13, "x");
                          ran.push_back(2);
                      },
                      [&] { ran.push_back(3); });
    EXPECT_EQ(ran, (std::vector<int>{1, 3}));
}

}  // namespace
