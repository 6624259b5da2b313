// The registry calls' semantics, run against the memory store and the file
// store alike: both must answer as the Windows registry does.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <set>

#include "platform/regstore/regstore.h"
#include "store_test_support.h"

namespace {

using namespace storetest;
using os::DWORD;
using os::HKEY;
using os::LSTATUS;

constexpr HKEY kClassesRoot = 0x80000000;
constexpr HKEY kLocalMachine = 0x80000002;
constexpr HKEY kUsers = 0x80000003;
constexpr HKEY kPerformanceData = 0x80000004;
constexpr HKEY kCurrentConfig = 0x80000005;
constexpr HKEY kDynData = 0x80000006;
constexpr DWORD kRegBinary = 3;
constexpr std::uint8_t kPoison = 0xCD;

enum class StoreKind { Memory, File };

class RegistrySemantics : public ::testing::TestWithParam<StoreKind> {
protected:
    void SetUp() override {
        regstore::ClearFaults();
        if (GetParam() == StoreKind::File) {
            m_folder = std::make_unique<TempFolder>();
            regstore::UseFileStore(m_folder->path() + "/pixometer/registry.sqlite3");
        } else {
            regstore::UseMemoryStore();
        }
    }
    void TearDown() override {
        regstore::ClearFaults();
        regstore::UseMemoryStore();  // lets go of the file before it is removed
        m_folder.reset();
    }

    HKEY create(const char* path) {
        HKEY key = 0;
        EXPECT_EQ(os::RegCreateKeyA(kCurrentUser, path, &key), 0) << path;
        return key;
    }
    LSTATUS open(const char* path, HKEY* key, DWORD access = kKeyRead) {
        return os::RegOpenKeyExA(kCurrentUser, path, 0, access, key);
    }
    LSTATUS exists(const char* path) {
        HKEY key = 0;
        LSTATUS status = open(path, &key);
        if (status == 0) os::RegCloseKey(key);
        return status;
    }

private:
    std::unique_ptr<TempFolder> m_folder;
};

TEST_P(RegistrySemantics, CreateMakesMissingParentsAndOpensExistingKeys) {
    HKEY first = create("Software\\Quillmoss\\Pixometer");
    EXPECT_EQ(exists("Software"), 0);
    EXPECT_EQ(exists("Software\\Quillmoss"), 0);
    ASSERT_EQ(SetText(first, "Left", "1785"), 0);

    HKEY again = create("Software\\Quillmoss\\Pixometer");
    EXPECT_NE(again, first);
    LSTATUS status = 0;
    EXPECT_EQ(ReadText("Software\\Quillmoss\\Pixometer", "Left", &status), "1785");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(os::RegCloseKey(first), 0);
    EXPECT_EQ(os::RegCloseKey(again), 0);
}

TEST_P(RegistrySemantics, NamesAreCaseInsensitive) {
    ASSERT_EQ(WriteText("Software\\Quillmoss", "Left", "1"), 0);
    struct Case {
        const char* path;
        const char* name;
    };
    for (const Case& c : {Case{"SOFTWARE\\QUILLMOSS", "LEFT"}, Case{"software\\quillmoss", "left"},
                          Case{"sOfTwArE\\qUiLlMoSs", "lEfT"}}) {
        LSTATUS status = -1;
        EXPECT_EQ(ReadText(c.path, c.name, &status), "1") << c.path << " " << c.name;
        EXPECT_EQ(status, 0) << c.path << " " << c.name;
    }
    // Writing under another spelling replaces the value instead of adding one.
    ASSERT_EQ(WriteText("software\\QUILLMOSS", "LEFT", "2"), 0);
    LSTATUS status = -1;
    EXPECT_EQ(ReadText("Software\\Quillmoss", "Left", &status), "2");
    // Only ASCII letters fold; other bytes must match exactly.
    EXPECT_EQ(exists("Software\\Quillmoss\\x"), 2);
}

TEST_P(RegistrySemantics, EmptySubkeyOpensThePredefinedRootItself) {
    for (const char* subkey : {static_cast<const char*>(nullptr), ""}) {
        HKEY key = 0;
        EXPECT_EQ(os::RegCreateKeyA(kCurrentUser, subkey, &key), 0);
        EXPECT_EQ(key, kCurrentUser);
        key = 0;
        EXPECT_EQ(os::RegOpenKeyExA(kCurrentUser, subkey, 0, kKeyRead, &key), 0);
        EXPECT_EQ(key, kCurrentUser);
    }
    ASSERT_EQ(SetText(kCurrentUser, "AtRoot", "r"), 0);
    LSTATUS status = -1;
    EXPECT_EQ(ReadText("", "AtRoot", &status), "r");
    EXPECT_EQ(os::RegCloseKey(kCurrentUser), 0);  // closing a root is allowed and changes nothing
    EXPECT_EQ(ReadText("", "AtRoot", &status), "r");
}

TEST_P(RegistrySemantics, OpenWithEmptySubkeyOnAKeyGivesAFreshHandle) {
    HKEY parent = create("A");
    HKEY same = 0;
    ASSERT_EQ(os::RegOpenKeyExA(parent, "", 0, kKeyRead, &same), 0);
    EXPECT_NE(same, parent);
    ASSERT_EQ(os::RegCloseKey(parent), 0);
    ASSERT_EQ(SetText(same, "v", "x"), 5);  // opened for reading only
    EXPECT_EQ(os::RegCloseKey(same), 0);
}

TEST_P(RegistrySemantics, MissingKeyOrValueAnswersNotFoundAndLeavesOutputsAlone) {
    HKEY key = 0x1234;
    EXPECT_EQ(open("Nowhere\\Deeper", &key), 2);
    EXPECT_EQ(key, 0u);  // never a handle that could be closed by mistake
    EXPECT_EQ(exists("Nowhere"), 2);

    HKEY existing = create("Here");
    DWORD type = 77;
    std::array<std::uint8_t, 8> buffer;
    buffer.fill(kPoison);
    DWORD size = buffer.size();
    EXPECT_EQ(os::RegQueryValueExA(existing, "Missing", nullptr, &type, buffer.data(), &size), 2);
    EXPECT_EQ(type, 77u);
    EXPECT_EQ(size, buffer.size());
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == kPoison; }));
    os::RegCloseKey(existing);
}

