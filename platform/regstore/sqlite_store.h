// The per-user registry store: one SQLite file shared by every running copy
// of the program. The file is made by the first write, never by a read (a read
// with no file sees an empty hive). A file that is not this store's database
// is left exactly as it is, and every call answers Corrupt.
#pragma once

#include <string>

#include "platform/regstore/key_store.h"
#include "platform/regstore/memory_store.h"

struct sqlite3;

namespace regstore {
struct SqliteApi;
}

namespace regstore {

class SqliteStore final : public KeyStore {
public:
    explicit SqliteStore(std::string path);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    Result open_key(KeyId from, const std::vector<std::string>& path, KeyId* key) override;
    Result create_key(KeyId from, const std::vector<std::string>& path, KeyId* key) override;
    Result delete_key(KeyId from, const std::vector<std::string>& path) override;
    Result set_value(KeyId key, const std::string& name, const Value& value) override;
    Result get_value(KeyId key, const std::string& name, Value* value) override;
    void release() override;

private:
    enum class Access { Read, Write };
    template <class Body>
    Result transact(Access access, Body body);
    KeyStore* empty_hive();  // non-null while there is no file to read
    Result connect(Access access);
    Result begin(Access access);
    Result check_schema(Access access);
    Result fail(Result result);
    void disconnect();

    Result find_child(KeyId parent, const std::string& name, KeyId* child);
    Result key_exists(KeyId key);
    Result walk(KeyId from, const std::vector<std::string>& path, bool create, KeyId* key);

    std::string m_path;
    const SqliteApi* m_api = nullptr;  // the library, held while connected
    sqlite3* m_db = nullptr;
    bool m_schema_checked = false;
    bool m_was_empty = false;  // the file had no bytes when connected
    bool m_corrupt = false;  // sticky: a foreign or broken file is never touched again
    MemoryStore m_empty;     // never written: answers reads while no file exists
};

}  // namespace regstore
