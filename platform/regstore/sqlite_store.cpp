// Supports: nested keys, case-insensitive names (ASCII), values of any type,
// several processes at once (rollback journal, busy timeout, one transaction
// per call, writers take the write lock up front so two never deadlock).
// Does not: follow outside edits of an already verified file's schema, or
// repair a broken file (it is reported, never rewritten).
#include "platform/regstore/sqlite_store.h"

#include "platform/regstore/sqlite_library.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace regstore {
namespace {

// "PXMR" in the database header marks a file as this store's.
constexpr int kApplicationId = 0x50584D52;
constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE, UNIQUE(parent, name));"
    "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, name)) WITHOUT ROWID;"
    "PRAGMA application_id = 1347964242;"
    "PRAGMA user_version = 1;";
static_assert(kApplicationId == 1347964242);

Result FromSqlite(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: return Result::Ok;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return Result::Busy;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN: return Result::Denied;
    // Our statements are fixed, so a plain SQL error means the tables are not
    // what this store made: someone else's database.
    case SQLITE_ERROR:
    case SQLITE_SCHEMA:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return Result::Corrupt;
    case SQLITE_NOMEM: return Result::NoMemory;
    case SQLITE_FULL: return Result::Full;
    default: return Result::IoError;
    }
}

Result FromErrno(int error) {
    switch (error) {
    case ENOENT: return Result::NotFound;
    case EACCES:
    case EPERM:
    case EROFS: return Result::Denied;
    case ENOSPC:
    case EDQUOT: return Result::Full;
    case ENOMEM: return Result::NoMemory;
    default: return Result::IoError;
    }
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Makes every missing folder above the file, private to the user.
Result MakeFolders(const std::string& file) {
    for (std::size_t slash = file.find('/', 1); slash != std::string::npos;
         slash = file.find('/', slash + 1)) {
        std::string folder = file.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) == 0) {
            chmod(folder.c_str(), 0700);  // whatever the umask left
        } else if (!IsFolder(folder)) {
            return FromErrno(errno);
        }
    }
    return Result::Ok;
}

// Creates the file with mode 0600 before SQLite sees it; SQLite would use
// 0644. A file that is already there is left alone.
Result CreateStoreFile(const std::string& path) {
    if (Result r = MakeFolders(path); r != Result::Ok) return r;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return errno == EEXIST ? Result::Ok : FromErrno(errno);
    fchmod(fd, 0600);
    close(fd);
    return Result::Ok;
}

// Reads the first bytes ourselves, so that a file that is not a database
// never reaches SQLite (which might try to roll back a journal into it).
// An empty file is one that a first write made and has not filled yet.
Result CheckHeader(const std::string& path, bool* empty) {
    static constexpr char kMagic[16] = "SQLite format 3";
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FromErrno(errno);
    char head[sizeof kMagic] = {};
    ssize_t got = read(fd, head, sizeof head);
    int error = errno;
    close(fd);
    if (got < 0) return FromErrno(error);
    *empty = got == 0;
    if (*empty) return Result::Ok;
    bool ours = got == static_cast<ssize_t>(sizeof head) && std::memcmp(head, kMagic, sizeof head) == 0;
    return ours ? Result::Ok : Result::Corrupt;
}

class Statement {
public:
    Statement(const SqliteApi& api, sqlite3* db, const char* sql) : m_api(api) {
        m_rc = m_api.prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { m_api.finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, sqlite3_int64 number) {
        if (m_rc == SQLITE_OK) m_rc = m_api.bind_int64(m_stmt, index, number);
        return *this;
    }
    Statement& bind(int index, const std::string& text) {
        if (m_rc == SQLITE_OK)
            m_rc = m_api.bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()),
                                     SQLITE_STATIC);
        return *this;
    }
    Statement& bind(int index, const std::vector<std::uint8_t>& bytes) {
        // A zero-length blob must still be a blob, not NULL.
        static constexpr std::uint8_t kNothing = 0;
        const void* data = bytes.empty() ? &kNothing : bytes.data();
        if (m_rc == SQLITE_OK)
            m_rc = m_api.bind_blob(m_stmt, index, data, static_cast<int>(bytes.size()),
                                     SQLITE_STATIC);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return m_rc == SQLITE_OK ? m_api.step(m_stmt) : m_rc; }
    sqlite3_int64 number(int column) const { return m_api.column_int64(m_stmt, column); }
    std::vector<std::uint8_t> bytes(int column) const {
        const auto* data = static_cast<const std::uint8_t*>(m_api.column_blob(m_stmt, column));
        auto size = static_cast<std::size_t>(m_api.column_bytes(m_stmt, column));
        return data ? std::vector<std::uint8_t>(data, data + size) : std::vector<std::uint8_t>();
    }

