// The per-user store on real files: where it lives, what it creates and when,
// file permissions, two processes at once, and files it must not touch.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "platform/regstore/regstore.h"
#include "platform/regstore/sqlite_library.h"
#include "store_test_support.h"

namespace {

using namespace storetest;
using os::DWORD;
using os::HKEY;
using os::LSTATUS;

class FileStore : public ::testing::Test {
protected:
    void SetUp() override {
        regstore::ClearFaults();
        m_file = m_root.path() + "/config/pixometer/registry.sqlite3";
        m_folder = m_root.path() + "/config/pixometer";
        regstore::UseFileStore(m_file);
    }
    void TearDown() override { regstore::UseMemoryStore(); }

    static int Mode(const std::string& path) {
        struct stat info {};
        return stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
    }

    TempFolder m_root;
    std::string m_file;
    std::string m_folder;
};

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        m_had = std::getenv(name) != nullptr;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_had) setenv(m_name, m_old.c_str(), 1);
        else unsetenv(m_name);
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

TEST(DefaultPath, FollowsXdgConfigHomeAndFallsBackToHome) {
    struct Case {
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/x/cfg", "/h", "/x/cfg/pixometer/registry.sqlite3"},
        {nullptr, "/h", "/h/.config/pixometer/registry.sqlite3"},
        {"", "/h", "/h/.config/pixometer/registry.sqlite3"},
        {"relative/cfg", "/h", "/h/.config/pixometer/registry.sqlite3"},  // relative: ignored
    };
    for (const Case& c : cases) {
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(regstore::DefaultPath(), c.expected) << (c.xdg ? c.xdg : "(unset)");
    }
}

// Until a store is chosen, the calls use the file at DefaultPath(), made by
// the first write. Only a fresh process has no store chosen yet; the check
// runs in one (which runs this test from its start, with a folder of its own).
TEST(DefaultStore, IsTheFileAtTheDefaultPathMadeByTheFirstWrite) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempFolder folder;
    ScopedEnv xdg("XDG_CONFIG_HOME", folder.path().c_str());
    EXPECT_EXIT(
        {
            const std::string file = folder.path() + "/pixometer/registry.sqlite3";
            LSTATUS read_status = -1;
            ReadText("Software", "Left", &read_status);
            bool made_by_read = std::filesystem::exists(file);
            LSTATUS write_status = WriteText("Software", "Left", "1785");
            bool ok = read_status == 2 && !made_by_read && write_status == 0 &&
                      std::filesystem::exists(file) && regstore::DefaultPath() == file;
            regstore::UseMemoryStore();
            std::filesystem::remove_all(folder.path());  // exit() skips the destructors
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FileStore, ValuesSurviveReopeningTheStore) {
    ASSERT_EQ(WriteText("Software\\Quillmoss\\Pixometer\\Window Position", "Left", "1785"), 0);
    ASSERT_EQ(WriteText("Software\\Quillmoss\\Pixometer\\Window Position", "Top", "-300"), 0);
    regstore::UseMemoryStore();
    regstore::UseFileStore(m_file);
    LSTATUS status = -1;
    EXPECT_EQ(ReadText("software\\quillmoss\\pixometer\\window position", "LEFT", &status), "1785");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadText("Software\\Quillmoss\\Pixometer\\Window Position", "Top", &status), "-300");
    EXPECT_EQ(status, 0);
}

// SQLite stays loaded only while a key is open; loading it again each time
// must neither lose values nor leak what SQLite sets up for itself (the
// sanitizer build checks the second).
TEST_F(FileStore, TheLibraryIsHeldOnlyWhileAKeyIsOpen) {
    ASSERT_EQ(WriteText("Software\\Pixometer", "Left", "0"), 0);
    EXPECT_FALSE(regstore::SqliteLoaded());
    for (int i = 1; i <= 50; ++i) {
        HKEY key = 0;
        ASSERT_EQ(os::RegOpenKeyExA(kCurrentUser, "Software\\Pixometer", 0, kKeyRead | kKeyWrite, &key), 0);
        EXPECT_TRUE(regstore::SqliteLoaded());
        ASSERT_EQ(SetText(key, "Left", std::to_string(i)), 0);
        ASSERT_EQ(os::RegCloseKey(key), 0);
        EXPECT_FALSE(regstore::SqliteLoaded());
    }
    LSTATUS status = -1;
    EXPECT_EQ(ReadText("Software\\Pixometer", "Left", &status), "50");
    EXPECT_EQ(status, 0);
    // A failed open holds nothing either.
    HKEY missing = 0;
    EXPECT_EQ(os::RegOpenKeyExA(kCurrentUser, "Nowhere", 0, kKeyRead, &missing), 2);
    EXPECT_FALSE(regstore::SqliteLoaded());
}

