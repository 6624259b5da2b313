#include "platform/regstore/memory_store.h"

#include <algorithm>

namespace regstore {

std::string FoldName(std::string_view name) {
    std::string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return folded;
}

bool MemoryStore::exists(KeyId key) const {
    return key == kHiveRoot || m_keys.count(key) != 0;
}

KeyId MemoryStore::child(KeyId parent, const std::string& name) const {
    auto found = m_children.find({parent, FoldName(name)});
    return found == m_children.end() ? 0 : found->second;
}

bool MemoryStore::has_subkeys(KeyId key) const {
    auto next = m_children.lower_bound({key, std::string()});
    return next != m_children.end() && next->first.first == key;
}

Result MemoryStore::open_key(KeyId from, const std::vector<std::string>& path, KeyId* key) {
    if (!exists(from)) return Result::KeyDeleted;
    KeyId at = from;
    for (const std::string& name : path) {
        at = child(at, name);
        if (at == 0) return Result::NotFound;
    }
    *key = at;
    return Result::Ok;
}

Result MemoryStore::create_key(KeyId from, const std::vector<std::string>& path, KeyId* key) {
    if (!exists(from)) return Result::KeyDeleted;
    KeyId at = from;
    for (const std::string& name : path) {
        KeyId next = child(at, name);
        if (next == 0) {
            next = m_next_id++;
            m_children[{at, FoldName(name)}] = next;
            m_keys[next] = {at, FoldName(name)};
        }
        at = next;
    }
    *key = at;
    return Result::Ok;
}

Result MemoryStore::delete_key(KeyId from, const std::vector<std::string>& path) {
    KeyId key = 0;
    if (Result r = open_key(from, path, &key); r != Result::Ok) return r;
    if (key == kHiveRoot) return Result::Denied;
    if (has_subkeys(key)) return Result::HasSubkeys;
    m_children.erase(m_keys[key]);
    m_keys.erase(key);
    m_values.erase(key);
    return Result::Ok;
}

Result MemoryStore::set_value(KeyId key, const std::string& name, const Value& value) {
    if (!exists(key)) return Result::KeyDeleted;
    auto& values = m_values[key];
    auto [slot, added] = values.try_emplace(FoldName(name), NamedValue{name, value});
    if (!added) slot->second.value = value;  // an existing value keeps the case of its name
    return Result::Ok;
}

Result MemoryStore::get_value(KeyId key, const std::string& name, Value* value) {
    if (!exists(key)) return Result::KeyDeleted;
    auto values = m_values.find(key);
    if (values == m_values.end()) return Result::NotFound;
    auto found = values->second.find(FoldName(name));
    if (found == values->second.end()) return Result::NotFound;
    *value = found->second.value;
    return Result::Ok;
}

}  // namespace regstore