private:
    const SqliteApi& m_api;
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc;
};

// A query that should give one row: Ok with the row, NotFound without.
Result StepRow(Statement& statement) {
    int rc = statement.step();
    if (rc == SQLITE_ROW) return Result::Ok;
    return rc == SQLITE_DONE ? Result::NotFound : FromSqlite(rc);
}

Result StepDone(Statement& statement) {
    int rc = statement.step();
    return rc == SQLITE_DONE ? Result::Ok : FromSqlite(rc);
}

}  // namespace

SqliteStore::SqliteStore(std::string path) : m_path(std::move(path)) {}

SqliteStore::~SqliteStore() { disconnect(); }

void SqliteStore::disconnect() {
    if (m_api) {
        m_api->close(m_db);
        ReleaseSqlite();
    }
    m_api = nullptr;
    m_db = nullptr;
    m_schema_checked = false;
}

void SqliteStore::release() { disconnect(); }

KeyStore* SqliteStore::empty_hive() {
    if (m_db || m_corrupt) return nullptr;
    struct stat info {};
    if (stat(m_path.c_str(), &info) != 0) return errno == ENOENT ? &m_empty : nullptr;
    return info.st_size == 0 ? &m_empty : nullptr;
}

Result SqliteStore::connect(Access access) {
    if (m_db) return Result::Ok;
    if (access == Access::Write) {
        if (Result r = CreateStoreFile(m_path); r != Result::Ok) return r;
    }
    if (Result r = CheckHeader(m_path, &m_was_empty); r != Result::Ok) return r;
    m_api = AcquireSqlite();
    if (!m_api) return Result::IoError;
    // No SQLITE_OPEN_CREATE: the file was checked above and must stay that file.
    int rc = m_api->open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        disconnect();
        return FromSqlite(rc);
    }
    m_api->busy_timeout(m_db, kBusyTimeoutMs);
    return Result::Ok;
}

Result SqliteStore::begin(Access access) {
    // A writer takes the write lock at once: two readers that both upgrade
    // later would deadlock and one would fail without waiting.
    const char* sql = access == Access::Write ? "BEGIN IMMEDIATE" : "BEGIN";
    if (int rc = m_api->exec(m_db, sql, nullptr, nullptr, nullptr); rc != SQLITE_OK)
        return FromSqlite(rc);
    return check_schema(access);
}

// Inside the transaction, so that two first writers do not both make tables.
Result SqliteStore::check_schema(Access access) {
    if (m_schema_checked) return Result::Ok;
    Statement id(*m_api, m_db, "PRAGMA application_id");
    if (Result r = StepRow(id); r != Result::Ok) return r == Result::NotFound ? Result::Corrupt : r;
    if (id.number(0) != kApplicationId) {
        // Only the empty file a first write made is ours to set up; any
        // other database belongs to someone else.
        Statement objects(*m_api, m_db, "SELECT count(*) FROM sqlite_master");
        if (Result r = StepRow(objects); r != Result::Ok) return r == Result::NotFound ? Result::Corrupt : r;
        if (!m_was_empty || access == Access::Read || id.number(0) != 0 || objects.number(0) != 0)
            return Result::Corrupt;
        if (int rc = m_api->exec(m_db, kSchema, nullptr, nullptr, nullptr); rc != SQLITE_OK)
            return FromSqlite(rc);
    }
    m_schema_checked = true;
    return Result::Ok;
}

Result SqliteStore::fail(Result result) {
    if (result == Result::Corrupt) {
        m_corrupt = true;
        disconnect();
    }
    return result;
}

