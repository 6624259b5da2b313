// The os:: registry calls over a KeyStore. This layer owns everything the
// store does not know: the predefined roots, key handles and their access
// rights, argument checks, injected faults, and the one mapping from store
// results to Windows status codes.
//
// Supports: HKEY_CURRENT_USER in the chosen store; HKEY_CLASSES_ROOT,
// HKEY_LOCAL_MACHINE, HKEY_USERS and HKEY_CURRENT_CONFIG as empty hives that
// can be opened and read but not written; handles that remember their access
// mask (query needs KEY_QUERY_VALUE, set needs KEY_SET_VALUE).
// Does not: HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA (invalid handle), security
// descriptors, volatile keys, links, notifications, enumeration.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/regstore/memory_store.h"
#include "platform/regstore/regstore.h"
#include "platform/regstore/sqlite_store.h"

namespace regstore {
namespace {

using os::DWORD;
using os::HKEY;
using os::LSTATUS;

constexpr HKEY kClassesRoot = 0x80000000;
constexpr HKEY kCurrentUser = 0x80000001;
constexpr HKEY kLocalMachine = 0x80000002;
constexpr HKEY kUsers = 0x80000003;
constexpr HKEY kCurrentConfig = 0x80000005;

constexpr LSTATUS kSuccess = 0;
constexpr LSTATUS kNotFound = 2;
constexpr LSTATUS kAccessDenied = 5;
constexpr LSTATUS kInvalidHandle = 6;
constexpr LSTATUS kOutOfMemory = 14;
constexpr LSTATUS kInvalidParameter = 87;
constexpr LSTATUS kDiskFull = 112;
constexpr LSTATUS kBadPathname = 161;
constexpr LSTATUS kBusy = 170;
constexpr LSTATUS kMoreData = 234;
constexpr LSTATUS kNoAccess = 998;
constexpr LSTATUS kRegistryCorrupt = 1015;
constexpr LSTATUS kRegistryIoFailed = 1016;
constexpr LSTATUS kKeyDeleted = 1018;

constexpr DWORD kKeyQueryValue = 0x0001;
constexpr DWORD kKeySetValue = 0x0002;
constexpr DWORD kKeyRead = 0x20019;
constexpr DWORD kKeyWrite = 0x20006;
constexpr DWORD kKeyAllAccess = 0xF003F;

constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// The first handle given out; handles step by 4 as on Windows and stay far
// below the predefined roots.
constexpr HKEY kFirstHandle = 0x100;
constexpr HKEY kLastHandle = 0x7FFFFFF0;

LSTATUS ToStatus(Result result) {
    switch (result) {
    case Result::Ok: return kSuccess;
    case Result::NotFound: return kNotFound;
    case Result::KeyDeleted: return kKeyDeleted;
    case Result::HasSubkeys: return kAccessDenied;  // as Windows NT answers
    case Result::Denied: return kAccessDenied;
    case Result::Corrupt: return kRegistryCorrupt;
    case Result::Busy: return kBusy;
    case Result::NoMemory: return kOutOfMemory;
    case Result::Full: return kDiskFull;
    case Result::IoError: return kRegistryIoFailed;
    }
    return kRegistryIoFailed;
}

// Generic rights as the registry grants them.
DWORD MapAccess(DWORD access) {
    constexpr DWORD kGenericRead = 0x80000000;
    constexpr DWORD kGenericWrite = 0x40000000;
    constexpr DWORD kGenericExecute = 0x20000000;
    constexpr DWORD kGenericAll = 0x10000000;
    constexpr DWORD kMaximumAllowed = 0x02000000;
    DWORD mapped = access & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | kMaximumAllowed);
    if (access & (kGenericRead | kGenericExecute)) mapped |= kKeyRead;
    if (access & kGenericWrite) mapped |= kKeyWrite;
    if (access & (kGenericAll | kMaximumAllowed)) mapped |= kKeyAllAccess;
    return mapped;
}

// What a handle stands for.
struct Target {
    bool writable_hive = false;  // false for the empty read-only hives
    bool predefined = false;
    KeyId key = kHiveRoot;
    DWORD access = kKeyAllAccess;
};

struct Fault {
    LSTATUS status = 0;
    int remaining = 0;
};

class Registry {
public:
    std::mutex lock;

    void use(std::unique_ptr<KeyStore> store) {
        m_store = std::move(store);
        m_handles.clear();
    }
    KeyStore& store() {
        if (!m_store) m_store = std::make_unique<SqliteStore>(DefaultPath());
        return *m_store;
    }