// Without the library the calls answer an I/O failure and the file is left
// as it was; once the library is back, every value is still there.
TEST_F(FileStore, AMissingLibraryFailsTheCallsAndLosesNothing) {
    ASSERT_EQ(WriteText("Software", "Left", "12"), 0);
    const std::vector<char> before = ReadBytes(m_file);
    regstore::SetSqliteLibraryName("libpixometer-no-such-library.so");
    LSTATUS status = -1;
    ReadText("Software", "Left", &status);
    EXPECT_EQ(status, 1016);
    EXPECT_EQ(WriteText("Software", "Left", "99"), 1016);
    EXPECT_FALSE(regstore::SqliteLoaded());
    regstore::SetSqliteLibraryName("libsqlite3.so.0");
    EXPECT_EQ(ReadBytes(m_file), before);
    EXPECT_EQ(ReadText("Software", "Left", &status), "12");
    EXPECT_EQ(status, 0);
}

TEST_F(FileStore, ReadsCreateNothing) {
    HKEY key = 0;
    DWORD size = 0;
    EXPECT_EQ(os::RegOpenKeyExA(kCurrentUser, "Software", 0, kKeyRead, &key), 2);
    EXPECT_EQ(os::RegOpenKeyExA(kCurrentUser, "", 0, kKeyRead, &key), 0);
    EXPECT_EQ(os::RegQueryValueExA(kCurrentUser, "Left", nullptr, nullptr, nullptr, &size), 2);
    EXPECT_EQ(os::RegDeleteKeyA(kCurrentUser, "Software"), 2);
    EXPECT_FALSE(std::filesystem::exists(m_root.path() + "/config"));

    ASSERT_EQ(WriteText("Software", "Left", "1"), 0);
    EXPECT_TRUE(std::filesystem::exists(m_file));
}

TEST_F(FileStore, FileIsPrivateToTheUserWhateverTheUmask) {
    mode_t old = umask(0);
    LSTATUS status = WriteText("Software", "Left", "1");
    umask(old);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(Mode(m_file), 0600);
    EXPECT_EQ(Mode(m_folder), 0700);
}