// One value "abc" read into buffers of several sizes.
TEST_P(RegistrySemantics, QueryCopiesWhatFitsAndAddsANulWhenThereIsRoom) {
    HKEY key = create("Buffers");
    ASSERT_EQ(SetText(key, "Text", "abc"), 0);
    struct Case {
        DWORD room;
        LSTATUS status;
        const char* expected;  // the buffer afterwards, '#' = untouched
    };
    const Case cases[] = {
        {0, 234, "######"},
        {2, 234, "######"},
        {3, 0, "abc###"},  // exactly the data: no room for a NUL, none written
        {4, 0, "abc\0##"},
        {6, 0, "abc\0##"},
    };
    for (const Case& c : cases) {
        std::array<std::uint8_t, 6> buffer;
        buffer.fill('#');
        DWORD size = c.room;
        DWORD type = 0;
        EXPECT_EQ(os::RegQueryValueExA(key, "Text", nullptr, &type, buffer.data(), &size), c.status)
            << "room " << c.room;
        EXPECT_EQ(size, 3u) << "room " << c.room;  // what is needed, or what was copied
        EXPECT_EQ(type, kRegSz) << "room " << c.room;
        EXPECT_EQ(std::memcmp(buffer.data(), c.expected, buffer.size()), 0) << "room " << c.room;
    }
    os::RegCloseKey(key);
}

