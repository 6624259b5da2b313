#include "registry/registry_library.h"

#include <string_view>
#include <utility>

#include "platform/forms/forms.h"

namespace RegistryLibrary {

bool SuppressNextMessage = false;

namespace {

constexpr os::DWORD kKeyWrite = 0x20006;
constexpr os::DWORD kKeyRead = 0x20019;
constexpr os::DWORD kRegSz = 1;
constexpr int kPlainBox = 0;
constexpr int kCriticalBox = 16;
constexpr std::size_t kReadBufferSize = 255;
constexpr const char* kReadFailed = "Error";
constexpr const char* kReportedReadFailed = "REGISTRY_ERROR";

// Working storage of the quiet operations, kept between calls as the rest of
// the module's state is; each operation sets what it uses before reading it.
os::HKEY CurrentRoot = 0;
os::HKEY CurrentKey = 0;
os::LSTATUS LastStatus = 0;
std::string ReadBuffer;
os::DWORD ReadBufferLength = 0;

const std::uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

// The data length is the character count: no terminating NUL is stored.
os::LSTATUS SetText(os::HKEY key, const std::string& value_name, const std::string& text) {
    return os::RegSetValueExA(key, value_name.c_str(), 0, kRegSz, Bytes(text),
                              static_cast<os::DWORD>(text.size()));
}

// Fills `buffer` (255 spaces on entry) from the value; what comes back is the
// whole buffer, the value's bytes at its start.
os::LSTATUS QueryText(os::HKEY key, const std::string& value_name, std::string& buffer,
                      os::DWORD& length) {
    os::DWORD type = kRegSz;
    return os::RegQueryValueExA(key, value_name.c_str(), nullptr, &type,
                                reinterpret_cast<std::uint8_t*>(buffer.data()), &length);
}

// The query leaves a NUL behind the text when the buffer has room, and the
// trim leaves it last; cutting the last character drops it. A buffer of
// nothing but spaces has no last character to cut: that is an invalid
// argument, raised to the reader's caller.
std::string TrimmedWithoutLast(const std::string& buffer) {
    std::string_view trimmed = forms::TrimSpaces(buffer);
    if (trimmed.empty())
        throw forms::RuntimeError(forms::kErrInvalidCall, "Invalid procedure call or argument");
    return std::string(trimmed.substr(0, trimmed.size() - 1));
}

void Report(os::LSTATUS status, std::string_view title) {
    if (!SuppressNextMessage) forms::MsgBox(RegistryErrorText(status), kCriticalBox, title);
}

}  // namespace

std::int32_t ReadResult::number() const { return m_empty ? 0 : forms::TextToInt32(m_text); }

os::HKEY RootKeyFromName(const std::string& name) {
    static const std::pair<std::string_view, os::HKEY> kRoots[] = {
        {"HKEY_CLASSES_ROOT", kClassesRoot},   {"HKEY_CURRENT_USER", kCurrentUser},
        {"HKEY_LOCAL_MACHINE", kLocalMachine}, {"HKEY_USERS", kUsers},
        {"HKEY_PERFORMANCE_DATA", kPerformanceData},
        {"HKEY_CURRENT_CONFIG", kCurrentConfig}, {"HKEY_DYN_DATA", kDynData},
    };
    for (const auto& [root_name, root] : kRoots)
        if (name == root_name) return root;
    return 0;
}

void SplitKeyPath(std::string& path, os::HKEY& root) {
    if (path.size() < 5 || path.compare(0, 5, "HKEY_") != 0 || path.back() == '\\') {
        forms::MsgBox("Incorrect Format:\n\n" + path, kPlainBox);
        return;
    }
    std::size_t backslash = path.find('\\');
    if (backslash == std::string::npos) {
        root = RootKeyFromName(path);
        path.clear();
    } else {
        root = RootKeyFromName(path.substr(0, backslash));
        path.erase(0, backslash + 1);
    }
}

void EnsureKey(std::string& path) {
    CurrentRoot = 0;
    SplitKeyPath(path, CurrentRoot);
    if (CurrentRoot == 0) return;
    LastStatus = os::RegCreateKeyA(CurrentRoot, path.c_str(), &CurrentKey);
    if (LastStatus == 0) LastStatus = os::RegCloseKey(CurrentKey);
}

void WriteTextValue(std::string& path, const std::string& value_name, const std::string& text) {
    CurrentRoot = 0;
    SplitKeyPath(path, CurrentRoot);
    if (CurrentRoot == 0) return;
    LastStatus = os::RegOpenKeyExA(CurrentRoot, path.c_str(), 0, kKeyWrite, &CurrentKey);
    if (LastStatus != 0) return;
    LastStatus = SetText(CurrentKey, value_name, text);
    LastStatus = os::RegCloseKey(CurrentKey);
}

ReadResult ReadTextValue(std::string& path, const std::string& value_name) {
    CurrentRoot = 0;
    SplitKeyPath(path, CurrentRoot);
    if (CurrentRoot == 0) return ReadResult();
    LastStatus = os::RegOpenKeyExA(CurrentRoot, path.c_str(), 0, kKeyRead, &CurrentKey);
    if (LastStatus != 0) return ReadResult(kReadFailed);
    ReadBuffer.assign(kReadBufferSize, ' ');
    ReadBufferLength = static_cast<os::DWORD>(ReadBuffer.size());
    LastStatus = QueryText(CurrentKey, value_name, ReadBuffer, ReadBufferLength);
    if (LastStatus != 0) {
        os::RegCloseKey(CurrentKey);
        return ReadResult(kReadFailed);
    }
    LastStatus = os::RegCloseKey(CurrentKey);
    ReadBuffer = std::string(forms::TrimSpaces(ReadBuffer));
    return ReadResult(TrimmedWithoutLast(ReadBuffer));
}

bool EnsureKeyWithMessage(std::string& path) {
    bool created = false;
    os::HKEY root = 0;
    SplitKeyPath(path, root);
    if (root != 0) {
        os::HKEY key = 0;
        os::LSTATUS status = os::RegCreateKeyA(root, path.c_str(), &key);
        if (status == 0) {
            os::RegCloseKey(key);
            created = true;
        } else {
            Report(status, {});
        }
    }
    SuppressNextMessage = false;
    return created;
}

bool WriteTextValueWithMessage(std::string& path, const std::string& value_name,
                               const std::string& text) {
    bool written = false;
    os::HKEY root = 0;
    SplitKeyPath(path, root);
    os::HKEY key = 0;
    if (root != 0) {
        os::LSTATUS status = os::RegOpenKeyExA(root, path.c_str(), 0, kKeyWrite, &key);
        if (status != 0) {
            Report(status, "Registry Open Error");
        } else {
            status = SetText(key, value_name, text);
            written = status == 0;
            if (!written) Report(status, "Registry Write Error");
            os::RegCloseKey(key);
        }
    }
    SuppressNextMessage = false;
    return written;
}

std::string ReadTextValueWithMessage(std::string& path, const std::string& value_name) {
    // The flag is cleared on the way out even when the read throws.
    struct ClearSuppress {
        ~ClearSuppress() { SuppressNextMessage = false; }
    } clear_on_exit;
    std::string result = kReportedReadFailed;
    os::HKEY root = 0;
    SplitKeyPath(path, root);
    if (root == 0) return result;
    os::HKEY key = 0;
    os::LSTATUS status = os::RegOpenKeyExA(root, path.c_str(), 0, kKeyRead, &key);
    if (status != 0) {
        Report(status, "Registry Open Error");
        return result;
    }
    std::string buffer(kReadBufferSize, ' ');
    os::DWORD length = static_cast<os::DWORD>(buffer.size());
    status = QueryText(key, value_name, buffer, length);
    if (status == 0) {
        os::RegCloseKey(key);
        return TrimmedWithoutLast(buffer);
    }
    Report(status, "Registry Query Error");
    os::RegCloseKey(key);
    return result;
}

bool RemoveKey(std::string& path) {
    bool removed = false;
    os::HKEY root = 0;
    SplitKeyPath(path, root);
    os::HKEY key = 0;
    if (root != 0 && os::RegOpenKeyExA(root, path.c_str(), 0, kKeyWrite, &key) == 0) {
        os::LSTATUS status = os::RegDeleteKeyA(root, path.c_str());
        os::RegCloseKey(key);
        removed = status == 0;
    }
    SuppressNextMessage = false;
    return removed;
}

std::string RegistryErrorText(const os::LSTATUS& code) {
    switch (code) {
    case 1009:
    case 1015: return "The Registry Database is corrupt!";
    case 2:
    case 1010: return "Bad Key Name";
    case 1011: return "Can't Open Key";
    case 4:
    case 1012: return "Can't Read Key";
    case 5: return "Access to this key is denied";
    case 1013: return "Can't Write Key";
    case 8:
    case 14: return "Out of memory";
    case 87: return "Invalid Parameter";
    case 234: return "There is more data than the buffer has been allocated to hold.";
    default: return "Undefined Error Code:  " + forms::SignedText(code);
    }
}

}  // namespace RegistryLibrary
