#include "platform/regstore/sqlite_library.h"

#include <dlfcn.h>

namespace regstore {
namespace {

constexpr const char* kDefaultLibrary = "libsqlite3.so.0";

struct Loaded {
    std::string name = kDefaultLibrary;
    void* handle = nullptr;
    int users = 0;
    SqliteApi api{};
};

Loaded& State() {
    static Loaded loaded;
    return loaded;
}

template <class Function>
bool Find(void* handle, const char* symbol, Function* function) {
    *function = reinterpret_cast<Function>(dlsym(handle, symbol));
    return *function != nullptr;
}

bool FindAll(void* handle, SqliteApi* api) {
    return Find(handle, "sqlite3_open_v2", &api->open_v2) && Find(handle, "sqlite3_close", &api->close) &&
           Find(handle, "sqlite3_busy_timeout", &api->busy_timeout) &&
           Find(handle, "sqlite3_exec", &api->exec) &&
           Find(handle, "sqlite3_get_autocommit", &api->get_autocommit) &&
           Find(handle, "sqlite3_prepare_v2", &api->prepare_v2) &&
           Find(handle, "sqlite3_finalize", &api->finalize) &&
           Find(handle, "sqlite3_bind_int64", &api->bind_int64) &&
           Find(handle, "sqlite3_bind_text", &api->bind_text) &&
           Find(handle, "sqlite3_bind_blob", &api->bind_blob) && Find(handle, "sqlite3_step", &api->step) &&
           Find(handle, "sqlite3_column_int64", &api->column_int64) &&
           Find(handle, "sqlite3_column_blob", &api->column_blob) &&
           Find(handle, "sqlite3_column_bytes", &api->column_bytes) &&
           Find(handle, "sqlite3_last_insert_rowid", &api->last_insert_rowid) &&
           Find(handle, "sqlite3_shutdown", &api->shutdown);
}

}  // namespace

const SqliteApi* AcquireSqlite() {
    Loaded& state = State();
    if (state.users == 0) {
        void* handle = dlopen(state.name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) return nullptr;
        SqliteApi api{};
        if (!FindAll(handle, &api)) {
            dlclose(handle);
            return nullptr;
        }
        state.handle = handle;
        state.api = api;
    }
    ++state.users;
    return &state.api;
}

void ReleaseSqlite() {
    Loaded& state = State();
    if (state.users == 0 || --state.users > 0) return;
    // Frees what SQLite set up for itself, which unloading would otherwise leak.
    state.api.shutdown();
    dlclose(state.handle);
    state.handle = nullptr;
    state.api = {};
}

bool SqliteLoaded() { return State().users > 0; }

void SetSqliteLibraryName(const std::string& name) { State().name = name; }

}  // namespace regstore