TEST_P(RegistrySemantics, QueryReportsTheStoredTypeAndSizeWithoutABuffer) {
    HKEY key = create("Types");
    const std::uint8_t bytes[] = {0, 1, 2, 0xFF, 0};
    ASSERT_EQ(os::RegSetValueExA(key, "Bin", 0, kRegBinary, bytes, sizeof bytes), 0);
    ASSERT_EQ(SetText(key, "Empty", ""), 0);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(os::RegQueryValueExA(key, "Bin", nullptr, &type, nullptr, &size), 0);
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(size, sizeof bytes);
    std::array<std::uint8_t, 8> buffer;
    buffer.fill(kPoison);
    size = buffer.size();
    ASSERT_EQ(os::RegQueryValueExA(key, "Bin", nullptr, nullptr, buffer.data(), &size), 0);
    EXPECT_EQ(std::memcmp(buffer.data(), bytes, sizeof bytes), 0);

    buffer.fill(kPoison);
    size = buffer.size();
    ASSERT_EQ(os::RegQueryValueExA(key, "Empty", nullptr, &type, buffer.data(), &size), 0);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], kPoison);
    os::RegCloseKey(key);
}

TEST_P(RegistrySemantics, RewritingAValueReplacesDataAndType) {
    HKEY key = create("Rewrite");
    ASSERT_EQ(SetText(key, "V", "long text"), 0);
    const std::uint8_t bytes[] = {9};
    ASSERT_EQ(os::RegSetValueExA(key, "v", 0, kRegBinary, bytes, 1), 0);
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(os::RegQueryValueExA(key, "V", nullptr, &type, nullptr, &size), 0);
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(size, 1u);
    os::RegCloseKey(key);
}

TEST_P(RegistrySemantics, ValuesBelongToTheirOwnKey) {
    ASSERT_EQ(WriteText("One", "Left", "1"), 0);
    ASSERT_EQ(WriteText("One\\Two", "Left", "2"), 0);
    LSTATUS status = -1;
    EXPECT_EQ(ReadText("One", "Left", &status), "1");
    EXPECT_EQ(ReadText("One\\Two", "Left", &status), "2");
    ReadText("", "Left", &status);
    EXPECT_EQ(status, 2);
}

TEST_P(RegistrySemantics, DeleteRemovesOnlyKeysWithoutSubkeys) {
    ASSERT_EQ(WriteText("Parent\\Child", "v", "x"), 0);
    EXPECT_EQ(os::RegDeleteKeyA(kCurrentUser, "Parent"), 5);
    EXPECT_EQ(exists("Parent\\Child"), 0);

    EXPECT_EQ(os::RegDeleteKeyA(kCurrentUser, "PARENT\\child"), 0);
    EXPECT_EQ(exists("Parent\\Child"), 2);
    EXPECT_EQ(os::RegDeleteKeyA(kCurrentUser, "Parent\\Child"), 2);
    EXPECT_EQ(os::RegDeleteKeyA(kCurrentUser, "Parent"), 0);
    EXPECT_EQ(exists("Parent"), 2);

    // A key made again under the old name starts empty.
    HKEY again = create("Parent\\Child");
    DWORD size = 0;
    EXPECT_EQ(os::RegQueryValueExA(again, "v", nullptr, nullptr, nullptr, &size), 2);
    os::RegCloseKey(again);
}

TEST_P(RegistrySemantics, DeleteRelativeToAHandleAndOfTheHandlesOwnKey) {
    HKEY parent = create("Rel\\Leaf");
    os::RegCloseKey(parent);
    ASSERT_EQ(os::RegOpenKeyExA(kCurrentUser, "Rel", 0, kKeyWrite, &parent), 0);
    EXPECT_EQ(os::RegDeleteKeyA(parent, "Leaf"), 0);
    EXPECT_EQ(exists("Rel\\Leaf"), 2);
    EXPECT_EQ(os::RegDeleteKeyA(parent, nullptr), 87);
    EXPECT_EQ(os::RegDeleteKeyA(parent, ""), 0);  // the key the handle names
    EXPECT_EQ(exists("Rel"), 2);
    EXPECT_EQ(os::RegCloseKey(parent), 0);
    EXPECT_EQ(os::RegDeleteKeyA(kCurrentUser, ""), 5);  // a root cannot go
}

