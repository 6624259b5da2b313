// SQLite, loaded while the store has work to do and let go again when no key
// is open. The program reads its store a few times a session (when a window
// opens or closes) and is otherwise open all day; keeping the library mapped
// between those moments would cost about a megabyte of resident memory for
// nothing.
#pragma once

#include <sqlite3.h>

#include <string>

namespace regstore {

// The library calls the store uses, looked up when the library is loaded.
struct SqliteApi {
    decltype(&sqlite3_open_v2) open_v2;
    decltype(&sqlite3_close) close;
    decltype(&sqlite3_busy_timeout) busy_timeout;
    decltype(&sqlite3_exec) exec;
    decltype(&sqlite3_get_autocommit) get_autocommit;
    decltype(&sqlite3_prepare_v2) prepare_v2;
    decltype(&sqlite3_finalize) finalize;
    decltype(&sqlite3_bind_int64) bind_int64;
    decltype(&sqlite3_bind_text) bind_text;
    decltype(&sqlite3_bind_blob) bind_blob;
    decltype(&sqlite3_step) step;
    decltype(&sqlite3_column_int64) column_int64;
    decltype(&sqlite3_column_blob) column_blob;
    decltype(&sqlite3_column_bytes) column_bytes;
    decltype(&sqlite3_last_insert_rowid) last_insert_rowid;
    decltype(&sqlite3_shutdown) shutdown;
};

// Loads the library for one more user and answers its calls, or nullptr when
// it cannot be loaded (then nothing is held). Every non-null answer is paired
// with one ReleaseSqlite(); the last release shuts SQLite down and unloads it.
const SqliteApi* AcquireSqlite();
void ReleaseSqlite();

// Whether the library is loaded by the store now.
bool SqliteLoaded();

// The shared object loaded from now on (tests name one that does not exist).
void SetSqliteLibraryName(const std::string& name);

}  // namespace regstore
