// The registry library on the simulated desktop's memory store: key paths,
// the quiet and the reporting operations, their messages and status texts.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "platform/forms/forms.h"
#include "platform/regstore/regstore.h"
#include "platform/sim/sim.h"
#include "registry/registry_library.h"

namespace {

namespace reg = RegistryLibrary;

const std::string kPixometer = "HKEY_CURRENT_USER\\Software\\Quillmoss\\Pixometer";
const std::string kWindowKey = kPixometer + "\\Window Position";
constexpr int kPlainBox = 0;
constexpr int kCriticalBox = 16;

struct Box {
    std::string text;
    std::string caption;
    os::UINT type;
    bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << "{\"" << box.text << "\", \"" << box.caption << "\", " << box.type << "}";
}

class RegistryLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        regstore::UseMemoryStore();
        regstore::ClearFaults();
        reg::SuppressNextMessage = false;
    }
    void TearDown() override {
        // Whatever a test did, no key may be left open.
        EXPECT_EQ(regstore::OpenKeyCount(), 0);
        regstore::ClearFaults();
    }

    static std::vector<Box> Boxes() {
        std::vector<Box> boxes;
        for (const auto& record : sim::MessageBoxes())
            boxes.push_back({record.text, record.caption, record.type});
        return boxes;
    }
    static Box FormatBox(const std::string& path) {
        return {"Incorrect Format:\n\n" + path, "Pixometer", kPlainBox};
    }
    static std::string Ensure(std::string path = kWindowKey) {
        reg::EnsureKey(path);
        return path;
    }
    static void Write(const std::string& name, const std::string& text, std::string path = kWindowKey) {
        reg::WriteTextValue(path, name, text);
    }
    static reg::ReadResult Read(const std::string& name, std::string path = kWindowKey) {
        return reg::ReadTextValue(path, name);
    }
    static std::string ReadReporting(const std::string& name, std::string path = kWindowKey) {
        return reg::ReadTextValueWithMessage(path, name);
    }
};

// ---- Key paths -----------------------------------------------------------

TEST_F(RegistryLibraryTest, RootKeyFromNameKnowsExactlyTheSevenRoots) {
    struct Case {
        const char* name;
        os::HKEY root;
    };
    const Case cases[] = {
        {"HKEY_CLASSES_ROOT", 0x80000000},  {"HKEY_CURRENT_USER", 0x80000001},
        {"HKEY_LOCAL_MACHINE", 0x80000002}, {"HKEY_USERS", 0x80000003},
        {"HKEY_PERFORMANCE_DATA", 0x80000004}, {"HKEY_CURRENT_CONFIG", 0x80000005},
        {"HKEY_DYN_DATA", 0x80000006},      {"hkey_current_user", 0},
        {"HKEY_CURRENT_USER ", 0},          {"HKCU", 0},
        {"", 0},                            {"HKEY_CURRENT_USER\\Software", 0},
    };
    for (const Case& c : cases) {
        const std::string name = c.name;
        EXPECT_EQ(reg::RootKeyFromName(name), c.root) << c.name;
        EXPECT_EQ(name, c.name);
    }
}