TEST_P(RegistrySemantics, AHandleToADeletedKeyAnswersKeyDeleted) {
    HKEY key = create("Doomed");
    ASSERT_EQ(os::RegDeleteKeyA(kCurrentUser, "Doomed"), 0);
    EXPECT_EQ(SetText(key, "v", "x"), 1018);
    DWORD size = 0;
    EXPECT_EQ(os::RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), 1018);
    HKEY child = 0;
    EXPECT_EQ(os::RegCreateKeyA(key, "Child", &child), 1018);
    EXPECT_EQ(exists("Doomed"), 2);  // nothing came back to life
    EXPECT_EQ(os::RegCloseKey(key), 0);
}

TEST_P(RegistrySemantics, ClosedAndUnknownHandlesAreInvalid) {
    HKEY key = create("Closed");
    ASSERT_EQ(os::RegCloseKey(key), 0);
    for (HKEY bad : {key, HKEY{0}, HKEY{12345}, kPerformanceData, kDynData, HKEY{0x80000007}}) {
        HKEY out = 0;
        DWORD size = 0;
        EXPECT_EQ(os::RegCloseKey(bad), 6) << bad;
        EXPECT_EQ(os::RegCreateKeyA(bad, "x", &out), 6) << bad;
        EXPECT_EQ(os::RegOpenKeyExA(bad, "", 0, kKeyRead, &out), 6) << bad;
        EXPECT_EQ(SetText(bad, "v", "x"), 6) << bad;
        EXPECT_EQ(os::RegQueryValueExA(bad, "v", nullptr, nullptr, nullptr, &size), 6) << bad;
        EXPECT_EQ(os::RegDeleteKeyA(bad, "x"), 6) << bad;
    }
}

TEST_P(RegistrySemantics, OpenedHandlesAreDistinctAndNeverARoot) {
    std::set<HKEY> seen;
    for (int i = 0; i < 50; ++i) {
        HKEY key = create("Many");
        EXPECT_LT(key, 0x80000000u);
        EXPECT_NE(key, 0u);
        EXPECT_TRUE(seen.insert(key).second) << key;
    }
    EXPECT_EQ(regstore::OpenKeyCount(), 50);
    for (HKEY key : seen) EXPECT_EQ(os::RegCloseKey(key), 0);
    EXPECT_EQ(regstore::OpenKeyCount(), 0);
}

TEST_P(RegistrySemantics, OtherRootsAreEmptyHivesThatCannotBeWritten) {
    for (HKEY root : {kClassesRoot, kLocalMachine, kUsers, kCurrentConfig}) {
        HKEY key = 0;
        EXPECT_EQ(os::RegOpenKeyExA(root, "", 0, kKeyRead, &key), 0) << root;
        EXPECT_EQ(key, root);
        EXPECT_EQ(os::RegCreateKeyA(root, nullptr, &key), 0) << root;
        EXPECT_EQ(os::RegOpenKeyExA(root, "Software", 0, kKeyRead, &key), 2) << root;
        EXPECT_EQ(os::RegCreateKeyA(root, "Software", &key), 5) << root;
        EXPECT_EQ(SetText(root, "v", "x"), 5) << root;
        DWORD size = 0;
        EXPECT_EQ(os::RegQueryValueExA(root, "v", nullptr, nullptr, nullptr, &size), 2) << root;
        EXPECT_EQ(os::RegDeleteKeyA(root, "Software"), 2) << root;
        EXPECT_EQ(os::RegDeleteKeyA(root, ""), 5) << root;
        EXPECT_EQ(os::RegCloseKey(root), 0) << root;
    }
    // None of it reached the user's hive.
    EXPECT_EQ(exists("Software"), 2);
}

