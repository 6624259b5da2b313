// The window placement store on the simulated desktop's memory store.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "placement/window_placement.h"
#include "platform/forms/forms.h"
#include "platform/regstore/regstore.h"
#include "platform/sim/sim.h"
#include "registry/registry_library.h"

namespace {

const std::string kBase = "HKEY_CURRENT_USER\\Software\\Quillmoss\\Pixometer\\";

// Any window with a Left and a Top will do; this one is never loaded, so its
// position is kept exactly in twips.
class PlainWindow : public forms::Form {
public:
    PlainWindow() : forms::Form("PlainWindow") {}
    void place(int left, int top) {
        set_left(left);
        set_top(top);
    }

protected:
    void design() override {}
};

using Operation = void (*)(forms::Form&);

struct Entry {
    const char* label;
    Operation restore;
    Operation save;
    std::string key;
    const char* left;
    const char* top;
};

const Entry kEntries[] = {
    {"main", WindowPlacement::RestoreMainPosition, WindowPlacement::SaveMainPosition,
     kBase + "Window Position", "Left", "Top"},
    {"horizontal", WindowPlacement::RestorePositionH, WindowPlacement::SavePositionH,
     kBase + "Window PositionH", "LeftH", "TopH"},
    {"vertical", WindowPlacement::RestorePositionV, WindowPlacement::SavePositionV,
     kBase + "Window PositionV", "LeftV", "TopV"},
};
const Entry& kMain = kEntries[0];
const Entry& kHorizontal = kEntries[1];
const Entry& kVertical = kEntries[2];

class WindowPlacementTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        regstore::UseMemoryStore();
        regstore::ClearFaults();
    }
    void TearDown() override {
        regstore::ClearFaults();
        EXPECT_TRUE(sim::MessageBoxes().empty());  // the store never shows anything
        EXPECT_EQ(regstore::OpenKeyCount(), 0);
    }

    static void Store(const Entry& entry, const char* name, const std::string& text) {
        std::string path = entry.key;
        RegistryLibrary::EnsureKey(path);
        path = entry.key;
        RegistryLibrary::WriteTextValue(path, name, text);
    }
    static std::string Stored(const Entry& entry, const char* name) {
        std::string path = entry.key;
        return RegistryLibrary::ReadTextValue(path, name).text();
    }
    static bool KeyExists(const Entry& entry) {
        os::HKEY key = 0;
        std::string subkey = entry.key.substr(entry.key.find('\\') + 1);
        if (os::RegOpenKeyExA(RegistryLibrary::kCurrentUser, subkey.c_str(), 0, 0x20019, &key) != 0)
            return false;
        os::RegCloseKey(key);
        return true;
    }
    // Makes LastPosition hold `number`: a restore that reads it last.
    static void Prime(std::int32_t number) {
        Store(kVertical, "LeftV", "0");
        Store(kVertical, "TopV", std::to_string(number));
        PlainWindow window;
        WindowPlacement::RestorePositionV(window);
        ASSERT_EQ(window.top(), number);
        std::string path = kVertical.key;
        ASSERT_TRUE(RegistryLibrary::RemoveKey(path));
    }
};

TEST_F(WindowPlacementTest, SaveWritesBothCoordinatesAsDecimalTextUnderTheWindowsOwnKey) {
    for (const Entry& entry : kEntries) {
        regstore::UseMemoryStore();
        PlainWindow window;
        window.place(1785, -300);
        entry.save(window);
        EXPECT_EQ(Stored(entry, entry.left), "1785") << entry.label;
        EXPECT_EQ(Stored(entry, entry.top), "-300") << entry.label;
        for (const Entry& other : kEntries)
            EXPECT_EQ(KeyExists(other), &other == &entry) << entry.label << " made " << other.label;
    }
}

TEST_F(WindowPlacementTest, RestoreSetsBothCoordinatesFromTheWindowsOwnEntry) {
    for (const Entry& entry : kEntries) {
        Store(entry, entry.left, std::to_string(100 + (&entry - kEntries)));
        Store(entry, entry.top, std::to_string(-200 - (&entry - kEntries)));
    }
    for (const Entry& entry : kEntries) {
        PlainWindow window;
        entry.restore(window);
        EXPECT_EQ(window.left(), 100 + (&entry - kEntries)) << entry.label;
        EXPECT_EQ(window.top(), -200 - (&entry - kEntries)) << entry.label;
    }
}

TEST_F(WindowPlacementTest, ASavedPositionComesBackOnTheNextRestore) {
    PlainWindow saved;
    saved.place(4500, 3000);
    WindowPlacement::SavePositionH(saved);
    PlainWindow restored;
    WindowPlacement::RestorePositionH(restored);
    EXPECT_EQ(restored.left(), 4500);
    EXPECT_EQ(restored.top(), 3000);
}