    LSTATUS resolve(HKEY key, Target* target) const {
        switch (key) {
        case kCurrentUser: *target = {true, true, kHiveRoot, kKeyAllAccess}; return kSuccess;
        case kClassesRoot:
        case kLocalMachine:
        case kUsers:
        case kCurrentConfig: *target = {false, true, kHiveRoot, kKeyRead}; return kSuccess;
        default: break;
        }
        auto found = m_handles.find(key);
        if (found == m_handles.end()) return kInvalidHandle;
        *target = {true, false, found->second.key, found->second.access};
        return kSuccess;
    }

    HKEY add_handle(KeyId key, DWORD access) {
        while (m_handles.count(m_next) != 0) advance();
        HKEY handle = m_next;
        advance();
        m_handles[handle] = {true, false, key, access};
        return handle;
    }

    bool close_handle(HKEY key) { return m_handles.erase(key) != 0; }
    // Between calls with no key open the store keeps nothing open.
    void settle() {
        if (m_handles.empty() && m_store) m_store->release();
    }
    int open_handles() const { return static_cast<int>(m_handles.size()); }

    void inject(const std::string& call, LSTATUS status, int count) { m_faults[call] = {status, count}; }
    void clear_faults() { m_faults.clear(); }
    std::optional<LSTATUS> take_fault(const char* call) {
        auto found = m_faults.find(call);
        if (found == m_faults.end() || found->second.remaining <= 0) return std::nullopt;
        if (--found->second.remaining == 0) {
            LSTATUS status = found->second.status;
            m_faults.erase(found);
            return status;
        }
        return found->second.status;
    }

private:
    void advance() { m_next = m_next >= kLastHandle ? kFirstHandle : m_next + 4; }

    std::unique_ptr<KeyStore> m_store;
    std::map<HKEY, Target> m_handles;
    std::map<std::string, Fault> m_faults;
    HKEY m_next = kFirstHandle;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

// One registry call: holds the lock and settles the store when it returns.
class CallScope {
public:
    explicit CallScope(Registry& registry) : m_registry(registry), m_guard(registry.lock) {}
    ~CallScope() { m_registry.settle(); }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    Registry& m_registry;
    std::lock_guard<std::mutex> m_guard;
};

bool IsUsableRoot(HKEY key) {
    return key == kClassesRoot || key == kCurrentUser || key == kLocalMachine || key == kUsers ||
           key == kCurrentConfig;
}

// "A\B\C" into its names. A path may end in one backslash; it may not start
// with one or hold an empty name.
LSTATUS SplitSubkey(const char* subkey, std::vector<std::string>* names) {
    names->clear();
    std::string path = subkey ? subkey : "";
    if (!path.empty() && path.back() == '\\') path.pop_back();
    if (path.empty()) return kSuccess;
    std::size_t start = 0;
    while (true) {
        std::size_t end = path.find('\\', start);
        std::string name = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (name.empty()) return kBadPathname;
        if (name.size() > kMaxKeyNameLength) return kInvalidParameter;
        names->push_back(std::move(name));
        if (end == std::string::npos) return kSuccess;
        start = end + 1;
    }
}

// The common start of every call that names a key: an injected fault, the
// handle and, when there is one, the subkey path.
struct Call {
    Target target;
    std::vector<std::string> names;
};

LSTATUS Begin(Registry& registry, const char* name, HKEY key, const char* subkey, Call* call) {
    if (auto fault = registry.take_fault(name)) return *fault;
    if (LSTATUS status = registry.resolve(key, &call->target); status != kSuccess) return status;
    return SplitSubkey(subkey, &call->names);
}

// An opened key: the root itself for a predefined root with no subkey (as
// Windows hands back), otherwise a fresh handle.
LSTATUS OpenOrCreate(Registry& registry, HKEY key, const Call& call, bool create, DWORD access,
                     HKEY* result) {
    if (call.names.empty() && call.target.predefined) {
        *result = key;
        return kSuccess;
    }
    if (!call.target.writable_hive) return create ? kAccessDenied : kNotFound;
    KeyId opened = kHiveRoot;
    KeyStore& store = registry.store();
    Result r = create ? store.create_key(call.target.key, call.names, &opened)
                      : store.open_key(call.target.key, call.names, &opened);
    if (r != Result::Ok) return ToStatus(r);
    *result = registry.add_handle(opened, access);
    return kSuccess;
}

void CopyOut(const Value& value, std::uint8_t* data, DWORD size) {
    std::copy(value.data.begin(), value.data.end(), data);
    // Readers of text values count on a NUL behind the text when there is room.
    if (size > value.data.size()) data[value.data.size()] = 0;
}

}  // namespace

void UseFileStore(const std::string& path) {
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    registry.use(std::make_unique<SqliteStore>(path));
}

void UseMemoryStore() {
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    registry.use(std::make_unique<MemoryStore>());
}

void InjectFault(const std::string& call, os::LSTATUS status, int count) {
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    registry.inject(call, status, count);
}

void ClearFaults() {
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    registry.clear_faults();
}

int OpenKeyCount() {
    Registry& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return registry.open_handles();
}

}  // namespace regstore

