// A registry store held in memory: the same semantics as the file store,
// gone when the process ends. Tests and the simulated desktop use it.
#pragma once

#include <map>
#include <utility>

#include "platform/regstore/key_store.h"

namespace regstore {

class MemoryStore final : public KeyStore {
public:
    Result open_key(KeyId from, const std::vector<std::string>& path, KeyId* key) override;
    Result create_key(KeyId from, const std::vector<std::string>& path, KeyId* key) override;
    Result delete_key(KeyId from, const std::vector<std::string>& path) override;
    Result set_value(KeyId key, const std::string& name, const Value& value) override;
    Result get_value(KeyId key, const std::string& name, Value* value) override;

private:
    struct NamedValue {
        std::string name;  // as first written
        Value value;
    };
    using ChildKey = std::pair<KeyId, std::string>;  // parent, folded name

    bool exists(KeyId key) const;
    KeyId child(KeyId parent, const std::string& name) const;  // 0 when absent
    bool has_subkeys(KeyId key) const;

    std::map<ChildKey, KeyId> m_children;
    std::map<KeyId, ChildKey> m_keys;  // every live key but the hive root
    std::map<KeyId, std::map<std::string, NamedValue>> m_values;  // by folded name
    KeyId m_next_id = 1;
};

}  // namespace regstore