TEST_F(FileStore, AFailedFirstWriteLeavesAStoreThatStillWorks) {
    HKEY key = 0;
    ASSERT_EQ(os::RegCreateKeyA(kCurrentUser, "Gone", &key), 0);
    // A second handle deletes the key, so the first one's write fails and rolls back.
    ASSERT_EQ(os::RegDeleteKeyA(kCurrentUser, "Gone"), 0);
    EXPECT_EQ(SetText(key, "v", "x"), 1018);
    os::RegCloseKey(key);
    LSTATUS status = -1;
    ReadText("Gone", "v", &status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(WriteText("Kept", "v", "x"), 0);
    EXPECT_EQ(ReadText("Kept", "v", &status), "x");
}

TEST_F(FileStore, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kPerProcess = 150;
    regstore::UseMemoryStore();  // no connection may cross the fork
    auto writer = [&](int who) {
        return [&, who] {
            regstore::UseFileStore(m_file);
            std::vector<LSTATUS> failures;
            for (int i = 0; i < kPerProcess; ++i) {
                std::string name = "P" + std::to_string(who) + "_" + std::to_string(i);
                LSTATUS status = WriteText("Software\\Race", name.c_str(), std::to_string(i * 7));
                if (status != 0) failures.push_back(status);
            }
            return failures;
        };
    };
    std::vector<LSTATUS> first_failures;
    std::vector<LSTATUS> second_failures;
    pid_t second = fork();
    if (second == 0) {
        std::vector<LSTATUS> failures;
        _exit(RunInChild(false, writer(1), &failures) && failures.empty() ? 0 : 1);
    }
    ASSERT_TRUE(RunInChild(false, writer(0), &first_failures));
    int second_exit = 0;
    ASSERT_EQ(waitpid(second, &second_exit, 0), second);
    EXPECT_TRUE(WIFEXITED(second_exit) && WEXITSTATUS(second_exit) == 0);
    EXPECT_TRUE(first_failures.empty()) << "first status " << first_failures.front();

    regstore::UseFileStore(m_file);
    for (int who = 0; who < 2; ++who) {
        for (int i = 0; i < kPerProcess; ++i) {
            std::string name = "P" + std::to_string(who) + "_" + std::to_string(i);
            LSTATUS status = -1;
            EXPECT_EQ(ReadText("Software\\Race", name.c_str(), &status), std::to_string(i * 7)) << name;
        }
    }
}

// Files that are not this store: each call answers "corrupt", the file stays as it was.
class ForeignFile : public FileStore, public ::testing::WithParamInterface<const char*> {
protected:
    std::vector<char> make(const std::string& kind) {
        std::filesystem::create_directories(m_folder);
        std::vector<char> bytes;
        if (kind == "random") {
            std::mt19937 random(20261211);
            for (int i = 0; i < 8192; ++i) bytes.push_back(static_cast<char>(random() & 0xFF));
        } else if (kind == "text") {
            std::string text = "Left=1785\nTop=-300\n";
            bytes.assign(text.begin(), text.end());
        } else if (kind == "broken database") {
            std::string magic("SQLite format 3\0", 16);
            bytes.assign(magic.begin(), magic.end());
            std::mt19937 random(7);
            for (int i = 16; i < 8192; ++i) bytes.push_back(static_cast<char>(random() & 0xFF));
        } else {  // another program's database: a real store with someone else's application id
            EXPECT_EQ(WriteText("Software", "Left", "1"), 0);
            regstore::UseMemoryStore();
            bytes = ReadBytes(m_file);
            std::fill(bytes.begin() + 68, bytes.begin() + 72, '\0');
        }
        WriteBytes(m_file, bytes);
        regstore::UseFileStore(m_file);
        return bytes;
    }
};

TEST_P(ForeignFile, AnswersCorruptAndIsNeverWritten) {
    const std::vector<char> before = make(GetParam());
    HKEY key = 0;
    DWORD size = 0;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(os::RegCreateKeyA(kCurrentUser, "Software\\New", &key), 1015);
        EXPECT_EQ(os::RegOpenKeyExA(kCurrentUser, "Software", 0, kKeyRead, &key), 1015);
        EXPECT_EQ(SetText(kCurrentUser, "Left", "1"), 1015);
        EXPECT_EQ(os::RegQueryValueExA(kCurrentUser, "Left", nullptr, nullptr, nullptr, &size), 1015);
        EXPECT_EQ(os::RegDeleteKeyA(kCurrentUser, "Software"), 1015);
    }
    regstore::UseMemoryStore();
    EXPECT_EQ(ReadBytes(m_file), before);
    // Nothing beside it either: no journal that a later open could roll back into it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder),
                            std::filesystem::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ForeignFile,
                         ::testing::Values("random", "text", "broken database", "foreign database"),
                         [](const auto& param_info) {
                             std::string name = param_info.param;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

// Permissions do not hold back root, so the writes run as an ordinary user.
class ReadOnlyFolder : public FileStore {
protected:
    void hand_to_nobody() {
        if (geteuid() != 0) return;
        chmod(m_root.path().c_str(), 0755);
        for (auto& entry : std::filesystem::recursive_directory_iterator(m_root.path()))
            ASSERT_EQ(chown(entry.path().c_str(), 65534, 65534), 0);
    }
};

TEST_F(ReadOnlyFolder, WritesAnswerAccessDeniedAndReadsStillWork) {
    ASSERT_EQ(WriteText("Software", "Left", "1785"), 0);
    regstore::UseMemoryStore();
    hand_to_nobody();
    ASSERT_EQ(chmod(m_folder.c_str(), 0500), 0);
    const std::vector<char> before = ReadBytes(m_file);

    std::vector<LSTATUS> statuses;
    ASSERT_TRUE(RunInChild(true, [&] {
        regstore::UseFileStore(m_file);
        LSTATUS read_status = -1;
        std::string left = ReadText("Software", "Left", &read_status);
        HKEY key = 0;
        return std::vector<LSTATUS>{WriteText("Software", "Left", "1"),
                                    os::RegCreateKeyA(kCurrentUser, "Software\\New", &key),
                                    read_status, left == "1785" ? 0 : -1};
    }, &statuses));
    EXPECT_EQ(statuses, (std::vector<LSTATUS>{5, 5, 0, 0}));
    EXPECT_EQ(ReadBytes(m_file), before);
}

TEST_F(ReadOnlyFolder, AFirstWriteIntoAFolderThatCannotBeWrittenAnswersAccessDenied) {
    std::filesystem::create_directories(m_folder);
    hand_to_nobody();
    ASSERT_EQ(chmod(m_folder.c_str(), 0500), 0);
    std::vector<LSTATUS> statuses;
    ASSERT_TRUE(RunInChild(true, [&] {
        regstore::UseFileStore(m_file);
        std::vector<LSTATUS> collected{WriteText("Software", "Left", "1")};
        collected.push_back(WriteText("Software", "Left", "1"));  // and again: still running
        return collected;
    }, &statuses));
    EXPECT_EQ(statuses, (std::vector<LSTATUS>{5, 5}));
    EXPECT_FALSE(std::filesystem::exists(m_file));
}

}  // namespace