namespace os {

using regstore::TheRegistry;

LSTATUS RegCreateKeyA(HKEY key, const char* subkey, HKEY* result) {
    auto& registry = TheRegistry();
    regstore::CallScope scope(registry);
    regstore::Call call;
    if (result) *result = 0;
    LSTATUS status = regstore::Begin(registry, "RegCreateKeyA", key, subkey, &call);
    if (status != regstore::kSuccess) return status;
    if (!result) return regstore::kInvalidParameter;
    return regstore::OpenOrCreate(registry, key, call, true, regstore::kKeyAllAccess, result);
}

LSTATUS RegOpenKeyExA(HKEY key, const char* subkey, DWORD /*options*/, DWORD access, HKEY* result) {
    auto& registry = TheRegistry();
    regstore::CallScope scope(registry);
    regstore::Call call;
    if (result) *result = 0;
    LSTATUS status = regstore::Begin(registry, "RegOpenKeyExA", key, subkey, &call);
    if (status != regstore::kSuccess) return status;
    if (!result) return regstore::kInvalidParameter;
    return regstore::OpenOrCreate(registry, key, call, false, regstore::MapAccess(access), result);
}

LSTATUS RegSetValueExA(HKEY key, const char* name, DWORD /*reserved*/, DWORD type,
                       const std::uint8_t* data, DWORD size) {
    auto& registry = TheRegistry();
    regstore::CallScope scope(registry);
    regstore::Call call;
    LSTATUS status = regstore::Begin(registry, "RegSetValueExA", key, nullptr, &call);
    if (status != regstore::kSuccess) return status;
    std::string value_name = name ? name : "";
    if (value_name.size() > regstore::kMaxValueNameLength) return regstore::kInvalidParameter;
    if (!data && size > 0) return regstore::kNoAccess;
    if (!call.target.writable_hive || !(call.target.access & regstore::kKeySetValue))
        return regstore::kAccessDenied;
    regstore::Value value{type, std::vector<std::uint8_t>(data, data + size)};
    return regstore::ToStatus(registry.store().set_value(call.target.key, value_name, value));
}

LSTATUS RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, std::uint8_t* data,
                         DWORD* size) {
    auto& registry = TheRegistry();
    regstore::CallScope scope(registry);
    regstore::Call call;
    LSTATUS status = regstore::Begin(registry, "RegQueryValueExA", key, nullptr, &call);
    if (status != regstore::kSuccess) return status;
    if (reserved || (data && !size)) return regstore::kInvalidParameter;
    if (!(call.target.access & regstore::kKeyQueryValue)) return regstore::kAccessDenied;
    if (!call.target.writable_hive) return regstore::kNotFound;
    regstore::Value value;
    regstore::Result r = registry.store().get_value(call.target.key, name ? name : "", &value);
    if (r != regstore::Result::Ok) return regstore::ToStatus(r);
    if (type) *type = value.type;
    if (!size) return regstore::kSuccess;
    DWORD room = *size;
    *size = static_cast<DWORD>(value.data.size());
    if (!data) return regstore::kSuccess;
    if (room < value.data.size()) return regstore::kMoreData;  // the buffer is left as it was
    regstore::CopyOut(value, data, room);
    return regstore::kSuccess;
}

LSTATUS RegDeleteKeyA(HKEY key, const char* subkey) {
    auto& registry = TheRegistry();
    regstore::CallScope scope(registry);
    regstore::Call call;
    LSTATUS status = regstore::Begin(registry, "RegDeleteKeyA", key, subkey, &call);
    if (status != regstore::kSuccess) return status;
    if (!subkey) return regstore::kInvalidParameter;
    if (call.names.empty() && call.target.predefined) return regstore::kAccessDenied;
    if (!call.target.writable_hive) return regstore::kNotFound;
    return regstore::ToStatus(registry.store().delete_key(call.target.key, call.names));
}

LSTATUS RegCloseKey(HKEY key) {
    auto& registry = TheRegistry();
    regstore::CallScope scope(registry);
    if (auto fault = registry.take_fault("RegCloseKey")) return *fault;
    if (regstore::IsUsableRoot(key)) return regstore::kSuccess;
    return registry.close_handle(key) ? regstore::kSuccess : regstore::kInvalidHandle;
}

}  // namespace os