// On a fresh profile nothing can be read, so the panel lands at 0, 0. Only a
// fresh process has LastPosition as the program starts it.
TEST_F(WindowPlacementTest, FreshProfilePlacesThePanelAtTheTopLeftCorner) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            sim::Reset();
            regstore::UseMemoryStore();
            PlainWindow panel;
            panel.place(999, 999);
            WindowPlacement::RestoreMainPosition(panel);
            PlainWindow ruler;
            ruler.place(555, 555);
            WindowPlacement::RestorePositionH(ruler);
            bool ok = panel.left() == 0 && panel.top() == 0 && ruler.left() == 0 && ruler.top() == 0;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(WindowPlacementTest, AMissingRulerEntryTakesThePanelsStoredTop) {
    Store(kMain, "Left", "1200");
    Store(kMain, "Top", "2400");
    PlainWindow panel;
    WindowPlacement::RestoreMainPosition(panel);
    PlainWindow ruler;
    WindowPlacement::RestorePositionH(ruler);
    EXPECT_EQ(ruler.left(), 2400);
    EXPECT_EQ(ruler.top(), 2400);
    EXPECT_FALSE(KeyExists(kHorizontal));  // restoring writes nothing
}

TEST_F(WindowPlacementTest, HalfAnEntryFillsTheOtherHalfFromLastPosition) {
    Prime(7);
    Store(kMain, "Left", "300");  // Left only: Top becomes the entry's own Left
    PlainWindow panel;
    WindowPlacement::RestoreMainPosition(panel);
    EXPECT_EQ(panel.left(), 300);
    EXPECT_EQ(panel.top(), 300);

    Prime(7);
    Store(kHorizontal, "TopH", "450");  // Top only: Left takes the previous number
    PlainWindow ruler;
    WindowPlacement::RestorePositionH(ruler);
    EXPECT_EQ(ruler.left(), 7);
    EXPECT_EQ(ruler.top(), 450);
}

// What a stored Left reads back as, with LastPosition at 7 beforehand.
TEST_F(WindowPlacementTest, StoredTextsAreConvertedOrLeaveLastPosition) {
    struct Case {
        std::string text;
        std::int32_t left;
    };
    const Case cases[] = {
        {"1785", 1785},          {"-300", -300},        {"  42", 42},
        {"42  ", 42},            {"12.5", 12},          {"13.5", 14},  // halves to even
        {"2147483647", 2147483647}, {"2147483648", 7},  {"Error", 7},
        {"abc", 7},              {"", 7},               {std::string(255, ' '), 7},
    };
    for (const Case& c : cases) {
        Prime(7);
        Store(kMain, "Left", c.text);
        Store(kMain, "Top", "5");
        PlainWindow panel;
        panel.place(-1, -1);
        WindowPlacement::RestoreMainPosition(panel);
        EXPECT_EQ(panel.left(), c.left) << "\"" << c.text << "\"";
        EXPECT_EQ(panel.top(), 5) << "\"" << c.text << "\"";
    }
}

TEST_F(WindowPlacementTest, SaveWritesLeftThenTopAndReportsNoFailure) {
    Store(kMain, "Left", "1");
    Store(kMain, "Top", "2");
    PlainWindow panel;
    panel.place(10, 20);
    regstore::InjectFault("RegOpenKeyExA", 5);  // the first write cannot open the key
    WindowPlacement::SaveMainPosition(panel);
    EXPECT_EQ(Stored(kMain, "Left"), "1");
    EXPECT_EQ(Stored(kMain, "Top"), "20");

    regstore::InjectFault("RegSetValueExA", 5, 2);
    panel.place(30, 40);
    WindowPlacement::SaveMainPosition(panel);
    EXPECT_EQ(Stored(kMain, "Left"), "1");  // what was stored before stays
    EXPECT_EQ(Stored(kMain, "Top"), "20");
}

TEST_F(WindowPlacementTest, AKeyThatCannotBeCreatedLeavesNothingStored) {
    regstore::InjectFault("RegCreateKeyA", 5);
    PlainWindow panel;
    panel.place(10, 20);
    WindowPlacement::SaveMainPosition(panel);
    EXPECT_FALSE(KeyExists(kMain));
    WindowPlacement::SaveMainPosition(panel);  // the next save works again
    EXPECT_EQ(Stored(kMain, "Left"), "10");
}

TEST_F(WindowPlacementTest, SaveKeepsOtherValuesOfTheKey) {
    Store(kMain, "Other", "keep");
    PlainWindow panel;
    panel.place(10, 20);
    WindowPlacement::SaveMainPosition(panel);
    EXPECT_EQ(Stored(kMain, "Other"), "keep");
}

}  // namespace