TEST_F(RegistryLibraryTest, SplitKeyPathCutsAtTheFirstBackslash) {
    struct Case {
        const char* path;
        os::HKEY root;
        const char* subkey;
    };
    const Case cases[] = {
        {"HKEY_CURRENT_USER\\Software\\Quillmoss\\Pixometer\\Window Position", 0x80000001,
         "Software\\Quillmoss\\Pixometer\\Window Position"},
        {"HKEY_LOCAL_MACHINE", 0x80000002, ""},
        {"HKEY_current_user\\Software", 0, "Software"},  // passes the check, names no root
        {"HKEY_CURRENT_USER\\\\Software", 0x80000001, "\\Software"},
        {"HKEY_", 0, ""},
        {"HKEY_USERS\\a\\b\\c", 0x80000003, "a\\b\\c"},
    };
    for (const Case& c : cases) {
        std::string path = c.path;
        os::HKEY root = 0x1234;
        reg::SplitKeyPath(path, root);
        EXPECT_EQ(root, c.root) << c.path;
        EXPECT_EQ(path, c.subkey) << c.path;
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RegistryLibraryTest, SplitKeyPathRejectsMalformedPathsWithAMessage) {
    const char* paths[] = {"hkey_current_user\\Software", "HKEY_CURRENT_USER\\", "", "HKEY",
                           "HKE", "HKEY_USERS\\Software\\", "Software\\HKEY_CURRENT_USER"};
    std::vector<Box> expected;
    for (const char* bad : paths) {
        std::string path = bad;
        os::HKEY root = 0x1234;
        reg::SplitKeyPath(path, root);
        EXPECT_EQ(root, 0x1234u) << bad;
        EXPECT_EQ(path, bad);
        expected.push_back(FormatBox(bad));
    }
    EXPECT_EQ(Boxes(), expected);
}

// Every operation shows the format message for a malformed path, leaves the
// path alone and makes no registry call (a pending fault stays pending).
TEST_F(RegistryLibraryTest, EveryOperationShowsTheFormatMessageAndCallsNothing) {
    const std::string bad = "hkey_current_user\\Software";
    using Operation = std::function<void(std::string&)>;
    const std::vector<std::pair<const char*, Operation>> operations = {
        {"EnsureKey", [](std::string& p) { reg::EnsureKey(p); }},
        {"WriteTextValue", [](std::string& p) { reg::WriteTextValue(p, "Left", "1"); }},
        {"ReadTextValue", [](std::string& p) { EXPECT_TRUE(reg::ReadTextValue(p, "Left").is_empty()); }},
        {"EnsureKeyWithMessage", [](std::string& p) { EXPECT_FALSE(reg::EnsureKeyWithMessage(p)); }},
        {"WriteTextValueWithMessage",
         [](std::string& p) { EXPECT_FALSE(reg::WriteTextValueWithMessage(p, "Left", "1")); }},
        {"ReadTextValueWithMessage",
         [](std::string& p) { EXPECT_EQ(reg::ReadTextValueWithMessage(p, "Left"), "REGISTRY_ERROR"); }},
        {"RemoveKey", [](std::string& p) { EXPECT_FALSE(reg::RemoveKey(p)); }},
    };
    for (const auto& [name, operation] : operations) {
        sim::Reset();
        regstore::UseMemoryStore();
        for (const char* call : {"RegCreateKeyA", "RegOpenKeyExA"}) regstore::InjectFault(call, 1013);
        std::string path = bad;
        operation(path);
        EXPECT_EQ(path, bad) << name;
        EXPECT_EQ(Boxes(), std::vector<Box>{FormatBox(bad)}) << name;
        os::HKEY key = 0;
        EXPECT_EQ(os::RegCreateKeyA(reg::kCurrentUser, "x", &key), 1013) << name;
        EXPECT_EQ(os::RegOpenKeyExA(reg::kCurrentUser, "", 0, 0x20019, &key), 1013) << name;
    }
}

TEST_F(RegistryLibraryTest, EveryOperationHandsBackTheSubkeyPath) {
    Ensure();
    Write("Left", "1");
    const std::string subkey = "Software\\Quillmoss\\Pixometer\\Window Position";
    using Operation = std::function<void(std::string&)>;
    const std::vector<Operation> operations = {
        [](std::string& p) { reg::EnsureKey(p); },
        [](std::string& p) { reg::WriteTextValue(p, "Left", "2"); },
        [](std::string& p) { reg::ReadTextValue(p, "Left"); },
        [](std::string& p) { reg::EnsureKeyWithMessage(p); },
        [](std::string& p) { reg::WriteTextValueWithMessage(p, "Left", "3"); },
        [](std::string& p) { reg::ReadTextValueWithMessage(p, "Left"); },
        [](std::string& p) { reg::RemoveKey(p); },
    };
    for (std::size_t i = 0; i < operations.size(); ++i) {
        std::string path = kWindowKey;
        operations[i](path);
        EXPECT_EQ(path, subkey) << "operation " << i;
    }
    EXPECT_TRUE(Boxes().empty());
}

// ---- Quiet operations ----------------------------------------------------

TEST_F(RegistryLibraryTest, EnsureWriteReadRoundTrip) {
    Ensure();
    Write("Left", "1234");
    reg::ReadResult read = Read("Left");
    EXPECT_FALSE(read.is_empty());
    EXPECT_EQ(read.text(), "1234");
    EXPECT_EQ(read.number(), 1234);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RegistryLibraryTest, EnsureKeyCreatesMissingParentsAndKeepsValues) {
    Ensure();
    Write("Left", "-300");
    Ensure();  // opening an existing key changes nothing
    EXPECT_EQ(Read("Left").text(), "-300");
    os::HKEY key = 0;
    ASSERT_EQ(os::RegOpenKeyExA(reg::kCurrentUser, "Software\\Quillmoss", 0, 0x20019, &key), 0);
    os::RegCloseKey(key);
}

TEST_F(RegistryLibraryTest, WriteIntoAMissingKeyWritesNothingAndShowsNothing) {
    Write("Left", "1234");
    EXPECT_EQ(Read("Left").text(), "Error");
    Ensure();
    EXPECT_EQ(Read("Left").text(), "Error");
    Write("Left", "1234");
    EXPECT_EQ(Read("Left").text(), "1234");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RegistryLibraryTest, WriteStoresTheCharactersAsTextWithoutANul) {
    Ensure();
    Write("Left", "1785");
    os::HKEY key = 0;
    ASSERT_EQ(os::RegOpenKeyExA(reg::kCurrentUser, "Software\\Quillmoss\\Pixometer\\Window Position", 0,
                                0x20019, &key), 0);
    os::DWORD type = 0;
    os::DWORD size = 0;
    EXPECT_EQ(os::RegQueryValueExA(key, "Left", nullptr, &type, nullptr, &size), 0);
    EXPECT_EQ(type, 1u);
    EXPECT_EQ(size, 4u);
    os::RegCloseKey(key);
}

TEST_F(RegistryLibraryTest, ReadFailuresGiveErrorOrEmptyAndShowNothing) {
    Ensure();
    EXPECT_EQ(Read("Missing").text(), "Error");
    EXPECT_EQ(Read("Left", kPixometer + "\\No Such Key").text(), "Error");
    reg::ReadResult unknown_root = Read("Left", "HKEY_current_user\\Software");
    EXPECT_TRUE(unknown_root.is_empty());
    EXPECT_EQ(unknown_root.text(), "");
    EXPECT_EQ(unknown_root.number(), 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_THROW(Read("Missing").number(), forms::RuntimeError);  // "Error" is no number
}

// What a stored text reads back as, through both read operations.
TEST_F(RegistryLibraryTest, ReadTrimsAndCutsAsTheBufferDictates) {
    struct Case {
        const char* label;
        std::string stored;
        std::string quiet;
        std::string reporting;
    };
    const std::string a254(254, 'a');
    const std::string a255(255, 'a');
    const std::string five_then_spaces = "12345" + std::string(250, ' ');
    const Case cases[] = {
        {"254 characters", a254, a254, a254},
        {"255 characters: no room for the NUL", a255, a254, a254},
        {"256 characters: more data", a255 + "a", "Error", "REGISTRY_ERROR"},
        {"leading spaces", "   1234", "1234", "1234"},
        {"trailing spaces", "1234   ", "1234   ", "1234   "},
        {"both", "  12  ", "12  ", "12  "},
        {"empty text", "", "", ""},
        {"255 with trailing spaces", five_then_spaces, "1234", "1234"},
        {"tab is not trimmed", "\t7\t", "\t7\t", "\t7\t"},
    };
    Ensure();
    for (const Case& c : cases) {
        Write("Value", c.stored);
        EXPECT_EQ(Read("Value").text(), c.quiet) << c.label;
        EXPECT_EQ(ReadReporting("Value"), c.reporting) << c.label;
    }
    const Box more_data{"There is more data than the buffer has been allocated to hold.",
                        "Registry Query Error", kCriticalBox};
    EXPECT_EQ(Boxes(), std::vector<Box>{more_data});
}

TEST_F(RegistryLibraryTest, AValueOfExactly255SpacesIsAnInvalidArgumentForBothReads) {
    Ensure();
    Write("Spaces", std::string(255, ' '));
    for (int reporting = 0; reporting < 2; ++reporting) {
        try {
            if (reporting) ReadReporting("Spaces");
            else Read("Spaces");
            ADD_FAILURE() << "no error raised, reporting " << reporting;
        } catch (const forms::RuntimeError& error) {
            EXPECT_EQ(error.number(), forms::kErrInvalidCall);
        }
    }
    // Under the resume-next rule the failing statement is simply abandoned.
    std::int32_t position = 77;
    forms::ResumeNext([&] { position = Read("Spaces").number(); });
    EXPECT_EQ(position, 77);
    EXPECT_TRUE(Boxes().empty());
}

// One failing call during ensure, write and read of "6" over a stored "5".
TEST_F(RegistryLibraryTest, QuietOperationsStaySilentWhenTheRegistryFails) {
    struct Case {
        const char* call;
        os::LSTATUS status;
        const char* read;
    };
    const Case cases[] = {
        {"RegCreateKeyA", 5, "6"},        // the key is there anyway
        {"RegOpenKeyExA", 1015, "5"},     // the write could not open the key
        {"RegSetValueExA", 1013, "5"},
        {"RegQueryValueExA", 1012, "Error"},
    };
    for (const Case& c : cases) {
        Ensure();
        Write("Left", "5");
        regstore::InjectFault(c.call, c.status);
        Ensure();
        Write("Left", "6");
        EXPECT_EQ(Read("Left").text(), c.read) << c.call;
        regstore::ClearFaults();
        EXPECT_EQ(regstore::OpenKeyCount(), 0) << c.call;
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RegistryLibraryTest, InjectedQueryFaultMakesTheQuietReadAnError) {
    Ensure();
    Write("Left", "5");
    regstore::InjectFault("RegQueryValueExA", 1012);
    EXPECT_EQ(Read("Left").text(), "Error");
    regstore::InjectFault("RegOpenKeyExA", 1015);
    EXPECT_EQ(Read("Left").text(), "Error");
    EXPECT_EQ(Read("Left").text(), "5");
}

// ---- Reporting operations ------------------------------------------------

TEST_F(RegistryLibraryTest, ReportingOperationsSucceedQuietly) {
    std::string path = kWindowKey;
    EXPECT_TRUE(reg::EnsureKeyWithMessage(path));
    path = kWindowKey;
    EXPECT_TRUE(reg::WriteTextValueWithMessage(path, "Top", "-300"));
    EXPECT_EQ(ReadReporting("Top"), "-300");
    EXPECT_EQ(Read("Top").text(), "-300");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RegistryLibraryTest, ReportingOperationsShowTheStatusTextUnderTheirTitle) {
    struct Case {
        const char* label;
        std::function<void()> run;  // checks its own result
        Box box;
    };
    const std::string missing = kPixometer + "\\Missing";
    const Case cases[] = {
        {"create fails",
         [] {
             regstore::InjectFault("RegCreateKeyA", 5);
             std::string p = kWindowKey;
             EXPECT_FALSE(reg::EnsureKeyWithMessage(p));
         },
         {"Access to this key is denied", "Pixometer", kCriticalBox}},
        {"write into a missing key",
         [&] {
             std::string p = missing;
             EXPECT_FALSE(reg::WriteTextValueWithMessage(p, "Left", "1"));
         },
         {"Bad Key Name", "Registry Open Error", kCriticalBox}},
        {"write fails",
         [] {
             regstore::InjectFault("RegSetValueExA", 1013);
             std::string p = kWindowKey;
             EXPECT_FALSE(reg::WriteTextValueWithMessage(p, "Left", "1"));
         },
         {"Can't Write Key", "Registry Write Error", kCriticalBox}},
        {"read from a missing key",
         [&] { EXPECT_EQ(ReadReporting("Left", missing), "REGISTRY_ERROR"); },
         {"Bad Key Name", "Registry Open Error", kCriticalBox}},
        {"read a missing value",
         [] { EXPECT_EQ(ReadReporting("Missing"), "REGISTRY_ERROR"); },
         {"Bad Key Name", "Registry Query Error", kCriticalBox}},
        {"open fails on a corrupt store",
         [] {
             regstore::InjectFault("RegOpenKeyExA", 1015);
             EXPECT_EQ(ReadReporting("Left"), "REGISTRY_ERROR");
         },
         {"The Registry Database is corrupt!", "Registry Open Error", kCriticalBox}},
        {"query fails with an unlisted status",
         [] {
             regstore::InjectFault("RegQueryValueExA", 6);
             EXPECT_EQ(ReadReporting("Left"), "REGISTRY_ERROR");
         },
         {"Undefined Error Code:   6", "Registry Query Error", kCriticalBox}},
    };
    for (const Case& c : cases) {
        sim::Reset();
        regstore::UseMemoryStore();
        Ensure();
        Write("Left", "1");
        c.run();
        EXPECT_EQ(Boxes(), std::vector<Box>{c.box}) << c.label;
        EXPECT_EQ(regstore::OpenKeyCount(), 0) << c.label;
        regstore::ClearFaults();
    }
}

TEST_F(RegistryLibraryTest, UnknownRootFailsTheReportingOperationsSilently) {
    std::string path = "HKEY_current_user\\Software";
    EXPECT_FALSE(reg::EnsureKeyWithMessage(path));
    path = "HKEY_current_user\\Software";
    EXPECT_FALSE(reg::WriteTextValueWithMessage(path, "Left", "1"));
    EXPECT_EQ(ReadReporting("Left", "HKEY_current_user\\Software"), "REGISTRY_ERROR");
    path = "HKEY_current_user\\Software";
    EXPECT_FALSE(reg::RemoveKey(path));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RegistryLibraryTest, SuppressNextMessageSilencesOneReportingOperation) {
    const std::string missing = kPixometer + "\\Missing";
    reg::SuppressNextMessage = true;
    EXPECT_EQ(ReadReporting("Left", missing), "REGISTRY_ERROR");
    EXPECT_FALSE(reg::SuppressNextMessage);
    EXPECT_TRUE(Boxes().empty());

    EXPECT_EQ(ReadReporting("Left", missing), "REGISTRY_ERROR");
    EXPECT_EQ(Boxes().size(), 1u);

    // Any reporting operation clears it, even one that succeeds or shows nothing.
    using Operation = std::function<void()>;
    const Operation clearers[] = {
        [] { std::string p = kWindowKey; reg::EnsureKeyWithMessage(p); },
        [] { std::string p = kWindowKey; reg::WriteTextValueWithMessage(p, "Left", "1"); },
        [] { ReadReporting("Left"); },
        [] { std::string p = kPixometer + "\\Missing"; reg::RemoveKey(p); },
        [] { ReadReporting("Left", "HKEY_current_user\\x"); },
    };
    for (const Operation& clear : clearers) {
        reg::SuppressNextMessage = true;
        clear();
        EXPECT_FALSE(reg::SuppressNextMessage);
    }
    // The quiet operations neither read nor change it.
    reg::SuppressNextMessage = true;
    Ensure();
    Write("Left", "2");
    Read("Left");
    EXPECT_TRUE(reg::SuppressNextMessage);
}

TEST_F(RegistryLibraryTest, SuppressNextMessageIsClearedEvenWhenTheReadThrows) {
    Ensure();
    Write("Spaces", std::string(255, ' '));
    reg::SuppressNextMessage = true;
    EXPECT_THROW(ReadReporting("Spaces"), forms::RuntimeError);
    EXPECT_FALSE(reg::SuppressNextMessage);
}

TEST_F(RegistryLibraryTest, RemoveKeyDeletesLeavesOnlyAndNeverShowsAMessage) {
    Ensure(kWindowKey + "\\Child");
    std::string path = kWindowKey;
    EXPECT_FALSE(reg::RemoveKey(path));  // has a subkey
    path = kWindowKey + "\\Child";
    EXPECT_TRUE(reg::RemoveKey(path));
    EXPECT_EQ(Read("Left", kWindowKey + "\\Child").text(), "Error");
    path = kWindowKey + "\\Child";
    EXPECT_FALSE(reg::RemoveKey(path));  // already gone
    path = kWindowKey;
    EXPECT_TRUE(reg::RemoveKey(path));
    regstore::InjectFault("RegDeleteKeyA", 5);
    path = kPixometer;
    EXPECT_FALSE(reg::RemoveKey(path));
    path = kPixometer;
    EXPECT_TRUE(reg::RemoveKey(path));  // it was still there
    EXPECT_TRUE(Boxes().empty());
}

// ---- Status texts --------------------------------------------------------

TEST_F(RegistryLibraryTest, RegistryErrorTextTable) {
    struct Case {
        os::LSTATUS code;
        const char* text;
    };
    const Case cases[] = {
        {1009, "The Registry Database is corrupt!"},
        {1015, "The Registry Database is corrupt!"},
        {2, "Bad Key Name"},
        {1010, "Bad Key Name"},
        {1011, "Can't Open Key"},
        {4, "Can't Read Key"},
        {1012, "Can't Read Key"},
        {5, "Access to this key is denied"},
        {1013, "Can't Write Key"},
        {8, "Out of memory"},
        {14, "Out of memory"},
        {87, "Invalid Parameter"},
        {234, "There is more data than the buffer has been allocated to hold."},
        {6, "Undefined Error Code:   6"},
        {0, "Undefined Error Code:   0"},
        {-1, "Undefined Error Code:  -1"},
        {161, "Undefined Error Code:   161"},
        {1018, "Undefined Error Code:   1018"},
        {INT_MAX, "Undefined Error Code:   2147483647"},
        {INT_MIN, "Undefined Error Code:  -2147483648"},
    };
    for (const Case& c : cases) {
        const os::LSTATUS code = c.code;
        EXPECT_EQ(reg::RegistryErrorText(code), c.text) << c.code;
    }
    EXPECT_TRUE(Boxes().empty());
}

}  // namespace