template <class Body>
Result SqliteStore::transact(Access access, Body body) {
    if (m_corrupt) return Result::Corrupt;
    Result r = connect(access);
    if (r == Result::Ok) r = begin(access);
    if (r == Result::Ok) r = body();
    if (m_db && m_api->get_autocommit(m_db) == 0) {
        int rc = m_api->exec(m_db, r == Result::Ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            m_api->exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            if (r == Result::Ok) r = FromSqlite(rc);
        }
    }
    if (r != Result::Ok) m_schema_checked = false;  // look again next time
    return fail(r);
}

Result SqliteStore::key_exists(KeyId key) {
    if (key == kHiveRoot) return Result::Ok;
    Statement query(*m_api, m_db, "SELECT 1 FROM keys WHERE id = ?");
    Result r = StepRow(query.bind(1, key));
    return r == Result::NotFound ? Result::KeyDeleted : r;
}

Result SqliteStore::find_child(KeyId parent, const std::string& name, KeyId* child) {
    Statement query(*m_api, m_db, "SELECT id FROM keys WHERE parent = ? AND name = ?");
    Result r = StepRow(query.bind(1, parent).bind(2, name));
    if (r == Result::Ok) *child = query.number(0);
    return r;
}

Result SqliteStore::walk(KeyId from, const std::vector<std::string>& path, bool create, KeyId* key) {
    if (Result r = key_exists(from); r != Result::Ok) return r;
    KeyId at = from;
    for (const std::string& name : path) {
        Result r = find_child(at, name, &at);
        if (r == Result::NotFound && create) {
            Statement insert(*m_api, m_db, "INSERT INTO keys(parent, name) VALUES(?, ?)");
            r = StepDone(insert.bind(1, at).bind(2, name));
            at = m_api->last_insert_rowid(m_db);
        }
        if (r != Result::Ok) return r;
    }
    *key = at;
    return Result::Ok;
}

Result SqliteStore::open_key(KeyId from, const std::vector<std::string>& path, KeyId* key) {
    if (KeyStore* empty = empty_hive()) return empty->open_key(from, path, key);
    return transact(Access::Read, [&] { return walk(from, path, false, key); });
}

Result SqliteStore::create_key(KeyId from, const std::vector<std::string>& path, KeyId* key) {
    return transact(Access::Write, [&] { return walk(from, path, true, key); });
}

Result SqliteStore::delete_key(KeyId from, const std::vector<std::string>& path) {
    if (KeyStore* empty = empty_hive()) return empty->delete_key(from, path);
    return transact(Access::Write, [&] {
        KeyId key = kHiveRoot;
        if (Result r = walk(from, path, false, &key); r != Result::Ok) return r;
        if (key == kHiveRoot) return Result::Denied;
        Statement child(*m_api, m_db, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
        Result r = StepRow(child.bind(1, key));
        if (r == Result::Ok) return Result::HasSubkeys;
        if (r != Result::NotFound) return r;
        Statement values(*m_api, m_db, "DELETE FROM vals WHERE key = ?");
        if (r = StepDone(values.bind(1, key)); r != Result::Ok) return r;
        Statement self(*m_api, m_db, "DELETE FROM keys WHERE id = ?");
        return StepDone(self.bind(1, key));
    });
}

Result SqliteStore::set_value(KeyId key, const std::string& name, const Value& value) {
    return transact(Access::Write, [&] {
        if (Result r = key_exists(key); r != Result::Ok) return r;
        // An existing value keeps the case its name was first written in.
        Statement upsert(*m_api, m_db,
                         "INSERT INTO vals(key, name, type, data) VALUES(?, ?, ?, ?)"
                         " ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
        return StepDone(upsert.bind(1, key).bind(2, name).bind(3, value.type).bind(4, value.data));
    });
}

Result SqliteStore::get_value(KeyId key, const std::string& name, Value* value) {
    if (KeyStore* empty = empty_hive()) return empty->get_value(key, name, value);
    return transact(Access::Read, [&] {
        if (Result r = key_exists(key); r != Result::Ok) return r;
        Statement query(*m_api, m_db, "SELECT type, data FROM vals WHERE key = ? AND name = ?");
        Result r = StepRow(query.bind(1, key).bind(2, name));
        if (r == Result::Ok) {
            value->type = static_cast<std::uint32_t>(query.number(0));
            value->data = query.bytes(1);
        }
        return r;
    });
}

}  // namespace regstore