TEST_P(RegistrySemantics, AccessMaskLimitsWhatAHandleMayDo) {
    ASSERT_EQ(WriteText("Masked", "v", "x"), 0);
    HKEY reader = 0;
    HKEY writer = 0;
    ASSERT_EQ(open("Masked", &reader, kKeyRead), 0);
    ASSERT_EQ(open("Masked", &writer, kKeyWrite), 0);
    DWORD size = 0;
    EXPECT_EQ(SetText(reader, "v", "y"), 5);
    EXPECT_EQ(os::RegQueryValueExA(writer, "v", nullptr, nullptr, nullptr, &size), 5);
    EXPECT_EQ(SetText(writer, "v", "y"), 0);
    EXPECT_EQ(os::RegQueryValueExA(reader, "v", nullptr, nullptr, nullptr, &size), 0);
    EXPECT_EQ(size, 1u);
    os::RegCloseKey(reader);
    os::RegCloseKey(writer);
}

TEST_P(RegistrySemantics, MalformedSubkeyPathsAndArguments) {
    HKEY key = 0;
    struct Case {
        const char* path;
        LSTATUS status;
    };
    for (const Case& c : {Case{"\\Software", 161}, Case{"Software\\\\Quill", 161},
                          Case{"Software\\", 0}}) {
        EXPECT_EQ(os::RegCreateKeyA(kCurrentUser, c.path, &key), c.status) << c.path;
        if (key != 0) os::RegCloseKey(key);
    }
    EXPECT_EQ(exists("Software\\Quill"), 2);
    std::string long_name(256, 'k');
    EXPECT_EQ(os::RegCreateKeyA(kCurrentUser, long_name.c_str(), &key), 87);
    EXPECT_EQ(os::RegCreateKeyA(kCurrentUser, "Software", nullptr), 87);
    EXPECT_EQ(os::RegOpenKeyExA(kCurrentUser, "Software", 0, kKeyRead, nullptr), 87);
    EXPECT_EQ(os::RegSetValueExA(kCurrentUser, "v", 0, kRegSz, nullptr, 4), 998);
    DWORD reserved = 0;
    DWORD size = 0;
    std::uint8_t byte = 0;
    EXPECT_EQ(os::RegQueryValueExA(kCurrentUser, "v", &reserved, nullptr, nullptr, &size), 87);
    EXPECT_EQ(os::RegQueryValueExA(kCurrentUser, "v", nullptr, nullptr, &byte, nullptr), 87);
}

TEST_P(RegistrySemantics, InjectedFaultsAnswerForTheNextCallsOnly) {
    regstore::InjectFault("RegCreateKeyA", 1015, 2);
    HKEY key = 0;
    EXPECT_EQ(os::RegCreateKeyA(kCurrentUser, "Faulty", &key), 1015);
    EXPECT_EQ(os::RegCreateKeyA(kCurrentUser, "Faulty", &key), 1015);
    EXPECT_EQ(exists("Faulty"), 2);  // the store was never touched
    EXPECT_EQ(os::RegCreateKeyA(kCurrentUser, "Faulty", &key), 0);

    regstore::InjectFault("RegQueryValueExA", 5);
    ASSERT_EQ(SetText(key, "v", "x"), 0);
    DWORD size = 0;
    EXPECT_EQ(os::RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), 5);
    EXPECT_EQ(os::RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), 0);

    regstore::InjectFault("RegSetValueExA", 1013, 3);
    regstore::ClearFaults();
    EXPECT_EQ(SetText(key, "v", "y"), 0);
    EXPECT_EQ(os::RegCloseKey(key), 0);
}

INSTANTIATE_TEST_SUITE_P(Stores, RegistrySemantics,
                         ::testing::Values(StoreKind::Memory, StoreKind::File),
                         [](const auto& param_info) { return param_info.param == StoreKind::Memory ? "Memory" : "File"; });

}  // namespace
