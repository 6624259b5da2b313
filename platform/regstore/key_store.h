// The storage underneath the registry calls: a tree of keys holding named
// values. It knows nothing of handles, roots, access masks or status codes;
// the API layer (registry_api.cpp) owns those and maps Result to a status.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace regstore {

// A key's identity inside one store. Ids are never reused, so a handle to a
// deleted key cannot come to name another key.
using KeyId = std::int64_t;
constexpr KeyId kHiveRoot = 0;  // the top of the hive; always exists

enum class Result {
    Ok,
    NotFound,      // no such key or value
    KeyDeleted,    // the key an operation starts from is gone
    HasSubkeys,    // a key with subkeys cannot be deleted
    Denied,        // the store cannot be written (folder or file permissions)
    Corrupt,       // the store cannot be read as a registry database
    Busy,          // another process held the store past the busy timeout
    NoMemory,
    Full,          // the disk is full
    IoError,
};

// The form two names are compared in: ASCII letters folded to lower case,
// every other byte as it is (names are ANSI bytes, not decoded).
std::string FoldName(std::string_view name);

struct Value {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// Key and value names compare case-insensitively (ASCII letters) and keep
// the case they were created with. Every call is atomic.
class KeyStore {
public:
    virtual ~KeyStore() = default;

    // The key at `path` (components, possibly none) below `from`.
    virtual Result open_key(KeyId from, const std::vector<std::string>& path, KeyId* key) = 0;
    // As open_key, creating every missing key on the way.
    virtual Result create_key(KeyId from, const std::vector<std::string>& path, KeyId* key) = 0;
    // Removes the key at `path` below `from` with its values; it must have no subkeys.
    virtual Result delete_key(KeyId from, const std::vector<std::string>& path) = 0;
    virtual Result set_value(KeyId key, const std::string& name, const Value& value) = 0;
    virtual Result get_value(KeyId key, const std::string& name, Value* value) = 0;
    // No key is open: let go of whatever the store holds open between calls.
    virtual void release() {}
};

}  // namespace regstore
